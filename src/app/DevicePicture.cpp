#include "app/DevicePicture.h"

#include <cmath>

namespace sondralis {

bool DrawAtRatio(const TGPXDraw& View, double Ratio, TCanvas& Into) {
  if (!View.GPXd || !View.BBox.Complete || View.BBox.Rm == 0 || View.Width() <= 0 || View.Height() <= 0 ||
      !std::isfinite(Ratio) || Ratio <= 0)
    return false;
  const int width = static_cast<int>(std::ceil(View.Width() * Ratio));
  const int height = static_cast<int>(std::ceil(View.Height() * Ratio));
  TGPXDraw display;
  // Column 0 stays at the view's west edge and the bottom row at its south
  // edge; Ratio times the pixels per degree puts every point Ratio times as
  // far from them.
  display.BBox = View.BBox;
  display.BBox.Rm *= Ratio;
  display.BBox.Rx *= Ratio;
  display.BBox.Ry *= Ratio;
  display.Resize(width, height);
  display.GPXd = View.GPXd;
  display.filled = View.filled;
  display.Options = View.Options;
  display.TrackWidth = std::max(1, static_cast<int>(std::lround(View.TrackWidth * Ratio)));
  display.DepthColorShallow = View.DepthColorShallow;
  display.DepthColorDeep = View.DepthColorDeep;
  display.MaxDepth = View.MaxDepth;
  display.ShadowMapEnabled = false;
  Into.SetSize(width, height);
  display.Canvas = &Into;
  display.Redraw();
  display.GPXd = nullptr;
  return true;
}

}  // namespace sondralis
