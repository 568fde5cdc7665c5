// BM_ChartTrace: the chart tracer on the depths of the example lake
// interpolated in a 1004 × 677 view (as BM_TraceExampleLake), for a given
// number of levels spread evenly from the step to the deepest reading: 20
// levels (1 m on this lake) and 200 (10 cm). The second argument picks the
// options: 0 traces only, 1 adds what the chart path does by default (rings
// under kChartMinRing dropped, thinning at kChartTolerance), 2 adds three
// passes of smoothing to that. Counters: lines and points kept.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contours/ChartTracer.h"
#include "interpolation/InterpolationRun.h"
#include "model/Feedback.h"
#include "support/ExampleLake.h"

namespace {

using namespace sondralis;

void BM_ChartTrace(benchmark::State& state) {
  const bench::TInterpolatedExampleLake& lake = bench::InterpolatedExampleLake();
  if (!lake.Error.empty()) {
    state.SkipWithError(lake.Error.c_str());
    return;
  }
  const int count = static_cast<int>(state.range(0));
  const int step = std::max(1, lake.Lake.MaxDepth / count);
  std::vector<int> levels = ChartLevels(step, lake.Lake.MaxDepth);
  if (static_cast<int>(levels.size()) > count) levels.resize(static_cast<std::size_t>(count));
  TChartOptions options;
  if (state.range(1) >= 1) {
    options.MinRing = kChartMinRing;
    options.Tolerance = kChartTolerance;
  }
  if (state.range(1) >= 2) options.Smooth = 3;
  TSilentFeedback feedback;
  TChartContours contours;
  for (auto _ : state) {
    contours = TraceChartContours(lake.Map.DepthArray, levels, options, feedback);
    benchmark::DoNotOptimize(contours.Lines.data());
  }
  double points = 0;
  for (const TChartLine& line : contours.Lines) points += static_cast<double>(line.Points.size());
  state.counters["levels"] = static_cast<double>(levels.size());
  state.counters["lines"] = static_cast<double>(contours.Lines.size());
  state.counters["points"] = points;
  state.SetLabel("step " + std::to_string(step) + " cm, " + std::to_string(lake.Lake.View.Width()) + "x" +
                 std::to_string(lake.Lake.View.Height()));
}
BENCHMARK(BM_ChartTrace)
    ->ArgsProduct({{20, 200}, {0, 1, 2}})
    ->ArgNames({"levels", "options"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
