#pragma once

#include "model/ColorInterpolate.h"
#include "view/Canvas.h"

namespace sondralis {

// Paints a legend strip of the depth colours: column i of a strip W pixels
// wide gets the blend at ratio i / W over its whole height, so the first
// column is exactly the shallow colour and the pure deep colour is never
// reached.
void DrawColorRange(TCanvas& Strip, TColor Shallow, TColor Deep);

}  // namespace sondralis
