#pragma once

// The session's helpers, shared by its source files only.

#include <optional>
#include <utility>

#include "session/Session.h"

namespace sondralis {

// What a long command reports: its log lines go to the front end's log, its
// progress to one of the progress bars (or none), its event points let the
// front end's events run. The interpolation's also takes the count of
// running workers and the workers' wake-ups.
class TSession::TCommandFeedback : public TFeedback, public TInterpolationListener {
 public:
  TCommandFeedback(TSession& Session, std::optional<TProgressBar> Bar) : fSession(Session), fBar(Bar) {}
  void Log(const std::string& line) override;
  void SetProgress(int Position, int Max) override;
  void ProcessEvents() override;
  void ThreadsRunningChanged(int ThreadsRunning) override;
  void Wake() override;
  // Keeps the progress reports from the bar until Release, which shows the
  // last of them: the columns a poll takes at once (the surface's come all
  // together once it is fitted) then move the bar once, not once each.
  void Hold() noexcept { fHeld = true; }
  void Release();

 private:
  TSession& fSession;
  std::optional<TProgressBar> fBar;
  bool fHeld = false;
  std::optional<std::pair<int, int>> fHeldProgress;  // Position, Max
};

// The wait cursor, and with DisableWindow the whole window disabled, for
// as long as it lives.
class TSession::TBusyGuard {
 public:
  TBusyGuard(TSession& Session, bool DisableWindow);
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;
  ~TBusyGuard();

 private:
  TSession& fSession;
  bool fDisableWindow;
};

// Marks a command as running; false (and nothing marked) when the window
// is disabled or another command or an interpolation is running.
class TSession::TCommandGuard {
 public:
  explicit TCommandGuard(TSession& Session);
  TCommandGuard(const TCommandGuard&) = delete;
  TCommandGuard& operator=(const TCommandGuard&) = delete;
  ~TCommandGuard();
  explicit operator bool() const noexcept { return fEntered; }

 private:
  TSession& fSession;
  bool fEntered;
};

}  // namespace sondralis
