// The chart tracer on random lake bottoms (flat areas exactly at a level,
// holes without depth) and on a plane, checked against what the depths say
// on their own: where each level crosses each grid edge, which side is
// deeper, and that lines of different levels never meet.
#include "contours/ChartTracer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "contours/MovingSquares.h"
#include "formats/HTConvert.h"
#include "interpolation/SampleGrid.h"
#include "support/ChartSurfaces.h"
#include "support/DepthMapScene.h"

namespace sondralis {
namespace {

using testing::Bilinear;
using testing::ClosestApproach;
using testing::RandomBottom;

bool Finite(double v) { return std::isfinite(v); }

// Cell (x, y) has its four nodes inside the grid and covered.
bool CellCovered(const TDepthArray& d, int x, int y) {
  return x >= 0 && y >= 0 && x + 1 < d.Width() && y + 1 < d.Height() && Finite(d[x][y]) && Finite(d[x + 1][y]) &&
         Finite(d[x][y + 1]) && Finite(d[x + 1][y + 1]);
}

// An edge of the grid: horizontal from node (X, Y) to (X + 1, Y), or
// vertical from (X, Y) to (X, Y + 1).
using Edge = std::tuple<bool, int, int>;  // horizontal, X, Y

struct EdgeNodes {
  int x0, y0, x1, y1;
};
EdgeNodes Nodes(const Edge& e) {
  const auto [horizontal, x, y] = e;
  return horizontal ? EdgeNodes{x, y, x + 1, y} : EdgeNodes{x, y, x, y + 1};
}
// The two cells beside an edge are covered, or just one.
bool EdgeInCoveredCell(const TDepthArray& d, const Edge& e) {
  const auto [horizontal, x, y] = e;
  return horizontal ? CellCovered(d, x, y - 1) || CellCovered(d, x, y) : CellCovered(d, x - 1, y) || CellCovered(d, x, y);
}
bool EdgeOnMaskBorder(const TDepthArray& d, const Edge& e) {
  const auto [horizontal, x, y] = e;
  return horizontal ? !CellCovered(d, x, y - 1) || !CellCovered(d, x, y) : !CellCovered(d, x - 1, y) || !CellCovered(d, x, y);
}

// The edge a point strictly between two nodes lies on.
bool EdgeOf(const TChartPoint& p, Edge& e) {
  const bool xWhole = p.X == std::floor(p.X), yWhole = p.Y == std::floor(p.Y);
  if (xWhole == yWhole) return false;  // on a node (or nowhere on the grid)
  e = {yWhole, static_cast<int>(std::floor(p.X)), static_cast<int>(std::floor(p.Y))};
  return true;
}

double Cross(const TChartPoint& a, const TChartPoint& b, double x, double y) {
  return (b.X - a.X) * (y - a.Y) - (b.Y - a.Y) * (x - a.X);
}

// Everything the lines of one trace must satisfy on their own depths.
void ExpectFaithful(const TDepthArray& d, const std::vector<int>& levels, const std::vector<TChartLine>& lines) {
  std::map<int, std::set<Edge>> crossed;  // per level: the edges a line passes between its nodes
  for (const TChartLine& line : lines) {
    ASSERT_GE(line.Points.size(), 2u);
    if (line.Closed) {
      EXPECT_GE(line.Points.size(), 4u);
      EXPECT_TRUE(line.Points.front() == line.Points.back()) << "a ring is closed bit for bit";
    }
    const double L = line.Level;
    for (std::size_t i = 0; i < line.Points.size(); ++i) {
      const TChartPoint& p = line.Points[i];
      Edge e;
      if (!EdgeOf(p, e)) continue;
      const EdgeNodes n = Nodes(e);
      const double a = d[n.x0][n.y0], b = d[n.x1][n.y1];
      // On its edge where the straight line between the two depths has the level.
      const double t = (p.X - n.x0) + (p.Y - n.y0);
      EXPECT_NEAR(a + t * (b - a), L, 1e-9 * (1 + std::fabs(L)));
      if (!(line.Closed && i + 1 == line.Points.size())) {
        EXPECT_TRUE(crossed[line.Level].insert(e).second) << "edge passed twice";
      }
      // Deeper water on the left, as seen on the map; shallower on the right.
      for (const std::size_t j : {i > 0 ? i - 1 : i, i + 1 < line.Points.size() ? i + 1 : i}) {
        if (j == i) continue;
        const TChartPoint& from = j < i ? line.Points[j] : p;
        const TChartPoint& to = j < i ? p : line.Points[j];
        for (const auto& [x, y, depth] : {std::tuple{n.x0, n.y0, a}, std::tuple{n.x1, n.y1, b}}) {
          if (depth > L) {
            EXPECT_LE(Cross(from, to, x, y), 1e-9) << "deeper node on the shallow side";
          } else if (depth < L) {
            EXPECT_GE(Cross(from, to, x, y), -1e-9) << "shallower node on the deep side";
          }
        }
      }
    }
    if (!line.Closed) {
      // An open line ends where the covered cells end.
      for (const TChartPoint& end : {line.Points.front(), line.Points.back()}) {
        Edge e;
        if (EdgeOf(end, e)) {
          EXPECT_TRUE(EdgeOnMaskBorder(d, e)) << "line ends inside the covered water";
        }
      }
    }
  }
  // Every edge the level crosses between two of its nodes carries a line.
  for (const int level : levels) {
    std::set<Edge> expected;
    for (int x = 0; x < d.Width(); ++x)
      for (int y = 0; y < d.Height(); ++y)
        for (const bool horizontal : {true, false}) {
          const Edge e{horizontal, x, y};
          const EdgeNodes n = Nodes(e);
          if (n.x1 >= d.Width() || n.y1 >= d.Height()) continue;
          const double a = d[n.x0][n.y0], b = d[n.x1][n.y1];
          if (!Finite(a) || !Finite(b) || !EdgeInCoveredCell(d, e)) continue;
          if ((a > level) != (b > level) && a != level && b != level) expected.insert(e);
        }
    EXPECT_EQ(crossed[level], expected) << "level " << level;
  }
}

TEST(ChartTracer, RandomBottomsGiveLinesTrueToTheDepthsThatNeverMeetAcrossLevels) {
  std::mt19937_64 rng(2024);
  int lines = 0, rings = 0, open = 0;
  for (int round = 0; round < 40; ++round) {
    const int step = round % 3 == 0 ? 10 : 100;
    const int W = 12 + static_cast<int>(rng() % 40), H = 12 + static_cast<int>(rng() % 30);
    const TDepthArray d = RandomBottom(rng, W, H, step, static_cast<int>(rng() % 5), round % 2 == 0);
    double deepest = 0;
    for (double v : d.All())
      if (Finite(v)) deepest = std::max(deepest, v);
    const std::vector<int> levels = ChartLevels(step, static_cast<int>(deepest));
    TSilentFeedback feedback;
    const TChartContours c = TraceChartContours(d, levels, {}, feedback);
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectFaithful(d, levels, c.Lines);
    const testing::TClosest closest = ClosestApproach(c.Lines, false);
    EXPECT_GT(closest.Distance, 1e-9) << "levels " << c.Lines[std::max(closest.LineA, 0)].Level << " and "
                                      << c.Lines[std::max(closest.LineB, 0)].Level << " meet";
    for (const TChartLine& line : c.Lines) (line.Closed ? rings : open)++;
    lines += static_cast<int>(c.Lines.size());
    EXPECT_EQ(c.PointsTraced, [&] {
      int n = 0;
      for (const TChartLine& line : c.Lines) n += static_cast<int>(line.Points.size());
      return n;
    }());
  }
  // The bottoms are varied enough to give both kinds of line.
  EXPECT_GT(rings, 40);
  EXPECT_GT(open, 40);
  EXPECT_GT(lines, 400);
}

TEST(ChartTracer, PlaneGivesItsExactLevelLinesAroundHoles) {
  // On a plane the straight line between two nodes is the plane itself, so
  // every point lies exactly on the level's line; holes cut the lines, and
  // no line begins or ends anywhere but at a hole or the border.
  const int W = 60, H = 45;
  TDepthArray d(W, H);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) d[x][y] = 13.7 * x + 4.1 * y + 3;
  for (int x = 20; x < 26; ++x)
    for (int y = 10; y < 30; ++y) d[x][y] = kNoDepth;
  TSilentFeedback feedback;
  const std::vector<int> levels = ChartLevels(50, 900);
  const TChartContours c = TraceChartContours(d, levels, {}, feedback);
  for (const TChartLine& line : c.Lines) {
    EXPECT_FALSE(line.Closed);
    for (const TChartPoint& p : line.Points) EXPECT_NEAR(13.7 * p.X + 4.1 * p.Y + 3, line.Level, 1e-9);
    // The depth grows towards the gradient, which lies on the line's left.
    const TChartPoint& a = line.Points.front();
    const TChartPoint& b = line.Points.back();
    EXPECT_LT(Cross(a, b, a.X + 13.7, a.Y + 4.1), 0);
  }
  ExpectFaithful(d, levels, c.Lines);
}

TEST(ChartTracer, SaddleFollowsTheMeanOfItsFourCorners) {
  // One cell, deep at the top left and bottom right (10 m), shallow at the
  // other two corners (0 m); the mean is 5 m. Below it the deep corners join
  // through the middle and each line cuts off a shallow corner; above it
  // each line cuts off a deep corner.
  TDepthArray d(2, 2);
  d[0][0] = d[1][1] = 1000;
  d[1][0] = d[0][1] = 0;
  TSilentFeedback feedback;
  const auto corners = [&](int level) {
    std::multiset<std::pair<int, int>> cut;
    for (const TChartLine& line : TraceChartContours(d, {level}, {}, feedback).Lines) {
      EXPECT_EQ(line.Points.size(), 2u);
      // The corner nearest to the middle of the line is the one it cuts off.
      const double mx = (line.Points[0].X + line.Points[1].X) / 2, my = (line.Points[0].Y + line.Points[1].Y) / 2;
      cut.insert({static_cast<int>(std::lround(mx)), static_cast<int>(std::lround(my))});
    }
    return cut;
  };
  EXPECT_EQ(corners(400), (std::multiset<std::pair<int, int>>{{0, 1}, {1, 0}}));
  EXPECT_EQ(corners(600), (std::multiset<std::pair<int, int>>{{0, 0}, {1, 1}}));
}

TEST(ChartTracer, ShortRingsAreDroppedAndCounted) {
  // Five single-node spikes on a flat bottom, one bump of radius 6 and a
  // line along a slope: at 8 px only the spikes' rings go.
  const int W = 60, H = 40;
  TDepthArray d(W, H);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      const double r2 = (x - 40.0) * (x - 40.0) + (y - 20.0) * (y - 20.0);
      d[x][y] = 250 + 300 * std::exp(-r2 / 36) + (x < 5 ? 200 : 0);
    }
  for (int i = 0; i < 5; ++i) d[6 + 6 * i][8 + 5 * i] = 390;
  TSilentFeedback feedback;
  const std::vector<int> levels{300};
  const TChartContours all = TraceChartContours(d, levels, {}, feedback);
  TChartOptions options;
  options.MinRing = kChartMinRing;
  const TChartContours kept = TraceChartContours(d, levels, options, feedback);
  EXPECT_EQ(all.RingsDropped, 0);
  EXPECT_EQ(kept.RingsDropped, 5);
  class Lines : public TFeedback {
   public:
    void Log(const std::string& line) override { Logged.push_back(line); }
    std::vector<std::string> Logged;
  } log;
  TraceChartContours(d, levels, options, log);
  EXPECT_EQ(log.Logged, std::vector<std::string>{"Rings shorter than 8 px dropped: 5"});
  EXPECT_EQ(all.Lines.size(), kept.Lines.size() + 5);
  for (const TChartLine& line : kept.Lines)
    if (line.Closed) {
      EXPECT_GT(LineLength(line.Points), 30) << "the bump's ring stays";
    }
}

TEST(ChartTracer, ContourDocumentHasOneTrackPerLevelAndTheGridsPositions) {
  std::mt19937_64 rng(5);
  const TDepthArray d = RandomBottom(rng, 30, 20, 100, 2, true);
  TSilentFeedback feedback;
  const TChartContours c = TraceChartContours(d, ChartLevels(100, 2000), {}, feedback);
  ASSERT_FALSE(c.Lines.empty());
  const TGridExtent extent{8.60, 47.20, 8.63, 47.21};
  const TPixelCoordinates grid = GridNodes(extent, 30, 20);
  TGPX doc;
  AddChartContours(doc, c, grid);
  std::set<int> levels;
  for (const TChartLine& line : c.Lines) levels.insert(line.Level);
  ASSERT_EQ(doc.trk.Count(), static_cast<int>(levels.size()));
  std::size_t line = 0;
  for (const TGPXtrk* track : doc.trk) {
    for (const TGPXtrkseg* segment : *track) {
      ASSERT_LT(line, c.Lines.size());
      const TChartLine& source = c.Lines[line++];
      ASSERT_EQ(segment->Count(), static_cast<int>(source.Points.size()));
      for (int i = 0; i < segment->Count(); ++i) {
        const TPoint4D2& p = *segment->Points(i);
        const TChartPoint& q = source.Points[static_cast<std::size_t>(i)];
        EXPECT_EQ(p.HBdepth, source.Level);
        // Between the positions of the neighbouring columns and rows, and
        // exactly a column's longitude (a row's latitude) on it.
        const double dx = extent.CellWidth(30), dy = extent.CellHeight(20);
        EXPECT_NEAR(p.Longitude, extent.MinLon + (q.X + 0.5) * dx, 1e-12);
        EXPECT_NEAR(p.Latitude, extent.MaxLat - (q.Y + 0.5) * dy, 1e-12);
        if (q.X == std::floor(q.X)) {
          EXPECT_EQ(p.Longitude, grid.Longitudes[static_cast<std::size_t>(q.X)]);
        }
        if (q.Y == std::floor(q.Y)) {
          EXPECT_EQ(p.Latitude, grid.Latitudes[static_cast<std::size_t>(q.Y)]);
        }
      }
      if (source.Closed) {
        const TPoint4D2& first = *segment->Points(0);
        const TPoint4D2& last = *segment->Points(segment->Count() - 1);
        EXPECT_TRUE(first.Longitude == last.Longitude && first.Latitude == last.Latitude);
      }
    }
  }
  EXPECT_EQ(line, c.Lines.size());
}

TEST(ChartTracer, ExampleLakeNeedsFewerHTEntriesThanTheClassicTracerAndNothingMeets) {
  // The example lake interpolated as the window does it, traced both ways at
  // the default step: the chart path with its default ring limit and
  // thinning gives lines that never meet and a smaller HT count.
  testing::DepthMapScene scene(400, 320);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  TDepthMap map;
  TSilentFeedback runFeedback;
  ASSERT_TRUE(map.Interpolate(scene.View, scene.Settings(), scene.Input(), runFeedback));
  const int maxDepth = GetMaxDepth(scene.Doc);

  TGPX classic;
  TCanvas isoMap;
  TMovingSquares tracer(classic, scene.View, isoMap, map.InterpolatedImage, map.ShadowArray);
  ASSERT_TRUE(tracer.GenerateISO(0, maxDepth, 100));

  TChartOptions options;
  options.MinRing = kChartMinRing;
  options.Tolerance = kChartTolerance;
  TSilentFeedback feedback;
  const TChartContours chart = TraceChartContours(map.DepthArray, ChartLevels(100, maxDepth), options, feedback);
  ASSERT_GT(chart.Lines.size(), 10u);
  EXPECT_GT(ClosestApproach(chart.Lines, true, 2.0).Distance, 1e-9);
  TGPX charted;
  AddChartContours(charted, chart, GridNodes(ViewGridExtent(scene.View), 400, 320));
  EXPECT_LT(CountHTPoints(charted, kHTAllowance), CountHTPoints(classic, kHTAllowance));
  // Every traced point was on its level; thinning keeps a subset of them.
  for (const TChartLine& line : chart.Lines)
    for (const TChartPoint& p : line.Points) EXPECT_NEAR(testing::Bilinear(map.DepthArray, p), line.Level, 1e-6);
}

// Cancels when the given level is about to be traced; counts the calls.
class CancellingFeedback : public TFeedback {
 public:
  explicit CancellingFeedback(int At) : fAt(At) {}
  void SetProgress(int Position, int Max) override {
    Positions.push_back(Position);
    EXPECT_GT(Max, 0);
    if (Position == fAt) Cancel();
  }
  std::vector<int> Positions;

 private:
  int fAt;
};

TEST(ChartTracer, LevelsAreCheckedAndCancellationStopsBeforeTheNextLevel) {
  EXPECT_EQ(ChartLevels(100, 1234), (std::vector<int>{100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200}));
  EXPECT_EQ(ChartLevels(100, 1200).back(), 1200);
  EXPECT_TRUE(ChartLevels(0, 1000).empty());
  EXPECT_TRUE(ChartLevels(100, 99).empty());

  std::mt19937_64 rng(9);
  const TDepthArray d = RandomBottom(rng, 30, 30, 100, 0, false);
  TSilentFeedback silent;
  EXPECT_THROW(TraceChartContours(d, {200, 100}, {}, silent), std::invalid_argument);
  EXPECT_THROW(TraceChartContours(d, {100, 100}, {}, silent), std::invalid_argument);

  CancellingFeedback feedback(3);
  EXPECT_THROW(TraceChartContours(d, ChartLevels(100, 1000), {}, feedback), TCanceled);
  // Level 100 lies above the shallowest node of this bottom: no step.
  EXPECT_EQ(feedback.Positions, (std::vector<int>{1, 2, 3}));
  CancellingFeedback never(-1);
  TraceChartContours(d, ChartLevels(100, 1000), {}, never);
  EXPECT_EQ(never.Positions.size(), 10u) << "one step per level crossed and the end";

  // A million levels of 1 cm: only those between the shallowest and the
  // deepest node can cross a cell, and only they cost a step.
  double lo = 1e300, hi = -1e300;
  for (int x = 0; x < d.Width(); ++x)
    for (int y = 0; y < d.Height(); ++y)
      if (Finite(d[x][y])) lo = std::min(lo, d[x][y]), hi = std::max(hi, d[x][y]);
  CancellingFeedback counted(-1);
  const TChartContours many = TraceChartContours(d, ChartLevels(1, 1000000), {}, counted);
  EXPECT_LE(counted.Positions.size(), static_cast<std::size_t>(hi - lo) + 2);
  std::set<int> crossed;
  for (const TChartLine& line : many.Lines) crossed.insert(line.Level);
  EXPECT_GT(crossed.size(), 10u);
  const std::vector<int> reached(crossed.begin(), crossed.end());
  const TChartContours few = TraceChartContours(d, reached, {}, silent);
  ASSERT_EQ(few.Lines.size(), many.Lines.size());
  for (std::size_t i = 0; i < few.Lines.size(); ++i) EXPECT_EQ(few.Lines[i].Points, many.Lines[i].Points);
}

}  // namespace
}  // namespace sondralis
