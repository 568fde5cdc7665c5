#pragma once

// The depth picture of a chart at the resolution it is printed at. A run's
// grid has a cell per screen pixel, which on paper is a third of a
// millimetre or more: drawn as it is, a printed chart would show the cells
// as blocks. Here each printed pixel gets the depth interpolated bilinearly
// between the four nearest cell centres, so the colours run smoothly and
// their bands follow the chart's contour lines (which are traced linearly
// along the same cells' edges).

#include <QImage>

#include "interpolation/CommonTypes.h"
#include "model/ColorInterpolate.h"

namespace sondralis {

struct TRasterStyle {
  // The depth picture's colour ramp: depth 0 in Shallow, MaxDepth in Deep.
  TColor Shallow = clRed;
  TColor Deep = clBlue;
  int MaxDepth = 0;
  // The shaded relief's light per cell (ReliefLight of the same grid),
  // interpolated as the depths are; null leaves the colours unshaded.
  const TPixelArray<float>* Light = nullptr;
  // Above 0: water shallower than this many centimetres is hatched with
  // diagonal lines in SafetyColor, HatchWidth pixels wide and HatchSpacing
  // pixels apart, running from lower left to upper right.
  int SafetyDepth = 0;
  TColor SafetyColor = 0xFF00FF;
  int HatchSpacing = 18;
  int HatchWidth = 2;
};

// The grid's depths (W × H cells, NaN where there is none) as a picture of
// Width × Height pixels spanning the grid's outer cell edges. A pixel is
// transparent where the cell under its centre has no depth; elsewhere it
// takes the depth picture's colour of the depth interpolated between the
// centres of the four cells around it, those without a depth left out.
// Throws std::invalid_argument for an empty grid or picture, or a light of
// another size.
QImage RenderDepthRaster(const TDepthArray& Depths, int Width, int Height, const TRasterStyle& Style);

}  // namespace sondralis
