#pragma once

// Depth grids for the chart tracer's tests and what to check its lines
// against, written independently of the tracer: random lake bottoms with
// flat areas exactly at a level and holes without depth, the bilinear depth
// between nodes, and the distance between two segments.

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "contours/ChartTracer.h"
#include "interpolation/CommonTypes.h"

namespace sondralis::testing {

// A random bottom of W × H nodes: smooth hills and holes of random size on
// a slope, with noise; where it comes close to a multiple of Step it is set
// to that multiple exactly (flat areas at a level, and single nodes on one);
// discs of NaN (no sounding there), and NaN on the border when asked.
inline TDepthArray RandomBottom(std::mt19937_64& rng, int W, int H, int Step, int Holes, bool NaNBorder) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  struct Bump {
    double x, y, r, h;
  };
  std::vector<Bump> bumps;
  const int count = 3 + static_cast<int>(unit(rng) * 10);
  for (int i = 0; i < count; ++i)
    bumps.push_back({unit(rng) * W, unit(rng) * H, 1.5 + unit(rng) * W / 4.0, (unit(rng) - 0.4) * 12 * Step});
  const double slopeX = (unit(rng) - 0.5) * Step, slopeY = (unit(rng) - 0.5) * Step;
  const double noise = unit(rng) * Step / 3;
  const double snap = unit(rng) * Step / 4;
  TDepthArray depths(W, H);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      double d = 6 * Step + slopeX * x / 4 + slopeY * y / 4 + (unit(rng) - 0.5) * noise;
      for (const Bump& b : bumps) d += b.h * std::exp(-((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y)) / (b.r * b.r));
      d = std::max(d, 0.0);
      const double level = std::round(d / Step) * Step;
      if (std::fabs(d - level) < snap) d = level;
      depths[x][y] = d;
    }
  for (int i = 0; i < Holes; ++i) {
    const double cx = unit(rng) * W, cy = unit(rng) * H, r = 0.5 + unit(rng) * 4;
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) depths[x][y] = kNoDepth;
  }
  if (NaNBorder)
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y)
        if (x == 0 || y == 0 || x == W - 1 || y == H - 1) depths[x][y] = kNoDepth;
  return depths;
}

// The bilinear interpolation of the four nodes around P (NaN outside). A node
// whose weight is 0 plays no part, so on a grid edge only its two nodes
// count, whatever lies beside it.
inline double Bilinear(const TDepthArray& d, const TChartPoint& P) {
  if (!(P.X >= 0 && P.Y >= 0 && P.X <= d.Width() - 1 && P.Y <= d.Height() - 1)) return kNoDepth;
  const int i = std::min(static_cast<int>(P.X), d.Width() - 2), j = std::min(static_cast<int>(P.Y), d.Height() - 2);
  const double u = P.X - i, v = P.Y - j;
  double sum = 0;
  for (const auto& [w, x, y] : {std::tuple{(1 - u) * (1 - v), i, j}, std::tuple{u * (1 - v), i + 1, j},
                                std::tuple{(1 - u) * v, i, j + 1}, std::tuple{u * v, i + 1, j + 1}})
    if (w != 0) sum += w * d[x][y];
  return sum;
}

inline double PointSegmentDistance(const TChartPoint& p, const TChartPoint& a, const TChartPoint& b) {
  const double vx = b.X - a.X, vy = b.Y - a.Y;
  const double len2 = vx * vx + vy * vy;
  double t = len2 > 0 ? ((p.X - a.X) * vx + (p.Y - a.Y) * vy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(a.X + t * vx - p.X, a.Y + t * vy - p.Y);
}

// The distance between two segments: 0 when they cross.
inline double SegmentDistance(const TChartPoint& a, const TChartPoint& b, const TChartPoint& c, const TChartPoint& d) {
  const auto cross = [](const TChartPoint& o, const TChartPoint& p, const TChartPoint& q) {
    return (p.X - o.X) * (q.Y - o.Y) - (p.Y - o.Y) * (q.X - o.X);
  };
  const double d1 = cross(a, b, c), d2 = cross(a, b, d), d3 = cross(c, d, a), d4 = cross(c, d, b);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return 0;
  return std::min({PointSegmentDistance(a, c, d), PointSegmentDistance(b, c, d), PointSegmentDistance(c, a, b),
                   PointSegmentDistance(d, a, b)});
}

// Where two lines come closest, if closer than Limit pixels: lines of
// different levels, or when Everything, any two segments that are not
// neighbours on one line and share no end point (lines of one level may meet
// where a node lies exactly on the level). Each segment goes into every
// bucket of Limit pixels that its box, widened by half the limit, touches:
// two segments closer than the limit then share the bucket of the point
// halfway between their nearest points.
struct TClosest {
  double Distance = 1e300;  // 1e300: nothing closer than Limit
  int LineA = -1, LineB = -1;
};
inline TClosest ClosestApproach(const std::vector<TChartLine>& Lines, bool Everything, double Limit = 1.0) {
  struct Seg {
    int line, index;
  };
  std::map<std::pair<long, long>, std::vector<Seg>> buckets;
  const auto cell = [&](double v) { return static_cast<long>(std::floor(v / Limit)); };
  for (std::size_t l = 0; l < Lines.size(); ++l)
    for (std::size_t i = 0; i + 1 < Lines[l].Points.size(); ++i) {
      const TChartPoint& a = Lines[l].Points[i];
      const TChartPoint& b = Lines[l].Points[i + 1];
      for (long x = cell(std::min(a.X, b.X) - Limit / 2); x <= cell(std::max(a.X, b.X) + Limit / 2); ++x)
        for (long y = cell(std::min(a.Y, b.Y) - Limit / 2); y <= cell(std::max(a.Y, b.Y) + Limit / 2); ++y)
          buckets[{x, y}].push_back({static_cast<int>(l), static_cast<int>(i)});
    }
  TClosest closest;
  for (const auto& [where, segments] : buckets)
    for (std::size_t p = 0; p < segments.size(); ++p)
      for (std::size_t q = p + 1; q < segments.size(); ++q) {
        const Seg& s = segments[p];
        const Seg& t = segments[q];
        const TChartLine& ls = Lines[static_cast<std::size_t>(s.line)];
        const TChartLine& lt = Lines[static_cast<std::size_t>(t.line)];
        if (!Everything && ls.Level == lt.Level) continue;
        if (s.line == t.line && std::abs(s.index - t.index) < 2) continue;
        const auto at = [](const TChartLine& line, int i) -> const TChartPoint& {
          return line.Points[static_cast<std::size_t>(i)];
        };
        const TChartPoint &a = at(ls, s.index), &b = at(ls, s.index + 1);
        const TChartPoint &c = at(lt, t.index), &d = at(lt, t.index + 1);
        if (Everything && (a == c || a == d || b == c || b == d)) continue;
        const double dist = SegmentDistance(a, b, c, d);
        if (dist < closest.Distance && dist < Limit) closest = {dist, s.line, t.line};
      }
  return closest;
}

}  // namespace sondralis::testing
