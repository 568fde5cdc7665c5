#include "cli/CliHost.h"

#include <iostream>

namespace sondralis::cli {

std::optional<std::string> CliHost::AskSaveFileName(const SaveFileRequest& /*request*/) {
  if (OutputPath.empty()) return std::nullopt;
  return OutputPath;
}

bool CliHost::AskYesNo(const std::string& /*message*/) {
  // The only question is whether to overwrite the file the user named with -o.
  return true;
}

std::string CliHost::AskText(const std::string& caption, const std::string& /*prompt*/,
                             const std::string& defaultText) {
  if (caption == "Apply depth to dataset" && Depth) return *Depth;
  if (caption == "Add value to dataset" && Offset) return *Offset;
  if (caption == "Track name" && TrackName) return *TrackName;
  return defaultText;
}

void CliHost::ShowInformation(const std::string& message) {
  if (Verbose) std::cerr << message << "\n";
}

void CliHost::Log(const std::string& line) {
  if (Verbose) std::cerr << line << "\n";
}

}  // namespace sondralis::cli
