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
#include "support/ShepardReference.h"

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

// Every way the kernels evaluate, for every p from 2 to 14 on every target
// compiled in and supported here (the best one, the one dispatch picks,
// down to the plain C++ baseline), against Shepard's formula in long
// double: one query at a time (FastInterp), columns of four rows and fewer
// (Column, exactly), and the exact path. Clouds of every size up to a few
// vectors exercise the masked tails and the blocks of four vectors; one
// cloud has the spread and count of a real survey, one has samples repeated
// at the same place. Queries lie anywhere, far outside the samples, and
// 1e-13 degrees from a sample, where products of four powers of distances
// underflow and the guard must send the query to the exact path.
TEST(ShepardKernel, EveryVariantAgreesWithLongDoubleOnEveryTargetAndPower) {
  using testing::TSample;
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_GE(targets.size(), 2u) << "expected the dispatch target and the baseline";
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Case {
    std::vector<TSample> Cloud;
    std::vector<double> X, Y;  // queries; every kKernelRows consecutive ones share X[k]
  };
  std::vector<Case> cases;
  auto addCloud = [&](std::vector<TSample> cloud, double spread, double x0 = 8.5, double y0 = 46.2) {
    Case c;
    c.Cloud = std::move(cloud);
    auto query = [&](double x, double y) {
      c.X.push_back(x);
      c.Y.push_back(y);
    };
    for (int q = 0; q < 24; ++q) {
      const double x = x0 - 0.1 * spread + 1.2 * spread * unit(random);
      query(x, y0 - 0.1 * spread + 1.2 * spread * unit(random));
    }
    // 1e-13 degrees from samples, and far away.
    for (int q = 0; q < 16; ++q) {
      const TSample& s = c.Cloud[random() % c.Cloud.size()];
      const double angle = 6.283185307179586 * unit(random);
      query(s.X + 1e-13 * std::cos(angle), s.Y + 1e-13 * std::sin(angle));
    }
    for (int q = 0; q < 4; ++q) query(x0 - 30 * spread, y0 + 20 * spread * unit(random));
    cases.push_back(std::move(c));
  };
  for (int n : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 65, 2500}) {
    std::vector<TSample> cloud;
    const double spread = n == 2500 ? 0.02 : 1.0;
    for (int i = 0; i < n; ++i)
      cloud.push_back({static_cast<float>(8.5 + spread * unit(random)), static_cast<float>(46.2 + spread * unit(random)),
                       static_cast<float>(3000 * unit(random))});
    addCloud(std::move(cloud), spread);
  }
  {
    // A boat standing still: runs of one to twenty readings at one place,
    // so that one block of four vectors holds several of them.
    std::vector<TSample> cloud;
    while (cloud.size() < 300) {
      const float x = static_cast<float>(8.5 + 0.01 * unit(random)), y = static_cast<float>(46.2 + 0.01 * unit(random));
      for (int k = 1 + static_cast<int>(random() % 20); k > 0; --k)
        cloud.push_back({x, y, static_cast<float>(3000 * unit(random))});
    }
    addCloud(std::move(cloud), 0.01);
  }
  {
    // A lake on the equator and the prime meridian, where positions and
    // their differences can be tiny: samples at 1e-30 degrees and queries
    // 1e-60 from them, whose weights leave the double range.
    std::vector<TSample> cloud;
    for (int i = 0; i < 40; ++i)
      cloud.push_back({static_cast<float>(0.01 * unit(random) - 0.005), static_cast<float>(0.01 * unit(random) - 0.005),
                       static_cast<float>(3000 * unit(random))});
    for (int i = 0; i < 12; ++i) cloud.push_back({1e-30f, 0, static_cast<float>(100 + i)});
    addCloud(std::move(cloud), 0.01, -0.005, -0.005);
    for (int q = 0; q < 4; ++q) {
      cases.back().X.push_back(1e-30f + 1e-60);
      cases.back().Y.push_back(q * 1e-61);
    }
  }

  // The reference, once per case and power.
  std::vector<std::vector<std::vector<long double>>> expected(cases.size());
  for (std::size_t c = 0; c < cases.size(); ++c)
    for (int p = kKernelMinPower; p <= kKernelMaxPower; ++p) {
      std::vector<long double> values;
      for (std::size_t q = 0; q < cases[c].X.size(); ++q)
        values.push_back(testing::LongDoubleShepard(cases[c].Cloud, p, cases[c].X[q / kKernelRows * kKernelRows], cases[c].Y[q]));
      expected[c].push_back(std::move(values));
    }

  std::vector<std::string> ran;
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    ASSERT_STREQ(ShepardKernelTarget(), hwy::TargetName(target));
    ran.push_back(hwy::TargetName(target));
    for (int p = kKernelMinPower; p <= kKernelMaxPower; ++p) {
      for (std::size_t c = 0; c < cases.size(); ++c) {
        const Case& k = cases[c];
        const TShepardInterp s = testing::MakeInterp(k.Cloud, p);
        ASSERT_EQ(s.KernelPower(), p);
        const std::size_t count = k.X.size();
        double worst[3] = {0, 0, 0};  // one at a time, columns, exact path
        auto relative = [](double got, long double want) {
          return static_cast<double>(std::fabs((static_cast<long double>(got) - want) / want));
        };
        for (std::size_t first = 0; first < count; first += kKernelRows) {
          const double x = k.X[first];
          const std::size_t rows = std::min<std::size_t>(kKernelRows, count - first);
          std::vector<double> ys(k.Y.begin() + static_cast<std::ptrdiff_t>(first),
                                 k.Y.begin() + static_cast<std::ptrdiff_t>(first + rows));
          // All rows together, and every other row alone (groups of one).
          std::vector<double> together(rows), alone(rows, -1);
          s.Column(x, ys, {}, 0, together);
          const std::vector<bool> pattern = {true, false, true, false};
          const bool wanted[4] = {true, false, true, false};
          s.Column(x, ys, std::span<const bool>(wanted, rows), 0, alone);
          // Two columns at once give each column's values to the bit.
          const double x2 = k.X[(first + kKernelRows) % count];
          std::vector<double> second(rows), pair0(rows), pair1(rows);
          s.Column(x2, ys, {}, 0, second);
          s.Columns({x, x2}, ys, 0, {std::span<double>(pair0), std::span<double>(pair1)});
          EXPECT_EQ(pair0, together) << "p=" << p << " at " << first;
          EXPECT_EQ(pair1, second) << "p=" << p << " at " << first;
          for (std::size_t r = 0; r < rows; ++r) {
            const long double want = expected[c][static_cast<std::size_t>(p - kKernelMinPower)][first + r];
            const TShepardSamples& samples = s.Samples();
            worst[0] = std::max(worst[0], relative(s.FastInterp(x, ys[r]), want));
            worst[1] = std::max(worst[1], relative(together[r], want));
            if (pattern[r]) worst[1] = std::max(worst[1], relative(alone[r], want));
            else EXPECT_EQ(alone[r], -1) << "a row not wanted was written";
            worst[2] = std::max(worst[2], relative(ShepardExact(samples, p, samples.FrameX(x), samples.FrameY(ys[r])), want));
          }
        }
        const char* names[3] = {"FastInterp", "Column", "ShepardExact"};
        for (int v = 0; v < 3; ++v)
          EXPECT_LE(worst[v], 1e-13) << names[v] << " on " << hwy::TargetName(target) << " p=" << p
                                     << " n=" << k.Cloud.size();
        // An exact hit on the last sample, which sits in a masked tail.
        const TSample& last = k.Cloud.back();
        EXPECT_EQ(s.FastInterp(last.X, last.Y), s.interp(last.X, last.Y));
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_EQ(ran.back(), hwy::TargetName(HWY_STATIC_TARGET)) << "the baseline target must be among those tested";
}

// A survey of thousands of samples makes long running fractions at p = 2
// and 4 and thousands of shared divisions above: queries inside the survey
// and far outside it (whose products of distances grow fastest) must be
// decided by the batched kernel itself on every target, without falling
// back to the exact path, and agree with long double. A fraction that is
// never brought back into range, or a guard that trips without need, sends
// them to the exact path and shows here.
TEST(ShepardKernel, LongSurveysAreDecidedByTheBatchedKernelOnEveryTarget) {
  std::mt19937_64 random(7);
  const std::vector<testing::TSample> cloud = testing::SurveyCloud(random, 6, 0.02, 1e-5);
  ASSERT_GT(cloud.size(), 4000u);
  // Columns of 16 rows: three across the survey, one ten survey widths east.
  const double columns[] = {8.503, 8.511, 8.519, 8.7};
  std::vector<double> rows;
  for (int r = 0; r < 16; ++r) rows.push_back(46.2 + 0.02 * (r + 0.5) / 16);
  for (int p = kKernelMinPower; p <= kKernelMaxPower; ++p) {
    std::vector<long double> want;
    for (double x : columns)
      for (double y : rows) want.push_back(testing::LongDoubleShepard(cloud, p, x, y));
    const TShepardInterp s = testing::MakeInterp(cloud, p);
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
      hwy::SetSupportedTargetsForTest(target);
      TShepardTally tally;
      double worst = 0;
      std::vector<double> got(rows.size());
      for (std::size_t c = 0; c < std::size(columns); ++c) {
        s.Column(columns[c], rows, {}, 0, got, &tally);
        for (std::size_t r = 0; r < rows.size(); ++r)
          worst = std::max(worst, static_cast<double>(std::fabs((got[r] - want[c * rows.size() + r]) /
                                                                 want[c * rows.size() + r])));
      }
      EXPECT_EQ(tally.ExactQueries, 0u) << hwy::TargetName(target) << " p=" << p;
      EXPECT_LE(worst, 1e-13) << hwy::TargetName(target) << " p=" << p;
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
}  // namespace sondralis
