#include "session/WorkerRun.h"

namespace sondralis {

TWorkerRun::TWorkerRun(TWork Work, std::function<void()> Wake) : fWake(std::move(Wake)) {
  fThread = std::thread([this, work = std::move(Work)] {
    std::exception_ptr thrown;
    try {
      work(fFeedback);
    } catch (...) {
      thrown = std::current_exception();
    }
    {
      std::lock_guard lock(fLock);
      fThrown = thrown;
      fEnded = true;
      fNews = true;
    }
    fChanged.notify_all();
    if (fWake) fWake();
  });
}

TWorkerRun::~TWorkerRun() {
  fFeedback.Cancel();
  if (fThread.joinable()) fThread.join();
}

bool TWorkerRun::Ended() const {
  std::lock_guard lock(fLock);
  return fEnded;
}

void TWorkerRun::WaitFor(std::chrono::milliseconds Timeout) {
  std::unique_lock lock(fLock);
  fChanged.wait_for(lock, Timeout, [this] { return fNews; });
  fNews = false;
}

TWorkerRun::TReports TWorkerRun::Take() {
  std::lock_guard lock(fLock);
  return std::exchange(fQueued, TReports{});
}

void TWorkerRun::Finish() {
  if (fThread.joinable()) fThread.join();
  if (fThrown) std::rethrow_exception(std::exchange(fThrown, nullptr));
}

void TWorkerRun::Notify() {
  fChanged.notify_all();
  if (fWake) fWake();
}

void TWorkerRun::TQueuedFeedback::Log(const std::string& Line) {
  {
    std::lock_guard lock(fRun.fLock);
    fRun.fQueued.Lines.push_back(Line);
    fRun.fNews = true;
  }
  fRun.Notify();
}

void TWorkerRun::TQueuedFeedback::SetProgress(int Position, int Max) {
  {
    std::lock_guard lock(fRun.fLock);
    const std::pair<int, int> progress{Position, Max};
    // A step the owner has been told already wakes nobody.
    if (fRun.fQueued.Progress == progress) return;
    fRun.fQueued.Progress = progress;
    fRun.fNews = true;
  }
  fRun.Notify();
}

}  // namespace sondralis
