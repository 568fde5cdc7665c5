#pragma once

// Reads GPX 1.0/1.1 files into a TGPX document and writes a document as a
// GPX 1.1 file.

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

class TGPXFile {
 public:
  TGPXFile();
  virtual ~TGPXFile() = default;
  TGPXFile(const TGPXFile&) = delete;
  TGPXFile& operator=(const TGPXFile&) = delete;

  TGPX* GPXd = nullptr;  // borrowed: the document to fill or to write
  std::string FileName;
  bool Loaded = false;
  bool Modified = false;
  std::vector<std::string> mLog;
  TGPXOptions GPXOptions;

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

  // ISO 8601 calendar, ordinal or week date with optional time of day and
  // zone, as UTC; 0 for a text too short to hold a date. Throws
  // EConvertError (naming the text) on an impossible date or time.
  static TDateTime ISO8601ToDateTime(std::string_view Value);

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
  // yyyy-mm-ddThh:nn:ssZ, fractions of a second dropped.
  static std::string DateTimeToGPXTime(TDateTime Value);
  static void AppendGPXTime(std::string& Out, TDateTime Value);
  // Appends the text FormatNumber gives (15 significant digits, plain
  // decimal, point separator) without building temporary strings.
  static void AppendNumber(std::string& Out, double Value);
  // A point's extensions content as written: the raw text with its depth
  // element replaced by the point's current depth (none for depth 0).
  static std::string PointExtensions(const TGPXwpt& Point);

  // How much XML text is parsed at a time while reading; 0 parses the whole
  // file first (see TXpObjModel::PieceBytes).
  std::size_t XmlPieceBytes = 256 * 1024;

  // Line end and indent unit of the writer (LF and TAB, both empty with
  // Compress); ExportGPX sets them from GPXOptions.
  std::string LineEnd = "\n";
  std::string Indent = "\t";

 protected:
  // Reads the XML that `Load` hands over (a call of one of the model's
  // streaming loaders) into GPXd; a load error goes to mLog.
  void ImportGPX(const std::function<bool(TXpObjModel&, TXpStreamHandler&)>& Load, const std::string& SourceName);

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

  void AppendIndent(std::string& Out, int TabCount) const;
  void AppendText(std::string& Out, std::string_view Text, std::string_view Tag, int TabCount, bool Ext) const;
  void AppendDouble(std::string& Out, double Value, std::string_view Tag, long long Default, int TabCount) const;
  void AppendWPT(std::string& Out, const TGPXwpt& Point, std::string_view Tag, int TabCount);
  void AppendLink(std::string& Out, const TGPXLink& Link, int TabCount) const;
  void AppendStyledExtensions(std::string& Out, const TGPX_StyleLine& Style, const std::string& Extensions);
  void AppendRTE(std::string& Out, const TGPXrte& Route);
  // The whole text, appended to Out; with fEmit set, Out is handed to it
  // and emptied whenever it holds a megabyte or more.
  void BuildGPX(std::string& Out);
  void Flush(std::string& Out);
  // Whether anything written carries the depth prefix.
  bool NeedsDepthNamespace() const;
  void AppendTRK(std::string& Out, const TGPXtrk& Track);

  std::string fSourceName;  // the file being read, for messages
  ReadCounts fCounts;
  bool fSawMetadata = false, fSawExtensions = false;
  bool fUsesDepthNamespace = false;  // the root declares the depth prefix
  static constexpr std::size_t kEmitBytes = 1024 * 1024;
  const std::function<void(std::string_view)>* fEmit = nullptr;  // where ExportGPX sends the text
};

}  // namespace sondralis
