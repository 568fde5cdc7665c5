#pragma once

// A front end for tests: answers every question of a session from a script
// prepared by the test and records everything the session asked, showed,
// logged, labelled and reported as changed. It is also a feedback, for the
// session's functions that take one directly. The three text questions
// share one script and are recorded with the caption and prompt the window
// shows for them.

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/Feedback.h"
#include "session/FrontEnd.h"
#include "session/HTDialogs.h"

namespace sondralis::testing {

class ScriptedHost : public TSessionQuestions, public TSessionDisplay, public TFeedback {
 public:
  // Scripted replies, consumed in order. A dialog without a prepared reply
  // fails the test.
  std::deque<std::optional<std::string>> SaveReplies;  // nullopt = cancel
  std::deque<bool> YesNoReplies;                       // overwrite questions
  std::deque<std::optional<std::string>> TextReplies;  // nullopt = cancel
  std::deque<std::optional<std::vector<std::string>>> OpenReplies;  // nullopt = cancel
  std::deque<std::optional<TColor>> ColorReplies;                   // nullopt = cancel
  std::deque<std::optional<std::string>> FolderReplies;             // nullopt = cancel
  std::deque<bool> ReplaceReplies;                                  // replace-files warnings

  // What the session did.
  std::vector<SaveFileRequest> SaveRequests;
  std::vector<std::string> Questions;  // the overwrite warnings, as shown
  std::vector<std::pair<std::string, std::string>> TextRequests;  // caption, prompt
  std::vector<std::string> OpenFilters;  // the filter of every file-open dialog
  int ColorRequests = 0;
  int FolderRequests = 0;
  std::vector<std::string> ReplaceQuestions;  // the replace-files warnings, as shown
  std::vector<std::string> Errors;
  std::vector<std::string> Informations;
  std::vector<std::string> Warnings;  // the load warnings, one line each
  std::vector<std::string> LogLines;
  std::map<std::string, std::vector<std::string>> Labels;  // every text each label got, by control name
  std::map<TProgressBar, std::vector<TProgress>> Progress;  // every state each bar got
  std::vector<TChange> Changes;
  int EventPumps = 0;
  // Runs at every point where a long command lets the window's events run:
  // what a user could click meanwhile.
  std::function<void()> OnProcessEvents;
  std::atomic<int> WakeUps = 0;  // WakeUp comes on worker threads

  // ---- questions
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
  bool AskOverwrite(const std::string& path) override {
    const std::string message = OverwriteQuestion(path);
    Questions.push_back(message);
    if (YesNoReplies.empty()) {
      ADD_FAILURE() << "unexpected question: " << message;
      return false;
    }
    const bool reply = YesNoReplies.front();
    YesNoReplies.pop_front();
    return reply;
  }
  std::optional<std::string> AskFolder() override {
    ++FolderRequests;
    return Next(FolderReplies, "folder dialog");
  }
  bool AskReplaceFiles(const std::string& folder, const std::vector<std::string>& names) override {
    const std::string message = ReplaceFilesQuestion(folder, names);
    ReplaceQuestions.push_back(message);
    if (ReplaceReplies.empty()) {
      ADD_FAILURE() << "unexpected question: " << message;
      return false;
    }
    const bool reply = ReplaceReplies.front();
    ReplaceReplies.pop_front();
    return reply;
  }
  std::string AskDepthToApply(const std::string& fileName) override { return Answer(DepthToApplyQuestion(fileName)); }
  std::string AskDepthOffset(const std::string& fileName) override { return Answer(DepthOffsetQuestion(fileName)); }
  std::string AskTrackName() override { return Answer(TrackNameQuestion()); }
  std::optional<std::vector<std::string>> AskOpenFileNames(const std::string& filter) override {
    OpenFilters.push_back(filter);
    return Next(OpenReplies, "file-open dialog");
  }
  std::optional<TColor> AskColor() override {
    ++ColorRequests;
    return Next(ColorReplies, "colour dialog");
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override { Informations.push_back(message); }
  void ShowLoadWarnings(const std::vector<std::string>& lines) override {
    Warnings.insert(Warnings.end(), lines.begin(), lines.end());
  }

  // ---- display and feedback
  void Log(const std::string& line) override { LogLines.push_back(line); }
  void ProcessEvents() override {
    ++EventPumps;
    if (OnProcessEvents) OnProcessEvents();
  }
  void SetLabel(TLabel label, const std::string& text) override { Labels[ControlName(label)].push_back(text); }
  void SetProgress(TProgressBar bar, const TProgress& progress) override { Progress[bar].push_back(progress); }
  void SetProgress(int /*Position*/, int /*Max*/) override {}
  void Changed(TChange what) override { Changes.push_back(what); }
  void WakeUp() override { ++WakeUps; }
  // The labels as the session's HT dialogs set them.
  TLabelSetter LabelSetter() {
    return [this](TLabel label, const std::string& text) { SetLabel(label, text); };
  }

  static std::string ControlName(TLabel label) {
    switch (label) {
      case TLabel::HTState: return "lblHTState";
      case TLabel::WritePoints: return "lblWritePoints";
      case TLabel::NumIsoTracks: return "lblNumIsoTracks";
      case TLabel::GeneratedPoints: return "lblGeneratedPoints";
      case TLabel::TrkCoordinates: return "lblTrkCoordinates";
      case TLabel::InterpolCoordinates: return "lblInterpolCoordinates";
      case TLabel::IsoCoordinates: return "lblIsoCoordinates";
      case TLabel::HTCoordinates: return "lblHTCoordinates";
      case TLabel::InterpolDepth: return "lblInterpolDepth";
    }
    return "?";
  }

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

 private:
  template <class T>
  static std::optional<T> Next(std::deque<std::optional<T>>& replies, const char* what) {
    if (replies.empty()) {
      ADD_FAILURE() << "unexpected " << what;
      return std::nullopt;
    }
    auto reply = replies.front();
    replies.pop_front();
    return reply;
  }

  std::string Answer(const TextQuestion& question) {
    TextRequests.emplace_back(question.Caption, question.Prompt);
    if (TextReplies.empty()) {
      ADD_FAILURE() << "unexpected text dialog: " << question.Caption;
      return question.Default;
    }
    auto reply = TextReplies.front();
    TextReplies.pop_front();
    return reply.value_or(question.Default);
  }
};

}  // namespace sondralis::testing
