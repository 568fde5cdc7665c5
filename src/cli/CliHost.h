#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/Feedback.h"
#include "model/Host.h"

namespace sondralis::cli {

// Answers the session's questions from the command line: the depth
// questions from --depth and --offset, the track name from --name, each save
// dialog from the output option of its kind (the HT contour parts into a
// folder under their proposed names), and Yes to overwriting exactly the
// files it named itself. Error dialogs are collected; the
// command reports them on stderr.
class CliHost : public Host {
 public:
  std::optional<std::string> Depth;   // answer to "Apply depth to dataset"
  std::optional<std::string> Offset;  // answer to "Add value to dataset"
  std::optional<std::string> TrackName;
  std::map<SaveKind, std::string> Outputs;  // the file for each kind of save dialog
  std::string HTFolder;  // HT contour parts go here under their proposed names
  bool Verbose = false;
  bool ShowProgress = false;  // draw the progress bars on stderr (a terminal)

  std::vector<std::string> Errors;
  std::vector<std::string> Informations;

  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  bool AskOverwrite(const std::string& path) override;
  std::string AskDepthToApply(const std::string& fileName) override;
  std::string AskDepthOffset(const std::string& fileName) override;
  std::string AskTrackName() override;
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override;
  // One line on stderr per kind of value a file lost.
  void ShowLoadWarnings(const std::vector<std::string>& lines) override;
  void Log(const std::string& line) override;
  void SetProgress(TProgressBar bar, const TProgress& progress) override;

 private:
  std::set<std::string> fNamed;  // every file named in an answer
  int fDrawn = -1;               // the last bar width drawn, -1 when none is shown
};

// What a long operation reports, on stderr: the log lines with --verbose,
// and a progress bar when stderr is a terminal.
class TCliFeedback : public TFeedback {
 public:
  bool Verbose = false;
  bool ShowProgress = false;
  std::string ProgressLabel = "Working ";

  void Log(const std::string& line) override;
  void SetProgress(int Position, int Max) override;
  // Takes the progress bar off the terminal line.
  void EndProgress();

 private:
  int fDrawn = -1;  // the last bar width drawn, -1 when none is shown
};

}  // namespace sondralis::cli
