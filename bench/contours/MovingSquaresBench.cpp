// BM_TraceExampleLake: the contour tracer over the interpolated picture of
// the example lake (survey and shoreline KML) in a 1004 × 677 view, about 20
// levels from 0 to the deepest reading (step = MaxDepth / 20, rounded). The
// picture is interpolated once, before timing; each iteration traces into a
// fresh document and ISO map. Counters: levels traced, contour tracks and
// points, points per level.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contours/MovingSquares.h"
#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "model/Feedback.h"
#include "support/ExampleLake.h"

namespace {

using namespace sondralis;

void BM_TraceExampleLake(benchmark::State& state) {
  const bench::TInterpolatedExampleLake& lake = bench::InterpolatedExampleLake();
  if (!lake.Error.empty()) {
    state.SkipWithError(lake.Error.c_str());
    return;
  }
  const int step = std::max(1, static_cast<int>(std::lround(lake.Lake.MaxDepth / 20.0)));
  double levels = 0, tracks = 0, points = 0;
  for (auto _ : state) {
    auto contours = std::make_unique<TGPX>();
    TCanvas isoMap;
    int counted = 0;
    TSilentFeedback feedback;
    TMovingSquares tracer(*contours, lake.Lake.View, isoMap, lake.Map.InterpolatedImage, lake.Map.ShadowArray);
    const auto start = std::chrono::steady_clock::now();
    tracer.GenerateISO(0, lake.Lake.MaxDepth, step, feedback, [&](int) { ++counted; });
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    levels = counted;
    tracks = contours->trk.Count();
    points = 0;
    for (const TGPXtrk* t : contours->trk)
      for (const TGPXtrkseg* s : *t) points += s->Count();
  }
  state.counters["levels"] = levels;
  state.counters["tracks"] = tracks;
  state.counters["points"] = points;
  state.counters["points_per_level"] = levels > 0 ? points / levels : 0;
  state.SetLabel("step " + std::to_string(step) + " cm, max depth " + std::to_string(lake.Lake.MaxDepth) + " cm");
}
BENCHMARK(BM_TraceExampleLake)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
