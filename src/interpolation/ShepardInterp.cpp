#include "interpolation/ShepardInterp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "model/Feedback.h"

namespace sondralis {

TShepardInterp::TShepardInterp(const TPointList& coord, const TValueList& value, double p, TFeedback* feedback,
                               double Tolerance)
    : pts(coord), vals(value), n(coord.Length()), ndim(2), pneg(-p), fTolerance(Tolerance > 0 ? Tolerance : 0) {
  if (coord.Length() != value.Length() && feedback) feedback->Log("coordinates and values matrices missmatch.");
  // Values beyond the positions, or positions without a value, take no part.
  fCount = std::min(n, value.Length());
  if (p == std::floor(p) && p >= kKernelMinPower && p <= kKernelMaxPower) fKernelPower = static_cast<int>(p);
  if (fKernelPower != 0) fSamples = TShepardSamples(pts.Items(), vals.Items(), static_cast<std::size_t>(fCount));
  if (fKernelPower >= kBoundedMinPower) fCells = TShepardCells(fSamples);
}

double TShepardInterp::interp(double xcoord, double ycoord) const {
  double sum = 0;
  double total = 0;
  for (int i = 0; i < fCount; ++i) {
    const auto& pt = pts[i];
    const long double dx = static_cast<long double>(xcoord) - pt[0];
    const long double dy = static_cast<long double>(ycoord) - pt[1];
    const double d = static_cast<double>(std::sqrt(dx * dx + dy * dy));
    if (d == 0.0) return vals[i];
    const double w = std::pow(d, pneg);
    total += w;
    sum += w * vals[i];
  }
  if (fCount == 0) return std::numeric_limits<double>::quiet_NaN();
  return sum / total;
}

double TShepardInterp::FastInterp(double xcoord, double ycoord) const {
  if (fKernelPower == 0) return interp(xcoord, ycoord);
  return ShepardKernel(fSamples, fKernelPower, xcoord, ycoord);
}

void TShepardInterp::Column(double Longitude, std::span<const double> Latitudes, std::span<const bool> Wanted,
                            double Tolerance, std::span<double> Depths, TShepardTally* Tally,
                            const TExactWhere& ExactWhere) const {
  const std::size_t height = std::min(Latitudes.size(), Depths.size());
  auto wanted = [&](std::size_t r) { return Wanted.empty() || (r < Wanted.size() && Wanted[r]); };
  if (fKernelPower == 0 || fCount == 0) {
    for (std::size_t r = 0; r < height; ++r) {
      if (!wanted(r)) continue;
      Depths[r] = interp(Longitude, Latitudes[r]);
      if (Tally) {
        ++Tally->Pixels;
        Tally->Pairs += static_cast<std::uint64_t>(fCount);
      }
    }
    return;
  }

  const double qx = fSamples.FrameX(Longitude);
  const bool bounded = Tolerance > 0 && !fCells.Empty();
  // Every group of rows over all samples needs (qx − xᵢ)² of every sample:
  // taken once for the column.
  thread_local std::vector<double> squaredDx;
  if (!bounded) {
    squaredDx.resize(fSamples.Padded());
    ShepardSquaredDx(fSamples, qx, squaredDx);
  }
  const TSampleRange all{0, static_cast<std::uint32_t>(fSamples.Count())};
  std::size_t rows[kKernelRows];
  double qy[kKernelRows], out[kKernelRows];
  int count = 0, ring = 0;
  auto flush = [&] {
    if (bounded) {
      fCells.Evaluate(fSamples, fKernelPower, Tolerance, qx, qy, count, ring, out, Tally);
      if (ExactWhere)
        for (int r = 0; r < count; ++r)
          if (ExactWhere(out[r] - Tolerance, out[r] + Tolerance)) {
            out[r] = ShepardKernel(fSamples, fKernelPower, Longitude, Latitudes[rows[r]]);
            if (Tally) {
              Tally->Pairs += fSamples.Count();
              ++Tally->ExactQueries;
            }
          }
    } else {
      TRowSums sums;
      ShepardAccumulate(fSamples, {&all, 1}, fKernelPower, count, qx, qy, sums, squaredDx.data());
      std::uint64_t exact = 0;
      for (int r = 0; r < count; ++r) out[r] = FinishQuery(sums, r, qx, qy[r], exact);
      if (Tally) {
        Tally->Pixels += static_cast<std::uint64_t>(count);
        Tally->Pairs += static_cast<std::uint64_t>(count + exact) * fSamples.Count();
        Tally->ExactQueries += exact;
      }
    }
    for (int r = 0; r < count; ++r) Depths[rows[r]] = out[r];
    count = 0;
  };
  for (std::size_t r = 0; r < height; ++r) {
    if (!wanted(r)) continue;
    const double y = fSamples.FrameY(Latitudes[r]);
    // Rows evaluated together share the rectangle of cells summed for them,
    // so they should lie within a cell or two of each other.
    if (bounded && count > 0 && std::abs(fCells.CellRow(y) - fCells.CellRow(qy[0])) > 1) flush();
    rows[count] = r;
    qy[count] = y;
    if (++count == kKernelRows) flush();
  }
  if (count > 0) flush();
}

double TShepardInterp::FinishQuery(const TRowSums& Sums, int t, double Qx, double Qy, std::uint64_t& Exact) const {
  const double mean = Sums.Sum[t] / Sums.Total[t];
  if (Sums.MinDenominator[t] >= ShepardSafeDenominator(fSamples, fKernelPower, Qx, Qy) && std::isfinite(mean))
    return mean;
  ++Exact;
  return ShepardExact(fSamples, fKernelPower, Qx, Qy);
}

void TShepardInterp::Columns(const std::array<double, kKernelColumns>& Longitudes, std::span<const double> Latitudes,
                             double Tolerance, const std::array<std::span<double>, kKernelColumns>& Depths,
                             TShepardTally* Tally, const TExactWhere& ExactWhere) const {
  if (fKernelPower == 0 || fCount == 0 || (Tolerance > 0 && !fCells.Empty())) {
    for (int c = 0; c < kKernelColumns; ++c)
      Column(Longitudes[c], Latitudes, {}, Tolerance, Depths[c], Tally, ExactWhere);
    return;
  }
  const std::size_t padded = fSamples.Padded();
  thread_local std::vector<double> squaredDx;
  squaredDx.resize(padded * kKernelColumns);
  std::array<double, kKernelColumns> qx;
  std::array<const double*, kKernelColumns> dx2;
  for (int c = 0; c < kKernelColumns; ++c) {
    qx[c] = fSamples.FrameX(Longitudes[c]);
    const std::span<double> own(squaredDx.data() + c * padded, padded);
    ShepardSquaredDx(fSamples, qx[c], own);
    dx2[c] = own.data();
  }
  const TSampleRange all{0, static_cast<std::uint32_t>(fSamples.Count())};
  std::size_t height = Latitudes.size();
  for (const std::span<double>& depths : Depths) height = std::min(height, depths.size());
  std::uint64_t exact = 0;
  std::size_t r = 0;
  double qy[kKernelRows];
  for (; r + kKernelRows <= height; r += kKernelRows) {
    for (int k = 0; k < kKernelRows; ++k) qy[k] = fSamples.FrameY(Latitudes[r + k]);
    TRowSums sums;
    ShepardAccumulateGrid(fSamples, {&all, 1}, fKernelPower, dx2, qy, sums);
    for (int k = 0; k < kKernelRows; ++k)
      for (int c = 0; c < kKernelColumns; ++c)
        Depths[c][r + k] = FinishQuery(sums, k * kKernelColumns + c, qx[c], qy[k], exact);
  }
  // The last rows, fewer than a tile, column by column.
  const int rest = static_cast<int>(height - r);
  for (int k = 0; k < rest; ++k) qy[k] = fSamples.FrameY(Latitudes[r + k]);
  for (int c = 0; rest > 0 && c < kKernelColumns; ++c) {
    TRowSums sums;
    ShepardAccumulate(fSamples, {&all, 1}, fKernelPower, rest, qx[c], qy, sums, dx2[c]);
    for (int k = 0; k < rest; ++k) Depths[c][r + k] = FinishQuery(sums, k, qx[c], qy[k], exact);
  }
  if (Tally) {
    Tally->Pixels += height * kKernelColumns;
    Tally->Pairs += (height * kKernelColumns + exact) * fSamples.Count();
    Tally->ExactQueries += exact;
  }
}

}  // namespace sondralis
