// The vectorised Shepard kernel. Highway compiles this file once per
// instruction set (foreach_target re-includes it) and picks the best one the
// processor has at run time. The file is compiled with -fno-math-errno so
// that square roots stay single instructions, also in the plain C++ target.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "interpolation/ShepardKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "interpolation/ShepardKernel.h"

HWY_BEFORE_NAMESPACE();
namespace sondralis {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// x to the whole power K ≥ 1 by squaring: at most 2·log2(K) products.
template <int K, class V>
HWY_INLINE V PowerOf(V x) {
  if constexpr (K == 1) {
    return x;
  } else if constexpr (K % 2 == 0) {
    const V half = PowerOf<K / 2>(x);
    return half * half;
  } else {
    return x * PowerOf<K - 1>(x);
  }
}

// dᵖ from d²: (d²)^(p/2), times d for odd p.
template <int P, class V>
HWY_INLINE V DistancePower(V d2) {
  if constexpr (P % 2 == 0) {
    return PowerOf<P / 2>(d2);
  } else {
    return PowerOf<P / 2>(d2) * hn::Sqrt(d2);
  }
}

// kCheckHits: look for samples at exactly (x, y) on the way, as the first of
// them gives the result. Without it the loop has less to do; a hit then
// shows as an infinite weight, and the caller goes over the samples again
// with the check (see ShepardAt).
template <int P, bool kCheckHits>
double WeightedMean(const TShepardSamples& samples, double x, double y) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t N = hn::Lanes(d);
  const std::size_t n = samples.Count();
  const double* HWY_RESTRICT xs = samples.X();
  const double* HWY_RESTRICT ys = samples.Y();
  const double* HWY_RESTRICT vs = samples.V();
  const V qx = hn::Set(d, x), qy = hn::Set(d, y);
  const V zero = hn::Zero(d), one = hn::Set(d, 1.0);

  // Two sets of sums keep two independent chains of additions in flight.
  V total0 = zero, sum0 = zero, total1 = zero, sum1 = zero;

  // The index of the first exact hit among lanes i .. i + N − 1 that are in
  // `valid`, or −1. d² can be 0 without a hit when tiny differences
  // underflow, so a hit is decided on the differences themselves.
  auto hitIn = [&](std::size_t i, V dx, V dy, hn::Mask<decltype(d)> valid) -> std::ptrdiff_t {
    const auto hit = hn::And(valid, hn::And(hn::Eq(dx, zero), hn::Eq(dy, zero)));
    if (hn::AllFalse(d, hit)) return -1;
    return static_cast<std::ptrdiff_t>(i) + hn::FindFirstTrue(d, hit);
  };

  std::size_t i = 0;
  for (; i + 2 * N <= n; i += 2 * N) {
    const V dxa = qx - hn::Load(d, xs + i), dya = qy - hn::Load(d, ys + i);
    const V dxb = qx - hn::Load(d, xs + i + N), dyb = qy - hn::Load(d, ys + i + N);
    const V d2a = hn::MulAdd(dxa, dxa, dya * dya);
    const V d2b = hn::MulAdd(dxb, dxb, dyb * dyb);
    if (kCheckHits && HWY_UNLIKELY(!hn::AllFalse(d, hn::Or(hn::Eq(d2a, zero), hn::Eq(d2b, zero))))) {
      const auto all = hn::FirstN(d, N);
      std::ptrdiff_t hit = hitIn(i, dxa, dya, all);
      if (hit < 0) hit = hitIn(i + N, dxb, dyb, all);
      if (hit >= 0) return vs[hit];
    }
    const V wa = one / DistancePower<P>(d2a);
    const V wb = one / DistancePower<P>(d2b);
    total0 = total0 + wa;
    total1 = total1 + wb;
    sum0 = hn::MulAdd(wa, hn::Load(d, vs + i), sum0);
    sum1 = hn::MulAdd(wb, hn::Load(d, vs + i + N), sum1);
  }
  // The rest, one vector at a time; lanes past the end read the zero padding
  // and are masked out.
  for (; i < n; i += N) {
    const auto valid = hn::FirstN(d, n - i);
    const V dx = qx - hn::Load(d, xs + i), dy = qy - hn::Load(d, ys + i);
    const V d2 = hn::MulAdd(dx, dx, dy * dy);
    if (kCheckHits && HWY_UNLIKELY(!hn::AllFalse(d, hn::And(valid, hn::Eq(d2, zero))))) {
      const std::ptrdiff_t hit = hitIn(i, dx, dy, valid);
      if (hit >= 0) return vs[hit];
    }
    const V w = hn::IfThenElseZero(valid, one / DistancePower<P>(d2));
    total0 = total0 + w;
    sum0 = hn::MulAdd(w, hn::Load(d, vs + i), sum0);
  }
  const double total = hn::GetLane(hn::SumOfLanes(d, total0 + total1));
  const double sum = hn::GetLane(hn::SumOfLanes(d, sum0 + sum1));
  return sum / total;
}

// A distance of 0 makes a weight and the sums infinite (or NaN); only then
// can a sample lie exactly at (x, y), and the checking pass decides.
template <int P>
double WeightedMean(const TShepardSamples& samples, double x, double y) {
  const double mean = WeightedMean<P, false>(samples, x, y);
  if (HWY_LIKELY(std::isfinite(mean))) return mean;
  return WeightedMean<P, true>(samples, x, y);
}

double ShepardAt(const TShepardSamples& samples, int power, double x, double y) {
  switch (power) {
    case 2: return WeightedMean<2>(samples, x, y);
    case 3: return WeightedMean<3>(samples, x, y);
    case 4: return WeightedMean<4>(samples, x, y);
    case 5: return WeightedMean<5>(samples, x, y);
    case 6: return WeightedMean<6>(samples, x, y);
    case 7: return WeightedMean<7>(samples, x, y);
    case 8: return WeightedMean<8>(samples, x, y);
    case 9: return WeightedMean<9>(samples, x, y);
    case 10: return WeightedMean<10>(samples, x, y);
    case 11: return WeightedMean<11>(samples, x, y);
    case 12: return WeightedMean<12>(samples, x, y);
    case 13: return WeightedMean<13>(samples, x, y);
    case 14: return WeightedMean<14>(samples, x, y);
    default: return std::numeric_limits<double>::quiet_NaN();
  }
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace sondralis
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sondralis {

HWY_EXPORT(ShepardAt);
HWY_EXPORT(TargetName);

namespace {

// Doubles in the widest vector of any instruction set dispatched to. Here,
// outside the per-target code, HWY_MAX_BYTES is that of the baseline target
// (8 bytes for plain C++), so the allocation alignment, which is the widest
// vector (64 bytes for AVX-512), is the measure.
constexpr std::size_t kWidestLanes = HWY_ALIGNMENT / sizeof(double);

// Elements per array: whole vectors of the widest instruction set.
std::size_t Padded(std::size_t count) { return (count + kWidestLanes - 1) / kWidestLanes * kWidestLanes; }

}  // namespace

TShepardSamples::TShepardSamples(std::span<const std::array<float, 2>> Positions, std::span<const float> Values,
                                 std::size_t Count)
    : fCount(std::min({Count, Positions.size(), Values.size()})) {
  const std::size_t padded = std::max(Padded(fCount), kWidestLanes);
  fX = hwy::AllocateAligned<double>(padded);
  fY = hwy::AllocateAligned<double>(padded);
  fV = hwy::AllocateAligned<double>(padded);
  std::fill_n(fX.get(), padded, 0.0);
  std::fill_n(fY.get(), padded, 0.0);
  std::fill_n(fV.get(), padded, 0.0);
  for (std::size_t i = 0; i < fCount; ++i) {
    fX[i] = Positions[i][0];
    fY[i] = Positions[i][1];
    fV[i] = Values[i];
  }
}

double ShepardKernel(const TShepardSamples& Samples, int Power, double X, double Y) {
  if (Samples.Count() == 0) return std::numeric_limits<double>::quiet_NaN();
  return HWY_DYNAMIC_DISPATCH(ShepardAt)(Samples, Power, X, Y);
}

const char* ShepardKernelTarget() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

}  // namespace sondralis
#endif  // HWY_ONCE
