#pragma once

#include <cstdint>
#include <vector>

namespace sondralis {

// The pixels painted by a pen wider than one pixel with round caps and round
// joins: every pixel whose centre lies within half the pen width of a pixel
// of the stroke's centre line (the thin Bresenham line, both ends included).
// That is the Minkowski sum of the centre line with a disc, so strokes have
// no gaps at turns and reach half a pen width past their ends.
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
  int fRasterWidth = 0;
  int fRasterHeight = 0;
  // fHalfSpan[g]: the half-width of the disc's row at vertical offset g.
  std::vector<int> fHalfSpan;
  // Centre-line pixels, as x, y pairs, and their bounding box.
  std::vector<std::int32_t> fSeeds;
  int fMinX = 0, fMinY = 0, fMaxX = -1, fMaxY = -1;
  // Work space of the distance pass, kept between calls.
  std::vector<std::uint16_t> fColumnDistance;
  std::vector<std::uint8_t> fRowCover;
};

}  // namespace sondralis
