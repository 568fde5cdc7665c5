#include "interpolation/SurfaceInterp.h"

#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sondralis {

namespace {

// Metres per degree of latitude, and of longitude at the equator: the WGS 84
// equatorial radius times π/180. The lattice needs the ratio of a degree of
// longitude to one of latitude; a spherical earth is ample for that.
constexpr double kMetresPerDegree = 6378137.0 * 3.14159265358979323846 / 180.0;
// Nodes beyond the covered pixels on every side: the cubic reads one node
// beyond a pixel's cell, and the shoreline samples just outside the water
// should still pull on the surface.
constexpr int kMargin = 3;

// cos(x) for |x| ≤ π/2 from its Taylor series in plain arithmetic. The C
// library may pick a different implementation on processors with FMA, whose
// last bit can differ; every later number depends on this one, so it is
// computed the same way everywhere.
double PortableCos(double x) {
  const double x2 = x * x;
  double term = 1, sum = 1;
  for (int k = 1; k < 30; ++k) {
    term = -term * x2 / ((2 * k - 1) * (2 * k));
    sum += term;
  }
  return sum;
}

// A local plane in metres: x east, y north, from the grid's middle.
struct TFrame {
  double Lon0 = 0, Lat0 = 0, Kx = 0, Ky = 0;
  double X(double Lon) const { return (Lon - Lon0) * Kx; }
  double Y(double Lat) const { return (Lat - Lat0) * Ky; }
};

// A square lattice: node (i, j) at (X0 + i·H, Y0 + j·H), index j·Nx + i.
struct TLattice {
  double X0 = 0, Y0 = 0, H = 1;
  int Nx = 0, Ny = 0;
  int Count() const { return Nx * Ny; }
};

// One datum of the fit: the median position and depth of the samples of one
// kind (soundings or shoreline) in one lattice cell.
struct TBlock {
  double X, Y, Z, Weight;
};

double Median(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Block medians of the samples on the finest lattice's cells: soundings and
// shoreline samples of a cell make one block each. Samples outside the
// lattice are left out. The result is in cell order, the same for any order
// of equal keys, so it depends only on the samples.
std::vector<TBlock> BlockMedians(const std::vector<std::array<double, 3>>& Samples, const TLattice& L,
                                 double ShoreWeight) {
  std::vector<std::pair<std::int64_t, int>> keys;
  keys.reserve(Samples.size());
  const int cellsX = L.Nx - 1, cellsY = L.Ny - 1;
  for (std::size_t s = 0; s < Samples.size(); ++s) {
    const double gx = (Samples[s][0] - L.X0) / L.H, gy = (Samples[s][1] - L.Y0) / L.H;
    if (!(gx >= 0 && gy >= 0 && gx < cellsX && gy < cellsY)) continue;
    const std::int64_t cell = static_cast<std::int64_t>(gy) * cellsX + static_cast<std::int64_t>(gx);
    keys.emplace_back(cell * 2 + (Samples[s][2] <= 0 ? 1 : 0), static_cast<int>(s));
  }
  std::sort(keys.begin(), keys.end());
  std::vector<TBlock> blocks;
  std::vector<double> xs, ys, zs;
  for (std::size_t a = 0; a < keys.size();) {
    std::size_t b = a;
    xs.clear(), ys.clear(), zs.clear();
    for (; b < keys.size() && keys[b].first == keys[a].first; ++b) {
      const auto& s = Samples[static_cast<std::size_t>(keys[b].second)];
      xs.push_back(s[0]), ys.push_back(s[1]), zs.push_back(s[2]);
    }
    const bool shore = keys[a].first % 2 == 1;
    blocks.push_back({Median(xs), Median(ys), shore ? 0.0 : Median(zs), shore ? ShoreWeight : 1.0});
    a = b;
  }
  return blocks;
}

// The normal equations of one lattice, kept as a 13-point stencil per node
// (every term couples nodes at most two steps apart, diagonals one step).
class TSystem {
 public:
  explicit TSystem(const TLattice& L) : fL(L), fValues(static_cast<std::size_t>(L.Count()) * 13, 0.0), fRhs(L.Count()) {
    fRhs.setZero();
    int k = 0;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        if (std::abs(dx) + std::abs(dy) <= 2) {
          fSlot[(dy + 2) * 5 + dx + 2] = k;
          fOffsets[static_cast<std::size_t>(k++)] = {dx, dy};
        }
  }

  // Adds Weight · (Σ Coef[a] u[Node[a]])² to the energy.
  template <int M>
  void AddSquare(const std::array<std::pair<int, int>, M>& Node, const std::array<double, M>& Coef, double Weight) {
    for (int a = 0; a < M; ++a) {
      const std::size_t row = static_cast<std::size_t>(Index(Node[a]));
      for (int b = 0; b < M; ++b) {
        const int dx = Node[b].first - Node[a].first, dy = Node[b].second - Node[a].second;
        fValues[row * 13 + static_cast<std::size_t>(fSlot[(dy + 2) * 5 + dx + 2])] += Weight * Coef[a] * Coef[b];
      }
    }
  }
  // Adds Weight · (Σ Coef[a] u[Node[a]] − Z)².
  template <int M>
  void AddDatum(const std::array<std::pair<int, int>, M>& Node, const std::array<double, M>& Coef, double Z,
                double Weight) {
    AddSquare<M>(Node, Coef, Weight);
    for (int a = 0; a < M; ++a) fRhs[Index(Node[a])] += Weight * Coef[a] * Z;
  }
  void AddRidge(double Weight, double Z) {
    for (int n = 0; n < fL.Count(); ++n) {
      fValues[static_cast<std::size_t>(n) * 13 + 6] += Weight;
      fRhs[n] += Weight * Z;
    }
  }

  Eigen::SparseMatrix<double> Matrix() const {
    // Slots sorted by their distance in the node numbering, so each column
    // is filled in row order.
    std::array<int, 13> order;
    for (int k = 0; k < 13; ++k) order[static_cast<std::size_t>(k)] = k;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return Linear(a) < Linear(b); });
    Eigen::SparseMatrix<double> m(fL.Count(), fL.Count());
    m.reserve(Eigen::VectorXi::Constant(fL.Count(), 13));
    for (int j = 0; j < fL.Ny; ++j)
      for (int i = 0; i < fL.Nx; ++i) {
        const int col = j * fL.Nx + i;
        for (int k : order) {
          const auto [dx, dy] = fOffsets[static_cast<std::size_t>(k)];
          if (i + dx < 0 || i + dx >= fL.Nx || j + dy < 0 || j + dy >= fL.Ny) continue;
          m.insert(col + dy * fL.Nx + dx, col) = fValues[static_cast<std::size_t>(col) * 13 + static_cast<std::size_t>(k)];
        }
      }
    m.makeCompressed();
    return m;
  }
  const Eigen::VectorXd& Rhs() const { return fRhs; }

 private:
  int Index(std::pair<int, int> Node) const { return Node.second * fL.Nx + Node.first; }
  int Linear(int Slot) const {
    return fOffsets[static_cast<std::size_t>(Slot)].second * fL.Nx + fOffsets[static_cast<std::size_t>(Slot)].first;
  }

  TLattice fL;
  std::vector<double> fValues;  // [node][slot]
  Eigen::VectorXd fRhs;
  std::array<int, 25> fSlot{};
  std::array<std::pair<int, int>, 13> fOffsets{};
};

// The energy of the surface on lattice L: the blocks, the bending and the
// tension, and a vanishing pull to the mean depth that keeps the system
// regular where no datum reaches.
TSystem Assemble(const TLattice& L, const std::vector<TBlock>& Blocks, const TSurfaceSettings& S, double MeanDepth) {
  TSystem sys(L);
  using N = std::pair<int, int>;
  double weights = 0;
  for (const TBlock& b : Blocks) {
    const double gx = (b.X - L.X0) / L.H, gy = (b.Y - L.Y0) / L.H;
    const int i = std::clamp(static_cast<int>(gx), 0, L.Nx - 2), j = std::clamp(static_cast<int>(gy), 0, L.Ny - 2);
    const double fx = gx - i, fy = gy - j;
    sys.AddDatum<4>({N{i, j}, N{i + 1, j}, N{i, j + 1}, N{i + 1, j + 1}},
                    {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy}, b.Z, b.Weight);
    weights += b.Weight;
  }
  const double tension = std::clamp(S.Tension, 0.0, 1.0);
  // ∫ S_xx² ≈ Σ (second difference)² / H²; ∫ S_x² ≈ Σ (first difference)².
  const double bend = S.Smoothing * (1 - tension) / (L.H * L.H);
  const double pull = S.Smoothing * tension / (S.TensionLength * S.TensionLength);
  for (int j = 0; j < L.Ny; ++j)
    for (int i = 0; i < L.Nx; ++i) {
      if (i >= 1 && i + 1 < L.Nx) sys.AddSquare<3>({N{i - 1, j}, N{i, j}, N{i + 1, j}}, {1, -2, 1}, bend);
      if (j >= 1 && j + 1 < L.Ny) sys.AddSquare<3>({N{i, j - 1}, N{i, j}, N{i, j + 1}}, {1, -2, 1}, bend);
      if (i + 1 < L.Nx && j + 1 < L.Ny)
        sys.AddSquare<4>({N{i, j}, N{i + 1, j}, N{i, j + 1}, N{i + 1, j + 1}}, {1, -1, -1, 1}, 2 * bend);
      if (pull > 0) {
        if (i + 1 < L.Nx) sys.AddSquare<2>({N{i, j}, N{i + 1, j}}, {-1, 1}, pull);
        if (j + 1 < L.Ny) sys.AddSquare<2>({N{i, j}, N{i, j + 1}}, {-1, 1}, pull);
      }
    }
  sys.AddRidge(1e-9 * std::max(weights, 1.0) / L.Count(), MeanDepth);
  return sys;
}

void CheckCancel(TFeedback& Feedback) {
  if (Feedback.Canceled()) throw TCanceled();
}

// Catmull–Rom weights of the four nodes around a point a fraction T past
// the second one.
std::array<double, 4> CubicWeights(double T) {
  const double t2 = T * T, t3 = t2 * T;
  return {0.5 * (-t3 + 2 * t2 - T), 0.5 * (3 * t3 - 5 * t2 + 2), 0.5 * (-3 * t3 + 4 * t2 + T), 0.5 * (t3 - t2)};
}

}  // namespace

TSurface::TSurface(const TPointList& Coord, const TValueList& Depth, const TPixelCoordinates& Pixels,
                   const TBooleanArray& Mask, const TSurfaceSettings& Settings, TFeedback& Feedback) {
  if (Coord.Length() != Depth.Length())
    throw ESurfaceError("The samples have " + std::to_string(Coord.Length()) + " positions but " +
                        std::to_string(Depth.Length()) + " depths.");
  const int width = static_cast<int>(Pixels.Longitudes.size()), height = static_cast<int>(Pixels.Latitudes.size());
  if (!Mask.Empty() && (Mask.Width() != width || Mask.Height() != height))
    throw ESurfaceError("The coverage mask is " + std::to_string(Mask.Width()) + " x " +
                        std::to_string(Mask.Height()) + " pixels but the grid " + std::to_string(width) + " x " +
                        std::to_string(height) + ".");
  if (!(Settings.Smoothing >= 0) || !(Settings.TensionLength > 0) || !(Settings.ShoreWeight > 0) ||
      !(Settings.CellSize >= 0) || Settings.MaxNodes < 64)
    throw ESurfaceError("The surface settings are out of range.");
  const auto covered = [&](int x, int y) { return Mask.Empty() || Mask[x][y]; };

  TSurfaceReport& report = fReport;
  Feedback.SetProgress(0, 4);

  // The local plane, around the grid's middle.
  TFrame frame;
  if (width > 0 && height > 0) {
    frame.Lon0 = 0.5 * (Pixels.Longitudes.front() + Pixels.Longitudes.back());
    frame.Lat0 = 0.5 * (Pixels.Latitudes.front() + Pixels.Latitudes.back());
  }
  frame.Ky = kMetresPerDegree;
  frame.Kx = kMetresPerDegree * PortableCos(std::clamp(frame.Lat0, -89.0, 89.0) * (3.14159265358979323846 / 180.0));
  fLon0 = frame.Lon0, fLat0 = frame.Lat0, fKx = frame.Kx, fKy = frame.Ky;

  // The covered pixels' extent in metres.
  double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin, yMin = xMin, yMax = -xMin;
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < height; ++y)
      if (covered(x, y)) {
        ++report.Covered;
        xMin = std::min(xMin, frame.X(Pixels.Longitudes[static_cast<std::size_t>(x)]));
        xMax = std::max(xMax, frame.X(Pixels.Longitudes[static_cast<std::size_t>(x)]));
        yMin = std::min(yMin, frame.Y(Pixels.Latitudes[static_cast<std::size_t>(y)]));
        yMax = std::max(yMax, frame.Y(Pixels.Latitudes[static_cast<std::size_t>(y)]));
      }

  // The samples in metres; the deepest one bounds the surface.
  std::vector<std::array<double, 3>> samples;
  samples.reserve(static_cast<std::size_t>(Coord.Length()));
  double deepest = 0, sum = 0;
  for (int s = 0; s < Coord.Length(); ++s) {
    const double lon = Coord[s][0], lat = Coord[s][1], z = Depth[s];
    if (!std::isfinite(lon) || !std::isfinite(lat) || !std::isfinite(z)) continue;
    samples.push_back({frame.X(lon), frame.Y(lat), std::max(z, 0.0)});
    deepest = std::max(deepest, z);
    sum += std::max(z, 0.0);
  }
  if (samples.empty()) throw ESurfaceError("There are no depth samples to interpolate.");
  fDeepest = deepest;
  if (report.Covered == 0) return;

  // The finest lattice: twice the pixel size (a pixel's larger side), or
  // coarser when that would take too many nodes.
  const double pixelX = width > 1 ? std::fabs(frame.X(Pixels.Longitudes[1]) - frame.X(Pixels.Longitudes[0])) : 0;
  const double pixelY = height > 1 ? std::fabs(frame.Y(Pixels.Latitudes[1]) - frame.Y(Pixels.Latitudes[0])) : 0;
  double h = Settings.CellSize > 0 ? Settings.CellSize : 2 * std::max(pixelX, pixelY);
  const double spanX = xMax - xMin, spanY = yMax - yMin;
  const auto nodes = [&](double H) {
    return (std::ceil(spanX / H) + 2 * kMargin + 1) * (std::ceil(spanY / H) + 2 * kMargin + 1);
  };
  if (!(h > 0)) h = std::max({spanX, spanY, 1.0}) / 64;
  while (nodes(h) > Settings.MaxNodes) h *= 1.05;
  TLattice fine{xMin - kMargin * h, yMin - kMargin * h, h, static_cast<int>(std::ceil(spanX / h)) + 2 * kMargin + 1,
                static_cast<int>(std::ceil(spanY / h)) + 2 * kMargin + 1};
  report.CellSize = h;
  report.LatticeColumns = fine.Nx;
  report.LatticeRows = fine.Ny;

  const std::vector<TBlock> blocks = BlockMedians(samples, fine, Settings.ShoreWeight);
  report.Blocks = static_cast<int>(blocks.size());
  const double meanDepth = sum / static_cast<double>(samples.size());
  CheckCancel(Feedback);
  Feedback.SetProgress(1, 4);

  // One sparse Cholesky factorisation of the whole lattice: exact, and on a
  // lattice of this size quicker than iterating.
  const TSystem sys = Assemble(fine, blocks, Settings, meanDepth);
  CheckCancel(Feedback);
  Feedback.SetProgress(2, 4);
  Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> solver(sys.Matrix());
  if (solver.info() != Eigen::Success) throw ESurfaceError("The surface could not be solved.");
  CheckCancel(Feedback);
  const Eigen::VectorXd u = solver.solve(sys.Rhs());
  fNodes.assign(u.data(), u.data() + u.size());
  fX0 = fine.X0, fY0 = fine.Y0, fH = fine.H, fNx = fine.Nx, fNy = fine.Ny;
  Feedback.SetProgress(3, 4);
}

// A cubic through the lattice nodes, clamped to 0 .. the deepest sample.
void TSurface::Column(double Lon, std::span<const double> Latitudes, std::span<const bool> Wanted,
                      std::span<double> Depths) const {
  if (fNodes.empty()) return;
  const auto node = [&](int i, int j) {
    return fNodes[static_cast<std::size_t>(std::clamp(j, 0, fNy - 1) * fNx + std::clamp(i, 0, fNx - 1))];
  };
  const double gx = ((Lon - fLon0) * fKx - fX0) / fH;
  const int i = static_cast<int>(std::floor(gx));
  const std::array<double, 4> wx = CubicWeights(gx - i);
  for (std::size_t y = 0; y < Latitudes.size(); ++y) {
    if (!Wanted.empty() && !Wanted[y]) continue;
    const double gy = ((Latitudes[y] - fLat0) * fKy - fY0) / fH;
    const int j = static_cast<int>(std::floor(gy));
    const std::array<double, 4> wy = CubicWeights(gy - j);
    double v = 0;
    for (int b = 0; b < 4; ++b) {
      double r = 0;
      for (int a = 0; a < 4; ++a) r += wx[static_cast<std::size_t>(a)] * node(i - 1 + a, j - 1 + b);
      v += wy[static_cast<std::size_t>(b)] * r;
    }
    Depths[y] = std::clamp(v, 0.0, fDeepest);
  }
}

TLazySurface::TLazySurface(TPointList Coord, TValueList Depth, std::shared_ptr<const TPixelCoordinates> Pixels,
                           TBooleanArray Mask, TSurfaceSettings Settings, const TFeedback& Run)
    : fCoord(std::move(Coord)),
      fDepth(std::move(Depth)),
      fPixels(std::move(Pixels)),
      fMask(std::move(Mask)),
      fSettings(Settings) {
  fFeedback.StopWith(Run);
}

const TSurface* TLazySurface::Get() {
  std::lock_guard lock(fMutex);
  if (!fTried) {
    fTried = true;
    try {
      fSurface.emplace(fCoord, fDepth, *fPixels, fMask, fSettings, fFeedback);
    } catch (const TCanceled&) {
    } catch (const std::exception& e) {
      fError = e.what();
    }
  }
  return fSurface ? &*fSurface : nullptr;
}

std::string TLazySurface::Error() const {
  std::lock_guard lock(fMutex);
  return fError;
}

TSurfaceReport SurfaceInterpolate(const TPointList& Coord, const TValueList& Depth, const TPixelCoordinates& Pixels,
                                  const TBooleanArray& Mask, const TSurfaceSettings& Settings, TDepthArray& Target,
                                  TFeedback& Feedback) {
  const TSurface surface(Coord, Depth, Pixels, Mask, Settings, Feedback);
  const int width = static_cast<int>(Pixels.Longitudes.size()), height = static_cast<int>(Pixels.Latitudes.size());
  TDepthArray result(width, height);
  result.Fill(kNoDepth);

  // Each pixel depends on the lattice alone, so the columns may be shared
  // out in any way.
  std::atomic<int> nextColumn{0};
  std::atomic<bool> stop{false};
  const auto work = [&] {
    for (int x; (x = nextColumn.fetch_add(1)) < width;) {
      if (Feedback.Canceled()) {
        stop = true;
        return;
      }
      surface.Column(Pixels.Longitudes[static_cast<std::size_t>(x)], Pixels.Latitudes,
                     Mask.Empty() ? std::span<const bool>() : std::span<const bool>(Mask[x]), result[x]);
    }
  };
  if (surface.Report().Covered > 0) {
    std::vector<std::thread> pool;
    for (int t = 1; t < std::min(Settings.Threads, width); ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
  }
  if (stop) throw TCanceled();
  // Only now does the caller's array change.
  CheckCancel(Feedback);
  if (Target.Width() != width || Target.Height() != height) Target.SetSize(width, height);
  std::copy(result.All().begin(), result.All().end(), Target.All().begin());
  Feedback.SetProgress(4, 4);
  return surface.Report();
}

}  // namespace sondralis
