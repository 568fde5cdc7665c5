#pragma once

namespace sondralis {

// An integer pixel position.
struct TPoint {
  int X = 0;
  int Y = 0;

  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A pixel rectangle. Right and Bottom are exclusive for the canvas: FillRect
// of (0, 0, 10, 5) paints columns 0..9 and rows 0..4. Rectangles handed to
// the zoom and cutter operations of the map view use an upward vertical axis
// (Top and Bottom are distances from the bottom of the raster), and their
// corners may come in any order.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const noexcept { return Right - Left; }
  int Height() const noexcept { return Bottom - Top; }

  friend bool operator==(const TRect&, const TRect&) = default;
};

}  // namespace sondralis
