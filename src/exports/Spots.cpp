#include "exports/Spots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <set>
#include <span>
#include <utility>

#include "formats/GPXFile.h"
#include "model/GPX.h"

namespace sondralis {

namespace {

constexpr int kDx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr int kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

// The cells of the grid, numbered column after column as the arrays store
// them.
class TCells {
 public:
  explicit TCells(const TExportGrid& Grid)
      : fGrid(Grid), fRows(Grid.Rows()), fDepth(Grid.Depth.All()), fCovered(static_cast<std::size_t>(Count())) {
    for (int x = 0; x < Grid.Columns(); ++x)
      for (int y = 0; y < fRows; ++y) fCovered[static_cast<std::size_t>(x * fRows + y)] = Grid.Covered(x, y);
  }

  int Count() const { return fGrid.Columns() * fRows; }
  int X(int Cell) const { return Cell / fRows; }
  int Y(int Cell) const { return Cell % fRows; }
  bool Covered(int Cell) const { return fCovered[static_cast<std::size_t>(Cell)]; }
  double Depth(int Cell) const { return fDepth[static_cast<std::size_t>(Cell)]; }
  // Neighbour k (0 to 7) of cell (X, Y), or -1 outside the grid.
  int Neighbour(int X, int Y, int k) const {
    const int x = X + kDx[k], y = Y + kDy[k];
    if (x < 0 || y < 0 || x >= fGrid.Columns() || y >= fRows) return -1;
    return x * fRows + y;
  }
  int Neighbour(int Cell, int k) const { return Neighbour(X(Cell), Y(Cell), k); }
  // A cell on the edge of the coverage: some neighbour is outside it.
  bool OnEdge(int Cell) const {
    for (int k = 0; k < 8; ++k) {
      const int n = Neighbour(Cell, k);
      if (n < 0 || !Covered(n)) return true;
    }
    return false;
  }

 private:
  const TExportGrid& fGrid;
  int fRows;
  std::span<const double> fDepth;
  std::vector<bool> fCovered;
};

struct TExtreme {
  int Cell;
  double Prominence;
};

// The prominence of every local extreme, by flooding: the cells are taken
// from the most extreme on (deepest first for holes), and each joins the
// regions of its neighbours taken before it. Where regions meet, every one
// but the one with the most extreme peak ends there: its peak's prominence
// is its distance in depth from this saddle. A region that never meets
// another ends at its least extreme cell.
// Order holds the covered cells from the deepest to the shallowest, ties
// in either order (a flat stretch floods from one end); for humps it is
// taken backwards.
std::vector<TExtreme> Prominences(const TCells& Cells, const std::vector<int>& Order, bool Deepest,
                                  TFeedback& Feedback) {
  const double sign = Deepest ? 1 : -1;
  std::vector<int> order(Order);
  if (!Deepest) std::reverse(order.begin(), order.end());

  std::vector<int> parent(static_cast<std::size_t>(Cells.Count()), -1);
  std::vector<int> peak(static_cast<std::size_t>(Cells.Count()), -1);  // of a region's root
  auto root = [&](int c) {
    while (parent[static_cast<std::size_t>(c)] != c) {
      const int up = parent[static_cast<std::size_t>(c)];
      parent[static_cast<std::size_t>(c)] = parent[static_cast<std::size_t>(up)];
      c = up;
    }
    return c;
  };
  auto height = [&](int c) { return sign * Cells.Depth(c); };

  std::vector<TExtreme> extremes;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i % 65536 == 0 && Feedback.Canceled()) throw TCanceled{};
    const int c = order[i];
    int roots[8];
    int count = 0;
    const int x = Cells.X(c), y = Cells.Y(c);
    for (int k = 0; k < 8; ++k) {
      const int n = Cells.Neighbour(x, y, k);
      if (n < 0 || parent[static_cast<std::size_t>(n)] < 0) continue;
      const int r = root(n);
      if (std::find(roots, roots + count, r) == roots + count) roots[count++] = r;
    }
    if (count == 0) {
      parent[static_cast<std::size_t>(c)] = c;
      peak[static_cast<std::size_t>(c)] = c;
      continue;
    }
    int winner = roots[0];
    for (int i = 1; i < count; ++i)
      if (height(peak[static_cast<std::size_t>(roots[i])]) > height(peak[static_cast<std::size_t>(winner)]))
        winner = roots[i];
    for (int i = 0; i < count; ++i) {
      if (roots[i] == winner) continue;
      const int p = peak[static_cast<std::size_t>(roots[i])];
      extremes.push_back({p, height(p) - height(c)});
      parent[static_cast<std::size_t>(roots[i])] = winner;
    }
    parent[static_cast<std::size_t>(c)] = winner;
  }
  // The regions left end at their last cell taken, the least extreme.
  std::vector<double> lowest(static_cast<std::size_t>(Cells.Count()), 0);
  std::vector<bool> seen(static_cast<std::size_t>(Cells.Count()), false);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const int r = root(*it);
    if (seen[static_cast<std::size_t>(r)]) continue;
    seen[static_cast<std::size_t>(r)] = true;
    const int p = peak[static_cast<std::size_t>(r)];
    extremes.push_back({p, height(p) - height(*it)});
  }
  return extremes;
}

// The depth at a fractional cell position, bilinear between the four cells
// around it; NaN when one of them is not covered.
double DepthAt(const TExportGrid& Grid, double Column, double Row) {
  const int x0 = static_cast<int>(std::floor(Column)), y0 = static_cast<int>(std::floor(Row));
  if (x0 < 0 || y0 < 0 || x0 + 1 >= Grid.Columns() || y0 + 1 >= Grid.Rows()) return NAN;
  for (int k = 0; k < 4; ++k)
    if (!Grid.Covered(x0 + k % 2, y0 + k / 2)) return NAN;
  const double fx = Column - x0, fy = Row - y0;
  auto d = [&](int x, int y) { return Grid.Depth[x][static_cast<std::size_t>(y)]; };
  return (1 - fy) * ((1 - fx) * d(x0, y0) + fx * d(x0 + 1, y0)) + fy * ((1 - fx) * d(x0, y0 + 1) + fx * d(x0 + 1, y0 + 1));
}

struct TSlope {
  int Cell;
  double Slope;      // metres per metre
  double East, North;  // unit vector down the slope (towards deeper water)
};

// Walks from a cell along a direction (metres east and north per step)
// while the bottom keeps falling (Sign 1) or rising (Sign −1) by at least
// MinRise centimetres per step; the depth where it stops.
double Follow(const TExportGrid& Grid, const TLocalPlane& Plane, int X, int Y, double East, double North,
              double Step, double MinRise, int Sign) {
  double column = X, row = Y;
  double depth = Grid.Depth[X][static_cast<std::size_t>(Y)];
  const double dColumn = Sign * East * Step / (Grid.CellWidth() * Plane.MetresPerLon);
  const double dRow = -Sign * North * Step / (Grid.CellHeight() * Plane.MetresPerLat);
  // At most 200 m from the spot.
  for (double walked = 0; walked < 200; walked += Step) {
    const double next = DepthAt(Grid, column + dColumn, row + dRow);
    if (std::isnan(next) || Sign * (next - depth) < MinRise) break;
    depth = next;
    column += dColumn;
    row += dRow;
  }
  return depth;
}

std::vector<TSpot> DropOffs(const TExportGrid& Grid, const TCells& Cells, const TSpotSettings& Settings,
                            TFeedback& Feedback) {
  const TLocalPlane plane(Grid.Extent);
  const double cellX = Grid.CellWidth() * plane.MetresPerLon, cellY = Grid.CellHeight() * plane.MetresPerLat;
  std::vector<TSlope> steep;
  for (int c = 0; c < Cells.Count(); ++c) {
    if (c % 65536 == 0 && Feedback.Canceled()) throw TCanceled{};
    if (!Cells.Covered(c)) continue;
    // Central differences: neighbours 3 and 4 are west and east, 1 and 6
    // north and south.
    const int w = Cells.Neighbour(c, 3), e = Cells.Neighbour(c, 4), n = Cells.Neighbour(c, 1),
              s = Cells.Neighbour(c, 6);
    if (w < 0 || e < 0 || n < 0 || s < 0 || !Cells.Covered(w) || !Cells.Covered(e) || !Cells.Covered(n) ||
        !Cells.Covered(s))
      continue;
    // Centimetres of depth per metre, growing east and north.
    const double gx = (Cells.Depth(e) - Cells.Depth(w)) / (2 * cellX);
    const double gy = (Cells.Depth(n) - Cells.Depth(s)) / (2 * cellY);
    const double slope = std::hypot(gx, gy) / 100;
    if (slope >= Settings.MinSlope) steep.push_back({c, slope, gx / (slope * 100), gy / (slope * 100)});
  }
  std::sort(steep.begin(), steep.end(), [](const TSlope& a, const TSlope& b) {
    return a.Slope != b.Slope ? a.Slope > b.Slope : a.Cell < b.Cell;
  });

  std::vector<TSpot> spots;
  std::vector<std::pair<double, double>> taken;  // metres in the plane
  const double step = std::min(cellX, cellY) / 2;
  for (const TSlope& s : steep) {
    if (static_cast<int>(spots.size()) >= Settings.MaxDropOffs) break;
    const int x = Cells.X(s.Cell), y = Cells.Y(s.Cell);
    const double px = plane.X(Grid.Longitude(x)), py = plane.Y(Grid.Latitude(y));
    const bool near = std::any_of(taken.begin(), taken.end(), [&](const auto& t) {
      return std::hypot(t.first - px, t.second - py) < Settings.DropOffSpacing;
    });
    if (near) continue;
    // The edges: where the bottom falls by less than half the least slope.
    const double minRise = Settings.MinSlope / 2 * 100 * step;
    const double bottom = Follow(Grid, plane, x, y, s.East, s.North, step, minRise, 1);
    const double top = Follow(Grid, plane, x, y, s.East, s.North, step, minRise, -1);
    if (bottom - top < Settings.MinProminence) continue;
    taken.emplace_back(px, py);
    TSpot spot;
    spot.Kind = TSpotKind::DropOff;
    spot.Position = {Grid.Longitude(x), Grid.Latitude(y)};
    spot.Depth = Cells.Depth(s.Cell);
    spot.Prominence = bottom - top;
    spot.Top = top;
    spot.Bottom = bottom;
    spot.Slope = s.Slope;
    spots.push_back(spot);
  }
  return spots;
}

// Names of at most 12 characters for the unit, and descriptions.
void Label(TSpot& Spot) {
  switch (Spot.Kind) {
    case TSpotKind::Hole:
      Spot.Name = "Hole " + MetresText(Spot.Depth, 1) + "m";
      Spot.Description = "hole " + MetresText(Spot.Depth, 1) + " m";
      break;
    case TSpotKind::Hump:
      Spot.Name = "Hump " + MetresText(Spot.Depth, 1) + "m";
      Spot.Description = "hump " + MetresText(Spot.Depth, 1) + " m";
      break;
    case TSpotKind::DropOff: {
      // Whole metres, unless both ends round to the same one.
      int decimals = 0;
      if (MetresText(Spot.Top, 0) == MetresText(Spot.Bottom, 0)) decimals = 1;
      const std::string top = MetresText(Spot.Top, decimals), bottom = MetresText(Spot.Bottom, decimals);
      Spot.Name = "Drop " + top + "-" + bottom + "m";
      Spot.Description = "drop-off " + top + "\u2192" + bottom + " m";
      break;
    }
  }
}

// Makes the names fit 12 characters and differ: a repeated name gets " 2",
// " 3", ... in its last characters.
void UniqueNames(std::vector<TSpot>& Spots) {
  std::set<std::string> used;
  for (TSpot& spot : Spots) {
    std::string base = spot.Name.substr(0, 12);
    std::string name = base;
    for (int n = 2; used.count(name); ++n) {
      char suffix[16];
      const int length = std::snprintf(suffix, sizeof suffix, " %d", n);
      name = base.substr(0, 12 - static_cast<std::size_t>(length)) + suffix;
    }
    used.insert(name);
    spot.Name = name;
  }
}

}  // namespace

std::vector<TSpot> FindSpots(const TExportGrid& Grid, const TSpotSettings& Settings, TFeedback& Feedback) {
  Grid.Check();
  const TCells cells(Grid);
  std::vector<std::pair<double, int>> keyed;
  for (int c = 0; c < cells.Count(); ++c)
    if (cells.Covered(c)) keyed.emplace_back(-cells.Depth(c), c);
  std::sort(keyed.begin(), keyed.end());
  std::vector<int> order(keyed.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
  keyed = {};
  if (Feedback.Canceled()) throw TCanceled{};

  std::vector<TSpot> spots;
  for (const bool holes : {true, false}) {
    std::vector<TSpot> found;
    for (const TExtreme& e : Prominences(cells, order, holes, Feedback)) {
      if (e.Prominence < Settings.MinProminence || cells.OnEdge(e.Cell)) continue;
      TSpot spot;
      spot.Kind = holes ? TSpotKind::Hole : TSpotKind::Hump;
      spot.Position = {Grid.Longitude(cells.X(e.Cell)), Grid.Latitude(cells.Y(e.Cell))};
      spot.Depth = cells.Depth(e.Cell);
      spot.Prominence = e.Prominence;
      found.push_back(spot);
    }
    std::sort(found.begin(), found.end(), [&](const TSpot& a, const TSpot& b) {
      return holes ? a.Depth > b.Depth : a.Depth < b.Depth;
    });
    spots.insert(spots.end(), found.begin(), found.end());
  }
  for (const TSpot& spot : DropOffs(Grid, cells, Settings, Feedback)) spots.push_back(spot);
  for (TSpot& spot : spots) Label(spot);
  UniqueNames(spots);
  return spots;
}

void WriteSpotsGPX(const std::string& Path, const std::vector<TSpot>& Spots) {
  TGPX doc;
  for (const TSpot& spot : Spots) {
    TGPXwpt* point = doc.wpt.NewPoint();
    point->Latitude = spot.Position.Lat;
    point->Longitude = spot.Position.Lon;
    // Whole centimetres, as the sounder reads them and the unit's file
    // keeps them.
    point->HBdepth = std::round(spot.Depth);
    TGPXwptDetails& details = point->Edit();
    details.name = spot.Name;
    details.desc = spot.Description;
    details.sym = spot.Kind == TSpotKind::Hole ? "Fish" : spot.Kind == TSpotKind::Hump ? "Rock" : "Flag";
  }
  TGPXFile file;
  file.GPXd = &doc;
  file.ExportGPX(Path);
}

}  // namespace sondralis
