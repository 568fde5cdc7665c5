// The corrections on the synthetic lake survey at ten readings a second
// (about 143 000 readings in four sessions):
//
//   build/bench/corrections/bench_corrections

#include <benchmark/benchmark.h>

#include "corrections/Despike.h"
#include "corrections/LevelEstimate.h"
#include "corrections/SurveySessions.h"
#include "formats/SourceTracks.h"
#include "support/BenchLake.h"

namespace sondralis {
namespace {

void LoadSurvey(TGPX& doc) {
  const SourceReadResult r = ReadSourceDocument(bench::BenchLakeSurvey(10), doc);
  if (r.Loaded) RemoveZeroDepths(doc);
}

void BM_Despike(benchmark::State& state) {
  long long readings = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TGPX doc;
    LoadSurvey(doc);
    state.ResumeTiming();
    readings = Despike(doc, {}).Readings;
  }
  state.counters["readings"] = static_cast<double>(readings);
}
BENCHMARK(BM_Despike)->Unit(benchmark::kMillisecond);

void BM_EstimateLevels(benchmark::State& state) {
  TGPX doc;
  LoadSurvey(doc);
  // The four segments of the survey as four sessions.
  std::vector<TSurveySession> sessions;
  for (TGPXtrk* track : doc.trk)
    for (TGPXtrkseg* segment : *track) {
      TSurveySession& s = sessions.emplace_back();
      s.Name = "segment " + std::to_string(sessions.size());
      s.Runs.emplace_back(segment->begin(), segment->end());
    }
  TSilentFeedback feedback;
  std::size_t crossings = 0;
  for (auto _ : state) crossings = EstimateLevels(sessions, {}, feedback).Crossings.size();
  state.counters["crossings"] = static_cast<double>(crossings);
}
BENCHMARK(BM_EstimateLevels)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sondralis

BENCHMARK_MAIN();
