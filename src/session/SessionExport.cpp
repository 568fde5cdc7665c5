// "Export...": the map's exports for other programs into a folder.
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

std::string TSession::ExportMap(const TExportChoice& Choice) {
  fExportedFolder.clear();
  if (!StartExportMap(Choice)) return {};
  WaitWorker();
  return fExportedFolder;
}

bool TSession::StartExportMap(const TExportChoice& Choice) {
  fExportedFolder.clear();
  TCommandGuard command(*this);
  if (!command) return false;
  if (!Choice.Any()) {
    fQuestions.ShowError("Choose at least one kind of file to export.");
    return false;
  }
  if (!(Choice.Relief >= 0) || Choice.Relief > 100 || Choice.SafetyDepth < 0 || Choice.SafetyDepth > 9999) {
    fQuestions.ShowError("The relief's exaggeration must lie from 0 to 100 and the safety depth from 0 to 9999 cm.");
    return false;
  }
  if (!fProject.InterpLoaded()) {
    fQuestions.ShowError("There is no interpolated depth map to export yet: run \"Interpolate\" first.");
    return false;
  }
  if (Choice.NeedsContours() && !fProject.ContoursTraced()) {
    fQuestions.ShowError("contours.gpkg and contours.shp hold the contour lines: run \"ISO Map\" first.");
    return false;
  }
  const std::optional<std::string> folder = fQuestions.AskFolder();
  if (!folder || folder->empty()) return false;

  TExportRequest request;
  request.Folder = *folder;
  request.Add(Choice);
  std::vector<std::string> existing;
  for (const std::string& path : request.Paths()) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) existing.push_back(std::filesystem::path(path).filename().string());
  }
  if (!existing.empty() && !fQuestions.AskReplaceFiles(*folder, existing)) return false;

  // The files are made on a worker thread, from the results of now; the
  // window is held still until they are published.
  auto written = std::make_shared<TExportResult>();
  auto step = fProject.ExportStep(request);
  return StartWorker(
      TRunning::Export, std::nullopt,
      [step = std::move(step), written](TFeedback& Feedback) { *written = step(Feedback); },
      [this, written, folder = *folder](std::exception_ptr thrown) {
        try {
          if (thrown) std::rethrow_exception(thrown);
        } catch (const TCanceled&) {
          fDisplay.Log("Export cancelled: nothing was written");
          return;
        } catch (const std::exception& e) {
          Report(e);
          return;
        }
        fExportedFolder = folder;
        fWorkerSucceeded = true;
        std::string done = "Exported into " + folder + ":";
        for (const auto& [caption, text] : written->Notes) done += "\n" + caption + ": " + text;
        fQuestions.ShowInformation(done);
      });
}

}  // namespace sondralis
