// Holes, humps and drop-offs on bottoms where they are known, and the
// waypoint files for the unit: bytes as gpsbabel writes them, and read back
// by gpsbabel as the same waypoints as spots.gpx.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "exports/HumminbirdWaypoints.h"
#include "exports/Spots.h"
#include "formats/FormatsTestSupport.h"
#include "formats/GPXFile.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;
using testing::TempDir;

double Gauss(double e, double n, double ce, double cn, double sigma) {
  return std::exp(-((e - ce) * (e - ce) + (n - cn) * (n - cn)) / (2 * sigma * sigma));
}

// A bowl of 15 m, 300 m across, with a hole of 5 m sunk into its slope and
// a hump rising 7 m from it.
double Bottom(double e, double n) {
  const double r = std::hypot(e, n) / 300;
  if (r >= 1) return NAN;
  return 1500 * (1 - r * r) + 500 * Gauss(e, n, 200, 0, 20) - 700 * Gauss(e, n, -150, 50, 25);
}

// The bottom with sounder noise of ±15 cm.
AnalyticLake HoleAndHump() {
  std::mt19937_64 rng(14);
  std::uniform_real_distribution<double> noise(-15, 15);
  return AnalyticLake(360, 240, 2.5, [&](double e, double n) -> double { return Bottom(e, n) + noise(rng); });
}

// The bottom's deepest (Sign 1) or shallowest (Sign −1) point within 40 m
// of (e, n), to 10 cm: east, north, depth.
std::array<double, 3> Extreme(double e, double n, int Sign) {
  std::array<double, 3> best{e, n, Bottom(e, n)};
  for (double x = e - 40; x <= e + 40; x += 0.1)
    for (double y = n - 40; y <= n + 40; y += 0.1)
      if (Sign * Bottom(x, y) > Sign * best[2]) best = {x, y, Bottom(x, y)};
  return best;
}

// Where a spot lies, in metres from the lake's centre.
std::pair<double, double> Metres(const TSpot& spot) {
  std::vector<double> e{spot.Position.Lon}, n{spot.Position.Lat};
  AnalyticLake::ToMetres(e, n);
  return {e[0], n[0]};
}

TEST(Spots, FindsTheHolesAndTheHumpThatStandOutAndNoNoise) {
  const AnalyticLake lake = HoleAndHump();
  TSilentFeedback feedback;
  TSpotSettings settings;
  settings.MaxDropOffs = 0;
  const std::vector<TSpot> spots = FindSpots(lake.Grid, settings, feedback);
  ASSERT_EQ(spots.size(), 3u);
  // The basin's floor, then the hole in the slope (1500·(1 − 4/9) + 500 cm).
  EXPECT_EQ(spots[0].Kind, TSpotKind::Hole);
  EXPECT_NEAR(spots[0].Depth, 1500, 20);
  EXPECT_LT(std::hypot(Metres(spots[0]).first, Metres(spots[0]).second), 15);
  // Within the noise and a cell or two of the true extremes.
  const auto hole = Extreme(200, 0, 1), hump = Extreme(-150, 50, -1);
  EXPECT_EQ(spots[1].Kind, TSpotKind::Hole);
  EXPECT_NEAR(spots[1].Depth, hole[2], 20);
  EXPECT_NEAR(Metres(spots[1]).first, hole[0], 5);
  EXPECT_NEAR(Metres(spots[1]).second, hole[1], 5);
  EXPECT_GT(spots[1].Prominence, 150);
  EXPECT_EQ(spots[2].Kind, TSpotKind::Hump);
  EXPECT_NEAR(spots[2].Depth, hump[2], 20);
  EXPECT_NEAR(Metres(spots[2]).first, hump[0], 5);
  EXPECT_NEAR(Metres(spots[2]).second, hump[1], 5);
  EXPECT_EQ(spots[2].Name, "Hump " + MetresText(spots[2].Depth, 1) + "m");
  EXPECT_EQ(spots[2].Description, "hump " + MetresText(spots[2].Depth, 1) + " m");

  // The hole's prominence is all that keeps it: asking for more leaves
  // only the basin.
  settings.MinProminence = 400;
  const std::vector<TSpot> fewer = FindSpots(lake.Grid, settings, feedback);
  ASSERT_EQ(fewer.size(), 1u);
  EXPECT_EQ(fewer[0].Kind, TSpotKind::Hole);
}

TEST(Spots, DropOffsLieOnTheSteepLineAndNameItsEnds) {
  // A shelf at 3 m falling to 9 m along a north-south line: 15 cm per metre
  // at its steepest, 5 cm per metre 13.2 m to either side.
  AnalyticLake lake(200, 160, 2.0, [](double e, double) { return 600 + 300 * std::tanh(e / 20); });
  TSilentFeedback feedback;
  const std::vector<TSpot> spots = FindSpots(lake.Grid, TSpotSettings{}, feedback);
  ASSERT_GE(spots.size(), 2u);
  const double edge = 300 * std::tanh(std::acosh(std::sqrt(3.0)));  // where 15·sech² falls to 5
  std::set<std::string> names;
  for (const TSpot& s : spots) {
    ASSERT_EQ(s.Kind, TSpotKind::DropOff);
    EXPECT_NEAR(Metres(s).first, 0, 3);
    EXPECT_NEAR(s.Slope, 0.15, 0.01);
    EXPECT_NEAR(s.Top, 600 - edge, 25);
    EXPECT_NEAR(s.Bottom, 600 + edge, 25);
    EXPECT_EQ(s.Description, "drop-off " + MetresText(s.Top, 0) + "\u2192" + MetresText(s.Bottom, 0) + " m");
    EXPECT_LE(s.Name.size(), 12u);
    EXPECT_TRUE(names.insert(s.Name).second) << s.Name;
    for (const TSpot& t : spots)
      if (&t != &s) {
        EXPECT_GE(std::fabs(Metres(s).second - Metres(t).second), 99);
      }
  }
  // Repeated names are told apart within 12 characters.
  EXPECT_EQ(spots[1].Name, spots[0].Name + " 2");
}

TEST(HumminbirdWaypoints, RecordsAreTheBytesGpsbabelWrites) {
  // Written by `gpsbabel -o humminbird` from GPX waypoints (the third
  // renumbered from 0 to 2).
  const unsigned char expected[] = {
      0x02, 0x02, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x05, 0x8c, 0x5e, 0x0d, 0x5d, 0xa5, 0x00, 0x10,
      0xfc, 0x97, 0x00, 0x10, 0xf5, 0xc3, 'T',  '1',  0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      0x02, 0x02, 0x00, 0x24, 0x00, 0x01, 0x00, 0x00, 0x01, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xef,
      0x03, 0x69, 0x00, 0x7f, 0x9b, 0x6d, 'T',  '2',  0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      0x02, 0x02, 0x00, 0x24, 0x00, 0x02, 0x00, 0x00, 0x01, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0e,
      0xae, 0x0d, 0x00, 0x5a, 0xbb, 0x10, 'H',  'o',  'l',  'e',  ' ',  '1',  '4',  '.',  '2',  'm',  0,    0};
  const std::string bytes = EncodeHWR({{"T1", {10, 10}, 1420, 0x5e0d5da5, 0},
                                       {"T2", {-10, 60}, 0, 0, 0xFF},
                                       {"Hole 14.2m", {8.642, 47.216}, 0, 0, 0xFF}});
  EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  // Names are cut to 12 bytes; what does not fit a record is refused.
  EXPECT_EQ(EncodeHWR({{"ABCDEFGHIJKLMNOP", {1, 1}}}).substr(24), "ABCDEFGHIJKL");
  EXPECT_THROW(EncodeHWR({{"deep", {1, 1}, 70000}}), std::invalid_argument);
  EXPECT_THROW(EncodeHWR({{"pole", {1, 89.5}}}), std::invalid_argument);
}

TEST(HumminbirdWaypoints, GpsbabelReadsTheSameWaypointsAsTheGpx) {
  const std::string gpsbabel = SONDRALIS_GPSBABEL;
  if (gpsbabel.empty() || gpsbabel.find("NOTFOUND") != std::string::npos) GTEST_SKIP() << "gpsbabel is not installed";
  const AnalyticLake lake = HoleAndHump();
  TSilentFeedback feedback;
  const std::vector<TSpot> spots = FindSpots(lake.Grid, TSpotSettings{}, feedback);
  ASSERT_GE(spots.size(), 3u);
  TempDir dir("hwr");
  const std::string hwr = (dir / "spots.hwr").string(), ours = (dir / "spots.gpx").string(),
                    theirs = (dir / "back.gpx").string();
  WriteSpotsHWR(hwr, spots);
  WriteSpotsGPX(ours, spots);
  const std::string command = "'" + gpsbabel + "' -i humminbird -f '" + hwr +
                              "' -o gpx,humminbirdextensions=1 -F '" + theirs + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  TGPX a, b;
  TGPXFile readA, readB;
  readA.GPXd = &a;
  readB.GPXd = &b;
  readA.ImportGPXFile(ours);
  readB.ImportGPXFile(theirs);
  ASSERT_EQ(a.wpt.Count(), static_cast<int>(spots.size()));
  ASSERT_EQ(b.wpt.Count(), a.wpt.Count());
  for (int i = 0; i < a.wpt.Count(); ++i) {
    const TGPXwpt& p = *a.wpt.WayPoints(i);
    const TGPXwpt& q = *b.wpt.WayPoints(i);
    EXPECT_EQ(p.name(), q.name());
    EXPECT_EQ(p.sym(), q.sym());
    EXPECT_EQ(p.desc(), spots[static_cast<std::size_t>(i)].Description);
    // The unit's file keeps metres and whole centimetres.
    EXPECT_NEAR(p.Latitude, q.Latitude, 1e-5);
    EXPECT_NEAR(p.Longitude, q.Longitude, 1e-5);
    EXPECT_NEAR(p.HBdepth, q.HBdepth, 0.5);
  }
}

}  // namespace
}  // namespace sondralis
