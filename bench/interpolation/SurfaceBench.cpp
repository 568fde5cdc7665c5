// The Surface method on the inputs of a real run.
//
// BM_SurfaceExampleLake/threads: the example lake (survey and shoreline KML)
// in the map's default 815 × 649 view: the samples, mask and pixel grid a
// run collects (shoreline pixels, then the thinned track points), and the
// surface made from them. Only SurfaceInterpolate is timed.
// BM_SurfaceLake10Hz/threads: the same for the 10 Hz lake of
// scripts/make-lake.py (about 143 000 readings) at 2000 × 1400.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <string>

#include "formats/SourceTracks.h"
#include "interpolation/CoverageMask.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/SurfaceInterp.h"
#include "model/Feedback.h"
#include "support/BenchLake.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace {

using namespace sondralis;

// What an interpolation run hands the method: samples, mask and pixel grid.
struct TRunInputs {
  TPointList Coord;
  TValueList Depth;
  TBooleanArray Mask;
  TPixelCoordinates Pixels;

  TRunInputs(const std::string& Survey, const std::string& Shore, int Width, int Height) {
    TGPX doc;
    TCanvas picture(Width, Height);
    TGPXDraw view;
    TSilentFeedback feedback;
    for (const std::string& path : {Survey, Shore}) LoadSourceFile(doc, path, {}, feedback);
    view.TrackWidth = 3;
    view.Options.BackGroundColor = 16777215;
    view.ShadowMapEnabled = true;
    view.ShadowMapTrackColor = 12632256;
    view.GPXd = &doc;
    view.Canvas = &picture;
    view.Resize(Width, Height);
    view.ResetBBox(true, true);
    view.MaxDepth = GetMaxDepth(doc);
    view.Redraw();
    TCoverage coverage = BuildCoverage(view);
    ThinTracks(doc, std::fabs(view.BBox.N - view.BBox.S) / Height, std::fabs(view.BBox.E - view.BBox.O) / Width);
    Coord = coverage.ShoreCoord;
    Depth = coverage.ShoreDepth;
    for (TGPXtrk* track : doc.trk)
      for (TGPXtrkseg* segment : *track)
        for (const TPoint4D2* p : *segment) {
          Coord.Add({static_cast<float>(p->Longitude), static_cast<float>(p->Latitude)});
          Depth.Add(static_cast<float>(p->HBdepth));
        }
    Mask = coverage.ShadowArray;
    Pixels = GridNodes(ViewGridExtent(view), Width, Height);
  }
};

void RunSurface(benchmark::State& state, const TRunInputs& in) {
  TSurfaceSettings settings;
  settings.Threads = static_cast<int>(state.range(0));
  TSurfaceReport report;
  for (auto _ : state) {
    TDepthArray out;
    TSilentFeedback feedback;
    const auto start = std::chrono::steady_clock::now();
    report = SurfaceInterpolate(in.Coord, in.Depth, in.Pixels, in.Mask, settings, out, feedback);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(out.All().data());
  }
  state.counters["samples"] = in.Coord.Length();
  state.counters["blocks"] = report.Blocks;
  state.counters["lattice_nodes"] = report.LatticeColumns * report.LatticeRows;
  state.counters["covered_pixels"] = report.Covered;
}

void BM_SurfaceExampleLake(benchmark::State& state) {
  static const TRunInputs in(SONDRALIS_SOURCE_DIR "/examples/lake_survey.gpx",
                             SONDRALIS_SOURCE_DIR "/examples/lake_shore.kml", 815, 649);
  RunSurface(state, in);
}
BENCHMARK(BM_SurfaceExampleLake)->Arg(1)->Arg(2)->ArgName("threads")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SurfaceLake10Hz(benchmark::State& state) {
  static const TRunInputs in(bench::BenchLakeSurvey(10), bench::BenchLakeDir(10) + "/lake_shore.kml", 2000, 1400);
  RunSurface(state, in);
}
BENCHMARK(BM_SurfaceLake10Hz)->Arg(1)->Arg(2)->ArgName("threads")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
