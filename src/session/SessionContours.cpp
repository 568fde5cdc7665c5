// The contour commands of the session: the ISO map run, its two saves, and
// the HT export of the contours.

#include <climits>

#include "formats/HTConvert.h"
#include "session/HTDialogs.h"
#include "interpolation/ImageExport.h"
#include "model/Text.h"
#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

void TSession::TTracerHost::Log(const std::string& line) { fSession.fHost.Log(line); }

void TSession::TTracerHost::SetProgress(int Position, int Max) {
  TProgress progress = fSession.Progress(TProgressBar::IsoMap);
  progress.Max = Max;
  progress.Position = Position;
  fSession.SetProgress(TProgressBar::IsoMap, progress);
}

void TSession::TTracerHost::ProcessEvents() { fSession.fHost.ProcessEvents(); }

// Shows the contours in the HT Contour view, fitted to all of them.
void TSession::UpdateIsoImage() {
  fIsoView.GPXd = &fIsoData;
  fIsoLoaded = true;
  fIsoView.MaxDepth = fMaxDepth;
  const auto pane = static_cast<std::size_t>(TPane::HTTracks);
  fIsoImage.SetSize(fPaneWidth[pane], fPaneHeight[pane]);
  fIsoView.Canvas = &fIsoImage;
  fIsoView.Resize(fPaneWidth[pane], fPaneHeight[pane]);
  fIsoView.filled = false;
  fIsoView.ResetBBox(true, true);
  RedrawPane(TPane::HTTracks);
}

void TSession::TraceIsoMap(const TPictureSource& Source, int Step) {
  TTracerHost tracerHost(*this);
  TMovingSquares tracer(fIsoData, *Source.Grid, fIsoMap, fDepthMap.InterpolatedImage, Source.ShadowArray);
  tracer.clShallow = Source.clShallow;
  tracer.clDeep = Source.clDeep;
  tracer.GenerateISO(0, Source.MaxDepth, Step, tracerHost, [this](int) {
    Notify(TChange::IsoMapPicture);
    UpdateIsoImage();
  });
}

bool TSession::RunIsoMap() {
  TCommandGuard command(*this);
  if (!command) return false;
  if (!InterpLoaded() || !fPictureSource) {
    fHost.ShowError("There is no interpolated depth map to trace yet: run \"Interpolate\" first.");
    return false;
  }
  // Checked before anything is cleared: a step of 0 would trace the same
  // level for ever.
  const auto step = ParseInteger(Settings.IsoStep);
  if (!step || *step < 1 || *step > INT_MAX) {
    fHost.ShowError("The step size \"" + Settings.IsoStep + "\" is not a whole number of centimetres above 0.");
    return false;
  }
  // Held for the whole run, whatever replaces the session's picture.
  const std::shared_ptr<const TPictureSource> source = fPictureSource;
  if (source->MaxDepth <= 0) {
    fHost.ShowError("The depth map was made without any depth greater than 0 cm, so there is no depth level to trace.");
    return false;
  }

  TBusyGuard busy(*this, false);
  TButtonStates buttons = fButtons;
  buttons.btnIsoMap = false;
  SetButtons(buttons);
  SetProgress(TProgressBar::IsoMap, {true, 0, 0});
  fIsoMap.SetSize(0, 0);
  fIsoSource = source;
  fIsoView.Clear();
  fIsoData.Clear();
  Notify(TChange::IsoMapPicture);
  Notify(TChange::HTPicture);
  fIsoLegend = true;
  Notify(TChange::Legends);

  bool traced = false;
  try {
    TraceIsoMap(*source, static_cast<int>(*step));
    SetLabel(TLabel::NumIsoTracks, "# Tracks: " + std::to_string(fIsoData.trk.Count()));
    SetLabel(TLabel::GeneratedPoints, "# Points: " + std::to_string(CountHTPoints(fIsoData, kHTAllowance)));
    traced = true;
  } catch (const std::exception& e) {
    Report(e);
  }

  buttons = fButtons;
  buttons.btnIsoMap = true;
  if (traced) buttons.btnIsoSaveBMP = buttons.btnIsoSaveGPX = buttons.btnCreateHT = buttons.btnHtFit =
      buttons.btnHtZoom = true;
  SetButtons(buttons);
  TProgress progress = Progress(TProgressBar::IsoMap);
  progress.Visible = false;
  SetProgress(TProgressBar::IsoMap, progress);
  return traced;
}

std::string TSession::SaveIsoImage() {
  TCommandGuard command(*this);
  if (!command || !fFileLoaded) return {};
  return SavePicture(fIsoMap);
}

bool TSession::SaveIsoTracks() {
  TCommandGuard command(*this);
  if (!command || !fFileLoaded) return false;
  // The writer keeps every point's depth, so the file carries the levels.
  return SaveDocument(fIsoData, {SaveKind::ContourTracks, "Save iso tracks to GPX", "GPX file|*.gpx", "gpx", ""});
}

HTExportResult TSession::CreateHTFile() {
  const HTExportResult result = RunHTExport(
      [this] { return sondralis::CreateHTFile(fIsoData, Settings.TrackName, Settings.ReduceWaypoints, *fRelay); });
  // A reduction replaced the contours: the HT Contour map shows the new ones.
  if (result.ContoursReplaced) RedrawPane(TPane::HTTracks);
  return result;
}

}  // namespace sondralis
