#pragma once

// chart.pdf: the chart to print, on A4 or A3 landscape. The map as the
// chart painter paints it (depth colours, contour lines and their labels,
// the shoreline, legend, scale bar, north arrow, title and dates) with
// latitude and longitude ticks along its frame, and beside it the lake's
// figures, the hypsographic curve and the key to the relief and the safety
// depth. Lines and text are vectors; the depth colours are a raster at the
// paper's 300 dpi.

#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

#include "exports/ChartPainter.h"
#include "exports/LakeReport.h"
#include "model/Feedback.h"

namespace sondralis {

enum class TPaper { A4, A3 };

// "A4" or "A3".
const char* PaperName(TPaper Paper);

// What the printed chart shows.
struct TChartSheet {
  // The map. Its Picture is made for the paper: leave it null.
  TChartContent Chart;
  // The shaded relief's light per cell of Chart.Depths and its vertical
  // exaggeration; null: no relief.
  const TPixelArray<float>* Light = nullptr;
  double Exaggeration = 0;
  // Above 0: water shallower than this is hatched; Chart.SafetyLines holds
  // its contour.
  int SafetyDepth = 0;
  // The lake's figures and its hypsographic curve; null leaves them out.
  const TLakeReport* Report = nullptr;
};

// One tick of the latitude and longitude frame.
struct TGraticuleTick {
  double Degrees = 0;
  std::string Label;  // "47°13′N", "8°38′30″E"
};

// The ticks between From and To degrees (of latitude, or of longitude) at
// the smallest round step (1, 2, 5, 10, 15 or 30 seconds or minutes, or
// whole degrees) that gives no more than MaxTicks of them, labelled to the
// step's precision.
std::vector<TGraticuleTick> GraticuleTicks(double From, double To, int MaxTicks, bool Latitude);

// Paints the whole sheet into Page, whose units are pixels at Dpi dots per
// inch (text and lines are sized in points and millimetres from it).
void PaintChartSheet(QPainter& Painter, const QRectF& Page, double Dpi, const TChartSheet& Sheet);

// Writes the sheet as a one-page PDF on the paper, landscape, atomically.
// Throws EFileError, std::invalid_argument for a chart without depths, and
// TCanceled when the feedback is cancelled before the page is done.
void WriteChartPDF(const std::string& Path, const TChartSheet& Sheet, TPaper Paper, TFeedback& Feedback);

}  // namespace sondralis
