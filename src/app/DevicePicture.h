#pragma once

#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

// Draws what View shows at Ratio device pixels per pixel of the view, for a
// screen whose pixels are finer than the window's (a laptop's 2x screen):
// the same extent, the same colours, lines Ratio times as wide, on a
// picture Ratio times the view's size (rounded up). The view itself, its
// picture and the coverage raster stay as they are: the pipeline keeps the
// view's pixel grid. False (Into untouched) when the view shows nothing.
bool DrawAtRatio(const TGPXDraw& View, double Ratio, TCanvas& Into);

}  // namespace sondralis
