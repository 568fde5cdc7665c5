#include "contours/ContourKML.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "contours/ContourLabels.h"
#include "formats/AtomicFile.h"
#include "formats/XmlEscape.h"

namespace sondralis {

namespace {

// The shortest text that reads back as the same double, so a coordinate
// survives the trip through the file exactly.
void AppendCoordinate(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// KML colours are aabbggrr in hexadecimal: a TColor (0x00BBGGRR) with an
// opaque alpha byte in front.
std::string KmlColor(TColor Color) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "ff%06x", static_cast<unsigned>(Color & 0xFFFFFFu));
  return buffer;
}

// "3.0 m" for 300 cm; levels are whole centimetres.
std::string LevelName(long long Level) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f m", static_cast<double>(Level) / 100.0);
  return buffer;
}

// Where the label of a line goes: its straightest quarter, measured on a
// plane where a degree of longitude is as long as on the ground.
void LabelPosition(const TGPXtrkseg& Segment, double& Longitude, double& Latitude) {
  const TPoint4D2& first = *Segment.Points(0);
  const double shrink = std::cos(first.Latitude * 3.14159265358979323846 / 180);
  std::vector<TChartPoint> plane;
  plane.reserve(static_cast<std::size_t>(Segment.Count()));
  for (int i = 0; i < Segment.Count(); ++i) {
    const TPoint4D2& p = *Segment.Points(i);
    plane.push_back({(p.Longitude - first.Longitude) * shrink, p.Latitude - first.Latitude});
  }
  const TChartPoint spot = LabelSpot(plane, LineLength(plane) / 4);
  Longitude = first.Longitude + spot.X / shrink;
  Latitude = first.Latitude + spot.Y;
}

long long LevelOf(const TGPXtrk& Track) {
  for (TGPXtrkseg* segment : Track)
    if (segment->Count() > 0) return std::llround(segment->Points(0)->HBdepth);
  return 0;
}

// Each segment of two points or more of the document's tracks as a line
// placemark named Name in style Style, followed by its label point when
// Labels is set.
void AppendPlacemarks(std::string& out, const std::vector<const TGPXtrk*>& Tracks, const std::string& Name,
                      const std::string& Style, bool Labels) {
  for (const TGPXtrk* track : Tracks) {
    for (TGPXtrkseg* segment : *track) {
      if (segment->Count() < 2) continue;
      out += "<Placemark><name>" + Name + "</name><styleUrl>#" + Style +
             "</styleUrl><LineString><tessellate>1</tessellate><coordinates>";
      for (int i = 0; i < segment->Count(); ++i) {
        const TPoint4D2& p = *segment->Points(i);
        if (i) out += ' ';
        AppendCoordinate(out, p.Longitude);
        out += ',';
        AppendCoordinate(out, p.Latitude);
      }
      out += "</coordinates></LineString></Placemark>\n";
      if (Labels) {
        double lon, lat;
        LabelPosition(*segment, lon, lat);
        out += "<Placemark><name>" + Name + "</name><styleUrl>#label</styleUrl><Point><coordinates>";
        AppendCoordinate(out, lon);
        out += ',';
        AppendCoordinate(out, lat);
        out += "</coordinates></Point></Placemark>\n";
      }
    }
  }
}

}  // namespace

std::string EncodeContoursKML(const TGPX& IsoData, int MaxDepth, TColor Shallow, TColor Deep,
                              const std::string& Name, const TContourKMLOptions& Options) {
  const TKMLSafety* Safety = Options.Safety;
  const int LabelStep = Options.LabelStep;
  std::map<long long, std::vector<const TGPXtrk*>> levels;
  for (TGPXtrk* track : IsoData.trk) levels[LevelOf(*track)].push_back(track);

  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
      "<Document>\n<name>";
  AppendXmlEscaped(out, Name, false);
  out += "</name>\n";
  for (const auto& [level, tracks] : levels) {
    const double ratio = MaxDepth > 0 ? static_cast<double>(level) / MaxDepth : 0.0;
    out += "<Style id=\"level" + std::to_string(level) + "\"><LineStyle><color>" +
           KmlColor(BlendColors(Shallow, Deep, ratio)) + "</color><width>2</width></LineStyle></Style>\n";
  }
  if (Safety && Safety->Lines)
    out += "<Style id=\"safety\"><LineStyle><color>" + KmlColor(Safety->Color) +
           "</color><width>4</width></LineStyle></Style>\n";
  // A label is its name alone: no icon.
  if (LabelStep > 0) out += "<Style id=\"label\"><IconStyle><scale>0</scale></IconStyle></Style>\n";
  for (const auto& [level, tracks] : levels) {
    const std::string name =
        LabelStep > 0 ? DepthLabelText(static_cast<int>(level), LabelStep) + " m" : LevelName(level);
    out += "<Folder>\n<name>" + name + "</name>\n";
    AppendPlacemarks(out, tracks, name, "level" + std::to_string(level), LabelStep > 0);
    out += "</Folder>\n";
  }
  if (Safety && Safety->Lines) {
    const std::string name = "Safety " + LevelName(Safety->Depth);
    out += "<Folder>\n<name>safety</name>\n<description>" + name + "</description>\n";
    std::vector<const TGPXtrk*> tracks;
    for (TGPXtrk* track : Safety->Lines->trk) tracks.push_back(track);
    AppendPlacemarks(out, tracks, name, "safety", false);
    out += "</Folder>\n";
  }
  out += "</Document>\n</kml>\n";
  return out;
}

void ExportContoursKML(const std::string& Path, const TGPX& IsoData, int MaxDepth, TColor Shallow, TColor Deep,
                       const TContourKMLOptions& Options) {
  WriteFileAtomically(Path, EncodeContoursKML(IsoData, MaxDepth, Shallow, Deep, "Depth contours", Options));
}

}  // namespace sondralis
