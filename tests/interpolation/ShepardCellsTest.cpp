// Shepard's mean to a tolerance: far samples bounded instead of summed. The
// guarantee is checked against the formula in long double on random surveys
// and awkward sample sets, columns of pixels under random masks, across
// tolerances and powers; the grid it makes does not depend on the number of
// workers, and the workers' colours are those of the exact depths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "interpolation/SampleGrid.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"
#include "support/ShepardReference.h"

namespace sondralis {
namespace {

using testing::TSample;

struct TCloud {
  std::string Name;
  std::vector<TSample> Samples;
  double X0, Y0, Size;  // the box the queries are drawn from
};

std::vector<TCloud> Clouds(std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<TCloud> clouds;
  clouds.push_back({"survey", testing::SurveyCloud(random, 14, 0.02, 0.00004), 8.5, 46.2, 0.02});
  clouds.push_back({"sparse survey", testing::SurveyCloud(random, 3, 0.02, 0.0005), 8.5, 46.2, 0.02});
  // Every sample on one line: cells of a grid one cell high.
  std::vector<TSample> line;
  for (int i = 0; i < 400; ++i)
    line.push_back({static_cast<float>(8.5 + 0.02 * unit(random)), 46.21f, static_cast<float>(3000 * unit(random))});
  clouds.push_back({"line", line, 8.5, 46.2, 0.02});
  // Every sample at one place, and one more far away.
  std::vector<TSample> heap(50, TSample{8.51f, 46.21f, 700});
  for (std::size_t i = 0; i < heap.size(); ++i) heap[i].V = static_cast<float>(100 + 10 * i);
  heap.push_back({8.52f, 46.2f, 2000});
  clouds.push_back({"heap", heap, 8.5, 46.2, 0.02});
  return clouds;
}

// Columns of queries over the cloud's box and beyond, under random masks:
// every bounded value within the tolerance of the formula, the rows left out
// untouched, and the saving there is to be had on the surveys.
TEST(ShepardCells, BoundedColumnsStayWithinTheTolerance) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0, 1);
  for (const TCloud& cloud : Clouds(random)) {
    for (int p : {6, 7, 8, 11, 14}) {
      struct TColumn {
        double X;
        std::vector<double> Y;
        std::vector<char> Wanted;
        std::vector<long double> Expected;
      };
      std::vector<TColumn> columns;
      for (int c = 0; c < 6; ++c) {
        TColumn column;
        column.X = cloud.X0 - 0.2 * cloud.Size + 1.4 * cloud.Size * unit(random);
        const double gap = unit(random) < 0.5 ? 0.2 : 0.6;  // masks with short and long gaps
        for (int r = 0; r < 80; ++r) {
          column.Y.push_back(cloud.Y0 + 1.2 * cloud.Size - 1.4 * cloud.Size * r / 80);
          column.Wanted.push_back(unit(random) > gap);
        }
        // The first column passes through a sample and queries it: the first
        // sample there gives its value.
        if (c == 0) {
          column.X = cloud.Samples[0].X;
          column.Y[40] = cloud.Samples[0].Y;
          column.Wanted[40] = true;
        }
        for (double y : column.Y) column.Expected.push_back(testing::LongDoubleShepard(cloud.Samples, p, column.X, y));
        columns.push_back(std::move(column));
      }
      for (double tolerance : {30.0, 1.0, 1e-3}) {
        const TShepardInterp bounded = testing::MakeInterp(cloud.Samples, p, tolerance);
        TShepardTally tally;
        for (const TColumn& column : columns) {
          std::vector<double> out(column.Y.size(), -1);
          bool wanted[80];
          for (std::size_t r = 0; r < 80; ++r) wanted[r] = column.Wanted[r] != 0;
          bounded.Column(column.X, column.Y, wanted, bounded.Tolerance(), out, &tally);
          for (std::size_t r = 0; r < out.size(); ++r) {
            if (!wanted[r]) {
              EXPECT_EQ(out[r], -1);
              continue;
            }
            const long double want = column.Expected[r];
            const double error = static_cast<double>(std::fabs(out[r] - want));
            EXPECT_LE(error, tolerance + 1e-13 * std::fabs(static_cast<double>(want)))
                << cloud.Name << " p=" << p << " tolerance " << tolerance << " row " << r;
          }
        }
        std::vector<double> hit(80, -1);
        bounded.Column(columns[0].X, columns[0].Y, {}, tolerance, hit);
        EXPECT_EQ(hit[40], cloud.Samples[0].V) << cloud.Name << " p=" << p;
      }
    }
  }
}

// Where a map has pixels, within a few dozen metres of a track, the bound
// spares most of a survey's samples from p = 8 on (at p = 6 about half).
TEST(ShepardCells, NearTheTracksMostSamplesAreSpared) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> offset(-0.0003, 0.0003);
  const std::vector<TSample> cloud = testing::SurveyCloud(random, 14, 0.02, 0.00004);
  for (int p : {8, 14}) {
    const TShepardInterp bounded = testing::MakeInterp(cloud, p, 1e-3);
    TShepardTally tally;
    for (int q = 0; q < 200; ++q) {
      const TSample& s = cloud[random() % cloud.size()];
      std::vector<double> ys, out(8);
      for (int r = 0; r < 8; ++r) ys.push_back(s.Y + offset(random));
      bounded.Column(s.X + offset(random), ys, {}, 1e-3, out, &tally);
    }
    EXPECT_LT(tally.Pairs, tally.Pixels * cloud.size() / 4)
        << "p=" << p << ": " << tally.Pairs / tally.Pixels << " pairs per pixel of " << cloud.size();
  }
}

// A sample whose position or depth is not a number makes the formula not a
// number everywhere; the bounded evaluation must not hide it by leaving the
// sample out as far away.
TEST(ShepardCells, SamplesThatAreNotNumbersAreSummedWhole) {
  std::mt19937_64 random(9);
  const std::vector<TSample> cloud = testing::SurveyCloud(random, 14, 0.02, 0.00004);
  // Queries beside a sample, the bad sample in the far corner of the box.
  const TSample& near = cloud[0];
  const float farX = near.X > 8.51f ? 8.5f : 8.52f, farY = near.Y > 46.21f ? 46.2f : 46.22f;
  const double x = near.X + 1e-5;
  std::vector<double> ys;
  for (int r = 0; r < 5; ++r) ys.push_back(near.Y + 1e-5 * r);
  {
    const TShepardInterp clean = testing::MakeInterp(cloud, 8, 1e-3);
    TShepardTally tally;
    std::vector<double> out(ys.size());
    clean.Column(x, ys, {}, clean.Tolerance(), out, &tally);
    ASSERT_LT(tally.Pairs, tally.Pixels * cloud.size() / 4) << "the far corner should not be summed";
  }
  for (int bad = 0; bad < 2; ++bad) {
    std::vector<TSample> spoilt = cloud;
    if (bad == 0) spoilt.push_back({farX, farY, std::numeric_limits<float>::quiet_NaN()});
    else spoilt.push_back({std::numeric_limits<float>::quiet_NaN(), farY, 100});
    const TShepardInterp s = testing::MakeInterp(spoilt, 8, 1e-3);
    std::vector<double> out(ys.size());
    s.Column(x, ys, {}, s.Tolerance(), out);
    for (std::size_t r = 0; r < ys.size(); ++r) {
      EXPECT_TRUE(std::isnan(out[r])) << bad << " row " << r << ": " << out[r];
      EXPECT_TRUE(std::isnan(s.interp(x, ys[r])));
    }
  }
}

// The tolerance changes nothing for powers below the bounded ones, and the
// grid is the same whatever the number of workers: a column's values depend
// on that column alone.
TEST(ShepardCells, GridIsTheSameWithAnyNumberOfWorkers) {
  std::mt19937_64 random(11);
  const std::vector<TSample> cloud = testing::SurveyCloud(random, 8, 0.02, 0.0001);
  TPointList coord;
  TValueList depth;
  for (const TSample& s : cloud) {
    coord.Add({s.X, s.Y});
    depth.Add(s.V);
  }
  const TGridExtent extent{8.499, 46.199, 8.521, 46.221};
  TSilentFeedback feedback;
  const TDepthArray one = GridSamples(coord, depth, extent, 90, 70, 8, 1, feedback, 1e-3);
  const TDepthArray three = GridSamples(coord, depth, extent, 90, 70, 8, 3, feedback, 1e-3);
  const TDepthArray exact = GridSamples(coord, depth, extent, 90, 70, 8, 2, feedback);
  for (int x = 0; x < 90; ++x)
    for (int y = 0; y < 70; ++y) {
      ASSERT_EQ(one[x][y], three[x][y]) << x << "," << y;
      ASSERT_NEAR(one[x][y], exact[x][y], 1e-3);
    }
  const TDepthArray low = GridSamples(coord, depth, extent, 40, 30, 4, 2, feedback, 1e-3);
  const TDepthArray lowExact = GridSamples(coord, depth, extent, 40, 30, 4, 1, feedback);
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 30; ++y) ASSERT_EQ(low[x][y], lowExact[x][y]);
}

// The workers with a tolerance paint exactly the picture of the exact
// depths: a depth whose colour could differ within the tolerance is taken
// exactly. With a colour step of 9.4 cm, a tolerance of 0.5 cm leaves most
// depths bounded; one of 20 cm sends nearly all to the exact path, and
// without the check would colour some of them differently.
TEST(ShepardCells, WorkersPaintTheColoursOfTheExactDepths) {
  std::mt19937_64 random(3);
  const std::vector<TSample> cloud = testing::SurveyCloud(random, 10, 0.02, 0.0001);
  TPointList coord;
  TValueList depth;
  for (const TSample& s : cloud) {
    coord.Add({s.X, s.Y});
    depth.Add(s.V);
  }
  const int w = 120, h = 90;
  const TGridExtent extent{8.499, 46.199, 8.521, 46.221};
  const TPixelCoordinates nodes = GridNodes(extent, w, h);
  auto paint = [&](double tolerance, TDepthArray& depths) {
    TInterpolationJob job;
    job.Image = TColorArray(w, h);
    job.Depths = depths = TDepthArray(w, h);
    job.ShepardInterp = std::make_shared<TShepardInterp>(coord, depth, 8, nullptr, tolerance);
    job.Coordinates = std::make_shared<TPixelCoordinates>(nodes);
    job.MaxDepth = 2400;
    job.clShallow = 255;
    job.clDeep = 16711680;
    TSilentFeedback feedback;
    TInterpolationScheduler scheduler(job, w, 2, feedback);
    scheduler.Start();
    scheduler.Wait();
    return job.Image;
  };
  TDepthArray exactDepths;
  const TColorArray exact = paint(0, exactDepths);
  for (double tolerance : {0.5, 20.0}) {
    TDepthArray boundedDepths;
    const TColorArray bounded = paint(tolerance, boundedDepths);
    // The same columns to the tolerance without the check.
    const TShepardInterp unchecked(coord, depth, 8, nullptr, tolerance);
    int boundedCount = 0, wouldDiffer = 0;
    std::vector<double> column(static_cast<std::size_t>(h));
    for (int x = 0; x < w; ++x) {
      unchecked.Column(nodes.Longitudes[static_cast<std::size_t>(x)], nodes.Latitudes, {}, tolerance, column);
      for (int y = 0; y < h; ++y) {
        ASSERT_EQ(bounded[x][y], exact[x][y]) << x << "," << y << " tolerance " << tolerance;
        ASSERT_NEAR(boundedDepths[x][y], exactDepths[x][y], tolerance);
        boundedCount += boundedDepths[x][y] != exactDepths[x][y];
        wouldDiffer += BlendColors(255, 16711680, column[static_cast<std::size_t>(y)] / 2400) != exact[x][y];
      }
    }
    if (tolerance < 1)
      EXPECT_GT(boundedCount, w * h / 2) << "most depths should keep the value found to the tolerance";
    else
      EXPECT_GT(wouldDiffer, 0) << "without the check some colours should differ, or this proves nothing";
  }
}

}  // namespace
}  // namespace sondralis
