#include "contours/ChartPicture.h"

#include <algorithm>
#include <cmath>

#include "view/StrokeText.h"

namespace sondralis {

namespace {

int Nearest(double v) { return static_cast<int>(std::nearbyint(v)); }

// The corners of a label's box on the picture, widened by Margin pixels.
std::vector<TPoint> Corners(const TLabelBox& Box, double Margin) {
  const double c = std::cos(Box.Angle), s = std::sin(Box.Angle);
  const double hw = Box.Width / 2 + Margin, hh = Box.Height / 2 + Margin;
  std::vector<TPoint> corners;
  for (const auto& [u, v] : {std::pair{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}, {-hw, -hh}})
    corners.push_back({Nearest(Box.Centre.X + u * c - v * s), Nearest(Box.Centre.Y + u * s + v * c)});
  return corners;
}

}  // namespace

std::vector<TContourLabel> DrawChartPicture(TCanvas& Picture, const std::vector<TChartLine>& Lines,
                                            const TChartPictureStyle& Style) {
  const auto colour = [&](int level) {
    return BlendColors(Style.Shallow, Style.Deep, Style.MaxDepth > 0 ? static_cast<double>(level) / Style.MaxDepth : 0.0);
  };
  Picture.SetPenWidth(1);
  for (const TChartLine& line : Lines) {
    if (line.Points.empty()) continue;
    const TColor c = colour(line.Level);
    Picture.SetPenColor(c);
    Picture.MoveTo(Nearest(line.Points.front().X), Nearest(line.Points.front().Y));
    for (const TChartPoint& p : line.Points) Picture.LineTo(Nearest(p.X), Nearest(p.Y));
    // A line-to leaves out its end pixel.
    Picture.SetPixel(Nearest(line.Points.back().X), Nearest(line.Points.back().Y), c);
  }
  if (!Style.Labels || Lines.empty()) return {};

  const int W = Picture.Width(), H = Picture.Height();
  const double h = Style.TextHeight;
  TLabelStyle style;
  style.Step = Style.Step;
  // The white ground reaches two pixels beyond the digits.
  style.TextHeight = h + 4;
  style.TextWidth = [h](const std::string& text) { return StrokeTextWidth(text, h) + 4; };
  style.Padding = 2;
  style.MaxBend = 1;
  style.Spacing = std::max(W, H) / 2.5;
  const int step = Style.Step;
  style.First = [step](int level) { return IsIndexLevel(level, step); };
  // Below a metre's step the lines crowd: labels of the whole metres may
  // cover the lines between them.
  if (step < 100) style.Blocking = style.First;
  std::vector<TLabelBox> obstacles = Style.Obstacles;
  // No label runs over the picture's edges.
  const double edge = 2;
  obstacles.push_back(TLabelBox::Upright(-W, -H, 2.0 * W, edge));
  obstacles.push_back(TLabelBox::Upright(-W, H - 1 - edge, 2.0 * W, 2.0 * H));
  obstacles.push_back(TLabelBox::Upright(-W, -H, edge, 2.0 * H));
  obstacles.push_back(TLabelBox::Upright(W - 1 - edge, -H, 2.0 * W, 2.0 * H));
  std::vector<TContourLabel> labels = PlaceContourLabels(Lines, style, obstacles);

  Picture.SetPenColor(clWhite);
  Picture.SetBrushColor(clWhite);
  for (const TContourLabel& label : labels) Picture.Polygon(Corners(label.Box, 0));
  for (const TContourLabel& label : labels)
    DrawStrokeText(Picture, label.Text, label.Box.Centre.X, label.Box.Centre.Y, h, label.Box.Angle,
                   colour(label.Level));
  return labels;
}

}  // namespace sondralis
