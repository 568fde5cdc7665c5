#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/Host.h"

namespace sondralis::cli {

// Answers the core commands' dialogs from the command line: the depth
// questions from --depth and --offset, the track-name question from --name,
// the save dialog from -o, and Yes to overwriting the file named by -o.
// Error dialogs are collected; the command reports them on stderr.
class CliHost : public Host {
 public:
  std::optional<std::string> Depth;   // answer to "Apply depth to dataset"
  std::optional<std::string> Offset;  // answer to "Add value to dataset"
  std::optional<std::string> TrackName;
  std::string OutputPath;
  bool Verbose = false;

  std::vector<std::string> Errors;

  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  bool AskYesNo(const std::string& message) override;
  std::string AskText(const std::string& caption, const std::string& prompt, const std::string& defaultText) override;
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override;
  void Log(const std::string& line) override;
};

}  // namespace sondralis::cli
