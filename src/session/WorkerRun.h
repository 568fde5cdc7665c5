#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/Feedback.h"

namespace sondralis {

// One operation run on a thread of its own while its owner's thread goes on
// (a window keeps answering its events): the hold-out check, an export.
// What the operation reports is queued: its log lines and its latest
// progress wait until the owner takes them (Take) on its own thread, and
// every report calls Wake, which must be safe on any thread and must not
// block (a window posts itself an event). Cancel reaches the operation
// through its feedback.
//
// The operation must not touch what the owner's thread changes meanwhile:
// the owner keeps the inputs alive and unchanged until the run has ended.
class TWorkerRun {
 public:
  using TWork = std::function<void(TFeedback&)>;

  // What the operation reported since the last Take.
  struct TReports {
    std::vector<std::string> Lines;
    std::optional<std::pair<int, int>> Progress;  // the latest (Position, Max)
  };

  // Starts Work on a new thread. Throws std::system_error when no thread
  // can be had (nothing runs then).
  TWorkerRun(TWork Work, std::function<void()> Wake);
  TWorkerRun(const TWorkerRun&) = delete;
  TWorkerRun& operator=(const TWorkerRun&) = delete;
  // Cancels a run still going and waits for it to stop.
  ~TWorkerRun();

  void Cancel() noexcept { fFeedback.Cancel(); }
  // The operation has returned or thrown.
  bool Ended() const;
  // Waits until the operation ends or reports something, at most Timeout.
  void WaitFor(std::chrono::milliseconds Timeout);
  // The reports queued since the last call; on the owner's thread.
  TReports Take();
  // Once Ended: waits for the thread and rethrows what the operation threw.
  void Finish();

 private:
  // The operation's side: queues its reports.
  class TQueuedFeedback final : public TFeedback {
   public:
    explicit TQueuedFeedback(TWorkerRun& Run) : fRun(Run) {}
    void Log(const std::string& Line) override;
    void SetProgress(int Position, int Max) override;

   private:
    TWorkerRun& fRun;
  };

  void Notify();

  std::function<void()> fWake;
  TQueuedFeedback fFeedback{*this};
  mutable std::mutex fLock;
  std::condition_variable fChanged;
  TReports fQueued;
  bool fEnded = false;
  bool fNews = false;
  std::exception_ptr fThrown;
  std::thread fThread;  // last: started once everything else is made
};

}  // namespace sondralis
