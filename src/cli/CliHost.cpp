#include "cli/CliHost.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace sondralis::cli {

std::optional<std::string> CliHost::AskSaveFileName(const SaveFileRequest& request) {
  std::string path;
  if (request.Kind == SaveKind::HTContourPart && !HTFolder.empty()) {
    path = (std::filesystem::path(HTFolder) / request.ProposedName).string();
  } else {
    const auto it = Outputs.find(request.Kind);
    if (it == Outputs.end() || it->second.empty()) return std::nullopt;
    path = it->second;
  }
  fNamed.insert(path);
  return path;
}

bool CliHost::AskOverwrite(const std::string& path) { return fNamed.count(path) > 0; }

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

void CliHost::ShowLoadWarnings(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::cerr << line << "\n";
}

void CliHost::Log(const std::string& line) {
  if (Verbose) std::cerr << line << "\n";
}

void CliHost::SetProgress(TProgressBar bar, const TProgress& progress) {
  if (!ShowProgress) return;
  if (!progress.Visible) {
    if (fDrawn >= 0) std::cerr << "\r\033[K" << std::flush;
    fDrawn = -1;
    return;
  }
  constexpr int kWidth = 40;
  const int filled = progress.Max > 0 ? std::clamp(progress.Position, 0, progress.Max) * kWidth / progress.Max : 0;
  if (filled == fDrawn) return;  // redraw only when the bar grows
  fDrawn = filled;
  std::cerr << "\r" << (bar == TProgressBar::Interpolate ? "Interpolating " : "Tracing levels ") << '['
            << std::string(static_cast<std::size_t>(filled), '#') << std::string(static_cast<std::size_t>(kWidth - filled), ' ')
            << ']' << std::flush;
}

void TCliFeedback::Log(const std::string& line) {
  if (Verbose) std::cerr << line << "\n";
}

void TCliFeedback::SetProgress(int Position, int Max) {
  if (!ShowProgress) return;
  constexpr int kWidth = 40;
  const int filled = Max > 0 ? std::clamp(Position, 0, Max) * kWidth / Max : 0;
  if (filled == fDrawn) return;  // redraw only when the bar grows
  fDrawn = filled;
  std::cerr << "\r" << ProgressLabel << '[' << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << ']' << std::flush;
}

void TCliFeedback::EndProgress() {
  if (fDrawn >= 0) std::cerr << "\r\033[K" << std::flush;
  fDrawn = -1;
}

}  // namespace sondralis::cli
