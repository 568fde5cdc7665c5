#pragma once

// How far each cell of a map lies from a measurement: the distance from its
// centre to the nearest sounding, in metres, so a user can see where the map
// is measured and where it is guessed.

#include <array>
#include <span>

#include "exports/ExportGrid.h"
#include "model/Feedback.h"

namespace sondralis {

// Distances in metres per cell of a grid, [column][row]; NaN where there is
// none.
using TDistanceArray = TPixelArray<float>;

// For every covered cell of the grid, the distance from its centre to the
// nearest of the soundings (longitude, latitude), measured in the grid's
// local plane; NaN for the other cells, and everywhere when there are no
// soundings. Checks for cancellation once per column (throws TCanceled).
TDistanceArray NearestSoundingDistances(const TExportGrid& Grid, std::span<const std::array<float, 2>> Soundings,
                                        TFeedback& Feedback);

}  // namespace sondralis
