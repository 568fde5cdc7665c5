// Writing a TGPXFile's document as GPX 1.1 text, to a string or, a
// megabyte at a time, to a file that replaces the target only when complete.

#include "formats/GPXFile.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "formats/AtomicFile.h"
#include "formats/GPXTime.h"
#include "formats/XmlEscape.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

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

bool UsesDepthPrefix(std::string_view text) {
  std::size_t at;
  return ContainsCaseless(text, "<h:", 0, at);
}

}  // namespace

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
