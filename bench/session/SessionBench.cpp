// BM_ExampleLakeRoad: what a user waits for on the example lake (survey and
// shoreline KML) in the default map, through the session as the window and
// `sondralis-cli map` drive it: "Add Files...", "Interpolate" (2 workers),
// "ISO Map" at the default step and "Create HT-File". Each iteration starts a
// fresh session. Counters, in milliseconds per iteration: load_ms (the whole
// "Add Files...", which also fits, draws and builds the mask), and, measured
// again on their own after the load, fit_draw_ms ("Fit to Screen": fit and
// redraw) and mask_ms (a mask rebuild); then interpolate_ms, iso_map_ms and
// ht_ms; peak_MB is the process's peak resident set.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "session/Session.h"
#include "support/UnattendedHost.h"

namespace {

using namespace sondralis;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Saves the HT parts into a folder, as sondralis-cli does.
class TFolderHost : public testing::TUnattendedHost {
 public:
  std::string Folder;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override {
    return Folder + "/" + request.ProposedName;
  }
  bool AskOverwrite(const std::string&) override { return true; }
};

double PeakMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ExampleLakeRoad(benchmark::State& state) {
  const std::string dir = SONDRALIS_SOURCE_DIR "/examples/";
  const std::string out = (std::filesystem::temp_directory_path() / "sondralis-bench-road").string();
  std::filesystem::create_directories(out);
  double load = 0, fit = 0, mask = 0, interpolate = 0, iso = 0, ht = 0;
  for (auto _ : state) {
    TFolderHost host;
    host.Folder = out;
    TSession session(host, host, 2);
    const auto t0 = Clock::now();
    session.AddFiles({dir + "lake_survey.gpx", dir + "lake_shore.kml"});
    const auto t1 = Clock::now();
    session.TrkFit();
    const auto t2 = Clock::now();
    session.ShowShoreLine();
    const auto t3 = Clock::now();
    const bool interpolated = session.Interpolate();
    const auto t4 = Clock::now();
    const bool traced = interpolated && session.RunIsoMap();
    const auto t5 = Clock::now();
    const bool exported = traced && session.CreateHTFile().Outcome == HTExportOutcome::Done;
    const auto t6 = Clock::now();
    if (!exported) {
      state.SkipWithError(host.Errors.empty() ? "the lake did not go through" : host.Errors.front().c_str());
      return;
    }
    load += Milliseconds(t0, t1);
    fit += Milliseconds(t1, t2);
    mask += Milliseconds(t2, t3);
    interpolate += Milliseconds(t3, t4);
    iso += Milliseconds(t4, t5);
    ht += Milliseconds(t5, t6);
    benchmark::DoNotOptimize(session.Project().IsoData().trk.Count());
  }
  std::filesystem::remove_all(out);
  const double n = static_cast<double>(state.iterations());
  state.counters["load_ms"] = load / n;
  state.counters["fit_draw_ms"] = fit / n;
  state.counters["mask_ms"] = mask / n;
  state.counters["interpolate_ms"] = interpolate / n;
  state.counters["iso_map_ms"] = iso / n;
  state.counters["ht_ms"] = ht / n;
  state.counters["peak_MB"] = PeakMB();
}
BENCHMARK(BM_ExampleLakeRoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
