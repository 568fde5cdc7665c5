// Each export of the example lake's map at the map's default size (815 × 649
// cells, as `sondralis-cli map` makes it), from the run's arrays to the
// file on disk in a temporary folder; each is meant to take at most 0.2 s.
// The exports that need the distance to the nearest sounding (depth.tif and
// the report) compute it in their time, as a map's export would once for
// both; BM_SoundingDistances shows its share.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QGuiApplication>

#include "contours/ContourKML.h"
#include "exports/ChartTiles.h"
#include "exports/ContourLayers.h"
#include "exports/DepthGeoTIFF.h"
#include "exports/Hillshade.h"
#include "exports/HumminbirdWaypoints.h"
#include "exports/LakeReport.h"
#include "exports/MapExport.h"
#include "exports/SafetyDepth.h"
#include "exports/SoundingDistance.h"
#include "exports/Spots.h"
#include "support/ExampleLakeMap.h"

namespace {

using namespace sondralis;
namespace fs = std::filesystem;

bench::TExampleLakeMap& Lake() {
  static bench::TExampleLakeMap lake;
  return lake;
}

std::string Out(const std::string& name) {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("sondralis-bench-exports-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return (dir / name).string();
}

void BM_SoundingDistances(benchmark::State& state) {
  TSilentFeedback feedback;
  for (auto _ : state) {
    const TDistanceArray d = NearestSoundingDistances(Lake().Grid, Lake().Samples.Soundings(), feedback);
    benchmark::DoNotOptimize(d[400][300]);
  }
  state.counters["soundings"] = static_cast<double>(Lake().Samples.Soundings().size());
}
BENCHMARK(BM_SoundingDistances)->Unit(benchmark::kMillisecond);

void BM_GeoTIFF(benchmark::State& state) {
  TSilentFeedback feedback;
  for (auto _ : state) {
    const TDistanceArray d = NearestSoundingDistances(Lake().Grid, Lake().Samples.Soundings(), feedback);
    WriteDepthGeoTIFF(Out("depth.tif"), Lake().Grid, d, feedback);
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(Out("depth.tif")));
}
BENCHMARK(BM_GeoTIFF)->Unit(benchmark::kMillisecond);

void BM_GeoPackage(benchmark::State& state) {
  TSilentFeedback feedback;
  TGPX safety;
  TraceSafetyContour(safety, Lake().Project.GPXView(), Lake().Project.InterpolatedImage(), Lake().Grid.Mask,
                     Lake().Project.clShallowWater(), Lake().Project.clDeepWater(), Lake().Project.MaxDepth(), 200,
                     feedback);
  for (auto _ : state)
    WriteContoursGeoPackage(Out("contours.gpkg"), Lake().Project.IsoData(), Lake().Samples,
                            TSafetyContour{&safety, 200}, feedback);
  state.counters["bytes"] = static_cast<double>(fs::file_size(Out("contours.gpkg")));
}
BENCHMARK(BM_GeoPackage)->Unit(benchmark::kMillisecond);

void BM_Shapefile(benchmark::State& state) {
  TSilentFeedback feedback;
  for (auto _ : state) WriteContoursShapefile(Out("contours.shp"), Lake().Project.IsoData(), feedback);
}
BENCHMARK(BM_Shapefile)->Unit(benchmark::kMillisecond);

void BM_MBTiles(benchmark::State& state) {
  TSilentFeedback feedback;
  TChartLayers layers;
  layers.Picture = &Lake().Project.InterpolatedImage();
  layers.Contours = &Lake().Project.IsoData();
  layers.Shoreline = Lake().Shoreline;
  for (auto _ : state) WriteChartMBTiles(Out("chart.mbtiles"), Lake().Grid, layers, "Example lake", feedback);
  const TZoomLevels zoom = ChartZoomLevels(Lake().Grid);
  state.counters["minzoom"] = zoom.Min;
  state.counters["maxzoom"] = zoom.Max;
  state.counters["bytes"] = static_cast<double>(fs::file_size(Out("chart.mbtiles")));
}
BENCHMARK(BM_MBTiles)->Unit(benchmark::kMillisecond);

void BM_Hillshade(benchmark::State& state) {
  TSilentFeedback feedback;
  for (auto _ : state) {
    const TCanvas shaded = ShadeRelief(Lake().Project.InterpolatedImage(), Lake().Grid, kDefaultExaggeration, feedback);
    benchmark::DoNotOptimize(shaded.Pixel(400, 300));
  }
}
BENCHMARK(BM_Hillshade)->Unit(benchmark::kMillisecond);

// The safety contour traced, the depth picture hatched and the contour
// drawn bold on it, and the KML with its folder.
void BM_SafetyDepth(benchmark::State& state) {
  TSilentFeedback feedback;
  const TProject& session = Lake().Project;
  for (auto _ : state) {
    TGPX lines;
    TraceSafetyContour(lines, session.GPXView(), session.InterpolatedImage(), Lake().Grid.Mask,
                       session.clShallowWater(), session.clDeepWater(), session.MaxDepth(), 200, feedback);
    TCanvas picture = session.InterpolatedImage();
    HatchShallowWater(picture, Lake().Grid, 200);
    DrawBoldLines(picture, Lake().Grid, lines);
    const TKMLSafety safety{&lines, 200, kSafetyColor};
    ExportContoursKML(Out("contours.kml"), session.IsoData(), session.MaxDepth(), session.clShallowWater(),
                      session.clDeepWater(), {.Safety = &safety});
  }
}
BENCHMARK(BM_SafetyDepth)->Unit(benchmark::kMillisecond);

void BM_Spots(benchmark::State& state) {
  TSilentFeedback feedback;
  std::size_t count = 0;
  for (auto _ : state) {
    const std::vector<TSpot> spots = FindSpots(Lake().Grid, TSpotSettings{}, feedback);
    WriteSpotsGPX(Out("spots.gpx"), spots);
    WriteSpotsHWR(Out("spots.hwr"), spots);
    count = spots.size();
  }
  state.counters["spots"] = static_cast<double>(count);
}
BENCHMARK(BM_Spots)->Unit(benchmark::kMillisecond);

void BM_Report(benchmark::State& state) {
  TSilentFeedback feedback;
  for (auto _ : state) {
    const TDistanceArray d = NearestSoundingDistances(Lake().Grid, Lake().Samples.Soundings(), feedback);
    const TLakeReport report =
        ComputeLakeReport(Lake().Grid, d, Lake().Samples, Lake().Shoreline, Lake().Step(), feedback);
    WriteLakeReport(Out("report.csv"), Out("report.json"), report);
  }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

// chart.pdf as map writes it (through the export step, with the chart's
// own contour lines, the report and the raster at 300 dpi): plain, and with
// relief and a safety depth of 2 m; on A4 and on A3.
void BM_ChartPDF(benchmark::State& state) {
  TSilentFeedback feedback;
  TExportRequest request = TExportRequest::OneFile(TOutput::ChartPDF, Out("chart.pdf"));
  request.Paper = state.range(0) ? TPaper::A3 : TPaper::A4;
  if (state.range(1)) {
    request.Relief = kDefaultExaggeration;
    request.SafetyDepth = 200;
  }
  for (auto _ : state) Lake().Project.Export(request, feedback);
  state.counters["bytes"] = static_cast<double>(fs::file_size(Out("chart.pdf")));
}
BENCHMARK(BM_ChartPDF)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"A3", "look"})->Unit(benchmark::kMillisecond);

// Every export for other programs with relief and a safety depth, beside
// the window's own files, as one staged publication: what the options add
// to map's files.
void BM_EveryExport(benchmark::State& state) {
  TSilentFeedback feedback;
  TExportChoice choice;
  choice.GeoTIFF = choice.GeoPackage = choice.Shapefile = choice.MBTiles = choice.PDF = choice.Spots =
      choice.Report = state.range(0) != 0;
  choice.Relief = state.range(0) ? kDefaultExaggeration : 0;
  choice.SafetyDepth = state.range(0) ? 200 : 0;
  TExportRequest request = TExportRequest::WholeMap(fs::path(Out("map")).string(), "Bench");
  request.Add(choice);
  for (auto _ : state) Lake().Project.Export(request, feedback);
}
BENCHMARK(BM_EveryExport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Lake();  // the map is made before the first timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(fs::path(Out("x")).parent_path());
  return 0;
}
