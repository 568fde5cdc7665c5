#include "model/ColorInterpolate.h"

#include <cmath>

namespace sondralis {

TColor BlendColors(TColor ColorA, TColor ColorB, double Ratio) noexcept {
  if (!(Ratio > 0)) return ColorA;
  if (Ratio >= 1) return ColorB;
  const double k = 1 - Ratio;
  TColor result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double a = (ColorA >> shift) & 0xFF;
    const double b = (ColorB >> shift) & 0xFF;
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const auto c = static_cast<TColor>(std::nearbyint(k * a + Ratio * b));
    result |= (c & 0xFF) << shift;
  }
  return result;
}

}  // namespace sondralis
