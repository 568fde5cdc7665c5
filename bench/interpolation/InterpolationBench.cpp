// Interpolation benchmarks.
//
// BM_Kernel/P/THREADS: the vectorised Shepard kernel over 20 000 samples
// spread like a lake survey, THREADS threads each evaluating its share of the
// queries, a pixel column of 64 rows at a time as the workers do.
// ns_per_pair_per_core = wall time × threads ÷ (queries × samples).
// BM_Plain/P: the plain formula, one thread, the same measure.
//
// BM_RunExampleLake: a whole run as the "Interpolate" button does it, on the
// example lake (survey and shoreline KML) in a 1004 × 677 view with 2
// workers: mask, thinning, samples, workers and picture. The document is
// reloaded between iterations (not timed), since thinning changes it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/ShepardInterp.h"
#include "model/Feedback.h"
#include "support/ExampleLake.h"

namespace {

using namespace sondralis;

constexpr int kSamples = 20000;

struct Cloud {
  TPointList Pts;
  TValueList Vals;
  std::vector<std::pair<double, double>> Queries;
  Cloud() {
    std::mt19937 random(1);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < kSamples; ++i) {
      Pts.Add({static_cast<float>(8.30 + 0.02 * unit(random)), static_cast<float>(47.04 + 0.015 * unit(random))});
      Vals.Add(static_cast<float>(1900 * unit(random)));
    }
    for (int q = 0; q < 4096; ++q) Queries.emplace_back(8.30 + 0.02 * unit(random), 47.04 + 0.015 * unit(random));
  }
};

const Cloud& TheCloud() {
  static const Cloud cloud;
  return cloud;
}

void BM_Kernel(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const Cloud& c = TheCloud();
  const TShepardInterp s(c.Pts, c.Vals, p);
  constexpr std::size_t perThread = 512, rows = 64;
  double sink = 0, seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    std::vector<double> sums(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        double sum = 0;
        std::vector<double> ys(rows), out(rows);
        for (std::size_t q = 0; q < perThread; q += rows) {
          const std::size_t base = static_cast<std::size_t>(t) * perThread + q;
          const double x = c.Queries[base % c.Queries.size()].first;
          for (std::size_t r = 0; r < rows; ++r) ys[r] = c.Queries[(base + r) % c.Queries.size()].second;
          for (std::size_t r = 0; r < rows; ++r) out[r] = s.FastInterp(x, ys[r]);
          for (double v : out) sum += v;
        }
        sums[static_cast<std::size_t>(t)] = sum;
      });
    for (auto& th : pool) th.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    for (double v : sums) sink += v;
  }
  benchmark::DoNotOptimize(sink);
  const double pairs = static_cast<double>(state.iterations()) * threads * perThread * kSamples;
  state.counters["ns_per_pair_per_core"] = seconds * 1e9 * threads / pairs;
  state.SetLabel(ShepardKernelTarget());
}
BENCHMARK(BM_Kernel)
    ->ArgsProduct({{2, 8, 13}, {1, 2}})
    ->ArgNames({"p", "threads"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Plain(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const Cloud& c = TheCloud();
  const TShepardInterp s(c.Pts, c.Vals, p);
  std::size_t q = 0;
  double sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const auto& [x, y] = c.Queries[q++ % c.Queries.size()];
    sink += s.interp(x, y);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  benchmark::DoNotOptimize(sink);
  state.counters["ns_per_pair_per_core"] = seconds * 1e9 / (static_cast<double>(state.iterations()) * kSamples);
}
BENCHMARK(BM_Plain)->Arg(2)->Arg(8)->Arg(13)->ArgName("p")->Unit(benchmark::kMillisecond);

void BM_RunExampleLake(benchmark::State& state) {
  double samples = 0, covered = 0;
  for (auto _ : state) {
    bench::TExampleLakeView lake;
    TSilentFeedback feedback;
    TDepthMap map;
    const auto start = std::chrono::steady_clock::now();
    std::string refused;
    try {
      if (!map.Interpolate(lake.View, lake.RunSettings(2), lake.RunInput(), feedback)) refused = "nothing to run";
    } catch (const ERunRefused& e) {
      refused = e.what();
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!refused.empty()) {
      state.SkipWithError(refused.c_str());
      return;
    }
    samples = map.InCoord.Length();
    covered = map.CoveredPixels;
  }
  state.counters["samples"] = samples;
  state.counters["covered_pixels"] = covered;
  state.SetLabel(ShepardKernelTarget());
}
BENCHMARK(BM_RunExampleLake)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
