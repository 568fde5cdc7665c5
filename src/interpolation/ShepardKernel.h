#pragma once

#include <array>
#include <cstddef>
#include <span>

#include <hwy/aligned_allocator.h>

namespace sondralis {

// Interpolation samples laid out for the vectorised Shepard kernel: x, y and
// value in three separate arrays of doubles (structure of arrays), aligned
// and padded to a whole number of the widest vectors with zeros, so the
// kernel loads whole vectors everywhere and masks the lanes past the end.
// Built once per interpolator, never per query.
class TShepardSamples {
 public:
  TShepardSamples() = default;
  // The first Count positions and values (Count ≤ both lengths).
  TShepardSamples(std::span<const std::array<float, 2>> Positions, std::span<const float> Values, std::size_t Count);

  std::size_t Count() const noexcept { return fCount; }
  const double* X() const noexcept { return fX.get(); }
  const double* Y() const noexcept { return fY.get(); }
  const double* V() const noexcept { return fV.get(); }

 private:
  std::size_t fCount = 0;
  hwy::AlignedFreeUniquePtr<double[]> fX, fY, fV;
};

// Powers the kernel computes: whole numbers from 2 to 14.
inline constexpr int kKernelMinPower = 2;
inline constexpr int kKernelMaxPower = 14;

// Shepard's weighted mean at (X, Y) over all samples with weights 1/dᵖ,
// p = Power (kKernelMinPower..kKernelMaxPower). The weights come from powers
// of d² (one square root only for odd p) and one division per sample; the
// sums are in double. The first sample at exactly (X, Y) gives its value; no
// samples give NaN. Runs on the best instruction set of the processor
// (AVX-512, AVX2, SSE4, ... down to plain C++), chosen at run time.
double ShepardKernel(const TShepardSamples& Samples, int Power, double X, double Y);

// The instruction set the kernel runs on in this process ("AVX3", "AVX2",
// "EMU128", ...).
const char* ShepardKernelTarget();

}  // namespace sondralis
