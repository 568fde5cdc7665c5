// Map view benchmarks: a full Redraw of a big survey as the window does it
// while panning (1004 × 677, shadow map on with a 30-pixel silver pen, track
// width 3; Arg 0 without the shadow map), the same zoomed in, and the two
// ways of painting a wide pen on their own.
//
// The recording is the synthetic lake survey at ten soundings per second
// (about 143 000 points). Its path comes from SONDRALIS_LAKE_GPX; without it
// the benchmark generates the survey with scripts/make-lake.py. Only the trkseg, trkpt lat/lon and depth values are read, by
// a throwaway scanner: this benchmark does not depend on the GPX reader.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "model/GPX.h"
#include "model/Numbers.h"
#include "model/Text.h"
#include "support/BenchLake.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"
#include "view/WideStroke.h"

namespace {

using namespace sondralis;

std::string LakePath() {
  if (const char* env = std::getenv("SONDRALIS_LAKE_GPX")) return env;
  return bench::BenchLakeSurvey(10);
}

// Value of attribute or element text after `key` in `text` from `from`.
std::string Between(const std::string& text, std::size_t from, const std::string& open, char close) {
  const std::size_t a = text.find(open, from);
  if (a == std::string::npos) return {};
  const std::size_t b = text.find(close, a + open.size());
  return text.substr(a + open.size(), b - a - open.size());
}

std::unique_ptr<TGPX> LoadLake(int& maxDepth) {
  std::ifstream in(LakePath());
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  auto doc = std::make_unique<TGPX>();
  auto* track = new TGPXtrk;
  doc->trk.Add(track);
  TGPXtrkseg* segment = nullptr;
  maxDepth = 0;
  std::size_t pos = 0;
  std::size_t seg = text.find("<trkseg>");
  while (true) {
    if (seg != std::string::npos && seg < pos) seg = text.find("<trkseg>", pos);
    const std::size_t pt = text.find("<trkpt ", pos);
    if (pt == std::string::npos) break;
    if (seg != std::string::npos && seg < pt) {
      segment = new TGPXtrkseg;
      track->Add(segment);
      pos = seg + 8;
      continue;
    }
    const std::size_t end = text.find("</trkpt>", pt);
    auto* point = new TGPXwpt;
    point->Latitude = ParseNumberDef(Between(text, pt, "lat=\"", '"'), 0);
    point->Longitude = ParseNumberDef(Between(text, pt, "lon=\"", '"'), 0);
    const std::size_t depth = text.find("<h:depth>", pt);
    if (depth != std::string::npos && depth < end) point->HBdepth = ParseNumberDef(Between(text, depth, "<h:depth>", '<'), 0);
    maxDepth = std::max(maxDepth, static_cast<int>(point->HBdepth));
    if (!segment) {
      segment = new TGPXtrkseg;
      track->Add(segment);
    }
    segment->Add(point);
    pos = end;
  }
  return doc;
}

struct Scene {
  std::unique_ptr<TGPX> doc;
  TCanvas canvas{1004, 677};
  TGPXDraw view;
  int points = 0;

  Scene() {
    int maxDepth = 0;
    doc = LoadLake(maxDepth);
    for (TGPXtrk* t : doc->trk)
      for (TGPXtrkseg* s : *t) points += s->Count();
    view.Options.BackGroundColor = 16777215;
    view.ShadowMapEnabled = true;
    view.ShadowMapTrackWidth = 30;
    view.ShadowMapTrackColor = 12632256;
    view.TrackWidth = 3;
    view.MaxDepth = maxDepth;
    view.GPXd = doc.get();
    view.Canvas = &canvas;
    view.Resize(1004, 677);
    view.ResetBBox(true, true);
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void BM_Redraw(benchmark::State& state) {
  Scene& s = TheScene();
  s.view.ShadowMapEnabled = state.range(0) != 0;
  for (auto _ : state) {
    s.view.Redraw();
    benchmark::DoNotOptimize(s.canvas.Image().constBits());
  }
  state.counters["points"] = s.points;
  s.view.ShadowMapEnabled = true;
}
BENCHMARK(BM_Redraw)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

// Panning after zooming in five times: most points lie outside the raster.
void BM_RedrawZoomedIn(benchmark::State& state) {
  Scene& s = TheScene();
  for (int i = 0; i < 5; ++i) s.view.ZoomIn();
  for (auto _ : state) {
    s.view.Redraw();
    benchmark::DoNotOptimize(s.canvas.Image().constBits());
  }
  s.view.ResetBBox(true, true);
}
BENCHMARK(BM_RedrawZoomedIn)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

// The shadow map of the whole survey with one painting method forced.
void BM_ShadowMapMethod(benchmark::State& state) {
  Scene& s = TheScene();
  const auto method = static_cast<TWideStroke::TMethod>(state.range(0));
  TCanvas target(1004, 677);
  TWideStroke stroke;
  for (auto _ : state) {
    stroke.Reset(30, 1004, 677);
    for (TGPXtrk* t : s.doc->trk)
      for (TGPXtrkseg* seg : *t)
        for (int i = 1; i < seg->Count(); ++i) {
          const TPoint4D2& p = *(*seg)[i - 1];
          const TPoint4D2& q = *(*seg)[i];
          stroke.AddLine(s.view.Point4D2ToX(p), s.view.Point4D2ToY(p), s.view.Point4D2ToX(q),
                         s.view.Point4D2ToY(q));
        }
    stroke.Paint(target.ScanLine(0), 1004, 0xFFC0C0C0u, method);
  }
}
BENCHMARK(BM_ShadowMapMethod)
    ->Arg(static_cast<int>(TWideStroke::TMethod::Stamp))
    ->Arg(static_cast<int>(TWideStroke::TMethod::Distance))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
