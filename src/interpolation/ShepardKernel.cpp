// The vectorised Shepard kernels. Highway compiles this file once per
// instruction set (foreach_target re-includes it) and picks the best one the
// processor has at run time. The file is compiled with -fno-math-errno so
// that square roots stay single instructions, also in the plain C++ target.
//
// Two kernels: the batched one (ShepardAccumulate), which has no division per
// sample pair and evaluates up to four rows of a pixel column at once, and
// the exact path (ShepardExact), one division per pair, which decides exact
// hits and takes every query the batched kernel cannot guarantee.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "interpolation/ShepardKernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/nanobenchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>
#include <utility>

#include "interpolation/ShepardKernel.h"

// Shared by every target and the dispatching code, so defined once.
#ifndef SONDRALIS_SHEPARD_KERNEL_SHARED
#define SONDRALIS_SHEPARD_KERNEL_SHARED
namespace sondralis {
// Powers the batched kernel evaluates by running fractions (see "chained"
// below), and the vectors between two rescalings of those fractions.
constexpr bool ChainedPower(int p) { return p == 2 || p == 4; }
constexpr int kChainSteps = 16;
}  // namespace sondralis
#endif

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

// Where the kernels get (qx − xᵢ)² from: computed from the samples' x
// (ComputedDx), or read from an array the caller filled once for a whole
// pixel column (StoredDx), the same numbers either way.
template <class V>
struct ComputedDx {
  const double* HWY_RESTRICT Xs;
  V Qx;
  template <class D>
  HWY_INLINE V Squared(D d, std::size_t i) const {
    const V dx = Qx - hn::LoadU(d, Xs + i);
    return dx * dx;
  }
};

template <class V>
struct StoredDx {
  const double* HWY_RESTRICT Dx2;
  template <class D>
  HWY_INLINE V Squared(D d, std::size_t i) const {
    return hn::LoadU(d, Dx2 + i);
  }
};

// The T queries the batched kernel evaluates together, and how it gets
// their squared distances d² = (qx − xᵢ)² + (qy − yᵢ)² to a vector of
// samples: Prepare takes what the queries share once per vector, Squared
// completes query t from it. Both tiles compute each d² as
// fma(qy − yᵢ, qy − yᵢ, (qx − xᵢ)²), so they give the same numbers.
//
// RowTile: R rows of one pixel column, which share (qx − xᵢ)².
template <class X, class V, int R>
struct RowTile {
  static constexpr int T = R;
  X Xs;
  const double* HWY_RESTRICT Ys;
  V Qy[R];
  struct Shared {
    V Dx2, Y;
  };
  template <class D>
  HWY_INLINE Shared Prepare(D d, std::size_t i) const {
    return {Xs.Squared(d, i), hn::LoadU(d, Ys + i)};
  }
  template <class D>
  HWY_INLINE V Squared(D, const Shared& s, int r, std::size_t) const {
    const V dy = Qy[r] - s.Y;
    return hn::MulAdd(dy, dy, s.Dx2);
  }
};

// GridTile: R rows of C pixel columns, query t = r·C + c. The columns share
// qy − yᵢ of each row, the rows the (qx − xᵢ)² of each column, read from
// the arrays ShepardSquaredDx filled for the columns.
template <class V, int R, int C>
struct GridTile {
  static constexpr int T = R * C;
  const double* HWY_RESTRICT Dx2[C];
  const double* HWY_RESTRICT Ys;
  V Qy[R];
  struct Shared {
    V Dy[R], Dx2[C];
  };
  template <class D>
  HWY_INLINE Shared Prepare(D d, std::size_t i) const {
    Shared s;
    const V y = hn::LoadU(d, Ys + i);
    for (int r = 0; r < R; ++r) s.Dy[r] = Qy[r] - y;
    for (int c = 0; c < C; ++c) s.Dx2[c] = hn::LoadU(d, Dx2[c] + i);
    return s;
  }
  template <class D>
  HWY_INLINE V Squared(D, const Shared& s, int t, std::size_t) const {
    return hn::MulAdd(s.Dy[t / C], s.Dy[t / C], s.Dx2[t % C]);
  }
};

// ---------------------------------------------------------------- batched

// AVX-512 estimates 1/√x of a double to 14 bits (vrsqrt14pd) without the
// divider; two Newton steps bring that to the last few bits. Elsewhere the
// estimate exists for floats only, whose range cannot hold d²ᵖ, and odd
// powers go through the shared division with one square root per pair.
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
constexpr bool kRsqrtEstimate = true;
HWY_INLINE hn::Vec512<double> RsqrtEstimate(hn::Vec512<double> v) { return hn::Vec512<double>{_mm512_rsqrt14_pd(v.raw)}; }
#else
constexpr bool kRsqrtEstimate = false;
template <class V>
HWY_INLINE V RsqrtEstimate(V v) {
  return v;  // never called
}
#endif

// 1/√D from the 14-bit estimate y in one step of fourth order: with
// e = 1 − D·y², 1/√D = y·(1 − e)^(−1/2) = y·(1 + e/2 + 3e²/8 + 5e³/16 + ...),
// and the first omitted term, 35e⁴/128 with |e| ≤ 2⁻¹³, is below 2⁻⁵³.
template <class V>
HWY_INLINE V ReciprocalSqrt(V D) {
  const hn::DFromV<V> d;
  const V y = RsqrtEstimate(D);
  const V e = hn::NegMulAdd(D * y, y, hn::Set(d, 1.0));
  const V c = hn::MulAdd(hn::MulAdd(e, hn::Set(d, 5.0 / 16), hn::Set(d, 3.0 / 8)), e, hn::Set(d, 0.5));
  return hn::MulAdd(y * e, c, y);
}

// Odd powers as 1/√(d²ᵖ) where the estimate exists; every other power
// shares one division between several samples: eight for p ≤ 4, where the
// product of eight powers stays in range, four above.
template <int P>
constexpr bool kShareDivision = P % 2 == 0 || !kRsqrtEstimate;
template <int P>
constexpr int kSharedVectors = P <= 4 ? 8 : 4;

// The accumulators of the T queries of a tile.
template <class V, int T>
struct Rows {
  V Total[T], Sum[T], MinDen[T];
};

// Σ 1/Dⱼ and Σ vⱼ·nⱼ/Dⱼ over vectors j of a block as fractions W/Q and
// S/Q with one common denominator Q = Π Dⱼ, combined pairwise:
//   W_a/Q_a + W_b/Q_b = (W_a·Q_b + W_b·Q_a) / (Q_a·Q_b).
// For odd p, Dⱼ = dⱼᵖ⁺¹ and the numerators carry nⱼ = dⱼ, as 1/dᵖ = d/dᵖ⁺¹.
template <class V>
struct Fraction {
  V W, S, Q;
};

template <class V>
HWY_INLINE Fraction<V> Combine(const Fraction<V>& a, const Fraction<V>& b) {
  return {hn::MulAdd(a.W, b.Q, b.W * a.Q), hn::MulAdd(a.S, b.Q, b.S * a.Q), a.Q * b.Q};
}

// K vectors of samples from i on, R rows: one division per row. The common
// denominator's smallest value per lane is tracked, so the caller can tell
// when it left the range where this is exact. With kMasked, the lanes from
// `end` on count as fractions 0/1 (they read the next samples or the
// padding past the last sample), so the last samples of a range share a
// division too.
template <int P, int K, bool kMasked, class D, class G, class V>
HWY_INLINE void SharedBlock(D d, const G& tile, const double* HWY_RESTRICT vs, std::size_t i, std::size_t end,
                            Rows<V, G::T>& rows) {
  const std::size_t N = hn::Lanes(d);
  const V one = hn::Set(d, 1.0);
  using M = hn::Mask<D>;
  typename G::Shared shared[K];
  M valid[K];
  for (int j = 0; j < K; ++j) {
    shared[j] = tile.Prepare(d, i + j * N);
    if constexpr (kMasked) {
      const std::size_t first = i + static_cast<std::size_t>(j) * N;
      valid[j] = hn::FirstN(d, end > first ? end - first : 0);
    }
  }
  HWY_UNROLL(8)
  for (int r = 0; r < G::T; ++r) {
    Fraction<V> part[K / 2];
    for (int j = 0; j < K; j += 2) {
      V den[2], num[2];
      for (int k = 0; k < 2; ++k) {
        const V d2 = tile.Squared(d, shared[j + k], r, i + (j + k) * N);
        if constexpr (P % 2 == 0) {
          den[k] = PowerOf<P / 2>(d2);
          if constexpr (kMasked) num[k] = hn::IfThenElseZero(valid[j + k], one);
        } else {
          den[k] = PowerOf<(P + 1) / 2>(d2);
          num[k] = hn::Sqrt(d2);
          if constexpr (kMasked) num[k] = hn::IfThenElseZero(valid[j + k], num[k]);
        }
        if constexpr (kMasked) den[k] = hn::IfThenElse(valid[j + k], den[k], one);
      }
      const V v0 = hn::LoadU(d, vs + i + j * N), v1 = hn::LoadU(d, vs + i + (j + 1) * N);
      if constexpr (P % 2 == 0 && !kMasked) {
        part[j / 2] = {den[0] + den[1], hn::MulAdd(v0, den[1], v1 * den[0]), den[0] * den[1]};
      } else {
        const V a0 = num[0] * den[1], a1 = num[1] * den[0];
        part[j / 2] = {a0 + a1, hn::MulAdd(v0, a0, v1 * a1), den[0] * den[1]};
      }
    }
    for (int width = K / 2; width > 1; width /= 2)
      for (int j = 0; j < width / 2; ++j) part[j] = Combine(part[2 * j], part[2 * j + 1]);
    rows.MinDen[r] = hn::Min(rows.MinDen[r], part[0].Q);
    const V rq = one / part[0].Q;
    rows.Total[r] = hn::MulAdd(part[0].W, rq, rows.Total[r]);
    rows.Sum[r] = hn::MulAdd(part[0].S, rq, rows.Sum[r]);
  }
}

// One vector of samples from i on, R rows, with kMasked the lanes outside
// `valid` ignored: one division (or reciprocal square root) per pair.
template <int P, bool kMasked, class D, class G, class V, class M>
HWY_INLINE void SingleBlock(D d, const G& tile, const double* HWY_RESTRICT vs, std::size_t i, M valid,
                            Rows<V, G::T>& rows) {
  const V one = hn::Set(d, 1.0);
  const V inf = hn::Set(d, std::numeric_limits<double>::infinity());
  const typename G::Shared shared = tile.Prepare(d, i);
  const V v = hn::LoadU(d, vs + i);
  HWY_UNROLL(8)
  for (int r = 0; r < G::T; ++r) {
    const V d2 = tile.Squared(d, shared, r, i);
    V den, w;
    if constexpr (P % 2 == 0) {
      den = PowerOf<P / 2>(d2);
      w = one / den;
    } else if constexpr (kRsqrtEstimate) {
      den = PowerOf<P>(d2);
      w = ReciprocalSqrt(den);
    } else {
      den = PowerOf<(P + 1) / 2>(d2);
      w = hn::Sqrt(d2) / den;
    }
    if constexpr (kMasked) {
      w = hn::IfThenElseZero(valid, w);
      den = hn::IfThenElse(valid, den, inf);
    }
    rows.MinDen[r] = hn::Min(rows.MinDen[r], den);
    rows.Total[r] = rows.Total[r] + w;
    rows.Sum[r] = hn::MulAdd(w, v, rows.Sum[r]);
  }
}

// ------------------------------------------------------------ chained

// At p = 2 and 4 the powers of distances are cheap, and most of the shared
// division's work is combining fractions. There each row keeps, per lane,
// one running fraction instead: W/Q = Σ 1/Dⱼ and S/Q = Σ vⱼ/Dⱼ so far,
// and a sample's D = dᵖ joins it by multiplications alone,
//     W/Q + 1/D = (W·D + Q) / (Q·D),   S/Q + v/D = (S·D + v·Q) / (Q·D),
// four operations per pair and no division until the end of the row. Every
// kChainSteps vectors the three are multiplied by the same power of two
// (exact), which brings Q back into [1, 2), so that they neither overflow
// nor underflow in between; the smallest Q before that is tracked as the
// row's MinDenominator (see ShepardSafeDenominator for why it guards every
// product in between).
template <int P>
constexpr bool kChained = ChainedPower(P);

template <class V, int T>
struct Chains {
  V W[T], S[T], Q[T], MinQ[T];
};

// One vector of samples from i on for every row; with kMasked only the lanes
// in `valid` join the fractions.
template <int P, bool kMasked, class D, class G, class V, class M>
HWY_INLINE void ChainStep(D d, const G& tile, const double* HWY_RESTRICT vs, std::size_t i, M valid,
                          Chains<V, G::T>& c) {
  const typename G::Shared shared = tile.Prepare(d, i);
  const V v = hn::LoadU(d, vs + i);
  HWY_UNROLL(8)
  for (int r = 0; r < G::T; ++r) {
    const V den = PowerOf<P / 2>(tile.Squared(d, shared, r, i));
    const V vq = v * c.Q[r];
    const V w = hn::MulAdd(c.W[r], den, c.Q[r]);
    const V sum = hn::MulAdd(c.S[r], den, vq);
    const V q = c.Q[r] * den;
    if constexpr (kMasked) {
      c.W[r] = hn::IfThenElse(valid, w, c.W[r]);
      c.S[r] = hn::IfThenElse(valid, sum, c.S[r]);
      c.Q[r] = hn::IfThenElse(valid, q, c.Q[r]);
    } else {
      c.W[r] = w;
      c.S[r] = sum;
      c.Q[r] = q;
    }
  }
}

// Q into [1, 2) by its own exponent, W and S by the same power of two: the
// factor 2^−e has the biased exponent 2046 − (1023 + e). A Q that is 0,
// subnormal or not finite makes no sensible factor, but it is also below
// the guard or makes the sums not finite, and the exact path takes over.
template <int T, class D, class V>
HWY_INLINE void ChainRescale(D d, Chains<V, T>& c) {
  const hn::RebindToUnsigned<D> du;
  const auto exponentBits = hn::Set(du, 0x7FF0000000000000ull);
  const auto twiceBias = hn::Set(du, 2046ull << 52);
  HWY_UNROLL(8)
  for (int r = 0; r < T; ++r) {
    c.MinQ[r] = hn::Min(c.MinQ[r], c.Q[r]);
    const V scale = hn::BitCast(d, hn::Sub(twiceBias, hn::And(hn::BitCast(du, c.Q[r]), exponentBits)));
    c.W[r] = c.W[r] * scale;
    c.S[r] = c.S[r] * scale;
    c.Q[r] = c.Q[r] * scale;
  }
}

template <int P, class G>
void ChainTile(const TShepardSamples& samples, const TSampleRange* ranges, std::size_t rangeCount, const G& tile,
               TRowSums& out) {
  constexpr int T = G::T;
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t N = hn::Lanes(d);
  const double* HWY_RESTRICT vs = samples.V();
  Chains<V, T> c;
  HWY_UNROLL(8)
  for (int r = 0; r < T; ++r) {
    c.W[r] = hn::Zero(d);
    c.S[r] = hn::Zero(d);
    c.Q[r] = hn::Set(d, 1.0);
    c.MinQ[r] = hn::Set(d, std::numeric_limits<double>::infinity());
  }
  const auto all = hn::FirstN(d, N);
  for (std::size_t k = 0; k < rangeCount; ++k) {
    std::size_t i = ranges[k].Begin;
    const std::size_t end = ranges[k].End;
    for (; i + kChainSteps * N <= end; i += kChainSteps * N) {
      for (int j = 0; j < kChainSteps; ++j) ChainStep<P, false>(d, tile, vs, i + j * N, all, c);
      ChainRescale(d, c);
    }
    // Fewer than kChainSteps vectors are left; lanes past the end read the
    // next samples or the zero padding and are masked out.
    if (i < end) {
      for (; i + N <= end; i += N) ChainStep<P, false>(d, tile, vs, i, all, c);
      if (i < end) ChainStep<P, true>(d, tile, vs, i, hn::FirstN(d, end - i), c);
      ChainRescale(d, c);
    }
  }
  HWY_UNROLL(8)
  for (int r = 0; r < T; ++r) {
    out.Total[r] += hn::GetLane(hn::SumOfLanes(d, c.W[r] / c.Q[r]));
    out.Sum[r] += hn::GetLane(hn::SumOfLanes(d, c.S[r] / c.Q[r]));
    out.MinDenominator[r] = std::min(out.MinDenominator[r], hn::GetLane(hn::MinOfLanes(d, c.MinQ[r])));
  }
}

// The T queries of a tile over the samples of ranges, added to out[0 .. T).
template <int P, class G>
void AccumulateTile(const TShepardSamples& samples, const TSampleRange* ranges, std::size_t rangeCount, const G& tile,
                    TRowSums& out) {
  if constexpr (kChained<P>) {
    ChainTile<P>(samples, ranges, rangeCount, tile, out);
    return;
  }
  constexpr int T = G::T;
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t N = hn::Lanes(d);
  const double* HWY_RESTRICT vs = samples.V();
  Rows<V, T> rows;
  HWY_UNROLL(8)
  for (int r = 0; r < T; ++r) {
    rows.Total[r] = hn::Zero(d);
    rows.Sum[r] = hn::Zero(d);
    rows.MinDen[r] = hn::Set(d, std::numeric_limits<double>::infinity());
  }
  const auto all = hn::FirstN(d, N);
  for (std::size_t k = 0; k < rangeCount; ++k) {
    std::size_t i = ranges[k].Begin;
    const std::size_t end = ranges[k].End;
    if constexpr (kShareDivision<P>) {
      constexpr int K = kSharedVectors<P>;
      for (; i + K * N <= end; i += K * N) SharedBlock<P, K, false>(d, tile, vs, i, end, rows);
      if (K > 4 && i + 4 * N <= end) {
        SharedBlock<P, 4, false>(d, tile, vs, i, end, rows);
        i += 4 * N;
      }
      if (i < end) SharedBlock<P, 4, true>(d, tile, vs, i, end, rows);
      continue;
    }
    for (; i + N <= end; i += N) SingleBlock<P, false>(d, tile, vs, i, all, rows);
    // Lanes past the end read the next samples or the zero padding and are
    // masked out.
    if (i < end) SingleBlock<P, true>(d, tile, vs, i, hn::FirstN(d, end - i), rows);
  }
  HWY_UNROLL(8)
  for (int r = 0; r < T; ++r) {
    out.Total[r] += hn::GetLane(hn::SumOfLanes(d, rows.Total[r]));
    out.Sum[r] += hn::GetLane(hn::SumOfLanes(d, rows.Sum[r]));
    out.MinDenominator[r] = std::min(out.MinDenominator[r], hn::GetLane(hn::MinOfLanes(d, rows.MinDen[r])));
  }
}

// Query `from` of part added to query `to` of out.
inline void AddSums(const TRowSums& part, int from, TRowSums& out, int to) {
  out.Total[to] += part.Total[from];
  out.Sum[to] += part.Sum[from];
  out.MinDenominator[to] = std::min(out.MinDenominator[to], part.MinDenominator[from]);
}

// dx2, when not null, holds (x − xᵢ)² for every sample.
template <int P, int R>
void AccumulateRows(const TShepardSamples& samples, const TSampleRange* ranges, std::size_t rangeCount, double x,
                    const double* dx2, const double* qy, TRowSums& out) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const auto run = [&](const auto& xs) {
    RowTile<std::decay_t<decltype(xs)>, V, R> tile{xs, samples.Y(), {}};
    for (int r = 0; r < R; ++r) tile.Qy[r] = hn::Set(d, qy[r]);
    AccumulateTile<P>(samples, ranges, rangeCount, tile, out);
  };
  if (dx2) {
    run(StoredDx<V>{dx2});
  } else {
    run(ComputedDx<V>{samples.X(), hn::Set(d, x)});
  }
}

// f(std::integral_constant<int, P>) for the power P = power, when it is one
// the kernels compute (kKernelMinPower to kKernelMaxPower).
template <class F, int... K>
void WithPowerOf(int power, F& f, std::integer_sequence<int, K...>) {
  (void)((power == kKernelMinPower + K ? (f(std::integral_constant<int, kKernelMinPower + K>()), true) : false) || ...);
}
template <class F>
void WithPower(int power, F&& f) {
  WithPowerOf(power, f, std::make_integer_sequence<int, kKernelMaxPower - kKernelMinPower + 1>());
}

void Accumulate(const TShepardSamples& samples, const TSampleRange* ranges, std::size_t rangeCount, int power,
                int rowCount, double x, const double* dx2, const double* qy, TRowSums& out) {
  WithPower(power, [&](auto p) {
    constexpr int P = decltype(p)::value;
    if (rowCount == kKernelRows) {
      AccumulateRows<P, kKernelRows>(samples, ranges, rangeCount, x, dx2, qy, out);
      return;
    }
    // Fewer rows: one at a time.
    for (int r = 0; r < rowCount; ++r) {
      TRowSums one;
      AccumulateRows<P, 1>(samples, ranges, rangeCount, x, dx2, qy + r, one);
      AddSums(one, 0, out, r);
    }
  });
}

// kKernelRows rows of kKernelColumns columns, query t = r·kKernelColumns + c;
// dx2[c] holds (x_c − xᵢ)² for every sample. Where a sample costs little
// (the chained powers), four rows of one column at a time are faster, as
// they read fewer numbers per pair; elsewhere tiles of two rows of two
// columns, which share the rows' qy − yᵢ.
void AccumulateGrid(const TShepardSamples& samples, const TSampleRange* ranges, std::size_t rangeCount, int power,
                    const double* const* dx2, const double* qy, TRowSums& out) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  constexpr int C = kKernelColumns;
  WithPower(power, [&](auto p) {
    constexpr int P = decltype(p)::value;
    if constexpr (kChained<P>) {
      for (int c = 0; c < C; ++c) {
        TRowSums column;
        AccumulateRows<P, kKernelRows>(samples, ranges, rangeCount, 0, dx2[c], qy, column);
        for (int r = 0; r < kKernelRows; ++r) AddSums(column, r, out, r * C + c);
      }
    } else {
      constexpr int R = 2;
      for (int first = 0; first < kKernelRows; first += R) {
        GridTile<V, R, C> tile{{}, samples.Y(), {}};
        for (int c = 0; c < C; ++c) tile.Dx2[c] = dx2[c];
        for (int r = 0; r < R; ++r) tile.Qy[r] = hn::Set(d, qy[first + r]);
        TRowSums part;
        AccumulateTile<P>(samples, ranges, rangeCount, tile, part);
        for (int t = 0; t < R * C; ++t) AddSums(part, t, out, first * C + t);
      }
    }
  });
}

// (x − xᵢ)² for every sample and the padding after them, as the batched
// kernel computes it.
void SquaredDx(const TShepardSamples& samples, double x, double* out) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t N = hn::Lanes(d);
  const ComputedDx<V> source{samples.X(), hn::Set(d, x)};
  for (std::size_t i = 0; i < samples.Padded(); i += N) hn::StoreU(source.Squared(d, i), d, out + i);
}

// ---------------------------------------------------------------- exact

// kCheckHits: look for samples at exactly (x, y) on the way, as the first of
// them gives the result. Without it the loop has less to do; a hit then
// shows as an infinite weight, and the caller goes over the samples again
// with the check (see ExactMean).
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
// can a sample lie exactly at (x, y), and the checking pass decides. A
// result that is still not finite had a weight beyond the double range.
template <int P>
double ExactMean(const TShepardSamples& samples, double x, double y) {
  const double mean = WeightedMean<P, false>(samples, x, y);
  if (HWY_LIKELY(std::isfinite(mean))) return mean;
  return WeightedMean<P, true>(samples, x, y);
}

double ExactAt(const TShepardSamples& samples, int power, double x, double y) {
  switch (power) {
    case 2: return ExactMean<2>(samples, x, y);
    case 3: return ExactMean<3>(samples, x, y);
    case 4: return ExactMean<4>(samples, x, y);
    case 5: return ExactMean<5>(samples, x, y);
    case 6: return ExactMean<6>(samples, x, y);
    case 7: return ExactMean<7>(samples, x, y);
    case 8: return ExactMean<8>(samples, x, y);
    case 9: return ExactMean<9>(samples, x, y);
    case 10: return ExactMean<10>(samples, x, y);
    case 11: return ExactMean<11>(samples, x, y);
    case 12: return ExactMean<12>(samples, x, y);
    case 13: return ExactMean<13>(samples, x, y);
    case 14: return ExactMean<14>(samples, x, y);
    default: return std::numeric_limits<double>::quiet_NaN();
  }
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace sondralis
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sondralis {

HWY_EXPORT(Accumulate);
HWY_EXPORT(AccumulateGrid);
HWY_EXPORT(SquaredDx);
HWY_EXPORT(ExactAt);
HWY_EXPORT(TargetName);

namespace {

// Doubles in the widest vector of any instruction set dispatched to. Here,
// outside the per-target code, HWY_MAX_BYTES is that of the baseline target
// (8 bytes for plain C++), so the allocation alignment, which is the widest
// vector (64 bytes for AVX-512), is the measure.
constexpr std::size_t kWidestLanes = HWY_ALIGNMENT / sizeof(double);


// The frame's centre on one axis for coordinates in [lo, hi]: 0, unless all
// of them have one sign and the largest magnitude is at most 1.5 times the
// smallest; then the middle, which lies within a factor 1.5 of every
// coordinate (and of every query near one), so subtracting it is exact.
double FrameCentre(double lo, double hi) {
  if (lo > 0 && hi <= 1.5 * lo) return lo + (hi - lo) / 2;
  if (hi < 0 && lo >= 1.5 * hi) return hi + (lo - hi) / 2;
  return 0;
}

// Σ vᵢ/dᵢᵖ ÷ Σ 1/dᵢᵖ in long double, whose exponent range holds any power
// of a distance between doubles: the last resort of the exact path.
double LongDoubleMean(const TShepardSamples& samples, int power, double x, double y) {
  long double total = 0, sum = 0;
  for (std::size_t i = 0; i < samples.Count(); ++i) {
    const long double dx = static_cast<long double>(x) - samples.X()[i];
    const long double dy = static_cast<long double>(y) - samples.Y()[i];
    if (dx == 0 && dy == 0) return samples.V()[i];
    const long double d2 = dx * dx + dy * dy;
    long double dp = 1;
    for (int k = 0; k < power / 2; ++k) dp *= d2;
    if (power % 2) dp *= std::sqrt(d2);
    const long double w = 1 / dp;
    total += w;
    sum += w * samples.V()[i];
  }
  return static_cast<double>(sum / total);
}

}  // namespace

TRowSums::TRowSums() { std::fill(std::begin(MinDenominator), std::end(MinDenominator), std::numeric_limits<double>::infinity()); }

void TShepardSamples::Allocate(std::size_t count) {
  fCount = count;
  // Whole vectors of the widest instruction set, and four more: a block of
  // four vectors loaded from any sample of a range stays inside the arrays.
  const std::size_t padded = (count + kWidestLanes - 1) / kWidestLanes * kWidestLanes + 4 * kWidestLanes;
  fPadded = padded;
  fX = hwy::AllocateAligned<double>(padded);
  fY = hwy::AllocateAligned<double>(padded);
  fV = hwy::AllocateAligned<double>(padded);
  std::fill_n(fX.get(), padded, 0.0);
  std::fill_n(fY.get(), padded, 0.0);
  std::fill_n(fV.get(), padded, 0.0);
}

TShepardSamples::TShepardSamples(std::span<const std::array<float, 2>> Positions, std::span<const float> Values,
                                 std::size_t Count) {
  Allocate(std::min({Count, Positions.size(), Values.size()}));
  if (fCount == 0) return;
  // The box of the positions that are numbers (a position that is not one
  // makes every mean it takes part in not a number, as in the formula).
  constexpr double inf = std::numeric_limits<double>::infinity();
  double loX = inf, hiX = -inf, loY = inf, hiY = -inf;
  for (std::size_t i = 0; i < fCount; ++i) {
    const double x = Positions[i][0], y = Positions[i][1];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    loX = std::min(loX, x);
    hiX = std::max(hiX, x);
    loY = std::min(loY, y);
    hiY = std::max(hiY, y);
  }
  if (loX > hiX) loX = hiX = loY = hiY = 0;
  fCentreX = FrameCentre(loX, hiX);
  fCentreY = FrameCentre(loY, hiY);
  // A power of two that brings the farthest coordinate into [−1, 1].
  const double reach = std::max({hiX - fCentreX, fCentreX - loX, hiY - fCentreY, fCentreY - loY});
  int exponent = 0;
  if (reach > 0) std::frexp(reach, &exponent);
  fScale = std::ldexp(1.0, -exponent);
  fMinV = inf;
  fMaxV = -inf;
  for (std::size_t i = 0; i < fCount; ++i) {
    fX[i] = FrameX(Positions[i][0]);
    fY[i] = FrameY(Positions[i][1]);
    fV[i] = Values[i];
    fMinV = std::min(fMinV, fV[i]);
    fMaxV = std::max(fMaxV, fV[i]);
  }
  for (std::size_t i = 0; i < fCount && fFinite; ++i)
    fFinite = std::isfinite(fX[i]) && std::isfinite(fY[i]) && std::isfinite(fV[i]);
  fMinX = FrameX(loX);
  fMaxX = FrameX(hiX);
  fMinY = FrameY(loY);
  fMaxY = FrameY(hiY);
}

TShepardSamples::TShepardSamples(const TShepardSamples& Frame, std::span<const double> X, std::span<const double> Y,
                                 std::span<const double> V)
    : fCentreX(Frame.fCentreX),
      fCentreY(Frame.fCentreY),
      fScale(Frame.fScale),
      fMinX(Frame.fMinX),
      fMaxX(Frame.fMaxX),
      fMinY(Frame.fMinY),
      fMaxY(Frame.fMaxY),
      fMinV(Frame.fMinV),
      fMaxV(Frame.fMaxV),
      fFinite(Frame.fFinite) {
  Allocate(std::min({X.size(), Y.size(), V.size()}));
  std::copy_n(X.begin(), fCount, fX.get());
  std::copy_n(Y.begin(), fCount, fY.get());
  std::copy_n(V.begin(), fCount, fV.get());
}

void ShepardAccumulate(const TShepardSamples& Samples, std::span<const TSampleRange> Ranges, int Power, int Rows,
                       double Qx, const double* Qy, TRowSums& Sums, const double* SquaredDx) {
  if (Rows < 1 || Rows > kKernelRows || Ranges.empty()) return;
  HWY_DYNAMIC_DISPATCH(Accumulate)(Samples, Ranges.data(), Ranges.size(), Power, Rows, Qx, SquaredDx, Qy, Sums);
}

void ShepardAccumulateGrid(const TShepardSamples& Samples, std::span<const TSampleRange> Ranges, int Power,
                           const std::array<const double*, kKernelColumns>& SquaredDx, const double* Qy,
                           TRowSums& Sums) {
  if (Ranges.empty()) return;
  HWY_DYNAMIC_DISPATCH(AccumulateGrid)(Samples, Ranges.data(), Ranges.size(), Power, SquaredDx.data(), Qy, Sums);
}

void ShepardSquaredDx(const TShepardSamples& Samples, double Qx, std::span<double> Out) {
  if (Out.size() < Samples.Padded()) return;
  HWY_DYNAMIC_DISPATCH(SquaredDx)(Samples, Qx, Out.data());
}

// A denominator of the batched kernel is a product of K powers Dᵢ ≤ Dmax
// (K = 8 for p ≤ 4, 4 above; Dmax = the largest dᵢᵖ⁺¹, d measured to the
// farthest corner of the samples' box; with a reciprocal square root it is
// a single d²ᵖ). When the product q is at least 1e-307·Dmax^(K−1), each
// factor and each partial product is at least q / Dmax^(K−1), so none of
// them is subnormal and every step keeps its full precision; the floor
// 1e-290 leaves room for the sums of reciprocals. In the samples' frame
// Dmax is at most 8² for p ≤ 4 and 8⁷ above for a query inside the box, so
// the guard costs nothing unless a query is within a hair of several
// samples, which the exact path then decides.
//
// The chained powers (2 and 4) report the smallest Q_end, the running
// denominator before each rescaling. Between two rescalings Q grows by at
// most Dmax = dmaxᵖ per step, so every Q_k in between is at least
// Q_end / Dmax^kChainSteps, and W_k (≥ Q_k / Dmax) and S_k at least that
// over Dmax again: Q_end ≥ 1e-250·Dmax^(kChainSteps + 1) keeps all of them
// normal, with room for values down to the smallest normal float.
double ShepardSafeDenominator(const TShepardSamples& Samples, int Power, double Qx, double Qy) {
  const double fx = std::max(Qx - Samples.MinX(), Samples.MaxX() - Qx);
  const double fy = std::max(Qy - Samples.MinY(), Samples.MaxY() - Qy);
  const double far2 = std::max(fx * fx + fy * fy, 1.0);
  if (ChainedPower(Power)) {
    const double dmax = Power == 2 ? far2 : far2 * far2;
    double floor = 1e-250;
    for (int k = 0; k <= kChainSteps; ++k) floor *= dmax;
    return floor;
  }
  double dmax = 1;
  for (int k = 0; k < (Power + 1) / 2; ++k) dmax *= far2;
  double floor = 1e-307;
  for (int k = 1; k < (Power <= 4 ? 8 : 4); ++k) floor *= dmax;
  return std::max(1e-290, floor);
}

double ShepardExact(const TShepardSamples& Samples, int Power, double Qx, double Qy) {
  if (Samples.Count() == 0) return std::numeric_limits<double>::quiet_NaN();
  const double mean = HWY_DYNAMIC_DISPATCH(ExactAt)(Samples, Power, Qx, Qy);
  if (HWY_LIKELY(std::isfinite(mean))) return mean;
  return LongDoubleMean(Samples, Power, Qx, Qy);
}

double ShepardKernel(const TShepardSamples& Samples, int Power, double X, double Y) {
  if (Samples.Count() == 0) return std::numeric_limits<double>::quiet_NaN();
  const double qx = Samples.FrameX(X), qy = Samples.FrameY(Y);
  const TSampleRange all{0, static_cast<std::uint32_t>(Samples.Count())};
  TRowSums sums;
  ShepardAccumulate(Samples, {&all, 1}, Power, 1, qx, &qy, sums);
  const double mean = sums.Sum[0] / sums.Total[0];
  if (sums.MinDenominator[0] >= ShepardSafeDenominator(Samples, Power, qx, qy) && std::isfinite(mean)) return mean;
  return ShepardExact(Samples, Power, qx, qy);
}

const char* ShepardKernelTarget() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

}  // namespace sondralis

// libhwy (1.0) measures its timer's resolution for its nanobenchmark in a
// static initializer: about 2.5 ms of reading the clock at every start of a
// program linked to it, before main. Nothing here uses that benchmark.
// Defined in the program, this function takes the library's place (the
// library calls it through the dynamic linker, which looks in the program
// first), so loading the library costs nothing; the answer, one tick, is
// what the nanobenchmark would take for a perfect timer.
namespace hwy::platform {
uint64_t TimerResolution() { return 1; }
}  // namespace hwy::platform
#endif  // HWY_ONCE
