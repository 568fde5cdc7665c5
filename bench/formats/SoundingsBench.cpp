// Reading a soundings CSV file of a million lines (position, depth in
// metres and an ISO 8601 time on each).
//
//   build/bench/formats/bench_formats --benchmark_filter=Soundings

#include <benchmark/benchmark.h>

#include "formats/SoundingsFile.h"
#include "support/SoundingsCsv.h"

namespace sondralis {
namespace {

void BM_ReadSoundingsCsv(benchmark::State& state) {
  const std::string path = bench::SoundingsCsv(state.range(0));
  if (path.empty()) return state.SkipWithError("cannot write the soundings file");
  long long soundings = 0;
  for (auto _ : state) {
    TGPX doc;
    const TSoundingsReadResult r = ReadSoundingsFile(path, doc);
    if (!r.Loaded) return state.SkipWithError(r.Error.c_str());
    soundings = r.Soundings;
    benchmark::DoNotOptimize(doc.trk.Count());
  }
  state.counters["lines"] = static_cast<double>(soundings);
  state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(soundings), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadSoundingsCsv)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
}  // namespace sondralis
