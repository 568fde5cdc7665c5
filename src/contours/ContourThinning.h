#pragma once

// Thinning of contour lines that keeps them apart: the Douglas–Peucker
// reduction, with the shortcuts checked against all lines, so that a thinned
// line never crosses or touches another line or itself.

#include <vector>

#include "contours/ChartTracer.h"
#include "interpolation/CommonTypes.h"
#include "model/Feedback.h"

namespace sondralis {

// Replaces runs of points by straight shortcuts where every point of the run
// lies within Tolerance pixels of its shortcut (Douglas–Peucker). A ring
// keeps at least three points. With OneSided, a shortcut must also leave all
// points of its run on its shallow side or on it and keep a depth of at
// least the level less kSmoothDepthMargin all along: the line then only
// moves towards deeper water, as the smoothing does. Depths are the grid
// the lines were traced on.
//
// Then every shortcut is checked against all lines as they have become;
// one that crosses or touches another segment is split at its farthest
// point, again and again, until nothing meets anything. Checks Feedback's
// cancellation flag before each level and throws TCanceled.
void ThinContours(std::vector<TChartLine>& Lines, const TDepthArray& Depths, double Tolerance, bool OneSided,
                  TFeedback& Feedback);

// The second half of ThinContours after a reduction made elsewhere:
// Kept[l][i] says whether point i of line l stays (the two ends of a line
// stay in any case). Every run of points left out becomes a shortcut that is
// checked against all lines as they have become; one that crosses or
// touches another segment is split at its farthest point and the pieces are
// thinned again at Tolerance, until nothing meets anything. Kept then says
// which points stay. The lines lie within Width × Height, in any frame
// whose two axes have one scale (Tolerance is a distance in it). Checks
// Feedback's cancellation flag first and throws TCanceled.
void KeepShortcutsApart(const std::vector<TChartLine>& Lines, std::vector<std::vector<char>>& Kept, int Width,
                        int Height, double Tolerance, TFeedback& Feedback);

}  // namespace sondralis
