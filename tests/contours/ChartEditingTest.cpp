// Smoothing and thinning of chart lines on random lake bottoms: the edited
// lines still never meet (not even lines of one level, nor a line itself),
// the thinned ones stay within their tolerance of what was traced, and the
// smoothed ones only ever give up deep water: every point keeps at least its
// level less 1 cm under it, and the water inside a ring around a shoal can
// only grow, inside a ring around a hole only shrink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "contours/ChartTracer.h"
#include "contours/ContourGeometry.h"
#include "contours/ContourSmoothing.h"
#include "contours/ContourThinning.h"
#include "contours/HTReducer.h"
#include "interpolation/SampleGrid.h"
#include "support/ChartSurfaces.h"

namespace sondralis {
namespace {

using testing::Bilinear;
using testing::ClosestApproach;
using testing::PointSegmentDistance;
using testing::RandomBottom;

struct Case {
  TDepthArray Depths;
  std::vector<TChartLine> Lines;
};

// Random bottoms with their traced lines, most of them rings; Dense levels
// come five times as close as the bottom's features.
std::vector<Case> Cases(int Count, std::uint64_t Seed, bool Dense = false) {
  std::mt19937_64 rng(Seed);
  std::vector<Case> cases;
  TSilentFeedback feedback;
  for (int i = 0; i < Count; ++i) {
    const int step = i % 2 ? 25 : 100;
    Case c{RandomBottom(rng, 30 + static_cast<int>(rng() % 40), 25 + static_cast<int>(rng() % 30), step,
                        static_cast<int>(rng() % 3), true),
           {}};
    double deepest = 0;
    for (double v : c.Depths.All())
      if (std::isfinite(v)) deepest = std::max(deepest, v);
    c.Lines = TraceChartContours(c.Depths, ChartLevels(Dense ? step / 5 : step, static_cast<int>(deepest)), {}, feedback).Lines;
    cases.push_back(std::move(c));
  }
  return cases;
}

// The nodes inside a ring (crossing number), as column·65536 + row.
std::set<int> NodesInside(const TChartLine& ring, const TDepthArray& d) {
  std::set<int> inside;
  const std::vector<TChartPoint>& p = ring.Points;
  for (int x = 0; x < d.Width(); ++x)
    for (int y = 0; y < d.Height(); ++y) {
      bool in = false;
      for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        if ((p[i].Y > y) != (p[j].Y > y) && x < (p[j].X - p[i].X) * (y - p[i].Y) / (p[j].Y - p[i].Y) + p[i].X)
          in = !in;
      if (in) inside.insert(x * 65536 + y);
    }
  return inside;
}

// Twice the signed area; positive when the ring runs clockwise on the map,
// that is with its inside on the right: a ring around shallower water.
double SignedArea(const std::vector<TChartPoint>& p) {
  double a = 0;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) a += p[i].X * p[i + 1].Y - p[i + 1].X * p[i].Y;
  return a;
}

// The grid of segments finds a conflict exactly when a search through every
// live segment does: segments put in as one block and one by one, some of
// both taken out again, on quarter pixels so that touches, shared ends and
// segments along bucket borders are common.
TEST(ChartEditing, TheSegmentGridFindsWhatABruteSearchFinds) {
  std::mt19937_64 rng(24);
  const auto coordinate = [&](int extent) { return static_cast<double>(rng() % (4 * extent + 1)) / 4; };
  for (int round = 0; round < 20; ++round) {
    const int width = 10 + static_cast<int>(rng() % 40), height = 10 + static_cast<int>(rng() % 30);
    const auto segment = [&](int line, int id) {
      TSegmentGrid::TEntry e{{coordinate(width), coordinate(height)}, {}, line, id};
      const double reach = rng() % 4 ? 3 : 12;
      e.B = {std::clamp(e.A.X + coordinate(static_cast<int>(reach)) - reach / 2, 0.0, double(width)),
             std::clamp(e.A.Y + coordinate(static_cast<int>(reach)) - reach / 2, 0.0, double(height))};
      return e;
    };
    TSegmentGrid grid(width, height, 1 + static_cast<double>(rng() % 4));
    std::vector<TSegmentGrid::TEntry> block, live;
    for (int i = 0; i < 60; ++i) block.push_back(segment(i % 7, i));
    grid.InsertAll(block);
    live = block;
    for (int i = 60; i < 90; ++i) {
      live.push_back(segment(i % 7, i));
      grid.Insert(live.back());
    }
    std::shuffle(live.begin(), live.end(), rng);
    for (int i = 0; i < 30; ++i) {
      grid.Erase(live.back().Line, live.back().Id, live.back().A, live.back().B);
      live.pop_back();
    }
    int found = 0;
    for (int q = 0; q < 200; ++q) {
      const TSegmentGrid::TEntry query = segment(-1, -1);
      const int ignored = static_cast<int>(rng() % 100);
      const auto ignore = [&](int, int id) { return id == ignored; };
      bool expected = false;
      for (const TSegmentGrid::TEntry& e : live)
        expected = expected || (e.Id != ignored && SegmentsConflict(query.A, query.B, e.A, e.B));
      const std::optional<TSegmentGrid::TEntry> hit = grid.FindConflict(query.A, query.B, ignore);
      ASSERT_EQ(hit.has_value(), expected) << "round " << round << " query " << q;
      if (!hit) continue;
      ++found;
      EXPECT_NE(hit->Id, ignored);
      EXPECT_TRUE(SegmentsConflict(query.A, query.B, hit->A, hit->B));
      EXPECT_TRUE(std::any_of(live.begin(), live.end(), [&](const auto& e) { return e.Id == hit->Id; }))
          << "an erased segment";
    }
    EXPECT_GT(found, 10);
    EXPECT_LT(found, 190);
  }
}

TEST(ChartEditing, SmoothedLinesMoveOnlyIntoDeeperWaterAndNeverMeet) {
  int moved = 0, grown = 0, shrunk = 0;
  for (Case& c : Cases(24, 77)) {
    ASSERT_GT(ClosestApproach(c.Lines, true).Distance, 1e-9) << "the traced lines already meet";
    std::vector<TChartLine> smooth = c.Lines;
    TSilentFeedback feedback;
    SmoothContours(smooth, c.Depths, 6, feedback);
    ASSERT_EQ(smooth.size(), c.Lines.size());
    const testing::TClosest closest = ClosestApproach(smooth, true);
    EXPECT_GT(closest.Distance, 1e-9) << "lines " << closest.LineA << " and " << closest.LineB << " meet";
    for (std::size_t l = 0; l < smooth.size(); ++l) {
      const TChartLine& before = c.Lines[l];
      const TChartLine& after = smooth[l];
      ASSERT_EQ(after.Points.size(), before.Points.size());
      EXPECT_EQ(after.Closed, before.Closed);
      for (std::size_t i = 0; i < after.Points.size(); ++i) {
        const TChartPoint& p = after.Points[i];
        const TChartPoint& q = before.Points[i];
        EXPECT_GE(Bilinear(c.Depths, p), after.Level - kSmoothDepthMargin - 1e-9) << "point in shallower water";
        EXPECT_LE(std::hypot(p.X - q.X, p.Y - q.Y), kSmoothMaxShift + 1e-12);
        moved += !(p == q);
      }
      if (!after.Closed) {
        EXPECT_TRUE(after.Points.front() == before.Points.front() && after.Points.back() == before.Points.back());
        continue;
      }
      EXPECT_TRUE(after.Points.front() == after.Points.back());
      const std::set<int> was = NodesInside(before, c.Depths), is = NodesInside(after, c.Depths);
      const bool shoal = SignedArea(before.Points) > 0;
      const std::set<int>& smaller = shoal ? was : is;
      const std::set<int>& larger = shoal ? is : was;
      for (int node : smaller) EXPECT_TRUE(larger.count(node)) << "a node changed from shallow to deep";
      if (was != is) (shoal ? grown : shrunk)++;
    }
  }
  // The smoothing did its work, around shoals and around holes.
  EXPECT_GT(moved, 1000);
  EXPECT_GT(grown, 5);
  EXPECT_GT(shrunk, 5);
}

// The index of each point of `thin` in `traced`: thinning keeps points, it
// never makes new ones.
std::vector<std::size_t> KeptIndices(const TChartLine& thin, const TChartLine& traced) {
  std::vector<std::size_t> kept;
  std::size_t j = 0;
  for (const TChartPoint& p : thin.Points) {
    while (j < traced.Points.size() && !(traced.Points[j] == p)) ++j;
    EXPECT_LT(j, traced.Points.size()) << "a thinned point that was not traced";
    kept.push_back(j++);
  }
  return kept;
}

TEST(ChartEditing, ThinnedLinesStayWithinTheToleranceAndNeverMeet) {
  std::size_t before = 0, after = 0;
  // A large tolerance makes many shortcuts meet other lines, and the
  // splitting that keeps them apart has much to do.
  for (const double tolerance : {0.6, 3.0})
  for (Case& c : Cases(24, 31, tolerance > 1)) {
    std::vector<TChartLine> thin = c.Lines;
    TSilentFeedback feedback;
    ThinContours(thin, c.Depths, tolerance, false, feedback);
    ASSERT_EQ(thin.size(), c.Lines.size());
    const testing::TClosest closest = ClosestApproach(thin, true, 2.0);
    EXPECT_GT(closest.Distance, 1e-9) << "lines " << closest.LineA << " and " << closest.LineB << " meet";
    for (std::size_t l = 0; l < thin.size(); ++l) {
      const TChartLine& traced = c.Lines[l];
      before += traced.Points.size();
      after += thin[l].Points.size();
      EXPECT_TRUE(thin[l].Points.front() == traced.Points.front() && thin[l].Points.back() == traced.Points.back());
      if (traced.Closed) {
        EXPECT_GE(thin[l].Points.size(), 4u) << "a ring keeps three points";
      }
      const std::vector<std::size_t> kept = KeptIndices(thin[l], traced);
      for (std::size_t k = 0; k + 1 < kept.size(); ++k)
        for (std::size_t i = kept[k] + 1; i < kept[k + 1]; ++i)
          EXPECT_LE(PointSegmentDistance(traced.Points[i], traced.Points[kept[k]], traced.Points[kept[k + 1]]),
                    tolerance + 1e-12);
    }
  }
  EXPECT_LT(after * 3, before) << "thinning removed little";
}

TEST(ChartEditing, ThinningALargeMapInTwoHalvesAtOnceKeepsLinesApart) {
  // Maps with many shortcuts are thinned in two halves at once, with what
  // lies near the middle done last: the lines must still never meet, also
  // across the middle, and the outcome must not depend on the threads.
  for (const double tolerance : {0.6, 3.0})
    for (const std::uint64_t seed : {91u, 92u}) {
      // Steep rolling ground with noise: many lines close together.
      std::mt19937_64 rng(seed);
      std::uniform_real_distribution<double> unit(0.0, 1.0);
      const double fx = 20 + 30 * unit(rng), fy = 15 + 25 * unit(rng), fd = 8 + 8 * unit(rng);
      Case c{TDepthArray(260, 200), {}};
      for (int x = 0; x < c.Depths.Width(); ++x)
        for (int y = 0; y < c.Depths.Height(); ++y)
          c.Depths[x][y] =
              1000 + 700 * std::sin(x / fx) * std::cos(y / fy) + 150 * std::sin((x + y) / fd) + 10 * unit(rng);
      TSilentFeedback feedback;
      c.Lines = TraceChartContours(c.Depths, ChartLevels(10, 2000), {}, feedback).Lines;
      std::size_t traced = 0;
      for (const TChartLine& line : c.Lines) traced += line.Points.size();
      ASSERT_GT(traced, 40000u) << "too small a map to be thinned in halves";
      std::vector<TChartLine> thin = c.Lines, again = c.Lines;
      ThinContours(thin, c.Depths, tolerance, false, feedback);
      ThinContours(again, c.Depths, tolerance, false, feedback);
      const testing::TClosest closest = ClosestApproach(thin, true, 2.0);
      EXPECT_GT(closest.Distance, 1e-9) << "lines " << closest.LineA << " and " << closest.LineB << " meet";
      std::size_t kept = 0;
      for (std::size_t l = 0; l < thin.size(); ++l) {
        EXPECT_TRUE(thin[l].Points == again[l].Points) << "line " << l << " came out differently";
        kept += thin[l].Points.size();
        const std::vector<std::size_t> at = KeptIndices(thin[l], c.Lines[l]);
        for (std::size_t k = 0; k + 1 < at.size(); ++k)
          for (std::size_t i = at[k] + 1; i < at[k + 1]; ++i)
            EXPECT_LE(
                PointSegmentDistance(c.Lines[l].Points[i], c.Lines[l].Points[at[k]], c.Lines[l].Points[at[k + 1]]),
                tolerance + 1e-12);
      }
      EXPECT_LT(kept * 2, traced);
    }
}

TEST(ChartEditing, SmoothedAndThinnedTogetherGiveUpNoShallowWater) {
  // The chart run with every option: the thinning after smoothing is one
  // sided, so the shortcuts too only cut into deeper water.
  int shortcuts = 0;
  std::mt19937_64 rng(404);
  for (int round = 0; round < 16; ++round) {
    const TDepthArray d = RandomBottom(rng, 50, 40, 50, 2, round % 2 == 0);
    double deepest = 0;
    for (double v : d.All())
      if (std::isfinite(v)) deepest = std::max(deepest, v);
    const std::vector<int> levels = ChartLevels(50, static_cast<int>(deepest));
    TSilentFeedback feedback;
    TChartOptions smoothOnly;
    smoothOnly.Smooth = 4;
    const TChartContours smooth = TraceChartContours(d, levels, smoothOnly, feedback);
    TChartOptions all = smoothOnly;
    all.Tolerance = 0.5;
    const TChartContours chart = TraceChartContours(d, levels, all, feedback);
    ASSERT_EQ(chart.Lines.size(), smooth.Lines.size());
    EXPECT_GT(ClosestApproach(chart.Lines, true, 2.0).Distance, 1e-9);
    for (std::size_t l = 0; l < chart.Lines.size(); ++l) {
      const TChartLine& line = chart.Lines[l];
      const std::vector<std::size_t> kept = KeptIndices(line, smooth.Lines[l]);
      for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
        // A segment as it was smoothed is checked by the smoothing test.
        if (kept[k + 1] == kept[k] + 1) continue;
        const TChartPoint& a = line.Points[k];
        const TChartPoint& b = line.Points[k + 1];
        // Along the shortcut the water is no shallower than the level less 1 cm ...
        for (int s = 0; s <= 16; ++s) {
          const TChartPoint m{a.X + (b.X - a.X) * s / 16, a.Y + (b.Y - a.Y) * s / 16};
          EXPECT_GE(Bilinear(d, m), line.Level - kSmoothDepthMargin - 1e-9);
        }
        // ... and the points it replaces lie on its shallow side.
        for (std::size_t i = kept[k] + 1; i < kept[k + 1]; ++i) {
          const TChartPoint& p = smooth.Lines[l].Points[i];
          EXPECT_GE((b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X), -1e-9);
          ++shortcuts;
        }
      }
    }
  }
  EXPECT_GT(shortcuts, 1000);
}

}  // namespace
}  // namespace sondralis

namespace sondralis {
namespace {

// The lines of a contour document in a frame of pixels of the grid they
// were traced on (the grid is uniform, so crossings are the same as in
// degrees), their depth as level.
std::vector<TChartLine> DocumentLines(const TGPX& Doc, const TGridExtent& Extent, int W, int H) {
  std::vector<TChartLine> lines;
  for (const TGPXtrk* track : Doc.trk)
    for (const TGPXtrkseg* seg : *track) {
      TChartLine line;
      for (const TPoint4D2* p : *seg) {
        line.Level = static_cast<int>(p->HBdepth);
        line.Points.push_back({(p->Longitude - Extent.MinLon) / Extent.CellWidth(W) - 0.5,
                               (Extent.MaxLat - p->Latitude) / Extent.CellHeight(H) - 0.5});
      }
      lines.push_back(std::move(line));
    }
  return lines;
}

// The HT reduction of the chart's lines: the plain one makes lines of
// neighbouring levels cross on these bottoms; the one that keeps them apart
// never does, keeps every point the plain one keeps, and still thins: the
// points it gives back (where lines lie closer than the tolerance, which on
// these small steep bottoms is most of them: about 1.8 times the plain
// count) stay well under those traced.
TEST(ChartEditing, TheHTReductionThatKeepsLinesApartNeverMakesThemMeet) {
  std::mt19937_64 rng(2024);
  const TGridExtent extent{8.60, 47.20, 8.64, 47.22};
  int plainCrossings = 0;
  std::size_t plainPoints = 0, apartPoints = 0, traced = 0;
  for (int round = 0; round < 12; ++round) {
    const int w = 40 + static_cast<int>(rng() % 30), h = 30 + static_cast<int>(rng() % 30);
    const TDepthArray d = RandomBottom(rng, w, h, 50, 2, round % 2 == 0);
    double deepest = 0;
    for (double v : d.All())
      if (std::isfinite(v)) deepest = std::max(deepest, v);
    TChartOptions options;
    options.Tolerance = kChartTolerance;
    TSilentFeedback feedback;
    const TChartContours chart =
        TraceChartContours(d, ChartLevels(round % 3 ? 25 : 10, static_cast<int>(deepest)), options, feedback);
    const TPixelCoordinates grid = GridNodes(extent, w, h);
    TGPX source;
    AddChartContours(source, chart, grid);
    // Thresholds whose tolerance is one to three pixels.
    const int threshold = static_cast<int>(1 / (extent.CellWidth(w) * (1 + round % 3)));
    TGPX plain, apart;
    plain.CopyFrom(source);
    apart.CopyFrom(source);
    ReduceDocument(plain, threshold, feedback);
    ReduceDocumentApart(apart, threshold, feedback);
    const std::vector<TChartLine> before = DocumentLines(source, extent, w, h);
    const std::vector<TChartLine> after = DocumentLines(apart, extent, w, h);
    const std::vector<TChartLine> plainLines = DocumentLines(plain, extent, w, h);
    ASSERT_EQ(after.size(), before.size());
    ASSERT_GT(ClosestApproach(before, true).Distance, 1e-9) << "the chart's lines already meet";
    const testing::TClosest closest = ClosestApproach(after, true, 2.0);
    EXPECT_GT(closest.Distance, 1e-9) << "round " << round << ": lines " << closest.LineA << " and " << closest.LineB
                                      << " meet";
    plainCrossings += ClosestApproach(plainLines, false, 2.0).Distance < 1e-9;
    for (std::size_t l = 0; l < after.size(); ++l) {
      traced += before[l].Points.size();
      plainPoints += plainLines[l].Points.size();
      apartPoints += after[l].Points.size();
      // Every point the plain reduction keeps stays, in order.
      const std::vector<std::size_t> kept = KeptIndices(after[l], before[l]);
      std::size_t k = 0;
      for (const TChartPoint& p : plainLines[l].Points) {
        while (k < after[l].Points.size() && !(after[l].Points[k] == p)) ++k;
        EXPECT_LT(k, after[l].Points.size()) << "a point of the plain reduction was dropped";
      }
      EXPECT_TRUE(after[l].Points.front() == before[l].Points.front() &&
                  after[l].Points.back() == before[l].Points.back());
      EXPECT_EQ(kept.size(), after[l].Points.size());
    }
  }
  // The plain reduction does make lines meet here.
  EXPECT_GT(plainCrossings, 3);
  EXPECT_LT(apartPoints * 5, traced * 3);
  EXPECT_LT(apartPoints, plainPoints * 2);
}

}  // namespace
}  // namespace sondralis
