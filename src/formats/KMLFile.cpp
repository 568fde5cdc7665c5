#include "formats/KMLFile.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <iterator>
#include <memory>
#include <optional>

#include "formats/GPXTime.h"
#include "formats/SourceLines.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::optional<double> Coordinate(std::string_view text) {
  const std::optional<double> v = ParseNumber(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

// "lon,lat[,alt]"; false when the tuple gives no position on the globe.
bool SplitTuple(std::string_view text, TKMLTuple& t) {
  const auto comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  const std::string_view rest = text.substr(comma + 1);
  const auto second = rest.find(',');
  const std::optional<double> lon = Coordinate(text.substr(0, comma));
  const std::optional<double> lat = Coordinate(rest.substr(0, second));
  if (!lon || !lat || std::fabs(*lon) > 180 || std::fabs(*lat) > 90) return false;
  t.lon = *lon;
  t.lat = *lat;
  t.alt = second == std::string_view::npos ? 0 : Coordinate(rest.substr(second + 1)).value_or(0);
  return true;
}

std::unique_ptr<TGPXwpt> MakePoint(const TKMLTuple& t) {
  auto p = std::make_unique<TGPXwpt>();
  p->Longitude = t.lon;
  p->Latitude = t.lat;
  p->Altitude = t.alt;
  return p;
}

// The geometry a placemark holds, by the name of its element.
std::string GeometryOf(const TXpNode& Placemark) {
  static constexpr const char* kKinds[] = {"Polygon",  "MultiGeometry", "LinearRing", "Model",
                                           "gx:Track", "gx:MultiTrack", "Track",      "MultiTrack"};
  for (TXpNode c = Placemark.FirstChild(); c; c = c.NextSibling())
    for (const char* kind : kKinds)
      if (c.NameIs(kind)) return std::string(c.NodeName());
  return "no geometry";
}

}  // namespace

std::vector<TKMLTuple> ParseKMLCoordinates(std::string_view Text, TSkippedValues& Skipped, long long Offset) {
  std::vector<TKMLTuple> tuples;
  std::size_t i = 0;
  while (i < Text.size()) {
    while (i < Text.size() && IsSpace(Text[i])) ++i;
    std::size_t end = i;
    while (end < Text.size() && !IsSpace(Text[end])) ++end;
    if (end == i) break;
    const std::string_view token = Text.substr(i, end - i);
    TKMLTuple t;
    if (SplitTuple(token, t)) tuples.push_back(t);
    else Skipped.Add(Quoted(token), Offset);
    i = end;
  }
  return tuples;
}

void TKMLFile::ImportKML(const std::string& FileName) {
  ImportKMLWith([&](TXpObjModel& Model) { Model.LoadDataSource(FileName); }, FileName,
                [&] { return ReadFileContent(FileName); });
}

void TKMLFile::ImportKMLStream(std::istream& Stream, const std::string& SourceName) {
  const std::string bytes{std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
  ImportKMLWith([&](TXpObjModel& Model) { Model.LoadMemory(bytes); }, SourceName, [&] { return bytes; });
}

void TKMLFile::ImportKMLWith(const std::function<void(TXpObjModel&)>& Load, const std::string& SourceName,
                             const std::function<std::string()>& SourceBytes) {
  TXpObjModel model;
  model.IgnoreCase = true;
  model.RaiseErrors = true;
  ResetSkipped();
  SkippedPlacemarks = 0;
  SkippedPlacemarkKinds.clear();
  try {
    Load(model);
  } catch (const EXpParserError& e) {
    mLog.push_back(std::string(e.what()) + " (" + std::to_string(e.Position) + ").");
    return;
  } catch (const std::exception& e) {
    mLog.push_back(std::string(e.what()) + " (-1).");
    return;
  }
  FileName = SourceName;
  fSourceName = SourceName;
  try {
    ImportKMLFromModel(model);
  } catch (...) {
    NoteSkipped(model, SourceBytes);
    throw;
  }
  NoteSkipped(model, SourceBytes);
}

std::vector<std::string> TKMLFile::ReadWarnings() const {
  std::vector<std::string> lines = TGPXFile::ReadWarnings();
  if (SkippedPlacemarks > 0) {
    std::string kinds;
    for (const std::string& k : SkippedPlacemarkKinds) kinds += (kinds.empty() ? "" : ", ") + k;
    lines.push_back(fSourceName + ": " + std::to_string(SkippedPlacemarks) +
                    (SkippedPlacemarks == 1 ? " placemark" : " placemarks") + " not read (" + kinds +
                    "); draw shorelines as paths");
  }
  return lines;
}

void TKMLFile::ImportKMLFromModel(TXpObjModel& Model) {
  TXpNode root;
  for (TXpNode c = Model.Document().FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement && SameXmlName(c.NodeName(), "kml")) root = c;
  if (!root || !GPXd) {
    mLog.push_back(TrimCopy(Model.ErrorText()));
    mLog.emplace_back("File not loaded");
    return;
  }
  // Every placemark below the kml element: in its Document or Folder, in a
  // second one beside it, or directly below kml.
  const TXpNodeList placemarks = root.SelectNodes(".//Placemark");
  for (const TXpNode& placemark : placemarks) ReadPlacemark(placemark);
  Loaded = true;
}

void TKMLFile::SkipPlacemark(const TXpNode& Placemark) {
  ++SkippedPlacemarks;
  const std::string kind = GeometryOf(Placemark);
  if (std::find(SkippedPlacemarkKinds.begin(), SkippedPlacemarkKinds.end(), kind) == SkippedPlacemarkKinds.end())
    SkippedPlacemarkKinds.push_back(kind);
}

void TKMLFile::ReadPlacemark(const TXpNode& Placemark) {
  if (Placemark.SelectBoolean("Point")) {
    // The whole text is one position; blanks around its numbers, and line
    // breaks from a CDATA section, are allowed.
    const TXpNode node = Placemark.SelectNodes("Point/coordinates").Item(0);
    std::string text = node ? node.Text() : std::string();
    std::replace_if(text.begin(), text.end(), IsSpace, ' ');
    TKMLTuple t;
    if (!SplitTuple(text, t)) {
      SkippedPoints.Add(Quoted(Trim(text)), node ? node.SourceOffset() : Placemark.SourceOffset());
      return;
    }
    auto p = MakePoint(t);
    if (std::string name = Placemark.SelectString("name"); !name.empty()) p->Edit().name = name;
    try {
      p->DateTime = ISO8601ToDateTime(Placemark.SelectString("TimeStamp/when"));
    } catch (const EConvertError& e) {
      mLog.push_back(FileName + ": " + e.what());
      throw EConvertError(FileName + ": " + e.what());
    }
    if (std::string desc = ReplaceAllIgnoreCase(Placemark.SelectString("Snippet"), "<br/>", "\r\n"); !desc.empty())
      p->Edit().desc = desc;
    GPXd->wpt.Add(p.release());
    GPXd->wpt.filled = true;
    return;
  }
  if (!Placemark.SelectBoolean("LineString")) {
    SkipPlacemark(Placemark);
    return;
  }

  const TXpNode node = Placemark.SelectNodes("LineString/coordinates").Item(0);
  const std::vector<TKMLTuple> tuples =
      ParseKMLCoordinates(node ? node.Text() : std::string(), SkippedPoints, node ? node.SourceOffset() : -1);
  auto track = std::make_unique<TGPXtrk>();
  if (std::string name = Placemark.SelectString("../name"); !name.empty()) track->Edit().name = std::move(name);
  auto owned = std::make_unique<TGPXtrkseg>();
  TGPXtrkseg& seg = *owned;
  track->Add(owned.release());
  seg.Reserve(static_cast<int>(tuples.size()));
  for (const TKMLTuple& t : tuples) {
    seg.Add(MakePoint(t).release());
    seg.filled = true;
  }

  if (seg.Count() == 1) {
    // A single tuple is a place, not a line.
    TGPXwpt* p = seg.WayPoints(0);
    seg.Delete(0);
    if (!track->name().empty()) p->Edit().name = track->name();
    GPXd->wpt.Add(p);
    GPXd->wpt.filled = true;
  }
  if (seg.Count() == 0) return;  // the track and its segment go with `track`
  GPXd->trk.Add(track.release());
  GPXd->trk.filled = true;
}

}  // namespace sondralis
