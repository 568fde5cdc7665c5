#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contours/ChartTracer.h"
#include "contours/MovingSquares.h"
#include "corrections/LevelEstimate.h"
#include "corrections/LoadCorrections.h"
#include "corrections/Shoreline.h"
#include "exports/MapExport.h"
#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/MapAccuracy.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "session/MapInfo.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

struct TChartContent;

// The contour lines a run traces.
struct TContourSettings {
  int Step = 100;  // centimetres between two levels, 1 or more
  // Contours like a chart: which tracer runs, its ring limit, smoothing and
  // labels, and what the chart picture shows.
  // The tracer; nothing: the chart tracer for a depth map made with the
  // Surface method, the pixel tracer for one made with Shepard's.
  std::optional<TContourTracer> Tracer;
  // Closed rings shorter than this many pixels of perimeter are dropped;
  // nothing: the tracer's own default (ContourMinRing).
  std::optional<double> MinRing;
  int Smooth = 0;            // passes of the smoothing that is safe for a boat; the chart tracer's lines only
  bool Labels = true;        // depth labels on the chart tracer's picture and in its KML
  bool ChartTracks = false;  // the chart picture shows the survey tracks

  bool operator==(const TContourSettings&) const = default;
};

// The tracer a contour run uses on a depth map made with Method.
TContourTracer ContourTracerOf(const TContourSettings& Settings, TInterpolationMethod Method);
// The ring limit of a tracer: the setting, or 0 for the pixel tracer (it
// keeps every ring, as it always did) and kChartMinRing for the chart
// tracer.
double ContourMinRing(const TContourSettings& Settings, TContourTracer Tracer);
// The smoothing passes of the window's check box.
inline constexpr int kSmoothPasses = 3;

// What the last contour run did.
struct TContourRun {
  TContourTracer Tracer = TContourTracer::Pixel;
  int Step = 0;             // centimetres
  std::vector<int> Levels;  // the levels traced, centimetres, ascending
  double MinRing = 0;       // the ring limit it ran with, pixels
  int RingsDropped = 0;     // closed rings shorter than that
  int LabelStep = 0;        // the step its labels are written for; 0 without labels
};

// The HT files of the contours.
struct THTSettings {
  std::string TrackName = "NewTrack";  // shown on the unit; its first 20 characters are kept
  bool ReduceWaypoints = false;        // thin the contours until they fit one file

  bool operator==(const THTSettings&) const = default;
};

// The corrections of the readings while files are loaded (the shoreline's
// depth and the soundings outside it are the interpolation's: ShoreDepth,
// KeepOutside). All off by default: the files load as read.
struct TCorrectionSettings {
  bool DepthFromElevation = false;  // a GPX file without depth takes -ele x 100 as its depths
  bool Despike = false;             // spikes out of the readings (TDespikeOptions' defaults)
  double TransducerCm = 0;          // the transducer's depth, added to every reading
  // The water level by hand: added to the readings of the file loaded from
  // this path.
  std::map<std::string, double> LevelsCm;
  // Or the level at each reading's time from a gauge, relative to the datum
  // (the table's lowest level when not given); a file it cannot correct
  // whole is not loaded.
  std::optional<TLevelTable> LevelTable;
  std::optional<double> DatumCm;
  // The file the table was read from, when it came from one: a project
  // file names it.
  std::string LevelTablePath;
  // The level of each session of a batch of files estimated where the
  // tracks of different sessions cross, against everything loaded (the
  // first session fixed), and applied when the batch ends (FinishLoading).
  bool AutoLevel = false;

  bool operator==(const TCorrectionSettings&) const = default;
};

// Every setting of a depth map, as typed values. A new setting is a new
// field of the struct of the step it belongs to (a method and a tolerance
// of the interpolation, a tracer and its options for the contours, ...).
struct TProjectSettings {
  TInterpolationSettings Interpolation;
  TContourSettings Contours;
  THTSettings HT;
  TCorrectionSettings Corrections;

  bool operator==(const TProjectSettings&) const = default;
};

// The corrections one file was loaded with (the settings' when it was
// loaded: batches may differ) and the water levels applied to its readings
// since, so that it loads the same again from a project file.
struct TInputCorrections {
  bool DepthFromElevation = false;
  bool Despike = false;
  double TransducerCm = 0;
  std::optional<double> LevelCm;  // the level given for it by hand
  // Corrected by a gauge table: the file it was read from (empty when not
  // known) and the datum.
  bool Gauge = false;
  std::string GaugeTable;
  std::optional<double> DatumCm;
  // The levels estimated where tracks cross and applied afterwards, by the
  // name of the session they were applied to ("lake.gpx 2026-06-14"), in
  // the order they were applied (added one after the other, as then, they
  // give the same readings to the last bit).
  std::map<std::string, std::vector<double>> SessionLevelsCm;

  bool operator==(const TInputCorrections&) const = default;
};

// A file loaded into the project and the rule it was loaded with, in load
// order, with the tracks it brought and what the corrections did to them.
struct TProjectInput {
  std::string Path;
  TDepthRule Rule;
  int FirstTrack = 0;  // its tracks in GPXdata: FirstTrack to FirstTrack + Tracks - 1
  int Tracks = 0;
  TCorrectionResult Corrections;
  // The corrections it was loaded with; nothing for an input of a project
  // file that does not say (it loads with the settings' corrections).
  std::optional<TInputCorrections> Applied;
};

// The water levels of the loaded files' sessions, estimated where their
// tracks cross (TProject::EstimateLevels): the estimate of every session in
// load order, and the input each session belongs to.
struct TProjectLevels {
  TLevelEstimate Estimate;
  std::vector<int> Inputs;  // index into TProject::Inputs(), one per session
};

// What loading told since the start or the last StartOver, for the
// summaries: every line is also logged when it happens.
struct TLoadSummary {
  // The corrections' notes and the estimated levels, in the order they
  // were made: "lake.gpx: 143 spikes removed of 14299 readings".
  std::vector<std::string> Corrections;
  // GPX files without depth readings loaded as shorelines:
  // "lake.gpx: no depth readings; loaded as a shoreline".
  std::vector<std::string> Shorelines;
  // The readings against the shoreline, as counted when the last batch of
  // files ended, and the line that says so (empty when none is outside).
  TOutsideCount Outside;
  std::string OutsideNote;
};

// The application's state and the operations on it: the source tracks and
// their map view, the coverage mask, the interpolated depth map, the contour
// lines and their map view, the colours and the settings. sondralis-cli
// drives a project directly; the window drives one through its session
// (TSession), which adds the questions, labels, buttons and progress bars.
//
// Every operation takes what it needs as typed values, reports through a
// feedback object and never asks anything. Operations that cannot work throw
// an exception whose message a user can read (ERunRefused for a run,
// EExportError, EFileError, EHTConvertError for files); a long operation
// whose feedback is cancelled throws TCanceled and leaves what it was to
// replace as it was.
//
// Everything runs on the thread that created the project, except the
// interpolation workers: while a run goes (InterpolationRunning) the
// documents, views and mask must not change.
class TProject {
 public:
  // The Source Tracks map of the window at its start size, until
  // SetMapSize says otherwise.
  static constexpr int kDefaultMapWidth = 815;
  static constexpr int kDefaultMapHeight = 649;
  // The corner of the contour picture the window's legend covers ("0 m",
  // the colour strip, the greatest depth): the chart tracer's labels keep
  // clear of it.
  static constexpr int kContourLegendWidth = 280;
  static constexpr int kContourLegendHeight = 24;

  // CPUCount 0 asks the system; the interpolation's workers start at it.
  explicit TProject(int CPUCount = 0);
  TProject(const TProject&) = delete;
  TProject& operator=(const TProject&) = delete;
  ~TProject();

  TProjectSettings Settings;

  // Whether a load draws the Source Tracks map and the coverage mask. A
  // front end that only converts or exports the files it loads turns it
  // off: for a big recording the drawing costs a good part of the load.
  bool DrawMaps = true;

  // How often the HT Contour map shows the contours while they are traced.
  // Redrawing it costs as much as all the contours so far, so redrawing
  // after every level makes a run grow with the square of its levels.
  // Negative: only once, when the run is complete (nobody watches it, as in
  // sondralis-cli); otherwise at most once per interval, for a window.
  std::chrono::milliseconds ContourShowInterval{-1};

  // ---- state

  TGPX& GPXdata() noexcept { return fGPXdata; }
  const TGPX& GPXdata() const noexcept { return fGPXdata; }
  TGPXDraw& GPXView() noexcept { return fGPXView; }
  const TGPXDraw& GPXView() const noexcept { return fGPXView; }
  TGPX& IsoData() noexcept { return fIsoData; }
  const TGPX& IsoData() const noexcept { return fIsoData; }
  TGPXDraw& IsoView() noexcept { return fIsoView; }
  const TGPXDraw& IsoView() const noexcept { return fIsoView; }
  // The coverage mask, the samples, the shoreline mask and the last run.
  const TDepthMap& DepthMap() const noexcept { return fDepthMap; }
  // The pictures: the Source Tracks map, the depth picture of the last run,
  // the contour picture, the HT Contour map and the shoreline mask.
  const TCanvas& GPXImage() const noexcept { return fGPXImage; }
  const TCanvas& InterpolatedImage() const noexcept { return fDepthMap.InterpolatedImage; }
  const TCanvas& IsoMap() const noexcept { return fIsoMap; }
  const TCanvas& IsoImage() const noexcept { return fIsoImage; }
  const TCanvas& ShoreLine() const noexcept { return fDepthMap.ShoreLine; }

  // The files loaded since the start or the last StartOver.
  const std::vector<TProjectInput>& Inputs() const noexcept { return fInputs; }
  // What loading told about the corrections, the shorelines and the
  // soundings outside them.
  const TLoadSummary& LoadSummary() const noexcept { return fLoadSummary; }
  int MaxDepth() const noexcept { return fMaxDepth; }
  bool FileLoaded() const noexcept { return fFileLoaded; }
  // Tracks that can be interpolated were loaded: a GPX file, or a KML file
  // given a depth.
  bool Interpolable() const noexcept { return fInterpolable; }
  bool InterpLoaded() const noexcept { return fDepthMap.InterpLoaded; }
  bool InterpolationRunning() const noexcept { return fDepthMap.Running(); }
  // A contour run has completed since the start or the last StartOver.
  bool ContoursTraced() const noexcept { return fContoursTraced; }
  // The contours are the chart tracer's, whose lines never meet.
  bool ContoursApart() const noexcept { return fContoursTraced && fContourRun.Tracer == TContourTracer::Chart; }
  // What the last completed contour run did.
  const TContourRun& ContourRun() const noexcept { return fContourRun; }
  // The HT Contour view shows the contours.
  bool IsoLoaded() const noexcept { return fIsoLoaded; }
  TColor clShallowWater() const noexcept { return fShallow; }
  TColor clDeepWater() const noexcept { return fDeep; }
  double DecimateLongitude() const noexcept { return fDecimateLongitude; }
  double DecimateLatitude() const noexcept { return fDecimateLatitude; }
  const TMapInfo& MapInfo() const noexcept { return fMapInfo; }
  int CPUCount() const noexcept { return fCPUCount; }
  // The number of processors the system reports, at least 1.
  static int GetCPUCount();

  // The grid a picture was made in: the run's for the depth picture, the
  // traced run's for the contour picture, the Source Tracks view before a
  // run.
  const TGPXDraw& DepthPictureGrid() const;
  const TGPXDraw& ContourPictureGrid() const;

  // ---- loading

  // Reads a file with its depth rule, corrects its readings as
  // Settings.Corrections says and appends its tracks; the map is refitted
  // and redrawn, the mask and the information rebuilt. Result.Error says
  // why a file was not loaded (nothing changed then); Result.Notes what the
  // corrections did, each note also logged. Files added one after another
  // form a batch, which FinishLoading ends.
  SourceLoadResult AddFile(const std::string& Path, const TDepthRule& Rule, TFeedback& Feedback);
  // The same in two steps, for a front end that asks for the rule's values
  // once it knows the file: ReadFile, then this.
  bool ReadFile(const std::string& Path, TSourceFile& File, TFeedback& Feedback) const;
  SourceLoadResult AddFile(TSourceFile& File, const TDepthRule& Rule, TFeedback& Feedback);
  // Applies levels to the sessions of an input as a project file keeps
  // them (TInputCorrections::SessionLevelsCm), and keeps them with it;
  // sessions it does not have are passed over. The readings changed.
  long long ApplyInputLevels(int Input, const std::map<std::string, std::vector<double>>& LevelsCm);
  // Ends a batch of files: with AutoLevel the levels of the batch's
  // sessions are estimated against everything loaded and applied, then the
  // soundings outside the shoreline are counted (shorelines may come later
  // than the survey). Returns the lines it told, each also logged and kept
  // in LoadSummary. Throws TCanceled, leaving the readings as they were.
  std::vector<std::string> FinishLoading(TFeedback& Feedback);

  // ---- water levels of the loaded sessions

  // Estimates the level of every session of the loaded files (each file, or
  // each day of a file whose points carry times) where their tracks cross,
  // the first session fixed at 0. Changes nothing; TCanceled.
  TProjectLevels EstimateLevels(TFeedback& Feedback);
  // Adds each estimated session's offset to its readings (the sessions as
  // they are now, matched by input and name), then refits and redraws the
  // map. Returns the number of readings changed.
  long long ApplyLevels(const TProjectLevels& Levels);

  // ---- the Source Tracks map

  // The size of the Source Tracks picture, which is the grid of the depth
  // map. A resize keeps the scale and the south-west corner.
  void SetMapSize(int Width, int Height);
  // The size of the HT Contour picture.
  void SetContourMapSize(int Width, int Height);
  // The size SetMapSize gave (the start size before).
  int MapWidth() const noexcept { return fMapWidth; }
  int MapHeight() const noexcept { return fMapHeight; }
  // "Fit to Screen", "Zoom In", "Zoom Out": the view changes, is redrawn,
  // and the information is recomputed.
  void Fit();
  void ZoomIn();
  void ZoomOut();
  // Rebuilds the mask and the information after the view was changed (a
  // zoom to a rectangle, a pan, the wheel).
  void SourceViewChanged();
  // Redraws the Source Tracks map, or the HT Contour map.
  void RedrawSource();
  void RedrawContours();
  // The band width of the mask: the next redraw uses it; the map is redrawn
  // and the mask rebuilt.
  void ApplyRadius(int Radius);
  // Rebuilds the coverage mask from the map as last drawn.
  void UpdateMask();
  // The Interpolated Map before any run shows the coverage band under the
  // tracks; after a run its picture stays. True when the picture changed.
  bool ShowCoveragePreview();

  // ---- interpolation

  // Starts a run with Settings.Interpolation; returns at once (false when
  // nothing is loaded). Throws ERunRefused before anything changes. The
  // feedback and listener must outlive the run. The run ends in
  // PollInterpolation or WaitInterpolation.
  bool StartInterpolation(TFeedback& Feedback, TInterpolationListener* Listener = nullptr);
  // Delivers what the workers did; true when no run is going any more.
  // Never blocks. Throws TCanceled when the run has just ended cancelled,
  // ERunRefused when it ended without a map (a surface that could not be
  // fitted); the last completed run stays either way.
  bool PollInterpolation();
  // Blocks until the run has ended; throws TCanceled, ERunRefused.
  void WaitInterpolation();
  // A whole run, blocking: false when nothing is loaded; ERunRefused, TCanceled.
  bool Interpolate(TFeedback& Feedback);

  // ---- accuracy

  // How good the map a run with Settings.Interpolation would make now is,
  // by the hold-out with Folds folds, for each method asked (Shepard at the
  // settings' style and tolerance): CheckAccuracy of
  // interpolation/MapAccuracy.h. Changes nothing of the project. Throws
  // ERunRefused (nothing loaded, a run going, too few soundings), TCanceled.
  TAccuracy CheckAccuracy(const std::vector<TInterpolationMethod>& Methods, int Folds, TFeedback& Feedback);
  // The same check as an operation another thread may run: refused now
  // (ERunRefused) or taken with the settings of now. It reads the Source
  // Tracks view and its tracks (and writes the view's shadow map), so
  // until it has ended nothing may change them or run another operation.
  std::function<TAccuracy(TFeedback&)> AccuracyCheck(const std::vector<TInterpolationMethod>& Methods, int Folds);

  // ---- contours

  // Why TraceContours would refuse now, or empty when it would run.
  std::string ContoursRefusal() const;
  // Traces the contour lines of the last completed run into IsoData and
  // onto the contour picture, with the tracer of ContourTracerOf: the pixel
  // tracer at every Settings.Contours.Step from 0 to the run's greatest
  // depth, refitting and redrawing the HT Contour map when the run is complete
  // and, as ContourShowInterval says, while it runs, each time calling
  // LevelDone with the level just traced; the chart tracer at every step from one step to the
  // greatest depth (ChartLevels), its lines labelled on the picture, then
  // the map and LevelDone once. Throws ERunRefused, before anything
  // changes, without a run, with a step below 1 or a run without depth;
  // TCanceled, and any other failure, leave the previous contours, their
  // picture and their map as they were.
  void TraceContours(TFeedback& Feedback, const std::function<void(int Level)>& LevelDone = {});

  // ---- the chart

  // Makes the chart of the last completed run (chart.png, "Save Chart..."):
  // its depths, the chart tracer's lines (those of the last contour run when
  // the chart tracer made them from this run, else traced now with
  // Settings.Contours), the shoreline, the title from the loaded files. It
  // stays the chart of Results until the next run or StartOver. Throws
  // ERunRefused as TraceContours does, and TCanceled.
  const TChartContent& PrepareChart(TFeedback& Feedback);
  // The width of the chart picture: twice the map's, at least 1200 pixels.
  int ChartWidth() const;

  // ---- outputs

  // What the exports write from: the documents, the pictures, and the
  // depths, grid and samples of the last completed run.
  TMapResults Results();
  // The export step (TMapExport) with these results.
  TExportResult Export(const TExportRequest& Request, TFeedback& Feedback);
  // The same step as an operation another thread may run, with the results
  // of now: the run, the chart and copies of the pictures are its own, so
  // the window may paint its pictures meanwhile; the loaded tracks and the
  // contour lines are read where they are, so until it has ended nothing
  // may change them (no load, run or contour run).
  std::function<TExportResult(TFeedback&)> ExportStep(const TExportRequest& Request);

  // ---- the whole project

  // Empties the source tracks, the interpolated map and the contours; keeps
  // the settings and the colours. A running interpolation is abandoned.
  void StartOver();
  // A depth colour: both maps are redrawn in it; the pictures keep theirs
  // until their next run.
  void SetShallowColor(TColor Color);
  void SetDeepColor(TColor Color);

 private:
  // What the contours and the exports need of a completed run: the grid it
  // was made in, its mask, its colour ramp, its depths and samples. Taken
  // when the run completes, so later view changes, mask rebuilds and colour
  // changes cannot skew them.
  struct TRunResult {
    std::shared_ptr<TGPXDraw> Grid;  // projection and size of the picture
    TBooleanArray ShadowArray;
    TDepthArray DepthArray;
    TPointList Coord;
    TValueList Depth;
    TColor clShallow = 0;
    TColor clDeep = 0;
    int MaxDepth = 0;
    int ShoreSamples = 0;  // the samples before the track points: the shoreline's
    TInterpolationMethod Method = TInterpolationMethod::Shepard;
  };
  // A chart and what it refers to.
  struct TChart;

  // The settings and inputs a run takes now.
  TInterpolationSettings RunSettings() const;
  TRunInput RunInput() const;
  void RefreshSourceView();
  void UpdateMapInfo();
  // The sessions of the loaded inputs, in load order, with their inputs.
  std::vector<TSurveySession> LoadedSessions(std::vector<int>& Inputs);
  // Notes a level applied to a session of an input.
  void KeepLevel(int Input, const std::string& Session, double OffsetCm);
  // Why no pixel is covered, as far as the loaded files tell.
  std::string NoWaterCause() const;
  void ShowContours();
  void EndInterpolation();
  TChartContours TraceChart(const TRunResult& Run, const TContourSettings& Settings, TFeedback& Feedback) const;

  int fCPUCount = 1;
  TGPX fGPXdata;
  TGPXDraw fGPXView;
  TGPX fIsoData;
  TGPXDraw fIsoView;
  TDepthMap fDepthMap;
  TCanvas fGPXImage;
  TCanvas fIsoImage;
  TCanvas fIsoMap;
  std::vector<TProjectInput> fInputs;
  std::size_t fBatchStart = 0;  // the first input of the batch FinishLoading ends
  TLoadSummary fLoadSummary;

  int fMaxDepth = 0;
  bool fFileLoaded = false;
  bool fInterpolable = false;
  bool fContoursTraced = false;
  bool fIsoLoaded = false;
  TColor fShallow = clRed;
  TColor fDeep = clBlue;
  double fDecimateLongitude = 0;
  double fDecimateLatitude = 0;
  TMapInfo fMapInfo;
  int fMapWidth = kDefaultMapWidth, fMapHeight = kDefaultMapHeight;
  int fContourMapWidth = kDefaultMapWidth, fContourMapHeight = kDefaultMapHeight;

  // The last completed run, the run the contours were traced from, and the
  // run going on.
  std::shared_ptr<const TRunResult> fRun;
  std::shared_ptr<const TRunResult> fTracedRun;
  std::shared_ptr<TRunResult> fPendingRun;
  int fTracedStep = 0;  // the step of the contours traced
  // The last contour run, the chart tracer's lines when it made them, and
  // the chart.
  TContourRun fContourRun;
  std::shared_ptr<const std::vector<TChartLine>> fChartLines;
  std::shared_ptr<const TChart> fChart;
};

}  // namespace sondralis
