// The GDAL module: the exports' files made by GDAL's drivers in GDAL's
// memory, handed to the caller to publish. See exports/GdalModule.h.

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include "exports/GdalModule.h"
#include "exports/gdal/GdalSupport.h"

namespace sondralis::gdal {

namespace {

// Runs one call of the module: its failures and cancellation become the
// outcome; anything else (the publisher's errors, no memory) goes on to the
// caller.
template <typename F>
TOutcome Run(F&& Body) {
  try {
    Body();
    return {};
  } catch (const TFailure& failure) {
    return {TOutcome::EStatus::Failed, failure.What, failure.Detail};
  } catch (const TStop&) {
    return {TOutcome::EStatus::Canceled, {}, {}};
  }
}

void StopIfCanceled(const TFeedback& Feedback) {
  if (Feedback.Canceled()) throw TStop{};
}

GDALDriver* Driver(const char* Name, const char* Missing, const TErrorCapture& Errors) {
  EnsureRegistered();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(Name);
  if (!driver) Errors.Fail(Missing);
  return driver;
}

// ---- depth.tif

void WriteGeoTIFF(const TGeoTIFFRequest& Request, TFeedback& Feedback, const TPublish& Publish) {
  TErrorCapture errors;
  GDALDriver* driver = Driver("GTiff", "GDAL has no GeoTIFF driver", errors);
  TMemFolder folder;
  const std::string file = folder.File("depth.tif");
  CPLStringList options;
  options.SetNameValue("TILED", "YES");
  options.SetNameValue("BLOCKXSIZE", "256");
  options.SetNameValue("BLOCKYSIZE", "256");
  options.SetNameValue("COMPRESS", "DEFLATE");
  options.SetNameValue("PREDICTOR", "3");  // floating point
  options.SetNameValue("INTERLEAVE", "BAND");
  GDALDatasetUniquePtr dataset(
      driver->Create(file.c_str(), Request.Columns, Request.Rows, 2, GDT_Float32, options.List()));
  if (!dataset) errors.Fail("GDAL could not make the GeoTIFF");

  TGeoTransform transform = Request.Transform;
  const OGRSpatialReference wgs84 = Wgs84();
  if (dataset->SetGeoTransform(transform.data()) != CE_None || dataset->SetSpatialRef(&wgs84) != CE_None)
    errors.Fail("GDAL could not georeference the GeoTIFF");
  dataset->SetMetadataItem("TIFFTAG_SOFTWARE", Request.Software.c_str());

  std::vector<float> values(static_cast<std::size_t>(Request.Columns) * static_cast<std::size_t>(Request.Rows));
  for (int band = 1; band <= 2; ++band) {
    StopIfCanceled(Feedback);
    Request.FillBand(band, values);
    GDALRasterBand* target = dataset->GetRasterBand(band);
    target->SetDescription(band == 1 ? "depth_cm" : "distance_m");
    target->SetUnitType(band == 1 ? "cm" : "m");
    target->SetNoDataValue(std::numeric_limits<double>::quiet_NaN());
    if (target->RasterIO(GF_Write, 0, 0, Request.Columns, Request.Rows, values.data(), Request.Columns,
                         Request.Rows, GDT_Float32, 0, 0, nullptr) != CE_None)
      errors.Fail("GDAL could not write the cells");
    Feedback.SetProgress(band, 2);
  }
  // Closing writes the last tiles and the directory.
  Close(dataset.release(), errors);
  const std::string_view bytes = folder.Bytes("depth.tif");
  if (bytes.empty()) errors.Fail("GDAL made no GeoTIFF");
  Publish({{"depth.tif", bytes}});
}

// ---- contours.gpkg and contours.shp

// The feature's lines as one multi-line.
std::unique_ptr<OGRMultiLineString> Geometry(const TLineFeature& Feature) {
  auto lines = std::make_unique<OGRMultiLineString>();
  for (const std::vector<double>& points : Feature.Lines) {
    const int count = static_cast<int>(points.size() / 2);
    auto line = std::make_unique<OGRLineString>();
    line->setNumPoints(count, FALSE);
    for (int i = 0; i < count; ++i)
      line->setPoint(i, points[2 * static_cast<std::size_t>(i)], points[2 * static_cast<std::size_t>(i) + 1]);
    lines->addGeometryDirectly(line.release());
  }
  return lines;
}

// Makes the layer with its fields and one feature per line feature,
// checking for cancellation per feature.
void WriteLineLayer(GDALDataset& Dataset, const TLineLayer& Layer, OGRSpatialReference& Srs, CSLConstList Options,
                    const TErrorCapture& Errors, const TFeedback& Feedback) {
  OGRLayer* layer = Dataset.CreateLayer(Layer.Name.c_str(), &Srs, wkbMultiLineString, const_cast<char**>(Options));
  if (!layer) Errors.Fail("GDAL could not make the layer " + Layer.Name);
  OGRFieldDefn depthCm("depth_cm", OFTInteger);
  OGRFieldDefn depthM("depth_m", OFTReal);
  depthM.SetWidth(10);
  depthM.SetPrecision(2);
  if (layer->CreateField(&depthCm) != OGRERR_NONE || layer->CreateField(&depthM) != OGRERR_NONE)
    Errors.Fail("GDAL could not make the fields of " + Layer.Name);
  for (const TLineFeature& line : Layer.Features) {
    StopIfCanceled(Feedback);
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetField("depth_cm", static_cast<GIntBig>(line.Level));
    feature.SetField("depth_m", static_cast<double>(line.Level) / 100);
    feature.SetGeometryDirectly(Geometry(line).release());
    if (layer->CreateFeature(&feature) != OGRERR_NONE) Errors.Fail("GDAL could not write a contour line");
  }
}

void WriteGeoPackage(const TGeoPackageRequest& Request, TFeedback& Feedback, const TPublish& Publish) {
  TErrorCapture errors;
  GDALDriver* driver = Driver("GPKG", "GDAL has no driver GPKG", errors);
  TMemFolder folder;
  const std::string file = folder.File(Request.FileName);
  GDALDatasetUniquePtr dataset(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) errors.Fail("GDAL could not make the GeoPackage");
  OGRSpatialReference wgs84 = Wgs84();

  // One transaction: a GeoPackage writes each feature by itself otherwise.
  dataset->StartTransaction();
  CPLStringList contourOptions;
  contourOptions.SetNameValue("DESCRIPTION", Request.Contours.Description.c_str());
  WriteLineLayer(*dataset, Request.Contours, wgs84, contourOptions.List(), errors, Feedback);

  CPLStringList soundingOptions;
  soundingOptions.SetNameValue("DESCRIPTION", "Depth samples of the map: the shoreline's, then the soundings");
  OGRLayer* soundings = dataset->CreateLayer("soundings", &wgs84, wkbPoint, soundingOptions.List());
  if (!soundings) errors.Fail("GDAL could not make the layer soundings");
  OGRFieldDefn depthCm("depth_cm", OFTReal);
  if (soundings->CreateField(&depthCm) != OGRERR_NONE) errors.Fail("GDAL could not make the fields of soundings");
  const std::size_t count = std::min(Request.SoundingCoord.size(), Request.SoundingDepth.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 4096 == 0) StopIfCanceled(Feedback);
    OGRFeature feature(soundings->GetLayerDefn());
    feature.SetField(0, static_cast<double>(Request.SoundingDepth[i]));
    feature.SetGeometryDirectly(new OGRPoint(Request.SoundingCoord[i][0], Request.SoundingCoord[i][1]));
    if (soundings->CreateFeature(&feature) != OGRERR_NONE) errors.Fail("GDAL could not write a sounding");
  }

  if (Request.HasSafety) {
    CPLStringList safetyOptions;
    safetyOptions.SetNameValue("DESCRIPTION", Request.Safety.Description.c_str());
    WriteLineLayer(*dataset, Request.Safety, wgs84, safetyOptions.List(), errors, Feedback);
  }
  if (dataset->CommitTransaction() != OGRERR_NONE) errors.Fail("GDAL could not finish the GeoPackage");
  Close(dataset.release(), errors);
  const std::string_view bytes = folder.Bytes(Request.FileName);
  if (bytes.empty()) errors.Fail("GDAL made no GeoPackage");
  Publish({{Request.FileName, bytes}});
}

void WriteShapefile(const TLineLayer& Layer, TFeedback& Feedback, const TPublish& Publish) {
  TErrorCapture errors;
  GDALDriver* driver = Driver("ESRI Shapefile", "GDAL has no driver ESRI Shapefile", errors);
  TMemFolder folder;
  GDALDatasetUniquePtr dataset(
      driver->Create(folder.File(Layer.Name + ".shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) errors.Fail("GDAL could not make the shapefile");
  CPLStringList options;
  options.SetNameValue("ENCODING", "UTF-8");
  OGRSpatialReference wgs84 = Wgs84();
  WriteLineLayer(*dataset, Layer, wgs84, options.List(), errors, Feedback);
  Close(dataset.release(), errors);
  TMadeFiles files;
  for (const std::string& name : folder.Files()) files.emplace_back(name, folder.Bytes(name));
  Publish(files);
}

// ---- chart.mbtiles

// Sets the minzoom the MBTiles driver of this GDAL leaves at 0 whatever
// levels the file holds; the apps that read it take it for the coarsest
// level they may ask for.
std::string SetMinZoom(std::string_view File, int MinZoom) {
  sqlite3* db = nullptr;
  auto fail = [&](const std::string& what) {
    const std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw TFailure{what, reason};
  };
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) fail("SQLite could not open a database");
  auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(File.size()));
  if (!copy) fail("no memory for the tiles");
  std::memcpy(copy, File.data(), File.size());
  if (sqlite3_deserialize(db, "main", copy, static_cast<sqlite3_int64>(File.size()),
                          static_cast<sqlite3_int64>(File.size()),
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) != SQLITE_OK)
    fail("SQLite could not read the tiles");
  const std::string sql = "UPDATE metadata SET value = '" + std::to_string(MinZoom) + "' WHERE name = 'minzoom'";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail("SQLite could not set minzoom");
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0);
  if (!bytes) fail("SQLite could not write the tiles");
  std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
  sqlite3_free(bytes);
  sqlite3_close(db);
  return out;
}

void WriteMBTiles(const TMBTilesRequest& Request, TFeedback& Feedback, const TPublish& Publish) {
  TErrorCapture errors;
  GDALDriver* driver = Driver("MBTiles", "GDAL has no MBTiles driver", errors);
  TMemFolder folder;
  const std::string file = folder.File("chart.mbtiles");
  CPLStringList options;
  for (const auto& [name, value] : Request.Options) options.SetNameValue(name.c_str(), value.c_str());
  GDALDatasetUniquePtr dataset(
      driver->Create(file.c_str(), Request.Width, Request.Height, 4, GDT_Byte, options.List()));
  if (!dataset) errors.Fail("GDAL could not make the MBTiles file");
  TGeoTransform transform = Request.Transform;
  OGRSpatialReference mercator = WebMercator();
  if (dataset->SetSpatialRef(&mercator) != CE_None || dataset->SetGeoTransform(transform.data()) != CE_None)
    errors.Fail("GDAL could not place the tiles");
  // Byte k of a pixel goes to band bands[k]: blue, green, red, alpha.
  int bands[4] = {3, 2, 1, 4};
  if (dataset->RasterIO(GF_Write, 0, 0, Request.Width, Request.Height, const_cast<std::uint8_t*>(Request.Pixels),
                        Request.Width, Request.Height, GDT_Byte, 4, bands, 4, Request.BytesPerLine, 1,
                        nullptr) != CE_None)
    errors.Fail("GDAL could not write the tiles");
  StopIfCanceled(Feedback);
  Feedback.SetProgress(2, 3);
  std::vector<int> factors = Request.OverviewFactors;
  if (!factors.empty() &&
      dataset->BuildOverviews("AVERAGE", static_cast<int>(factors.size()), factors.data(), 0, nullptr, nullptr,
                              nullptr) != CE_None)
    errors.Fail("GDAL could not make the coarser zoom levels");
  // The levels are made, but this GDAL then fails to update minzoom (it
  // reports a null data source per level), which SetMinZoom does instead.
  errors.Clear();
  Close(dataset.release(), errors);
  const std::string_view made = folder.Bytes("chart.mbtiles");
  if (made.empty()) errors.Fail("GDAL made no MBTiles file");
  const std::string finished = SetMinZoom(made, Request.MinZoom);
  Publish({{"chart.mbtiles", finished}});
}

// ---- the relief

void ShadeBottom(const THillshadeRequest& Request, std::vector<std::uint8_t>& Shade) {
  TErrorCapture errors;
  GDALDriver* mem = Driver("MEM", "GDAL has no MEM driver", errors);
  GDALDatasetUniquePtr bottom(mem->Create("", Request.Columns, Request.Rows, 1, GDT_Float32, nullptr));
  if (!bottom) errors.Fail("GDAL could not hold the bottom");
  GDALRasterBand* band = bottom->GetRasterBand(1);
  band->SetNoDataValue(Request.NoData);
  if (band->RasterIO(GF_Write, 0, 0, Request.Columns, Request.Rows, const_cast<float*>(Request.Values.data()),
                     Request.Columns, Request.Rows, GDT_Float32, 0, 0, nullptr) != CE_None)
    errors.Fail("GDAL could not hold the bottom");
  TGeoTransform transform = Request.Transform;
  bottom->SetGeoTransform(transform.data());

  CPLStringList arguments;
  for (const std::string& a : Request.Arguments) arguments.AddString(a.c_str());
  GDALDEMProcessingOptions* options = GDALDEMProcessingOptionsNew(arguments.List(), nullptr);
  if (!options) errors.Fail("GDAL refused the hillshade's options");
  int usageError = FALSE;
  GDALDatasetH shaded =
      GDALDEMProcessing("", GDALDataset::ToHandle(bottom.get()), "hillshade", nullptr, options, &usageError);
  GDALDEMProcessingOptionsFree(options);
  if (!shaded) errors.Fail("GDAL could not shade the bottom");
  GDALDatasetUniquePtr shade(GDALDataset::FromHandle(shaded));
  Shade.assign(static_cast<std::size_t>(Request.Columns) * static_cast<std::size_t>(Request.Rows), 0);
  if (shade->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, Request.Columns, Request.Rows, Shade.data(),
                                        Request.Columns, Request.Rows, GDT_Byte, 0, 0, nullptr) != CE_None)
    errors.Fail("GDAL could not read the shade");
}

class TModule final : public IModule {
 public:
  TOutcome GeoTIFF(const TGeoTIFFRequest& Request, TFeedback& Feedback, const TPublish& Publish) const override {
    return Run([&] { WriteGeoTIFF(Request, Feedback, Publish); });
  }
  TOutcome GeoPackage(const TGeoPackageRequest& Request, TFeedback& Feedback,
                      const TPublish& Publish) const override {
    return Run([&] { WriteGeoPackage(Request, Feedback, Publish); });
  }
  TOutcome Shapefile(const TLineLayer& Layer, TFeedback& Feedback, const TPublish& Publish) const override {
    return Run([&] { WriteShapefile(Layer, Feedback, Publish); });
  }
  TOutcome MBTiles(const TMBTilesRequest& Request, TFeedback& Feedback, const TPublish& Publish) const override {
    return Run([&] { WriteMBTiles(Request, Feedback, Publish); });
  }
  TOutcome Hillshade(const THillshadeRequest& Request, std::vector<std::uint8_t>& Shade) const override {
    return Run([&] { ShadeBottom(Request, Shade); });
  }
};

}  // namespace

}  // namespace sondralis::gdal

// The module for the caller's interface and version; null for any other,
// whose structs may differ from these.
extern "C" __attribute__((visibility("default"))) const sondralis::gdal::IModule* SondralisGdalModule(
    int Interface, const char* Version) {
  static const sondralis::gdal::TModule module;
  if (Interface != sondralis::gdal::kModuleInterface || !Version || std::strcmp(Version, SONDRALIS_VERSION) != 0)
    return nullptr;
  return &module;
}
