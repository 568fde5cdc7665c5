// Highway compiles this file once per instruction set (foreach_target
// re-includes it) and picks the best one the processor has at run time. It
// is compiled with -ffp-contract=off: the first cross products must round as
// those of the scalar search in ContourGeometry.h do.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "contours/SegmentScan.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <utility>

#include "contours/SegmentScan.h"

HWY_BEFORE_NAMESPACE();
namespace sondralis {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Whether segment i may meet the segment P → Q (direction (Dx, Dy)): not
// when both its ends lie clearly on one side of P → Q's line, and not when
// P and Q lie on one side of its own line as surely as SegmentsConflict's
// side test demands (twice its bound, so a last-bit difference in rounding
// cannot turn a refusal into a doubt).
template <class D, class V>
HWY_INLINE auto MayMeet(D d, V ax, V ay, V bx, V by, V px, V py, V qx, V qy, V dx, V dy, V above, V below) {
  const auto c1 = hn::Sub(hn::Mul(dx, hn::Sub(ay, py)), hn::Mul(dy, hn::Sub(ax, px)));
  const auto c2 = hn::Sub(hn::Mul(dx, hn::Sub(by, py)), hn::Mul(dy, hn::Sub(bx, px)));
  const auto apart = hn::Or(hn::And(hn::Gt(c1, above), hn::Gt(c2, above)), hn::And(hn::Lt(c1, below), hn::Lt(c2, below)));
  const auto ex = hn::Sub(bx, ax), ey = hn::Sub(by, ay);
  const auto n1 = hn::Add(hn::Abs(ex), hn::Abs(ey));
  const auto side = [&](V x, V y) {
    const auto wx = hn::Sub(x, ax), wy = hn::Sub(y, ay);
    const auto n2 = hn::Add(hn::Abs(wx), hn::Abs(wy));
    const auto bound = hn::Add(hn::Mul(hn::Mul(hn::Set(d, 2e-12), n1), n2), hn::Mul(hn::Set(d, 8e-12), hn::Add(n1, n2)));
    return std::pair{hn::Sub(hn::Mul(ex, wy), hn::Mul(ey, wx)), bound};
  };
  const auto [c3, b3] = side(px, py);
  const auto [c4, b4] = side(qx, qy);
  const auto beside = hn::Or(hn::And(hn::Gt(c3, b3), hn::Gt(c4, b4)), hn::And(hn::Lt(c3, hn::Neg(b3)), hn::Lt(c4, hn::Neg(b4))));
  return hn::Not(hn::Or(apart, beside));
}

std::size_t AcrossLine(const double* AX, const double* AY, const double* BX, const double* BY, std::size_t N,
                       double Px, double Py, double Qx, double Qy, double Margin, std::uint32_t* Out) {
  const hn::ScalableTag<double> d;
  const std::size_t lanes = hn::Lanes(d);
  const auto px = hn::Set(d, Px), py = hn::Set(d, Py), qx = hn::Set(d, Qx), qy = hn::Set(d, Qy);
  const auto dx = hn::Set(d, Qx - Px), dy = hn::Set(d, Qy - Py);
  const auto above = hn::Set(d, Margin), below = hn::Set(d, -Margin);
  std::size_t count = 0;
  alignas(8) std::uint8_t bits[HWY_MAX_BYTES / 8 + 8] = {};
  for (std::size_t i = 0; i < N; i += lanes) {
    const std::size_t n = std::min(lanes, N - i);
    const auto load = [&](const double* p) { return hn::LoadU(d, p + i); };
    const auto may = hn::And(MayMeet(d, load(AX), load(AY), load(BX), load(BY), px, py, qx, qy, dx, dy, above, below),
                             hn::FirstN(d, n));
    if (hn::AllFalse(d, may)) continue;
    hn::StoreMaskBits(d, may, bits);
    for (std::size_t k = 0; k < n; ++k)
      if (bits[k / 8] >> (k % 8) & 1) Out[count++] = static_cast<std::uint32_t>(i + k);
  }
  return count;
}

}  // namespace HWY_NAMESPACE
}  // namespace sondralis
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace sondralis {

HWY_EXPORT(AcrossLine);

std::size_t SegmentsMayMeet(const double* AX, const double* AY, const double* BX, const double* BY, std::size_t N,
                            const TChartPoint& P, const TChartPoint& Q, double Margin, std::uint32_t* Out) {
  return HWY_DYNAMIC_DISPATCH(AcrossLine)(AX, AY, BX, BY, N, P.X, P.Y, Q.X, Q.Y, Margin, Out);
}

}  // namespace sondralis
#endif
