#include "exports/ChartRaster.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "exports/Hillshade.h"
#include "view/Canvas.h"

namespace sondralis {

namespace {

// Where the pixels of one axis fall on the grid: the cell under each
// pixel's centre, and the two cell centres around it with the weight of
// the second.
struct TAxis {
  std::vector<int> Cell;
  std::vector<int> Low;
  std::vector<float> Weight;

  TAxis(int Pixels, int Cells) : Cell(Pixels), Low(Pixels), Weight(Pixels) {
    const double scale = static_cast<double>(Cells) / Pixels;
    for (int p = 0; p < Pixels; ++p) {
      const double at = (p + 0.5) * scale;  // in cell widths from the grid's outer edge
      Cell[p] = std::clamp(static_cast<int>(at), 0, Cells - 1);
      // Cell centres sit at whole numbers here; beyond the outermost
      // centres the outermost cell alone counts.
      const double u = std::clamp(at - 0.5, 0.0, static_cast<double>(Cells - 1));
      Low[p] = std::min(static_cast<int>(u), std::max(Cells - 2, 0));
      Weight[p] = static_cast<float>(u - Low[p]);
    }
  }
};

// The bilinear mean of a cell and its neighbours east, south and
// south-east, those that are NaN left out; NaN when all four are.
template <typename T>
double Bilinear(const TPixelArray<T>& A, int X, int Y, float Wx, float Wy) {
  const int x1 = std::min(X + 1, A.Width() - 1), y1 = std::min(Y + 1, A.Height() - 1);
  const double v[4] = {A[X][static_cast<std::size_t>(Y)], A[x1][static_cast<std::size_t>(Y)],
                       A[X][static_cast<std::size_t>(y1)], A[x1][static_cast<std::size_t>(y1)]};
  const double w[4] = {(1.0 - Wx) * (1.0 - Wy), Wx * (1.0 - Wy), (1.0 - Wx) * Wy, static_cast<double>(Wx) * Wy};
  double sum = 0, weight = 0;
  for (int i = 0; i < 4; ++i)
    if (std::isfinite(v[i])) {
      sum += w[i] * v[i];
      weight += w[i];
    }
  return weight > 0 ? sum / weight : std::nan("");
}

}  // namespace

QImage RenderDepthRaster(const TDepthArray& Depths, int Width, int Height, const TRasterStyle& Style) {
  const int columns = Depths.Width(), rows = Depths.Height();
  if (columns < 1 || rows < 1 || Width < 1 || Height < 1)
    throw std::invalid_argument("a depth raster needs a grid and a picture of at least one cell");
  if (Style.Light && (Style.Light->Width() != columns || Style.Light->Height() != rows))
    throw std::invalid_argument("the relief's light is not of the depth grid's size");
  const TAxis across(Width, columns), down(Height, rows);
  const std::uint32_t hatch = TCanvas::ToRGB32(Style.SafetyColor);
  const int spacing = std::max(Style.HatchSpacing, 1);

  // The ramp in 4096 steps: a colour is then off by a small fraction of one
  // of its 256 levels, and a page of millions of pixels blends 4097 times.
  constexpr int kSteps = 4096;
  std::vector<std::uint32_t> ramp(kSteps + 1);
  for (int i = 0; i <= kSteps; ++i)
    ramp[static_cast<std::size_t>(i)] =
        TCanvas::ToRGB32(BlendColors(Style.Shallow, Style.Deep, static_cast<double>(i) / kSteps));
  const double perCm = Style.MaxDepth > 0 ? kSteps / static_cast<double>(Style.MaxDepth) : 0;

  QImage image(Width, Height, QImage::Format_ARGB32);
  for (int py = 0; py < Height; ++py) {
    auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(py));
    const int cy = down.Cell[static_cast<std::size_t>(py)], y0 = down.Low[static_cast<std::size_t>(py)];
    const float wy = down.Weight[static_cast<std::size_t>(py)];
    for (int px = 0; px < Width; ++px) {
      const int cx = across.Cell[static_cast<std::size_t>(px)];
      if (!std::isfinite(Depths[cx][static_cast<std::size_t>(cy)])) {
        row[px] = 0;
        continue;
      }
      const int x0 = across.Low[static_cast<std::size_t>(px)];
      const float wx = across.Weight[static_cast<std::size_t>(px)];
      double depth = Bilinear(Depths, x0, y0, wx, wy);
      // The four centres around may all lie outside the coverage while the
      // cell under the pixel does not (a one-cell spit): its own depth then.
      if (!std::isfinite(depth)) depth = Depths[cx][static_cast<std::size_t>(cy)];
      if (Style.SafetyDepth > 0 && depth < Style.SafetyDepth && (px + py) % spacing < Style.HatchWidth) {
        row[px] = hatch;
        continue;
      }
      const double step = std::clamp(depth * perCm, 0.0, static_cast<double>(kSteps));
      std::uint32_t pixel = ramp[static_cast<std::size_t>(step + 0.5)];
      if (Style.Light) {
        const double light = Bilinear(*Style.Light, x0, y0, wx, wy);
        if (std::isfinite(light)) pixel = ShadePixel(pixel, static_cast<float>(light));
      }
      row[px] = pixel;
    }
  }
  return image;
}

}  // namespace sondralis
