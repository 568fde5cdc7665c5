#include "session/Session.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <thread>
#include <utility>

#include "formats/AtomicFile.h"
#include "formats/GPXFile.h"
#include "formats/HTConvert.h"
#include "formats/SourceTracks.h"
#include "interpolation/ImageExport.h"
#include "model/DateTime.h"
#include "model/Text.h"
#include "session/ColorLegend.h"
#include "session/SessionParts.h"

namespace sondralis {

// ---------------------------------------------------------------- helpers

TSession::TRelay::TRelay(TSession& Session) : fSession(Session) {}

std::optional<std::string> TSession::TRelay::AskSaveFileName(const SaveFileRequest& request) {
  return fSession.fHost.AskSaveFileName(request);
}
bool TSession::TRelay::AskOverwrite(const std::string& path) { return fSession.fHost.AskOverwrite(path); }
std::string TSession::TRelay::AskDepthToApply(const std::string& fileName) {
  return fSession.fHost.AskDepthToApply(fileName);
}
std::string TSession::TRelay::AskDepthOffset(const std::string& fileName) {
  return fSession.fHost.AskDepthOffset(fileName);
}
std::string TSession::TRelay::AskTrackName() { return fSession.fHost.AskTrackName(); }
void TSession::TRelay::ShowError(const std::string& message) { fSession.fHost.ShowError(message); }
void TSession::TRelay::ShowInformation(const std::string& message) { fSession.fHost.ShowInformation(message); }
void TSession::TRelay::ShowLoadWarnings(const std::vector<std::string>& lines) {
  fSession.fHost.ShowLoadWarnings(lines);
}
void TSession::TRelay::Log(const std::string& line) { fSession.fHost.Log(line); }
void TSession::TRelay::ProcessEvents() { fSession.fHost.ProcessEvents(); }
void TSession::TRelay::SetLabel(TLabel label, const std::string& text) { fSession.SetLabel(label, text); }
void TSession::TRelay::SetProgress(TProgressBar bar, const TProgress& progress) {
  fSession.SetProgress(bar, progress);
}
void TSession::TRelay::Changed(TChange what) { fSession.Notify(what); }
void TSession::TRelay::WakeUp() { fSession.fHost.WakeUp(); }

void TSession::TRunListener::Log(const std::string& line) { fSession.fHost.Log(line); }
void TSession::TRunListener::SetProgress(int Position, int /*Max*/) {
  TProgress progress = fSession.Progress(TProgressBar::Interpolate);
  progress.Position = std::min(Position, progress.Max);
  fSession.SetProgress(TProgressBar::Interpolate, progress);
}
void TSession::TRunListener::ThreadsRunningChanged(int /*ThreadsRunning*/) { fSession.Notify(TChange::Workers); }
void TSession::TRunListener::Wake() { fSession.fHost.WakeUp(); }

TSession::TBusyGuard::TBusyGuard(TSession& Session, bool DisableWindow)
    : fSession(Session), fDisableWindow(DisableWindow) {
  if (fSession.fBusy++ == 0) fSession.Notify(TChange::Busy);
  if (fDisableWindow && fSession.fWindowDisabled++ == 0) fSession.Notify(TChange::Busy);
}
TSession::TBusyGuard::~TBusyGuard() {
  if (fDisableWindow && --fSession.fWindowDisabled == 0) fSession.Notify(TChange::Busy);
  if (--fSession.fBusy == 0) fSession.Notify(TChange::Busy);
}

TSession::TCommandGuard::TCommandGuard(TSession& Session)
    : fSession(Session), fEntered(Session.WindowEnabled() && !Session.InterpolationRunning() && !Session.CommandRunning()) {
  if (fEntered) ++fSession.fCommandDepth;
}
TSession::TCommandGuard::~TCommandGuard() {
  if (fEntered) --fSession.fCommandDepth;
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

std::shared_ptr<TGPXDraw> CopyGrid(const TGPXDraw& View) {
  auto grid = std::make_shared<TGPXDraw>();
  grid->BBox = View.BBox;
  grid->Resize(View.Width(), View.Height());
  return grid;
}

}  // namespace

// ---------------------------------------------------------------- life

TSession::TSession(Host& host, int CPUCount)
    : fHost(host),
      fRelay(std::make_unique<TRelay>(*this)),
      fRunListener(std::make_unique<TRunListener>(*this)),
      fCPUCount(CPUCount > 0 ? CPUCount : GetCPUCount()) {
  fMapInfo.SourceLegendText = "click to set color";
  fPaneWidth.fill(kDefaultPaneWidth);
  fPaneHeight.fill(kDefaultPaneHeight);

  fGPXView.TrackWidth = 3;
  fGPXView.Options.BackGroundColor = 16777215;
  fGPXView.DepthColorShallow = fShallow;
  fGPXView.DepthColorDeep = fDeep;
  fGPXView.ShadowMapEnabled = true;
  fGPXView.ShadowMapTrackColor = 12632256;

  fIsoView.TrackWidth = 1;
  fIsoView.Options.BackGroundColor = 16777215;
  fIsoView.DepthColorShallow = fShallow;
  fIsoView.DepthColorDeep = fDeep;
  fIsoView.ShadowMapEnabled = true;

  Settings.InterpolateThrds = fCPUCount;
  fHost.Log(std::to_string(fCPUCount) + " CPUs found");
}

// Members go in reverse order: the depth map, and with it any run still
// going, before the listener and the relay its workers report to.
TSession::~TSession() = default;

int TSession::GetCPUCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// ---------------------------------------------------------------- state

void TSession::Notify(TChange what) { fHost.Changed(what); }

void TSession::SetLabel(TLabel label, const std::string& text) {
  fLabels[static_cast<std::size_t>(label)] = text;
  fHost.SetLabel(label, text);
}

void TSession::SetProgress(TProgressBar bar, const TProgress& progress) {
  fProgress[static_cast<std::size_t>(bar)] = progress;
  fHost.SetProgress(bar, progress);
}

void TSession::SetButtons(const TButtonStates& buttons) {
  if (buttons == fButtons) return;
  fButtons = buttons;
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
  const TInterpolationScheduler* scheduler = fDepthMap.Scheduler();
  return scheduler ? scheduler->ThreadsRunning : 0;
}

TCanvas TSession::ColorRange(int Width) const {
  TCanvas strip(Width, kLegendHeight);
  DrawColorRange(strip, fShallow, fDeep);
  return strip;
}

void TSession::Report(const std::exception& e) { fHost.ShowError(e.what()); }

std::optional<int> ParseInterpolationRadius(const std::string& Text) {
  const auto radius = ParseInteger(Text);
  if (!radius || *radius < 0 || *radius > kMaxInterpolationRadius) return std::nullopt;
  return static_cast<int>(*radius);
}

std::string RadiusError(const std::string& Text) {
  return "The extrapolation radius \"" + Text + "\" is not a whole number of pixels from 0 to 999.";
}

std::optional<int> TSession::InterpolationRadius() {
  const std::optional<int> radius = ParseInterpolationRadius(Settings.InterpolationWidth);
  if (!radius) fHost.ShowError(RadiusError(Settings.InterpolationWidth));
  return radius;
}

// ---------------------------------------------------------------- loading

void TSession::AddFiles(const std::vector<std::string>& Paths) {
  TCommandGuard command(*this);
  if (!command || Paths.empty()) return;
  // Read before anything is loaded, so a load never stops with tracks
  // appended but not drawn.
  const std::optional<int> radius = InterpolationRadius();
  if (!radius) return;
  for (const std::string& path : Paths)
    if (!LoadFile(path, *radius)) break;
}

bool TSession::LoadFile(const std::string& Path, int Radius) {
  bool next = true;
  {
    TBusyGuard busy(*this, true);
    try {
      TSourceFile file;
      if (!ReadSourceFile(Path, file, *fRunListener)) {
        fHost.ShowError(file.Result.Error);
      } else {
        if (!file.Result.Warnings.empty()) fHost.ShowLoadWarnings(file.Result.Warnings);
        // "Apply depth to dataset" and "Add value to dataset", each as the
        // window's check box asks for it.
        TDepthRule rule;
        const std::string name = std::filesystem::path(Path).filename().string();
        if (Settings.AddDepth && file.WithoutDepth()) rule.Depth = AnswerToInt(fHost.AskDepthToApply(name));
        if (Settings.AddOffset && file.Kind == SourceKind::GPX) rule.Offset = AnswerToInt(fHost.AskDepthOffset(name));
        const SourceLoadResult result = AddSourceFile(fGPXdata, file, rule);
        RefreshSourceView(Radius);
        TButtonStates buttons = fButtons;
        buttons.btnTrkFit = buttons.btnTrkZoom = buttons.btnTrkZoomIn = buttons.btnTrkZoomOut = true;
        buttons.btnTrkDelete = buttons.btnTrkSaveGPX = buttons.btnTrkSaveHT = true;
        // Tracks without depth (a KML shoreline) give nothing to interpolate
        // unless a depth was entered for them.
        if (file.Kind == SourceKind::GPX || result.DepthApplied) buttons.btnInterpolate = true;
        SetButtons(buttons);
      }
    } catch (const EConvertError& e) {
      // An answer to a depth question that is no number: nothing of this
      // file was added, and the rest of the selection is not loaded.
      fHost.ShowError(AboutFile(Path, e.what()));
      next = false;
    } catch (const std::exception& e) {
      Report(e);
      next = false;
    }
  }
  fHost.ProcessEvents();
  return next;
}

void TSession::RefreshSourceView(int Radius) {
  fMaxDepth = GetMaxDepth(fGPXdata);
  fGPXView.MaxDepth = fMaxDepth;
  fGPXView.ShadowMapTrackWidth = Radius;
  fGPXView.GPXd = &fGPXdata;
  fFileLoaded = true;
  const int W = fPaneWidth[static_cast<std::size_t>(TPane::Tracks)];
  const int H = fPaneHeight[static_cast<std::size_t>(TPane::Tracks)];
  fGPXImage.SetSize(W, H);
  fGPXView.Canvas = &fGPXImage;
  fGPXView.Resize(W, H);
  fGPXView.filled = false;
  fGPXView.ResetBBox(true, true);
  if (DrawMaps) fGPXView.Redraw();
  Notify(TChange::SourcePicture);
  UpdateShadowArray();
  UpdateMapInfo();
}

void TSession::UpdateMapInfo() {
  fMapInfo = ComputeMapInfo(fGPXView, fGPXImage.Width(), fGPXImage.Height());
  fDecimateLongitude = DecimateLongitudeOf(fGPXView);
  fDecimateLatitude = DecimateLatitudeOf(fGPXView);
  Notify(TChange::MapInfo);
}

void TSession::UpdateShadowArray() {
  if (!fFileLoaded || !DrawMaps) return;
  fDepthMap.UpdateShadowArray(fGPXView);
  Notify(TChange::ShoreLinePicture);
}

std::string TSession::SavePicture(const TCanvas& Picture) {
  if (Picture.Width() <= 0 || Picture.Height() <= 0) {
    fHost.ShowError("There is no picture to save yet.");
    return {};
  }
  const auto name =
      fHost.AskSaveFileName({SaveKind::Picture, "Save image", "Bitmap Image|*.bmp|JPEG Image|*.jpg", "bmp", ""});
  if (!name || name->empty()) return {};
  // The format is checked before the overwrite question, so the user is
  // never asked to replace a file that would then not be written.
  if (PictureFormatOf(*name) == TPictureFormat::None) {
    fHost.ShowError("Cannot save " + *name + ": pictures are saved as .bmp, .jpg or .jpeg files.");
    return {};
  }
  if (FileExists(*name) && !fHost.AskOverwrite(*name)) return {};
  try {
    WritePicture(Picture, *name);
  } catch (const EFileError& e) {
    fHost.ShowError(e.what());
    return {};
  }
  return *name;
}

bool TSession::SaveDocument(TGPX& Doc, const SaveFileRequest& Request) {
  const std::optional<std::string> path = fHost.AskSaveFileName(Request);
  if (!path || path->empty()) return false;
  if (FileExists(*path) && !fHost.AskOverwrite(*path)) return false;
  try {
    TGPXFile writer;
    writer.GPXd = &Doc;
    writer.ExportGPX(*path);
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  return true;
}

bool TSession::SaveTracks() {
  TCommandGuard command(*this);
  if (!command || !fFileLoaded) return false;
  return SaveDocument(fGPXdata, {SaveKind::SourceTracks, "Save open tracks to GPX", "GPX file|*.gpx", "gpx", ""});
}

HTExportResult TSession::SaveAsHTFile() {
  return RunHTExport([this] { return sondralis::SaveAsHTFile(fGPXdata, *fRelay); });
}

HTExportResult TSession::RunHTExport(const std::function<HTExportResult()>& Export) {
  HTExportResult result;
  result.Outcome = HTExportOutcome::NotRun;
  TCommandGuard command(*this);
  if (!command) return result;
  TBusyGuard busy(*this, false);
  // "Create HT-File" waits while an export runs, and comes back as it was.
  const bool createHT = fButtons.btnCreateHT;
  TButtonStates buttons = fButtons;
  buttons.btnCreateHT = false;
  SetButtons(buttons);
  try {
    result = Export();
  } catch (const std::exception& e) {
    Report(e);
    result.Outcome = HTExportOutcome::Error;
    result.Error = e.what();
  }
  buttons = fButtons;
  buttons.btnCreateHT = createHT;
  SetButtons(buttons);
  return result;
}

// ---------------------------------------------------------------- start over, colours

void TSession::StartOver() {
  TCommandGuard command(*this);
  if (!command) return;
  fGPXView.Clear();
  fGPXdata.Clear();
  fFileLoaded = false;
  fMaxDepth = 0;
  Notify(TChange::SourcePicture);

  fMapInfo = TMapInfo{};
  Notify(TChange::MapInfo);
  SetLabel(TLabel::TrkCoordinates, "");
  SetLabel(TLabel::InterpolDepth, "");

  TButtonStates buttons = fButtons;
  buttons.btnInterpolate = buttons.btnInterpolSaveBMP = buttons.btnIsoMap = false;
  buttons.btnIsoSaveBMP = buttons.btnIsoSaveGPX = false;
  buttons.btnCreateHT = buttons.btnHtFit = buttons.btnHtZoom = false;
  SetButtons(buttons);
  TProgress progress = Progress(TProgressBar::Interpolate);
  progress.Visible = false;
  SetProgress(TProgressBar::Interpolate, progress);
  fDepthMap.Clear();
  fPictureSource.reset();
  Notify(TChange::InterpolatedPicture);
  fIsoMap.SetSize(0, 0);
  fIsoSource.reset();
  Notify(TChange::IsoMapPicture);

  fIsoView.Clear();
  fIsoData.Clear();
  Notify(TChange::HTPicture);

  fSizeFrozen = false;
  Notify(TChange::WindowSize);
}

void TSession::SetShallowColor(TColor Color) {
  if (!WindowEnabled()) return;
  fShallow = Color;
  Notify(TChange::Colours);
  fGPXView.DepthColorShallow = Color;
  fIsoView.DepthColorShallow = Color;
  RedrawPane(TPane::Tracks);
  RedrawPane(TPane::HTTracks);
}

void TSession::SetDeepColor(TColor Color) {
  if (!WindowEnabled()) return;
  fDeep = Color;
  Notify(TChange::Colours);
  fGPXView.DepthColorDeep = Color;
  fIsoView.DepthColorDeep = Color;
  RedrawPane(TPane::Tracks);
  RedrawPane(TPane::HTTracks);
}

// ---------------------------------------------------------------- interpolation

bool TSession::ApplyInterpolationRadius() {
  if (!WindowEnabled()) return false;
  TBusyGuard busy(*this, false);
  const std::optional<int> radius = InterpolationRadius();
  if (!radius) return false;
  fGPXView.ShadowMapTrackWidth = *radius;
  if (fFileLoaded) {
    RedrawPane(TPane::Tracks);
    UpdateShadowArray();
    ShowCoveragePreview();
  }
  return true;
}

void TSession::ShowInterpolatedMap() {
  if (!WindowEnabled()) return;
  TBusyGuard busy(*this, false);
  UpdateShadowArray();
  ShowCoveragePreview();
}

void TSession::ShowShoreLine() {
  if (!WindowEnabled()) return;
  TBusyGuard busy(*this, false);
  UpdateShadowArray();
}

void TSession::ShowCoveragePreview() {
  // After a run the picture stays.
  if (!fFileLoaded || InterpLoaded()) return;
  fDepthMap.InterpolatedImage = fDepthMap.CoveragePreview(fGPXImage);
  Notify(TChange::InterpolatedPicture);
}

bool TSession::StartInterpolation() {
  TCommandGuard command(*this);
  if (!command || !fFileLoaded) return false;
  const std::optional<int> radius = InterpolationRadius();
  if (!radius) return false;
  TInterpolationSettings settings;
  settings.Radius = *radius;
  settings.Threads = std::clamp(Settings.InterpolateThrds, 1, fCPUCount);
  settings.Style = std::clamp(Settings.InterpolatorStyle, 2, 14);
  TRunInput input;
  input.MaxDepth = fMaxDepth;
  input.clShallow = fShallow;
  input.clDeep = fDeep;
  input.DecimateLatitude = fDecimateLatitude;
  input.DecimateLongitude = fDecimateLongitude;
  fRunListener->ResetCancel();
  try {
    if (!fDepthMap.StartInterpolation(fGPXView, settings, input, *fRunListener, fRunListener.get())) return false;
  } catch (const std::exception& e) {
    Report(e);
    return false;
  }
  // The picture will be traced later in the grid, mask and colours it is
  // made with now, whatever happens to the view and the swatches meanwhile.
  auto source = std::make_shared<TPictureSource>();
  source->Grid = CopyGrid(fGPXView);
  source->ShadowArray = fDepthMap.ShadowArray;
  source->clShallow = fShallow;
  source->clDeep = fDeep;
  source->MaxDepth = fMaxDepth;
  fPendingSource = std::move(source);

  // The window holds still until the last worker is done, and keeps its
  // size until "Start over".
  ++fBusy;
  ++fWindowDisabled;
  Notify(TChange::Busy);
  fSizeFrozen = true;
  Notify(TChange::WindowSize);
  TButtonStates buttons = fButtons;
  buttons.btnInterpolate = false;
  SetButtons(buttons);
  SetProgress(TProgressBar::Interpolate, {true, fGPXView.Width() - 1, 0});
  fInterpolatedLegend = true;
  Notify(TChange::Legends);
  Notify(TChange::ShoreLinePicture);
  Notify(TChange::Workers);
  return true;
}

bool TSession::PollInterpolation() {
  if (!fDepthMap.Running()) return true;
  try {
    if (!fDepthMap.Poll()) return false;
  } catch (const TCanceled&) {
    EndInterpolation(false);
    return true;
  }
  EndInterpolation(true);
  return true;
}

bool TSession::Interpolate() {
  if (!StartInterpolation()) return false;
  try {
    fDepthMap.Wait();
  } catch (const TCanceled&) {
    EndInterpolation(false);
    return false;
  }
  EndInterpolation(true);
  return true;
}

void TSession::CancelInterpolation() {
  if (fDepthMap.Running()) fRunListener->Cancel();
}

void TSession::EndInterpolation(bool Completed) {
  if (Completed) fPictureSource = std::move(fPendingSource);
  fPendingSource.reset();
  --fBusy;
  --fWindowDisabled;
  Notify(TChange::Busy);
  TButtonStates buttons = fButtons;
  buttons.btnInterpolate = true;
  if (Completed) buttons.btnInterpolSaveBMP = buttons.btnIsoMap = true;
  SetButtons(buttons);
  TProgress progress = Progress(TProgressBar::Interpolate);
  progress.Visible = false;
  SetProgress(TProgressBar::Interpolate, progress);
  Notify(TChange::Workers);
  Notify(TChange::InterpolatedPicture);
}

std::string TSession::SaveInterpolatedImage() {
  TCommandGuard command(*this);
  if (!command || !fFileLoaded) return {};
  if (!InterpLoaded()) return {};
  return SavePicture(fDepthMap.InterpolatedImage);
}

}  // namespace sondralis
