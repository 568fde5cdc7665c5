// Reading GPX files into a TGPXFile's document: the piecewise walk of the
// XML, points, routes, tracks, metadata and extensions, and the counts and
// warnings of values a file had to leave out.

#include "formats/GPXFile.h"

#include <cmath>
#include <exception>
#include <istream>
#include <iterator>
#include <optional>

#include "formats/GPXTime.h"
#include "formats/SourceLines.h"
#include "model/Numbers.h"
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

// The prefixes the root of every written file may bind. Extension text that
// uses one its file never declared is given the binding now, so that it
// reads back from our file as it was read.
const std::vector<std::pair<std::string, std::string>>& WriterBindings() {
  static const std::vector<std::pair<std::string, std::string>> kBindings = {{"h", kDepthNamespaceURI},
                                                                            {"xsi", kXSINamespaceURI}};
  return kBindings;
}

}  // namespace

// The reader's side of the piecewise reading: the root, its routes and
// tracks, and the tracks' segments are opened; every other element (a
// point, the metadata, a route's or track's own fields) comes whole.
class TGPXFile::StreamReader final : public TXpStreamHandler {
 public:
  explicit StreamReader(TGPXFile& File) : fFile(File) {}

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
    else if (c.NameIs("number")) d.number = ParseIntDef(c.Text(), -1);
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
  fEncodingNote.clear();
}

namespace {

// What a file's declared encoding was read as, when that is worth a word:
// Windows-1252, or an encoding that is not read at all.
std::string EncodingNote(const std::string& Source, const TXpObjModel& Model) {
  const std::string& declared = Model.DeclaredEncoding();
  if (declared.empty()) return {};
  switch (Model.Encoding()) {
    case TXpCharEncoding::ceWindows1252:
      return Source + ": the text was read as Windows-1252, as the file declares (\"" + declared + "\")";
    case TXpCharEncoding::ceUTF8: {
      const std::string name = ToLowerAscii(declared);
      if (name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii") return {};
      return Source + ": the file declares the encoding \"" + declared +
             "\", which is not supported: it was read as UTF-8, so letters outside ASCII may be wrong";
    }
    default: return {};
  }
}

}  // namespace

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
  fEncodingNote = EncodingNote(fSourceName, Model);
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
  if (!fEncodingNote.empty()) lines.push_back(fEncodingNote);
  return lines;
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
      md.copyright.year = ParseIntDef(GetLastNodeText(copyright, "year"), -1);
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

// The children of a point the reader takes, the common ones first.
enum PointField {
  kEle, kTime, kExtensions, kName, kMagvar, kGeoidheight, kCmt, kDesc, kSrc, kLink, kSym, kType, kFix, kSat,
  kHdop, kVdop, kPdop, kAgeOfDgpsData, kDgpsid, kPointFields
};
constexpr std::string_view kPointFieldNames[kPointFields] = {
    "ele", "time", "extensions", "name", "magvar", "geoidheight", "cmt", "desc", "src", "link",
    "sym", "type", "fix", "sat", "hdop", "vdop", "pdop", "ageofdgpsdata", "dgpsid"};


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

  // One pass over the children keeps the last element of each name; each
  // child's name is looked at once.
  TXpNode field[kPointFields];
  for (TXpNode c = Node.FirstChild(); c; c = c.NextSibling())
    if (const int f = c.NameIndex(kPointFieldNames); f >= 0) field[f] = c;
  const TXpNode &ele = field[kEle], &time = field[kTime], &extensions = field[kExtensions],
                &name = field[kName], &magvar = field[kMagvar], &geoidheight = field[kGeoidheight],
                &cmt = field[kCmt], &desc = field[kDesc], &src = field[kSrc], &link = field[kLink],
                &sym = field[kSym], &type = field[kType], &fix = field[kFix], &sat = field[kSat],
                &hdop = field[kHdop], &vdop = field[kVdop], &pdop = field[kPdop],
                &ageofdgpsdata = field[kAgeOfDgpsData], &dgpsid = field[kDgpsid];

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
  if (dgpsid) d.dgpsid = ParseIntDef(dgpsid.TextRef(buffer), -1);
}

void TGPXFile::ReadPointExtensions(const TXpNode& Extensions, TGPXwpt& Point, TGPXwptList& List) {
  // The point's depth is its last h:depth child; depth elements nested in
  // other extension elements, or written inside CDATA, belong to those and
  // stay in the text.
  std::string buffer;
  TXpNode own;
  int children = 0;
  for (TXpNode c = Extensions.FirstChild(); c; c = c.NextSibling(), ++children)
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
  // that holds no number stays, so a save writes it back as it was. A
  // sounder's point has its depth and nothing else.
  if (children == 1 && depth) return;
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

}  // namespace sondralis
