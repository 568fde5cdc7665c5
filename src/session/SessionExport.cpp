// "Export...": the map's exports for other programs into a folder.
#include <filesystem>
#include <string>
#include <vector>

#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

std::string TSession::ExportMap(const TExportChoice& Choice) {
  TCommandGuard command(*this);
  if (!command) return {};
  if (!Choice.Any()) {
    fQuestions.ShowError("Choose at least one kind of file to export.");
    return {};
  }
  if (!(Choice.Relief >= 0) || Choice.Relief > 100 || Choice.SafetyDepth < 0 || Choice.SafetyDepth > 9999) {
    fQuestions.ShowError("The relief's exaggeration must lie from 0 to 100 and the safety depth from 0 to 9999 cm.");
    return {};
  }
  if (!fProject.InterpLoaded()) {
    fQuestions.ShowError("There is no interpolated depth map to export yet: run \"Interpolate\" first.");
    return {};
  }
  if (Choice.NeedsContours() && !fProject.ContoursTraced()) {
    fQuestions.ShowError("contours.gpkg and contours.shp hold the contour lines: run \"ISO Map\" first.");
    return {};
  }
  const std::optional<std::string> folder = fQuestions.AskFolder();
  if (!folder || folder->empty()) return {};

  TExportRequest request;
  request.Folder = *folder;
  request.Add(Choice);
  std::vector<std::string> existing;
  for (const std::string& path : request.Paths()) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) existing.push_back(std::filesystem::path(path).filename().string());
  }
  if (!existing.empty() && !fQuestions.AskReplaceFiles(*folder, existing)) return {};

  TBusyGuard busy(*this, false);
  // The window's events run between the files: what the export would
  // ignore meanwhile is shown disabled, and Cancel shown.
  SetRunning(TRunning::Export);
  TExportResult written;
  bool ok = false;
  try {
    fFeedback->ResetCancel();
    written = fProject.Export(request, *fFeedback);
    ok = true;
  } catch (const TCanceled&) {
    fDisplay.Log("Export cancelled: nothing was written");
  } catch (const std::exception& e) {
    Report(e);
  }
  SetRunning(TRunning::Nothing);
  if (!ok) return {};
  std::string done = "Exported into " + *folder + ":";
  for (const auto& [caption, text] : written.Notes) done += "\n" + caption + ": " + text;
  fQuestions.ShowInformation(done);
  return *folder;
}

}  // namespace sondralis
