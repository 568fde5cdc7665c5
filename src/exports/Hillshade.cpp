#include "exports/Hillshade.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>

#include "exports/GdalSupport.h"

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
  gdal::EnsureRegistered();
  gdal::TErrorCapture errors;

  // The bottom in metres, upwards, row after row.
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  if (!mem) errors.Fail("the relief", "GDAL has no MEM driver");
  GDALDatasetUniquePtr bottom(mem->Create("", columns, rows, 1, GDT_Float32, nullptr));
  if (!bottom) errors.Fail("the relief", "GDAL could not hold the bottom");
  std::vector<float> values(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), kNoBottom);
  for (int x = 0; x < columns; ++x)
    for (int y = 0; y < rows; ++y)
      if (Grid.Covered(x, y))
        values[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)] =
            static_cast<float>(-Grid.Depth[x][static_cast<std::size_t>(y)] / 100);
  GDALRasterBand* band = bottom->GetRasterBand(1);
  band->SetNoDataValue(kNoBottom);
  if (band->RasterIO(GF_Write, 0, 0, columns, rows, values.data(), columns, rows, GDT_Float32, 0, 0, nullptr) !=
      CE_None)
    errors.Fail("the relief", "GDAL could not hold the bottom");
  // Cells in metres: the hillshade then needs no scale between the
  // horizontal and the vertical units.
  const TLocalPlane plane(Grid.Extent);
  double transform[6] = {0, Grid.CellWidth() * plane.MetresPerLon, 0, 0, 0, -Grid.CellHeight() * plane.MetresPerLat};
  bottom->SetGeoTransform(transform);
  if (Feedback.Canceled()) throw TCanceled{};

  CPLStringList arguments;
  for (const std::string& a : {std::string("-of"), std::string("MEM"), std::string("-compute_edges"),
                               std::string("-az"), ShortestText(kAzimuth), std::string("-alt"),
                               ShortestText(kAltitude), std::string("-z"), ShortestText(Exaggeration)})
    arguments.AddString(a.c_str());
  GDALDEMProcessingOptions* options = GDALDEMProcessingOptionsNew(arguments.List(), nullptr);
  if (!options) errors.Fail("the relief", "GDAL refused the hillshade's options");
  int usageError = FALSE;
  GDALDatasetH shaded =
      GDALDEMProcessing("", GDALDataset::ToHandle(bottom.get()), "hillshade", nullptr, options, &usageError);
  GDALDEMProcessingOptionsFree(options);
  if (!shaded) errors.Fail("the relief", "GDAL could not shade the bottom");
  GDALDatasetUniquePtr shade(GDALDataset::FromHandle(shaded));
  std::vector<std::uint8_t> bytes(values.size());
  if (shade->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, columns, rows, bytes.data(), columns, rows, GDT_Byte, 0, 0,
                                        nullptr) != CE_None)
    errors.Fail("the relief", "GDAL could not read the shade");

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
