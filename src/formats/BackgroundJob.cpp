#include "formats/BackgroundJob.h"

#include <system_error>
#include <utility>

namespace sondralis {

TBackgroundJob::~TBackgroundJob() {
  if (!fThread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(fLock);
    fStop = true;
  }
  fWake.notify_all();
  fThread.join();
}

bool TBackgroundJob::Start(std::function<void()> job) {
  if (!fThread.joinable()) {
    try {
      fThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return false;
    }
  }
  std::unique_lock<std::mutex> lock(fLock);
  fWake.wait(lock, [&] { return !fBusy; });
  fJob = std::move(job);
  fBusy = true;
  fWake.notify_all();
  return true;
}

void TBackgroundJob::Wait() {
  std::unique_lock<std::mutex> lock(fLock);
  fWake.wait(lock, [&] { return !fBusy; });
  if (fThrown) std::rethrow_exception(std::exchange(fThrown, nullptr));
}

void TBackgroundJob::Run() {
  std::unique_lock<std::mutex> lock(fLock);
  for (;;) {
    fWake.wait(lock, [&] { return fBusy || fStop; });
    if (!fBusy) return;
    std::function<void()> job = std::move(fJob);
    lock.unlock();
    std::exception_ptr thrown;
    try {
      job();
    } catch (...) {
      thrown = std::current_exception();
    }
    job = nullptr;
    lock.lock();
    if (thrown && !fThrown) fThrown = thrown;
    fBusy = false;
    fWake.notify_all();
  }
}

}  // namespace sondralis
