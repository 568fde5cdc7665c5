#include "session/Session.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <utility>

#include "formats/AtomicFile.h"
#include "formats/LevelTable.h"
#include "formats/SourceTracks.h"
#include "interpolation/ImageExport.h"
#include "model/DateTime.h"
#include "model/Numbers.h"
#include "model/Text.h"
#include "session/ColorLegend.h"
#include "session/SessionParts.h"

namespace sondralis {

// ---------------------------------------------------------------- helpers

void TSession::TCommandFeedback::Log(const std::string& line) { fSession.fDisplay.Log(line); }

void TSession::TCommandFeedback::SetProgress(int Position, int Max) {
  if (!fBar) return;
  if (fHeld) {
    fHeldProgress = {Position, Max};
    return;
  }
  TProgress progress = fSession.Progress(*fBar);
  progress.Max = Max;
  progress.Position = Position;
  fSession.SetProgress(*fBar, progress);
}

void TSession::TCommandFeedback::Release() {
  fHeld = false;
  if (const auto held = std::exchange(fHeldProgress, std::nullopt)) SetProgress(held->first, held->second);
}

void TSession::TCommandFeedback::ProcessEvents() { fSession.fDisplay.ProcessEvents(); }
void TSession::TCommandFeedback::ThreadsRunningChanged(int /*ThreadsRunning*/) { fSession.Notify(TChange::Workers); }
void TSession::TCommandFeedback::Wake() { fSession.fDisplay.WakeUp(); }

TSession::TBusyGuard::TBusyGuard(TSession& Session, bool DisableWindow)
    : fSession(Session), fDisableWindow(DisableWindow) {
  if (fSession.fBusy++ == 0) fSession.Notify(TChange::Busy);
  if (fDisableWindow && fSession.fWindowDisabled++ == 0) fSession.Notify(TChange::Busy);
}
TSession::TBusyGuard::~TBusyGuard() {
  if (fDisableWindow && --fSession.fWindowDisabled == 0) fSession.Notify(TChange::Busy);
  if (--fSession.fBusy == 0) fSession.Notify(TChange::Busy);
}

TSession::TCommandGuard::TCommandGuard(TSession& Session) : fSession(Session), fEntered(Session.CanStartCommand()) {
  if (fEntered) ++fSession.fCommandDepth;
}
TSession::TCommandGuard::~TCommandGuard() {
  if (fEntered) --fSession.fCommandDepth;
}

std::optional<int> ParseInterpolationRadius(const std::string& Text) {
  const auto radius = ParseInteger(Text);
  if (!radius || *radius < 0 || *radius > kMaxInterpolationRadius) return std::nullopt;
  return static_cast<int>(*radius);
}

std::string RadiusError(const std::string& Text) {
  return "The extrapolation radius \"" + Text + "\" is not a whole number of pixels from 0 to 999.";
}

std::optional<double> ParseTransducerDepth(const std::string& Text) {
  const auto cm = ParseNumber(Text);
  if (!cm || !(*cm >= 0) || *cm > 10000) return std::nullopt;
  return *cm;
}

std::string TransducerError(const std::string& Text) {
  return "The transducer depth \"" + Text + "\" is not a number of centimetres from 0 to 10000.";
}

namespace {

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// The answer of a depth dialog as a whole number, as the window's integer
// conversion reads it.
int AnswerToInt(const std::string& answer) {
  const auto value = ParseInteger(answer);
  if (!value || *value < INT_MIN || *value > INT_MAX)
    throw EConvertError("'" + answer + "' is not a valid integer value");
  return static_cast<int>(*value);
}

}  // namespace

// ---------------------------------------------------------------- life

TSession::TSession(TSessionQuestions& Questions, TSessionDisplay& Display, int CPUCount)
    : fQuestions(Questions),
      fDisplay(Display),
      fProject(CPUCount),
      fRunFeedback(std::make_unique<TCommandFeedback>(*this, TProgressBar::Interpolate)),
      fTraceFeedback(std::make_unique<TCommandFeedback>(*this, TProgressBar::IsoMap)),
      fFeedback(std::make_unique<TCommandFeedback>(*this, std::nullopt)) {
  Settings.InterpolateThrds = fProject.CPUCount();
  fDisplay.Log(std::to_string(fProject.CPUCount()) + " CPUs found");
}

// A run still going ends with the project, before the feedback its workers
// report to; a worker command is cancelled and waited for first, as it reads
// the project.
TSession::~TSession() {
  fWorker.reset();
  fProject.StartOver();
}

// ---------------------------------------------------------------- state

void TSession::Notify(TChange what) { fDisplay.Changed(what); }

void TSession::SetLabel(TLabel label, const std::string& text) {
  fLabels[static_cast<std::size_t>(label)] = text;
  fDisplay.SetLabel(label, text);
}

void TSession::SetProgress(TProgressBar bar, const TProgress& progress) {
  fProgress[static_cast<std::size_t>(bar)] = progress;
  fDisplay.SetProgress(bar, progress);
}

TButtonStates TSession::Buttons() const {
  TButtonStates b;
  // While a run goes, the commands it would ignore are shown disabled: the
  // ISO map run and the HT export let the window's events run, and an
  // interpolation holds the whole window.
  const bool idle = fRunning == TRunning::Nothing && !fProject.InterpolationRunning();
  b.btnAddFiles = b.btnStartOver = b.imgShallowColor = b.imgDeepColor = idle;
  // Enabled by the first load and never disabled again; the saves wait for
  // the run.
  b.btnTrkZoomIn = b.btnTrkZoomOut = b.btnTrkFit = b.btnTrkZoom = b.btnTrkDelete = fAnyFileLoaded;
  b.btnTrkSaveGPX = b.btnTrkSaveHT = fAnyFileLoaded && idle;
  b.btnInterpolate = fProject.Interpolable() && idle;
  b.btnInterpolSaveBMP = fProject.InterpLoaded() && idle;
  b.btnIsoMap = b.btnCheckAccuracy = fProject.InterpLoaded() && idle;
  const bool traced = fProject.ContoursTraced();
  b.btnHtFit = b.btnHtZoom = traced;
  b.btnIsoSaveBMP = b.btnIsoSaveGPX = b.btnCreateHT = traced && idle;
  b.btnIsoSaveChart = fProject.InterpLoaded() && idle;
  b.btnHtZoomDown = fHtZoomDown;
  return b;
}

void TSession::SetRunning(TRunning Running) {
  fRunning = Running;
  ButtonsChanged();
  Notify(TChange::Running);
}

bool TSession::Cancellable() const noexcept {
  return fRunning != TRunning::Nothing || fProject.InterpolationRunning();
}

std::string TSession::RunningText() const {
  if (fProject.InterpolationRunning()) return "Interpolating";
  switch (fRunning) {
    case TRunning::Loading: return "Reading files";
    case TRunning::IsoMap: return "Tracing contours";
    case TRunning::HTExport: return "Writing HT files";
    case TRunning::Accuracy: return "Checking accuracy";
    case TRunning::Export: return "Exporting";
    case TRunning::Nothing: break;
  }
  return {};
}

TProgress TSession::RunningProgress() const {
  if (fProject.InterpolationRunning()) return Progress(TProgressBar::Interpolate);
  if (fRunning == TRunning::IsoMap) return Progress(TProgressBar::IsoMap);
  if (fRunning == TRunning::Accuracy) return Progress(TProgressBar::Interpolate);
  if (fWorker) return fWorkerProgress;
  return {Cancellable(), 0, 0};
}

std::string TSession::LastRunText() const {
  if (!fLastRun) return {};
  std::string text = fLastRun->Method == TInterpolationMethod::Surface ? "Surface" : "Shepard";
  // The tolerance bounds Shepard's far field; the surface has none.
  if (fLastRun->Method == TInterpolationMethod::Shepard) {
    const double tolerance = fLastRun->Tolerance;
    text += ", tolerance " + FormatNumber(tolerance) + " cm";
  }
  return text + ": " + FormatFixed(fLastRun->Seconds, 2) + " s";
}

std::string TSession::PositionText(TPane pane, int X, int Y) const {
  if (!PaneActive(pane)) return {};
  const TGPXDraw& grid = GridOf(pane);
  return DegreesMinutesText(grid.YToLa(Y), grid.XToLo(X));
}

std::string TSession::DepthTextAt(TPane pane, int X, int Y) const {
  if (!PaneActive(pane) || !fProject.InterpLoaded()) return {};
  if (pane == TPane::Interpolated) return DepthText(X, Y);
  // The same place on the depth picture's own grid.
  const TGPXDraw& from = GridOf(pane);
  const TGPXDraw& depth = fProject.DepthPictureGrid();
  const double lon = from.XToLo(X), lat = from.YToLa(Y);
  const double x = (lon - depth.BBox.O) * depth.BBox.Rm * depth.Aspect();
  const double y = depth.Height() - (lat - depth.BBox.S) * depth.BBox.Rm;
  if (!(x >= -0.5 && y >= -0.5 && x < depth.Width() - 0.5 && y < depth.Height() - 0.5)) return {};
  return DepthText(depth.LoToX(lon), depth.LaToY(lat));
}

void TSession::ButtonsChanged() {
  const TButtonStates buttons = Buttons();
  if (buttons == fShownButtons) return;
  fShownButtons = buttons;
  Notify(TChange::Buttons);
}

void TSession::SetCursor(TPane pane, TPaneCursor cursor) {
  TPaneCursor& current = pane == TPane::HTTracks ? fHtCursor : fTrkCursor;
  if (current == cursor) return;
  current = cursor;
  Notify(TChange::Cursors);
}

TPaneCursor TSession::Cursor(TPane pane) const {
  switch (pane) {
    case TPane::Tracks: return fTrkCursor;
    case TPane::HTTracks: return fHtCursor;
    case TPane::Interpolated:
    case TPane::IsoMap: break;
  }
  return TPaneCursor::Default;
}

int TSession::ThreadsRunning() const noexcept {
  const TInterpolationScheduler* scheduler = fProject.DepthMap().Scheduler();
  return scheduler ? scheduler->ThreadsRunning : 0;
}

TCanvas TSession::ColorRange(int Width) const {
  TCanvas strip(Width, kLegendHeight);
  DrawColorRange(strip, fProject.clShallowWater(), fProject.clDeepWater());
  return strip;
}

void TSession::Report(const std::exception& e) { fQuestions.ShowError(e.what()); }

std::optional<int> TSession::InterpolationRadius() {
  const std::optional<int> radius = ParseInterpolationRadius(Settings.InterpolationWidth);
  if (!radius) fQuestions.ShowError(RadiusError(Settings.InterpolationWidth));
  return radius;
}

void TSession::ReadSettings() {
  TProjectSettings& s = fProject.Settings;
  s.Interpolation.Style = std::clamp(Settings.InterpolatorStyle, 2, 14);
  s.Interpolation.Threads = std::clamp(Settings.InterpolateThrds, 1, fProject.CPUCount());
  s.Interpolation.Method = Settings.InterpolationMethod;
  s.Interpolation.Tolerance = Settings.InterpolationTolerance;
  s.HT.TrackName = Settings.TrackName;
  s.HT.ReduceWaypoints = Settings.ReduceWaypoints;
}

bool TSession::ReadCorrections() {
  const std::optional<double> transducer = ParseTransducerDepth(Settings.TransducerDepth);
  if (!transducer) {
    fQuestions.ShowError(TransducerError(Settings.TransducerDepth));
    return false;
  }
  TCorrectionSettings& c = fProject.Settings.Corrections;
  c.TransducerCm = *transducer;
  c.Despike = Settings.Despike;
  c.DepthFromElevation = Settings.DepthFromElevation;
  c.AutoLevel = Settings.AutoLevel;
  fProject.Settings.Interpolation.KeepOutside = Settings.KeepOutside;
  // The gauge table is read afresh for every batch: it may have been
  // edited since it was chosen. A table that cannot be read loads nothing.
  c.DatumCm.reset();
  if (!Settings.LevelDatum.empty()) {
    const auto datum = ParseNumber(Settings.LevelDatum);
    if (!datum || !std::isfinite(*datum)) {
      fQuestions.ShowError("The gauge datum \"" + Settings.LevelDatum + "\" is not a number of centimetres.");
      return false;
    }
    c.DatumCm = *datum;
  }
  c.LevelTable.reset();
  c.LevelTablePath = Settings.LevelTable;
  if (!Settings.LevelTable.empty()) {
    try {
      c.LevelTable = TLevelTable::Read(Settings.LevelTable);
    } catch (const std::exception& e) {
      fQuestions.ShowError(e.what());
      return false;
    }
  }
  return true;
}

bool TSession::ChooseLevelTable() {
  if (!CanStartCommand()) return false;
  const auto paths = fQuestions.AskOpenFileNames(kLevelTableFilter);
  if (!paths || paths->empty()) return false;
  try {
    const TLevelTable table = TLevelTable::Read(paths->front());
    Settings.LevelTable = paths->front();
    fDisplay.Log(std::filesystem::path(paths->front()).filename().string() + ": " +
                 std::to_string(table.Entries().size()) + " water levels from " + FormatIsoTime(table.First()) +
                 " to " + FormatIsoTime(table.Last()));
    return true;
  } catch (const std::exception& e) {
    fQuestions.ShowError(e.what());
    return false;
  }
}

bool TSession::ReadShoreSettings() {
  const std::optional<TShoreDepth> shore = ParseShoreDepth(Settings.ShoreDepth);
  if (!shore) {
    fQuestions.ShowError(ShoreDepthError(Settings.ShoreDepth));
    return false;
  }
  fProject.Settings.Interpolation.ShoreDepth = *shore;
  fProject.Settings.Interpolation.KeepOutside = Settings.KeepOutside;
  return true;
}

void TSession::Cancel() {
  if (fWorker) fWorker->Cancel();
  fRunFeedback->Cancel();
  fTraceFeedback->Cancel();
  fFeedback->Cancel();
}

// ---------------------------------------------------------------- loading

void TSession::AddFiles() {
  if (!CanStartCommand()) return;
  if (const auto paths = fQuestions.AskOpenFileNames(kAddFilesFilter)) AddFiles(*paths);
}

void TSession::AddFiles(const std::vector<std::string>& Paths) {
  TCommandGuard command(*this);
  if (!command || Paths.empty()) return;
  // Read before anything is loaded, so a load never stops with tracks
  // appended but not drawn.
  const std::optional<int> radius = InterpolationRadius();
  if (!radius || !ReadCorrections()) return;
  fProject.Settings.Interpolation.Radius = *radius;
  // The files are read on a worker thread while the window's events run
  // and Cancel can stop it; a cancelled reading loads nothing of the
  // selection. Then they are added here in order, with their questions.
  auto files = std::make_shared<std::vector<TSourceFile>>(Paths.size());
  const TReadRule rule{.DepthFromElevation = fProject.Settings.Corrections.DepthFromElevation};
  bool read = false;
  const bool started = StartWorker(
      TRunning::Loading, std::nullopt,
      [files, Paths, rule](TFeedback& Feedback) {
        for (std::size_t i = 0; i < Paths.size(); ++i) {
          if (Feedback.Canceled()) throw TCanceled{};
          Feedback.SetProgress(static_cast<int>(i), static_cast<int>(Paths.size()));
          ReadSourceFile(Paths[i], (*files)[i], Feedback, rule);
        }
        if (Feedback.Canceled()) throw TCanceled{};
      },
      [this, &read](std::exception_ptr thrown) {
        try {
          if (thrown) std::rethrow_exception(thrown);
          read = true;
        } catch (const TCanceled&) {
          fDisplay.Log("Loading cancelled: nothing of the selection was loaded");
        }
      });
  if (!started) return;
  WaitWorker();
  if (!read) return;
  for (TSourceFile& file : *files)
    if (!LoadFile(file)) break;
  // The batch ends with the files that were loaded: the levels estimated
  // (which may take a while, under the wait cursor) and the soundings
  // outside the shoreline counted.
  fLevelEstimate.reset();
  const bool levels = fProject.Settings.Corrections.AutoLevel;
  std::optional<TBusyGuard> busy;
  if (levels) busy.emplace(*this, true);
  try {
    fFeedback->ResetCancel();
    fProject.FinishLoading(*fFeedback);
    if (levels) AfterSourceChange();
  } catch (const TCanceled&) {
    fDisplay.Log("Estimating the water levels was cancelled; the readings stay as loaded.");
  } catch (const std::exception& e) {
    Report(e);
  }
}

bool TSession::EstimateLevels() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return false;
  TBusyGuard busy(*this, true);
  try {
    fFeedback->ResetCancel();
    fLevelEstimate = fProject.EstimateLevels(*fFeedback);
    return true;
  } catch (const TCanceled&) {
    return false;
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
}

long long TSession::ApplyLevelEstimate() {
  TCommandGuard command(*this);
  if (!command || !fLevelEstimate) return 0;
  TBusyGuard busy(*this, true);
  const long long changed = fProject.ApplyLevels(*fLevelEstimate);
  fLevelEstimate.reset();
  AfterSourceChange();
  return changed;
}

bool TSession::LoadFile(TSourceFile& file, const std::optional<TDepthRule>& Rule) {
  bool next = true;
  const std::string& Path = file.Path;
  {
    TBusyGuard busy(*this, true);
    try {
      fFeedback->ResetCancel();
      if (!file.Result.Loaded) {
        fQuestions.ShowError(file.Result.Error);
      } else {
        if (!file.Result.Warnings.empty()) fQuestions.ShowLoadWarnings(file.Result.Warnings);
        // "Apply depth to dataset" and "Add value to dataset", as the check
        // boxes ask for them.
        TDepthRule rule;
        const std::string name = std::filesystem::path(Path).filename().string();
        if (Rule) rule = *Rule;
        else if (Settings.AddDepth && file.WithoutDepth()) rule.Depth = AnswerToInt(fQuestions.AskDepthToApply(name));
        if (!Rule && Settings.AddOffset && HoldsReadings(file.Kind))
          rule.Offset = AnswerToInt(fQuestions.AskDepthOffset(name));
        const std::size_t shown = file.Result.Warnings.size();
        const SourceLoadResult result = fProject.AddFile(file, rule, *fFeedback);
        if (!result.Error.empty()) {
          fQuestions.ShowError(result.Error);
        } else {
          // A depth or an offset that put readings beyond any lake's depth.
          if (result.Warnings.size() > shown)
            fQuestions.ShowLoadWarnings(
                {result.Warnings.begin() + static_cast<std::ptrdiff_t>(shown), result.Warnings.end()});
          fAnyFileLoaded = true;
          AfterSourceChange();
        }
      }
    } catch (const EConvertError& e) {
      // An answer to a depth question that is no number: nothing of this
      // file was added, and the rest of the selection is not loaded.
      fQuestions.ShowError(AboutFile(Path, e.what()));
      next = false;
    } catch (const std::exception& e) {
      Report(e);
      next = false;
    }
  }
  fDisplay.ProcessEvents();
  return next;
}

// The map was fitted and drawn, the mask and the information rebuilt.
void TSession::AfterSourceChange() {
  Notify(TChange::SourcePicture);
  Notify(TChange::ShoreLinePicture);
  Notify(TChange::MapInfo);
  ButtonsChanged();
}

// ---------------------------------------------------------------- saves

std::string TSession::SaveOutput(TOutput What, const TCanvas* Picture, const SaveFileRequest& Request) {
  if (Picture && (Picture->Width() <= 0 || Picture->Height() <= 0)) {
    fQuestions.ShowError("There is no picture to save yet.");
    return {};
  }
  const std::optional<std::string> path = fQuestions.AskSaveFileName(Request);
  if (!path || path->empty()) return {};
  // A picture's format is checked before the overwrite question, so the
  // user is never asked to replace a file that would then not be written.
  if (Picture && PictureFormatOf(*path) == TPictureFormat::None) {
    fQuestions.ShowError("Cannot save " + *path + ": pictures are saved as .bmp, .jpg or .jpeg files.");
    return {};
  }
  if (FileExists(*path) && !fQuestions.AskOverwrite(*path)) return {};
  try {
    fFeedback->ResetCancel();
    fProject.Export(TExportRequest::OneFile(What, *path), *fFeedback);
  } catch (const std::exception& e) {
    Report(e);
    return {};
  }
  return *path;
}

bool TSession::SaveTracks() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return false;
  return !SaveOutput(TOutput::SourceTracks, nullptr,
                     {SaveKind::SourceTracks, "Save open tracks to GPX", "GPX file|*.gpx", "gpx", ""})
              .empty();
}

HTExportResult TSession::SaveAsHTFile() {
  return RunHTExport([this] {
    return sondralis::SaveAsHTFile(fProject.GPXdata(), fQuestions, *fFeedback,
                                   [this](TLabel label, const std::string& text) { SetLabel(label, text); });
  });
}

HTExportResult TSession::RunHTExport(const std::function<HTExportResult()>& Export) {
  HTExportResult result;
  result.Outcome = HTExportOutcome::NotRun;
  TCommandGuard command(*this);
  if (!command) return result;
  TBusyGuard busy(*this, false);
  ReadSettings();
  fFeedback->ResetCancel();
  SetRunning(TRunning::HTExport);
  try {
    result = Export();
  } catch (const std::exception& e) {
    Report(e);
    result.Outcome = HTExportOutcome::Error;
    result.Error = e.what();
  }
  SetRunning(TRunning::Nothing);
  // What was written other than asked (the debug log has it too).
  for (const std::string& warning : result.Warnings) fQuestions.ShowInformation(warning);
  return result;
}

// ---------------------------------------------------------------- start over, colours

void TSession::StartOver() {
  TCommandGuard command(*this);
  if (!command) return;
  ClearMaps();
}

void TSession::ClearMaps() {
  fProject.StartOver();
  fProjectPath.clear();
  fPointsRemoved = false;
  Notify(TChange::SourcePicture);
  Notify(TChange::MapInfo);
  SetLabel(TLabel::TrkCoordinates, "");
  SetLabel(TLabel::InterpolDepth, "");
  ButtonsChanged();
  TProgress progress = Progress(TProgressBar::Interpolate);
  progress.Visible = false;
  SetProgress(TProgressBar::Interpolate, progress);
  Notify(TChange::InterpolatedPicture);
  Notify(TChange::IsoMapPicture);
  Notify(TChange::HTPicture);
  fSizeFrozen = false;
  Notify(TChange::WindowSize);
}

void TSession::ChooseShallowColor() {
  if (!CanStartCommand()) return;
  if (const auto color = fQuestions.AskColor()) SetShallowColor(*color);
}

void TSession::ChooseDeepColor() {
  if (!CanStartCommand()) return;
  if (const auto color = fQuestions.AskColor()) SetDeepColor(*color);
}

void TSession::SetShallowColor(TColor Color) {
  if (!WindowEnabled()) return;
  fProject.SetShallowColor(Color);
  Notify(TChange::Colours);
  Notify(TChange::SourcePicture);
  Notify(TChange::HTPicture);
}

void TSession::SetDeepColor(TColor Color) {
  if (!WindowEnabled()) return;
  fProject.SetDeepColor(Color);
  Notify(TChange::Colours);
  Notify(TChange::SourcePicture);
  Notify(TChange::HTPicture);
}

// ---------------------------------------------------------------- interpolation

bool TSession::ApplyInterpolationRadius() {
  if (!WindowEnabled()) return false;
  TBusyGuard busy(*this, false);
  const std::optional<int> radius = InterpolationRadius();
  if (!radius) return false;
  fProject.ApplyRadius(*radius);
  if (fProject.FileLoaded()) {
    Notify(TChange::SourcePicture);
    Notify(TChange::ShoreLinePicture);
    if (fProject.ShowCoveragePreview()) Notify(TChange::InterpolatedPicture);
  }
  return true;
}

void TSession::ShowInterpolatedMap() {
  if (!WindowEnabled()) return;
  TBusyGuard busy(*this, false);
  fProject.Settings.Interpolation.KeepOutside = Settings.KeepOutside;
  fProject.UpdateMask();
  Notify(TChange::ShoreLinePicture);
  if (fProject.ShowCoveragePreview()) Notify(TChange::InterpolatedPicture);
}

void TSession::ShowShoreLine() {
  if (!WindowEnabled()) return;
  TBusyGuard busy(*this, false);
  fProject.Settings.Interpolation.KeepOutside = Settings.KeepOutside;
  fProject.UpdateMask();
  Notify(TChange::ShoreLinePicture);
}

bool TSession::StartInterpolation() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return false;
  const std::optional<int> radius = InterpolationRadius();
  if (!radius || !ReadShoreSettings()) return false;
  ReadSettings();
  fProject.Settings.Interpolation.Radius = *radius;
  fRunFeedback->ResetCancel();
  fRunStarting = {fProject.Settings.Interpolation.Method, fProject.Settings.Interpolation.Tolerance, 0};
  fRunStartedAt = std::chrono::steady_clock::now();
  try {
    if (!fProject.StartInterpolation(*fRunFeedback, fRunFeedback.get())) return false;
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  // The window holds still until the last worker is done, and keeps its
  // size until "Start over".
  ++fBusy;
  ++fWindowDisabled;
  Notify(TChange::Busy);
  fSizeFrozen = true;
  Notify(TChange::WindowSize);
  ButtonsChanged();
  SetProgress(TProgressBar::Interpolate, {true, fProject.GPXView().Width() - 1, 0});
  fInterpolatedLegend = true;
  Notify(TChange::Legends);
  Notify(TChange::Workers);
  Notify(TChange::Running);
  return true;
}

bool TSession::PollInterpolation() {
  if (!fProject.InterpolationRunning()) return true;
  // The columns taken now move the progress bar once.
  fRunFeedback->Hold();
  bool done = false;
  try {
    done = fProject.PollInterpolation();
  } catch (const TCanceled&) {
    fRunFeedback->Release();
    EndInterpolation(false);
    return true;
  } catch (const std::exception& e) {
    fRunFeedback->Release();
    EndInterpolation(false);
    Report(e);
    return true;
  }
  fRunFeedback->Release();
  if (!done) return false;
  EndInterpolation(true);
  return true;
}

bool TSession::Interpolate() {
  if (!StartInterpolation()) return false;
  try {
    fProject.WaitInterpolation();
  } catch (const TCanceled&) {
    EndInterpolation(false);
    return false;
  } catch (const std::exception& e) {
    EndInterpolation(false);
    Report(e);
    return false;
  }
  EndInterpolation(true);
  return true;
}

// A completed run shows its picture; a cancelled one leaves the last.
void TSession::EndInterpolation(bool Completed) {
  if (Completed) {
    fLastRun = fRunStarting;
    fLastRun->Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fRunStartedAt).count();
  }
  --fBusy;
  --fWindowDisabled;
  Notify(TChange::Busy);
  ButtonsChanged();
  TProgress progress = Progress(TProgressBar::Interpolate);
  progress.Visible = false;
  SetProgress(TProgressBar::Interpolate, progress);
  Notify(TChange::Workers);
  Notify(TChange::ShoreLinePicture);
  Notify(TChange::InterpolatedPicture);
  Notify(TChange::Running);
  if (Completed) Notify(TChange::LastRun);
}

std::string TSession::SaveInterpolatedImage() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded() || !fProject.InterpLoaded()) return {};
  return SaveOutput(TOutput::DepthPicture, &fProject.InterpolatedImage(),
                    {SaveKind::Picture, "Save image", "Bitmap Image|*.bmp|JPEG Image|*.jpg", "bmp", ""});
}

}  // namespace sondralis
