#include "exports/ContourLayers.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "exports/FileSet.h"
#include "exports/GdalModule.h"
#include "formats/AtomicFile.h"

namespace sondralis {

long long ContourLevel(const TGPXtrk& Track) {
  for (const TGPXtrkseg* segment : Track)
    if (segment->Count() > 0) return std::llround(segment->Points(0)->HBdepth);
  return 0;
}

namespace {

// One feature per track with a segment of two points or more, at the
// track's level; checks for cancellation per track.
gdal::TLineLayer LineLayer(std::string Name, std::string Description, const TGPX& Lines, const TFeedback& Feedback) {
  gdal::TLineLayer layer{std::move(Name), std::move(Description), {}};
  for (const TGPXtrk* track : Lines.trk) {
    if (Feedback.Canceled()) throw TCanceled{};
    gdal::TLineFeature feature;
    for (const TGPXtrkseg* segment : *track) {
      if (segment->Count() < 2) continue;
      std::vector<double>& line = feature.Lines.emplace_back();
      line.reserve(2 * static_cast<std::size_t>(segment->Count()));
      for (const TPoint4D2* p : *segment) {
        line.push_back(p->Longitude);
        line.push_back(p->Latitude);
      }
    }
    if (feature.Lines.empty()) continue;
    feature.Level = ContourLevel(*track);
    layer.Features.push_back(std::move(feature));
  }
  return layer;
}

}  // namespace

void WriteContoursGeoPackage(const std::string& Path, const TGPX& Contours, const TExportSamples& Samples,
                             const std::optional<TSafetyContour>& Safety, TFeedback& Feedback) {
  const gdal::IModule& module = gdal::Module(Path);
  gdal::TGeoPackageRequest request;
  request.FileName = "contours.gpkg";
  request.Contours = LineLayer("contours", "Depth contours", Contours, Feedback);
  const std::size_t count = static_cast<std::size_t>(Samples.Count());
  request.SoundingCoord = Samples.Coord.Items().first(count);
  request.SoundingDepth = Samples.Depth.Items().first(count);
  if (Safety && Safety->Lines) {
    request.HasSafety = true;
    request.Safety =
        LineLayer("safety", "Safety contour at " + MetresText(Safety->Depth, 2) + " m", *Safety->Lines, Feedback);
  }
  gdal::Check(module.GeoPackage(request, Feedback,
                                [&](const gdal::TMadeFiles& Files) { CommitFiles({{Path, Files.front().second}}); }),
              Path);
}

void WriteContoursShapefile(const std::string& Path, const TGPX& Contours, TFeedback& Feedback) {
  const std::filesystem::path target(Path);
  if (target.extension() != ".shp" || target.stem().empty())
    throw std::invalid_argument("a shapefile's name ends in .shp, not \"" + Path + "\"");
  const gdal::IModule& module = gdal::Module(Path);
  const std::string stem = target.stem().string();
  const gdal::TLineLayer layer = LineLayer(stem, {}, Contours, Feedback);
  auto publish = [&](const gdal::TMadeFiles& Made) {
    std::vector<std::pair<std::string, std::string_view>> files;
    for (const auto& [name, bytes] : Made) {
      const std::filesystem::path made(name);
      if (made.stem() != stem) continue;
      files.emplace_back((std::filesystem::path(target).replace_extension(made.extension())).string(), bytes);
    }
    if (files.size() < 3) throw EFileError("Can't write " + Path + ": GDAL made no complete shapefile set");
    CommitFiles(files);
  };
  gdal::Check(module.Shapefile(layer, Feedback, publish), Path);
}

}  // namespace sondralis
