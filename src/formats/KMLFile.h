#pragma once

// Reads outlines drawn in Google Earth and similar tools (KML placemarks
// with a point or a line string) into a TGPX document.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "formats/GPXFile.h"

namespace sondralis {

// One position of a KML coordinates text.
struct TKMLTuple {
  double lon = 0, lat = 0, alt = 0;
};

// The positions of a KML coordinates text: tuples "lon,lat[,alt]" separated
// by white space of any kind (blanks, tabs, line breaks). A tuple without a
// comma, or whose longitude or latitude is no number, not finite or beyond
// ±180/±90, is left out and counted in Skipped, with Offset as its place; an
// altitude that is no finite number reads as 0.
std::vector<TKMLTuple> ParseKMLCoordinates(std::string_view Text, TSkippedValues& Skipped, long long Offset);

class TKMLFile : public TGPXFile {
 public:
  // Appends the file's point placemarks to GPXd->wpt and its line strings
  // to GPXd->trk (one segment each; a line string of one tuple becomes a
  // waypoint). A file that cannot be read leaves GPXd unchanged; the reason
  // goes to mLog.
  void ImportKML(const std::string& FileName);
  // The same for KML text from a stream.
  void ImportKMLStream(std::istream& Stream, const std::string& SourceName);

  // Placemarks the last read passed over (polygons, multi-geometries,
  // tracks), and the kinds of geometry they held, in the order first met.
  long long SkippedPlacemarks = 0;
  std::vector<std::string> SkippedPlacemarkKinds;

  std::vector<std::string> ReadWarnings() const override;

 private:
  void ImportKMLWith(const std::function<void(TXpObjModel&)>& Load, const std::string& SourceName,
                     const std::function<std::string()>& SourceBytes);
  void ImportKMLFromModel(TXpObjModel& Model);
  void ReadPlacemark(const TXpNode& Placemark);
  void SkipPlacemark(const TXpNode& Placemark);
};

}  // namespace sondralis
