#include "formats/KMLFile.h"

#include <memory>

#include "model/Text.h"

namespace sondralis {

namespace {

struct Tuple {
  double lon = 0, lat = 0, alt = 0;
};

// "lon,lat[,alt]"; false without a comma. A value that is not a number
// reads as 0.
bool SplitTuple(std::string_view text, Tuple& t) {
  const auto comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  t.lon = ParseNumberDef(text.substr(0, comma), 0);
  const std::string_view rest = text.substr(comma + 1);
  const auto second = rest.find(',');
  if (second == std::string_view::npos) {
    t.lat = ParseNumberDef(rest, 0);
    t.alt = 0;
  } else {
    t.lat = ParseNumberDef(rest.substr(0, second), 0);
    t.alt = ParseNumberDef(rest.substr(second + 1), 0);
  }
  return true;
}

std::unique_ptr<TGPXwpt> MakePoint(const Tuple& t) {
  auto p = std::make_unique<TGPXwpt>();
  p->Longitude = t.lon;
  p->Latitude = t.lat;
  p->Altitude = t.alt;
  return p;
}

}  // namespace

void TKMLFile::ImportKML(const std::string& FileName) {
  ImportKMLWith([&](TXpObjModel& Model) { Model.LoadDataSource(FileName); }, FileName);
}

void TKMLFile::ImportKMLStream(std::istream& Stream, const std::string& SourceName) {
  ImportKMLWith([&](TXpObjModel& Model) { Model.LoadStream(Stream); }, SourceName);
}

void TKMLFile::ImportKMLWith(const std::function<void(TXpObjModel&)>& Load, const std::string& SourceName) {
  TXpObjModel model;
  model.IgnoreCase = true;
  model.RaiseErrors = true;
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
  ImportKMLFromModel(model);
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
  // Placemarks are searched below the kml element's first child, normally
  // its Document.
  const TXpNodeList placemarks = root.FirstChild().SelectNodes(".//Placemark");
  for (const TXpNode& placemark : placemarks) ReadPlacemark(placemark);
  Loaded = true;
}

void TKMLFile::ReadPlacemark(const TXpNode& Placemark) {
  if (Placemark.SelectBoolean("Point")) {
    Tuple t;
    if (!SplitTuple(Placemark.SelectString("Point/coordinates"), t)) return;
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
  if (!Placemark.SelectBoolean("LineString")) return;  // polygons and the like

  std::string text = Placemark.SelectString("LineString/coordinates") + " ";
  auto track = std::make_unique<TGPXtrk>();
  if (std::string name = Placemark.SelectString("../name"); !name.empty()) track->Edit().name = std::move(name);
  auto owned = std::make_unique<TGPXtrkseg>();
  TGPXtrkseg& seg = *owned;
  track->Add(owned.release());

  std::string_view rest = text;
  while (rest.size() >= 4 && rest.find(',') != std::string_view::npos) {
    const auto blank = rest.find(' ');
    const std::string_view tuple = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    Tuple t;
    if (!SplitTuple(tuple, t)) continue;
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
