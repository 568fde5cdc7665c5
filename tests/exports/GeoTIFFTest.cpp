// depth.tif read back through GDAL: the grid depth.asc states, in one file
// with square-free cells a GIS reads, and the distance band beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "exports/DepthGeoTIFF.h"
#include "formats/AtomicFile.h"
#include "formats/FormatsTestSupport.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;
using testing::AnalyticLake;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<float> ReadBand(GDALDataset& ds, int band) {
  std::vector<float> v(static_cast<std::size_t>(ds.GetRasterXSize()) * static_cast<std::size_t>(ds.GetRasterYSize()));
  EXPECT_EQ(ds.GetRasterBand(band)->RasterIO(GF_Read, 0, 0, ds.GetRasterXSize(), ds.GetRasterYSize(), v.data(),
                                             ds.GetRasterXSize(), ds.GetRasterYSize(), GDT_Float32, 0, 0, nullptr),
            CE_None);
  return v;
}

TEST(DepthGeoTIFF, HoldsTheAsciiGridsCellsWithItsGeotransformAndTheDistances) {
  // A bowl over most of a 300 × 200 grid (more than one tile each way),
  // wavy so no two cells are alike.
  AnalyticLake lake(300, 200, 2.5, [](double e, double n) -> double {
    const double r = std::hypot(e / 330, n / 220);
    return r < 1 ? 1500 * (1 - r * r) + 7 * std::sin(e / 13) : NAN;
  });
  TDistanceArray distances(300, 200);
  for (int x = 0; x < 300; ++x)
    for (int y = 0; y < 200; ++y) distances[x][static_cast<std::size_t>(y)] = static_cast<float>(x * 0.5 + y * 0.25);
  TempDir dir("geotiff");
  TSilentFeedback feedback;
  WriteDepthGeoTIFF((dir / "depth.tif"), lake.Grid, distances, feedback);
  WriteFileAtomically((dir / "depth.asc"), EncodeEsriAsciiGrid(lake.Grid.Depth, lake.Grid.Extent));

  GDALAllRegister();
  GDALDatasetUniquePtr tif(GDALDataset::Open((dir / "depth.tif").string().c_str(), GDAL_OF_RASTER));
  GDALDatasetUniquePtr asc(GDALDataset::Open((dir / "depth.asc").string().c_str(), GDAL_OF_RASTER));
  ASSERT_TRUE(tif && asc);
  EXPECT_STREQ(tif->GetDriver()->GetDescription(), "GTiff");
  ASSERT_EQ(tif->GetRasterCount(), 2);
  ASSERT_EQ(tif->GetRasterXSize(), 300);
  ASSERT_EQ(tif->GetRasterYSize(), 200);
  double t[6], a[6];
  tif->GetGeoTransform(t);
  asc->GetGeoTransform(a);
  // The numbers depth.asc states, exactly; GDAL's reading of the ASCII grid
  // finds its origin from the lower corner, so to the last digits.
  const double expected[6] = {lake.Grid.Extent.MinLon, lake.Grid.CellWidth(), 0, lake.Grid.Extent.MaxLat, 0,
                              -lake.Grid.CellHeight()};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(t[i], expected[i]) << i;
    EXPECT_NEAR(t[i], a[i], 1e-12) << i;
  }
  ASSERT_TRUE(tif->GetSpatialRef());
  EXPECT_STREQ(tif->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");

  GDALRasterBand* depth = tif->GetRasterBand(1);
  EXPECT_EQ(depth->GetRasterDataType(), GDT_Float32);
  int hasNoData = 0;
  EXPECT_TRUE(std::isnan(depth->GetNoDataValue(&hasNoData)));
  EXPECT_TRUE(hasNoData);
  EXPECT_STREQ(depth->GetDescription(), "depth_cm");
  EXPECT_STREQ(tif->GetRasterBand(2)->GetDescription(), "distance_m");
  int bx = 0, by = 0;
  depth->GetBlockSize(&bx, &by);
  EXPECT_EQ(bx, 256);
  EXPECT_EQ(by, 256);
  EXPECT_STREQ(tif->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
  EXPECT_STREQ(tif->GetMetadataItem("PREDICTOR", "IMAGE_STRUCTURE"), "3");

  const std::vector<float> d = ReadBand(*tif, 1), r = ReadBand(*tif, 2), ascii = ReadBand(*asc, 1);
  int covered = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * 300 + static_cast<std::size_t>(x);
      if (lake.Grid.Covered(x, y)) {
        ++covered;
        ASSERT_EQ(d[k], static_cast<float>(lake.Grid.Depth[x][static_cast<std::size_t>(y)])) << x << "," << y;
        ASSERT_NEAR(d[k], ascii[k], 1e-6 * std::fabs(ascii[k]));
        ASSERT_EQ(r[k], distances[x][static_cast<std::size_t>(y)]);
      } else {
        ASSERT_TRUE(std::isnan(d[k]) && std::isnan(r[k])) << x << "," << y;
        ASSERT_EQ(ascii[k], -9999);
      }
    }
  EXPECT_GT(covered, 30000);
}

TEST(DepthGeoTIFF, AFailedWriteLeavesTheOldFileAndNoOther) {
  AnalyticLake lake(20, 10, 5, [](double, double) { return 100.0; });
  TempDir dir("geotiff");
  TSilentFeedback feedback;
  // A read-only file is refused and stays as it was.
  const std::string target = (dir / "depth.tif");
  WriteFileBytes(target, "old");
  fs::permissions(target, fs::perms::owner_read);
  EXPECT_THROW(WriteDepthGeoTIFF(target, lake.Grid, {}, feedback), EFileError);
  EXPECT_EQ(ReadFileBytes(target), "old");
  fs::permissions(target, fs::perms::owner_all);
  // A folder in the way, and a missing folder: refused, nothing made.
  fs::create_directories((dir / "taken.tif"));
  EXPECT_THROW(WriteDepthGeoTIFF((dir / "taken.tif"), lake.Grid, {}, feedback), EFileError);
  EXPECT_THROW(WriteDepthGeoTIFF((dir / "missing/depth.tif"), lake.Grid, {}, feedback), EFileError);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"depth.tif", "taken.tif"}));
  // A mask of another size is a fault of the caller.
  TExportGrid bad = lake.Grid;
  bad.Mask.SetSize(3, 3);
  EXPECT_THROW(WriteDepthGeoTIFF(target, bad, {}, feedback), std::invalid_argument);
}

}  // namespace
}  // namespace sondralis
