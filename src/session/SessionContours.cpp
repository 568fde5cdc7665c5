// The contour commands of the session: the ISO map run, its two saves, and
// the HT export of the contours.

#include <chrono>
#include <climits>
#include <filesystem>

#include "formats/HTConvert.h"
#include "model/Numbers.h"
#include "model/Text.h"
#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

namespace {

// Often enough to watch the lines grow, seldom enough that showing them
// costs little beside tracing them.
constexpr std::chrono::milliseconds kContourShowInterval{250};

}  // namespace

bool TSession::ReadContourSettings() {
  // Checked before anything is cleared: a step of 0 would trace the same
  // level for ever.
  const auto step = ParseInteger(Settings.IsoStep);
  if (!step || *step < 1 || *step > INT_MAX) {
    fQuestions.ShowError("The step size \"" + Settings.IsoStep + "\" is not a whole number of centimetres above 0.");
    return false;
  }
  std::optional<double> minRing;
  if (!Settings.IsoMinRing.empty()) {
    const auto ring = ParseInteger(Settings.IsoMinRing);
    if (!ring || *ring < 0 || *ring > 9999) {
      fQuestions.ShowError("The ring limit \"" + Settings.IsoMinRing +
                           "\" is not a whole number of pixels from 0 to 9999.");
      return false;
    }
    minRing = static_cast<double>(*ring);
  }
  ReadSettings();
  TContourSettings& contours = fProject.Settings.Contours;
  contours.Step = static_cast<int>(*step);
  contours.Tracer = Settings.IsoTracer;
  contours.MinRing = minRing;
  contours.Smooth = Settings.IsoSmooth ? kSmoothPasses : 0;
  contours.Labels = Settings.IsoLabels;
  contours.ChartTracks = Settings.ChartTracks;
  return true;
}

bool TSession::RunIsoMap() {
  TCommandGuard command(*this);
  if (!command) return false;
  if (!fProject.InterpLoaded()) {
    fQuestions.ShowError("There is no interpolated depth map to trace yet: run \"Interpolate\" first.");
    return false;
  }
  if (!ReadContourSettings()) return false;
  if (const std::string refusal = fProject.ContoursRefusal(); !refusal.empty()) {
    fQuestions.ShowError(refusal);
    return false;
  }

  TBusyGuard busy(*this, false);
  SetRunning(TRunning::IsoMap);
  SetProgress(TProgressBar::IsoMap, {true, 0, 0});
  fIsoLegend = true;
  Notify(TChange::Legends);

  bool traced = false;
  fTraceFeedback->ResetCancel();
  try {
    // The contours so far are shown on both maps a few times a second.
    fProject.ContourShowInterval = kContourShowInterval;
    fProject.TraceContours(*fTraceFeedback, [this](int) {
      Notify(TChange::IsoMapPicture);
      Notify(TChange::HTPicture);
    });
    const TGPX& contours = fProject.IsoData();
    SetLabel(TLabel::NumIsoTracks, "# Tracks: " + std::to_string(contours.trk.Count()));
    SetLabel(TLabel::GeneratedPoints, "# Points: " + std::to_string(CountHTPoints(contours, kHTAllowance)));
    traced = true;
  } catch (const TCanceled&) {
    // The contours, their picture and their map are as they were.
  } catch (const std::exception& e) {
    Report(e);
  }
  Notify(TChange::IsoMapPicture);
  Notify(TChange::HTPicture);
  TProgress progress = Progress(TProgressBar::IsoMap);
  progress.Visible = false;
  SetProgress(TProgressBar::IsoMap, progress);
  SetRunning(TRunning::Nothing);
  return traced;
}

std::string TSession::SaveIsoImage() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return {};
  return SaveOutput(TOutput::ContourPicture, &fProject.IsoMap(),
                    {SaveKind::Picture, "Save image", "Bitmap Image|*.bmp|JPEG Image|*.jpg", "bmp", ""});
}

bool TSession::SaveIsoTracks() {
  TCommandGuard command(*this);
  if (!command || !fProject.FileLoaded()) return false;
  // The writer keeps every point's depth, so the file carries the levels.
  return !SaveOutput(TOutput::ContourTracks, nullptr,
                     {SaveKind::ContourTracks, "Save iso tracks to GPX", "GPX file|*.gpx", "gpx", ""})
              .empty();
}

std::string TSession::SaveChart() {
  TCommandGuard command(*this);
  if (!command || !fProject.InterpLoaded()) return {};
  // The settings first: the user is never asked for a file that then is
  // not written.
  if (!ReadContourSettings()) return {};
  if (const std::string refusal = fProject.ContoursRefusal(); !refusal.empty()) {
    fQuestions.ShowError(refusal);
    return {};
  }
  const std::optional<std::string> path =
      fQuestions.AskSaveFileName({SaveKind::Chart, "Save chart", "PNG Image|*.png", "png", "chart.png"});
  if (!path || path->empty()) return {};
  if (ToLowerAscii(std::filesystem::path(*path).extension().string()) != ".png") {
    fQuestions.ShowError("Cannot save " + *path + ": charts are saved as .png files.");
    return {};
  }
  std::error_code ec;
  if (std::filesystem::exists(*path, ec) && !fQuestions.AskOverwrite(*path)) return {};
  TBusyGuard busy(*this, false);
  try {
    fFeedback->ResetCancel();
    fProject.PrepareChart(*fFeedback);
    fProject.Export(TExportRequest::OneFile(TOutput::ChartPicture, *path), *fFeedback);
  } catch (const TCanceled&) {
    return {};
  } catch (const std::exception& e) {
    Report(e);
    return {};
  }
  return *path;
}

HTExportResult TSession::CreateHTFile() {
  const HTExportResult result = RunHTExport([this] {
    return sondralis::CreateHTFile(fProject.IsoData(), fProject.Settings.HT.TrackName,
                                   fProject.Settings.HT.ReduceWaypoints, fQuestions, *fFeedback,
                                   [this](TLabel label, const std::string& text) { SetLabel(label, text); },
                                   fProject.ContoursApart());
  });
  // A reduction replaced the contours: the HT Contour map shows the new ones.
  if (result.ContoursReplaced) RedrawPane(TPane::HTTracks);
  return result;
}

}  // namespace sondralis
