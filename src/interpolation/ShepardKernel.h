#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <hwy/aligned_allocator.h>

namespace sondralis {

// Interpolation samples laid out for the vectorised Shepard kernels: x, y and
// value in three separate arrays of doubles (structure of arrays), padded
// with zeros past the end, so the kernels load whole vectors from any
// starting sample and mask the lanes past the end of a range.
//
// The positions are stored in a frame of their own: relative to a centre and
// multiplied by a power of two, so that the samples lie within [−1, 1] and
// products of four weights' denominators stay far from the ends of the
// double range. Both steps are exact for the samples (32-bit floats) and,
// for every query near a sample, for the query too (the centre is 0 or lies
// within a factor 1.5 of every coordinate, so the subtraction is exact by
// Sterbenz' lemma), so differences between a query and a sample close to it
// are exact as in the plain formula. Built once per interpolator.
class TShepardSamples {
 public:
  TShepardSamples() = default;
  // The first Count positions and values (Count ≤ both lengths), in order.
  TShepardSamples(std::span<const std::array<float, 2>> Positions, std::span<const float> Values, std::size_t Count);
  // Samples already in the frame of Frame, in the given order: x, y, value.
  TShepardSamples(const TShepardSamples& Frame, std::span<const double> X, std::span<const double> Y,
                  std::span<const double> V);

  std::size_t Count() const noexcept { return fCount; }
  // The length of the arrays, padding included: a multiple of the widest
  // vector.
  std::size_t Padded() const noexcept { return fPadded; }
  const double* X() const noexcept { return fX.get(); }
  const double* Y() const noexcept { return fY.get(); }
  const double* V() const noexcept { return fV.get(); }

  // A longitude or latitude in the samples' frame.
  double FrameX(double Longitude) const noexcept { return (Longitude - fCentreX) * fScale; }
  double FrameY(double Latitude) const noexcept { return (Latitude - fCentreY) * fScale; }
  // The bounding box of the samples in their frame, and the range of values.
  double MinX() const noexcept { return fMinX; }
  double MaxX() const noexcept { return fMaxX; }
  double MinY() const noexcept { return fMinY; }
  double MaxY() const noexcept { return fMaxY; }
  double MinValue() const noexcept { return fMinV; }
  double MaxValue() const noexcept { return fMaxV; }
  // Every position and value is a number (the box and the range leave out
  // those that are not).
  bool Finite() const noexcept { return fFinite; }

 private:
  void Allocate(std::size_t count);

  std::size_t fCount = 0, fPadded = 0;
  hwy::AlignedFreeUniquePtr<double[]> fX, fY, fV;
  double fCentreX = 0, fCentreY = 0, fScale = 1;
  double fMinX = 0, fMaxX = 0, fMinY = 0, fMaxY = 0, fMinV = 0, fMaxV = 0;
  bool fFinite = true;
};

// Powers the kernels compute: whole numbers from 2 to 14.
inline constexpr int kKernelMinPower = 2;
inline constexpr int kKernelMaxPower = 14;

// Rows of one pixel column evaluated together by the batched kernel.
inline constexpr int kKernelRows = 4;
// Pixel columns whose rows it evaluates together where nothing is masked.
inline constexpr int kKernelColumns = 2;

// A run of consecutive samples, [Begin, End).
struct TSampleRange {
  std::uint32_t Begin = 0, End = 0;
};

// What the batched kernel adds up for each of up to kKernelRows queries that
// share one x (or the kKernelRows × kKernelColumns of a tile): Σ wᵢ and Σ wᵢ·vᵢ with wᵢ = 1/dᵢᵖ in the samples' frame, and
// the smallest denominator it divided by (a product of up to eight dᵢᵖ, or
// dᵢ²ᵖ for a reciprocal square root; at p = 2 and 4 the smallest running
// denominator before each rescaling). Accumulate adds to what is there.
struct TRowSums {
  double Total[kKernelRows * kKernelColumns] = {};
  double Sum[kKernelRows * kKernelColumns] = {};
  double MinDenominator[kKernelRows * kKernelColumns];
  TRowSums();
};

// Adds the samples of Ranges to Sums for the queries (Qx, Qy[r]), r < Rows
// (1 to kKernelRows), all in the samples' frame. There is no division per
// sample: at p = 2 and 4 each lane keeps one running fraction that a sample
// joins by multiplications, rescaled by powers of two now and then and
// divided out once at the end; at other powers four samples share one
// division (a/b + c/d = (ad + cb)/bd), or, for odd p where the processor
// has a reciprocal square root estimate, 1/√(d²ᵖ) comes from that estimate
// refined by two Newton steps. The result is exact to a
// few units in the last place as long as the smallest denominator stays
// above ShepardSafeDenominator and the sums are finite; otherwise the query
// must be evaluated on the exact path (ShepardExact), which also decides
// samples that coincide with the query.
//
// SquaredDx, when given, holds (Qx − xᵢ)² for every sample as
// ShepardSquaredDx wrote it: the queries of a pixel column share Qx, and
// the kernel then reads these instead of computing them for every group of
// rows (the same numbers, so the same sums).
void ShepardAccumulate(const TShepardSamples& Samples, std::span<const TSampleRange> Ranges, int Power, int Rows,
                       double Qx, const double* Qy, TRowSums& Sums, const double* SquaredDx = nullptr);

// The same for a tile of kKernelRows rows of kKernelColumns pixel columns:
// the query (Qx_c, Qy[r]) goes to Sums.Total[r·kKernelColumns + c] and so
// on, and SquaredDx[c] holds (Qx_c − xᵢ)² as ShepardSquaredDx wrote it. The
// columns share qy − yᵢ where that saves work, and every sum comes out as
// ShepardAccumulate gives it for that column.
void ShepardAccumulateGrid(const TShepardSamples& Samples, std::span<const TSampleRange> Ranges, int Power,
                           const std::array<const double*, kKernelColumns>& SquaredDx, const double* Qy,
                           TRowSums& Sums);

// Writes (Qx − xᵢ)² for every sample i of Samples and the padding after
// them into Out, which must hold Samples.Padded() numbers (otherwise
// nothing is written).
void ShepardSquaredDx(const TShepardSamples& Samples, double Qx, std::span<double> Out);

// The smallest denominator ShepardAccumulate may divide by for a query at
// (Qx, Qy) in the samples' frame at power Power: below it (or with sums that
// are not finite) some product of powers of distances may have left the
// range of normal doubles.
double ShepardSafeDenominator(const TShepardSamples& Samples, int Power, double Qx, double Qy);

// Shepard's weighted mean at (Qx, Qy) (in the samples' frame) over all
// samples with one division per sample, checking for samples that coincide
// with the query: the first of them in order gives its value. Where even
// that leaves the range of doubles, the sums are taken in long double. NaN
// without samples.
double ShepardExact(const TShepardSamples& Samples, int Power, double Qx, double Qy);

// Shepard's weighted mean at longitude X, latitude Y over all samples with
// weights 1/dᵖ, p = Power (kKernelMinPower..kKernelMaxPower): the batched
// kernel for one row, with the exact path where it must. Runs on the best
// instruction set of the processor (AVX-512, AVX2, SSE4, ... down to plain
// C++), chosen at run time. NaN without samples.
double ShepardKernel(const TShepardSamples& Samples, int Power, double X, double Y);

// The instruction set the kernels run on in this process ("AVX3", "AVX2",
// "EMU128", ...).
const char* ShepardKernelTarget();

}  // namespace sondralis
