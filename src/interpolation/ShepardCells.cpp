// Shepard's mean to a tolerance: samples in square cells, summed ring by
// ring outward from a pixel until the samples not yet summed cannot move
// the result by more than the tolerance.
//
// Why the bound holds. Let the samples summed so far (the rectangle of
// cells R) have weights wᵢ = 1/dᵢᵖ, W = Σ wᵢ, S = Σ wᵢvᵢ and mean M = S/W,
// and let the others have W' = Σ wⱼ and S' = Σ wⱼvⱼ. The exact result is
//     (S + S') / (W + W') = M + W'·(m' − M) / (W + W'),   m' = S'/W',
// and m' is a weighted mean of values in [vmin, vmax], so |m' − M| is at
// most Δ = max(vmax − M, M − vmin). With W + W' ≥ W,
//     |exact − M| ≤ W'·Δ / W ≤ T·Δ / W
// for any T ≥ W'. T comes from the counts of samples outside R: every
// sample outside the rectangle Rₖ (R grown by k cells, clipped to the grid)
// lies at least Dₖ from the query, the distance from the query to the
// half-planes beyond Rₖ's sides that still hold cells (a side at the edge
// of the grid has no samples beyond it), so with nₖ the samples in
// Rₖ \ Rₖ₋₁ (R₀ = R) and n the samples outside R_J,
//     W' ≤ Σₖ₌₁..J nₖ / Dₖ₋₁ᵖ + n / D_Jᵖ = T.
// The counts come from a summed-area table of the cells. Cells are assigned
// by rounding a coordinate difference, so a distance is taken 1e-14 short
// (the frame's coordinates are within [−1, 1], so that is a hundred times
// any rounding there), and the test T·Δ·(1 + 1e-9) ≤ tolerance·W absorbs
// the rounding of T, Δ and W. When R holds every cell, T = 0 and the sum is
// the exact one. The sums themselves are rounded as on the exact path (to
// about 1e-14 of the result), which comes on top of the tolerance.
#include "interpolation/ShepardCells.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sondralis {

namespace {

// Cells hold about this many samples on average over the samples' box;
// along the tracks, where the samples are, they hold more.
constexpr double kSamplesPerCell = 16;
// Rings beyond the summed rectangle that the tail bound counts one by one.
constexpr int kBoundRings = 3;
// How far a distance is taken short, in the frame's units.
constexpr double kDistanceMargin = 1e-14;

// (1/distance)^power by squaring.
double InversePower(double distance, int power) {
  if (!(distance > 0)) return std::numeric_limits<double>::infinity();
  double base = 1 / distance, result = 1;
  for (; power > 0; power >>= 1, base *= base)
    if (power & 1) result *= base;
  return result;
}

// The cell along one axis of a coordinate Offset from the grid's first
// edge, clamped to the Count cells; 0 for a coordinate that is not a number.
int CellIndex(double Offset, double Cell, int Count) {
  const double index = std::floor(Offset / Cell);
  if (!(index >= 0)) return 0;
  return index >= Count - 1 ? Count - 1 : static_cast<int>(index);
}

}  // namespace

TShepardCells::TShepardCells(const TShepardSamples& Samples) {
  const std::size_t n = Samples.Count();
  // A sample that is not a number makes the formula not a number wherever
  // it is summed, and no bound holds for it: such sets are always summed
  // whole (Empty).
  if (n == 0 || !Samples.Finite()) return;
  const double width = Samples.MaxX() - Samples.MinX(), height = Samples.MaxY() - Samples.MinY();
  double area = width * height;
  if (!(area > 0)) area = std::max(width, height) * std::max(width, height) / static_cast<double>(n);
  double cell = std::sqrt(area * kSamplesPerCell / static_cast<double>(n));
  // A power of two, so that a coordinate's cell is found by an exact
  // division; at most four cells per sample however the samples lie.
  cell = cell > 0 ? std::exp2(std::ceil(std::log2(cell))) : 1.0;
  auto cellsOf = [&](double size) {
    return (std::floor(width / size) + 1) * (std::floor(height / size) + 1);
  };
  while (cellsOf(cell) > 4.0 * static_cast<double>(n) + 64) cell *= 2;
  fCell = cell;
  fX0 = Samples.MinX();
  fY0 = Samples.MinY();
  fColumns = static_cast<int>(std::floor(width / cell)) + 1;
  fRows = static_cast<int>(std::floor(height / cell)) + 1;

  const std::size_t cells = static_cast<std::size_t>(fColumns) * static_cast<std::size_t>(fRows);
  std::vector<std::uint32_t> cellOf(n);
  fStart.assign(cells + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const int ci = CellIndex(Samples.X()[i] - fX0, cell, fColumns);
    const int cj = CellIndex(Samples.Y()[i] - fY0, cell, fRows);
    cellOf[i] = static_cast<std::uint32_t>(ci) * static_cast<std::uint32_t>(fRows) + static_cast<std::uint32_t>(cj);
    ++fStart[cellOf[i] + 1];
  }
  for (std::size_t c = 0; c < cells; ++c) fStart[c + 1] += fStart[c];
  std::vector<double> x(n), y(n), v(n);
  std::vector<std::uint32_t> next(fStart.begin(), fStart.end() - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t at = next[cellOf[i]]++;
    x[at] = Samples.X()[i];
    y[at] = Samples.Y()[i];
    v[at] = Samples.V()[i];
  }
  fSorted = TShepardSamples(Samples, x, y, v);

  const std::size_t stride = static_cast<std::size_t>(fRows) + 1;
  fTable.assign((static_cast<std::size_t>(fColumns) + 1) * stride, 0);
  for (int i = 0; i < fColumns; ++i)
    for (int j = 0; j < fRows; ++j) {
      const std::size_t c = static_cast<std::size_t>(i) * static_cast<std::size_t>(fRows) + static_cast<std::size_t>(j);
      const std::size_t at = static_cast<std::size_t>(i + 1) * stride + static_cast<std::size_t>(j + 1);
      fTable[at] = fTable[at - 1] + fTable[at - stride] - fTable[at - stride - 1] + (fStart[c + 1] - fStart[c]);
    }
}

int TShepardCells::CellRow(double Qy) const noexcept { return CellIndex(Qy - fY0, fCell, fRows); }

TShepardCells::TRect TShepardCells::Clamp(int I0, int I1, int J0, int J1) const noexcept {
  return {std::max(I0, 0), std::min(I1, fColumns - 1), std::max(J0, 0), std::min(J1, fRows - 1)};
}

TShepardCells::TRect TShepardCells::Grow(const TRect& R, int By) const noexcept {
  return Clamp(R.I0 - By, R.I1 + By, R.J0 - By, R.J1 + By);
}

bool TShepardCells::Whole(const TRect& R) const noexcept {
  return R.I0 == 0 && R.J0 == 0 && R.I1 == fColumns - 1 && R.J1 == fRows - 1;
}

std::uint32_t TShepardCells::CountIn(const TRect& R) const noexcept {
  const std::size_t stride = static_cast<std::size_t>(fRows) + 1;
  auto at = [&](int i, int j) { return fTable[static_cast<std::size_t>(i) * stride + static_cast<std::size_t>(j)]; };
  return at(R.I1 + 1, R.J1 + 1) - at(R.I0, R.J1 + 1) - at(R.I1 + 1, R.J0) + at(R.I0, R.J0);
}

double TShepardCells::DistanceOutside(const TRect& R, double Qx, double Qy) const noexcept {
  double d = std::numeric_limits<double>::infinity();
  if (R.I0 > 0) d = std::min(d, Qx - (fX0 + R.I0 * fCell));
  if (R.I1 < fColumns - 1) d = std::min(d, fX0 + (R.I1 + 1) * fCell - Qx);
  if (R.J0 > 0) d = std::min(d, Qy - (fY0 + R.J0 * fCell));
  if (R.J1 < fRows - 1) d = std::min(d, fY0 + (R.J1 + 1) * fCell - Qy);
  return std::max(d - kDistanceMargin, 0.0);
}

struct TShepardCells::TRings {
  TRect Rect[kBoundRings + 1];         // R grown by 0, 1, ... rings
  std::uint32_t Beyond[kBoundRings + 1];  // samples in Rect[k] \ Rect[k − 1], then outside the last
  int Count = 0;                       // rectangles in use
};

TShepardCells::TRings TShepardCells::RingsAround(const TRect& R) const noexcept {
  TRings rings;
  rings.Rect[0] = R;
  std::uint32_t inside = CountIn(R);
  int k = 1;
  for (; k <= kBoundRings && !Whole(rings.Rect[k - 1]); ++k) {
    rings.Rect[k] = Grow(R, k);
    const std::uint32_t count = CountIn(rings.Rect[k]);
    rings.Beyond[k - 1] = count - inside;
    inside = count;
  }
  rings.Count = k;
  rings.Beyond[k - 1] = static_cast<std::uint32_t>(fSorted.Count()) - inside;
  return rings;
}

double TShepardCells::TailWeight(const TRings& Rings, int Power, double Qx, double Qy) const noexcept {
  double tail = 0;
  for (int k = 0; k < Rings.Count; ++k)
    if (Rings.Beyond[k] > 0) tail += Rings.Beyond[k] * InversePower(DistanceOutside(Rings.Rect[k], Qx, Qy), Power);
  return tail;
}

void TShepardCells::RangesOf(const TRect& R, std::vector<TSampleRange>& Ranges) const {
  Ranges.clear();
  for (int i = R.I0; i <= R.I1; ++i) {
    const std::size_t base = static_cast<std::size_t>(i) * static_cast<std::size_t>(fRows);
    const std::uint32_t begin = fStart[base + static_cast<std::size_t>(R.J0)];
    const std::uint32_t end = fStart[base + static_cast<std::size_t>(R.J1) + 1];
    if (begin == end) continue;
    if (!Ranges.empty() && Ranges.back().End == begin)
      Ranges.back().End = end;
    else
      Ranges.push_back({begin, end});
  }
}

void TShepardCells::RangesBetween(const TRect& Inner, const TRect& R, std::vector<TSampleRange>& Ranges) const {
  Ranges.clear();
  auto add = [&](int i, int j0, int j1) {
    if (j0 > j1) return;
    const std::size_t base = static_cast<std::size_t>(i) * static_cast<std::size_t>(fRows);
    const std::uint32_t begin = fStart[base + static_cast<std::size_t>(j0)];
    const std::uint32_t end = fStart[base + static_cast<std::size_t>(j1) + 1];
    if (begin == end) return;
    if (!Ranges.empty() && Ranges.back().End == begin)
      Ranges.back().End = end;
    else
      Ranges.push_back({begin, end});
  };
  for (int i = R.I0; i <= R.I1; ++i) {
    if (i < Inner.I0 || i > Inner.I1) {
      add(i, R.J0, R.J1);
    } else {
      add(i, R.J0, Inner.J0 - 1);
      add(i, Inner.J1 + 1, R.J1);
    }
  }
}

void TShepardCells::Evaluate(const TShepardSamples& All, int Power, double Tolerance, double Qx, const double* Qy,
                             int Count, int& Ring, double* Out, TShepardTally* Tally) const {
  const int ci = CellIndex(Qx - fX0, fCell, fColumns);
  int jlo = fRows, jhi = -1;
  double safe[kKernelRows];
  for (int r = 0; r < Count; ++r) {
    const int j = CellRow(Qy[r]);
    jlo = std::min(jlo, j);
    jhi = std::max(jhi, j);
    safe[r] = ShepardSafeDenominator(fSorted, Power, Qx, Qy[r]);
  }

  // The neighbour's ring, one smaller: the search may shrink by a ring per
  // evaluation and grows as far as it must.
  int ring = std::max(Ring - 1, 0);
  TRect rect = Clamp(ci - ring, ci + ring, jlo - ring, jhi + ring);
  thread_local std::vector<TSampleRange> ranges;
  RangesOf(rect, ranges);
  TRowSums sums;
  std::uint64_t summed = 0;
  auto accumulate = [&] {
    ShepardAccumulate(fSorted, ranges, Power, Count, Qx, Qy, sums);
    for (const TSampleRange& range : ranges) summed += range.End - range.Begin;
  };
  accumulate();

  // A query whose sums the batched kernel cannot guarantee goes to the
  // exact path whatever the rectangle; it does not hold the others back.
  auto broken = [&](int r) {
    return sums.MinDenominator[r] < safe[r] || !std::isfinite(sums.Total[r]) || !std::isfinite(sums.Sum[r]);
  };
  auto bounded = [&](int r, const TRings& rings) {
    const double total = sums.Total[r];
    if (!(total > 0)) return false;  // nothing summed yet
    const double mean = sums.Sum[r] / total;
    const double delta = std::max(All.MaxValue() - mean, mean - All.MinValue());
    if (!(delta > 0)) return true;  // every value the same
    return TailWeight(rings, Power, Qx, Qy[r]) * delta * (1 + 1e-9) <= Tolerance * total;
  };
  while (!Whole(rect)) {
    const TRings rings = RingsAround(rect);
    bool done = true;
    for (int r = 0; r < Count && done; ++r) done = broken(r) || bounded(r, rings);
    if (done) break;
    ++ring;
    const TRect bigger = Clamp(ci - ring, ci + ring, jlo - ring, jhi + ring);
    RangesBetween(rect, bigger, ranges);
    rect = bigger;
    accumulate();
  }
  Ring = ring;

  std::uint64_t exact = 0;
  for (int r = 0; r < Count; ++r) {
    if (broken(r) || !(sums.Total[r] > 0)) {
      Out[r] = ShepardExact(All, Power, Qx, Qy[r]);
      ++exact;
    } else {
      Out[r] = sums.Sum[r] / sums.Total[r];
    }
  }
  if (Tally) {
    Tally->Pixels += static_cast<std::uint64_t>(Count);
    Tally->Pairs += summed * static_cast<std::uint64_t>(Count) + exact * All.Count();
    Tally->ExactQueries += exact;
  }
}

}  // namespace sondralis
