#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace sondralis {

// A thread that does one job at a time beside its owner: the owner hands a
// job over, goes on with its own work, and waits for the job when it needs
// the result: bytes written while the next ones are made. The thread starts
// with the first job and ends when the object is destroyed, after the job in
// hand.
class TBackgroundJob {
 public:
  TBackgroundJob() = default;
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;
  ~TBackgroundJob();

  // Waits for the job in hand (what it threw is kept for Wait), then starts
  // `job`. False when no thread can be had; the job is then not run, and
  // the caller does the work itself.
  bool Start(std::function<void()> job);
  // Waits until the job in hand has ended; rethrows what a job threw.
  void Wait();

 private:
  void Run();

  std::mutex fLock;
  std::condition_variable fWake;
  std::function<void()> fJob;
  bool fBusy = false;
  bool fStop = false;
  std::exception_ptr fThrown;
  std::thread fThread;
};

}  // namespace sondralis
