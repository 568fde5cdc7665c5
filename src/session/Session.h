#pragma once

#include <array>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/FrontEnd.h"
#include "session/HTDialogs.h"
#include "session/Project.h"
#include "session/ProjectFile.h"
#include "session/SessionState.h"
#include "session/WorkerRun.h"

namespace sondralis {

// The window's model beside the project: the commands of the window, one
// method each, with their questions and messages; the fields' texts; and
// what the window shows of the state that is not the project's: the labels
// commands set, the progress bars, the busy state, which commands are
// enabled (Buttons, derived from the project in one place), the legends,
// the cursors of the map panes and the frozen window size.
//
// Questions go to TSessionQuestions as typed calls; what changed goes to
// TSessionDisplay, and the front end reads the new state from the session
// and its project. Every command restores the busy state it changed however
// it ends; an error that ends a command is shown with ShowError and the
// session stays usable.
//
// Everything runs on the thread that created the session, except the
// interpolation workers and the worker thread of a check, an export or the
// reading of files. While one of them runs the window is disabled
// (WindowEnabled() is false) and every command and mouse event is ignored,
// so nothing changes what they read; a front end calls Poll when
// TSessionDisplay::WakeUp asks for it, or the blocking command (Interpolate,
// CheckAccuracy, ExportMap) to run to the end. A command that lets pending window
// events run (loading, the ISO map run, the HT export) is not re-entered:
// commands arriving meanwhile are ignored (CommandRunning() tells).
class TSession {
 public:
  // Pane size until the front end reports the real one with ResizePane: the
  // Source Tracks map of the window at its start size.
  static constexpr int kDefaultPaneWidth = TProject::kDefaultMapWidth;
  static constexpr int kDefaultPaneHeight = TProject::kDefaultMapHeight;
  // The legend strips: the Source Tracks one, and the Interpolated Map and
  // ISO Contour ones.
  static constexpr int kSourceLegendWidth = 122;
  static constexpr int kLegendWidth = 162;
  static constexpr int kLegendHeight = 14;

  // The file-open dialog of "Add Files...".
  static constexpr const char* kAddFilesFilter = "GPX, KML or soundings files|*.gpx;*.kml;*.csv;*.xyz";
  // The file-open dialog of the gauge table.
  static constexpr const char* kLevelTableFilter = "Gauge tables (time,level_cm)|*.csv;*.txt";
  // The dialogs of Open Project... and Save Project....
  static constexpr const char* kProjectFilter = "Sondralis project|*.sondralis";

  // Logs the processor count (" CPUs found") and sets the worker count to it.
  // CPUCount 0 asks the system.
  TSession(TSessionQuestions& Questions, TSessionDisplay& Display, int CPUCount = 0);
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  ~TSession();

  // The window's fields; read by the commands when they run.
  TSessionSettings Settings;

  // The application's state.
  TProject& Project() noexcept { return fProject; }
  const TProject& Project() const noexcept { return fProject; }

  // ---- what the window shows beside the project

  // Which commands are enabled, from the project's state and the command
  // running now.
  TButtonStates Buttons() const;
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
  bool InterpolationRunning() const noexcept { return fProject.InterpolationRunning(); }
  // A command is going: one that lets the window's events run, or one whose
  // work runs on a worker thread (a check, an export).
  bool CommandRunning() const noexcept { return fCommandDepth > 0 || fWorker != nullptr; }
  // A command may start now: the window is enabled and nothing runs.
  bool CanStartCommand() const noexcept { return WindowEnabled() && !CommandRunning() && !InterpolationRunning(); }
  // A legend strip in the present colours, kLegendHeight pixels high.
  TCanvas ColorRange(int Width) const;

  // ---- the status bar

  // A long run that Cancel stops is going: reading files, an
  // interpolation, an ISO map run, an HT export, a check or an export.
  bool Cancellable() const noexcept;
  // What that run does ("Reading files", "Interpolating", "Tracing
  // contours", "Writing HT files", ...) and how far it is (Max 0: no
  // measure of it).
  std::string RunningText() const;
  TProgress RunningProgress() const;
  // The method, tolerance and time of the last completed interpolation
  // ("Shepard, tolerance 0 cm: 1.62 s"), empty before the first.
  std::string LastRunText() const;
  // The position under pixel (X, Y) of a pane in degrees and minutes
  // ("47° 12.345' N, 8° 30.120' E"), and the interpolated depth there
  // ("12.3 m", empty off the covered water or before a run); both empty
  // when the pane shows nothing.
  std::string PositionText(TPane pane, int X, int Y) const;
  std::string DepthTextAt(TPane pane, int X, int Y) const;

  // ---- Source Tracks

  // "Add Files...": the open dialog, then the files it returned are read on
  // a worker thread while the front end's events run (Cancel then loads
  // nothing of them: "Reading files" in the status bar), then added in order,
  // each with the depth rules of the check boxes and the corrections of the
  // fields (each logged with its counts); then, with AutoLevel, the levels
  // of the selection's sessions estimated against everything loaded, and
  // the soundings outside the shoreline counted. A file that cannot be
  // loaded is reported and the next one follows; an answer to a depth
  // question that is no whole number ends the selection. Nothing is loaded
  // when the extrapolation radius, the transducer depth or the gauge
  // datum holds no number, or the gauge table cannot be read.
  void AddFiles();
  // The same without the dialog (files dropped on the window).
  void AddFiles(const std::vector<std::string>& Paths);
  // "Gauge table...": the open dialog, then the table it returned is read
  // and, when it can be, becomes Settings.LevelTable (logged with its
  // levels and times); a table that cannot be read is shown and changes
  // nothing. Each later "Add Files..." corrects its readings by it.
  bool ChooseLevelTable();
  // The water levels of the loaded files' sessions, estimated where their
  // tracks cross, for the corrections dialog: logged and kept in
  // LevelEstimate(), nothing changed. False when cancelled or nothing is
  // loaded.
  bool EstimateLevels();
  const std::optional<TProjectLevels>& LevelEstimate() const noexcept { return fLevelEstimate; }
  // Applies the kept estimate to the readings (once: the estimate is then
  // dropped) and redraws the map. The readings changed.
  long long ApplyLevelEstimate();
  // "Save Tracks...": all loaded tracks as one GPX file. True when written.
  bool SaveTracks();
  // "Save as HT-File...": the loaded tracks as one HT file. What was written
  // other than asked (a track name the unit cannot show) is shown as
  // information, as for "Create HT-File".
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
  // "Save Image..." of the Interpolated Map: the path written, or empty.
  std::string SaveInterpolatedImage();
  // The "Interpolator Style" slider applies: the method chosen is Shepard's.
  bool StyleApplies() const noexcept { return Settings.InterpolationMethod == TInterpolationMethod::Shepard; }
  // "Check accuracy": how close the map "Interpolate" would make now comes to
  // soundings it was made without (CheckAccuracy with kAccuracyFolds folds),
  // for Shepard at the slider's style and for the surface method. The
  // figures, one line per method, go to the log and are shown as
  // information, and stay in AccuracyText. False when refused (with a
  // message) or cancelled; the project does not change either way.
  bool CheckAccuracy();
  // The same as the window runs it: the check goes on a worker thread and
  // this returns at once, false when refused (with a message). The window
  // is held still as for an interpolation, Cancel shown; the run ends in
  // Poll, which shows the figures.
  bool StartCheckAccuracy();
  const std::string& AccuracyText() const noexcept { return fAccuracyText; }
  static constexpr int kAccuracyFolds = 5;

  // ---- ISO Contour and HT Contour

  // "ISO Map": contour lines through the interpolated picture at every
  // step from 0 to its maximum depth. False when refused (no picture, a step
  // that is not a whole number above 0, nothing to trace) or cancelled;
  // then the contours stay as they were.
  bool RunIsoMap();
  // "Save Image..." of the ISO Contour tab: the path written, or empty.
  std::string SaveIsoImage();
  // "Save Tracks..." of the ISO Contour tab: the contour lines as GPX, each
  // point with its level as depth. True when written.
  bool SaveIsoTracks();
  // "Save Chart...": the chart of the interpolated map as a PNG picture
  // (TProject::PrepareChart), with the contour settings of the ISO Contour
  // tab. The path written, or empty.
  std::string SaveChart();
  // "Create HT-File": the contour lines as HT files.
  HTExportResult CreateHTFile();
  // "Export..." of the Interpolated Map and ISO Contour tabs: the chosen
  // exports for other programs (and the pictures' relief and safety depth)
  // into a folder the user picks, all of them or, when anything fails,
  // none. Asks before files of an earlier export are replaced, and shows
  // what each file holds when done. Refused with a message before any
  // question without a depth map, or for the contour files before an "ISO
  // Map" run. The folder written into, or empty.
  std::string ExportMap(const TExportChoice& Choice);
  // The same as the window runs it: the questions are asked here, then the
  // files are written on a worker thread and this returns at once, false
  // when refused or answered with Cancel. The run ends in Poll, which shows
  // what was written; ExportedFolder then names the folder (empty when
  // cancelled or failed).
  bool StartExportMap(const TExportChoice& Choice);
  const std::string& ExportedFolder() const noexcept { return fExportedFolder; }

  // ---- runs on worker threads

  // Delivers what the workers of the run going on did so far (an
  // interpolation's, a check's or an export's) and ends the run when they
  // are done; true when no run is going any more. Never blocks. A front
  // end calls it when TSessionDisplay::WakeUp asks.
  bool Poll();

  // "Fit to Screen" and "Zoom Area" of the HT Contour map.
  void HtFit();
  void HtZoomArea();

  // ---- project files

  // Save Project...: the save dialog, then the project file with the loaded
  // files, their rules and the settings of the fields. The path written, or
  // empty (cancelled, refused with a message).
  std::string SaveProject();
  std::string SaveProject(const std::string& Path);
  // Open Project...: the open dialog, then OpenProject(path).
  bool OpenProject();
  // Reads the project's files on a worker thread ("Reading files", Cancel
  // in the status bar: then nothing changes), then starts over with the
  // project's settings and colours (the fields show them) and loads its
  // files with their rules and corrections, asking nothing. The files
  // that are missing are named in one warning and the rest load. False when
  // the file is no project (with a message), the reading was cancelled or
  // the window is busy.
  bool OpenProject(const std::string& Path);
  // The project file last opened or saved, empty after "Start over".
  const std::string& ProjectPath() const noexcept { return fProjectPath; }

  // ---- the whole window

  // The settings of the fields, the colours and the project's settings as
  // they are at the start; the worker count stays.
  void ResetSettings();
  // Asks the long command that runs now (an interpolation, an ISO map run,
  // an HT reduction) to stop at its next step. It then ends as if it had
  // not started: the pictures, depths and contours it was to replace stay.
  void Cancel();
  // "Start over": empties the source tracks, the interpolated picture and
  // the contours, disables their commands and releases the window size;
  // keeps the settings, the colours and the Source Tracks buttons.
  void StartOver();
  // The fields, colours and settings of the project file given (opening it
  // sets them); the fields show them after TChange::Settings.
  void ApplyProjectSettings(const TProjectFile& File);
  // A click on a colour swatch: the colour dialog, then both maps are
  // redrawn in the chosen colour. The pictures keep theirs until their next
  // run.
  void ChooseShallowColor();
  void ChooseDeepColor();
  // A colour chosen for a swatch.
  void SetShallowColor(TColor Color);
  void SetDeepColor(TColor Color);

  // Texts of the slider labels.
  static std::string InterpolateThrdsText(int Position) { return "CPUs for calculation: " + std::to_string(Position); }
  static std::string InterpolatorStyleText(int Position) { return "Interpolator Style: " + std::to_string(Position); }

 private:
  class TCommandFeedback;
  class TBusyGuard;
  class TCommandGuard;
  friend class TCommandFeedback;
  friend class TBusyGuard;
  friend class TCommandGuard;

  // The long command running now, as far as the buttons care.
  enum class TRunning { Nothing, Loading, IsoMap, HTExport, Accuracy, Export };
  void SetRunning(TRunning Running);
  // What "Start over" empties and resets, for it and for opening a project.
  void ClearMaps();

  void Notify(TChange what);
  void SetLabel(TLabel label, const std::string& text);
  void SetProgress(TProgressBar bar, const TProgress& progress);
  // The buttons may have changed.
  void ButtonsChanged();
  void SetCursor(TPane pane, TPaneCursor cursor);
  // Reports the error that ended a command.
  void Report(const std::exception& e);
  // The settings of the window's fields as the project's typed settings, or
  // nothing after a message.
  std::optional<int> InterpolationRadius();
  void ReadSettings();
  // The fields of the corrections (loading) and of the shoreline (runs) as
  // the project's settings; false after a message about a field that holds
  // no usable value.
  bool ReadCorrections();
  bool ReadShoreSettings();
  // The ISO Contour tab's fields as the project's contour settings; false
  // after a message.
  bool ReadContourSettings();

  // Loading.
  // With a rule the file is loaded with it; without one the check boxes
  // say which questions to ask.
  bool LoadFile(TSourceFile& File, const std::optional<TDepthRule>& Rule = std::nullopt);
  void AfterSourceChange();

  // Saves through the export step, after the dialogs; the path written or
  // empty.
  std::string SaveOutput(TOutput What, const TCanvas* Picture, const SaveFileRequest& Request);
  // An HT export as a command: "Create HT-File" disabled while it runs, an
  // error reported.
  HTExportResult RunHTExport(const std::function<HTExportResult()>& Export);

  // Interpolation.
  void EndInterpolation(bool Completed);

  // A command whose work runs on a worker thread: the window held still as
  // for an interpolation and Running shown until End has run, on this
  // thread, with what the work threw (null when it completed). The work's
  // progress goes to Bar, or to the status bar only. False, after a
  // message, when no thread could be had.
  bool StartWorker(TRunning Running, std::optional<TProgressBar> Bar, TWorkerRun::TWork Work,
                   std::function<void(std::exception_ptr Thrown)> End);
  // Delivers the worker's reports and ends the run when it is over; true
  // when no worker run is going any more.
  bool PollWorker();
  // Blocks until the worker run has ended, delivering its reports and
  // letting the front end's events run meanwhile.
  void WaitWorker();
  void DeliverWorkerReports();

  // Panes.
  TGPXDraw* InteractiveView(TPane pane);
  const TGPXDraw& GridOf(TPane pane) const;
  bool PaneActive(TPane pane) const;
  void RedrawPane(TPane pane);
  void ShowCoordinates(TPane pane, int X, int Y);
  void ArmTool(TPane pane, TMouseMode Mode);
  void AfterSourceViewChange();
  void UpdateMask();

  TSessionQuestions& fQuestions;
  TSessionDisplay& fDisplay;
  TProject fProject;
  // What the long commands report: the interpolation's workers, the
  // contour tracer, and the rest (loading, HT exports).
  std::unique_ptr<TCommandFeedback> fRunFeedback;
  std::unique_ptr<TCommandFeedback> fTraceFeedback;
  std::unique_ptr<TCommandFeedback> fFeedback;

  TButtonStates fShownButtons;  // the buttons as last notified
  bool fAnyFileLoaded = false;  // the Source Tracks buttons, enabled by the first load
  bool fHtZoomDown = false;     // "Zoom Area" of the HT Contour map shown pressed
  TRunning fRunning = TRunning::Nothing;
  std::array<std::string, kLabelCount> fLabels;
  std::array<TProgress, 2> fProgress;
  TPaneCursor fTrkCursor = TPaneCursor::Move;
  TPaneCursor fHtCursor = TPaneCursor::Default;
  int fBusy = 0;
  int fWindowDisabled = 0;
  int fCommandDepth = 0;
  bool fSizeFrozen = false;
  bool fInterpolatedLegend = false;
  bool fIsoLegend = false;
  std::string fProjectPath;
  bool fPointsRemoved = false;  // "Remove Wayoints" took points out since the files were loaded
  // The last completed interpolation, and when the one going on started.
  struct TRunSummary {
    TInterpolationMethod Method = TInterpolationMethod::Shepard;
    double Tolerance = 0;
    double Seconds = 0;
  };
  std::optional<TRunSummary> fLastRun;
  TRunSummary fRunStarting;
  std::chrono::steady_clock::time_point fRunStartedAt;
  std::string fAccuracyText;
  std::optional<TProjectLevels> fLevelEstimate;
  std::string fExportedFolder;
  // The worker run going on, how it ends and its progress (for a run
  // without a progress bar of its own); fWorkerSucceeded: the last one
  // completed.
  std::unique_ptr<TWorkerRun> fWorker;
  std::optional<TProgressBar> fWorkerBar;
  std::function<void(std::exception_ptr)> fWorkerEnd;
  TProgress fWorkerProgress;
  bool fWorkerSucceeded = false;
};

}  // namespace sondralis
