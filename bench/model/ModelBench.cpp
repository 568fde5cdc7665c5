// Data model benchmarks: deep copy of a big recording, the colour blend, and
// the heap taken per track point.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "model/ColorInterpolate.h"
#include "model/GPX.h"
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
