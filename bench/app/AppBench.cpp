// BM_InterpolateToPicture: the window on the example lake (survey and
// shoreline KML) at its start size, offscreen, 2 workers. Each iteration
// loads the lake into a fresh window, shows the Interpolated Map tab, then
// clicks "Interpolate" from inside the event loop and measures until the
// picture has been painted. A 1 ms timer runs meanwhile; max_event_gap_ms is
// the longest the event loop went without serving it, the time a user
// would find the window frozen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "app/ImagePane.h"
#include "app/Unit1.h"
#include "support/UnattendedHost.h"

namespace {

using namespace sondralis;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_InterpolateToPicture(benchmark::State& state) {
  const std::string dir = SONDRALIS_SOURCE_DIR "/examples/";
  double worstGap = 0, total = 0;
  for (auto _ : state) {
    testing::TUnattendedHost dialogs;
    TForm1 form(nullptr, &dialogs, 2);
    form.show();
    form.LoadFiles({dir + "lake_survey.gpx", dir + "lake_shore.kml"});
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    QCoreApplication::processEvents();
    if (!form.btnInterpolate->isEnabled()) {
      state.SkipWithError("the lake did not load");
      return;
    }

    QEventLoop loop;
    Clock::time_point start, lastTick;
    Clock::duration gap{};
    bool clicked = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const auto now = Clock::now();
      if (clicked) {
        gap = std::max(gap, now - lastTick);
        if (!form.Session().InterpolationRunning()) loop.quit();
      }
      lastTick = now;
    });
    QTimer::singleShot(0, [&] {
      start = lastTick = Clock::now();
      clicked = true;
      form.btnInterpolate->click();
    });
    ticker.start(1);
    loop.exec();
    // The picture reaches the screen with the next paint.
    form.InterpolatedImage->repaint();
    const auto end = Clock::now();
    ticker.stop();
    if (!form.Session().Project().InterpLoaded()) {
      state.SkipWithError("the run did not complete");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    total += Milliseconds(end - start);
    worstGap = std::max(worstGap, Milliseconds(gap));
  }
  state.counters["interpolate_to_picture_ms"] = total / static_cast<double>(state.iterations());
  state.counters["max_event_gap_ms"] = worstGap;
}
BENCHMARK(BM_InterpolateToPicture)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
