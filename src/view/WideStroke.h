#pragma once

#include <cstdint>
#include <vector>

namespace sondralis {

// The pixels painted by a pen wider than one pixel with round caps and round
// joins: the Minkowski sum of the stroke's centre line (the thin Bresenham
// line, both ends included) with a disc as wide as the pen. A pen of width w
// paints exactly w pixels across a horizontal or vertical line. For an odd
// width the disc is centred on each centre-line pixel; for an even width on
// the corner below and to the right of it, since no pixel row is the middle
// of an even number of rows. In integers: centre-line pixel (sx, sy) covers
// (x, y) when (2(x − sx) − e)² + (2(y − sy) − e)² ≤ w², e = 1 for even w and
// 0 for odd w. Strokes have no gaps at turns and reach about half a pen width
// past their ends.
//
// Lines are collected first and painted together. Two painting methods give
// the same pixels: stamping a disc on every centre-line pixel (cost grows
// with the stroke length times the pen width) and a linear-time distance
// pass over the strokes' bounding box (cost grows with the area only). Paint
// picks the cheaper one; a shadow map with a 30-pixel pen over a long
// recording takes the distance pass, short coloured track lines are stamped.
class TWideStroke {
 public:
  enum class TMethod { Auto, Stamp, Distance };

  // Wider pens are painted with this width (the distances are 16-bit).
  static constexpr int kMaxPenWidth = 4000;

  // Forgets collected lines and prepares for a pen of the given width on a
  // raster of the given size. The width is clamped to 1 .. kMaxPenWidth.
  void Reset(int PenWidth, int RasterWidth, int RasterHeight);

  // Adds the centre line from (x0, y0) to (x1, y1), both ends included. Parts
  // farther than half a pen width outside the raster are dropped.
  void AddLine(int x0, int y0, int x1, int y1);

  bool Empty() const noexcept { return fSeeds.empty(); }
  std::size_t CentrePixelCount() const noexcept { return fSeeds.size() / 2; }
  int PenWidth() const noexcept { return fPenWidth; }

  // Paints every covered pixel inside the raster with Value and forgets the
  // lines. Bits points at row 0 of 32-bit pixels, Stride is the row length in
  // pixels.
  void Paint(std::uint32_t* Bits, int Stride, std::uint32_t Value, TMethod Method = TMethod::Auto);

  // Forgets the collected lines without painting.
  void Clear() noexcept;

 private:
  void PaintStamped(std::uint32_t* Bits, int Stride, std::uint32_t Value) const;
  void PaintByDistance(std::uint32_t* Bits, int Stride, std::uint32_t Value);

  int fPenWidth = 1;
  int fRadius = 0;  // largest reach of the disc along an axis: PenWidth / 2
  int fEven = 0;    // e above: 1 when the width is even
  int fRasterWidth = 0;
  int fRasterHeight = 0;
  // fHalfSpan[m]: the disc's row at vertical offset dy, m = |2·dy − e| < w,
  // spans the columns sx + e − fHalfSpan[m] .. sx + fHalfSpan[m].
  std::vector<int> fHalfSpan;
  // Centre-line pixels, as x, y pairs, and their bounding box.
  std::vector<std::int32_t> fSeeds;
  int fMinX = 0, fMinY = 0, fMaxX = -1, fMaxY = -1;
  // Work space of the distance pass, kept between calls.
  std::vector<std::uint16_t> fColumnDistance;
  std::vector<std::uint16_t> fDistanceBelow;
  std::vector<std::uint8_t> fRowCover;
};

}  // namespace sondralis
