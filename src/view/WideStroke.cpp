#include "view/WideStroke.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "view/LineRaster.h"

namespace sondralis {

void TWideStroke::Reset(int PenWidth, int RasterWidth, int RasterHeight) {
  Clear();
  fRasterWidth = std::max(RasterWidth, 0);
  fRasterHeight = std::max(RasterHeight, 0);
  PenWidth = std::clamp(PenWidth, 1, kMaxPenWidth);
  if (PenWidth == fPenWidth && !fHalfSpan.empty()) return;
  fPenWidth = PenWidth;
  fRadius = fPenWidth / 2;
  fEven = 1 - fPenWidth % 2;
  // Row m = |2·dy − e| of the disc: the columns dx with (2·dx − e)² <= w² − m²,
  // that is |2·dx − e| <= s for the largest s of the parity of e with
  // s² <= w² − m²; in integers so that both painting methods agree to the
  // pixel.
  const long long w2 = static_cast<long long>(fPenWidth) * fPenWidth;
  fHalfSpan.assign(static_cast<std::size_t>(fPenWidth), 0);
  long long s = fPenWidth - 1;  // has the parity of e
  for (int m = fEven; m < fPenWidth; m += 2) {
    while (s * s > w2 - static_cast<long long>(m) * m) s -= 2;
    fHalfSpan[static_cast<std::size_t>(m)] = static_cast<int>((fEven + s) / 2);
  }
}

void TWideStroke::Clear() noexcept {
  fSeeds.clear();
  fMinX = fMinY = 0;
  fMaxX = fMaxY = -1;
}

void TWideStroke::AddLine(int x0, int y0, int x1, int y1) {
  const int minX = -fRadius, minY = -fRadius;
  const int maxX = fRasterWidth - 1 + fRadius, maxY = fRasterHeight - 1 + fRadius;
  RasterLine(x0, y0, x1, y1, true, minX, minY, maxX, maxY, [this](int x, int y) {
    if (fSeeds.empty()) {
      fMinX = fMaxX = x;
      fMinY = fMaxY = y;
    } else {
      fMinX = std::min(fMinX, x);
      fMaxX = std::max(fMaxX, x);
      fMinY = std::min(fMinY, y);
      fMaxY = std::max(fMaxY, y);
    }
    fSeeds.push_back(x);
    fSeeds.push_back(y);
  });
}

void TWideStroke::Paint(std::uint32_t* Bits, int Stride, std::uint32_t Value, TMethod Method) {
  if (fSeeds.empty()) return;
  if (Bits && fRasterWidth > 0 && fRasterHeight > 0) {
    if (Method == TMethod::Auto) {
      // Rough costs in pixel operations: a stamp fills 2r+1 short rows; the
      // distance pass visits every pixel of the padded box about six times.
      const double seeds = static_cast<double>(fSeeds.size() / 2);
      const double rows = 2.0 * fRadius + 1;
      const double stampCost = seeds * rows * (6.0 + rows / 4.0);
      const double boxWidth = std::min<double>(fMaxX - fMinX + 1 + 2.0 * fRadius, fRasterWidth + 4.0 * fRadius);
      const double boxHeight = std::min<double>(fMaxY - fMinY + 1 + 2.0 * fRadius, fRasterHeight + 4.0 * fRadius);
      const double distanceCost = 6.0 * boxWidth * boxHeight;
      Method = stampCost <= distanceCost ? TMethod::Stamp : TMethod::Distance;
    }
    if (Method == TMethod::Stamp)
      PaintStamped(Bits, Stride, Value);
    else
      PaintByDistance(Bits, Stride, Value);
  }
  Clear();
}

void TWideStroke::PaintStamped(std::uint32_t* Bits, int Stride, std::uint32_t Value) const {
  for (std::size_t i = 0; i < fSeeds.size(); i += 2) {
    const int x = fSeeds[i];
    const int y = fSeeds[i + 1];
    const int yFrom = std::max(y + fEven - fRadius, 0);
    const int yTo = std::min(y + fRadius, fRasterHeight - 1);
    for (int yy = yFrom; yy <= yTo; ++yy) {
      const int m = std::abs(2 * (yy - y) - fEven);
      const int h = fHalfSpan[static_cast<std::size_t>(m)];
      const int xFrom = std::max(x + fEven - h, 0);
      const int xTo = std::min(x + h, fRasterWidth - 1);
      if (xFrom > xTo) continue;
      std::uint32_t* row = Bits + static_cast<std::ptrdiff_t>(yy) * Stride;
      std::fill(row + xFrom, row + xTo + 1, Value);
    }
  }
}

// For each column of the padded box, m = the smallest |2·dy − e| over the
// centre-line pixels of that column, dy the vertical offset from them. A
// pixel (x, y) is covered when some column x' has
// x' + e − fHalfSpan[m] <= x <= x' + fHalfSpan[m] with m = m(x', y) < w; two
// sweeps per row find that in linear time: left to right the farthest right
// reach of the columns so far, right to left the farthest left reach.
void TWideStroke::PaintByDistance(std::uint32_t* Bits, int Stride, std::uint32_t Value) {
  const int r = fRadius;
  const int e = fEven;
  // The box spans every centre-line pixel and every raster pixel within r of
  // one; centre-line pixels just outside the raster still count.
  const int bx0 = std::max(fMinX - r, std::min(fMinX, 0));
  const int bx1 = std::min(fMaxX + r, std::max(fMaxX, fRasterWidth - 1));
  const int by0 = std::max(fMinY - r, std::min(fMinY, 0));
  const int by1 = std::min(fMaxY + r, std::max(fMaxY, fRasterHeight - 1));
  const int bw = bx1 - bx0 + 1;
  const int bh = by1 - by0 + 1;
  if (bw <= 0 || bh <= 0) return;
  const auto far = static_cast<std::uint16_t>(r + 1);

  fColumnDistance.assign(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh), far);
  auto at = [&](int x, int y) -> std::uint16_t& {
    return fColumnDistance[static_cast<std::size_t>(y - by0) * static_cast<std::size_t>(bw) +
                           static_cast<std::size_t>(x - bx0)];
  };
  for (std::size_t i = 0; i < fSeeds.size(); i += 2) at(fSeeds[i], fSeeds[i + 1]) = 0;

  // Downwards: the distance to the nearest centre-line pixel at or above.
  for (int y = 1; y < bh; ++y) {
    std::uint16_t* row = &fColumnDistance[static_cast<std::size_t>(y) * static_cast<std::size_t>(bw)];
    const std::uint16_t* prev = row - bw;
    for (int x = 0; x < bw; ++x) {
      const auto d = static_cast<std::uint16_t>(prev[x] + 1);
      if (d < row[x]) row[x] = d;
    }
  }
  // Upwards, with the distance to the nearest one at or below alongside:
  // dy = d above, −d below, and each cell becomes m.
  fDistanceBelow.assign(static_cast<std::size_t>(bw), far);
  for (int y = bh - 1; y >= 0; --y) {
    std::uint16_t* row = &fColumnDistance[static_cast<std::size_t>(y) * static_cast<std::size_t>(bw)];
    for (int x = 0; x < bw; ++x) {
      std::uint16_t& below = fDistanceBelow[static_cast<std::size_t>(x)];
      below = row[x] == 0 ? 0 : std::min<std::uint16_t>(static_cast<std::uint16_t>(below + 1), far);
      const int fromAbove = std::abs(2 * row[x] - e);
      const int fromBelow = 2 * below + e;
      row[x] = static_cast<std::uint16_t>(std::min(fromAbove, fromBelow));
    }
  }

  // Only rows and columns inside the raster are painted.
  const int yFrom = std::max(by0, 0), yTo = std::min(by1, fRasterHeight - 1);
  const int xFrom = std::max(bx0, 0), xTo = std::min(bx1, fRasterWidth - 1);
  if (xFrom > xTo) return;
  fRowCover.assign(static_cast<std::size_t>(bw), 0);
  for (int y = yFrom; y <= yTo; ++y) {
    const std::uint16_t* m = &at(bx0, y);
    int reach = INT_MIN;
    for (int i = 0; i < bw; ++i) {
      if (m[i] < fPenWidth) reach = std::max(reach, i + fHalfSpan[m[i]]);
      fRowCover[static_cast<std::size_t>(i)] = reach >= i;
    }
    int leftReach = INT_MAX;
    std::uint32_t* row = Bits + static_cast<std::ptrdiff_t>(y) * Stride;
    for (int i = bw - 1; i >= 0; --i) {
      if (m[i] < fPenWidth) leftReach = std::min(leftReach, i + e - fHalfSpan[m[i]]);
      const int x = bx0 + i;
      if (x < xFrom || x > xTo) continue;
      if (fRowCover[static_cast<std::size_t>(i)] || leftReach <= i) row[x] = Value;
    }
  }
}

}  // namespace sondralis
