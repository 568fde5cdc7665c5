#pragma once

#include <atomic>
#include <string>

namespace sondralis {

// What a long operation (loading, an interpolation run, tracing contours, an
// export) reports while it runs, and how it learns that it should stop.
// Operations below the session take one of these beside their parameters and
// never ask anybody anything; the session and the front ends decide what the
// lines and the progress become (a log pane, a progress bar, stderr).
//
// Log, SetProgress and ProcessEvents are called on the thread that runs the
// operation; Cancel and Canceled may be called from any thread. An operation
// checks Canceled at its natural steps (a column of a picture, a level of the
// contours) and, when it is set, stops and leaves what it was to replace as
// it was.
class TFeedback {
 public:
  TFeedback() = default;
  TFeedback(const TFeedback&) = delete;
  TFeedback& operator=(const TFeedback&) = delete;
  virtual ~TFeedback() = default;

  // A line for the log.
  virtual void Log(const std::string& /*line*/) {}
  // Position of Max steps done; Max 0 hides the progress.
  virtual void SetProgress(int /*Position*/, int /*Max*/) {}
  // A point between two steps where the caller's own pending work may run:
  // a window lets its events run here, so it stays painted during an
  // operation that runs on its thread (tracing, thinning contours).
  virtual void ProcessEvents() {}

  // Asks the operation to stop as soon as it can.
  void Cancel() noexcept { fCanceled.store(true, std::memory_order_relaxed); }
  // Cancelled itself, or through the feedback it stops with.
  bool Canceled() const noexcept {
    return fCanceled.load(std::memory_order_relaxed) || (fStopsWith && fStopsWith->Canceled());
  }
  // Makes the object usable for the next operation.
  void ResetCancel() noexcept { fCanceled.store(false, std::memory_order_relaxed); }
  // Counts as cancelled whenever Outer is: for a part of an operation that
  // reports its lines and progress elsewhere (or nowhere) but must stop
  // with the whole. Outer must outlive this object; set before the part
  // starts.
  void StopWith(const TFeedback& Outer) noexcept { fStopsWith = &Outer; }

 private:
  std::atomic<bool> fCanceled{false};
  const TFeedback* fStopsWith = nullptr;
};

// Feedback that goes nowhere and is never cancelled unless asked: for
// callers that want neither lines nor progress.
class TSilentFeedback final : public TFeedback {};

// Thrown by an operation that stopped because its feedback was cancelled;
// the session catches it and reports the run as cancelled, not failed.
struct TCanceled {};

}  // namespace sondralis
