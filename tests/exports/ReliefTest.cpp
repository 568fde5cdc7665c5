// Shaded relief against Lambert's law for a lit plane, and the safety depth:
// its hatch and its contour on a bowl whose safety line is a known circle.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "exports/Hillshade.h"
#include "exports/SafetyDepth.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;

// The light a plane whose depth grows Slope metres per metre towards
// Heading (radians from east, counter-clockwise) gets from the north-west
// at 45°, relative to flat bottom: the cosine between the bottom's normal
// and the light.
double Lambert(double Slope, double Heading, double Exaggeration) {
  // The bottom falls where the depth grows.
  const double p = -Exaggeration * Slope * std::cos(Heading), q = -Exaggeration * Slope * std::sin(Heading);
  const double alt = std::numbers::pi / 4, az = 315 * std::numbers::pi / 180;
  const double light[3] = {std::sin(az) * std::cos(alt), std::cos(az) * std::cos(alt), std::sin(alt)};
  const double cosine = (-p * light[0] - q * light[1] + light[2]) / std::sqrt(1 + p * p + q * q);
  return std::max(0.0, cosine) / std::sin(alt);
}

TEST(Relief, PlanesAreLitAsLambertsLawSays) {
  TSilentFeedback feedback;
  std::mt19937_64 rng(45);
  std::uniform_real_distribution<double> heading(0, 2 * std::numbers::pi), slope(0, 0.4);
  for (int trial = 0; trial < 12; ++trial) {
    const double s = trial == 0 ? 0 : slope(rng), h = heading(rng);
    const double z = trial < 6 ? kDefaultExaggeration : 1 + trial;
    AnalyticLake plane(40, 30, 2.0, [&](double e, double n) { return 2000 + 100 * s * (std::cos(h) * e + std::sin(h) * n); });
    const TPixelArray<float> light = ReliefLight(plane.Grid, z, feedback);
    const double expected = Lambert(s, h, z);
    // Inside the border, where every cell has its eight neighbours.
    for (int x = 1; x < 39; x += 3)
      for (int y = 1; y < 29; y += 3)
        ASSERT_NEAR(light[x][static_cast<std::size_t>(y)], expected, 0.012)
            << "slope " << s << " heading " << h << " exaggeration " << z << " at " << x << "," << y;
  }

  // With the default exaggeration a drop of 1 m over 10 m shows: the slope
  // facing the light (the bottom falling towards the north-west) is a fifth
  // brighter than flat bottom, the one facing away a third darker.
  EXPECT_GT(Lambert(0.1, 3 * std::numbers::pi / 4, kDefaultExaggeration), 1.2);
  EXPECT_LT(Lambert(0.1, -std::numbers::pi / 4, kDefaultExaggeration), 0.7);
  EXPECT_THROW(ReliefLight(AnalyticLake(4, 4, 1, [](double, double) { return 1.0; }).Grid, 0, feedback),
               std::invalid_argument);
}

TEST(Relief, ShadingDarkensAndLightensOnlyTheCoveredCells) {
  // Flat bottom in the west half, a slope facing away from the light in the
  // east half, nothing beyond a circle.
  AnalyticLake lake(80, 60, 2.0, [](double e, double n) -> double {
    if (std::hypot(e, n) > 70) return NAN;
    return e < 0 ? 500.0 : 500 + 30 * (e - n);
  });
  const TCanvas picture = lake.Picture(2000);
  TSilentFeedback feedback;
  const TCanvas shaded = ShadeRelief(picture, lake.Grid, kDefaultExaggeration, feedback);
  int flat = 0, darker = 0;
  for (int x = 1; x < 79; ++x)
    for (int y = 1; y < 59; ++y) {
      if (!lake.Grid.Covered(x, y)) {
        ASSERT_EQ(shaded.Pixel(x, y), picture.Pixel(x, y));
        continue;
      }
      const double e = lake.East[x][static_cast<std::size_t>(y)];
      if (e < -6 && lake.Grid.Covered(x - 1, y) && lake.Grid.Covered(x + 1, y) && lake.Grid.Covered(x, y - 1) &&
          lake.Grid.Covered(x, y + 1)) {
        EXPECT_EQ(shaded.Pixel(x, y), picture.Pixel(x, y));
        ++flat;
      } else if (e > 6 && lake.Grid.Covered(x + 1, y)) {
        const TColor a = picture.Pixel(x, y), b = shaded.Pixel(x, y);
        for (int shift = 0; shift <= 16; shift += 8) EXPECT_LE((b >> shift) & 0xFF, (a >> shift) & 0xFF);
        darker += a != b;
      }
    }
  EXPECT_GT(flat, 300);
  EXPECT_GT(darker, 300);
}

TEST(SafetyDepth, HatchesShallowWaterAndTracesItsEdgeOnTheBowl) {
  const double radius = 200, deepest = 1500;
  AnalyticLake lake(260, 180, 2.0, [&](double e, double n) -> double {
    const double r = std::hypot(e, n) / radius;
    return r < 1 ? deepest * (1 - r * r) : NAN;
  });
  const int safety = 400;
  TCanvas picture = lake.Picture(static_cast<int>(deepest));
  const TCanvas before = picture;
  HatchShallowWater(picture, lake.Grid, safety);
  int shallow = 0, inked = 0;
  for (int x = 0; x < 260; ++x)
    for (int y = 0; y < 180; ++y) {
      const bool isShallow = lake.Grid.Covered(x, y) && lake.Grid.Depth[x][static_cast<std::size_t>(y)] < safety;
      const bool changed = picture.Pixel(x, y) != before.Pixel(x, y);
      ASSERT_TRUE(isShallow || !changed) << x << "," << y;
      if (!isShallow) continue;
      ++shallow;
      if (!changed) continue;
      ++inked;
      EXPECT_EQ(picture.Pixel(x, y), kSafetyColor);
      // Hatch lines run diagonally.
      if (x + 1 < 260 && y > 0 && lake.Grid.Covered(x + 1, y - 1) &&
          lake.Grid.Depth[x + 1][static_cast<std::size_t>(y - 1)] < safety) {
        EXPECT_EQ(picture.Pixel(x + 1, y - 1), kSafetyColor);
      }
    }
  EXPECT_NEAR(static_cast<double>(inked) / shallow, 1.0 / 6, 0.01);

  // The contour at the safety depth is the circle where the bowl is that
  // deep, to a cell or so.
  TGPX lines;
  TSilentFeedback feedback;
  TraceSafetyContour(lines, lake.View, before, lake.Grid.Mask, 255, 16711680, static_cast<int>(deepest), safety,
                     feedback);
  const double expected = radius * std::sqrt(1 - safety / deepest);
  std::vector<double> e, n;
  for (const TGPXtrk* track : lines.trk)
    for (const TGPXtrkseg* segment : *track)
      for (const TPoint4D2* p : *segment) {
        EXPECT_EQ(p->HBdepth, safety);
        e.push_back(p->Longitude);
        n.push_back(p->Latitude);
      }
  ASSERT_GT(e.size(), 50u);
  AnalyticLake::ToMetres(e, n);
  for (std::size_t i = 0; i < e.size(); ++i) EXPECT_NEAR(std::hypot(e[i], n[i]), expected, 3.0);

  // Drawn bold on the picture, it marks the circle.
  DrawBoldLines(picture, lake.Grid, lines);
  const TPoint4D2& first = *lines.trk[0]->First()->Points(0);
  const int cx = static_cast<int>(std::lround(lake.Grid.ColumnOf(first.Longitude)));
  const int cy = static_cast<int>(std::lround(lake.Grid.RowOf(first.Latitude)));
  EXPECT_EQ(picture.Pixel(cx, cy), kSafetyColor);

  // No water that deep: nothing to trace.
  TraceSafetyContour(lines, lake.View, before, lake.Grid.Mask, 255, 16711680, static_cast<int>(deepest), 1600,
                     feedback);
  EXPECT_EQ(lines.trk.Count(), 0);
}

}  // namespace
}  // namespace sondralis
