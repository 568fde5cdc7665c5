// Data model benchmarks: deep copy of a big recording, the colour blend, and
// the heap taken per track point.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "model/ColorInterpolate.h"
#include "model/GPX.h"
#include "model/Numbers.h"
#include "support/LiveHeap.h"

namespace {

using namespace sondralis;

// A recording as the reader builds it from a sounder's file: position,
// elevation, time and depth on every point (the depth element of the
// extensions is the point's HBdepth).
void BuildRecording(TGPX& doc, int points, int segments) {
  auto* trk = new TGPXtrk;
  trk->Edit().name = "Survey";
  for (int s = 0; s < segments; ++s) {
    auto* seg = new TGPXtrkseg;
    for (int i = 0; i < points / segments; ++i) {
      TGPXwpt* p = seg->NewPoint();
      p->Latitude = 47.0 + i * 1e-6;
      p->Longitude = 8.3 + s * 1e-3;
      p->Altitude = 432;
      p->DateTime = 46000 + i / 86400.0;
      p->HBdepth = 100 + i % 900;
    }
    seg->ShrinkToFit();
    trk->Add(seg);
  }
  doc.trk.Add(trk);
}

void BM_DeepCopy100kPoints(benchmark::State& state) {
  TGPX src;
  BuildRecording(src, 100000, 10);
  for (auto _ : state) {
    TGPX copy;
    copy.CopyFrom(src);
    benchmark::DoNotOptimize(copy.trk.Count());
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_DeepCopy100kPoints)->Unit(benchmark::kMillisecond);

void BM_BlendColors(benchmark::State& state) {
  double ratio = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(BlendColors(255, 16711680, ratio));
    ratio += 1e-6;
    if (ratio > 1) ratio = 0;
  }
}
BENCHMARK(BM_BlendColors);

// A grid's values in "%.17g" text, per number: interpolated depths in
// centimetres and a few nodata values, written by std::to_chars (range(0) =
// 0) or by the quick writer (1).
void BM_Digits17(benchmark::State& state) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> depth(-50, 3000);
  std::vector<double> values(4096);
  for (double& v : values) v = random() % 20 ? depth(random) : -9999;
  const bool quick = state.range(0) == 1;
  char buffer[kDigits17Room];
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (double v : values) {
      const char* end = quick ? WriteDigits17(buffer, v)
                              : std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 17).ptr;
      bytes += static_cast<std::size_t>(end - buffer);
      benchmark::DoNotOptimize(buffer);
    }
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(values.size()));
}
BENCHMARK(BM_Digits17)->Arg(0)->Arg(1);

// Heap bytes plus the mappings of the lists' point storage, per point.
void BM_HeapBytesPerTrackPoint(benchmark::State& state) {
  for (auto _ : state) {
    const long long before = testing::LiveHeapBytes();
    TGPX doc;
    BuildRecording(doc, 100000, 10);
    long long mapped = 0;
    for (const TGPXtrk* trk : doc.trk)
      for (const TGPXtrkseg* seg : *trk) mapped += static_cast<long long>(seg->StoreMappedCapacity());
    const long long after = testing::LiveHeapBytes();
    state.counters["bytes_per_point"] = static_cast<double>(after - before + mapped) / 100000.0;
  }
}
BENCHMARK(BM_HeapBytesPerTrackPoint)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
