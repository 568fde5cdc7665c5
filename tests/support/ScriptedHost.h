#pragma once

// A Host for tests: answers every dialog from a script prepared by the test
// and records everything the command showed, logged and labelled.

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/Host.h"

namespace sondralis::testing {

class ScriptedHost : public Host {
 public:
  // Scripted replies, consumed in order. A dialog without a prepared reply
  // fails the test.
  std::deque<std::optional<std::string>> SaveReplies;  // nullopt = cancel
  std::deque<bool> YesNoReplies;
  std::deque<std::optional<std::string>> TextReplies;  // nullopt = cancel

  // What the command did.
  std::vector<SaveFileRequest> SaveRequests;
  std::vector<std::string> Questions;
  std::vector<std::pair<std::string, std::string>> TextRequests;  // caption, prompt
  std::vector<std::string> Errors;
  std::vector<std::string> Informations;
  std::vector<std::string> LogLines;
  std::map<std::string, std::vector<std::string>> Labels;  // every text each label got
  int EventPumps = 0;

  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override {
    SaveRequests.push_back(request);
    if (SaveReplies.empty()) {
      ADD_FAILURE() << "unexpected save dialog: " << request.Title;
      return std::nullopt;
    }
    auto reply = SaveReplies.front();
    SaveReplies.pop_front();
    return reply;
  }
  bool AskYesNo(const std::string& message) override {
    Questions.push_back(message);
    if (YesNoReplies.empty()) {
      ADD_FAILURE() << "unexpected question: " << message;
      return false;
    }
    const bool reply = YesNoReplies.front();
    YesNoReplies.pop_front();
    return reply;
  }
  std::string AskText(const std::string& caption, const std::string& prompt,
                      const std::string& defaultText) override {
    TextRequests.emplace_back(caption, prompt);
    if (TextReplies.empty()) {
      ADD_FAILURE() << "unexpected text dialog: " << caption;
      return defaultText;
    }
    auto reply = TextReplies.front();
    TextReplies.pop_front();
    return reply.value_or(defaultText);
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override { Informations.push_back(message); }
  void SetLabel(std::string_view control, const std::string& text) override {
    Labels[std::string(control)].push_back(text);
  }
  void Log(const std::string& line) override { LogLines.push_back(line); }
  void ProcessEvents() override { ++EventPumps; }

  // The last text a label got, or empty.
  std::string Label(const std::string& control) const {
    auto it = Labels.find(control);
    return it == Labels.end() || it->second.empty() ? std::string() : it->second.back();
  }
  bool Logged(const std::string& line) const {
    for (const auto& l : LogLines)
      if (l == line) return true;
    return false;
  }
};

}  // namespace sondralis::testing
