#pragma once

// The contour picture of the chart path: the chart lines drawn in their
// levels' colours on the pixel grid they were traced on, with depth labels
// along them. Like every picture of the pipeline it is made of whole pixels
// in exact colours (no antialiasing, the labels in stroke digits), so it is
// the same on every machine and needs no GUI application.

#include <vector>

#include "contours/ChartTracer.h"
#include "contours/ContourLabels.h"
#include "model/ColorInterpolate.h"
#include "view/Canvas.h"

namespace sondralis {

struct TChartPictureStyle {
  // A level's colour is BlendColors(Shallow, Deep, level / MaxDepth), as on
  // the classic contour picture.
  TColor Shallow = clRed;
  TColor Deep = clBlue;
  int MaxDepth = 0;
  int Step = 100;  // centimetres between levels: the labels' decimals
  bool Labels = true;
  double TextHeight = 8;  // pixels, the height of a digit
  // Parts of the picture labels keep clear of (the legend the window shows
  // over it); the picture's edges are kept clear anyway.
  std::vector<TLabelBox> Obstacles;
};

// Draws the lines onto Picture (node (i, j) of the traced grid is pixel
// (i, j)), one pixel wide, then the labels: each on a white ground in its
// line's colour, where PlaceContourLabels finds room. Returns the labels
// drawn.
std::vector<TContourLabel> DrawChartPicture(TCanvas& Picture, const std::vector<TChartLine>& Lines,
                                            const TChartPictureStyle& Style);

}  // namespace sondralis
