#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <QImage>

#include "model/ColorInterpolate.h"
#include "view/PixelTypes.h"
#include "view/WideStroke.h"

namespace sondralis {

// A raster image with the drawing operations the map view and the pictures
// built in its pixel grid need: pen (colour, width), brush (colour), move-to
// and line-to, polyline, filled polygon, fill and frame rectangle, copies
// between canvases (plain or with a transparent colour), pixel and row
// access, and BMP output. Nothing is antialiased: every operation sets whole
// pixels to exact colours, so pictures can be compared and used as masks.
//
// The pixels live in a QImage of format RGB32. Colours are TColor (red in the
// low byte); pixel and row access convert.
//
// Lines: a line-to of a one-pixel pen paints the Bresenham line without its
// end pixel, so a polyline paints every joint once. Pens wider than one pixel
// have round caps and round joins (see TWideStroke): their lines include
// both ends and reach half a pen width beyond them. Wide lines of one pen are
// collected and painted together before anything else happens to the canvas,
// which makes thousands of short wide segments cheap; the result is the same
// as painting each at once. Coordinates far outside the raster are fine:
// lines are clipped exactly, not walked.
class TCanvas {
 public:
  // Value an out-of-range Pixel read returns (no TColor has a top byte).
  static constexpr TColor kNoPixel = 0xFFFFFFFFu;

  TCanvas() = default;
  // A white canvas of the given size.
  TCanvas(int Width, int Height);

  int Width() const noexcept { return fWidth; }
  int Height() const noexcept { return fHeight; }
  TRect ClientRect() const noexcept { return {0, 0, Width(), Height()}; }
  // Changes the size; the overlapping part keeps its pixels, new pixels are
  // white. Negative sizes count as 0; a canvas with one side 0 has no pixels
  // but keeps the other side for a later SetWidth or SetHeight.
  void SetSize(int Width, int Height);
  void SetWidth(int Width) { SetSize(Width, Height()); }
  void SetHeight(int Height) { SetSize(Width(), Height); }

  TColor PenColor() const noexcept { return fPenColor; }
  void SetPenColor(TColor Color);
  // Widths below 1 paint like 1.
  int PenWidth() const noexcept { return fPenWidth; }
  void SetPenWidth(int Width);
  TColor BrushColor() const noexcept { return fBrushColor; }
  void SetBrushColor(TColor Color) noexcept { fBrushColor = Color; }

  TPoint PenPos() const noexcept { return fPenPos; }
  void MoveTo(int X, int Y) noexcept { fPenPos = {X, Y}; }
  // A line in the pen from the pen position to (X, Y), which becomes the pen
  // position.
  void LineTo(int X, int Y);
  // Move-to the first point, line-to each following one.
  void Polyline(std::span<const TPoint> Points);
  // Fills the polygon (even-odd rule) with the brush, then outlines it,
  // closed, with the pen.
  void Polygon(std::span<const TPoint> Points);

  // Fills columns Left .. Right − 1 and rows Top .. Bottom − 1 with the brush.
  void FillRect(const TRect& Rect);
  // A one-pixel border in the brush colour along the edges of that area.
  void FrameRect(const TRect& Rect);

  // Copies SourceRect of Source into DestRect, scaling when the sizes differ.
  void CopyRect(const TRect& DestRect, const TCanvas& Source, const TRect& SourceRect);
  // Copies all of Source with its top-left corner at (X, Y).
  void Draw(int X, int Y, const TCanvas& Source);
  // Like Draw, but Source pixels of TransparentColor leave this canvas as is.
  void DrawTransparent(int X, int Y, const TCanvas& Source, TColor TransparentColor);

  // kNoPixel outside the raster.
  TColor Pixel(int X, int Y) const;
  // Does nothing outside the raster.
  void SetPixel(int X, int Y, TColor Color);

  // Row Y as 32-bit pixels 0xFFRRGGBB (QImage RGB32); Y must be inside.
  std::uint32_t* ScanLine(int Y);
  const std::uint32_t* ScanLine(int Y) const;
  // Row Y as 24-bit pixels, three bytes blue, green, red per pixel (the order
  // of a 24-bit BMP row); the buffer holds 3 · Width bytes.
  void ReadRow24(int Y, std::uint8_t* BGR) const;
  void WriteRow24(int Y, const std::uint8_t* BGR);

  // The picture as a 24-bit uncompressed BMP file.
  std::string EncodeBMP() const;
  // Writes EncodeBMP to Path through a temporary file, so a failure never
  // leaves a half-written picture in place of a good one. Throws EFileError,
  // also for an empty canvas.
  void SaveToBMP(const std::string& Path) const;

  // The pixels, with every pending wide line painted.
  const QImage& Image() const;
  QImage& Image();

  // Paints pending wide lines now.
  void Flush() const;

  static std::uint32_t ToRGB32(TColor Color) noexcept {
    return 0xFF000000u | ((Color & 0xFFu) << 16) | (Color & 0xFF00u) | ((Color >> 16) & 0xFFu);
  }
  static TColor FromRGB32(std::uint32_t Pixel) noexcept {
    return ((Pixel >> 16) & 0xFFu) | (Pixel & 0xFF00u) | ((Pixel & 0xFFu) << 16);
  }

 private:
  void ThinLine(int x0, int y0, int x1, int y1, bool includeEnd);
  void FillSpan(int y, int xFrom, int xTo, std::uint32_t value);

  // mutable: reading the pixels paints what is pending first.
  mutable QImage fImage;  // null while a side is 0
  int fWidth = 0;
  int fHeight = 0;
  mutable TWideStroke fPending;
  mutable std::uint32_t fPendingValue = 0;
  TColor fPenColor = 0;
  int fPenWidth = 1;
  TColor fBrushColor = clWhite;
  TPoint fPenPos;
};

}  // namespace sondralis
