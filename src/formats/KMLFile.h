#pragma once

// Reads outlines drawn in Google Earth and similar tools (KML placemarks
// with a point or a line string) into a TGPX document.

#include <functional>
#include <iosfwd>
#include <string>

#include "formats/GPXFile.h"

namespace sondralis {

class TKMLFile : public TGPXFile {
 public:
  // Appends the file's point placemarks to GPXd->wpt and its line strings
  // to GPXd->trk (one segment each; a line string of one tuple becomes a
  // waypoint). A file that cannot be read leaves GPXd unchanged; the reason
  // goes to mLog.
  void ImportKML(const std::string& FileName);
  // The same for KML text from a stream.
  void ImportKMLStream(std::istream& Stream, const std::string& SourceName);

 private:
  void ImportKMLWith(const std::function<void(TXpObjModel&)>& Load, const std::string& SourceName);
  void ImportKMLFromModel(TXpObjModel& Model);
  void ReadPlacemark(const TXpNode& Placemark);
};

}  // namespace sondralis
