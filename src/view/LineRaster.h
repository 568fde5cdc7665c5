#pragma once

#include <algorithm>
#include <cstdint>

namespace sondralis {

// Integer line rasterisation shared by the canvas and the wide-pen strokes.
//
// The pixel at major-axis step k (0 <= k <= D, D the major extent) lies
// k steps along the major axis and m(k) = floor((2·k·d + D) / (2·D)) steps
// along the minor axis (d the minor extent): the classic Bresenham line,
// written in closed form so that a line can be clipped exactly to a box
// without walking the part outside it. A line far outside the raster
// therefore costs nothing, and the clipped part lands on the same pixels as
// the unclipped line would.

// Coordinates are clamped to this range before rasterising, which keeps every
// product below in 64-bit range.
inline constexpr int kPixelCoordinateLimit = 1 << 29;

inline int ClampPixelCoordinate(long long v) noexcept {
  return static_cast<int>(std::clamp<long long>(v, -kPixelCoordinateLimit, kPixelCoordinateLimit));
}

namespace detail {

inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) noexcept {  // b > 0
  std::int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}

inline std::int64_t CeilDiv(std::int64_t a, std::int64_t b) noexcept {  // b > 0
  return -FloorDiv(-a, b);
}

}  // namespace detail

// Calls plot(x, y) for every pixel of the line from (x0, y0) to (x1, y1) that
// lies inside the inclusive box [minX, maxX] × [minY, maxY]. With includeEnd
// false the end pixel is left out (line-to semantics: a polyline does not
// paint its joints twice, and a line from a point to itself paints nothing).
template <class Plot>
void RasterLine(int x0, int y0, int x1, int y1, bool includeEnd, int minX, int minY, int maxX, int maxY,
                Plot&& plot) {
  if (minX > maxX || minY > maxY) return;
  x0 = ClampPixelCoordinate(x0);
  y0 = ClampPixelCoordinate(y0);
  x1 = ClampPixelCoordinate(x1);
  y1 = ClampPixelCoordinate(y1);
  const std::int64_t dx = std::int64_t{x1} - x0;
  const std::int64_t dy = std::int64_t{y1} - y0;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const std::int64_t dMajor = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
  const std::int64_t dMinor = xMajor ? (dy < 0 ? -dy : dy) : (dx < 0 ? -dx : dx);
  const int sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t kMax = includeEnd ? dMajor : dMajor - 1;
  if (kMax < 0) return;

  const std::int64_t p0 = xMajor ? x0 : y0;
  const std::int64_t q0 = xMajor ? y0 : x0;
  const std::int64_t lo = xMajor ? minX : minY, hi = xMajor ? maxX : maxY;
  const std::int64_t lo2 = xMajor ? minY : minX, hi2 = xMajor ? maxY : maxX;

  if (dMajor == 0) {  // a single pixel, and includeEnd is set
    if (x0 >= minX && x0 <= maxX && y0 >= minY && y0 <= maxY) plot(x0, y0);
    return;
  }

  const std::int64_t twoD = 2 * dMajor;
  std::int64_t k0 = 0, k1 = kMax;
  const bool endsInside = x0 >= minX && x0 <= maxX && y0 >= minY && y0 <= maxY && x1 >= minX && x1 <= maxX &&
                          y1 >= minY && y1 <= maxY;
  if (!endsInside) {
    // Steps whose major coordinate lies in the box.
    if (sMajor > 0) {
      k0 = std::max(k0, lo - p0);
      k1 = std::min(k1, hi - p0);
    } else {
      k0 = std::max(k0, p0 - hi);
      k1 = std::min(k1, p0 - lo);
    }
    // Steps whose minor offset m(k) lies in [mLo, mHi]; m(k) never decreases.
    const std::int64_t mLo = sMinor > 0 ? lo2 - q0 : q0 - hi2;
    const std::int64_t mHi = sMinor > 0 ? hi2 - q0 : q0 - lo2;
    if (dMinor == 0) {
      if (mLo > 0 || mHi < 0) return;
    } else {
      const std::int64_t twoDm = 2 * dMinor;
      k0 = std::max(k0, detail::CeilDiv(twoD * mLo - dMajor, twoDm));
      k1 = std::min(k1, detail::FloorDiv(twoD * (mHi + 1) - dMajor - 1, twoDm));
    }
    if (k0 > k1) return;
  }

  std::int64_t num = 2 * k0 * dMinor + dMajor;
  std::int64_t m = detail::FloorDiv(num, twoD);
  std::int64_t rem = num - m * twoD;
  for (std::int64_t k = k0; k <= k1; ++k) {
    const int p = static_cast<int>(p0 + sMajor * k);
    const int q = static_cast<int>(q0 + sMinor * m);
    if (xMajor)
      plot(p, q);
    else
      plot(q, p);
    rem += 2 * dMinor;
    if (rem >= twoD) {
      rem -= twoD;
      ++m;
    }
  }
}

}  // namespace sondralis
