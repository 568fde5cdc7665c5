#pragma once

// The session's helpers, shared by its source files only.

#include "session/Session.h"

namespace sondralis {

// The host the session hands to the core operations: questions and
// messages go straight to the front end, labels and progress pass through
// the session so it keeps them as state.
class TSession::TRelay : public Host {
 public:
  explicit TRelay(TSession& Session);

  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  bool AskOverwrite(const std::string& path) override;
  std::string AskDepthToApply(const std::string& fileName) override;
  std::string AskDepthOffset(const std::string& fileName) override;
  std::string AskTrackName() override;
  void ShowError(const std::string& message) override;
  void ShowInformation(const std::string& message) override;
  void ShowLoadWarnings(const std::vector<std::string>& lines) override;
  void Log(const std::string& line) override;
  void ProcessEvents() override;
  void SetLabel(TLabel label, const std::string& text) override;
  void SetProgress(TProgressBar bar, const TProgress& progress) override;
  void Changed(TChange what) override;
  void WakeUp() override;

 private:
  TSession& fSession;
};

// What a running interpolation tells the session: its log lines and
// progress (the feedback), the count of its workers and the wake-ups.
class TSession::TRunListener : public TFeedback, public TInterpolationListener {
 public:
  explicit TRunListener(TSession& Session) : fSession(Session) {}
  void Log(const std::string& line) override;
  void SetProgress(int Position, int Max) override;
  void ThreadsRunningChanged(int ThreadsRunning) override;
  void Wake() override;

 private:
  TSession& fSession;
};

// What the contour tracer tells the session, level by level.
class TSession::TTracerHost : public TFeedback {
 public:
  explicit TTracerHost(TSession& Session) : fSession(Session) {}
  void Log(const std::string& line) override;
  void SetProgress(int Position, int Max) override;
  void ProcessEvents() override;

 private:
  TSession& fSession;
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
