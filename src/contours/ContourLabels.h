#pragma once

// Depth labels along contour lines, as on a printed chart: the depth in
// metres, set along a stretch of line that is long and straight enough to
// carry it, never over another label, over another line or over the parts
// of the chart that are not map (legend, scale bar, title).

#include <functional>
#include <string>
#include <vector>

#include "contours/ChartTracer.h"

namespace sondralis {

// A level as a chart writes it: metres, with one decimal when the step is
// below 1 m ("3", "3.5") and two where a level needs them to be exact
// ("3.25" at a 25 cm step).
std::string DepthLabelText(int Level, int Step);

// The levels a chart draws bold and labels first: every whole metre at a
// step below 1 m, every fifth level otherwise.
bool IsIndexLevel(int Level, int Step);

// A rectangle turned by Angle (radians, clockwise on the map as rows grow
// downwards) about its centre; positions in pixels of the depth grid.
struct TLabelBox {
  TChartPoint Centre;
  double Width = 0;
  double Height = 0;
  double Angle = 0;
  // An upright rectangle from its corners.
  static TLabelBox Upright(double X0, double Y0, double X1, double Y1);
  bool Overlaps(const TLabelBox& Other) const;
  // True when the segment A→B passes through the rectangle.
  bool Meets(const TChartPoint& A, const TChartPoint& B) const;
};

struct TContourLabel {
  int Line = 0;       // index of the line it belongs to
  int Level = 0;      // centimetres
  std::string Text;   // as DepthLabelText gives it
  TLabelBox Box;      // where it is written; the text runs along Box.Angle, never upside down
};

struct TLabelStyle {
  int Step = 100;            // the step between levels, for the number of decimals
  double TextHeight = 10;    // height of the text, grid pixels
  // Width of a text, grid pixels: the painter measures with its font.
  std::function<double(const std::string&)> TextWidth;
  double Padding = 2;        // free line before and after the text, grid pixels
  double MaxBend = 1.5;      // how far the line may stray from a straight one under the text, grid pixels
  double Spacing = 200;      // least distance along one line between two of its labels, grid pixels
  // The levels whose lines a label may not cover; empty: every level. Where
  // lines crowd, a chart lets the labels of its bold lines run over the
  // thin ones between them.
  std::function<bool(int Level)> Blocking;
  // The levels labelled first, before the longest lines of the others;
  // empty: none comes first.
  std::function<bool(int Level)> First;
};

// Places labels: the lines of the First levels, then the others, each group
// longest first; on each line at its straightest stretches, as many as its
// length allows at the given spacing, each where it overlaps no label placed
// before, no obstacle and no other line of a Blocking level. Lines too short
// or too bent for their text get none.
std::vector<TContourLabel> PlaceContourLabels(const std::vector<TChartLine>& Lines, const TLabelStyle& Style,
                                              const std::vector<TLabelBox>& Obstacles);

// Where a single label for a line would go: the middle of its straightest
// stretch of the given length (the middle of the line when it is shorter).
TChartPoint LabelSpot(const std::vector<TChartPoint>& Points, double Length);

}  // namespace sondralis
