// HT export benchmarks: thinning a large contour document until it fits one
// HT file (bisection over the reduce threshold), and writing HT files.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "contours/HTReducer.h"
#include "formats/HTConvert.h"

namespace {

using namespace sondralis;

using SilentHost = TSilentFeedback;

// Contour lines as the tracer leaves them: one track per depth level, each
// with closed wavy rings at that depth, the points stepping on a pixel grid
// (a zigzag of 3e-5 degrees), about 3 km across.
void BuildContours(TGPX& doc, int tracks, int ringsPerTrack, int pointsPerRing) {
  for (int t = 0; t < tracks; ++t) {
    auto* track = new TGPXtrk;
    doc.trk.Add(track);
    for (int r = 0; r < ringsPerTrack; ++r) {
      auto* seg = new TGPXtrkseg;
      track->Add(seg);
      seg->Reserve(pointsPerRing);
      const double radius = 0.001 + 0.02 * (r * tracks + t) / (tracks * ringsPerTrack);
      const double cx = 8.25 + 0.004 * (r % 5), cy = 47.5 + 0.003 * (r % 7);
      for (int i = 0; i < pointsPerRing; ++i) {
        const double a = 2 * std::numbers::pi * (i % (pointsPerRing - 1)) / (pointsPerRing - 1);
        const double rho = radius * (1 + 0.15 * std::sin(3 * a + r) + 0.05 * std::sin(11 * a)) + (i % 2) * 3e-5;
        auto* p = new TGPXwpt;
        p->Latitude = cy + rho * std::sin(a);
        p->Longitude = cx + rho * std::cos(a);
        p->HBdepth = 100.0 * (t + 1);
        seg->Add(p);
      }
    }
  }
}

// Arguments: tracks, rings per track, points per ring (300 000 points).
void BM_ReduceToFit(benchmark::State& state) {
  TGPX doc;
  BuildContours(doc, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                static_cast<int>(state.range(2)));
  SilentHost host;
  ReduceSearchResult result;
  for (auto _ : state) {
    result = FindReduceThreshold(doc, kHTMaxEntries, 99950, host);
    benchmark::DoNotOptimize(result.Count);
  }
  state.counters["points"] = CountHTPoints(doc, 0);
  state.counters["count_before"] = CountHTPoints(doc, kHTAllowance);
  state.counters["tries"] = result.Tries;
  state.counters["threshold"] = result.Threshold;
  state.counters["count_after"] = result.Count;
}
// 2000 segments cannot go below 20000: the allowance alone is 2000 x 9 + 100 x 9,
// and every segment keeps at least its two end points. The search ends at t = 1.
BENCHMARK(BM_ReduceToFit)->Args({100, 20, 150})->Unit(benchmark::kMillisecond)->Iterations(3);
// 1000 segments of 300 points: the search finds a threshold.
BENCHMARK(BM_ReduceToFit)->Args({50, 20, 300})->Unit(benchmark::kMillisecond)->Iterations(3);

void BuildFullFile(TGPX& doc) {
  auto* track = new TGPXtrk;
  doc.trk.Add(track);
  auto* seg = new TGPXtrkseg;
  track->Add(seg);
  for (int i = 0; i < kHTMaxEntries - 3; ++i) {
    auto* p = new TGPXwpt;
    p->Latitude = 47.5 + 1e-5 * i;
    p->Longitude = 8.25 + 2e-5 * std::sin(i * 0.01);
    p->HBdepth = 100 + i % 900;
    seg->Add(p);
  }
}

// A 20000-entry HT file built in memory.
void BM_BuildHTFile(benchmark::State& state) {
  TGPX doc;
  BuildFullFile(doc);
  for (auto _ : state) {
    std::string bytes = BuildHTFile(doc, "Lake");
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations());  // files
}
BENCHMARK(BM_BuildHTFile)->Unit(benchmark::kMicrosecond);

// The same file written to disk: temporary file, fsync, rename.
void BM_WriteHTFile(benchmark::State& state) {
  TGPX doc;
  BuildFullFile(doc);
  const auto dir = std::filesystem::temp_directory_path() / ("sondralis-bench-ht-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  THTConvert convert(&doc, "Lake", (dir / "000.ht").string());
  for (auto _ : state) convert.ConvertToHT();
  state.SetItemsProcessed(state.iterations());  // files
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteHTFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
