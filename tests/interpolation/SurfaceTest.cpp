// The Surface method: bounds over random lakes, the same bytes on any
// thread count, a known bottom recovered, nothing outside the mask, and a
// cancelled or refused run that leaves the target alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "interpolation/ShepardInterp.h"
#include "interpolation/SurfaceInterp.h"
#include "support/SyntheticLake.h"

namespace sondralis {
namespace {

using testing::SyntheticLake;
using testing::SyntheticLakeOptions;

TSurfaceSettings Threads(int n) {
  TSurfaceSettings s;
  s.Threads = n;
  return s;
}

double RmsAgainstTruth(const SyntheticLake& lake, const TDepthArray& map) {
  double sum = 0;
  int n = 0;
  for (int x = 0; x < map.Width(); ++x)
    for (int y = 0; y < map.Height(); ++y)
      if (lake.Mask[x][y]) {
        const double e = map[x][y] - lake.TrueDepth(lake.Pixels.Longitudes[x], lake.Pixels.Latitudes[y]);
        sum += e * e;
        ++n;
      }
  return std::sqrt(sum / n);
}

// Random lakes of every shape, depth and survey density, some with hard
// noise: the surface never leaves 0 .. the deepest sample, every covered
// pixel has a number and every other pixel none.
TEST(Surface, StaysWithinTheSamplesOnRandomLakes) {
  std::mt19937_64 random(23);
  std::uniform_real_distribution<double> u(0, 1);
  for (int lakeNumber = 0; lakeNumber < 16; ++lakeNumber) {
    SyntheticLakeOptions o;
    o.Width = 60 + static_cast<int>(140 * u(random));
    o.Height = 50 + static_cast<int>(100 * u(random));
    o.HalfAxisEast = 100 + 900 * u(random);
    o.HalfAxisNorth = 80 + 600 * u(random);
    o.MaxDepth = 50 + 3000 * u(random);
    o.Wave = o.MaxDepth * u(random);  // bottoms with hollows and humps
    o.LineSpacing = 15 + 150 * u(random);
    o.LineAngle = 180 * u(random);
    o.Noise = lakeNumber % 3 == 0 ? 200 : 5;
    o.RadiusMetres = 10 + 60 * u(random);
    const SyntheticLake lake(random(), o);
    if (lake.Covered() == 0) continue;

    TDepthArray map;
    TSilentFeedback feedback;
    const TSurfaceReport report =
        SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(2), map, feedback);
    ASSERT_EQ(map.Width(), o.Width);
    ASSERT_EQ(map.Height(), o.Height);
    EXPECT_EQ(report.Covered, lake.Covered());
    const double deepest = lake.Deepest();
    for (int x = 0; x < o.Width; ++x)
      for (int y = 0; y < o.Height; ++y) {
        const double v = map[x][y];
        if (!lake.Mask[x][y]) {
          ASSERT_TRUE(std::isnan(v)) << "lake " << lakeNumber << " pixel " << x << "," << y;
        } else {
          ASSERT_GE(v, 0) << "lake " << lakeNumber << " pixel " << x << "," << y;
          ASSERT_LE(v, deepest) << "lake " << lakeNumber << " pixel " << x << "," << y;
        }
      }
  }
}

// Threads share out the pixels only: one, two or seven of them give the same
// bytes, run after run.
TEST(Surface, SameBytesOnAnyThreadCount) {
  SyntheticLakeOptions o;
  o.Width = 230;
  o.Height = 170;
  const SyntheticLake lake(7, o);
  TSilentFeedback feedback;
  TDepthArray one, two, seven;
  SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(1), one, feedback);
  SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(2), two, feedback);
  SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(7), seven, feedback);
  const std::size_t bytes = one.All().size_bytes();
  ASSERT_EQ(two.All().size_bytes(), bytes);
  EXPECT_EQ(std::memcmp(one.All().data(), two.All().data(), bytes), 0);
  EXPECT_EQ(std::memcmp(one.All().data(), seven.All().data(), bytes), 0);
}

// A basin 1.2 km by 800 m, 15 m deep with a 1.5 m undulation, surveyed in
// lines 50 m apart with 5 cm of sounder noise: the surface meets the true
// bottom within 4 cm RMS and 20 cm everywhere, the shallows at the shore
// included, and is less than half as far off as Shepard's method at style 8
// on the same samples (which misses by about 40 cm RMS).
TEST(Surface, RecoversAKnownBottom) {
  SyntheticLakeOptions o;
  o.Width = 240;
  o.Height = 170;
  const SyntheticLake lake(3, o);
  TDepthArray map;
  TSilentFeedback feedback;
  SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(2), map, feedback);

  double worst = 0;
  for (int x = 0; x < map.Width(); ++x)
    for (int y = 0; y < map.Height(); ++y)
      if (lake.Mask[x][y]) {
        const double truth = lake.TrueDepth(lake.Pixels.Longitudes[x], lake.Pixels.Latitudes[y]);
        worst = std::max(worst, std::fabs(map[x][y] - truth));
      }
  const double rms = RmsAgainstTruth(lake, map);
  EXPECT_LT(rms, 4);
  EXPECT_LT(worst, 20);

  const TShepardInterp shepard(lake.Coord, lake.Depth, 8);
  TDepthArray shepardMap(map.Width(), map.Height());
  for (int x = 0; x < map.Width(); ++x)
    for (int y = 0; y < map.Height(); ++y)
      shepardMap[x][y] = shepard.FastInterp(lake.Pixels.Longitudes[x], lake.Pixels.Latitudes[y]);
  EXPECT_LT(rms, 0.5 * RmsAgainstTruth(lake, shepardMap));
}

// Cancels when the run reports the given step.
class CancelAtStep : public TFeedback {
 public:
  explicit CancelAtStep(int Step) : fStep(Step) {}
  void SetProgress(int Position, int) override {
    if (Position == fStep) Cancel();
  }

 private:
  int fStep;
};

// Cancelled at any step, the run throws TCanceled and the caller's array
// keeps every value it had.
TEST(Surface, CancelLeavesTheTargetUntouched) {
  const SyntheticLake lake(5, SyntheticLakeOptions{});
  for (int step = 0; step < 4; ++step) {
    TDepthArray target(lake.Pixels.Longitudes.size(), lake.Pixels.Latitudes.size());
    target.Fill(1234.5);
    CancelAtStep feedback(step);
    EXPECT_THROW(SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, Threads(2), target, feedback),
                 TCanceled)
        << "step " << step;
    for (double v : target.All()) ASSERT_EQ(v, 1234.5) << "step " << step;
  }
}

// What cannot make a surface is refused with a message and touches nothing;
// a lake known only by its shore is 0 wherever it is covered.
TEST(Surface, RefusesUnusableInputAndKeepsShoreOnlyLakesFlat) {
  const SyntheticLake lake(9, SyntheticLakeOptions{});
  TSilentFeedback feedback;
  TDepthArray target(lake.Pixels.Longitudes.size(), lake.Pixels.Latitudes.size());
  target.Fill(-1);

  TValueList shortDepth;
  shortDepth.Add(100);
  EXPECT_THROW(SurfaceInterpolate(lake.Coord, shortDepth, lake.Pixels, lake.Mask, Threads(1), target, feedback),
               ESurfaceError);
  EXPECT_THROW(SurfaceInterpolate(TPointList(), TValueList(), lake.Pixels, lake.Mask, Threads(1), target, feedback),
               ESurfaceError);
  TBooleanArray wrongMask(3, 3);
  EXPECT_THROW(SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, wrongMask, Threads(1), target, feedback),
               ESurfaceError);
  TSurfaceSettings negative;
  negative.Smoothing = -1;
  EXPECT_THROW(SurfaceInterpolate(lake.Coord, lake.Depth, lake.Pixels, lake.Mask, negative, target, feedback),
               ESurfaceError);
  for (double v : target.All()) ASSERT_EQ(v, -1);

  TPointList shore;
  TValueList zero;
  for (int i = 0; i < lake.ShoreSamples; ++i) {
    shore.Add(lake.Coord[i]);
    zero.Add(0);
  }
  SurfaceInterpolate(shore, zero, lake.Pixels, lake.Mask, Threads(1), target, feedback);
  for (int x = 0; x < target.Width(); ++x)
    for (int y = 0; y < target.Height(); ++y) {
      if (lake.Mask[x][y]) ASSERT_EQ(target[x][y], 0);
      else ASSERT_TRUE(std::isnan(target[x][y]));
    }
}

}  // namespace
}  // namespace sondralis
