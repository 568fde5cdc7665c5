// Commands whose work runs on a worker thread: "Check accuracy" and
// "Export...". The window is held still as for an interpolation while the
// worker reads the tracks and views, its lines and progress come back
// through a queue, and the run ends on the session's thread.
#include <system_error>
#include <utility>

#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

bool TSession::StartWorker(TRunning Running, std::optional<TProgressBar> Bar, TWorkerRun::TWork Work,
                           std::function<void(std::exception_ptr Thrown)> End) {
  try {
    fWorker = std::make_unique<TWorkerRun>(std::move(Work), [this] { fDisplay.WakeUp(); });
  } catch (const std::system_error& e) {
    fQuestions.ShowError(std::string("No thread could be started for the run: ") + e.what());
    return false;
  }
  fWorkerBar = Bar;
  fWorkerEnd = std::move(End);
  fWorkerSucceeded = false;
  fWorkerProgress = {true, 0, 0};
  // Nothing may change what the worker reads until it is done.
  ++fBusy;
  ++fWindowDisabled;
  Notify(TChange::Busy);
  SetRunning(Running);
  if (fWorkerBar) SetProgress(*fWorkerBar, {true, 0, 0});
  return true;
}

void TSession::DeliverWorkerReports() {
  if (!fWorker) return;
  TWorkerRun::TReports reports = fWorker->Take();
  for (const std::string& line : reports.Lines) fDisplay.Log(line);
  if (!reports.Progress) return;
  const auto [position, max] = *reports.Progress;
  if (fWorkerBar) {
    SetProgress(*fWorkerBar, {true, max, position});
  } else {
    fWorkerProgress = {true, max, position};
    Notify(TChange::Running);
  }
}

bool TSession::PollWorker() {
  if (!fWorker) return true;
  // Ended is read before the reports are taken: what the work reported
  // before it ended is then all in the queue.
  const bool ended = fWorker->Ended();
  DeliverWorkerReports();
  if (!ended) return false;
  std::exception_ptr thrown;
  try {
    fWorker->Finish();
  } catch (...) {
    thrown = std::current_exception();
  }
  fWorker.reset();
  --fBusy;
  --fWindowDisabled;
  Notify(TChange::Busy);
  if (fWorkerBar) {
    TProgress progress = Progress(*fWorkerBar);
    progress.Visible = false;
    SetProgress(*fWorkerBar, progress);
  }
  fWorkerProgress = {};
  SetRunning(TRunning::Nothing);
  const auto end = std::exchange(fWorkerEnd, {});
  try {
    end(thrown);
  } catch (const std::exception& e) {
    Report(e);
  }
  return true;
}

void TSession::WaitWorker() {
  while (fWorker) {
    // The front end's events first: a Cancel clicked meanwhile reaches the
    // worker before it is done.
    fDisplay.ProcessEvents();
    if (!fWorker) return;
    fWorker->WaitFor(std::chrono::milliseconds(5));
    if (PollWorker()) return;
  }
}

bool TSession::Poll() {
  if (fWorker) return PollWorker();
  return PollInterpolation();
}

// ---------------------------------------------------------------- Check accuracy

bool TSession::CheckAccuracy() {
  if (!StartCheckAccuracy()) return false;
  WaitWorker();
  return fWorkerSucceeded;
}

bool TSession::StartCheckAccuracy() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return false;
  const std::optional<int> radius = InterpolationRadius();
  if (!radius) return false;
  ReadSettings();
  fProject.Settings.Interpolation.Radius = *radius;
  std::function<TAccuracy(TFeedback&)> check;
  try {
    check = fProject.AccuracyCheck({TInterpolationMethod::Shepard, TInterpolationMethod::Surface}, kAccuracyFolds);
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  auto accuracy = std::make_shared<TAccuracy>();
  return StartWorker(
      TRunning::Accuracy, TProgressBar::Interpolate,
      [check = std::move(check), accuracy](TFeedback& Feedback) { *accuracy = check(Feedback); },
      [this, accuracy](std::exception_ptr thrown) {
        try {
          if (thrown) std::rethrow_exception(thrown);
        } catch (const TCanceled&) {
          return;
        } catch (const std::exception& e) {
          Report(e);
          return;
        }
        std::string text;
        for (const TMethodAccuracy& m : accuracy->Methods) {
          if (!text.empty()) text += '\n';
          text += AccuracyLine(m);
        }
        fAccuracyText = text;
        fWorkerSucceeded = true;
        fQuestions.ShowInformation(fAccuracyText);
      });
}

}  // namespace sondralis
