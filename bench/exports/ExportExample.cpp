// export_example OUTDIR [SAFETY_CM]
//
// Makes the example lake's map as `sondralis-cli map` makes it at its
// default size and writes every export of it into OUTDIR, for
// scripts/check-exports.sh to read with independent tools: depth.asc (the
// same bytes as map's, which shows the run is map's), depth.tif,
// contours.gpkg, contours.shp and its set, contours.kml, chart.mbtiles,
// spots.gpx, spots.hwr, report.csv, report.json, and pictures to look at:
// depth.png, hillshade.png, safety.png, hypsographic.png. With SAFETY_CM
// the safety depth is marked in the chart and the vector files.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "contours/ContourKML.h"
#include "exports/ChartTiles.h"
#include "exports/ContourLayers.h"
#include "exports/DepthGeoTIFF.h"
#include "exports/Hillshade.h"
#include "exports/HumminbirdWaypoints.h"
#include "exports/HypsographicPlot.h"
#include "exports/LakeReport.h"
#include "exports/SafetyDepth.h"
#include "exports/SoundingDistance.h"
#include "exports/Spots.h"
#include "formats/AtomicFile.h"
#include "support/ExampleLakeMap.h"

int main(int argc, char** argv) {
  using namespace sondralis;
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: export_example OUTDIR [SAFETY_CM]\n";
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::filesystem::path out(argv[1]);
  std::filesystem::create_directories(out);
  auto file = [&](const char* name) { return (out / name).string(); };
  const int safety = argc == 3 ? std::atoi(argv[2]) : -1;  // below 0: none

  try {
    bench::TExampleLakeMap lake;
    TSilentFeedback feedback;
    const TProject& session = lake.Project;
    WriteFileAtomically(file("depth.asc"), EncodeEsriAsciiGrid(lake.Grid.Depth, lake.Grid.Extent));

    const TDistanceArray distances = NearestSoundingDistances(lake.Grid, lake.Samples.Soundings(), feedback);
    WriteDepthGeoTIFF(file("depth.tif"), lake.Grid, distances, feedback);

    TGPX safetyLines;
    std::optional<TSafetyContour> safetyContour;
    TCanvas chart = session.InterpolatedImage();
    session.InterpolatedImage().Image().save(QString::fromStdString(file("depth.png")));
    ShadeRelief(chart, lake.Grid, kDefaultExaggeration, feedback).Image().save(QString::fromStdString(file("hillshade.png")));
    if (safety >= 0) {
      TraceSafetyContour(safetyLines, session.GPXView(), session.InterpolatedImage(), lake.Grid.Mask,
                         session.clShallowWater(), session.clDeepWater(), session.MaxDepth(), safety, feedback);
      safetyContour = TSafetyContour{&safetyLines, safety};
      HatchShallowWater(chart, lake.Grid, safety);
      DrawBoldLines(chart, lake.Grid, safetyLines);
      chart.Image().save(QString::fromStdString(file("safety.png")));
    }
    WriteContoursGeoPackage(file("contours.gpkg"), session.IsoData(), lake.Samples, safetyContour, feedback);
    WriteContoursShapefile(file("contours.shp"), session.IsoData(), feedback);
    const TKMLSafety kmlSafety{&safetyLines, safety, kSafetyColor};
    ExportContoursKML(file("contours.kml"), session.IsoData(), session.MaxDepth(), session.clShallowWater(),
                      session.clDeepWater(), {.Safety = safety >= 0 ? &kmlSafety : nullptr});

    TChartLayers layers;
    layers.Picture = &chart;
    layers.Contours = &session.IsoData();
    layers.Shoreline = lake.Shoreline;
    layers.Safety = safety >= 0 ? &safetyLines : nullptr;
    WriteChartMBTiles(file("chart.mbtiles"), lake.Grid, layers, "Example lake", feedback);
    const TZoomLevels zoom = ChartZoomLevels(lake.Grid);

    const std::vector<TSpot> spots = FindSpots(lake.Grid, TSpotSettings{}, feedback);
    WriteSpotsGPX(file("spots.gpx"), spots);
    WriteSpotsHWR(file("spots.hwr"), spots);

    const TLakeReport report =
        ComputeLakeReport(lake.Grid, distances, lake.Samples, lake.Shoreline, lake.Step(), feedback);
    WriteLakeReport(file("report.csv"), file("report.json"), report);
    QImage plot(600, 450, QImage::Format_RGB32);
    plot.fill(Qt::white);
    {
      QPainter painter(&plot);
      PaintHypsographicCurve(painter, QRectF(0, 0, plot.width(), plot.height()), report);
    }
    plot.save(QString::fromStdString(file("hypsographic.png")));

    std::cout << "zoom " << zoom.Min << " " << zoom.Max << "\n"
              << "contours " << session.IsoData().trk.Count() << "\n"
              << "samples " << lake.Samples.Count() << "\n"
              << "spots " << spots.size() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "export_example: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
