#include "contours/ContourSmoothing.h"

#include <cmath>

#include "contours/ContourGeometry.h"

namespace sondralis {

namespace {

// Positive when p lies on the right of a→b as seen on the map (rows grow
// downwards): the shallow side of a contour line.
double RightOf(const TChartPoint& a, const TChartPoint& b, const TChartPoint& p) {
  return (b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X);
}

// A line as the smoothing holds it: a ring without its closing point, whose
// last point links back to the first.
struct TSmoothLine {
  int Level = 0;
  bool Ring = false;
  std::vector<TChartPoint> Points;
  std::vector<TChartPoint> Traced;

  int Count() const { return static_cast<int>(Points.size()); }
  int Next(int i) const { return i + 1 < Count() ? i + 1 : Ring ? 0 : -1; }
  int Prev(int i) const { return i > 0 ? i - 1 : Ring ? Count() - 1 : -1; }
  const TChartPoint& At(int i) const { return Points[static_cast<std::size_t>(i)]; }
};

}  // namespace

void SmoothContours(std::vector<TChartLine>& Lines, const TDepthArray& Depths, int Passes, TFeedback& Feedback) {
  if (Passes < 1) return;
  const TDepthField depths(Depths);
  TSegmentGrid grid(Depths.Width(), Depths.Height(), 1);
  std::vector<TSmoothLine> lines(Lines.size());
  for (std::size_t l = 0; l < Lines.size(); ++l) {
    TSmoothLine& line = lines[l];
    line.Level = Lines[l].Level;
    line.Points = Lines[l].Points;
    line.Ring = Lines[l].Closed && line.Points.size() >= 4;
    if (line.Ring) line.Points.pop_back();
    line.Traced = line.Points;
    for (int i = 0; i < line.Count(); ++i)
      if (line.Next(i) >= 0) grid.Insert({line.At(i), line.At(line.Next(i)), static_cast<int>(l), i});
  }

  for (int pass = 0; pass < Passes; ++pass) {
    if (Feedback.Canceled()) throw TCanceled{};
    bool moved = false;
    for (int l = 0; l < static_cast<int>(lines.size()); ++l) {
      TSmoothLine& line = lines[static_cast<std::size_t>(l)];
      const double least = line.Level - kSmoothDepthMargin;
      for (int v = 0; v < line.Count(); ++v) {
        const int prev = line.Prev(v), next = line.Next(v);
        if (prev < 0 || next < 0 || line.Count() < 3) continue;
        const TChartPoint a = line.At(prev), p = line.At(v), b = line.At(next);
        if (!(RightOf(a, b, p) > 0)) continue;
        const TChartPoint to{(p.X + (a.X + b.X) / 2) / 2, (p.Y + (a.Y + b.Y) / 2) / 2};
        const TChartPoint& traced = line.Traced[static_cast<std::size_t>(v)];
        if (std::hypot(to.X - traced.X, to.Y - traced.Y) > kSmoothMaxShift) continue;
        if (!(depths.MinDepthAlong(a, to) >= least) || !(depths.MinDepthAlong(to, b) >= least)) continue;
        const auto replaced = [&](int other, int id) { return other == l && (id == prev || id == v); };
        if (grid.FindConflict(a, to, replaced) || grid.FindConflict(to, b, replaced)) continue;
        grid.Erase(l, prev, a, p);
        grid.Erase(l, v, p, b);
        line.Points[static_cast<std::size_t>(v)] = to;
        grid.Insert({a, to, l, prev});
        grid.Insert({to, b, l, v});
        moved = true;
      }
    }
    if (!moved) break;
  }

  for (std::size_t l = 0; l < Lines.size(); ++l) {
    Lines[l].Points = std::move(lines[l].Points);
    if (lines[l].Ring) Lines[l].Points.push_back(Lines[l].Points.front());
  }
}

}  // namespace sondralis
