// The contour KML for Google Earth: read back with the program's own KML
// reader it gives the very lines, grouped and coloured by level.
#include "contours/ContourKML.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <sstream>
#include <string>

#include "formats/KMLFile.h"

namespace sondralis {
namespace {

TGPXtrk* AddContour(TGPX& doc, int level, const std::vector<std::vector<std::pair<double, double>>>& segments) {
  auto* track = new TGPXtrk;
  for (const auto& points : segments) {
    auto* segment = new TGPXtrkseg;
    for (auto [lon, lat] : points) {
      auto* p = new TGPXwpt;
      p->Longitude = lon;
      p->Latitude = lat;
      p->HBdepth = level;
      segment->Add(p);
    }
    track->Add(segment);
  }
  doc.trk.Add(track);
  return track;
}

TEST(ContourKML, ReadsBackAsTheSameLinesInOneFolderPerLevel) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> lon(8.6, 8.7), lat(47.2, 47.3);
  auto ring = [&](int n) {
    std::vector<std::pair<double, double>> pts;
    for (int i = 0; i < n; ++i) pts.emplace_back(lon(rng), lat(rng));
    return pts;
  };
  TGPX doc;
  // Levels out of order, a track of two segments, and a one-point segment
  // that is no line.
  AddContour(doc, 300, {ring(5), ring(4)});
  AddContour(doc, 0, {ring(6)});
  AddContour(doc, 300, {ring(3), ring(1)});
  AddContour(doc, 1250, {ring(7)});

  const std::string kml = EncodeContoursKML(doc, 1000, 0x0000FF, 0xFF0000);

  const std::regex folder("<Folder>\n<name>([^<]*)</name>");
  std::vector<std::string> folders;
  for (auto it = std::sregex_iterator(kml.begin(), kml.end(), folder);
       it != std::sregex_iterator(); ++it)
    folders.push_back((*it)[1]);
  EXPECT_EQ(folders, (std::vector<std::string>{"0.0 m", "3.0 m", "12.5 m"}));
  // Level colours from the depth ramp as aabbggrr: 0 is the shallow red, 1250
  // lies beyond MaxDepth and takes the deep blue, 300 is 30 % of the way.
  EXPECT_NE(kml.find("<Style id=\"level0\"><LineStyle><color>ff0000ff</color>"), std::string::npos);
  EXPECT_NE(kml.find("<Style id=\"level1250\"><LineStyle><color>ffff0000</color>"), std::string::npos);
  const TColor c300 = BlendColors(0x0000FF, 0xFF0000, 0.3);
  char expected[16];
  std::snprintf(expected, sizeof expected, "ff%06x", c300);
  EXPECT_NE(kml.find(std::string("<Style id=\"level300\"><LineStyle><color>") + expected), std::string::npos);

  TGPX back;
  TKMLFile reader;
  reader.GPXd = &back;
  std::istringstream in(kml);
  reader.ImportKMLStream(in, "contours.kml");
  ASSERT_TRUE(reader.Loaded);
  // One line per segment of two points or more, levels ascending, document
  // order within a level; coordinates exactly as they were.
  const std::vector<std::pair<int, int>> order = {{1, 0}, {0, 0}, {0, 1}, {2, 0}, {3, 0}};
  ASSERT_EQ(back.trk.Count(), static_cast<int>(order.size()));
  for (int i = 0; i < back.trk.Count(); ++i) {
    const TGPXtrkseg& got = *back.trk.Tracks(i)->trkseg(0);
    const TGPXtrkseg& want = *doc.trk.Tracks(order[i].first)->trkseg(order[i].second);
    ASSERT_EQ(got.Count(), want.Count()) << "line " << i;
    for (int k = 0; k < got.Count(); ++k) {
      EXPECT_EQ(got.Points(k)->Longitude, want.Points(k)->Longitude);
      EXPECT_EQ(got.Points(k)->Latitude, want.Points(k)->Latitude);
    }
  }
}


// Two lines at 75 and 325 cm, as a 25 cm step gives them.
void AddQuarterMetreLines(TGPX& doc) {
  AddContour(doc, 325, {{{8.6401, 47.2101}, {8.6405, 47.2102}, {8.6409, 47.2101}}});
  AddContour(doc, 75, {{{8.6411, 47.2111}, {8.6412, 47.2115}}});
}

TEST(ContourKML, WithoutLabelsTheTextIsAsItAlwaysWas) {
  // Written by the encoder before labels existed.
  const std::string before =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
      "<Document>\n"
      "<name>Depth contours</name>\n"
      "<Style id=\"level75\"><LineStyle><color>ff1300ec</color><width>2</width></LineStyle></Style>\n"
      "<Style id=\"level325\"><LineStyle><color>ff5300ac</color><width>2</width></LineStyle></Style>\n"
      "<Folder>\n"
      "<name>0.8 m</name>\n"
      "<Placemark><name>0.8 m</name><styleUrl>#level75</styleUrl><LineString><tessellate>1</tessellate><coordinates>8.6411,47.2111 8.6412,47.2115</coordinates></LineString></Placemark>\n"
      "</Folder>\n"
      "<Folder>\n"
      "<name>3.2 m</name>\n"
      "<Placemark><name>3.2 m</name><styleUrl>#level325</styleUrl><LineString><tessellate>1</tessellate><coordinates>8.6401,47.2101 8.6405,47.2102 8.6409,47.2101</coordinates></LineString></Placemark>\n"
      "</Folder>\n"
      "</Document>\n"
      "</kml>\n";
  TGPX doc;
  AddQuarterMetreLines(doc);
  EXPECT_EQ(EncodeContoursKML(doc, 1000, 0x0000FF, 0xFF0000), before);
}

TEST(ContourKMLLabels, LinesAreNamedByTheirExactLevelAndCarryALabelOnTheLine) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> wobble(-2e-5, 2e-5);
  TGPX doc;
  AddQuarterMetreLines(doc);
  // A long bent line: straight in the west, then zigzagging eastwards.
  std::vector<std::pair<double, double>> bent;
  for (int i = 0; i < 40; ++i) bent.emplace_back(8.60 + i * 1e-4, 47.20 + (i < 20 ? 0 : (i % 2) * 3e-4) + wobble(rng));
  AddContour(doc, 1250, {bent});
  const std::string kml = EncodeContoursKML(doc, 1000, 0x0000FF, 0xFF0000, "Depth contours", {.LabelStep = 25});

  TGPX back;
  TKMLFile reader;
  reader.GPXd = &back;
  std::istringstream in(kml);
  reader.ImportKMLStream(in, "contours.kml");
  ASSERT_TRUE(reader.Loaded);
  ASSERT_EQ(back.trk.Count(), 3);
  ASSERT_EQ(back.wpt.Count(), 3) << "one label per line";
  const std::vector<std::string> names = {"0.75 m", "3.25 m", "12.5 m"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.wpt.WayPoints(i)->name(), names[static_cast<std::size_t>(i)]);
    EXPECT_EQ(back.trk.Tracks(i)->name(), names[static_cast<std::size_t>(i)]);
    // The label lies on its line.
    const TGPXtrkseg& line = *back.trk.Tracks(i)->trkseg(0);
    const TPoint4D2& label = *back.wpt.WayPoints(i);
    double nearest = 1e9;
    for (int k = 0; k + 1 < line.Count(); ++k) {
      const TPoint4D2& a = *line.Points(k);
      const TPoint4D2& b = *line.Points(k + 1);
      const double vx = b.Longitude - a.Longitude, vy = b.Latitude - a.Latitude;
      const double t = std::clamp(((label.Longitude - a.Longitude) * vx + (label.Latitude - a.Latitude) * vy) /
                                      (vx * vx + vy * vy), 0.0, 1.0);
      nearest = std::min(nearest, std::hypot(a.Longitude + t * vx - label.Longitude, a.Latitude + t * vy - label.Latitude));
    }
    EXPECT_LT(nearest, 1e-12);
  }
  // On the long line the label sits in the straight western half.
  EXPECT_LT(back.wpt.WayPoints(2)->Longitude, 8.60 + 19e-4);
}

}  // namespace
}  // namespace sondralis
