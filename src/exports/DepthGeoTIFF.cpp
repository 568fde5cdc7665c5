#include "exports/DepthGeoTIFF.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "exports/FileSet.h"
#include "exports/GdalSupport.h"

namespace sondralis {

void WriteDepthGeoTIFF(const std::string& Path, const TExportGrid& Grid, const TDistanceArray& Distances,
                       TFeedback& Feedback) {
  Grid.Check();
  const int columns = Grid.Columns(), rows = Grid.Rows();
  if (!Distances.Empty() && (Distances.Width() != columns || Distances.Height() != rows))
    throw std::invalid_argument("the distances are not of the depth grid's size");
  gdal::EnsureRegistered();
  gdal::TErrorCapture errors;
  gdal::TMemFolder folder;
  const std::string file = folder.File("depth.tif");

  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (!driver) errors.Fail(Path, "GDAL has no GeoTIFF driver");
  CPLStringList options;
  options.SetNameValue("TILED", "YES");
  options.SetNameValue("BLOCKXSIZE", "256");
  options.SetNameValue("BLOCKYSIZE", "256");
  options.SetNameValue("COMPRESS", "DEFLATE");
  options.SetNameValue("PREDICTOR", "3");  // floating point
  options.SetNameValue("INTERLEAVE", "BAND");
  GDALDatasetUniquePtr dataset(driver->Create(file.c_str(), columns, rows, 2, GDT_Float32, options.List()));
  if (!dataset) errors.Fail(Path, "GDAL could not make the GeoTIFF");

  double transform[6] = {Grid.Extent.MinLon, Grid.CellWidth(), 0, Grid.Extent.MaxLat, 0, -Grid.CellHeight()};
  const OGRSpatialReference wgs84 = gdal::Wgs84();
  if (dataset->SetGeoTransform(transform) != CE_None || dataset->SetSpatialRef(&wgs84) != CE_None)
    errors.Fail(Path, "GDAL could not georeference the GeoTIFF");
  dataset->SetMetadataItem("TIFFTAG_SOFTWARE", "Sondralis " SONDRALIS_VERSION);

  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> values(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  for (int band = 1; band <= 2; ++band) {
    if (Feedback.Canceled()) throw TCanceled{};
    // The arrays hold columns; the file holds rows.
    for (int x = 0; x < columns; ++x)
      for (int y = 0; y < rows; ++y) {
        float v = kNaN;
        if (Grid.Covered(x, y))
          v = band == 1 ? static_cast<float>(Grid.Depth[x][static_cast<std::size_t>(y)])
                        : Distances.Empty() ? kNaN : Distances[x][static_cast<std::size_t>(y)];
        values[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)] = v;
      }
    GDALRasterBand* target = dataset->GetRasterBand(band);
    target->SetDescription(band == 1 ? "depth_cm" : "distance_m");
    target->SetUnitType(band == 1 ? "cm" : "m");
    target->SetNoDataValue(std::numeric_limits<double>::quiet_NaN());
    if (target->RasterIO(GF_Write, 0, 0, columns, rows, values.data(), columns, rows, GDT_Float32, 0, 0, nullptr) !=
        CE_None)
      errors.Fail(Path, "GDAL could not write the cells");
    Feedback.SetProgress(band, 2);
  }
  // Closing writes the last tiles and the directory.
  gdal::Close(dataset.release(), errors, Path);
  const std::string_view bytes = folder.Bytes("depth.tif");
  if (bytes.empty()) errors.Fail(Path, "GDAL made no GeoTIFF");
  CommitFiles({{Path, bytes}});
  Feedback.SetProgress(0, 0);
}

}  // namespace sondralis
