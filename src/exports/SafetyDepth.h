#pragma once

// The safety depth: water shallower than the depth a boat needs, marked in
// every picture, and the contour at that depth drawn bold.

#include "exports/ExportGrid.h"
#include "interpolation/CommonTypes.h"
#include "model/ColorInterpolate.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

// Magenta, the colour charts keep for dangers; it stands out from every
// colour of a red-to-blue depth ramp.
inline constexpr TColor kSafetyColor = 0xFF00FF;

// Hatches the covered cells shallower than SafetyDepth (centimetres) on a
// picture of the grid's size with diagonal lines in Color, one pixel wide
// and six apart (running from lower left to upper right), so the depth
// colours stay visible between them. Throws std::invalid_argument for a
// picture of another size.
void HatchShallowWater(TCanvas& Picture, const TExportGrid& Grid, int SafetyDepth, TColor Color = kSafetyColor);

// The contour at SafetyDepth, traced through the depth picture as the ISO
// map traces its levels (same tracer, same colour ramp, so it lies where a
// level of that depth would), into Lines, which it empties first. Grid is
// the map view the picture was made in, Mask its coverage, and Shallow,
// Deep and MaxDepth the picture's colour ramp. A safety depth beyond the
// deepest level leaves Lines empty. Checks for cancellation before it
// traces (throws TCanceled).
void TraceSafetyContour(TGPX& Lines, const TGPXDraw& Grid, const TCanvas& Picture, const TBooleanArray& Mask,
                        TColor Shallow, TColor Deep, int MaxDepth, int SafetyDepth, TFeedback& Feedback);

// Draws every segment of the lines' tracks onto a picture of the grid with
// a round pen Width pixels wide.
void DrawBoldLines(TCanvas& Picture, const TExportGrid& Grid, const TGPX& Lines, TColor Color = kSafetyColor,
                   int Width = 3);

}  // namespace sondralis
