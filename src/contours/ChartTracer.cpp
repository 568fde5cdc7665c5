#include "contours/ChartTracer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "contours/ContourSmoothing.h"
#include "contours/ContourThinning.h"

namespace sondralis {

namespace {

// Cell corners in clockwise order on the screen (rows grow downwards): top
// left, top right, bottom right, bottom left. Edge e runs from corner e to
// corner e + 1: 0 top, 1 right, 2 bottom, 3 left.
enum TEdge : std::int8_t { kTop = 0, kRight = 1, kBottom = 2, kLeft = 3, kNoEdge = -1 };

constexpr int Opposite(int Edge) { return (Edge + 2) & 3; }

// kExit[state][centre][entry]: the edge a line leaves the cell by when it
// came in by `entry`, for the 16 states of the four corners (bit c set when
// corner c is deeper than the level) and, for the two saddles, whether the
// centre is deeper. Lines keep deeper water on their left, so going round the
// cell clockwise a line enters where the corners change from shallower to
// deeper and leaves where they change back. In a saddle whose centre is
// deeper the lines cut off the two shallower corners; otherwise the two
// deeper ones.
struct TExitTable {
  std::array<std::array<std::array<std::int8_t, 4>, 2>, 16> Exit{};
  constexpr TExitTable() {
    for (int state = 0; state < 16; ++state)
      for (int centre = 0; centre < 2; ++centre) {
        auto& exits = Exit[state][centre];
        exits = {kNoEdge, kNoEdge, kNoEdge, kNoEdge};
        const auto deep = [state](int corner) { return ((state >> (corner & 3)) & 1) != 0; };
        if (state == 5 || state == 10) {
          for (int c = 0; c < 4; ++c) {
            if (centre && !deep(c)) exits[c] = static_cast<std::int8_t>((c + 3) & 3);
            if (!centre && deep(c)) exits[(c + 3) & 3] = static_cast<std::int8_t>(c);
          }
          continue;
        }
        int entry = kNoEdge, exit = kNoEdge;
        for (int e = 0; e < 4; ++e) {
          if (!deep(e) && deep(e + 1)) entry = e;
          if (deep(e) && !deep(e + 1)) exit = e;
        }
        if (entry != kNoEdge) exits[entry] = static_cast<std::int8_t>(exit);
      }
  }
};
constexpr TExitTable kExits;

// A cell and the levels crossing it: those L with min ≤ L < max of its four
// depths, levels [First, Last).
struct TCrossedCell {
  std::uint32_t Cell;
  std::uint32_t First;
  std::uint32_t Last;
};

// Marching squares over one depth grid. Cell (i, j) has node (i, j) as its
// top left corner and the same index as that node.
class TMarchingSquares {
 public:
  TMarchingSquares(const TDepthArray& Depths, const std::vector<int>& Levels)
      : fDepth(Depths.All().data()), fW(Depths.Width()), fH(Depths.Height()), fLevels(Levels) {
    // One step between all levels, or none (fStep 0).
    if (Levels.size() >= 2) {
      const long long step = static_cast<long long>(Levels[1]) - Levels[0];
      fStep = static_cast<double>(step);
      for (std::size_t k = 2; k < Levels.size() && fStep > 0; ++k)
        if (static_cast<long long>(Levels[k]) - Levels[k - 1] != step) fStep = 0;
    }
  }

  std::vector<TChartLine> Trace(TFeedback& Feedback, int& PointsTraced) {
    std::vector<TChartLine> lines;
    if (fW < 2 || fH < 2 || fLevels.empty()) return lines;
    BucketCells();
    fVisited.assign(static_cast<std::size_t>(fW) * static_cast<std::size_t>(fH), 0);
    const int count = static_cast<int>(fLevels.size());
    for (int k = 0; k < count; ++k) {
      // A level no covered cell reaches has no line: a great depth or a
      // small step may ask for a million of them.
      if (fStart[static_cast<std::size_t>(k)] == fStart[static_cast<std::size_t>(k) + 1]) continue;
      if (Feedback.Canceled()) throw TCanceled{};
      Feedback.SetProgress(k, count);
      TraceLevel(k, lines);
    }
    Feedback.SetProgress(count, count);
    for (const TChartLine& line : lines) PointsTraced += static_cast<int>(line.Points.size());
    return lines;
  }

 private:
  double Depth(int x, int y) const { return fDepth[Node(x, y)]; }
  std::size_t Node(int x, int y) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(fH) + static_cast<std::size_t>(y);
  }

  // The first level index whose level is at or above Value. Levels one
  // step apart (as ChartLevels makes them) are found by a division, checked
  // against the levels themselves; others by a binary search.
  std::uint32_t FirstLevelFrom(double Value) const {
    const std::size_t count = fLevels.size();
    if (fStep > 0 && Value > fLevels.front() && Value <= fLevels.back()) {
      std::size_t k = static_cast<std::size_t>(std::ceil((Value - fLevels.front()) / fStep));
      k = std::min(k, count - 1);
      while (k > 0 && fLevels[k - 1] >= Value) --k;
      while (k < count && fLevels[k] < Value) ++k;
      return static_cast<std::uint32_t>(k);
    }
    return static_cast<std::uint32_t>(std::lower_bound(fLevels.begin(), fLevels.end(), Value,
                                                       [](int level, double v) { return level < v; }) -
                                      fLevels.begin());
  }

  // Every covered cell that some level crosses, grouped by level in cell
  // order (a counting sort), so that a level costs only the cells its lines
  // pass through.
  void BucketCells() {
    fCovered.assign(static_cast<std::size_t>(fW) * static_cast<std::size_t>(fH), 0);
    std::vector<TCrossedCell> crossed;
    const double lowest = fLevels.front(), highest = fLevels.back();
    for (int i = 0; i + 1 < fW; ++i) {
      const double* left = fDepth + Node(i, 0);
      const double* right = fDepth + Node(i + 1, 0);
      for (int j = 0; j + 1 < fH; ++j) {
        const double a = left[j], b = right[j], c = left[j + 1], d = right[j + 1];
        // NaN fails every comparison: a cell with an uncovered corner is
        // neither covered nor crossed.
        const double lo = std::min(std::min(a, b), std::min(c, d));
        const double hi = std::max(std::max(a, b), std::max(c, d));
        if (!(a == a && b == b && c == c && d == d)) continue;
        const std::uint32_t cell = static_cast<std::uint32_t>(Node(i, j));
        fCovered[cell] = 1;
        if (hi <= lowest || lo > highest) continue;
        const std::uint32_t first = FirstLevelFrom(lo), last = FirstLevelFrom(hi);
        if (first < last) crossed.push_back({cell, first, last});
      }
    }
    fStart.assign(fLevels.size() + 1, 0);
    for (const TCrossedCell& c : crossed)
      for (std::uint32_t k = c.First; k < c.Last; ++k) ++fStart[k + 1];
    for (std::size_t k = 1; k < fStart.size(); ++k) fStart[k] += fStart[k - 1];
    fCells.resize(fStart.back());
    fStates.resize(fStart.back());
    std::vector<std::uint32_t> fill(fStart.begin(), fStart.end() - 1);
    for (const TCrossedCell& c : crossed) {
      const int x = static_cast<int>(c.Cell / static_cast<std::uint32_t>(fH));
      const int y = static_cast<int>(c.Cell % static_cast<std::uint32_t>(fH));
      for (std::uint32_t k = c.First; k < c.Last; ++k) {
        int state, centre;
        CellState(x, y, fLevels[k], state, centre);
        fStates[fill[k]] = static_cast<std::uint8_t>(state | centre << 4);
        fCells[fill[k]++] = c.Cell;
      }
    }
  }

  bool Covered(int x, int y) const { return x >= 0 && y >= 0 && x + 1 < fW && y + 1 < fH && fCovered[Node(x, y)]; }

  // The state of cell (x, y) at level L and whether its centre is deeper.
  void CellState(int x, int y, double L, int& State, int& Centre) const {
    const double tl = Depth(x, y), tr = Depth(x + 1, y), br = Depth(x + 1, y + 1), bl = Depth(x, y + 1);
    State = (tl > L) | (tr > L) << 1 | (br > L) << 2 | (bl > L) << 3;
    Centre = (State == 5 || State == 10) && (tl + tr + br + bl) / 4 > L;
  }

  // Where level L crosses edge `Edge` of cell (x, y). Each edge is computed
  // from its west or north node whichever cell asks, so the two cells beside
  // an edge see the very same point.
  TChartPoint Crossing(int x, int y, int Edge, double L) const {
    switch (Edge) {
      case kTop: return Horizontal(x, y, L);
      case kBottom: return Horizontal(x, y + 1, L);
      case kLeft: return Vertical(x, y, L);
      default: return Vertical(x + 1, y, L);
    }
  }
  TChartPoint Horizontal(int x, int y, double L) const {
    const double a = Depth(x, y), b = Depth(x + 1, y);
    return {x + (L - a) / (b - a), static_cast<double>(y)};
  }
  TChartPoint Vertical(int x, int y, double L) const {
    const double a = Depth(x, y), b = Depth(x, y + 1);
    return {static_cast<double>(x), y + (L - a) / (b - a)};
  }

  static void Step(int Edge, int& x, int& y) {
    switch (Edge) {
      case kTop: --y; break;
      case kBottom: ++y; break;
      case kLeft: --x; break;
      default: ++x; break;
    }
  }

  bool Visited(std::size_t Cell, int Entry, std::uint32_t Stamp) const {
    const std::uint32_t v = fVisited[Cell];
    return (v >> 4) == Stamp && (v >> Entry & 1u);
  }
  void Visit(std::size_t Cell, int Entry, std::uint32_t Stamp) {
    std::uint32_t& v = fVisited[Cell];
    if ((v >> 4) != Stamp) v = Stamp << 4;
    v |= 1u << Entry;
  }

  static void Append(std::vector<TChartPoint>& Points, const TChartPoint& P) {
    if (Points.empty() || !(Points.back() == P)) Points.push_back(P);
  }

  // Follows the line that enters cell (x, y) by edge `Entry` until it leaves
  // the covered cells or comes back to where it began.
  void Follow(int x, int y, int Entry, int k, bool Ring, std::vector<TChartLine>& Lines) {
    const double L = fLevels[static_cast<std::size_t>(k)];
    const std::uint32_t stamp = static_cast<std::uint32_t>(k) + 1;
    TChartLine line;
    line.Level = fLevels[static_cast<std::size_t>(k)];
    line.Closed = Ring;
    Append(line.Points, Crossing(x, y, Entry, L));
    for (;;) {
      const std::size_t cell = Node(x, y);
      if (Visited(cell, Entry, stamp)) break;
      Visit(cell, Entry, stamp);
      int state, centre;
      CellState(x, y, L, state, centre);
      const int exit = kExits.Exit[state][centre][Entry];
      if (exit == kNoEdge) throw std::logic_error("chart tracer: a line entered a cell it does not cross");
      Append(line.Points, Crossing(x, y, exit, L));
      Step(exit, x, y);
      Entry = Opposite(exit);
      if (!Covered(x, y)) break;
    }
    if (Ring) {
      // Closed exactly: the last crossing is the first edge again.
      if (line.Points.size() < 4) return;
      line.Points.back() = line.Points.front();
    } else if (line.Points.size() < 2) {
      return;
    }
    Lines.push_back(std::move(line));
  }

  void TraceLevel(int k, std::vector<TChartLine>& Lines) {
    const std::uint32_t stamp = static_cast<std::uint32_t>(k) + 1;
    const std::uint32_t begin = fStart[static_cast<std::size_t>(k)];
    const std::uint32_t end = fStart[static_cast<std::size_t>(k) + 1];
    // Lines that begin at the edge of the covered cells first, so that each
    // is followed from its beginning; what is left are rings.
    for (int pass = 0; pass < 2; ++pass) {
      for (std::uint32_t i = begin; i != end; ++i) {
        const std::uint32_t c = fCells[i];
        const int state = fStates[i] & 15, centre = fStates[i] >> 4;
        for (int entry = 0; entry < 4; ++entry) {
          if (kExits.Exit[state][centre][entry] == kNoEdge || Visited(c, entry, stamp)) continue;
          const int x = static_cast<int>(c / static_cast<std::uint32_t>(fH));
          const int y = static_cast<int>(c % static_cast<std::uint32_t>(fH));
          int nx = x, ny = y;
          Step(entry, nx, ny);
          const bool open = !Covered(nx, ny);
          if (pass == 0 && open) Follow(x, y, entry, k, false, Lines);
          if (pass == 1) Follow(x, y, entry, k, true, Lines);
        }
      }
    }
  }

  const double* fDepth;
  int fW, fH;
  const std::vector<int>& fLevels;
  double fStep = 0;                     // the step between the levels when they are evenly spaced, else 0
  std::vector<std::uint8_t> fCovered;   // per cell: its four nodes have depths
  std::vector<std::uint32_t> fStart;    // per level: where its cells begin in fCells
  std::vector<std::uint32_t> fCells;    // the crossed cells, level after level
  std::vector<std::uint8_t> fStates;    // beside each: its state at that level | whether its centre is deeper << 4
  std::vector<std::uint32_t> fVisited;  // per cell: level stamp << 4 | entries followed
};

}  // namespace

std::vector<int> ChartLevels(int Step, int MaxDepth) {
  std::vector<int> levels;
  if (Step < 1) return levels;
  for (long long level = Step; level <= MaxDepth; level += Step) levels.push_back(static_cast<int>(level));
  return levels;
}

double LineLength(const std::vector<TChartPoint>& Points) {
  double length = 0;
  for (std::size_t i = 1; i < Points.size(); ++i)
    length += std::hypot(Points[i].X - Points[i - 1].X, Points[i].Y - Points[i - 1].Y);
  return length;
}

TChartContours TraceChartContours(const TDepthArray& Depths, const std::vector<int>& Levels,
                                  const TChartOptions& Options, TFeedback& Feedback) {
  if (!std::is_sorted(Levels.begin(), Levels.end()) ||
      std::adjacent_find(Levels.begin(), Levels.end()) != Levels.end())
    throw std::invalid_argument("The contour levels must be distinct and in ascending order.");
  TChartContours result;
  TMarchingSquares squares(Depths, Levels);
  result.Lines = squares.Trace(Feedback, result.PointsTraced);

  if (Options.MinRing > 0) {
    const auto shortRing = [&](const TChartLine& line) {
      return line.Closed && LineLength(line.Points) < Options.MinRing;
    };
    const auto kept = std::remove_if(result.Lines.begin(), result.Lines.end(), shortRing);
    result.RingsDropped = static_cast<int>(result.Lines.end() - kept);
    result.Lines.erase(kept, result.Lines.end());
    char line[96];
    std::snprintf(line, sizeof line, "Rings shorter than %g px dropped: %d", Options.MinRing, result.RingsDropped);
    Feedback.Log(line);
  }
  if (Options.Smooth > 0) SmoothContours(result.Lines, Depths, Options.Smooth, Feedback);
  if (Options.Tolerance > 0) ThinContours(result.Lines, Depths, Options.Tolerance, Options.Smooth > 0, Feedback);
  return result;
}

void ChartPointToLonLat(const TPixelCoordinates& Grid, const TChartPoint& Point, double& Longitude,
                        double& Latitude) {
  const auto along = [](const std::vector<double>& nodes, double at) {
    const double whole = std::floor(at);
    std::size_t i = static_cast<std::size_t>(std::clamp(whole, 0.0, static_cast<double>(nodes.size() - 1)));
    const double t = at - static_cast<double>(i);
    // On a node exactly its own position; between nodes the straight line.
    if (t == 0 || i + 1 >= nodes.size()) return nodes[i];
    return nodes[i] + t * (nodes[i + 1] - nodes[i]);
  };
  Longitude = along(Grid.Longitudes, Point.X);
  Latitude = along(Grid.Latitudes, Point.Y);
}

void AddChartContours(TGPX& IsoData, const TChartContours& Contours, const TPixelCoordinates& Grid) {
  if (Grid.Longitudes.empty() || Grid.Latitudes.empty()) return;
  TGPXtrk* track = nullptr;
  int trackLevel = 0;
  for (const TChartLine& line : Contours.Lines) {
    if (line.Points.size() < 2) continue;
    if (!track || trackLevel != line.Level) {
      auto fresh = std::make_unique<TGPXtrk>();
      track = fresh.get();
      IsoData.trk.Add(fresh.release());
      trackLevel = line.Level;
    }
    auto segment = std::make_unique<TGPXtrkseg>();
    segment->Reserve(static_cast<int>(line.Points.size()));
    for (const TChartPoint& p : line.Points) {
      TGPXwpt* point = segment->NewPoint();
      ChartPointToLonLat(Grid, p, point->Longitude, point->Latitude);
      point->Longitude = WrapLongitude(point->Longitude);
      point->Latitude = ClampLatitude(point->Latitude);
      point->HBdepth = line.Level;
    }
    track->Add(segment.release());
  }
}

}  // namespace sondralis
