// The k-fold hold-out: folds of whole segments, each held out once, the
// scores of known errors, and Surface scoring better than Shepard on a lake
// with a known bottom.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "interpolation/HoldOut.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/SurfaceInterp.h"
#include "support/SyntheticLake.h"

namespace sondralis {
namespace {

using testing::SyntheticLake;
using testing::SyntheticLakeOptions;

TEST(HoldOut, ScoresKnownErrors) {
  // Errors ±1 .. ±20 cm: RMS √(Σk²/20) = √143.5, median 10.5, and 19 is the
  // smallest error that 95 % of them do not exceed.
  std::vector<double> errors;
  for (int k = 1; k <= 20; ++k) errors.push_back(k % 2 ? k : -k);
  const THoldOutScore s = ScoreErrors(errors);
  EXPECT_EQ(s.Count, 20);
  EXPECT_DOUBLE_EQ(s.Rms, std::sqrt(143.5));
  EXPECT_DOUBLE_EQ(s.MedianAbs, 10.5);
  EXPECT_DOUBLE_EQ(s.P95Abs, 19);

  const THoldOutScore none = ScoreErrors({});
  EXPECT_EQ(none.Count, 0);
  EXPECT_TRUE(std::isnan(none.Rms));
}

// Over random segment sizes: every segment in a fold that exists, the same
// folds every time, and no fold heavier than the lightest by more than the
// largest segment.
TEST(HoldOut, FoldsAreBalancedAndRepeatable) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 200; ++round) {
    const int folds = 2 + static_cast<int>(random() % 7);
    std::vector<int> sizes(1 + random() % 30);
    for (int& s : sizes) s = static_cast<int>(random() % 5000);
    const std::vector<int> fold = AssignFolds(sizes, folds);
    ASSERT_EQ(fold, AssignFolds(sizes, folds));
    std::vector<long long> load(static_cast<std::size_t>(folds));
    for (std::size_t s = 0; s < sizes.size(); ++s) {
      ASSERT_GE(fold[s], 0);
      ASSERT_LT(fold[s], folds);
      load[static_cast<std::size_t>(fold[s])] += sizes[s];
    }
    if (static_cast<int>(sizes.size()) >= folds) {
      const auto [lightest, heaviest] = std::minmax_element(load.begin(), load.end());
      EXPECT_LE(*heaviest - *lightest, *std::max_element(sizes.begin(), sizes.end()));
    }
  }
}

// Each segment is held out exactly once, alone with its fold; only the
// soundings on covered pixels count; a map that is the true bottom scores
// within what a pixel's size allows.
TEST(HoldOut, HoldsEachSegmentOutOnceAndCountsCoveredSoundings) {
  const SyntheticLake lake(11, SyntheticLakeOptions{});
  const int width = static_cast<int>(lake.Pixels.Longitudes.size());
  const int height = static_cast<int>(lake.Pixels.Latitudes.size());
  const double middle = lake.Pixels.Longitudes[width / 2];
  std::vector<int> timesLeftOut(lake.Segments.size());
  const auto truthOnTheWestHalf = [&](const std::vector<bool>& leftOut) {
    for (std::size_t s = 0; s < leftOut.size(); ++s) timesLeftOut[s] += leftOut[s];
    TDepthArray map(width, height);
    for (int x = 0; x < width; ++x)
      for (int y = 0; y < height; ++y)
        map[x][y] = x < width / 2 ? lake.TrueDepth(lake.Pixels.Longitudes[x], lake.Pixels.Latitudes[y]) : kNoDepth;
    return map;
  };
  TSilentFeedback feedback;
  const THoldOutScore s = HoldOutScore(lake.Segments, lake.Pixels, 5, truthOnTheWestHalf, feedback);
  EXPECT_EQ(s.Folds, 5);
  for (int t : timesLeftOut) EXPECT_EQ(t, 1);

  int west = 0;
  for (const auto& segment : lake.Segments)
    for (const TSounding& p : segment)
      if (p.Longitude < middle - 1e-9) ++west;
  EXPECT_NEAR(s.Count, west, 40);  // soundings within half a pixel of the border may go either way
  EXPECT_LT(s.Rms, 40);            // noise 5 cm; a pixel's offset on slopes of up to ~10 cm/m
}

// The hold-out tells a better map from a worse one: on a lake with a known
// bottom, Surface scores better than Shepard at style 8 on every figure.
TEST(HoldOut, SurfaceScoresBetterThanShepard) {
  SyntheticLakeOptions o;
  o.Width = 150;
  o.Height = 100;
  o.LineSpacing = 70;
  const SyntheticLake lake(13, o);
  const auto samplesWithout = [&](const std::vector<bool>& leftOut, TPointList& coord, TValueList& depth) {
    for (int i = 0; i < lake.ShoreSamples; ++i) {
      coord.Add(lake.Coord[i]);
      depth.Add(0);
    }
    for (std::size_t s = 0; s < lake.Segments.size(); ++s)
      if (!leftOut[s])
        for (const TSounding& p : lake.Segments[s]) {
          coord.Add({static_cast<float>(p.Longitude), static_cast<float>(p.Latitude)});
          depth.Add(static_cast<float>(p.Depth));
        }
  };
  const auto surface = [&](const std::vector<bool>& leftOut) {
    TPointList coord;
    TValueList depth;
    samplesWithout(leftOut, coord, depth);
    TDepthArray map;
    TSilentFeedback quiet;
    SurfaceInterpolate(coord, depth, lake.Pixels, lake.Mask, TSurfaceSettings{}, map, quiet);
    return map;
  };
  const auto shepard = [&](const std::vector<bool>& leftOut) {
    TPointList coord;
    TValueList depth;
    samplesWithout(leftOut, coord, depth);
    const TShepardInterp interp(coord, depth, 8);
    TDepthArray map(o.Width, o.Height);
    for (int x = 0; x < o.Width; ++x)
      for (int y = 0; y < o.Height; ++y)
        map[x][y] = lake.Mask[x][y] ? interp.FastInterp(lake.Pixels.Longitudes[x], lake.Pixels.Latitudes[y]) : kNoDepth;
    return map;
  };
  TSilentFeedback feedback;
  const THoldOutScore a = HoldOutScore(lake.Segments, lake.Pixels, 5, surface, feedback);
  const THoldOutScore b = HoldOutScore(lake.Segments, lake.Pixels, 5, shepard, feedback);
  EXPECT_EQ(a.Count, b.Count);
  EXPECT_GT(a.Count, 1000);
  EXPECT_LT(a.Rms, b.Rms);
  EXPECT_LT(a.MedianAbs, b.MedianAbs);
  EXPECT_LT(a.P95Abs, b.P95Abs);
}

TEST(HoldOut, StopsBetweenFoldsWhenCancelled) {
  const SyntheticLake lake(17, SyntheticLakeOptions{});
  TSilentFeedback feedback;
  int maps = 0;
  const auto cancelOnSecond = [&](const std::vector<bool>&) {
    if (++maps == 2) feedback.Cancel();
    TDepthArray map(lake.Pixels.Longitudes.size(), lake.Pixels.Latitudes.size());
    map.Fill(kNoDepth);
    return map;
  };
  EXPECT_THROW(HoldOutScore(lake.Segments, lake.Pixels, 5, cancelOnSecond, feedback), TCanceled);
  EXPECT_EQ(maps, 2);
}

}  // namespace
}  // namespace sondralis
