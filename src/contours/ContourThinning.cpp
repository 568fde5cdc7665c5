#include "contours/ContourThinning.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "contours/ContourGeometry.h"
#include "contours/ContourSmoothing.h"

namespace sondralis {

namespace {

// The squared distance from p to the segment a→b, times the squared length
// C2 of a→b (or plain when a = b): no division in the thinning's innermost
// loop, and the order of the distances to one segment stays the same.
double ScaledSquaredDistance(const TChartPoint& p, const TChartPoint& a, const TChartPoint& b, double C2) {
  const double vx = b.X - a.X, vy = b.Y - a.Y, wx = p.X - a.X, wy = p.Y - a.Y;
  const double along = wx * vx + wy * vy;
  if (along <= 0 || !(C2 > 0)) return (wx * wx + wy * wy) * (C2 > 0 ? C2 : 1);
  if (along >= C2) {
    const double ux = p.X - b.X, uy = p.Y - b.Y;
    return (ux * ux + uy * uy) * C2;
  }
  const double cross = vx * wy - vy * wx;
  return cross * cross;
}

// Positive when p lies on the right of a→b as seen on the map (rows grow
// downwards): the shallow side of a contour line.
double RightOf(const TChartPoint& a, const TChartPoint& b, const TChartPoint& p) {
  return (b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X);
}

// The side in pixels of the tiles the shortcuts are checked in.
constexpr double kTile = 16;

// Shortcuts from which the two halves of the picture are checked at once:
// below it a map is done in a moment anyway.
constexpr std::size_t kParallelShortcuts = 4096;

// Widens a run's X range before its columns of buckets are found, beyond
// the slack the grid's own searches add.
constexpr double kOwnerSlack = 1e-3;

class TThinning {
 public:
  // Depths, needed only when OneSided, are the grid the lines were traced
  // on; the lines lie within Width × Height.
  TThinning(const std::vector<TChartLine>& Lines, int Width, int Height, const TDepthArray* Depths, double Tolerance,
            bool OneSided)
      : fLines(Lines),
        fDepths(Depths ? std::optional<TDepthField>(*Depths) : std::nullopt),
        fGrid(Width, Height, 3),
        fTolerance2(Tolerance * Tolerance),
        fOneSided(OneSided),
        fFirst(Lines.size() + 1, 0) {
    for (std::size_t l = 0; l < Lines.size(); ++l) fFirst[l + 1] = fFirst[l] + Lines[l].Points.size();
    fNext.assign(fFirst.back(), -1);
  }

  // Douglas–Peucker on every line.
  void Reduce(TFeedback& Feedback) {
    int level = INT_MIN;
    for (int l = 0; l < static_cast<int>(fLines.size()); ++l) {
      if (Line(l).Level != level) {
        if (Feedback.Canceled()) throw TCanceled{};
        level = Line(l).Level;
      }
      Reduce(l);
    }
  }

  // The points kept by a reduction made elsewhere: Kept[l][i] for point i of
  // line l; the ends of a line are kept in any case.
  void Keep(const std::vector<std::vector<char>>& Kept) {
    for (int l = 0; l < static_cast<int>(fLines.size()); ++l) {
      const int n = Count(l);
      for (int i = 0, last = 0; i + 1 < n;) {
        ++i;
        if (i == n - 1 || Kept[static_cast<std::size_t>(l)][static_cast<std::size_t>(i)]) {
          Next(l, last) = i;
          last = i;
        }
      }
    }
  }

  // Checks every shortcut against all lines and splits those that meet
  // something until nothing meets anything.
  void Separate(TFeedback& Feedback) {
    if (Feedback.Canceled()) throw TCanceled{};
    // The lines as they are, then each shortcut checked against all of
    // them. Segments kept as traced need no check of their own: traced
    // segments never meet, and a shortcut that meets one finds it. The
    // pieces of a shortcut split later are new and are checked.
    std::vector<std::pair<int, int>> unchecked;
    std::vector<TSegmentGrid::TEntry> kept;
    for (int l = 0; l < static_cast<int>(fLines.size()); ++l)
      for (int s = 0; s >= 0 && s + 1 < Count(l); s = Next(l, s)) {
        kept.push_back(Entry(l, s));
        if (Next(l, s) - s >= 2) unchecked.emplace_back(l, s);
      }
    fGrid.InsertAll(kept);
    kept = {};
    // Checked tile by tile of the picture rather than line by line, so the
    // buckets of a tile stay in the cache while all lines through it are
    // checked (on a steep slope many lines pass a tile). The last one is
    // checked first.
    {
      std::vector<std::pair<std::uint32_t, std::pair<int, int>>> order;
      order.reserve(unchecked.size());
      for (const auto& [l, s] : unchecked) {
        const TChartPoint& p = Point(l, s);
        const auto tile = [](double v) { return static_cast<std::uint32_t>(std::max(0.0, v) / kTile); };
        order.push_back({tile(p.Y) << 16 | tile(p.X), {l, s}});
      }
      std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
      for (std::size_t i = 0; i < order.size(); ++i) unchecked[i] = order[i].second;
    }
    if (unchecked.size() < kParallelShortcuts) {
      Resolve(unchecked, -1, nullptr);
      return;
    }
    // On a larger map the two halves of the picture are worked on at
    // once, each by a thread of its own: a check, and a split with its
    // pieces, touch only the columns of buckets the run of points under the
    // shortcut spans, so the halves share no bucket as long as every run
    // taken on keeps clear of the columns in the middle. A run that reaches them, and a
    // check that would split another half's run, wait for the end, when
    // the rest is done on this thread. Both halves take their shortcuts in
    // the order above; the outcome is the same on any number of threads
    // (not quite the same as in one pass, as the order differs near the
    // middle).
    std::vector<std::pair<int, int>> halves[2], later[2], middle;
    for (const auto& [l, s] : unchecked) {
      const int owner = Owner(l, s);
      (owner < 0 ? middle : halves[owner]).emplace_back(l, s);
    }
    unchecked = {};
    std::exception_ptr failed[2];
    const auto work = [&](int half) {
      try {
        Resolve(halves[half], half, &later[half]);
      } catch (...) {
        failed[half] = std::current_exception();
      }
    };
    std::optional<std::thread> helper;
    if (std::thread::hardware_concurrency() > 1 && !halves[1].empty()) {
      try {
        helper.emplace(work, 1);
      } catch (const std::system_error&) {
        // No thread to be had: this thread does both halves.
      }
    }
    work(0);
    if (helper) helper->join();
    else work(1);
    for (const std::exception_ptr& e : failed)
      if (e) std::rethrow_exception(e);
    // What waited, checked as it now is: the middle's shortcuts first, in
    // the order above, then what each half left, in the order it was left.
    std::vector<std::pair<int, int>> rest;
    for (const auto* part : {&later[1], &later[0]})
      for (auto it = part->rbegin(); it != part->rend(); ++it) rest.push_back(*it);
    rest.insert(rest.end(), middle.begin(), middle.end());
    Resolve(rest, -1, nullptr);
  }

  // The points kept of line l.
  std::vector<TChartPoint> Kept(int l) {
    std::vector<TChartPoint> kept;
    for (int s = 0; s >= 0 && s < Count(l); s = Next(l, s)) kept.push_back(Point(l, s));
    return kept;
  }
  // Whether point i of line l is kept.
  std::vector<char> KeptMarks(int l) {
    std::vector<char> marks(static_cast<std::size_t>(Count(l)), 0);
    for (int s = 0; s >= 0 && s < Count(l); s = Next(l, s)) marks[static_cast<std::size_t>(s)] = 1;
    return marks;
  }

 private:
  const TChartLine& Line(int l) const { return fLines[static_cast<std::size_t>(l)]; }
  int Count(int l) const { return static_cast<int>(Line(l).Points.size()); }
  const TChartPoint& Point(int l, int i) const { return Line(l).Points[static_cast<std::size_t>(i)]; }
  int& Next(int l, int i) { return fNext[fFirst[static_cast<std::size_t>(l)] + static_cast<std::size_t>(i)]; }
  TSegmentGrid::TEntry Entry(int l, int s) { return {Point(l, s), Point(l, Next(l, s)), l, s}; }

  // Which half of the picture owns the run under the segment from point s
  // of line l: 0 the left, 1 the right, −1 neither (it comes near the
  // middle columns of buckets).
  int Owner(int l, int s) {
    const int e = Next(l, s);
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int i = s; i <= e; ++i) {
      lo = std::min(lo, Point(l, i).X);
      hi = std::max(hi, Point(l, i).X);
    }
    const int middle = fGrid.Columns() / 2;
    if (fGrid.Column(hi + kOwnerSlack) < middle - 1) return 0;
    if (fGrid.Column(lo - kOwnerSlack) > middle + 1) return 1;
    return -1;
  }

  // Checks the shortcuts of Unchecked, taken from its end, and splits those
  // that meet something until nothing meets anything. With Half ≥ 0 only
  // runs of that half are taken on; a shortcut whose check would reach
  // beyond it goes to Later instead.
  void Resolve(std::vector<std::pair<int, int>>& unchecked, int Half, std::vector<std::pair<int, int>>* Later) {
    while (!unchecked.empty()) {
      // The shortcuts checked next lie anywhere in memory: their points are
      // asked for a few checks ahead.
      constexpr std::size_t kAhead = 8;
      if (unchecked.size() > kAhead) {
        const auto [la, sa] = unchecked[unchecked.size() - 1 - kAhead];
        __builtin_prefetch(&Point(la, sa));
        __builtin_prefetch(&Next(la, sa));
      }
      const auto [l, s] = unchecked.back();
      unchecked.pop_back();
      if (Half >= 0 && Owner(l, s) != Half) {
        Later->emplace_back(l, s);
        continue;
      }
      const int e = Next(l, s);
      const std::optional<TSegmentGrid::TEntry> hit =
          fGrid.FindConflict(Point(l, s), Point(l, e), [&](int line, int id) { return line == l && id == s; });
      if (!hit) continue;
      const TSegmentGrid::TEntry other = *hit;
      if (e - s >= 2) {
        Split(l, s, unchecked);
      } else if (Next(other.Line, other.Id) - other.Id >= 2) {
        if (Half >= 0 && Owner(other.Line, other.Id) != Half) {
          Later->emplace_back(l, s);
          continue;
        }
        Split(other.Line, other.Id, unchecked);
        // It may meet more than that one.
        unchecked.emplace_back(l, s);
      }
      // Otherwise two segments of the traced lines themselves meet, which
      // the tracer never makes; there is nothing to split.
    }
  }

  // Whether the run from point a to point b may become one straight line.
  bool Shortcut(int l, int a, int b, int& Farthest) const {
    const TChartPoint& pa = Point(l, a);
    const TChartPoint& pb = Point(l, b);
    const double c2 = (pb.X - pa.X) * (pb.X - pa.X) + (pb.Y - pa.Y) * (pb.Y - pa.Y);
    double farthest = -1;
    bool shallowSide = true;
    Farthest = (a + b) / 2;
    for (int i = a + 1; i < b; ++i) {
      const double d = ScaledSquaredDistance(Point(l, i), pa, pb, c2);
      if (d > farthest) {
        farthest = d;
        Farthest = i;
      }
      if (fOneSided && RightOf(pa, pb, Point(l, i)) < 0) shallowSide = false;
    }
    if (farthest > fTolerance2 * (c2 > 0 ? c2 : 1)) return false;
    return !fOneSided || (shallowSide && fDepths->MinDepthAlong(pa, pb) >= Line(l).Level - kSmoothDepthMargin);
  }

  // Douglas–Peucker over the points a .. b of line l; with Force the run is
  // split at least once.
  void Simplify(int l, int a, int b, bool Force, std::vector<std::pair<int, int>>* Made) {
    std::vector<std::pair<int, int>> runs{{a, b}};
    while (!runs.empty()) {
      const auto [i0, i1] = runs.back();
      runs.pop_back();
      int split = (i0 + i1) / 2;
      const bool whole = i1 - i0 < 2 || (!(Force && i0 == a && i1 == b) && Shortcut(l, i0, i1, split));
      if (whole) {
        Next(l, i0) = i1;
        if (Made) Made->emplace_back(l, i0);
        continue;
      }
      runs.emplace_back(split, i1);
      runs.emplace_back(i0, split);
    }
  }

  void Reduce(int l) {
    const int n = Count(l);
    if (n < 2) return;
    if (Line(l).Closed && n >= 4) {
      // Three points that stay keep a ring a ring.
      const int m = n - 1;
      Simplify(l, 0, m / 3, false, nullptr);
      Simplify(l, m / 3, 2 * m / 3, false, nullptr);
      Simplify(l, 2 * m / 3, m, false, nullptr);
    } else {
      Simplify(l, 0, n - 1, false, nullptr);
    }
  }

  void Split(int l, int s, std::vector<std::pair<int, int>>& Made) {
    const int e = Next(l, s);
    fGrid.Erase(l, s, Point(l, s), Point(l, e));
    const std::size_t first = Made.size();
    Simplify(l, s, e, true, &Made);
    // Every piece is checked, a traced one too: the shortcuts checked
    // before it came never saw it.
    for (std::size_t i = first; i < Made.size(); ++i) fGrid.Insert(Entry(Made[i].first, Made[i].second));
  }

  const std::vector<TChartLine>& fLines;
  std::optional<TDepthField> fDepths;
  TSegmentGrid fGrid;
  double fTolerance2;
  bool fOneSided;
  // Per point of every line, line after line from fFirst[line]: the next
  // point kept, −1 for none.
  std::vector<std::size_t> fFirst;
  std::vector<int> fNext;
};

}  // namespace

void ThinContours(std::vector<TChartLine>& Lines, const TDepthArray& Depths, double Tolerance, bool OneSided,
                  TFeedback& Feedback) {
  TThinning thinning(Lines, Depths.Width(), Depths.Height(), &Depths, Tolerance, OneSided);
  thinning.Reduce(Feedback);
  thinning.Separate(Feedback);
  for (int l = 0; l < static_cast<int>(Lines.size()); ++l) Lines[static_cast<std::size_t>(l)].Points = thinning.Kept(l);
}

void KeepShortcutsApart(const std::vector<TChartLine>& Lines, std::vector<std::vector<char>>& Kept, int Width,
                        int Height, double Tolerance, TFeedback& Feedback) {
  TThinning thinning(Lines, Width, Height, nullptr, Tolerance, false);
  thinning.Keep(Kept);
  thinning.Separate(Feedback);
  for (int l = 0; l < static_cast<int>(Lines.size()); ++l) Kept[static_cast<std::size_t>(l)] = thinning.KeptMarks(l);
}

}  // namespace sondralis
