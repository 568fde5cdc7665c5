// The Shepard interpolator: the plain formula's edge cases, and the
// vectorised kernel against the plain formula on every instruction set this
// machine runs.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "interpolation/ShepardInterp.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

struct Sample {
  float x, y, v;
};

TShepardInterp Make(const std::vector<Sample>& samples, double p) {
  TPointList pts;
  TValueList vals;
  for (const Sample& s : samples) {
    pts.Add({s.x, s.y});
    vals.Add(s.v);
  }
  return TShepardInterp(pts, vals, p);
}

// Both ways of evaluating, so every edge case holds for both.
template <class F>
void ForBothPaths(const TShepardInterp& s, F check) {
  check("plain", [&](double x, double y) { return s.interp(x, y); });
  check("kernel", [&](double x, double y) { return s.FastInterp(x, y); });
}

TEST(ShepardInterp, EdgeCasesOnBothPaths) {
  // Samples at distances 1 and 2 with values 0 and 300, p = 2: weights 1
  // and 1/4, so 75 / 1.25 = 60.
  ForBothPaths(Make({{1, 0, 0}, {0, 2, 300}}, 2), [](const char* path, auto f) {
    EXPECT_NEAR(f(0, 0), 60.0, 1e-12) << path;
  });
  // p = 14, a third of the way from 0 to 3: the nearer sample's weight is
  // 2^14 times the other's.
  ForBothPaths(Make({{0, 0, 100}, {3, 0, 400}}, 14), [](const char* path, auto f) {
    EXPECT_NEAR(f(1, 0), (100.0 * 16384 + 400) / 16385, 1e-9) << path;
    EXPECT_LT(f(1, 0) - 100, 0.02) << path;
  });
  // An exact hit returns the sample unchanged, however close the others;
  // of two samples at one place the earlier wins, elsewhere both weigh alike.
  const std::vector<Sample> cloud = {{0.5f, 0.5f, 7}, {0.25f, 0.75f, 10}, {0.25f, 0.75f, 20}, {0.2500001f, 0.75f, 900}};
  ForBothPaths(Make(cloud, 8), [](const char* path, auto f) {
    EXPECT_EQ(f(0.25f, 0.75f), 10.0) << path;
    EXPECT_EQ(f(0.5f, 0.5f), 7.0) << path;
  });
  ForBothPaths(Make({{0, 0, 10}, {0, 0, 20}}, 5), [](const char* path, auto f) {
    EXPECT_NEAR(f(3, -4), 15.0, 1e-12) << path;
  });
  // One sample: its value everywhere; none: not a number.
  ForBothPaths(Make({{2, 3, 42}}, 8), [](const char* path, auto f) {
    EXPECT_NEAR(f(-5, 11), 42.0, 1e-12) << path;
    EXPECT_EQ(f(2, 3), 42.0) << path;
  });
  ForBothPaths(Make({}, 8), [](const char* path, auto f) { EXPECT_TRUE(std::isnan(f(0, 0))) << path; });
}

TEST(ShepardInterp, MismatchedArraysAreReportedAndNeverReadPastTheValues) {
  TPointList pts;
  TValueList vals;
  pts.Add({0, 0});
  pts.Add({1, 0});
  pts.Add({2, 0});
  vals.Add(5);
  testing::RecordingFeedback feedback;
  const TShepardInterp s(pts, vals, 8, &feedback);
  ASSERT_EQ(feedback.LogLines, std::vector<std::string>{"coordinates and values matrices missmatch."});
  EXPECT_EQ(s.n, 3);
  EXPECT_EQ(s.SampleCount(), 1);
  EXPECT_EQ(s.interp(2, 0), 5.0);  // the position without a value takes no part
  EXPECT_EQ(s.FastInterp(2, 0), 5.0);
  // The interpolator shares the caller's arrays.
  EXPECT_TRUE(s.pts.SharesWith(pts));
  EXPECT_TRUE(s.vals.SharesWith(vals));
}

// The kernel for every p from 2 to 14 on every target compiled in and
// supported here: the best one (the one dispatch picks) down to the plain
// C++ baseline. Clouds of every size up to a few vectors exercise the
// masked tails; one cloud has the spread and count of a real survey.
TEST(ShepardKernel, AgreesWithThePlainFormulaOnEveryTargetAndPower) {
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_GE(targets.size(), 2u) << "expected the dispatch target and the baseline";
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<std::vector<Sample>> clouds;
  for (int n : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 33, 2500}) {
    std::vector<Sample> cloud;
    const double spread = n == 2500 ? 0.02 : 1.0;
    for (int i = 0; i < n; ++i)
      cloud.push_back({static_cast<float>(8.5 + spread * unit(random)), static_cast<float>(46.2 + spread * unit(random)),
                       static_cast<float>(3000 * unit(random))});
    clouds.push_back(std::move(cloud));
  }
  std::vector<std::string> ran;
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    ASSERT_STREQ(ShepardKernelTarget(), hwy::TargetName(target));
    ran.push_back(hwy::TargetName(target));
    for (int p = kKernelMinPower; p <= kKernelMaxPower; ++p) {
      for (const auto& cloud : clouds) {
        const TShepardInterp s = Make(cloud, p);
        ASSERT_EQ(s.KernelPower(), p);
        double worst = 0;
        for (int q = 0; q < 40; ++q) {
          const double spread = cloud.size() == 2500 ? 0.03 : 1.5;
          const double x = 8.5 - 0.1 * spread + spread * unit(random);
          const double y = 46.2 - 0.1 * spread + spread * unit(random);
          const double plain = s.interp(x, y), fast = s.FastInterp(x, y);
          worst = std::max(worst, std::fabs(fast - plain) / std::fabs(plain));
        }
        EXPECT_LE(worst, 1e-12) << hwy::TargetName(target) << " p=" << p << " n=" << cloud.size();
        // An exact hit on the last sample, which sits in a masked tail.
        const Sample& last = cloud.back();
        EXPECT_EQ(s.FastInterp(last.x, last.y), s.interp(last.x, last.y));
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_EQ(ran.back(), hwy::TargetName(HWY_STATIC_TARGET)) << "the baseline target must be among those tested";
}

}  // namespace
}  // namespace sondralis
