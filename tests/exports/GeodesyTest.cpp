// Areas and distances on the ground: the exports' own geodesy against
// GDAL's projections, and the nearest-sounding distances against the
// plain search over every sounding.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "exports/ExportGrid.h"
#include "exports/SoundingDistance.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;

TEST(Geodesy, AreasAgreeWithAnEqualAreaProjection) {
  // A lake of 600 m radius with an island of 80 m, in the equal-area plane:
  // πr² each, to the polygons' own shortfall of (1 − sin(2π/n)·n/2π).
  const int n = 720;
  const double polygon = n / (2 * std::numbers::pi) * std::sin(2 * std::numbers::pi / n);
  const TGeoLine lake = AnalyticLake::Circle(600, n);
  const TGeoLine island = AnalyticLake::Circle(80, n, 150, -90);
  EXPECT_NEAR(geodesy::RingArea(lake), std::numbers::pi * 600 * 600 * polygon, 1e-6 * 600 * 600);
  // The island inside the lake is taken away, whichever order they come in.
  const double water = std::numbers::pi * (600 * 600 - 80 * 80) * polygon;
  EXPECT_NEAR(geodesy::WaterArea({island, lake}), water, 1e-6 * water);
  EXPECT_NEAR(geodesy::WaterArea({lake, island}), water, 1e-6 * water);

  // A cell of a grid: its area is that of its four corners' polygon.
  const double lat = 47.2, dLat = 0.0004, dLon = 0.0006;
  std::vector<double> x{8.6, 8.6 + dLon, 8.6 + dLon, 8.6}, y{lat, lat, lat + dLat, lat + dLat};
  AnalyticLake::ToMetres(x, y);
  double twice = 0;
  for (int i = 0; i < 4; ++i) twice += x[i] * y[(i + 1) % 4] - x[(i + 1) % 4] * y[i];
  EXPECT_NEAR(geodesy::QuadrangleArea(lat, lat + dLat, dLon), twice / 2, 1e-6 * twice);

  // Metres per degree: short steps in the projection, which keeps scale
  // near its centre.
  std::vector<double> e{AnalyticLake::kLon, AnalyticLake::kLon + 1e-4, AnalyticLake::kLon};
  std::vector<double> nn{AnalyticLake::kLat, AnalyticLake::kLat, AnalyticLake::kLat + 1e-4};
  AnalyticLake::ToMetres(e, nn);
  EXPECT_NEAR(geodesy::MetresPerDegreeLongitude(AnalyticLake::kLat) * 1e-4, e[1] - e[0], 1e-6);
  EXPECT_NEAR(geodesy::MetresPerDegreeLatitude(AnalyticLake::kLat) * 1e-4, nn[2] - nn[0], 1e-6);
}

TEST(Geodesy, ShorelineRingsAreTheSegmentsWithoutDepth) {
  TGPX doc;
  auto add = [&](std::vector<double> depths) {
    auto* track = new TGPXtrk;
    auto* segment = new TGPXtrkseg;
    for (std::size_t i = 0; i < depths.size(); ++i) {
      TGPXwpt* p = segment->NewPoint();
      p->Longitude = 8.6 + 0.001 * static_cast<double>(i);
      p->Latitude = 47.2 + 0.001 * static_cast<double>(i % 2);
      p->HBdepth = depths[i];
    }
    track->Add(segment);
    doc.trk.Add(track);
  };
  add({0, 0, 0, 0});
  add({0, 120, 0});          // a sounding
  add({0, 0});               // too short for a ring
  add({0, NAN, 0});          // no reading
  const std::vector<TGeoLine> rings = ShorelineRings(doc);
  ASSERT_EQ(rings.size(), 2u);
  EXPECT_EQ(rings[0].size(), 4u);
  EXPECT_EQ(rings[1].size(), 3u);
}

TEST(SoundingDistance, EqualsTheNearestOfAllSoundings) {
  std::mt19937_64 rng(27);
  // A grid with a ragged coverage, soundings along a few wandering tracks
  // and some scattered beyond the grid.
  AnalyticLake lake(97, 61, 3.0, [&](double e, double n) -> double {
    return std::hypot(e / 140, n / 90) < 1 && std::fmod(std::fabs(e * n), 977) > 60 ? 500.0 : NAN;
  });
  std::uniform_real_distribution<double> unit(0, 1);
  TPointList soundings;
  const TGridExtent& x = lake.Grid.Extent;
  for (int track = 0; track < 5; ++track) {
    double lon = x.MinLon + unit(rng) * (x.MaxLon - x.MinLon), lat = x.MinLat + unit(rng) * (x.MaxLat - x.MinLat);
    for (int i = 0; i < 150; ++i) {
      lon += (unit(rng) - 0.3) * 2e-5;
      lat += (unit(rng) - 0.5) * 2e-5;
      soundings.Add({static_cast<float>(lon), static_cast<float>(lat)});
    }
  }
  for (int i = 0; i < 20; ++i)
    soundings.Add({static_cast<float>(x.MinLon - 0.002 + unit(rng) * 0.006),
                   static_cast<float>(x.MinLat - 0.002 + unit(rng) * 0.006)});

  TSilentFeedback feedback;
  const TDistanceArray d = NearestSoundingDistances(lake.Grid, soundings.Items(), feedback);
  const TLocalPlane plane(lake.Grid.Extent);
  int covered = 0;
  for (int i = 0; i < lake.Grid.Columns(); ++i)
    for (int j = 0; j < lake.Grid.Rows(); ++j) {
      const float got = d[i][static_cast<std::size_t>(j)];
      if (!lake.Grid.Covered(i, j)) {
        EXPECT_TRUE(std::isnan(got));
        continue;
      }
      ++covered;
      double best = std::numeric_limits<double>::infinity();
      for (const auto& s : soundings.Items())
        best = std::min(best, std::hypot(plane.X(s[0]) - plane.X(lake.Grid.Longitude(i)),
                                         plane.Y(s[1]) - plane.Y(lake.Grid.Latitude(j))));
      ASSERT_NEAR(got, best, 1e-4 * best + 1e-4) << i << "," << j;
    }
  EXPECT_GT(covered, 1000);

  // Without soundings nothing is near anything.
  const TDistanceArray none = NearestSoundingDistances(lake.Grid, {}, feedback);
  EXPECT_TRUE(std::isnan(none[40][30]));
}

}  // namespace
}  // namespace sondralis
