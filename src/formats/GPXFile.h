#pragma once

// Reads GPX 1.0/1.1 files into a TGPX document and writes a document as a
// GPX 1.1 file. The reading is in GPXReader.cpp, the writing in
// GPXWriter.cpp; times are read and written by GPXTime.h, numbers by
// model/Numbers.h.

#include <cmath>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "formats/XmlDom.h"
#include "model/GPX.h"

namespace sondralis {

// Namespace of the depth element the writer puts into each point's
// extensions: <h:depth>345</h:depth>, in centimetres.
inline constexpr const char* kDepthNamespaceURI = "urn:sondralis:gpx:depth:1";
// Namespace of the line-style extension (GPX style 0.2).
inline constexpr const char* kGPXStyleNamespaceURI = "http://www.topografix.com/GPX/gpx_style/0/2";
inline constexpr const char* kGPXNamespaceURI = "http://www.topografix.com/GPX/1/1";
inline constexpr const char* kGPXSchemaURL = "http://www.topografix.com/GPX/1/1/gpx.xsd";
inline constexpr const char* kXSINamespaceURI = "http://www.w3.org/2001/XMLSchema-instance";

// Values a reader had to leave out of a file: how many, and the first one
// as the file wrote it, with its line.
struct TSkippedValues {
  long long Count = 0;
  std::string First;        // the first value as written: "12,5", "lat='91.5'"
  long long FirstLine = 0;  // its line in the file, from 1; 0 when not known
  long long FirstOffset = -1;  // where the parser saw it (decoded text)

  void Add(std::string_view Text, long long Offset) {
    if (Count++ > 0) return;
    First = Text;
    FirstOffset = Offset;
  }
};

// 'text', for messages quoting what a file holds.
inline std::string Quoted(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + 2);
  out += '\'';
  out += Text;
  out += '\'';
  return out;
}

class TGPXFile {
 public:
  TGPXFile() = default;
  virtual ~TGPXFile() = default;
  TGPXFile(const TGPXFile&) = delete;
  TGPXFile& operator=(const TGPXFile&) = delete;

  TGPX* GPXd = nullptr;  // borrowed: the document to fill or to write
  std::string FileName;
  bool Loaded = false;
  bool Modified = false;
  std::vector<std::string> mLog;
  TGPXOptions GPXOptions;

  // What the last read had to leave out. A point's own depth element whose
  // text is no number gives the point depth 0 and stays in its extensions
  // text; a point whose latitude or longitude is missing, no number, not
  // finite or beyond ±90/±180 is not read at all.
  TSkippedValues UnreadableDepths;
  TSkippedValues SkippedPoints;
  // Points the last write left out for such a coordinate.
  long long PointsNotWritten = 0;

  // One line per kind of value the last read left out, naming the file
  // ("lake.gpx: 7120 depth values could not be read, first at line 14:
  // '1234,5'"); a read also notes them in mLog.
  virtual std::vector<std::string> ReadWarnings() const;

  // ---- reading

  // Reads the file into GPXd. Problems with the file go to mLog and leave
  // GPXd untouched and Loaded false. An impossible date or time stops the
  // read with EConvertError naming the file and the text; what was read up
  // to then stays in GPXd and Loaded stays false.
  void ImportGPXFile(const std::string& FileName);
  // The same for GPX text from a stream; SourceName stands for the file
  // name in messages.
  void ImportGPXStream(std::istream& Stream, const std::string& SourceName);

  // The Text of the last child element of Parent named NodeName, or empty.
  static std::string GetLastNodeText(const TXpNode& Parent, std::string_view NodeName);
  // The XML content of the last child element of Parent named NodeName.
  static std::string GetExtensionNodeContent(const TXpNode& Parent, std::string_view NodeName);

  // ---- writing

  // Writes GPXd as a GPX 1.1 file: the text goes to a temporary file beside
  // the target that replaces the target only when complete. Throws
  // EFileError; on any error an existing file stays as it was.
  void ExportGPX(const std::string& FileName);
  // The whole text ExportGPX writes.
  std::string ExportGPXText();

  std::string ExportGPXWPTList(const TGPXwptList& List);
  std::string ExportGPXRTEList(const TGPXrteList& List);
  std::string ExportGPXTRKList(const TGPXtrkList& List);
  std::string ExportGPXWPT(const TGPXwpt& Point, std::string_view Tag, int TabCount);
  std::string ExportGPXRTE(const TGPXrte& Route);
  std::string ExportGPXTRK(const TGPXtrk& Track);
  std::string ExportGPXLink(const TGPXLink& Link, int TabCount);
  std::string ExportGPXMetadata(const TGPXmetadata& Metadata);
  std::string WriteText(std::string_view Text, std::string_view Tag, int TabCount, bool Ext);
  std::string WriteInt(long long Value, std::string_view Tag, long long Default, int TabCount);
  std::string WriteTime(TDateTime Value, std::string_view Tag, long long Default, int TabCount);
  std::string WriteDouble(double Value, std::string_view Tag, long long Default, int TabCount);
  // Element text escaped: & < > as entities, characters XML cannot carry
  // dropped, malformed UTF-8 replaced by U+FFFD.
  static std::string XMLise(std::string_view Text);
  // The same for attribute values, where " becomes &quot; as well.
  static std::string XMLiseAttribute(std::string_view Text);
  // A point's extensions content as written: the raw text, without depth
  // elements among its top-level elements that hold a number (values the
  // point's depth replaces), and with the point's current depth (none for
  // depth 0) as an h:depth element after the last remaining top-level one
  // (a value that could not be read), or first.
  static std::string PointExtensions(const TGPXwpt& Point);

  // How much XML text is parsed at a time while reading; 0 parses the whole
  // file first (see TXpObjModel::PieceBytes).
  std::size_t XmlPieceBytes = 256 * 1024;

  // Line end and indent unit of the writer (LF and TAB, both empty with
  // Compress); ExportGPX sets them from GPXOptions.
  std::string LineEnd = "\n";
  std::string Indent = "\t";

 protected:
  std::string fSourceName;  // the file being read, for messages
  std::string fEncodingNote;  // what the declared encoding was read as, when worth a word

  // Reads the XML that `Load` hands over (a call of one of the model's
  // streaming loaders) into GPXd; a load error goes to mLog.
  void ImportGPX(const std::function<bool(TXpObjModel&, TXpStreamHandler&)>& Load, const std::string& SourceName,
                 const std::function<std::string()>& SourceBytes);
  // Empties the counts of values left out, before a read.
  void ResetSkipped();
  // Gives the values left out their lines, from the bytes of the source
  // (asked for only when something was left out), and notes ReadWarnings
  // in mLog.
  void NoteSkipped(const TXpObjModel& Model, const std::function<std::string()>& SourceBytes);
  // Whether a latitude and longitude can be a point on the globe.
  static bool UsableCoordinates(double Latitude, double Longitude) {
    return std::isfinite(Latitude) && std::isfinite(Longitude) && std::fabs(Latitude) <= 90 &&
           std::fabs(Longitude) <= 180;
  }
  // "lake.gpx: 3 points skipped (...), first at line 9: lat='91.5'"; empty
  // when nothing was skipped.
  std::string SkippedPointsWarning() const;

 private:
  class StreamReader;

  struct ReadCounts {
    long long wpt = 0, rte = 0, rtept = 0, trk = 0, trkseg = 0, trkpt = 0;
  };

  void ReadMetadata(const TXpNode& Node);
  void ReadPerson(const TXpNode& Node, TGPXperson& Person);
  static void ReadLink(const TXpNode& Node, TGPXLink& Link);
  void ReadPoint(const TXpNode& Node, TGPXwptList& List);
  // A child of gpx other than a route or track.
  void ReadDocumentPart(const TXpNode& Node);
  void ReadDocumentExtensions(const TXpNode& Node);
  static void ReadLineExtensions(const TXpNode& Node, TGPXrouteDetails& Details);
  // Moves what was read into the caller's document.
  void TakeOver(TGPX& Read, TGPX& Doc) const;
  TDateTime ReadTime(std::string_view Text) const;
  // Reads the point's own extensions (the last extensions child): its depth
  // and the rest as raw text.
  void ReadPointExtensions(const TXpNode& Extensions, TGPXwpt& Point, TGPXwptList& List);

  void AppendIndent(std::string& Out, int TabCount) const;
  void AppendText(std::string& Out, std::string_view Text, std::string_view Tag, int TabCount, bool Ext) const;
  void AppendDouble(std::string& Out, double Value, std::string_view Tag, long long Default, int TabCount,
                    int* Decimals = nullptr) const;
  void AppendWPT(std::string& Out, const TGPXwpt& Point, std::string_view Tag, int TabCount);
  // The namespace URI the depth prefix stands for in List's points.
  static std::string_view DepthNamespaceOf(const TGPXwptList& List);
  // Whether List writes at least one depth element.
  static bool WritesDepth(const TGPXwptList& List);
  // xmlns:h on a route's or segment's start tag when its depths belong to
  // another namespace than the one the root declares.
  void AppendDepthDeclaration(std::string& Out, const TGPXwptList& List) const;
  void AppendLink(std::string& Out, const TGPXLink& Link, int TabCount) const;
  void AppendStyledExtensions(std::string& Out, const TGPX_StyleLine& Style, const std::string& Extensions);
  // The fields a route and a track share, before their points.
  void AppendRouteDetails(std::string& Out, const TGPXrouteDetails& details);
  void AppendRTE(std::string& Out, const TGPXrte& Route);
  // The whole text, appended to Out; with fEmit set, Out is handed to it
  // and emptied whenever it holds a megabyte or more.
  void BuildGPX(std::string& Out);
  void Flush(std::string& Out);
  // Whether anything written carries the depth prefix.
  bool NeedsDepthNamespace() const;
  void AppendTRK(std::string& Out, const TGPXtrk& Track);

  ReadCounts fCounts;
  bool fSawMetadata = false, fSawExtensions = false;
  bool fUsesDepthNamespace = false;  // the root declares the depth prefix
  static constexpr std::size_t kEmitBytes = 1024 * 1024;
  const std::function<void(std::string_view)>* fEmit = nullptr;  // where ExportGPX sends the text
  std::string fRootDepthNamespace;   // the namespace the root binds h to while writing
  // Decimals of the last latitude, longitude, elevation and depth written.
  int fLatDecimals = 7, fLonDecimals = 7, fEleDecimals = 1, fDepthDecimals = 1;
  const TGPXwptList* fNamespaceList = nullptr;  // the list whose depth namespace was looked up
};

}  // namespace sondralis
