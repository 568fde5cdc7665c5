// chart.mbtiles read back through GDAL's MBTiles driver: the levels it
// states are there, the finest keeps every cell, and each covered cell shows
// its colour where it lies on the web map.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include <cpl_string.h>
#include <gdal_priv.h>

#include "exports/ChartTiles.h"
#include "formats/FormatsTestSupport.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;
using testing::TempDir;

GDALDatasetUniquePtr OpenLevel(const std::string& path, int zoom) {
  CPLStringList options;
  options.SetNameValue("ZOOM_LEVEL", std::to_string(zoom).c_str());
  return GDALDatasetUniquePtr(
      GDALDataset::Open(path.c_str(), GDAL_OF_RASTER, nullptr, options.List(), nullptr));
}

TEST(ChartTiles, LevelsAsStatedAndEveryCoveredCellInItsColourAndPlace) {
  // An oval lake of 2 m cells with a bay left out of the coverage.
  AnalyticLake lake(420, 260, 2.0, [](double e, double n) -> double {
    const double r = std::hypot(e / 380, n / 230);
    return r < 1 && !(e > 100 && n > 60) ? 1800 * (1 - r * r) : NAN;
  });
  const TCanvas picture = lake.Picture(1800);
  TChartLayers layers;
  layers.Picture = &picture;
  TempDir dir("mbtiles");
  TSilentFeedback feedback;
  const std::string path = (dir / "chart.mbtiles").string();
  WriteChartMBTiles(path, lake.Grid, layers, "Test lake", feedback);

  const TZoomLevels zoom = ChartZoomLevels(lake.Grid);
  ASSERT_LT(zoom.Min, zoom.Max);
  GDALAllRegister();
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  ASSERT_TRUE(ds);
  EXPECT_STREQ(ds->GetDriver()->GetDescription(), "MBTiles");
  EXPECT_EQ(std::string(ds->GetMetadataItem("minzoom")), std::to_string(zoom.Min));
  EXPECT_EQ(std::string(ds->GetMetadataItem("maxzoom")), std::to_string(zoom.Max));
  EXPECT_STREQ(ds->GetMetadataItem("name"), "Test lake");
  ASSERT_EQ(ds->GetRasterCount(), 4);

  // The finest level's pixels are no larger on the ground than the cells,
  // the next coarser ones are; a mercator pixel spans its metres at the
  // equator times the cosine of the latitude.
  double t[6];
  ds->GetGeoTransform(t);
  const double shrink = std::cos(AnalyticLake::kLat * std::numbers::pi / 180);
  const double cell = std::min(lake.East[1][0] - lake.East[0][0], lake.North[0][0] - lake.North[0][1]);
  EXPECT_LE(t[1] * shrink, cell);
  EXPECT_GT(2 * t[1] * shrink, cell);
  // Every level from the coarsest to the finest holds tiles.
  for (int z = zoom.Min; z <= zoom.Max; ++z) {
    GDALDatasetUniquePtr level = OpenLevel(path, z);
    ASSERT_TRUE(level) << z;
    double lt[6];
    level->GetGeoTransform(lt);
    EXPECT_NEAR(lt[1], t[1] * std::ldexp(1.0, zoom.Max - z), 1e-6) << z;
  }
  // The coarsest shows the survey at least 64 pixels across, one level
  // coarser would not.
  const double span = std::max(lake.Grid.Columns() * (lake.East[1][0] - lake.East[0][0]),
                               lake.Grid.Rows() * (lake.North[0][0] - lake.North[0][1]));
  EXPECT_GE(span / (t[1] * shrink * std::ldexp(1.0, zoom.Max - zoom.Min)), 64);
  EXPECT_LT(span / (t[1] * shrink * std::ldexp(1.0, zoom.Max - zoom.Min + 1)), 64);

  // Each cell's centre, projected on the web map, falls on a pixel of the
  // cell's colour; uncovered cells are transparent.
  const int width = ds->GetRasterXSize(), height = ds->GetRasterYSize();
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  ASSERT_EQ(ds->RasterIO(GF_Read, 0, 0, width, height, rgba.data(), width, height, GDT_Byte, 4, nullptr, 4,
                         4 * width, 1, nullptr),
            CE_None);
  int checked = 0;
  for (int x = 1; x < lake.Grid.Columns(); x += 7)
    for (int y = 1; y < lake.Grid.Rows(); y += 5) {
      const double mx = 6378137.0 * lake.Grid.Longitude(x) * std::numbers::pi / 180;
      const double my = 6378137.0 * std::asinh(std::tan(lake.Grid.Latitude(y) * std::numbers::pi / 180));
      const int px = static_cast<int>(std::floor((mx - t[0]) / t[1]));
      const int py = static_cast<int>(std::floor((my - t[3]) / t[5]));
      ASSERT_TRUE(px >= 0 && py >= 0 && px < width && py < height);
      const std::uint8_t* p = &rgba[(static_cast<std::size_t>(py) * static_cast<std::size_t>(width) + static_cast<std::size_t>(px)) * 4];
      if (!lake.Grid.Covered(x, y)) {
        // Next to covered cells a pixel may lie on either side.
        if (lake.Grid.Covered(x - 1, y) || lake.Grid.Covered(x + 1, y) || lake.Grid.Covered(x, y - 1) ||
            lake.Grid.Covered(x, y + 1))
          continue;
        ASSERT_EQ(p[3], 0) << x << "," << y;
        continue;
      }
      const TColor c = picture.Pixel(x, y);
      ASSERT_EQ(p[3], 255) << x << "," << y;
      ASSERT_EQ(p[0], c & 0xFF) << x << "," << y;
      ASSERT_EQ(p[1], (c >> 8) & 0xFF);
      ASSERT_EQ(p[2], (c >> 16) & 0xFF);
      ++checked;
    }
  EXPECT_GT(checked, 1000);

  // A picture of another size is refused before anything is written.
  const TCanvas small(10, 10);
  layers.Picture = &small;
  EXPECT_THROW(WriteChartMBTiles((dir / "other.mbtiles").string(), lake.Grid, layers, "x", feedback),
               std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(dir / "other.mbtiles"));
}

}  // namespace
}  // namespace sondralis
