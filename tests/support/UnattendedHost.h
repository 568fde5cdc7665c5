#pragma once

// A front end nobody attends, for benchmarks and tests that drive a session
// without looking at it: every question gets its default (file dialogs are
// cancelled, overwriting is refused), messages are collected, notifications
// are dropped.

#include <optional>
#include <string>
#include <vector>

#include "session/FrontEnd.h"

namespace sondralis::testing {

class TUnattendedHost : public TSessionQuestions, public TSessionDisplay {
 public:
  std::vector<std::string> Errors;
  std::vector<std::string> Informations;

  std::optional<std::vector<std::string>> AskOpenFileNames(const std::string&) override { return std::nullopt; }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
  bool AskOverwrite(const std::string&) override { return false; }
  std::optional<std::string> AskFolder() override { return std::nullopt; }
  bool AskReplaceFiles(const std::string&, const std::vector<std::string>&) override { return false; }
  std::string AskDepthToApply(const std::string& fileName) override { return DepthToApplyQuestion(fileName).Default; }
  std::string AskDepthOffset(const std::string& fileName) override { return DepthOffsetQuestion(fileName).Default; }
  std::string AskTrackName() override { return TrackNameQuestion().Default; }
  std::optional<TColor> AskColor() override { return std::nullopt; }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override { Informations.push_back(message); }
  void ShowLoadWarnings(const std::vector<std::string>& lines) override {
    Informations.insert(Informations.end(), lines.begin(), lines.end());
  }
};

}  // namespace sondralis::testing
