#pragma once

// Smoothing that is safe for a boat: contour lines lose their small
// wiggles, but a line only ever moves towards deeper water, so the water
// marked shallower than a level can grow and never shrink.

#include <vector>

#include "contours/ChartTracer.h"
#include "interpolation/CommonTypes.h"
#include "model/Feedback.h"

namespace sondralis {

// The largest distance in pixels a smoothed point may stray from where the
// tracer put it.
inline constexpr double kSmoothMaxShift = 1.0;
// How much shallower than its level the water under a smoothed line may be
// (centimetres): the depths between nodes are interpolated, and a line on
// its level has exactly that depth only up to rounding.
inline constexpr double kSmoothDepthMargin = 1.0;

// Passes of corner cutting on every line. A point moves halfway towards the
// middle of its two neighbours only when it lies on the shallow side of the
// line between them (the corner points into shallower water, so cutting it
// moves the line into deeper water), when both new segments keep a depth of
// at least the level less kSmoothDepthMargin all along (bilinear between the
// nodes of Depths, the grid the lines were traced on), when the point stays
// within kSmoothMaxShift of where it was traced, and when neither new
// segment crosses or touches any line. The ends of a line that stops at the
// edge of the covered water stay where they are. Checks Feedback's
// cancellation flag before each pass and throws TCanceled.
void SmoothContours(std::vector<TChartLine>& Lines, const TDepthArray& Depths, int Passes, TFeedback& Feedback);

}  // namespace sondralis
