// The session's project files and settings: Save Project..., Open
// Project..., and the reset to the settings of the start.

#include <exception>
#include <filesystem>
#include <memory>

#include "formats/AtomicFile.h"
#include "model/Numbers.h"
#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

std::string TSession::SaveProject() {
  if (!CanStartCommand()) return {};
  const std::string proposed =
      fProjectPath.empty() ? "lake.sondralis" : std::filesystem::path(fProjectPath).filename().string();
  const std::optional<std::string> path =
      fQuestions.AskSaveFileName({SaveKind::Project, "Save project", kProjectFilter, "sondralis", proposed});
  if (!path || path->empty()) return {};
  if (Exists(*path) && !fQuestions.AskOverwrite(*path)) return {};
  return SaveProject(*path);
}

std::string TSession::SaveProject(const std::string& Path) {
  TCommandGuard command(*this);
  if (!command) return {};
  // The settings as the fields hold them, checked as a run checks them.
  const std::optional<int> radius = InterpolationRadius();
  if (!radius || !ReadContourSettings() || !ReadCorrections() || !ReadShoreSettings()) return {};
  fProject.Settings.Interpolation.Radius = *radius;
  try {
    WriteProjectFile(Path, ProjectFileOf(fProject));
  } catch (const std::exception& e) {
    Report(e);
    return {};
  }
  fProjectPath = Path;
  if (fPointsRemoved)
    fQuestions.ShowInformation(
        "The project names the files and their settings; the points taken out with \"Remove Wayoints\" are back "
        "when it is opened. To keep them out, save the tracks with \"Save Tracks...\" and make a project of that "
        "file.");
  return Path;
}

bool TSession::OpenProject() {
  if (!CanStartCommand()) return false;
  const auto paths = fQuestions.AskOpenFileNames(kProjectFilter);
  if (!paths || paths->empty()) return false;
  return OpenProject(paths->front());
}

bool TSession::OpenProject(const std::string& Path) {
  TCommandGuard command(*this);
  if (!command) return false;
  TProjectFile file;
  try {
    file = ReadProjectFile(Path);
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  // The files are read on a worker thread while the window's events run;
  // a Cancel meanwhile leaves the window as it was. Then the project
  // replaces what is loaded.
  auto read = std::make_shared<TProjectReading>();
  bool ready = false;
  const bool started = StartWorker(
      TRunning::Loading, std::nullopt, [read, file](TFeedback& Feedback) { *read = ReadProjectInputs(file, Feedback); },
      [this, &ready](std::exception_ptr thrown) {
        try {
          if (thrown) std::rethrow_exception(thrown);
          ready = true;
        } catch (const TCanceled&) {
          fDisplay.Log("Opening the project was cancelled: nothing changed");
        }
      });
  if (!started) return false;
  WaitWorker();
  if (!ready) return false;
  ClearMaps();
  ApplyProjectSettings(file);
  TProjectOpenResult opened;
  {
    TBusyGuard busy(*this, true);
    fFeedback->ResetCancel();
    try {
      opened = OpenProjectFile(fProject, file, *read, *fFeedback);
    } catch (const std::exception& e) {
      Report(e);
    }
  }
  fProjectPath = Path;
  for (const SourceLoadResult& result : opened.Loaded) {
    if (!result.Warnings.empty()) fQuestions.ShowLoadWarnings(result.Warnings);
    if (!result.Error.empty()) fQuestions.ShowError(result.Error);
    else fAnyFileLoaded = true;
  }
  if (!opened.Missing.empty()) fQuestions.ShowLoadWarnings(opened.MissingLines(Path));
  if (fProject.FileLoaded()) AfterSourceChange();
  fDisplay.ProcessEvents();
  return true;
}

void TSession::ApplyProjectSettings(const TProjectFile& File) {
  const int threads = fProject.Settings.Interpolation.Threads;
  fProject.Settings = File.Settings;
  fProject.Settings.Interpolation.Threads = threads;
  Settings.InterpolationWidth = std::to_string(File.Settings.Interpolation.Radius);
  Settings.InterpolatorStyle = File.Settings.Interpolation.Style;
  Settings.InterpolationMethod = File.Settings.Interpolation.Method;
  Settings.InterpolationTolerance = File.Settings.Interpolation.Tolerance;
  Settings.IsoStep = std::to_string(File.Settings.Contours.Step);
  const TContourSettings& contours = File.Settings.Contours;
  Settings.IsoTracer = contours.Tracer;
  Settings.IsoMinRing = contours.MinRing ? FormatNumber(*contours.MinRing) : std::string();
  Settings.IsoSmooth = contours.Smooth > 0;
  Settings.IsoLabels = contours.Labels;
  Settings.ChartTracks = contours.ChartTracks;
  const TCorrectionSettings& corrections = File.Settings.Corrections;
  Settings.TransducerDepth = FormatNumber(corrections.TransducerCm);
  Settings.Despike = corrections.Despike;
  Settings.DepthFromElevation = corrections.DepthFromElevation;
  Settings.AutoLevel = corrections.AutoLevel;
  Settings.LevelTable = corrections.LevelTablePath;
  Settings.LevelDatum = corrections.DatumCm ? FormatNumber(*corrections.DatumCm) : std::string();
  const TShoreDepth& shore = File.Settings.Interpolation.ShoreDepth;
  Settings.ShoreDepth = shore.Samples ? FormatNumber(shore.DepthCm) : std::string("none");
  Settings.KeepOutside = File.Settings.Interpolation.KeepOutside;
  Settings.TrackName = File.Settings.HT.TrackName;
  Settings.ReduceWaypoints = File.Settings.HT.ReduceWaypoints;
  Notify(TChange::Settings);
  fProject.SetShallowColor(File.Shallow);
  fProject.SetDeepColor(File.Deep);
  Notify(TChange::Colours);
  Notify(TChange::SourcePicture);
  Notify(TChange::HTPicture);
}

void TSession::ResetSettings() {
  if (!CanStartCommand()) return;
  Settings.InterpolateThrds = fProject.CPUCount();
  // The gauge table of the next files as at the start; the other
  // corrections come with the project's defaults.
  const TSessionSettings start;
  Settings.LevelTable = start.LevelTable;
  Settings.LevelDatum = start.LevelDatum;
  ApplyProjectSettings(TProjectFile{});
  fProject.Settings.Interpolation.Threads = fProject.CPUCount();
}

}  // namespace sondralis
