// BM_ExampleLakeRoad: what a user waits for on the example lake (survey and
// shoreline KML) in the default 800 × 600 map, through the session as the
// window drives it: "Add Files...", "Interpolate" (2 workers) and "ISO Map"
// at the default step. Each iteration starts a fresh session. Counters: the
// milliseconds of each of the three commands, per iteration.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "model/Host.h"
#include "session/Session.h"

namespace {

using namespace sondralis;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

void BM_ExampleLakeRoad(benchmark::State& state) {
  const std::string dir = SONDRALIS_SOURCE_DIR "/examples/";
  double load = 0, interpolate = 0, iso = 0;
  for (auto _ : state) {
    TUnattendedHost host;
    TSession session(host, 2);
    const auto t0 = Clock::now();
    session.AddFiles({dir + "lake_survey.gpx", dir + "lake_shore.kml"});
    const auto t1 = Clock::now();
    const bool interpolated = session.Interpolate();
    const auto t2 = Clock::now();
    const bool traced = interpolated && session.RunIsoMap();
    const auto t3 = Clock::now();
    if (!traced) {
      state.SkipWithError(host.Errors.empty() ? "the lake did not trace" : host.Errors.front().c_str());
      return;
    }
    load += Milliseconds(t0, t1);
    interpolate += Milliseconds(t1, t2);
    iso += Milliseconds(t2, t3);
    benchmark::DoNotOptimize(session.IsoData().trk.Count());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["load_ms"] = load / n;
  state.counters["interpolate_ms"] = interpolate / n;
  state.counters["iso_map_ms"] = iso / n;
}
BENCHMARK(BM_ExampleLakeRoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
