#pragma once

// A feedback for tests: records every log line, every progress report and
// every point where events could run, and can be cancelled after a number
// of progress reports.

#include <string>
#include <utility>
#include <vector>

#include "model/Feedback.h"

namespace sondralis::testing {

class RecordingFeedback : public TFeedback {
 public:
  std::vector<std::string> LogLines;
  std::vector<std::pair<int, int>> Progress;  // (position, maximum) of every report
  int EventPumps = 0;
  // Cancels itself at this many progress reports; -1: never.
  int CancelAtProgress = -1;

  void Log(const std::string& line) override { LogLines.push_back(line); }
  void SetProgress(int Position, int Max) override {
    Progress.emplace_back(Position, Max);
    if (static_cast<int>(Progress.size()) == CancelAtProgress) Cancel();
  }
  void ProcessEvents() override { ++EventPumps; }

  bool Logged(const std::string& line) const {
    for (const auto& l : LogLines)
      if (l == line) return true;
    return false;
  }
};

}  // namespace sondralis::testing
