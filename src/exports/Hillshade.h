#pragma once

// Shaded relief: the depth picture lit from the north-west, so holes, humps
// and drop-offs stand out.

#include <cstdint>

#include "exports/ExportGrid.h"
#include "model/Feedback.h"
#include "view/Canvas.h"

namespace sondralis {

// The vertical exaggeration the relief is shaded with unless one is asked
// for: a drop of 1 m over 10 m then brightens the slope facing the light by
// about a fifth and darkens the one facing away by a third.
inline constexpr double kDefaultExaggeration = 3;

// The light on each covered cell relative to flat bottom, [column][row]: 1
// on flat bottom, more on slopes facing the light, less on those facing
// away, 0 where the light does not reach; NaN on cells not covered. The
// light comes from the north-west (azimuth 315°) at 45° above the horizon;
// the slopes are Horn's, of the bottom (the depth taken downwards) in the
// grid's local metres, steepened by Exaggeration. GDAL's hillshade computes
// it; cells beside uncovered ones are shaded from the neighbours they have.
// Throws std::invalid_argument for an exaggeration that is not above 0.
TPixelArray<float> ReliefLight(const TExportGrid& Grid, double Exaggeration, TFeedback& Feedback);

// A pixel 0xAARRGGBB as ShadeRelief shades it, made opaque: each channel
// darkened towards black by a light below 1 and lightened towards white by
// the light above 1 (all the way at 2).
std::uint32_t ShadePixel(std::uint32_t Pixel, float Light) noexcept;

// The picture (of the grid's size) with its covered cells shaded: a colour
// is darkened towards black by the light below 1 and lightened towards white
// by the light above 1; the other pixels stay as they are.
TCanvas ShadeRelief(const TCanvas& Picture, const TExportGrid& Grid, double Exaggeration, TFeedback& Feedback);
// The same with the light already known (ReliefLight of the picture's grid):
// pixels whose light is NaN stay as they are.
TCanvas ShadeRelief(const TCanvas& Picture, const TPixelArray<float>& Light);

}  // namespace sondralis
