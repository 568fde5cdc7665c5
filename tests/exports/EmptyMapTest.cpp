// A map with nothing covered, no contours and no samples (everything
// refused upstream would lead here only by a fault): every export still
// writes a file its reader opens, and nothing throws.
#include <gtest/gtest.h>

#include <gdal_priv.h>

#include "exports/ChartTiles.h"
#include "exports/ContourLayers.h"
#include "exports/DepthGeoTIFF.h"
#include "exports/Hillshade.h"
#include "exports/HumminbirdWaypoints.h"
#include "exports/LakeReport.h"
#include "exports/Spots.h"
#include "formats/FormatsTestSupport.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

TEST(EmptyMap, EveryExportWritesAFileItsReaderOpens) {
  testing::AnalyticLake lake(64, 48, 2.0, [](double, double) -> double { return NAN; });
  TSilentFeedback feedback;
  testing::TempDir dir("empty");
  auto path = [&](const char* name) { return (dir / name).string(); };
  const TDistanceArray distances = NearestSoundingDistances(lake.Grid, {}, feedback);
  WriteDepthGeoTIFF(path("depth.tif"), lake.Grid, distances, feedback);
  TGPX none;
  WriteContoursGeoPackage(path("contours.gpkg"), none, TExportSamples{}, std::nullopt, feedback);
  WriteContoursShapefile(path("contours.shp"), none, feedback);
  const TCanvas picture = lake.Picture(100);
  TChartLayers layers;
  layers.Picture = &picture;
  WriteChartMBTiles(path("chart.mbtiles"), lake.Grid, layers, "Empty", feedback);
  EXPECT_EQ(ShadeRelief(picture, lake.Grid, 3, feedback).Pixel(10, 10), picture.Pixel(10, 10));
  const std::vector<TSpot> spots = FindSpots(lake.Grid, TSpotSettings{}, feedback);
  EXPECT_TRUE(spots.empty());
  WriteSpotsGPX(path("spots.gpx"), spots);
  WriteSpotsHWR(path("spots.hwr"), spots);
  const TLakeReport report = ComputeLakeReport(lake.Grid, distances, TExportSamples{}, {}, 100, feedback);
  EXPECT_EQ(report.SurveyedArea, 0);
  EXPECT_TRUE(report.Levels.empty());
  WriteLakeReport(path("report.csv"), path("report.json"), report);

  GDALAllRegister();
  for (const char* name : {"depth.tif", "contours.gpkg", "contours.shp", "chart.mbtiles"}) {
    GDALDatasetUniquePtr ds(GDALDataset::Open(path(name).c_str()));
    EXPECT_TRUE(ds) << name;
  }
  EXPECT_TRUE(std::filesystem::exists(path("spots.hwr")));
  EXPECT_NE(testing::ReadFileBytes(path("report.json")).find("\"volume_m3\": 0"), std::string::npos);
}

}  // namespace
}  // namespace sondralis
