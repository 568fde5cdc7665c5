#include "exports/Hillshade.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "exports/GdalModule.h"

namespace sondralis {

namespace {

constexpr double kAzimuth = 315;
constexpr double kAltitude = 45;
// Marks the cells without a depth for GDAL, far from any bottom.
constexpr float kNoBottom = -1e10f;

}  // namespace

TPixelArray<float> ReliefLight(const TExportGrid& Grid, double Exaggeration, TFeedback& Feedback) {
  Grid.Check();
  if (!(Exaggeration > 0) || !std::isfinite(Exaggeration))
    throw std::invalid_argument("the vertical exaggeration must be a number above 0");
  const int columns = Grid.Columns(), rows = Grid.Rows();
  const gdal::IModule& module = gdal::Module("the relief");

  // The bottom in metres, upwards, row after row.
  gdal::THillshadeRequest request;
  request.Columns = columns;
  request.Rows = rows;
  std::vector<float> values(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), kNoBottom);
  for (int x = 0; x < columns; ++x)
    for (int y = 0; y < rows; ++y)
      if (Grid.Covered(x, y))
        values[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)] =
            static_cast<float>(-Grid.Depth[x][static_cast<std::size_t>(y)] / 100);
  request.Values = values;
  request.NoData = kNoBottom;
  // Cells in metres: the hillshade then needs no scale between the
  // horizontal and the vertical units.
  const TLocalPlane plane(Grid.Extent);
  request.Transform = {0, Grid.CellWidth() * plane.MetresPerLon, 0, 0, 0, -Grid.CellHeight() * plane.MetresPerLat};
  request.Arguments = {"-of", "MEM", "-compute_edges", "-az", ShortestText(kAzimuth), "-alt",
                       ShortestText(kAltitude), "-z", ShortestText(Exaggeration)};
  if (Feedback.Canceled()) throw TCanceled{};
  std::vector<std::uint8_t> bytes;
  gdal::Check(module.Hillshade(request, bytes), "the relief");

  // GDAL's hillshade is 1 + 254 · cos(angle between the light and the
  // bottom's normal) in whole steps, 0 where it has no value; flat bottom
  // gets sin(45°), which falls between two steps: within half a step it is
  // taken for flat, so flat bottom keeps its colour exactly.
  const double flat = std::sin(kAltitude * std::numbers::pi / 180);
  const double halfStep = 0.5 / 254 / flat;
  TPixelArray<float> light(columns, rows);
  for (int x = 0; x < columns; ++x) {
    auto column = light[x];
    for (int y = 0; y < rows; ++y) {
      const std::uint8_t b = bytes[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)];
      if (!Grid.Covered(x, y) || b == 0) {
        column[static_cast<std::size_t>(y)] = std::numeric_limits<float>::quiet_NaN();
        continue;
      }
      const double f = (b - 1) / 254.0 / flat;
      column[static_cast<std::size_t>(y)] = static_cast<float>(std::fabs(f - 1) <= halfStep ? 1.0 : f);
    }
  }
  return light;
}

std::uint32_t ShadePixel(std::uint32_t Pixel, float Light) noexcept {
  std::uint32_t pixel = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double c = (Pixel >> shift) & 0xFF;
    const double v = Light <= 1 ? c * Light : c + (255 - c) * std::min(Light - 1.0f, 1.0f);
    pixel |= static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))) << shift;
  }
  return pixel;
}

TCanvas ShadeRelief(const TCanvas& Picture, const TExportGrid& Grid, double Exaggeration, TFeedback& Feedback) {
  if (Picture.Width() != Grid.Columns() || Picture.Height() != Grid.Rows())
    throw std::invalid_argument("the picture is not of the depth grid's size");
  return ShadeRelief(Picture, ReliefLight(Grid, Exaggeration, Feedback));
}

TCanvas ShadeRelief(const TCanvas& Picture, const TPixelArray<float>& Light) {
  if (Picture.Width() != Light.Width() || Picture.Height() != Light.Height())
    throw std::invalid_argument("the picture is not of the depth grid's size");
  TCanvas shaded = Picture;
  for (int y = 0; y < Picture.Height(); ++y) {
    std::uint32_t* row = shaded.ScanLine(y);
    for (int x = 0; x < Picture.Width(); ++x) {
      const float f = Light[x][static_cast<std::size_t>(y)];
      if (!std::isnan(f)) row[x] = ShadePixel(row[x], f);
    }
  }
  return shaded;
}

}  // namespace sondralis
