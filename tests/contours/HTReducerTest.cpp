#include "contours/HTReducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "HTTestSupport.h"
#include "formats/HTConvert.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using namespace sondralis::testing;

// Random contour-like lines: tracks of segments that wander with steps of
// about 0.02 degrees, each at one depth.
void BuildRandomContours(TGPX& doc, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> step(0, 0.02);
  std::uniform_int_distribution<int> length(5, 60);
  for (int t = 0; t < 4; ++t) {
    TGPXtrk* track = AddTrack(doc);
    for (int s = 0; s < 3; ++s) {
      TGPXtrkseg* seg = AddSeg(track);
      double lat = 47.5, lon = 8.25;
      for (int i = length(rng); i > 0; --i) {
        AddPoint(seg, lat, lon, 100.0 * t);
        lat += step(rng);
        lon += step(rng);
      }
    }
  }
}

int ReducedCount(const TGPX& source, int threshold, TFeedback& host) {
  TGPX copy;
  copy.CopyFrom(source);
  ReduceDocument(copy, threshold, host);
  return CountHTPoints(copy, kHTAllowance);
}

TEST(FindReduceThreshold, FindsTheThresholdOfALinearScan) {
  const int maxThreshold = 300;
  for (unsigned seed : {1u, 2u, 3u}) {
    TGPX source;
    BuildRandomContours(source, seed);
    const int original = CountHTPoints(source, kHTAllowance);
    TSilentFeedback host;

    // counts[t]: the HT count after reducing with threshold t, one by one.
    std::vector<int> counts(maxThreshold + 1, 0);
    for (int t = 1; t <= maxThreshold; ++t) {
      counts[t] = ReducedCount(source, t, host);
      if (t > 1) {
        EXPECT_GE(counts[t], counts[t - 1]) << "the count never falls as the threshold grows";
      }
    }
    ASSERT_LT(counts[1], counts[maxThreshold]) << "the set must reduce differently across the range";

    // Every limit at which the answer can change.
    std::set<int> limits{counts[1] - 1};
    for (int t = 1; t <= maxThreshold; ++t) {
      limits.insert(counts[t]);
      limits.insert(counts[t] + 1);
    }
    for (int limit : limits) {
      int expected = 0;  // a linear scan from the top down
      for (int t = maxThreshold; t >= 1; --t)
        if (counts[t] < limit) {
          expected = t;
          break;
        }
      const ReduceSearchResult found = FindReduceThreshold(source, limit, maxThreshold, host);
      ASSERT_EQ(found.Threshold, expected) << "seed " << seed << ", limit " << limit;
      EXPECT_LE(found.Tries, 9);  // ceil(log2(301))
      if (expected > 0) {
        ASSERT_TRUE(found.Reduced);
        EXPECT_EQ(found.Count, counts[expected]);
        EXPECT_EQ(CountHTPoints(*found.Reduced, kHTAllowance), counts[expected]);
      } else {
        EXPECT_FALSE(found.Reduced);
        EXPECT_EQ(found.Count, counts[1]);
      }
    }
    EXPECT_EQ(CountHTPoints(source, kHTAllowance), original) << "the source stays as it was";
  }
}

TEST(FindReduceThreshold, ReportsEveryTry) {
  TGPX source;
  BuildRandomContours(source, 7);
  const int full = CountHTPoints(source, kHTAllowance);
  RecordingFeedback host;
  std::vector<int> counts;
  const ReduceSearchResult found =
      FindReduceThreshold(source, full - 20, 99950, host, [&](int count) { counts.push_back(count); });
  ASSERT_GT(found.Threshold, 0);
  EXPECT_LE(found.Tries, 17);
  ASSERT_EQ(static_cast<int>(host.LogLines.size()), found.Tries);
  for (const std::string& line : host.LogLines) EXPECT_EQ(line.rfind("Applying reduce threshold of ", 0), 0u) << line;
  EXPECT_EQ(static_cast<int>(counts.size()), found.Tries);
  EXPECT_NE(std::find(counts.begin(), counts.end(), found.Count), counts.end()) << "the count of the try that fits";
  EXPECT_EQ(host.EventPumps, found.Tries * 12) << "events run after every segment";
  EXPECT_LT(found.Count, full - 20);
  EXPECT_GE(ReducedCount(source, found.Threshold + 1, host), full - 20) << "the largest threshold that fits";
}

}  // namespace
}  // namespace sondralis
