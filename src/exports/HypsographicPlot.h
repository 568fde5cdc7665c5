#pragma once

// The hypsographic curve of a lake as a small plot for the printed chart:
// how much of the lake's bottom, and of its water, lies below each depth.

#include <QPainter>
#include <QRectF>

#include "exports/LakeReport.h"

namespace sondralis {

// The rectangle of the plot's axes inside Frame: what is left of it beside
// the title and the axis labels.
QRectF HypsographicAxes(const QRectF& Frame);

// Paints into Frame: the title "Hypsographic curve", depth downwards on the
// vertical axis (0 at the top, the deepest level at the bottom, ticks in
// metres) and on the horizontal axis (0 to 100 %, ticks every 25 %) the
// share of the surveyed bottom at each level or deeper (solid line) and of
// the water below it (dashed line), with their key. Vector lines, so it
// prints sharp at any size; the painter's state is restored afterwards. A
// report without levels gets the frame and the title only.
void PaintHypsographicCurve(QPainter& Painter, const QRectF& Frame, const TLakeReport& Report);

}  // namespace sondralis
