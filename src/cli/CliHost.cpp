#include "cli/CliHost.h"

#include <iostream>

namespace sondralis::cli {

std::optional<std::string> CliHost::AskSaveFileName(const SaveFileRequest& request) {
  const auto it = Outputs.find(request.Kind);
  if (it == Outputs.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

bool CliHost::AskOverwrite(const std::string& path) {
  for (const auto& [kind, output] : Outputs)
    if (output == path) return true;
  return false;
}

std::string CliHost::AskDepthToApply(const std::string& fileName) {
  return Depth.value_or(DepthToApplyQuestion(fileName).Default);
}

std::string CliHost::AskDepthOffset(const std::string& fileName) {
  return Offset.value_or(DepthOffsetQuestion(fileName).Default);
}

std::string CliHost::AskTrackName() { return TrackName.value_or(TrackNameQuestion().Default); }

void CliHost::ShowInformation(const std::string& message) {
  Informations.push_back(message);
  if (Verbose) std::cerr << message << "\n";
}

void CliHost::Log(const std::string& line) {
  if (Verbose) std::cerr << line << "\n";
}

}  // namespace sondralis::cli
