#include "exports/ContourLayers.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "exports/FileSet.h"
#include "exports/GdalSupport.h"

namespace sondralis {

long long ContourLevel(const TGPXtrk& Track) {
  for (const TGPXtrkseg* segment : Track)
    if (segment->Count() > 0) return std::llround(segment->Points(0)->HBdepth);
  return 0;
}

namespace {

// The track's segments of two points or more as one multi-line; null when
// it has none.
std::unique_ptr<OGRMultiLineString> TrackGeometry(const TGPXtrk& Track) {
  auto lines = std::make_unique<OGRMultiLineString>();
  for (const TGPXtrkseg* segment : Track) {
    if (segment->Count() < 2) continue;
    auto line = std::make_unique<OGRLineString>();
    line->setNumPoints(segment->Count(), FALSE);
    for (int i = 0; i < segment->Count(); ++i) {
      const TPoint4D2& p = *segment->Points(i);
      line->setPoint(i, p.Longitude, p.Latitude);
    }
    lines->addGeometryDirectly(line.release());
  }
  if (lines->IsEmpty()) return nullptr;
  return lines;
}

OGRLayer* CreateLineLayer(GDALDataset& Dataset, const char* Name, OGRSpatialReference& Srs,
                          CSLConstList Options, const gdal::TErrorCapture& Errors, const std::string& Target) {
  OGRLayer* layer = Dataset.CreateLayer(Name, &Srs, wkbMultiLineString, const_cast<char**>(Options));
  if (!layer) Errors.Fail(Target, std::string("GDAL could not make the layer ") + Name);
  OGRFieldDefn depthCm("depth_cm", OFTInteger);
  OGRFieldDefn depthM("depth_m", OFTReal);
  depthM.SetWidth(10);
  depthM.SetPrecision(2);
  if (layer->CreateField(&depthCm) != OGRERR_NONE || layer->CreateField(&depthM) != OGRERR_NONE)
    Errors.Fail(Target, std::string("GDAL could not make the fields of ") + Name);
  return layer;
}

// One feature per track with a line in it; checks for cancellation per
// track.
void WriteLines(OGRLayer& Layer, const TGPX& Lines, const gdal::TErrorCapture& Errors, const std::string& Target,
                TFeedback& Feedback) {
  for (const TGPXtrk* track : Lines.trk) {
    if (Feedback.Canceled()) throw TCanceled{};
    std::unique_ptr<OGRMultiLineString> geometry = TrackGeometry(*track);
    if (!geometry) continue;
    const long long level = ContourLevel(*track);
    OGRFeature feature(Layer.GetLayerDefn());
    feature.SetField("depth_cm", static_cast<GIntBig>(level));
    feature.SetField("depth_m", static_cast<double>(level) / 100);
    feature.SetGeometryDirectly(geometry.release());
    if (Layer.CreateFeature(&feature) != OGRERR_NONE) Errors.Fail(Target, "GDAL could not write a contour line");
  }
}

GDALDriver* Driver(const char* Name, const gdal::TErrorCapture& Errors, const std::string& Target) {
  gdal::EnsureRegistered();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(Name);
  if (!driver) Errors.Fail(Target, std::string("GDAL has no driver ") + Name);
  return driver;
}

}  // namespace

void WriteContoursGeoPackage(const std::string& Path, const TGPX& Contours, const TExportSamples& Samples,
                             const std::optional<TSafetyContour>& Safety, TFeedback& Feedback) {
  gdal::TErrorCapture errors;
  GDALDriver* driver = Driver("GPKG", errors, Path);
  gdal::TMemFolder folder;
  const std::string file = folder.File("contours.gpkg");
  GDALDatasetUniquePtr dataset(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) errors.Fail(Path, "GDAL could not make the GeoPackage");
  OGRSpatialReference wgs84 = gdal::Wgs84();

  // One transaction: a GeoPackage writes each feature by itself otherwise.
  dataset->StartTransaction();
  CPLStringList contourOptions;
  contourOptions.SetNameValue("DESCRIPTION", "Depth contours");
  OGRLayer* contours = CreateLineLayer(*dataset, "contours", wgs84, contourOptions.List(), errors, Path);
  WriteLines(*contours, Contours, errors, Path, Feedback);

  CPLStringList soundingOptions;
  soundingOptions.SetNameValue("DESCRIPTION", "Depth samples of the map: the shoreline's, then the soundings");
  OGRLayer* soundings = dataset->CreateLayer("soundings", &wgs84, wkbPoint, soundingOptions.List());
  if (!soundings) errors.Fail(Path, "GDAL could not make the layer soundings");
  OGRFieldDefn depthCm("depth_cm", OFTReal);
  if (soundings->CreateField(&depthCm) != OGRERR_NONE) errors.Fail(Path, "GDAL could not make the fields of soundings");
  const int count = Samples.Count();
  for (int i = 0; i < count; ++i) {
    if (i % 4096 == 0 && Feedback.Canceled()) throw TCanceled{};
    OGRFeature feature(soundings->GetLayerDefn());
    feature.SetField(0, static_cast<double>(Samples.Depth[i]));
    feature.SetGeometryDirectly(new OGRPoint(Samples.Coord[i][0], Samples.Coord[i][1]));
    if (soundings->CreateFeature(&feature) != OGRERR_NONE) errors.Fail(Path, "GDAL could not write a sounding");
  }

  if (Safety && Safety->Lines) {
    CPLStringList safetyOptions;
    const std::string description = "Safety contour at " + MetresText(Safety->Depth, 2) + " m";
    safetyOptions.SetNameValue("DESCRIPTION", description.c_str());
    OGRLayer* safety = CreateLineLayer(*dataset, "safety", wgs84, safetyOptions.List(), errors, Path);
    WriteLines(*safety, *Safety->Lines, errors, Path, Feedback);
  }
  if (dataset->CommitTransaction() != OGRERR_NONE) errors.Fail(Path, "GDAL could not finish the GeoPackage");
  gdal::Close(dataset.release(), errors, Path);
  const std::string_view bytes = folder.Bytes("contours.gpkg");
  if (bytes.empty()) errors.Fail(Path, "GDAL made no GeoPackage");
  CommitFiles({{Path, bytes}});
}

void WriteContoursShapefile(const std::string& Path, const TGPX& Contours, TFeedback& Feedback) {
  const std::filesystem::path target(Path);
  if (target.extension() != ".shp" || target.stem().empty())
    throw std::invalid_argument("a shapefile's name ends in .shp, not \"" + Path + "\"");
  gdal::TErrorCapture errors;
  GDALDriver* driver = Driver("ESRI Shapefile", errors, Path);
  gdal::TMemFolder folder;
  const std::string stem = target.stem().string();
  GDALDatasetUniquePtr dataset(
      driver->Create(folder.File(stem + ".shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) errors.Fail(Path, "GDAL could not make the shapefile");
  CPLStringList options;
  options.SetNameValue("ENCODING", "UTF-8");
  OGRSpatialReference wgs84 = gdal::Wgs84();
  OGRLayer* layer = CreateLineLayer(*dataset, stem.c_str(), wgs84, options.List(), errors, Path);
  WriteLines(*layer, Contours, errors, Path, Feedback);
  gdal::Close(dataset.release(), errors, Path);

  std::vector<std::pair<std::string, std::string_view>> files;
  for (const std::string& name : folder.Files()) {
    const std::filesystem::path made(name);
    if (made.stem() != stem) continue;
    files.emplace_back((std::filesystem::path(target).replace_extension(made.extension())).string(),
                       folder.Bytes(name));
  }
  if (files.size() < 3) errors.Fail(Path, "GDAL made no complete shapefile set");
  CommitFiles(files);
}

}  // namespace sondralis
