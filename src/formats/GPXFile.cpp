#include "formats/GPXFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <istream>
#include <iterator>
#include <istream>
#include <iterator>
#include <memory>
#include <optional>

#include "formats/AtomicFile.h"
#include "formats/PreparedBlocks.h"
#include "formats/SourceLines.h"
#include "formats/XmlEscape.h"
#include "model/Text.h"

namespace sondralis {

namespace {

// The children of a node that are elements, in document order.
template <class F>
void ForEachElement(const TXpNode& parent, F&& f) {
  for (TXpNode c = parent.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement) f(c);
}

// The last child element named `name`, or a null node.
TXpNode LastChild(const TXpNode& parent, std::string_view name) {
  TXpNode last;
  ForEachElement(parent, [&](const TXpNode& c) {
    if (c.NameIs(name)) last = c;
  });
  return last;
}

std::string AttributeValue(const TXpNode& element, std::string_view name) {
  const TXpNode a = element.Attributes().GetNamedItem(name);
  return a ? a.NodeValue() : std::string();
}

int ClampToInt(long long v) {
  if (v < INT_MIN) return INT_MIN;
  if (v > INT_MAX) return INT_MAX;
  return static_cast<int>(v);
}

std::string_view DropOne(std::string_view s, char c) {
  if (!s.empty() && s.front() == c) s.remove_prefix(1);
  return s;
}

std::string_view Head(std::string_view s, std::size_t n) { return s.substr(0, std::min(n, s.size())); }
std::string_view Tail(std::string_view s, std::size_t n) { return s.substr(std::min(n, s.size())); }

int IntOr(std::string_view s, int Default) { return ClampToInt(ParseIntegerDef(s, Default)); }

// Whole part of x; a hair of tolerance keeps 0.29 * 1000 from becoming 289.
int WholePart(double x) { return static_cast<int>(std::floor(x + 1e-9)); }

double FractionOr0(std::string_view digits) { return ParseNumberDef("0" + std::string(digits), 0); }

bool ContainsCaseless(std::string_view text, std::string_view what, std::size_t from, std::size_t& at) {
  if (what.size() > text.size()) return false;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    if (SameTextAscii(text.substr(i, what.size()), what)) {
      at = i;
      return true;
    }
  }
  return false;
}

// An element at the top level of an extensions text.
struct TopElement {
  std::size_t begin = 0, end = 0;  // the element, start tag to end tag
  std::string_view name;
  std::string_view content;  // between its tags
};

std::size_t SkipTo(std::string_view xml, std::size_t from, std::string_view what) {
  const std::size_t at = xml.find(what, from);
  return at == std::string_view::npos ? at : at + what.size();
}

// Calls f for every element at the top level of an XML fragment; text,
// comments, CDATA sections and processing instructions between them are
// passed over, and so is everything inside an element. Stops where the
// fragment is not well-formed.
template <class F>
void ForEachTopElement(std::string_view xml, F&& f) {
  std::size_t i = 0;
  int depth = 0;
  TopElement top;
  std::size_t contentBegin = 0;
  while ((i = xml.find('<', i)) != std::string_view::npos) {
    const std::string_view at = xml.substr(i);
    if (at.substr(0, 4) == "<!--") {
      i = SkipTo(xml, i + 4, "-->");
    } else if (at.substr(0, 9) == "<![CDATA[") {
      i = SkipTo(xml, i + 9, "]]>");
    } else if (at.substr(0, 2) == "<?") {
      i = SkipTo(xml, i + 2, "?>");
    } else if (at.substr(0, 2) == "</") {
      const std::size_t gt = xml.find('>', i);
      if (gt == std::string_view::npos || --depth < 0) return;
      if (depth == 0) {
        top.end = gt + 1;
        top.content = xml.substr(contentBegin, i - contentBegin);
        f(top);
      }
      i = gt + 1;
    } else {
      std::size_t j = i + 1;
      while (j < xml.size() && xml[j] != '>' && xml[j] != '/' && xml[j] != ' ' && xml[j] != '\t' &&
             xml[j] != '\n' && xml[j] != '\r')
        ++j;
      const std::string_view name = xml.substr(i + 1, j - i - 1);
      char quote = 0;
      while (j < xml.size() && (quote || xml[j] != '>')) {
        if (quote && xml[j] == quote) quote = 0;
        else if (!quote && (xml[j] == '"' || xml[j] == '\'')) quote = xml[j];
        ++j;
      }
      if (j >= xml.size()) return;
      const bool empty = xml[j - 1] == '/';
      if (depth == 0) {
        top = {i, j + 1, name, {}};
        contentBegin = j + 1;
        if (empty) f(top);
      }
      if (!empty) ++depth;
      i = j + 1;
    }
    if (i == std::string_view::npos) return;
  }
}

// Whether a depth element of an extensions text holds a number (as plain
// text; anything else counts as no number, as the reader sees it).
bool HoldsNumber(std::string_view content) {
  if (content.find_first_of("<&") != std::string_view::npos) return false;
  const auto v = ParseNumber(Trim(content));
  return v && std::isfinite(*v);
}

// Whether a reader would change the text's white space (trim it, or make
// one blank of a run, a tab or a line break): such a text, which only a
// CDATA section of the file can have given, is written as one again.
// Control characters XML cannot carry are left out of the written text
// first, so they do not count as separating anything.
bool NeedsCData(std::string_view text) {
  bool any = false, lastSpace = false;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (space && (!any || lastSpace || c != ' ')) return true;
    any = true;
    lastSpace = space;
  }
  return lastSpace;
}

// The prefixes the root of every written file may bind. Extension text that
// uses one its file never declared is given the binding now, so that it
// reads back from our file as it was read.
const std::vector<std::pair<std::string, std::string>>& WriterBindings() {
  static const std::vector<std::pair<std::string, std::string>> kBindings = {{"h", kDepthNamespaceURI},
                                                                            {"xsi", kXSINamespaceURI}};
  return kBindings;
}

bool UsesDepthPrefix(std::string_view text) {
  std::size_t at;
  return ContainsCaseless(text, "<h:", 0, at);
}

}  // namespace

TGPXFile::TGPXFile() = default;

// ================================================================== reading

// The reader's side of the piecewise reading: the root, its routes and
// tracks, and the tracks' segments are opened; every other element (a
// point, the metadata, a route's or track's own fields) comes whole.
class TGPXFile::StreamReader final : public TXpStreamHandler {
 public:
  explicit StreamReader(TGPXFile& File) : fFile(File) {}
  ~StreamReader() override {
    // A segment left open by a failed read no longer takes blocks from here.
    if (fSegment) fSegment->SetBlockSource(nullptr);
  }

  bool SawRoot() const noexcept { return fSawRoot; }
  // The impossible date that stopped the reading, if one did.
  std::exception_ptr Stopped() const noexcept { return fStopped; }

  bool Opens(int Depth, std::string_view Name) override {
    if (Depth == 0) return true;
    switch (fOpen.back()) {
      case kGpx: return SameXmlName(Name, "trk") || SameXmlName(Name, "rte");
      case kTrack: return SameXmlName(Name, "trkseg");
      default: return false;
    }
  }

  void Open(const TXpNode& Element) override {
    TGPX& doc = *fFile.GPXd;
    Kind kind = kOther;
    if (fStopped) {
      // Nothing more is read.
    } else if (fOpen.empty()) {
      // The document element; nothing but gpx is read.
      if (SameXmlName(Element.NodeName(), "gpx")) {
        kind = kGpx;
        fSawRoot = true;
      }
    } else if (fOpen.back() == kGpx && SameXmlName(Element.NodeName(), "trk")) {
      kind = kTrack;
      fTrack = new TGPXtrk;
      doc.trk.Add(fTrack);
      doc.trk.filled = true;
      ++fFile.fCounts.trk;
      fDetails = TGPXrouteDetails();
    } else if (fOpen.back() == kGpx) {
      kind = kRoute;
      fRoute = new TGPXrte;
      doc.rte.Add(fRoute);
      doc.rte.filled = true;
      ++fFile.fCounts.rte;
      fDetails = TGPXrouteDetails();
    } else if (fOpen.back() == kTrack) {
      kind = kSegment;
      fSegment = new TGPXtrkseg;
      fSegment->SetBlockSource(&fBlocks);
      fTrack->Add(fSegment);
      ++fFile.fCounts.trkseg;
    }
    fOpen.push_back(kind);
  }

  void Element(const TXpNode& Element) override {
    if (fOpen.empty() || fStopped) return;
    try {
      Read(Element);
    } catch (const EConvertError&) {
      // An impossible date ends the reading, but the rest of the file is
      // still parsed: a file that is not well-formed is refused as a whole,
      // whatever else is wrong with it.
      fStopped = std::current_exception();
    }
  }

  void Read(const TXpNode& Element) {
    switch (fOpen.back()) {
      case kGpx: fFile.ReadDocumentPart(Element); break;
      case kRoute:
        if (Element.NameIs("rtept")) {
          fFile.ReadPoint(Element, *fRoute);
          ++fFile.fCounts.rtept;
        } else {
          ReadRouteOrTrackField(Element, fDetails);
        }
        break;
      case kTrack: ReadRouteOrTrackField(Element, fDetails); break;
      case kSegment:
        if (Element.NameIs("trkpt")) {
          fFile.ReadPoint(Element, *fSegment);
          ++fFile.fCounts.trkpt;
        } else if (Element.NameIs("extensions")) {
          // The last one counts.
          fSegment->extensions = TrimCopy(Element.InnerXml(&WriterBindings()));
        }
        break;
      case kOther: break;
    }
  }

  void Close() override {
    const Kind kind = fOpen.back();
    fOpen.pop_back();
    if (kind == kRoute) SetDetails(*fRoute);
    if (kind == kTrack) SetDetails(*fTrack);
    if (kind == kSegment) {
      fSegment->SetBlockSource(nullptr);
      fSegment->ShrinkToFit();
      fSegment = nullptr;
    }
  }

 private:
  enum Kind { kGpx, kRoute, kTrack, kSegment, kOther };

  // The fields of a route or track as they come: of each name the last one
  // counts.
  void ReadRouteOrTrackField(const TXpNode& c, TGPXrouteDetails& d) {
    if (c.NameIs("name")) d.name = c.Text();
    else if (c.NameIs("cmt")) d.cmt = c.Text();
    else if (c.NameIs("desc")) d.desc = c.Text();
    else if (c.NameIs("src")) d.src = c.Text();
    else if (c.NameIs("link")) ReadLink(c, d.link);
    else if (c.NameIs("number")) d.number = IntOr(c.Text(), -1);
    else if (c.NameIs("type")) d.type = c.Text();
    else if (c.NameIs("extensions")) ReadLineExtensions(c, d);
  }

  static void SetDetails(TGPXrouteFields& Object, TGPXrouteDetails& d) {
    if (d.name.empty() && !d.desc.empty()) d.name = d.desc;
    const TGPXrouteDetails& none = TGPXrouteDetails::Defaults();
    const bool any = !d.name.empty() || !d.cmt.empty() || !d.desc.empty() || !d.src.empty() || d.link.filled ||
                     d.number != none.number || !d.type.empty() || !d.extensions.empty() ||
                     d.LineStyle.Color() != none.LineStyle.Color() ||
                     d.LineStyle.Opacity() != none.LineStyle.Opacity();
    // A route or track without any of them costs no details record.
    if (any) Object.Edit() = std::move(d);
    d = TGPXrouteDetails();
  }
  void SetDetails(TGPXrouteFields& Object) { SetDetails(Object, fDetails); }

  TGPXFile& fFile;
  std::vector<Kind> fOpen;
  bool fSawRoot = false;
  std::exception_ptr fStopped;
  TGPXrte* fRoute = nullptr;
  TGPXtrk* fTrack = nullptr;
  TGPXtrkseg* fSegment = nullptr;  // the segment open now
  TGPXrouteDetails fDetails;  // of the route or track being read
  TPreparedBlocks fBlocks;    // the storage of long segments
};

void TGPXFile::ImportGPXFile(const std::string& FileName) {
  ImportGPX([&](TXpObjModel& Model, TXpStreamHandler& Handler) { return Model.StreamDataSource(FileName, Handler); },
            FileName, [&] { return ReadFileContent(FileName); });
}

void TGPXFile::ImportGPXStream(std::istream& Stream, const std::string& SourceName) {
  // The bytes stay for the line numbers of values left out.
  const std::string bytes{std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
  ImportGPX([&](TXpObjModel& Model, TXpStreamHandler& Handler) { return Model.StreamMemory(bytes, Handler); },
            SourceName, [&] { return bytes; });
}

void TGPXFile::ImportGPX(const std::function<bool(TXpObjModel&, TXpStreamHandler&)>& Load,
                         const std::string& SourceName, const std::function<std::string()>& SourceBytes) {
  ResetSkipped();
  fSourceName = SourceName;
  fCounts = {};
  fSawMetadata = fSawExtensions = false;
  if (!GPXd) {
    mLog.emplace_back("No document to read " + SourceName + " into");
    mLog.emplace_back("File not loaded");
    return;
  }
  TXpObjModel model;
  model.IgnoreCase = true;
  model.LineBreakMode = TXpLineBreakMode::lbmDefault;
  model.PieceBytes = XmlPieceBytes;

  // The file is read into a document of its own, which GPXd points to
  // meanwhile; only a file that was read (or an impossible date, which
  // keeps what came before it) changes the caller's document.
  TGPX* const target = GPXd;
  TGPX read;
  GPXd = &read;
  StreamReader reader(*this);
  bool parsed = false;
  try {
    parsed = Load(model, reader);
  } catch (const std::exception& e) {
    GPXd = target;
    mLog.emplace_back(e.what());
    return;
  }
  GPXd = target;
  if (parsed && reader.Stopped()) {
    // What came before the impossible date stays.
    TakeOver(read, *target);
    try {
      std::rethrow_exception(reader.Stopped());
    } catch (const EConvertError& e) {
      mLog.emplace_back(e.what());
      NoteSkipped(model, SourceBytes);
      throw;
    }
  }
  if (!parsed || !reader.SawRoot()) {
    // Nothing of the file is kept, so nothing was left out of it either.
    ResetSkipped();
    const std::string errors = TrimCopy(model.ErrorText());
    if (!errors.empty()) mLog.push_back(errors);
    mLog.emplace_back("File not loaded");
    return;
  }
  TakeOver(read, *target);
  mLog.push_back("Read " + std::to_string(fCounts.wpt) + " waypoints, " + std::to_string(fCounts.rte) +
                 " routes with " + std::to_string(fCounts.rtept) + " route points, " +
                 std::to_string(fCounts.trk) + " tracks with " + std::to_string(fCounts.trkseg) +
                 " segments and " + std::to_string(fCounts.trkpt) + " track points from " + SourceName);
  Loaded = true;
  NoteSkipped(model, SourceBytes);
}

void TGPXFile::ReadDocumentPart(const TXpNode& Node) {
  const std::string_view name = Node.NodeName();
  if (SameXmlName(name, "metadata")) {
    fSawMetadata = true;
    ReadMetadata(Node);
  } else if (SameXmlName(name, "wpt")) {
    ReadPoint(Node, GPXd->wpt);
    ++fCounts.wpt;
  } else if (SameXmlName(name, "extensions")) {
    fSawExtensions = true;
    ReadDocumentExtensions(Node);
  }
}

void TGPXFile::TakeOver(TGPX& Read, TGPX& Doc) const {
  if (fSawMetadata) Doc.metadata = std::move(Read.metadata);
  if (fSawExtensions) Doc.extension.Text = std::move(Read.extension.Text);
  const bool wptFilled = Doc.wpt.filled || Read.wpt.filled;
  const bool rteFilled = Doc.rte.filled || Read.rte.filled;
  const bool trkFilled = Doc.trk.filled || Read.trk.filled;
  if (Doc.wpt.DepthNamespace.empty()) Doc.wpt.DepthNamespace = Read.wpt.DepthNamespace;
  Doc.wpt.MoveFrom(Read.wpt);
  Doc.rte.MoveFrom(Read.rte);
  Doc.trk.MoveFrom(Read.trk);
  Doc.wpt.filled = wptFilled;
  Doc.rte.filled = rteFilled;
  Doc.trk.filled = trkFilled;
}

void TGPXFile::ResetSkipped() {
  UnreadableDepths = {};
  SkippedPoints = {};
  fNamespaceList = nullptr;
}

void TGPXFile::NoteSkipped(const TXpObjModel& Model, const std::function<std::string()>& SourceBytes) {
  std::string bytes;
  bool haveBytes = false;
  for (TSkippedValues* v : {&UnreadableDepths, &SkippedPoints}) {
    if (v->Count == 0 || v->FirstOffset < 0) continue;
    if (!haveBytes) {
      bytes = SourceBytes();
      haveBytes = true;
    }
    v->FirstLine = LineAtDecodedOffset(bytes, Model.Encoding(), v->FirstOffset);
  }
  for (const std::string& line : ReadWarnings()) mLog.push_back(line);
}

namespace {

std::string FirstAt(const TSkippedValues& v) {
  std::string out = ", first";
  if (v.FirstLine > 0) out += " at line " + std::to_string(v.FirstLine);
  return out + ": " + v.First;
}

}  // namespace

std::string TGPXFile::SkippedPointsWarning() const {
  if (SkippedPoints.Count == 0) return {};
  return fSourceName + ": " + std::to_string(SkippedPoints.Count) +
         (SkippedPoints.Count == 1 ? " point" : " points") +
         " skipped (latitude or longitude missing, not a number or out of range)" + FirstAt(SkippedPoints);
}

std::vector<std::string> TGPXFile::ReadWarnings() const {
  std::vector<std::string> lines;
  if (UnreadableDepths.Count > 0)
    lines.push_back(fSourceName + ": " + std::to_string(UnreadableDepths.Count) +
                    (UnreadableDepths.Count == 1 ? " depth value" : " depth values") + " could not be read" +
                    FirstAt(UnreadableDepths));
  if (SkippedPoints.Count > 0) lines.push_back(SkippedPointsWarning());
  return lines;
}

bool TGPXFile::UsableCoordinates(double Latitude, double Longitude) {
  return std::isfinite(Latitude) && std::isfinite(Longitude) && std::fabs(Latitude) <= 90 &&
         std::fabs(Longitude) <= 180;
}

std::string TGPXFile::GetLastNodeText(const TXpNode& Parent, std::string_view NodeName) {
  const TXpNode last = LastChild(Parent, NodeName);
  return last ? last.Text() : std::string();
}

std::string TGPXFile::GetExtensionNodeContent(const TXpNode& Parent, std::string_view NodeName) {
  const TXpNode last = LastChild(Parent, NodeName);
  if (!last) return {};
  return TrimCopy(last.InnerXml(&WriterBindings()));
}

TDateTime TGPXFile::ReadTime(std::string_view Text) const {
  try {
    return ISO8601ToDateTime(Text);
  } catch (const EConvertError& e) {
    throw EConvertError(fSourceName + ": " + e.what());
  }
}

void TGPXFile::ReadLink(const TXpNode& Node, TGPXLink& Link) {
  Link = TGPXLink();
  std::string href = AttributeValue(Node, "href");
  if (href.empty()) href = Node.Text();
  Link.href = href;
  Link.text = GetLastNodeText(Node, "text");
  Link.ltype = GetLastNodeText(Node, "type");
  Link.filled = true;
}

void TGPXFile::ReadPerson(const TXpNode& Node, TGPXperson& Person) {
  Person = TGPXperson();
  Person.name = GetLastNodeText(Node, "name");
  if (Person.name.empty() && !LastChild(Node, "name")) {
    // An older form holds the name as the person's own text; the texts of
    // its link or e-mail are not a name.
    std::string own;
    for (TXpNode c = Node.FirstChild(); c; c = c.NextSibling()) {
      if (c.NodeType() != TXpNodeType::ntText && c.NodeType() != TXpNodeType::ntCDATA) continue;
      const std::string t = c.NodeValue();
      if (t.empty()) continue;
      if (!own.empty()) own += ' ';
      own += t;
    }
    Person.name = own;
  }
  if (const TXpNode email = LastChild(Node, "email")) {
    // GPX 1.1 puts the two halves in attributes; files of older writers
    // hold them in child elements.
    Person.email.id = AttributeValue(email, "id");
    Person.email.domain = AttributeValue(email, "domain");
    if (Person.email.id.empty()) Person.email.id = GetLastNodeText(email, "id");
    if (Person.email.domain.empty()) Person.email.domain = GetLastNodeText(email, "domain");
    Person.email.filled = true;
  }
  if (const TXpNode link = LastChild(Node, "link")) ReadLink(link, Person.link);
  Person.filled = true;
}

void TGPXFile::ReadMetadata(const TXpNode& Node) {
  TGPXmetadata md;
  md.filled = true;
  try {
    md.name = GetLastNodeText(Node, "name");
    md.desc = GetLastNodeText(Node, "desc");
    md.keywords = GetLastNodeText(Node, "keywords");
    // An impossible date ends the read here: what follows in the table keeps
    // its default.
    md.mtime = ReadTime(GetLastNodeText(Node, "time"));
    if (const TXpNode author = LastChild(Node, "author")) ReadPerson(author, md.author);
    if (const TXpNode copyright = LastChild(Node, "copyright")) {
      if (const TXpNode a = copyright.Attributes().GetNamedItem("author")) md.copyright.author = a.NodeValue();
      md.copyright.year = IntOr(GetLastNodeText(copyright, "year"), -1);
      md.copyright.license = GetLastNodeText(copyright, "license");
      md.copyright.filled = true;
    }
    if (const TXpNode link = LastChild(Node, "link")) ReadLink(link, md.link);
    if (const TXpNode bounds = LastChild(Node, "bounds"); bounds && bounds.HasAttributes()) {
      const TXpNamedNodeMap attrs = bounds.Attributes();
      if (const TXpNode a = attrs.GetNamedItem("minlat")) md.bounds.minlat = ParseNumberDef(a.NodeValue(), 0);
      if (const TXpNode a = attrs.GetNamedItem("minlon")) md.bounds.minlon = ParseNumberDef(a.NodeValue(), 0);
      if (const TXpNode a = attrs.GetNamedItem("maxlat")) md.bounds.maxlat = ParseNumberDef(a.NodeValue(), 0);
      if (const TXpNode a = attrs.GetNamedItem("maxlon")) md.bounds.maxlon = ParseNumberDef(a.NodeValue(), 0);
      md.bounds.filled = true;
    }
    md.extensions = GetExtensionNodeContent(Node, "extensions");
  } catch (...) {
    GPXd->metadata = std::move(md);
    throw;
  }
  GPXd->metadata = std::move(md);
}

namespace {

// A number as the depth and coordinate rules take it: the GPX number form,
// finite.
std::optional<double> FiniteNumber(std::string_view text) {
  const std::optional<double> v = ParseNumber(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

// The namespace URI bound to the prefix of `element`'s name where it stands,
// or empty.
std::string NamespaceOfPrefix(const TXpNode& element) {
  const std::string_view name = element.NodeName();
  const auto colon = name.find(':');
  if (colon == std::string_view::npos) return {};
  const std::string declaration = "xmlns:" + std::string(name.substr(0, colon));
  for (TXpNode n = element; n && n.NodeType() == TXpNodeType::ntElement; n = n.ParentNode()) {
    const TXpNamedNodeMap attrs = n.Attributes();
    for (int i = 0; i < attrs.Length(); ++i)
      if (attrs.Item(i).NodeName() == declaration) return attrs.Item(i).NodeValue();
  }
  return {};
}

}  // namespace

void TGPXFile::ReadPoint(const TXpNode& Node, TGPXwptList& List) {
  // A point without a usable position is left out: read as 0 it would sit
  // off the coast of Africa, and beyond ±90/±180 no GPX file may hold it.
  const TXpNamedNodeMap attributes = Node.Attributes();
  const TXpNode latNode = attributes.GetNamedItem("lat");
  const TXpNode lonNode = attributes.GetNamedItem("lon");
  std::string buffer;
  const double lat = latNode ? FiniteNumber(latNode.TextRef(buffer)).value_or(NAN) : NAN;
  const double lon = lonNode ? FiniteNumber(lonNode.TextRef(buffer)).value_or(NAN) : NAN;
  if (!UsableCoordinates(lat, lon)) {
    std::string what;
    if (!latNode) what = "lat missing";
    else if (!lonNode) what = "lon missing";
    else if (!(std::fabs(lat) <= 90)) what = "lat=" + Quoted(latNode.NodeValue());
    else what = "lon=" + Quoted(lonNode.NodeValue());
    SkippedPoints.Add(what, Node.SourceOffset());
    return;
  }

  TGPXwpt& p = *List.NewPoint();
  List.filled = true;
  p.Latitude = lat;
  p.Longitude = lon;

  // One pass over the children keeps the last element of each name.
  TXpNode ele, time, magvar, geoidheight, name, cmt, desc, src, link, sym, type, fix, sat, hdop, vdop, pdop,
      ageofdgpsdata, dgpsid, extensions;
  ForEachElement(Node, [&](const TXpNode& c) {
    if (c.NameIs("ele")) ele = c;
    else if (c.NameIs("time")) time = c;
    else if (c.NameIs("extensions")) extensions = c;
    else if (c.NameIs("name")) name = c;
    else if (c.NameIs("magvar")) magvar = c;
    else if (c.NameIs("geoidheight")) geoidheight = c;
    else if (c.NameIs("cmt")) cmt = c;
    else if (c.NameIs("desc")) desc = c;
    else if (c.NameIs("src")) src = c;
    else if (c.NameIs("link")) link = c;
    else if (c.NameIs("sym")) sym = c;
    else if (c.NameIs("type")) type = c;
    else if (c.NameIs("fix")) fix = c;
    else if (c.NameIs("sat")) sat = c;
    else if (c.NameIs("hdop")) hdop = c;
    else if (c.NameIs("vdop")) vdop = c;
    else if (c.NameIs("pdop")) pdop = c;
    else if (c.NameIs("ageofdgpsdata")) ageofdgpsdata = c;
    else if (c.NameIs("dgpsid")) dgpsid = c;
  });

  auto number = [&](const TXpNode& n, double Default) { return ParseNumberDef(n.TextRef(buffer), Default); };
  if (time) p.DateTime = ReadTime(time.TextRef(buffer));
  if (ele) p.Altitude = number(ele, 0);
  if (extensions) ReadPointExtensions(extensions, p, List);
  // The rest is rare: a sounder's points have none of it, and then no
  // details record is made.
  if (!(magvar || geoidheight || name || cmt || desc || src || sym || link || type || fix || sat || hdop || vdop ||
        pdop || ageofdgpsdata || dgpsid))
    return;
  TGPXwptDetails& d = p.Edit();
  if (magvar) d.magvar = number(magvar, 0);
  if (geoidheight) d.geoidheight = number(geoidheight, 0);
  if (name) d.name = name.TextRef(buffer);
  if (cmt) d.cmt = cmt.TextRef(buffer);
  if (desc) d.desc = desc.TextRef(buffer);
  if (src) d.src = src.TextRef(buffer);
  if (sym) d.sym = sym.TextRef(buffer);
  if (link) ReadLink(link, d.link);
  if (type) d.wtype = type.TextRef(buffer);
  if (fix) d.fix = ToLowerAscii(fix.TextRef(buffer));
  if (sat) d.sat = static_cast<std::uint8_t>(ParseIntegerDef(sat.TextRef(buffer), -1) & 0xFF);
  if (hdop) d.hdop = number(hdop, -1);
  if (vdop) d.vdop = number(vdop, -1);
  if (pdop) d.pdop = number(pdop, -1);
  if (ageofdgpsdata) d.ageofdgpsdata = number(ageofdgpsdata, -1);
  if (dgpsid) d.dgpsid = IntOr(dgpsid.TextRef(buffer), -1);
}

void TGPXFile::ReadPointExtensions(const TXpNode& Extensions, TGPXwpt& Point, TGPXwptList& List) {
  // The point's depth is its last h:depth child; depth elements nested in
  // other extension elements, or written inside CDATA, belong to those and
  // stay in the text.
  std::string buffer;
  TXpNode own;
  for (TXpNode c = Extensions.FirstChild(); c; c = c.NextSibling())
    if (c.NameIs("h:depth")) own = c;
  std::optional<double> depth;
  if (own) {
    depth = FiniteNumber(own.TextRef(buffer));
    if (depth) Point.HBdepth = *depth;
    else UnreadableDepths.Add(Quoted(own.TextRef(buffer)), own.SourceOffset());
    if (fNamespaceList != &List) {
      fNamespaceList = &List;
      if (List.DepthNamespace.empty()) List.DepthNamespace = NamespaceOfPrefix(own);
    }
  }
  // The rest is kept whole: elements, text, comments and CDATA. Depth
  // elements holding a number go (the point's depth stands for them); one
  // that holds no number stays, so a save writes it back as it was.
  std::string rest;
  for (TXpNode c = Extensions.FirstChild(); c; c = c.NextSibling()) {
    if (c.NameIs("h:depth") && (c == own ? depth.has_value() : FiniteNumber(c.TextRef(buffer)).has_value())) continue;
    rest += c.XmlDocument(&WriterBindings());
  }
  if (!rest.empty()) Point.Edit().extensions = Trim(rest);
}

void TGPXFile::ReadLineExtensions(const TXpNode& Node, TGPXrouteDetails& Details) {
  // Only the last extensions element counts: it replaces what an earlier
  // one gave.
  Details.extensions.clear();
  Details.LineStyle = TGPX_StyleLine();
  bool afterText = false;
  for (TXpNode c = Node.FirstChild(); c; c = c.NextSibling()) {
    if (c.NodeType() == TXpNodeType::ntElement && c.NodeName() == "line") {
      const std::string color = GetLastNodeText(c, "color");
      const std::string opacity = GetLastNodeText(c, "opacity");
      if (!color.empty()) Details.LineStyle.SetColorStr(color);
      if (!opacity.empty()) Details.LineStyle.SetOpacityStr(opacity);
    } else {
      // Texts on both sides of a style element taken out meet here; they
      // are joined by the blank a reader makes of the line break between
      // them, so a second read gives the same text.
      const bool text = c.NodeType() == TXpNodeType::ntText;
      Details.extensions += afterText && text ? ' ' : '\n';
      Details.extensions += c.XmlDocument(&WriterBindings());
      afterText = text;
    }
  }
  Details.extensions = TrimCopy(Details.extensions);
}

void TGPXFile::ReadDocumentExtensions(const TXpNode& Node) {
  std::string content = TrimCopy(Node.InnerXml(&WriterBindings()));
  if (content == "<extensions/>") content.clear();
  GPXd->extension.Text = std::move(content);
}

namespace {

bool Digits(std::string_view s, std::size_t from, std::size_t n, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// yyyy-mm-ddThh:mm:ssZ, the form nearly every file uses, and the same with
// a fraction of a second of up to six digits (yyyy-mm-ddThh:mm:ss.fffZ, as
// loggers writing several points a second have it), read directly. The
// milliseconds are the first three digits of the fraction, as the general
// parser below takes them.
bool CanonicalTime(std::string_view s, TDateTime& result) {
  if (s.size() < 20 || s.size() > 27 || s.size() == 21 || s[4] != '-' || s[7] != '-' || s[10] != 'T' ||
      s[13] != ':' || s[16] != ':' || s.back() != 'Z')
    return false;
  int y, mo, d, h, mi, se, ms = 0;
  if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d) || !Digits(s, 11, 2, h) ||
      !Digits(s, 14, 2, mi) || !Digits(s, 17, 2, se))
    return false;
  if (s.size() > 20) {
    const std::size_t digits = s.size() - 21;
    int fraction;
    if (s[19] != '.' || !Digits(s, 20, digits, fraction)) return false;
    const std::size_t kept = std::min<std::size_t>(digits, 3);
    if (!Digits(s, 20, kept, ms)) return false;
    for (std::size_t i = kept; i < 3; ++i) ms *= 10;
  }
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || se > 59) return false;
  result = ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, se, ms));
  return true;
}

}  // namespace

TDateTime TGPXFile::ISO8601ToDateTime(std::string_view Value) {
  if (TDateTime fast; CanonicalTime(Value, fast)) return fast;
  if (Value.size() < 8) return 0;
  const std::string_view text = Trim(Value);
  try {
    std::size_t split = text.find('T');
    if (split == std::string_view::npos) split = text.find(' ');
    const std::string_view date = text.substr(0, split);
    std::string time(split == std::string_view::npos ? std::string_view() : text.substr(split + 1));
    if (date.size() < 4) return 0;

    std::string zone;
    if (const auto z = time.find('Z'); z != std::string::npos) {
      zone = "Z";
      time.resize(z);
    } else if (const auto plus = time.find('+'); plus != std::string::npos) {
      zone = time.substr(plus);
      time.resize(plus);
    } else if (const auto minus = time.find('-'); minus != std::string::npos) {
      zone = time.substr(minus);
      time.resize(minus);
    }
    if (const auto comma = time.find(','); comma != std::string::npos) time[comma] = '.';

    // Date: calendar (yyyy-mm-dd, yyyymmdd, yyyy-mm), ordinal (yyyy-ddd)
    // or week date (yyyy-Www-d).
    const int year = IntOr(Head(date, 4), 1900);
    TDateTime day;
    std::string_view rest = DropOne(Tail(date, 4), '-');
    if (rest.empty()) {
      day = EncodeDate(year, 1, 1);
    } else if (rest.size() == 3 && rest.front() != 'W') {
      day = EncodeDateDay(year, IntOr(rest, 1));
    } else if (rest.front() == 'W') {
      rest.remove_prefix(1);
      const int week = IntOr(Head(rest, 2), 1);
      rest = Tail(rest, 2);
      const int weekday = rest.empty() ? 1 : IntOr(DropOne(rest, '-'), 1);
      day = EncodeDateWeek(year, week, weekday);
    } else {
      const int month = IntOr(Head(rest, 2), 1);
      rest = Tail(rest, 2);
      const int dayOfMonth = rest.empty() ? 1 : IntOr(DropOne(rest, '-'), 1);
      day = EncodeDate(year, month, dayOfMonth);
    }

    // Time of day: hh[:mm[:ss[.fff]]], with a decimal fraction allowed on
    // the last unit given.
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
    std::string_view t = time;
    if (!t.empty()) {
      hours = IntOr(Head(t, 2), 0);
      t = Tail(t, 2);
      if (t.size() >= 2) {
        t = DropOne(t, ':');
        if (!t.empty() && t.front() == '.') {
          double x = FractionOr0(t) * 60;
          minutes = WholePart(x);
          x = (x - minutes) * 60;
          seconds = WholePart(x);
          millis = WholePart((x - seconds) * 1000);
        } else {
          minutes = IntOr(Head(t, 2), 0);
          t = Tail(t, 2);
          if (t.size() >= 2) {
            t = DropOne(t, ':');
            if (!t.empty() && t.front() == '.') {
              const double x = FractionOr0(t) * 60;
              seconds = WholePart(x);
              millis = WholePart((x - seconds) * 1000);
            } else {
              seconds = IntOr(Head(t, 2), 0);
              t = Tail(t, 2);
              if (t.size() >= 2 && t.front() == '.') millis = WholePart(FractionOr0(t) * 1000);
            }
          }
        }
      }
    }
    millis = std::min(millis, 999);
    const TDateTime timeOfDay = EncodeTime(hours, minutes, seconds, millis);

    TDateTime offset = 0;
    bool negative = false;
    if (zone.size() >= 3) {
      negative = zone.front() == '-';
      std::string_view z = std::string_view(zone).substr(1);
      const int offHours = IntOr(Head(z, 2), 0);
      z = Tail(z, 2);
      const int offMinutes = z.empty() ? 0 : IntOr(DropOne(z, ':'), 0);
      offset = EncodeTime(offHours, offMinutes, 0, 0);
    }
    const TDateTime local = ComposeDateTime(day, timeOfDay);
    return negative ? local + offset : local - offset;
  } catch (const EConvertError& e) {
    throw EConvertError("Impossible date or time \"" + std::string(text) + "\" (" + e.what() + ")");
  }
}

// ================================================================== writing

void TGPXFile::AppendNumber(std::string& Out, double Value) {
  if (!std::isfinite(Value) || Value == 0) {
    Out += FormatNumber(Value);
    return;
  }
  char buf[64];
  if (std::fabs(Value) < 1e15 && Value == std::trunc(Value)) {
    // Whole numbers of up to 15 digits need no rounding.
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(Value));
    Out.append(buf, r.ptr);
    return;
  }
  {
    // A value read from a text of at most 15 digits has a shortest exact
    // form of no more digits, and that form is then its rounding to 15
    // digits as well: it lies on the grid of 15-digit numbers and within half
    // a unit of the last place of the double, far closer than the grid's
    // spacing.
    const auto shortest = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed);
    if (shortest.ec == std::errc()) {
      int significant = 0;
      for (const char* q = buf; q < shortest.ptr; ++q)
        if (*q >= '0' && *q <= '9' && (significant > 0 || *q != '0')) ++significant;
      if (significant <= 15) {
        Out.append(buf, shortest.ptr);
        return;
      }
    }
  }
  // Rounded to 15 significant digits, then written in plain decimal.
  const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
  const char* p = buf;
  if (*p == '-') {
    Out.push_back('-');
    ++p;
  }
  char digits[15];
  digits[0] = p[0];
  std::memcpy(digits + 1, p + 2, 14);
  const char* e = p + 17;  // after "d.dddddddddddddde"
  const bool negativeExponent = *e == '-';
  int exponent = 0;
  for (const char* q = e + 1; q < r.ptr; ++q) exponent = exponent * 10 + (*q - '0');
  if (negativeExponent) exponent = -exponent;
  int used = 15;
  while (used > 1 && digits[used - 1] == '0') --used;
  const int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    Out += "0.";
    Out.append(static_cast<std::size_t>(-point), '0');
    Out.append(digits, static_cast<std::size_t>(used));
  } else if (point >= 15) {
    Out.append(digits, 15);
    Out.append(static_cast<std::size_t>(point - 15), '0');
  } else {
    Out.append(digits, static_cast<std::size_t>(point));
    if (used > point) {
      Out.push_back('.');
      Out.append(digits + point, static_cast<std::size_t>(used - point));
    }
  }
}

void TGPXFile::AppendNumber(std::string& Out, double Value, int& Decimals) {
  // The shortest exact form of a number that is not whole, tried at the
  // guessed count of decimals and upwards. Scaled to k decimals, a value
  // whose shortest form has k decimals and at most 15 digits rounds to
  // those digits: the error of the scaling is far below a half. No other
  // k-decimal number of at most 15 digits reads back as the same value, so
  // the digits found are the shortest form once trailing zeros are gone.
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (std::isfinite(Value) && Value != std::trunc(Value)) {
    for (int k = std::clamp(Decimals, 1, 15); k <= 15; ++k) {
      const double scaled = Value * kPowersOfTen[k];
      if (!(std::fabs(scaled) < 1e15)) break;
      long long n = static_cast<long long>(scaled + (scaled < 0 ? -0.5 : 0.5));
      if (static_cast<double>(n) / kPowersOfTen[k] != Value) continue;
      int decimals = k;
      while (n % 10 == 0) {
        n /= 10;
        --decimals;
      }
      Decimals = decimals;
      char digits[24];
      if (n < 0) Out.push_back('-');
      const auto r = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n);
      const auto length = static_cast<int>(r.ptr - digits);
      if (length <= decimals) {
        Out += "0.";
        Out.append(static_cast<std::size_t>(decimals - length), '0');
        Out.append(digits, r.ptr);
      } else {
        Out.append(digits, static_cast<std::size_t>(length - decimals));
        Out.push_back('.');
        Out.append(r.ptr - decimals, static_cast<std::size_t>(decimals));
      }
      return;
    }
  }
  AppendNumber(Out, Value);
}

void TGPXFile::AppendGPXTime(std::string& Out, TDateTime Value) {
  const DateTimeParts p = DecodeDateTime(Value);
  if (p.Year < 0 || p.Year > 9999) {
    Out += FormatPadded(p.Year, 4);
    Out.push_back('-');
  } else {
    const char year[5] = {static_cast<char>('0' + p.Year / 1000), static_cast<char>('0' + p.Year / 100 % 10),
                          static_cast<char>('0' + p.Year / 10 % 10), static_cast<char>('0' + p.Year % 10), '-'};
    Out.append(year, 5);
  }
  // mm-ddThh:mm:ssZ, appended at once.
  char rest[15];
  auto two = [&](int at, int v, char after) {
    rest[at] = static_cast<char>('0' + v / 10 % 10);
    rest[at + 1] = static_cast<char>('0' + v % 10);
    rest[at + 2] = after;
  };
  two(0, p.Month, '-');
  two(3, p.Day, 'T');
  two(6, p.Hour, ':');
  two(9, p.Minute, ':');
  two(12, p.Second, 'Z');
  Out.append(rest, sizeof rest);
}

void TGPXFile::AppendIndent(std::string& Out, int TabCount) const {
  for (int i = 0; i < TabCount; ++i) Out += Indent;
}

std::string TGPXFile::XMLise(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + 8);
  AppendXmlEscaped(out, Text, false);
  return out;
}

std::string TGPXFile::XMLiseAttribute(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + 8);
  AppendXmlEscaped(out, Text, true);
  return out;
}

std::string TGPXFile::DateTimeToGPXTime(TDateTime Value) {
  std::string out;
  AppendGPXTime(out, Value);
  return out;
}

void TGPXFile::AppendText(std::string& Out, std::string_view Text, std::string_view Tag, int TabCount,
                          bool Ext) const {
  if (Text.empty()) return;
  // A text of nothing but characters XML cannot carry writes as empty, and
  // an empty element reads back as no text: it is left out.
  if (!Ext && std::all_of(Text.begin(), Text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
      }))
    return;
  AppendIndent(Out, TabCount);
  Out += '<';
  Out += Tag;
  Out += '>';
  if (Ext) Out += Text;
  else if (NeedsCData(Text)) AppendXmlCData(Out, Text);
  else AppendXmlEscaped(Out, Text, false);
  Out += "</";
  Out += Tag;
  Out += '>';
  Out += LineEnd;
}

void TGPXFile::AppendDouble(std::string& Out, double Value, std::string_view Tag, long long Default,
                            int TabCount, int* Decimals) const {
  // A number too large for a double reads as infinite; no reader would take
  // it back, so it is left out like an absent value.
  if (Value == static_cast<double>(Default) || !std::isfinite(Value)) return;
  AppendIndent(Out, TabCount);
  Out += '<';
  Out += Tag;
  Out += '>';
  if (Decimals) AppendNumber(Out, Value, *Decimals);
  else AppendNumber(Out, Value);
  Out += "</";
  Out += Tag;
  Out += '>';
  Out += LineEnd;
}

std::string TGPXFile::WriteText(std::string_view Text, std::string_view Tag, int TabCount, bool Ext) {
  std::string out;
  AppendText(out, Text, Tag, TabCount, Ext);
  return out;
}

std::string TGPXFile::WriteInt(long long Value, std::string_view Tag, long long Default, int TabCount) {
  if (Value == Default) return {};
  return WriteText(std::to_string(Value), Tag, TabCount, true);
}

std::string TGPXFile::WriteTime(TDateTime Value, std::string_view Tag, long long Default, int TabCount) {
  if (Value == static_cast<double>(Default)) return {};
  return WriteText(DateTimeToGPXTime(Value), Tag, TabCount, true);
}

std::string TGPXFile::WriteDouble(double Value, std::string_view Tag, long long Default, int TabCount) {
  std::string out;
  AppendDouble(out, Value, Tag, Default, TabCount);
  return out;
}

std::string TGPXFile::PointExtensions(const TGPXwpt& Point) {
  const std::string_view raw = Point.extensions();
  std::string depth;
  if (Point.HBdepth != 0) {
    depth = "<h:depth>";
    AppendNumber(depth, Point.HBdepth);
    depth += "</h:depth>";
  }
  std::size_t at;
  if (!ContainsCaseless(raw, "<h:depth", 0, at)) return depth + std::string(raw);

  std::string out;
  std::size_t from = 0;
  std::size_t place = 0;  // where the depth goes in `out`
  ForEachTopElement(raw, [&](const TopElement& e) {
    if (!SameTextAscii(e.name, "h:depth")) return;
    out.append(raw.substr(from, e.begin - from));
    if (!HoldsNumber(e.content)) out.append(raw.substr(e.begin, e.end - e.begin));
    place = out.size();
    from = e.end;
  });
  out.append(raw.substr(from));
  out.insert(place, depth);
  return TrimCopy(out);
}

void TGPXFile::AppendLink(std::string& Out, const TGPXLink& Link, int TabCount) const {
  AppendIndent(Out, TabCount);
  Out += "<link href=\"";
  AppendXmlEscaped(Out, Link.href.view(), true);
  Out += "\">";
  Out += LineEnd;
  AppendText(Out, Link.text.view(), "text", TabCount + 1, false);
  AppendText(Out, Link.ltype.view(), "type", TabCount + 1, false);
  AppendIndent(Out, TabCount);
  Out += "</link>";
  Out += LineEnd;
}

void TGPXFile::AppendWPT(std::string& Out, const TGPXwpt& Point, std::string_view Tag, int TabCount) {
  if (!UsableCoordinates(Point.Latitude, Point.Longitude)) {
    // No GPX file may hold it, and no reader could place it.
    ++PointsNotWritten;
    return;
  }
  const int d = TabCount + 1;
  AppendIndent(Out, TabCount);
  Out += '<';
  Out += Tag;
  Out += " lat=\"";
  AppendNumber(Out, Point.Latitude, fLatDecimals);
  Out += "\" lon=\"";
  AppendNumber(Out, Point.Longitude, fLonDecimals);
  Out += "\">";
  Out += LineEnd;
  // GPX 1.1 schema order.
  AppendDouble(Out, Point.Altitude, "ele", 0, d, &fEleDecimals);
  if (Point.DateTime != 0) {
    AppendIndent(Out, d);
    Out += "<time>";
    AppendGPXTime(Out, Point.DateTime);
    Out += "</time>";
    Out += LineEnd;
  }
  if (Point.HasDetails()) {
    const TGPXwptDetails& x = Point.Details();
    AppendDouble(Out, x.magvar, "magvar", 0, d);
    AppendDouble(Out, x.geoidheight, "geoidheight", 0, d);
    AppendText(Out, x.name.view(), "name", d, false);
    AppendText(Out, x.cmt.view(), "cmt", d, false);
    AppendText(Out, x.desc.view(), "desc", d, false);
    AppendText(Out, x.src.view(), "src", d, false);
    if (x.link.filled) AppendLink(Out, x.link, 0);
    AppendText(Out, x.sym.view(), "sym", d, false);
    AppendText(Out, x.wtype.view(), "type", d, false);
    AppendText(Out, x.fix.view(), "fix", d, false);
    if (x.sat != 255) AppendText(Out, std::to_string(x.sat), "sat", d, true);
    AppendDouble(Out, x.hdop, "hdop", -1, d);
    AppendDouble(Out, x.vdop, "vdop", -1, d);
    AppendDouble(Out, x.pdop, "pdop", -1, d);
    AppendDouble(Out, x.ageofdgpsdata, "ageofdgpsdata", -1, d);
    if (x.dgpsid != -1) AppendText(Out, std::to_string(x.dgpsid), "dgpsid", d, true);
  }
  if (Point.HBdepth != 0 && Point.extensions().empty()) {
    // The common case of a sounding without other extensions, without the
    // detour through PointExtensions.
    AppendIndent(Out, d);
    Out += "<extensions><h:depth>";
    AppendNumber(Out, Point.HBdepth, fDepthDecimals);
    Out += "</h:depth></extensions>";
    Out += LineEnd;
  } else if (Point.HBdepth != 0 || !Point.extensions().empty()) {
    AppendText(Out, PointExtensions(Point), "extensions", d, true);
  }
  AppendIndent(Out, TabCount);
  Out += "</";
  Out += Tag;
  Out += '>';
  Out += LineEnd;
}

void TGPXFile::AppendStyledExtensions(std::string& Out, const TGPX_StyleLine& Style, const std::string& Extensions) {
  const bool hasColor = !Style.IsDefaultColor();
  const bool hasOpacity = std::fabs(Style.Opacity()) < 1;
  const bool styled = GPXOptions.GPX_Style && (hasColor || hasOpacity);
  if (!styled && Extensions.empty()) return;
  AppendIndent(Out, 1);
  Out += "<extensions>";
  Out += LineEnd;
  if (styled) {
    AppendIndent(Out, 2);
    Out += "<line xmlns=\"";
    Out += kGPXStyleNamespaceURI;
    Out += "\">";
    Out += LineEnd;
    if (hasColor) AppendText(Out, Style.ColorStr(), "color", 3, false);
    if (hasOpacity) AppendText(Out, Style.OpacityStr(), "opacity", 3, false);
    AppendIndent(Out, 2);
    Out += "</line>";
    Out += LineEnd;
  }
  Out += Extensions;
  AppendIndent(Out, 1);
  Out += "</extensions>";
  Out += LineEnd;
}

std::string_view TGPXFile::DepthNamespaceOf(const TGPXwptList& List) {
  return List.DepthNamespace.empty() ? std::string_view(kDepthNamespaceURI) : std::string_view(List.DepthNamespace);
}

bool TGPXFile::WritesDepth(const TGPXwptList& List) {
  for (int i = 0; i < List.Count(); ++i)
    if (List.Points(i)->HBdepth != 0) return true;
  return false;
}

void TGPXFile::AppendDepthDeclaration(std::string& Out, const TGPXwptList& List) const {
  if (fRootDepthNamespace.empty() || DepthNamespaceOf(List) == fRootDepthNamespace || !WritesDepth(List)) return;
  Out += " xmlns:h=\"";
  AppendXmlEscaped(Out, DepthNamespaceOf(List), true);
  Out += '"';
}

void TGPXFile::AppendRouteDetails(std::string& Out, const TGPXrouteDetails& details) {
  AppendText(Out, details.name, "name", 1, false);
  AppendText(Out, details.cmt, "cmt", 1, false);
  AppendText(Out, details.desc, "desc", 1, false);
  AppendText(Out, details.src, "src", 1, false);
  if (details.link.filled) AppendLink(Out, details.link, 0);
  if (details.number != -1) AppendText(Out, std::to_string(details.number), "number", 1, true);
  AppendText(Out, details.type, "type", 1, false);
  AppendStyledExtensions(Out, details.LineStyle, details.extensions);
}

void TGPXFile::AppendRTE(std::string& Out, const TGPXrte& Route) {
  Out += "<rte";
  AppendDepthDeclaration(Out, Route);
  Out += '>';
  Out += LineEnd;
  AppendRouteDetails(Out, Route.Details());
  for (int i = 0; i < Route.Count(); ++i) {
    AppendWPT(Out, *Route.rtept(i), "rtept", 1);
    Flush(Out);
  }
  Out += "</rte>";
  Out += LineEnd;
}

void TGPXFile::AppendTRK(std::string& Out, const TGPXtrk& Track) {
  Out += "<trk>";
  Out += LineEnd;
  AppendRouteDetails(Out, Track.Details());
  for (int s = 0; s < Track.Count(); ++s) {
    const TGPXtrkseg& seg = *Track.trkseg(s);
    AppendIndent(Out, 1);
    Out += "<trkseg";
    AppendDepthDeclaration(Out, seg);
    Out += '>';
    Out += LineEnd;
    for (int i = 0; i < seg.Count(); ++i) {
      AppendWPT(Out, *seg.trkpt(i), "trkpt", 2);
      Flush(Out);
    }
    AppendText(Out, seg.extensions, "extensions", 1, true);
    AppendIndent(Out, 1);
    Out += "</trkseg>";
    Out += LineEnd;
  }
  Out += "</trk>";
  Out += LineEnd;
}

std::string TGPXFile::ExportGPXLink(const TGPXLink& Link, int TabCount) {
  std::string out;
  AppendLink(out, Link, TabCount);
  return out;
}

std::string TGPXFile::ExportGPXWPT(const TGPXwpt& Point, std::string_view Tag, int TabCount) {
  std::string out;
  AppendWPT(out, Point, Tag, TabCount);
  return out;
}

std::string TGPXFile::ExportGPXRTE(const TGPXrte& Route) {
  std::string out;
  AppendRTE(out, Route);
  return out;
}

std::string TGPXFile::ExportGPXTRK(const TGPXtrk& Track) {
  std::string out;
  AppendTRK(out, Track);
  return out;
}

std::string TGPXFile::ExportGPXWPTList(const TGPXwptList& List) {
  std::string out;
  for (int i = 0; i < List.Count(); ++i) AppendWPT(out, *List.WayPoints(i), "wpt", 0);
  return out;
}

std::string TGPXFile::ExportGPXRTEList(const TGPXrteList& List) {
  std::string out;
  for (int i = 0; i < List.Count(); ++i) AppendRTE(out, *List.Routes(i));
  return out;
}

std::string TGPXFile::ExportGPXTRKList(const TGPXtrkList& List) {
  std::string out;
  for (int i = 0; i < List.Count(); ++i) AppendTRK(out, *List.Tracks(i));
  return out;
}

std::string TGPXFile::ExportGPXMetadata(const TGPXmetadata& Metadata) {
  std::string out;
  out += "<metadata>";
  out += LineEnd;
  AppendText(out, Metadata.name, "name", 1, false);
  AppendText(out, Metadata.desc, "desc", 1, false);
  if (Metadata.author.filled) {
    const TGPXperson& a = Metadata.author;
    AppendIndent(out, 1);
    out += "<author>";
    out += LineEnd;
    AppendText(out, a.name, "name", 2, false);
    if (a.email.filled) {
      AppendIndent(out, 2);
      out += "<email id=\"";
      AppendXmlEscaped(out, a.email.id, true);
      out += "\" domain=\"";
      AppendXmlEscaped(out, a.email.domain, true);
      out += "\"/>";
      out += LineEnd;
    }
    if (a.link.filled) AppendLink(out, a.link, 2);
    out += "</author>";
    out += LineEnd;
  }
  if (Metadata.copyright.filled) {
    const TGPXcopyright& c = Metadata.copyright;
    AppendIndent(out, 1);
    // The schema requires the author attribute, so it is written even empty.
    out += "<copyright author=\"";
    AppendXmlEscaped(out, c.author, true);
    out += "\">";
    out += LineEnd;
    if (c.year != -1) AppendText(out, FormatPadded(c.year, 4), "year", 2, true);
    AppendText(out, c.license, "license", 2, false);
    AppendIndent(out, 1);
    out += "</copyright>";
    out += LineEnd;
  }
  if (Metadata.link.filled) AppendLink(out, Metadata.link, 1);
  if (Metadata.mtime != 0) AppendText(out, DateTimeToGPXTime(Metadata.mtime), "time", 1, true);
  AppendText(out, Metadata.keywords, "keywords", 1, false);
  const TGPXbounds& b = Metadata.bounds;
  if (b.filled && UsableCoordinates(b.minlat, b.minlon) && UsableCoordinates(b.maxlat, b.maxlon)) {
    AppendIndent(out, 1);
    out += "<bounds minlat=\"" + FormatNumber(b.minlat) + "\" minlon=\"" + FormatNumber(b.minlon) +
           "\" maxlat=\"" + FormatNumber(b.maxlat) + "\" maxlon=\"" + FormatNumber(b.maxlon) + "\" />";
    out += LineEnd;
  }
  AppendText(out, Metadata.extensions, "extensions", 1, true);
  out += "</metadata>";
  out += LineEnd;
  return out;
}

bool TGPXFile::NeedsDepthNamespace() const {
  // The same tests as the writing of each part below makes.
  auto point = [](const TGPXwpt& p) {
    if (!UsableCoordinates(p.Latitude, p.Longitude)) return false;  // not written
    if (p.HBdepth != 0) return true;
    return !p.extensions().empty() && UsesDepthPrefix(PointExtensions(p));
  };
  auto points = [&](const TGPXwptList& list) {
    for (int i = 0; i < list.Count(); ++i)
      if (point(*list.WayPoints(i))) return true;
    return false;
  };
  if (GPXd->metadata.filled && UsesDepthPrefix(GPXd->metadata.extensions)) return true;
  if (!Trim(GPXd->extension.Text).empty() && UsesDepthPrefix(GPXd->extension.Text)) return true;
  if (points(GPXd->wpt)) return true;
  for (const TGPXrte* route : GPXd->rte)
    if (UsesDepthPrefix(route->extensions()) || points(*route)) return true;
  for (const TGPXtrk* track : GPXd->trk) {
    if (UsesDepthPrefix(track->extensions())) return true;
    for (const TGPXtrkseg* seg : *track)
      if (UsesDepthPrefix(seg->extensions) || points(*seg)) return true;
  }
  return false;
}

void TGPXFile::Flush(std::string& Out) {
  if (fEmit && Out.size() >= kEmitBytes) {
    (*fEmit)(Out);
    Out.clear();
  }
}

void TGPXFile::BuildGPX(std::string& out) {
  if (!GPXd) throw EFileError("No document to write");
  LineEnd = GPXOptions.Compress ? "" : "\n";
  Indent = GPXOptions.Compress ? "" : "\t";
  PointsNotWritten = 0;
  // The root binds h to the namespace of the first list that writes a
  // depth; lists with another one declare theirs on their start tag.
  fRootDepthNamespace = kDepthNamespaceURI;
  {
    std::vector<const TGPXwptList*> lists{&GPXd->wpt};
    for (int i = 0; i < GPXd->rte.Count(); ++i) lists.push_back(GPXd->rte.Routes(i));
    for (int i = 0; i < GPXd->trk.Count(); ++i)
      for (int s = 0; s < GPXd->trk.Tracks(i)->Count(); ++s) lists.push_back(GPXd->trk.Tracks(i)->trkseg(s));
    for (const TGPXwptList* list : lists)
      if (WritesDepth(*list)) {
        fRootDepthNamespace = DepthNamespaceOf(*list);
        break;
      }
  }
  // Worked out before the body is written, so that the text can go out as
  // it is made.
  fUsesDepthNamespace = NeedsDepthNamespace();

  out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>";
  out += LineEnd;
  out += "<gpx version=\"1.1\" creator=\"";
  AppendXmlEscaped(out, GPXd->creator, true);
  out += "\" xmlns=\"";
  out += kGPXNamespaceURI;
  out += '"';
  if (fUsesDepthNamespace) {
    out += " xmlns:h=\"";
    AppendXmlEscaped(out, fRootDepthNamespace, true);
    out += '"';
  }
  out += " xmlns:xsi=\"";
  out += kXSINamespaceURI;
  out += "\" xsi:schemaLocation=\"";
  out += kGPXNamespaceURI;
  out += ' ';
  out += kGPXSchemaURL;
  out += "\">";
  out += LineEnd;

  if (GPXd->metadata.filled) {
    GPXd->ComputeMetaBounds();
    out += ExportGPXMetadata(GPXd->metadata);
  }
  if (GPXd->wpt.Count() > 0) {
    for (int i = 0; i < GPXd->wpt.Count(); ++i) {
      AppendWPT(out, *GPXd->wpt.WayPoints(i), "wpt", 0);
      Flush(out);
    }
    out += LineEnd;
  }
  if (GPXd->rte.Count() > 0) {
    for (int i = 0; i < GPXd->rte.Count(); ++i) AppendRTE(out, *GPXd->rte.Routes(i));
    out += LineEnd;
  }
  if (GPXd->trk.Count() > 0) {
    for (int i = 0; i < GPXd->trk.Count(); ++i) AppendTRK(out, *GPXd->trk.Tracks(i));
    out += LineEnd;
  }
  if (!Trim(GPXd->extension.Text).empty()) AppendText(out, GPXd->extension.Text, "extensions", 0, true);
  out += "</gpx>";
  if (PointsNotWritten > 0)
    mLog.push_back(std::to_string(PointsNotWritten) +
                   " points not written: latitude or longitude not finite or beyond ±90/±180");
}

std::string TGPXFile::ExportGPXText() {
  std::string out;
  BuildGPX(out);
  return out;
}

void TGPXFile::ExportGPX(const std::string& FileName) {
  AtomicFileWriter file(FileName);
  // The text goes to the file a megabyte at a time instead of being built
  // whole first.
  const std::function<void(std::string_view)> emit = [&](std::string_view text) { file.Write(text); };
  std::string out;
  out.reserve(kEmitBytes + 64 * 1024);
  fEmit = &emit;
  try {
    BuildGPX(out);
  } catch (...) {
    fEmit = nullptr;
    throw;
  }
  fEmit = nullptr;
  file.Write(out);
  file.Commit();
  Modified = false;
}

}  // namespace sondralis
