#include "exports/SafetyDepth.h"

#include <cmath>
#include <stdexcept>
#include <vector>

#include "contours/MovingSquares.h"

namespace sondralis {

namespace {

constexpr int kHatchSpacing = 6;

void CheckSize(const TCanvas& Picture, const TExportGrid& Grid) {
  if (Picture.Width() != Grid.Columns() || Picture.Height() != Grid.Rows())
    throw std::invalid_argument("the picture is not of the depth grid's size");
}

}  // namespace

void HatchShallowWater(TCanvas& Picture, const TExportGrid& Grid, int SafetyDepth, TColor Color) {
  Grid.Check();
  CheckSize(Picture, Grid);
  const std::uint32_t ink = TCanvas::ToRGB32(Color);
  for (int y = 0; y < Grid.Rows(); ++y) {
    std::uint32_t* row = Picture.ScanLine(y);
    // Pixels with x + y on the hatch: one in kHatchSpacing along the row.
    for (int x = (kHatchSpacing - y % kHatchSpacing) % kHatchSpacing; x < Grid.Columns(); x += kHatchSpacing)
      if (Grid.Covered(x, y) && Grid.Depth[x][static_cast<std::size_t>(y)] < SafetyDepth) row[x] = ink;
  }
}

void TraceSafetyContour(TGPX& Lines, const TGPXDraw& Grid, const TCanvas& Picture, const TBooleanArray& Mask,
                        TColor Shallow, TColor Deep, int MaxDepth, int SafetyDepth, TFeedback& Feedback) {
  Lines.Clear();
  if (Feedback.Canceled()) throw TCanceled{};
  if (MaxDepth <= 0 || SafetyDepth < 0) return;
  TCanvas scratch;
  TMovingSquares tracer(Lines, Grid, scratch, Picture, Mask);
  tracer.clShallow = Shallow;
  tracer.clDeep = Deep;
  // One level: the step takes the next one beyond the deepest.
  tracer.GenerateISO(SafetyDepth, MaxDepth, MaxDepth + 2);
}

void DrawBoldLines(TCanvas& Picture, const TExportGrid& Grid, const TGPX& Lines, TColor Color, int Width) {
  Grid.Check();
  CheckSize(Picture, Grid);
  Picture.SetPenColor(Color);
  Picture.SetPenWidth(Width);
  for (const TGPXtrk* track : Lines.trk)
    for (const TGPXtrkseg* segment : *track) {
      std::vector<TPoint> points;
      points.reserve(static_cast<std::size_t>(segment->Count()));
      for (const TPoint4D2* p : *segment)
        points.push_back({static_cast<int>(std::lround(Grid.ColumnOf(p->Longitude))),
                          static_cast<int>(std::lround(Grid.RowOf(p->Latitude)))});
      if (points.size() >= 2) Picture.Polyline(points);
    }
  Picture.Flush();
}

}  // namespace sondralis
