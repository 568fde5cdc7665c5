#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contours/MovingSquares.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/ShepardThread.h"
#include "model/GPX.h"
#include "model/Host.h"
#include "session/HTDialogs.h"
#include "session/MapInfo.h"
#include "session/SessionState.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

// The application's state and its commands: the source tracks and their
// map, the coverage mask, the interpolated depth picture, the contour lines
// and their map, the colours, the flags and the settings, with one method
// per command of the window. The window and sondralis-cli both drive a
// session; neither keeps state of its own beyond its widgets and options.
//
// Questions go to the Host as typed calls; what changed goes to it as typed
// notifications (TChange, labels, progress, log lines), and the front end
// reads the new state from the session's accessors. Every command restores
// the busy state and the buttons it changed however it ends; an error that
// ends a command is shown with Host::ShowError and the session stays usable.
//
// Everything runs on the thread that created the session, except the
// interpolation workers. While an interpolation runs the window is disabled
// (WindowEnabled() is false) and every command and mouse event is ignored;
// a front end calls PollInterpolation when Host::WakeUp asks for it, or
// Interpolate to run to the end. A command that lets pending window events
// run (loading, the ISO map run, the HT export) is not re-entered: commands
// arriving meanwhile are ignored (CommandRunning() tells).
class TSession {
 public:
  // Pane size until the front end reports the real one with ResizePane: the
  // Source Tracks map of the window at its start size.
  static constexpr int kDefaultPaneWidth = 815;
  static constexpr int kDefaultPaneHeight = 649;
  // The legend strips: the Source Tracks one, and the Interpolated Map and
  // ISO Contour ones.
  static constexpr int kSourceLegendWidth = 122;
  static constexpr int kLegendWidth = 162;
  static constexpr int kLegendHeight = 14;

  // The file-open dialog of "Add Files...".
  static constexpr const char* kAddFilesFilter = "GPX or KML files|*.gpx;*.kml";

  // Logs the processor count (" CPUs found") and sets the worker count to it.
  // CPUCount 0 asks the system.
  explicit TSession(Host& host, int CPUCount = 0);
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  ~TSession();

  // The window's fields; read by the commands when they run.
  TSessionSettings Settings;

  // Whether a load draws the Source Tracks map and the coverage mask. A
  // front end that only converts or exports the files it loads turns it
  // off: for a big recording the drawing costs a good part of the load.
  bool DrawMaps = true;

  // ---- state

  const TGPX& GPXdata() const noexcept { return fGPXdata; }
  const TGPXDraw& GPXView() const noexcept { return fGPXView; }
  const TGPX& IsoData() const noexcept { return fIsoData; }
  const TGPXDraw& IsoView() const noexcept { return fIsoView; }
  // The coverage mask, the samples, the shoreline mask and the last run.
  const TDepthMap& DepthMap() const noexcept { return fDepthMap; }

  int MaxDepth() const noexcept { return fMaxDepth; }
  bool FileLoaded() const noexcept { return fFileLoaded; }
  bool InterpLoaded() const noexcept { return fDepthMap.InterpLoaded; }
  bool IsoLoaded() const noexcept { return fIsoLoaded; }
  TColor clShallowWater() const noexcept { return fShallow; }
  TColor clDeepWater() const noexcept { return fDeep; }
  double DecimateLongitude() const noexcept { return fDecimateLongitude; }
  double DecimateLatitude() const noexcept { return fDecimateLatitude; }
  const TMapInfo& MapInfo() const noexcept { return fMapInfo; }
  const TButtonStates& Buttons() const noexcept { return fButtons; }
  const std::string& LabelText(TLabel label) const { return fLabels[static_cast<std::size_t>(label)]; }
  const TProgress& Progress(TProgressBar bar) const { return fProgress[static_cast<std::size_t>(bar)]; }
  // The wait cursor is shown.
  bool Busy() const noexcept { return fBusy > 0; }
  // False while a load or an interpolation holds the whole window.
  bool WindowEnabled() const noexcept { return fWindowDisabled == 0; }
  // The window keeps its present size: set by an interpolation run, lifted
  // by "Start over".
  bool SizeFrozen() const noexcept { return fSizeFrozen; }
  TPaneCursor Cursor(TPane pane) const;
  // The legends over the Interpolated Map and ISO Contour pictures.
  bool InterpolatedLegendVisible() const noexcept { return fInterpolatedLegend; }
  bool IsoLegendVisible() const noexcept { return fIsoLegend; }
  // Interpolation workers running now (the thread slider's selection).
  int ThreadsRunning() const noexcept;
  bool InterpolationRunning() const noexcept { return fDepthMap.Running(); }
  bool CommandRunning() const noexcept { return fCommandDepth > 0; }
  int CPUCount() const noexcept { return fCPUCount; }

  // The pictures of the panes.
  const TCanvas& GPXImage() const noexcept { return fGPXImage; }
  const TCanvas& InterpolatedImage() const noexcept { return fDepthMap.InterpolatedImage; }
  const TCanvas& IsoMap() const noexcept { return fIsoMap; }
  const TCanvas& IsoImage() const noexcept { return fIsoImage; }
  const TCanvas& ShoreLine() const noexcept { return fDepthMap.ShoreLine; }
  // A legend strip in the present colours, kLegendHeight pixels high.
  TCanvas ColorRange(int Width) const;

  // ---- Source Tracks

  // "Add Files...": loads the files the open dialog returned, in order, each
  // with the depth rules of the check boxes. A file that cannot be loaded is
  // reported and the next one follows; an answer to a depth question that is
  // no whole number ends the selection. Nothing is loaded when the
  // extrapolation radius holds no number.
  void AddFiles(const std::vector<std::string>& Paths);
  // "Save Tracks...": all loaded tracks as one GPX file. True when written.
  bool SaveTracks();
  // "Save as HT-File...": the loaded tracks as one HT file.
  HTExportResult SaveAsHTFile();
  // "Fit to Screen", "Zoom In", "Zoom Out" of the Source Tracks map.
  void TrkFit();
  void TrkZoomIn();
  void TrkZoomOut();
  // "Zoom Area" and "Remove Wayoints": the next drag on the Source Tracks
  // map zooms to, or removes the points inside, its rectangle.
  void TrkZoomArea();
  void TrkRemoveWaypoints();

  // ---- map panes (window coordinates are pixels of the pane's picture)

  void MouseDown(TPane pane, int X, int Y);
  void MouseMove(TPane pane, int X, int Y, bool LeftButton);
  // Alt held keeps the armed tool for another drag.
  void MouseUp(TPane pane, int X, int Y, bool Alt);
  // A pane changed size. A resize keeps the scale and the south-west corner.
  void ResizePane(TPane pane, int Width, int Height);
  // The same gestures as one call each: a drag from (X1, Y1) to (X2, Y2)
  // that pans, zooms to its rectangle, or removes the points strictly
  // inside it (Source Tracks only).
  void Pan(TPane pane, int X1, int Y1, int X2, int Y2);
  void ZoomToRectangle(TPane pane, int X1, int Y1, int X2, int Y2);
  void CutRectangle(int X1, int Y1, int X2, int Y2);
  // The mouse wheel over an interactive map: zooms about pixel (X, Y),
  // which keeps showing the same position. Each notch (Notches > 0 in, < 0
  // out; fractions for fine wheels) scales like "Zoom In" or back. The
  // Source Tracks map then gets its mask and information rebuilt, as after
  // a zoom to a dragged rectangle.
  void ZoomAtPoint(TPane pane, int X, int Y, double Notches);
  // The interpolated depth at pixel (X, Y) of the Interpolated Map picture,
  // in metres with one decimal ("12.3 m"); empty outside the coverage or
  // before a run.
  std::string DepthText(int X, int Y) const;

  // ---- Interpolated Map

  // "Apply": the extrapolation radius becomes the band width of the mask.
  bool ApplyInterpolationRadius();
  // The Interpolated Map tab was shown: rebuilds the mask and, before any
  // run, shows the coverage preview.
  void ShowInterpolatedMap();
  // The ShoreLine tab was shown: rebuilds the mask.
  void ShowShoreLine();
  // "Interpolate": starts a run and returns at once; false when refused (with
  // a message, nothing changed). The run ends in PollInterpolation.
  bool StartInterpolation();
  // Delivers what the workers did so far and completes the run when they
  // are done; true when no run is going any more. Never blocks.
  bool PollInterpolation();
  // A whole run, blocking; false when refused or cancelled.
  bool Interpolate();
  // Asks the running interpolation to stop after the columns its workers
  // are in; it then ends as if it had never started: the picture, the depths
  // and the samples of the last completed run stay.
  void CancelInterpolation();
  // "Save Image..." of the Interpolated Map: the path written, or empty.
  std::string SaveInterpolatedImage();

  // ---- ISO Contour and HT Contour

  // "ISO Map": contour lines through the interpolated picture at every
  // step from 0 to its maximum depth. False when refused (no picture, a step
  // that is not a whole number above 0, nothing to trace), nothing changed.
  bool RunIsoMap();
  // "Save Image..." of the ISO Contour tab: the path written, or empty.
  std::string SaveIsoImage();
  // "Save Tracks..." of the ISO Contour tab: the contour lines as GPX, each
  // point with its level as depth. True when written.
  bool SaveIsoTracks();
  // "Create HT-File": the contour lines as HT files.
  HTExportResult CreateHTFile();
  // "Fit to Screen" and "Zoom Area" of the HT Contour map.
  void HtFit();
  void HtZoomArea();

  // ---- the whole window

  // "Start over": empties the source tracks, the interpolated picture and
  // the contours, disables their commands and releases the window size;
  // keeps the settings, the colours and the Source Tracks buttons.
  void StartOver();
  // A colour chosen for a swatch: both maps are redrawn in it. The pictures
  // keep theirs until their next run.
  void SetShallowColor(TColor Color);
  void SetDeepColor(TColor Color);

  // Texts of the slider labels.
  static std::string InterpolateThrdsText(int Position) { return "CPUs for calculation: " + std::to_string(Position); }
  static std::string InterpolatorStyleText(int Position) { return "Interpolator Style: " + std::to_string(Position); }
  // The number of processors the system reports, at least 1.
  static int GetCPUCount();

 private:
  class TRelay;
  class TRunListener;
  class TTracerHost;
  class TBusyGuard;
  class TCommandGuard;
  friend class TRelay;
  friend class TRunListener;
  friend class TTracerHost;
  friend class TBusyGuard;
  friend class TCommandGuard;

  // What the ISO map run needs of the picture it traces: the grid it was
  // made in, its mask, and its colour ramp. Taken when a run completes, so
  // later view changes, mask rebuilds and colour changes cannot skew the
  // contours.
  struct TPictureSource {
    std::shared_ptr<TGPXDraw> Grid;  // projection and size of the picture
    TBooleanArray ShadowArray;
    TColor clShallow = 0;
    TColor clDeep = 0;
    int MaxDepth = 0;
  };

  void Notify(TChange what);
  void SetLabel(TLabel label, const std::string& text);
  void SetProgress(TProgressBar bar, const TProgress& progress);
  void SetButtons(const TButtonStates& buttons);
  void SetCursor(TPane pane, TPaneCursor cursor);
  // Reports the error that ended a command.
  void Report(const std::exception& e);
  // The extrapolation radius, or nothing after a message.
  std::optional<int> InterpolationRadius();

  // Loading.
  bool LoadFile(const std::string& Path, int Radius);
  void RefreshSourceView(int Radius);
  void UpdateMapInfo();
  void UpdateShadowArray();
  void ShowCoveragePreview();

  // Saves of a document as GPX.
  bool SaveDocument(TGPX& Doc, const SaveFileRequest& Request);
  // An HT export as a command: "Create HT-File" disabled while it runs, an
  // error reported.
  HTExportResult RunHTExport(const std::function<HTExportResult()>& Export);

  // Pictures: "Save Image..." of either picture; the path written or empty.
  std::string SavePicture(const TCanvas& Picture);

  // Interpolation: the end of a run, completed or cancelled.
  void EndInterpolation(bool Completed);
  // ISO map.
  void UpdateIsoImage();
  void TraceIsoMap(const TPictureSource& Source, int Step);

  // Panes.
  TGPXDraw* InteractiveView(TPane pane);
  const TGPXDraw& GridOf(TPane pane) const;
  bool PaneActive(TPane pane) const;
  void RedrawPane(TPane pane);
  void ShowCoordinates(TPane pane, int X, int Y);
  void ArmTool(TPane pane, TMouseMode Mode);
  void AfterSourceViewChange();

  Host& fHost;
  std::unique_ptr<TRelay> fRelay;
  std::unique_ptr<TRunListener> fRunListener;
  int fCPUCount = 1;

  TGPX fGPXdata;
  TGPXDraw fGPXView;
  TGPX fIsoData;
  TGPXDraw fIsoView;
  TDepthMap fDepthMap;
  TCanvas fGPXImage;
  TCanvas fIsoImage;
  TCanvas fIsoMap;

  int fMaxDepth = 0;
  bool fFileLoaded = false;
  bool fIsoLoaded = false;
  TColor fShallow = 255;
  TColor fDeep = 16711680;
  double fDecimateLongitude = 0;
  double fDecimateLatitude = 0;
  TMapInfo fMapInfo;
  TButtonStates fButtons;
  std::array<std::string, kLabelCount> fLabels;
  std::array<TProgress, 2> fProgress;
  std::array<int, 4> fPaneWidth{};
  std::array<int, 4> fPaneHeight{};
  TPaneCursor fTrkCursor = TPaneCursor::Move;
  TPaneCursor fHtCursor = TPaneCursor::Default;
  int fBusy = 0;
  int fWindowDisabled = 0;
  int fCommandDepth = 0;
  bool fSizeFrozen = false;
  bool fInterpolatedLegend = false;
  bool fIsoLegend = false;

  // The picture of the last completed run, and the one the contours on the
  // ISO Contour tab were traced from (the pane read-outs convert with them).
  std::shared_ptr<const TPictureSource> fPictureSource;
  std::shared_ptr<const TPictureSource> fIsoSource;
  std::shared_ptr<const TPictureSource> fPendingSource;  // of the run going on
};

}  // namespace sondralis
