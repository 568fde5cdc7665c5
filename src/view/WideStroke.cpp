#include "view/WideStroke.h"

#include <algorithm>
#include <climits>

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
  // Covered: 4 · (dx² + dy²) <= width², in integers so that both painting
  // methods agree to the pixel.
  const long long w2 = static_cast<long long>(fPenWidth) * fPenWidth;
  fHalfSpan.assign(static_cast<std::size_t>(fRadius) + 1, 0);
  int h = fRadius;
  for (int g = 0; g <= fRadius; ++g) {
    while (h > 0 && 4LL * (static_cast<long long>(h) * h + static_cast<long long>(g) * g) > w2) --h;
    fHalfSpan[static_cast<std::size_t>(g)] = h;
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
    const int yFrom = std::max(y - fRadius, 0);
    const int yTo = std::min(y + fRadius, fRasterHeight - 1);
    for (int yy = yFrom; yy <= yTo; ++yy) {
      const int h = fHalfSpan[static_cast<std::size_t>(yy > y ? yy - y : y - yy)];
      const int xFrom = std::max(x - h, 0);
      const int xTo = std::min(x + h, fRasterWidth - 1);
      if (xFrom > xTo) continue;
      std::uint32_t* row = Bits + static_cast<std::ptrdiff_t>(yy) * Stride;
      std::fill(row + xFrom, row + xTo + 1, Value);
    }
  }
}

// For each column of the padded box, g = the vertical distance to the nearest
// centre-line pixel in that column (capped at r + 1). A pixel (x, y) is
// covered when some column x' has |x − x'| <= fHalfSpan[g(x', y)]; two sweeps
// per row find that in linear time: left to right the farthest right reach of
// the columns so far, right to left the farthest left reach.
void TWideStroke::PaintByDistance(std::uint32_t* Bits, int Stride, std::uint32_t Value) {
  const int r = fRadius;
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

  // Downwards, then upwards: distance to the nearest seed above or below.
  for (int y = 1; y < bh; ++y) {
    std::uint16_t* row = &fColumnDistance[static_cast<std::size_t>(y) * static_cast<std::size_t>(bw)];
    const std::uint16_t* prev = row - bw;
    for (int x = 0; x < bw; ++x) {
      const auto d = static_cast<std::uint16_t>(prev[x] + 1);
      if (d < row[x]) row[x] = d;
    }
  }
  for (int y = bh - 2; y >= 0; --y) {
    std::uint16_t* row = &fColumnDistance[static_cast<std::size_t>(y) * static_cast<std::size_t>(bw)];
    const std::uint16_t* next = row + bw;
    for (int x = 0; x < bw; ++x) {
      const auto d = static_cast<std::uint16_t>(next[x] + 1);
      if (d < row[x]) row[x] = d;
    }
  }

  // Only rows and columns inside the raster are painted.
  const int yFrom = std::max(by0, 0), yTo = std::min(by1, fRasterHeight - 1);
  const int xFrom = std::max(bx0, 0), xTo = std::min(bx1, fRasterWidth - 1);
  if (xFrom > xTo) return;
  fRowCover.assign(static_cast<std::size_t>(bw), 0);
  for (int y = yFrom; y <= yTo; ++y) {
    const std::uint16_t* g = &at(bx0, y);
    int reach = INT_MIN;
    for (int i = 0; i < bw; ++i) {
      if (g[i] <= r) reach = std::max(reach, i + fHalfSpan[g[i]]);
      fRowCover[static_cast<std::size_t>(i)] = reach >= i;
    }
    int leftReach = INT_MAX;
    std::uint32_t* row = Bits + static_cast<std::ptrdiff_t>(y) * Stride;
    for (int i = bw - 1; i >= 0; --i) {
      if (g[i] <= r) leftReach = std::min(leftReach, i - fHalfSpan[g[i]]);
      const int x = bx0 + i;
      if (x < xFrom || x > xTo) continue;
      if (fRowCover[static_cast<std::size_t>(i)] || leftReach <= i) row[x] = Value;
    }
  }
}

}  // namespace sondralis
