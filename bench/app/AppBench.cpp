// The window on the example lake (survey and shoreline KML) at its start
// size, offscreen, 2 workers; each command is clicked from inside the event
// loop while a 1 ms timer runs. max_event_gap_ms is the longest the event
// loop went without serving the timer, the time a user would find the
// window frozen; the iteration time runs from the click until the command
// is done and its picture painted. max_event_gap_cpu_ms is the most CPU
// time the window's thread spent between two ticks: on a machine shared
// with other work the wall-clock gap also holds the time the thread waited
// for a processor.
//
// BM_InterpolateToPicture  "Interpolate" until the depth picture is painted,
//                          with Shepard's method (0) and the surface (1)
// BM_CheckAccuracy         "Check accuracy": both methods held out over 5 folds
// BM_ExportMap             "Export..." of every file for other programs
//                          (after its dialog) into a fresh folder
// BM_IsoMapRun             "ISO Map" (step 100 cm) until the HT Contour map is painted
// BM_OpenExample           "Open the example" of the start text: both files loaded and drawn
// BM_WindowToUsable        the window made, shown and painted (the part of a
//                          launch that is ours; scripts/bench-startup.sh
//                          times whole launches)
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/ImagePane.h"
#include "app/Unit1.h"
#include "support/UnattendedHost.h"

namespace {

using namespace sondralis;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

const std::string kExamples = SONDRALIS_SOURCE_DIR "/examples/";

struct TMeasure {
  Clock::duration Time{};
  Clock::duration Gap{};
  double CpuGap = 0;  // milliseconds
};

// CPU time of the calling thread, in milliseconds.
double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Runs Click from inside the event loop and serves a 1 ms timer until Done;
// then Paint puts the result on the screen.
TMeasure Measure(const std::function<void()>& Click, const std::function<bool()>& Done,
                 const std::function<void()>& Paint) {
  QEventLoop loop;
  Clock::time_point start, lastTick;
  double lastCpu = 0;
  TMeasure measure;
  bool clicked = false;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    const double cpu = ThreadCpu();
    if (clicked) {
      measure.Gap = std::max(measure.Gap, now - lastTick);
      measure.CpuGap = std::max(measure.CpuGap, cpu - lastCpu);
      if (Done()) loop.quit();
    }
    lastTick = now;
    lastCpu = cpu;
  });
  QTimer::singleShot(0, [&] {
    start = lastTick = Clock::now();
    lastCpu = ThreadCpu();
    clicked = true;
    Click();
    // A command that ran to its end inside the click: the gap until now.
    measure.Gap = std::max(measure.Gap, Clock::now() - lastTick);
    measure.CpuGap = std::max(measure.CpuGap, ThreadCpu() - lastCpu);
  });
  ticker.start(1);
  loop.exec();
  Paint();
  measure.Time = Clock::now() - start;
  ticker.stop();
  return measure;
}

// A window with the example lake loaded, on the tab given.
std::unique_ptr<TForm1> LoadedWindow(testing::TUnattendedHost& dialogs, QWidget* (*Tab)(TForm1&)) {
  auto form = std::make_unique<TForm1>(nullptr, &dialogs, 2);
  form->show();
  form->LoadFiles({kExamples + "lake_survey.gpx", kExamples + "lake_shore.kml"});
  form->PageControl1->setCurrentWidget(Tab(*form));
  QCoreApplication::processEvents();
  return form;
}

// A benchmark's runs: the time of each, and the longest event-loop gaps of
// them all.
struct TRuns {
  double Total = 0, WorstGap = 0, WorstCpuGap = 0;

  void Add(benchmark::State& state, const TMeasure& m) {
    state.SetIterationTime(std::chrono::duration<double>(m.Time).count());
    Total += Milliseconds(m.Time);
    WorstGap = std::max(WorstGap, Milliseconds(m.Gap));
    WorstCpuGap = std::max(WorstCpuGap, m.CpuGap);
  }
  void Report(benchmark::State& state, const char* name) const {
    state.counters[name] = Total / static_cast<double>(state.iterations());
    state.counters["max_event_gap_ms"] = WorstGap;
    state.counters["max_event_gap_cpu_ms"] = WorstCpuGap;
  }
};

void BM_InterpolateToPicture(benchmark::State& state) {
  TRuns runs;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    auto form = LoadedWindow(dialogs, [](TForm1& f) { return f.TabSheet2; });
    form->MethodChoice->setCurrentIndex(static_cast<int>(state.range(0)));
    if (!form->btnInterpolate->isEnabled()) {
      state.SkipWithError("the lake did not load");
      return;
    }
    const TMeasure m = Measure([&] { form->btnInterpolate->click(); },
                               [&] { return !form->Session().InterpolationRunning(); },
                               [&] { form->InterpolatedImage->repaint(); });
    if (!form->Session().Project().InterpLoaded()) {
      state.SkipWithError("the run did not complete");
      return;
    }
    runs.Add(state, m);
  }
  runs.Report(state, "interpolate_to_picture_ms");
}
BENCHMARK(BM_InterpolateToPicture)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CheckAccuracy(benchmark::State& state) {
  TRuns runs;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    auto form = LoadedWindow(dialogs, [](TForm1& f) { return f.TabSheet2; });
    form->Session().Interpolate();
    while (form->Session().InterpolationRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (!form->CheckAccuracyButton->isEnabled()) {
      state.SkipWithError("no depth map to check");
      return;
    }
    const TMeasure m = Measure([&] { form->CheckAccuracyButton->click(); },
                               [&] { return !form->Session().CommandRunning(); }, [] {});
    if (form->Session().AccuracyText().empty()) {
      state.SkipWithError("the check did not complete");
      return;
    }
    runs.Add(state, m);
  }
  runs.Report(state, "check_accuracy_ms");
}
BENCHMARK(BM_CheckAccuracy)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// Answers the export's folder dialog with a folder of its own.
class TExportDialogs : public testing::TUnattendedHost {
 public:
  std::optional<std::string> AskFolder() override { return QDir(fFolder.path()).filePath("map").toStdString(); }
  bool AskReplaceFiles(const std::string&, const std::vector<std::string>&) override { return true; }

 private:
  QTemporaryDir fFolder;
};

void BM_ExportMap(benchmark::State& state) {
  TRuns runs;
  for (auto _ : state) {
    TExportDialogs dialogs;
    auto form = LoadedWindow(dialogs, [](TForm1& f) { return f.TabSheet3; });
    form->Session().Interpolate();
    while (form->Session().InterpolationRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    form->Session().RunIsoMap();
    TExportChoice all;
    all.GeoTIFF = all.GeoPackage = all.Shapefile = all.MBTiles = all.PDF = all.Spots = all.Report = true;
    all.Relief = 3;
    all.SafetyDepth = 200;
    const TMeasure m = Measure([&] { form->Session().StartExportMap(all); },
                               [&] { return !form->Session().CommandRunning(); }, [] {});
    if (form->Session().ExportedFolder().empty()) {
      state.SkipWithError("the export did not complete");
      return;
    }
    runs.Add(state, m);
  }
  runs.Report(state, "export_ms");
}
BENCHMARK(BM_ExportMap)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_IsoMapRun(benchmark::State& state) {
  TRuns runs;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    auto form = LoadedWindow(dialogs, [](TForm1& f) { return f.TabSheet4; });
    form->Session().Interpolate();
    QCoreApplication::processEvents();
    if (!form->btnIsoMap->isEnabled()) {
      state.SkipWithError("no depth map to trace");
      return;
    }
    const TMeasure m = Measure([&] { form->btnIsoMap->click(); },
                               [&] { return !form->Session().CommandRunning(); },
                               [&] { form->IsoImage->repaint(); });
    if (!form->Session().Project().ContoursTraced()) {
      state.SkipWithError("the run did not complete");
      return;
    }
    runs.Add(state, m);
  }
  runs.Report(state, "iso_map_ms");
}
BENCHMARK(BM_IsoMapRun)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_OpenExample(benchmark::State& state) {
  TRuns runs;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    TForm1 form(nullptr, &dialogs, 2);
    form.show();
    QCoreApplication::processEvents();
    if (form.ExampleFolder().isEmpty()) {
      state.SkipWithError("no example beside the benchmark");
      return;
    }
    const TMeasure m = Measure([&] { form.OpenExample(); }, [&] { return form.Session().Project().FileLoaded(); },
                               [&] { form.GPXImage->repaint(); });
    runs.Add(state, m);
  }
  runs.Report(state, "open_example_ms");
}
BENCHMARK(BM_OpenExample)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WindowToUsable(benchmark::State& state) {
  double total = 0;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    const auto start = Clock::now();
    TForm1 form(nullptr, &dialogs, 2);
    form.show();
    QCoreApplication::processEvents();
    form.repaint();
    const auto end = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    total += Milliseconds(end - start);
  }
  state.counters["window_to_usable_ms"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WindowToUsable)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
