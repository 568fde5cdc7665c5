// Interpolation benchmarks.
//
// BM_Kernel/P/THREADS: the vectorised Shepard kernel over 20 000 samples
// spread like a lake survey, THREADS threads each evaluating its share of the
// queries, a pixel column of 64 rows at a time through Column, exactly
// (tolerance 0), as the workers do.
// ns_per_pair_per_core = wall time × threads ÷ (queries × samples).
// cpu_ns_per_pair: the same from the threads' processor time.
// BM_KernelExact/P/1: the exact path (one division per pair), the same way.
// BM_Plain/P: the plain formula, one thread, the same measure.
//
// BM_GridSurvey/P/THREADS/PICOCM: what `sondralis-cli grid` does between
// reading its samples and writing its file, on the input of
// scripts/bench-grid.sh: every sounding of the example survey (positions
// and depths rounded to 32-bit floats), 400 x 300 nodes over the samples'
// box, with a tolerance of PICOCM 1e-12 cm (0: exact; 2000 is 1e-12 of
// the deepest reading).
// encode_ms is the time to write the grid as text (EncodeEsriAsciiGrid);
// cpu_s the processor time of the interpolation (all threads).
//
// BM_RunExampleLake: a whole run as the "Interpolate" button does it, on the
// example lake (survey and shoreline KML) in a 1004 × 677 view with 2
// workers: mask, thinning, samples, workers and picture. The document is
// reloaded between iterations (not timed), since thinning changes it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/SourceTracks.h"
#include "support/ExampleSurvey.h"
#include "interpolation/CoverageMask.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/ShepardInterp.h"
#include "model/Feedback.h"
#include "support/BenchLake.h"
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

// Seconds of processor time this thread has used: beside the wall time, a
// measure that machines shared with other work do not inflate by time
// slicing.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The kernel over the cloud, THREADS threads, a column of 64 rows at a time:
// Batched through Column (the workers' way), otherwise the exact path with
// one division per pair, the kernel as it was before the batched one.
template <bool Batched>
void KernelBench(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const Cloud& c = TheCloud();
  const TShepardInterp s(c.Pts, c.Vals, p);
  constexpr std::size_t perThread = 512, rows = 64;
  double sink = 0, seconds = 0, cpu = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    std::vector<double> sums(static_cast<std::size_t>(threads)), cpus(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        const double begin = ThreadSeconds();
        double sum = 0;
        std::vector<double> ys(rows), out(rows);
        for (std::size_t q = 0; q < perThread; q += rows) {
          const std::size_t base = static_cast<std::size_t>(t) * perThread + q;
          const double x = c.Queries[base % c.Queries.size()].first;
          for (std::size_t r = 0; r < rows; ++r) ys[r] = c.Queries[(base + r) % c.Queries.size()].second;
          if constexpr (Batched) {
            s.Column(x, ys, {}, 0, out);
          } else {
            const TShepardSamples& samples = s.Samples();
            for (std::size_t r = 0; r < rows; ++r)
              out[r] = ShepardExact(samples, p, samples.FrameX(x), samples.FrameY(ys[r]));
          }
          for (double v : out) sum += v;
        }
        sums[static_cast<std::size_t>(t)] = sum;
        cpus[static_cast<std::size_t>(t)] = ThreadSeconds() - begin;
      });
    for (auto& th : pool) th.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    for (double v : sums) sink += v;
    for (double v : cpus) cpu += v;
  }
  benchmark::DoNotOptimize(sink);
  const double pairs = static_cast<double>(state.iterations()) * threads * perThread * kSamples;
  state.counters["ns_per_pair_per_core"] = seconds * 1e9 * threads / pairs;
  state.counters["cpu_ns_per_pair"] = cpu * 1e9 / pairs;
  state.SetLabel(ShepardKernelTarget());
}

void BM_Kernel(benchmark::State& state) { KernelBench<true>(state); }
BENCHMARK(BM_Kernel)
    ->ArgsProduct({{2, 8, 13, 14}, {1, 2}})
    ->ArgNames({"p", "threads"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_KernelExact(benchmark::State& state) { KernelBench<false>(state); }
BENCHMARK(BM_KernelExact)
    ->ArgsProduct({{2, 8, 13, 14}, {1}})
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

void BM_GridSurvey(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const double tolerance = static_cast<double>(state.range(2)) * 1e-12;
  const bench::TExampleSurveySamples& survey = bench::ExampleSurveySamples();
  if (survey.Coord.Length() == 0) {
    state.SkipWithError("the example survey could not be read");
    return;
  }
  double cpu = 0, encode = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    TSilentFeedback feedback;
    const double cpuStart = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
    const TDepthArray grid =
        GridSamples(survey.Coord, survey.Depth, survey.Extent, 400, 300, p, threads, feedback, tolerance);
    cpu += static_cast<double>(std::clock()) / CLOCKS_PER_SEC - cpuStart;
    const auto start = std::chrono::steady_clock::now();
    const std::string text = EncodeEsriAsciiGrid(grid, survey.Extent);
    encode += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["cpu_s"] = cpu / n;
  state.counters["encode_ms"] = encode * 1e3 / n;
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["samples"] = survey.Coord.Length();
  state.SetLabel(ShepardKernelTarget());
}
BENCHMARK(BM_GridSurvey)
    ->Args({8, 2, 0})
    ->Args({2, 2, 0})
    ->Args({8, 1, 0})
    ->Args({8, 1, 2000})
    ->Args({2, 1, 0})
    ->ArgNames({"p", "threads", "picocm"})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

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

// BM_RunLake/RATE/WIDTH/MICROCM/SURFACE: a whole run of the depth map
// (TDepthMap::Interpolate: the mask, thinning, samples, the method and the
// workers (2) filling the colours and depths) with the run's settings:
// Shepard at style 8 with a tolerance of MICROCM millionths of a centimetre
// (0: exact), or with SURFACE 1 the surface method. RATE 1 is the example
// lake, 10 the lake of scripts/make-lake.py --rate 10; a view WIDTH pixels
// wide and 0.7 as high (677 for the example's 1004). cpu_s is the processor
// time of the run (all threads). For Shepard, pairs_per_pixel comes from
// evaluating the run's columns once more with a tally, untimed, on one
// thread, with the run's samples and mask.
void BM_RunLake(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int height = width == 1004 ? 677 : width * 7 / 10;
  const double tolerance = static_cast<double>(state.range(2)) * 1e-6;
  const bool surface = state.range(3) != 0;
  const std::string dir = rate == 1 ? std::string(SONDRALIS_SOURCE_DIR "/examples") : bench::BenchLakeDir(rate);
  double samples = 0, covered = 0, pairs = 0, cpu = 0;
  for (auto _ : state) {
    bench::TExampleLakeView lake(width, height, dir);
    TSilentFeedback feedback;
    TInterpolationSettings settings = lake.RunSettings(2);
    settings.Tolerance = tolerance;
    settings.Method = surface ? TInterpolationMethod::Surface : TInterpolationMethod::Shepard;
    TDepthMap map;
    const double cpuStart = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
    const auto start = std::chrono::steady_clock::now();
    map.Interpolate(lake.View, settings, lake.RunInput(), feedback);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    cpu += static_cast<double>(std::clock()) / CLOCKS_PER_SEC - cpuStart;

    state.PauseTiming();
    samples = map.InCoord.Length();
    covered = map.CoveredPixels;
    if (!surface) {
      const TShepardInterp interp(map.InCoord, map.InDepth, settings.Style, nullptr, tolerance);
      const TPixelCoordinates nodes = GridNodes(ViewGridExtent(lake.View), width, height);
      TShepardTally tally;
      std::vector<double> column(static_cast<std::size_t>(height));
      for (int x = 0; x < width; ++x)
        interp.Column(nodes.Longitudes[static_cast<std::size_t>(x)], nodes.Latitudes, map.ShadowArray[x], tolerance,
                      column, &tally);
      pairs = static_cast<double>(tally.Pairs) / static_cast<double>(std::max<std::uint64_t>(tally.Pixels, 1));
    }
    state.ResumeTiming();
  }
  state.counters["samples"] = samples;
  state.counters["covered_pixels"] = covered;
  if (!surface) state.counters["pairs_per_pixel"] = pairs;
  state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
  state.SetLabel(surface ? "surface" : ShepardKernelTarget());
}
BENCHMARK(BM_RunLake)
    ->Args({1, 1004, 0, 0})
    ->Args({1, 1004, 1000, 0})
    ->Args({1, 1004, 0, 1})
    ->Args({10, 2000, 0, 0})
    ->Args({10, 2000, 1000, 0})
    ->Args({10, 2000, 0, 1})
    ->ArgNames({"rate", "width", "microcm", "surface"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
