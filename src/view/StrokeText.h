#pragma once

// Numbers written into the pipeline's pictures: the digits, the decimal
// point and the minus sign drawn as strokes with the canvas's one-pixel
// lines, at any height and angle. No font file and no GUI application is
// needed, and every machine gets the same pixels, as with everything else
// in these pictures. Other characters leave a gap the width of a digit.

#include <string_view>

#include "model/ColorInterpolate.h"
#include "view/Canvas.h"

namespace sondralis {

// The width of Text in pixels at a height of Height pixels (the height of
// a digit).
double StrokeTextWidth(std::string_view Text, double Height);

// Draws Text centred on (X, Y) in Color, its baseline turned by Angle
// (radians, clockwise on the picture as rows grow downwards).
void DrawStrokeText(TCanvas& Canvas, std::string_view Text, double X, double Y, double Height, double Angle,
                    TColor Color);

}  // namespace sondralis
