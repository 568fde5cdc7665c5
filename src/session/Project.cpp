#include "session/Project.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <thread>
#include <utility>

#include "contours/ChartPicture.h"
#include "corrections/SurveySessions.h"
#include "exports/ChartPainter.h"
#include "interpolation/SampleGrid.h"

namespace sondralis {

TContourTracer ContourTracerOf(const TContourSettings& Settings, TInterpolationMethod Method) {
  if (Settings.Tracer) return *Settings.Tracer;
  return Method == TInterpolationMethod::Surface ? TContourTracer::Chart : TContourTracer::Pixel;
}

double ContourMinRing(const TContourSettings& Settings, TContourTracer Tracer) {
  if (Settings.MinRing) return std::max(0.0, *Settings.MinRing);
  return Tracer == TContourTracer::Chart ? kChartMinRing : 0;
}

namespace {

std::shared_ptr<TGPXDraw> CopyGrid(const TGPXDraw& View) {
  auto grid = std::make_shared<TGPXDraw>();
  grid->BBox = View.BBox;
  grid->Resize(View.Width(), View.Height());
  return grid;
}

// Files are named by their names alone in the notes and the sessions: "lake.gpx".
std::string FileNameOf(const std::string& Path) { return std::filesystem::path(Path).filename().string(); }

}  // namespace

struct TProject::TChart {
  std::shared_ptr<const TRunResult> Run;
  TPixelCoordinates Grid;
  std::vector<TChartLine> Lines;
  TChartContent Content;
};

// ---------------------------------------------------------------- life

TProject::TProject(int CPUCount) : fCPUCount(CPUCount > 0 ? CPUCount : GetCPUCount()) {
  fMapInfo.SourceLegendText = "click to set color";

  fGPXView.TrackWidth = 3;
  fGPXView.Options.BackGroundColor = clWhite;
  fGPXView.DepthColorShallow = fShallow;
  fGPXView.DepthColorDeep = fDeep;
  fGPXView.ShadowMapEnabled = true;
  fGPXView.ShadowMapTrackColor = clSilver;

  fIsoView.TrackWidth = 1;
  fIsoView.Options.BackGroundColor = clWhite;
  fIsoView.DepthColorShallow = fShallow;
  fIsoView.DepthColorDeep = fDeep;
  fIsoView.ShadowMapEnabled = true;

  Settings.Interpolation.Threads = fCPUCount;
}

// The depth map goes first, and with it any run still going, before the
// views and documents its workers read.
TProject::~TProject() { fDepthMap.Clear(); }

int TProject::GetCPUCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

const TGPXDraw& TProject::DepthPictureGrid() const {
  if (InterpLoaded() && fRun) return *fRun->Grid;
  return fGPXView;
}

const TGPXDraw& TProject::ContourPictureGrid() const { return fTracedRun ? *fTracedRun->Grid : fGPXView; }

// ---------------------------------------------------------------- loading

SourceLoadResult TProject::AddFile(const std::string& Path, const TDepthRule& Rule, TFeedback& Feedback) {
  TSourceFile file;
  if (!ReadFile(Path, file, Feedback)) return file.Result;
  return AddFile(file, Rule, Feedback);
}

bool TProject::ReadFile(const std::string& Path, TSourceFile& File, TFeedback& Feedback) const {
  return ReadSourceFile(Path, File, Feedback, {.DepthFromElevation = Settings.Corrections.DepthFromElevation});
}

SourceLoadResult TProject::AddFile(TSourceFile& File, const TDepthRule& Rule, TFeedback& Feedback) {
  const TCorrectionSettings& settings = Settings.Corrections;
  const std::string name = FileNameOf(File.Path);
  TReadingCorrections corrections;
  corrections.Despike = settings.Despike;
  corrections.TransducerCm = settings.TransducerCm;
  if (const auto level = settings.LevelsCm.find(File.Path); level != settings.LevelsCm.end())
    corrections.LevelCm = level->second;
  if (settings.LevelTable) corrections.LevelTable = &*settings.LevelTable;
  corrections.DatumCm = settings.DatumCm;
  TCorrectionResult corrected = CorrectReadings(File.Doc, name, corrections);
  if (!corrected.Error.empty()) {
    // The file cannot be corrected whole: none of it is loaded.
    File.Result.Error = corrected.Error;
    return File.Result;
  }
  for (const std::string& note : corrected.Notes) {
    Feedback.Log(note);
    fLoadSummary.Corrections.push_back(note);
  }

  // A GPX file without readings and without a depth given is a shoreline:
  // said at once, so that a later "No pixel lies on water" is no riddle.
  std::string shoreline;
  if (File.Kind == SourceKind::GPX && File.MaxDepth == 0 && !Rule.Depth && Rule.Offset.value_or(0) == 0)
    shoreline = DepthlessFileNote(File.Doc, name);

  TInputCorrections applied;
  applied.DepthFromElevation = settings.DepthFromElevation;
  applied.Despike = settings.Despike;
  applied.TransducerCm = settings.TransducerCm;
  applied.LevelCm = corrections.LevelCm;
  if (settings.LevelTable) {
    applied.Gauge = true;
    applied.GaugeTable = settings.LevelTablePath;
    applied.DatumCm = settings.DatumCm;
  }
  TProjectInput input{File.Path, Rule, fGPXdata.trk.Count(), 0, std::move(corrected), std::move(applied)};
  SourceLoadResult result = AddSourceFile(fGPXdata, File, Rule);
  result.Notes = input.Corrections.Notes;
  input.Tracks = result.TracksAdded;
  fInputs.push_back(std::move(input));
  if (!shoreline.empty()) {
    Feedback.Log(shoreline);
    fLoadSummary.Shorelines.push_back(shoreline);
  }
  // Tracks without depth (a KML shoreline) give nothing to interpolate
  // unless a depth was entered for them.
  if (HoldsReadings(File.Kind) || result.DepthApplied) fInterpolable = true;
  RefreshSourceView();
  return result;
}

std::vector<TSurveySession> TProject::LoadedSessions(std::vector<int>& Inputs) {
  std::vector<TSurveySession> sessions;
  Inputs.clear();
  const std::vector<TGPXtrk*> tracks(fGPXdata.trk.begin(), fGPXdata.trk.end());
  for (std::size_t i = 0; i < fInputs.size(); ++i) {
    const TProjectInput& input = fInputs[i];
    const std::span<TGPXtrk* const> own(tracks.data() + input.FirstTrack, static_cast<std::size_t>(input.Tracks));
    for (TSurveySession& session : SplitSessions(own, FileNameOf(input.Path))) {
      sessions.push_back(std::move(session));
      Inputs.push_back(static_cast<int>(i));
    }
  }
  return sessions;
}

TProjectLevels TProject::EstimateLevels(TFeedback& Feedback) {
  TProjectLevels levels;
  const std::vector<TSurveySession> sessions = LoadedSessions(levels.Inputs);
  levels.Estimate = sondralis::EstimateLevels(sessions, TLevelEstimateOptions{}, Feedback);
  return levels;
}

long long TProject::ApplyLevels(const TProjectLevels& Levels) {
  std::vector<int> inputs;
  std::vector<TSurveySession> sessions = LoadedSessions(inputs);
  long long changed = 0;
  for (std::size_t k = 0; k < Levels.Estimate.Sessions.size() && k < Levels.Inputs.size(); ++k) {
    const TSessionLevel& level = Levels.Estimate.Sessions[k];
    if (!level.Estimated || level.OffsetCm == 0) continue;
    for (std::size_t s = 0; s < sessions.size(); ++s)
      if (inputs[s] == Levels.Inputs[k] && sessions[s].Name == level.Name) {
        ApplySessionOffset(sessions[s], level.OffsetCm);
        changed += sessions[s].Readings();
        KeepLevel(inputs[s], level.Name, level.OffsetCm);
      }
  }
  if (changed > 0 && fFileLoaded) RefreshSourceView();
  return changed;
}

void TProject::KeepLevel(int Input, const std::string& Session, double OffsetCm) {
  std::optional<TInputCorrections>& applied = fInputs[static_cast<std::size_t>(Input)].Applied;
  if (!applied) applied.emplace();
  applied->SessionLevelsCm[Session].push_back(OffsetCm);
}

long long TProject::ApplyInputLevels(int Input, const std::map<std::string, std::vector<double>>& LevelsCm) {
  std::vector<int> inputs;
  std::vector<TSurveySession> sessions = LoadedSessions(inputs);
  long long changed = 0;
  for (std::size_t s = 0; s < sessions.size(); ++s) {
    if (inputs[s] != Input) continue;
    const auto levels = LevelsCm.find(sessions[s].Name);
    if (levels == LevelsCm.end()) continue;
    for (const double level : levels->second) {
      ApplySessionOffset(sessions[s], level);
      changed += sessions[s].Readings();
      KeepLevel(Input, levels->first, level);
    }
  }
  if (changed > 0 && fFileLoaded) RefreshSourceView();
  return changed;
}

std::vector<std::string> TProject::FinishLoading(TFeedback& Feedback) {
  std::vector<std::string> told;
  const std::size_t first = std::min(fBatchStart, fInputs.size());
  fBatchStart = fInputs.size();
  if (!fFileLoaded) return told;
  if (Settings.Corrections.AutoLevel && first < fInputs.size()) {
    std::vector<int> inputs;
    std::vector<TSurveySession> sessions = LoadedSessions(inputs);
    const TLevelEstimate estimate = sondralis::EstimateLevels(sessions, TLevelEstimateOptions{}, Feedback);
    // The batch's sessions take their levels; those loaded before are the
    // reference they are levelled to, and stay as they are.
    long long changed = 0;
    for (std::size_t s = 0; s < sessions.size(); ++s) {
      if (static_cast<std::size_t>(inputs[s]) < first) continue;
      const TSessionLevel& level = estimate.Sessions[s];
      told.push_back(DescribeSessionLevel(level, TLevelEstimateOptions{}));
      if (!level.Estimated || level.OffsetCm == 0) continue;
      ApplySessionOffset(sessions[s], level.OffsetCm);
      changed += sessions[s].Readings();
      KeepLevel(inputs[s], level.Name, level.OffsetCm);
    }
    if (changed > 0) RefreshSourceView();
    fLoadSummary.Corrections.insert(fLoadSummary.Corrections.end(), told.begin(), told.end());
  }
  fLoadSummary.Outside = CountOutside(fGPXdata, TShoreline(fGPXdata));
  fLoadSummary.OutsideNote = OutsideMessage(fLoadSummary.Outside, Settings.Interpolation.KeepOutside);
  if (!fLoadSummary.OutsideNote.empty()) {
    Feedback.Log(fLoadSummary.OutsideNote);
    told.push_back(fLoadSummary.OutsideNote);
  }
  return told;
}

std::string TProject::NoWaterCause() const {
  if (fMaxDepth <= 0) {
    if (!fLoadSummary.Shorelines.empty())
      return "Likely cause: no file with depth readings is loaded; " + fLoadSummary.Shorelines.front() + ".";
    return "Likely cause: no file with depth readings is loaded.";
  }
  if (Settings.Interpolation.Radius == 0) return "Likely cause: the extrapolation radius is 0 pixels.";
  const TOutsideCount outside = CountOutside(fGPXdata, TShoreline(fGPXdata));
  if (outside.Soundings > 0 && outside.Outside == outside.Soundings && !Settings.Interpolation.KeepOutside)
    return "Likely cause: all " + std::to_string(outside.Soundings) +
           " soundings lie outside the shoreline (an outline of another lake, or one drawn too small?); soundings "
           "outside the shoreline are mapped only when asked to be.";
  return {};
}

void TProject::RefreshSourceView() {
  fMaxDepth = GetMaxDepth(fGPXdata);
  fGPXView.MaxDepth = fMaxDepth;
  fGPXView.ShadowMapTrackWidth = Settings.Interpolation.Radius;
  fGPXView.GPXd = &fGPXdata;
  fFileLoaded = true;
  fGPXImage.SetSize(fMapWidth, fMapHeight);
  fGPXView.Canvas = &fGPXImage;
  fGPXView.Resize(fMapWidth, fMapHeight);
  fGPXView.filled = false;
  fGPXView.ResetBBox(true, true);
  if (DrawMaps) fGPXView.Redraw();
  UpdateMask();
  UpdateMapInfo();
}

void TProject::UpdateMapInfo() {
  fMapInfo = ComputeMapInfo(fGPXView, fGPXImage.Width(), fGPXImage.Height());
  fDecimateLongitude = DecimateLongitudeOf(fGPXView);
  fDecimateLatitude = DecimateLatitudeOf(fGPXView);
}

// ---------------------------------------------------------------- the Source Tracks map

void TProject::SetMapSize(int Width, int Height) {
  fMapWidth = std::max(0, Width);
  fMapHeight = std::max(0, Height);
  if (!fFileLoaded) return;
  fGPXView.Resize(fMapWidth, fMapHeight);
  fGPXImage.SetSize(fGPXView.Width(), fGPXView.Height());
  RedrawSource();
  UpdateMapInfo();
}

void TProject::SetContourMapSize(int Width, int Height) {
  fContourMapWidth = std::max(0, Width);
  fContourMapHeight = std::max(0, Height);
  if (!fIsoLoaded) return;
  fIsoView.Resize(fContourMapWidth, fContourMapHeight);
  fIsoImage.SetSize(fIsoView.Width(), fIsoView.Height());
  RedrawContours();
}

void TProject::Fit() {
  fGPXView.ResetBBox(true, true);
  RedrawSource();
  UpdateMapInfo();
}

void TProject::ZoomIn() {
  fGPXView.ZoomIn();
  RedrawSource();
  UpdateMapInfo();
}

void TProject::ZoomOut() {
  fGPXView.ZoomOut();
  RedrawSource();
  UpdateMapInfo();
}

void TProject::SourceViewChanged() {
  UpdateMask();
  UpdateMapInfo();
}

void TProject::RedrawSource() { fGPXView.Redraw(); }
void TProject::RedrawContours() { fIsoView.Redraw(); }

void TProject::ApplyRadius(int Radius) {
  Settings.Interpolation.Radius = Radius;
  fGPXView.ShadowMapTrackWidth = Radius;
  if (!fFileLoaded) return;
  RedrawSource();
  UpdateMask();
}

void TProject::UpdateMask() {
  if (!fFileLoaded || !DrawMaps || InterpolationRunning()) return;
  fDepthMap.UpdateShadowArray(fGPXView, Settings.Interpolation);
}

bool TProject::ShowCoveragePreview() {
  // After a run the picture stays.
  if (!fFileLoaded || InterpLoaded()) return false;
  fDepthMap.InterpolatedImage = fDepthMap.CoveragePreview(fGPXImage);
  return true;
}

// ---------------------------------------------------------------- interpolation

TInterpolationSettings TProject::RunSettings() const {
  TInterpolationSettings settings = Settings.Interpolation;
  settings.Threads = std::clamp(settings.Threads, 1, fCPUCount);
  settings.Style = std::clamp(settings.Style, 2, 14);
  return settings;
}

TRunInput TProject::RunInput() const {
  TRunInput input;
  input.MaxDepth = fMaxDepth;
  input.clShallow = fShallow;
  input.clDeep = fDeep;
  input.DecimateLatitude = fDecimateLatitude;
  input.DecimateLongitude = fDecimateLongitude;
  return input;
}

bool TProject::StartInterpolation(TFeedback& Feedback, TInterpolationListener* Listener) {
  if (!fFileLoaded) return false;
  const TInterpolationSettings settings = RunSettings();
  try {
    if (!fDepthMap.StartInterpolation(fGPXView, settings, RunInput(), Feedback, Listener)) return false;
  } catch (const ENoWaterCovered& e) {
    const std::string cause = NoWaterCause();
    if (cause.empty()) throw;
    throw ENoWaterCovered(std::string(e.what()) + " " + cause);
  }
  // The picture will be traced and exported later in the grid, mask and
  // colours it is made with now, whatever happens to the view and the
  // swatches meanwhile.
  auto run = std::make_shared<TRunResult>();
  run->Grid = CopyGrid(fGPXView);
  run->clShallow = fShallow;
  run->clDeep = fDeep;
  run->MaxDepth = fMaxDepth;
  run->Method = settings.Method;
  fPendingRun = std::move(run);
  return true;
}

bool TProject::PollInterpolation() {
  if (!fDepthMap.Running()) return true;
  try {
    if (!fDepthMap.Poll()) return false;
  } catch (...) {
    fPendingRun.reset();
    throw;
  }
  EndInterpolation();
  return true;
}

void TProject::WaitInterpolation() {
  if (!fDepthMap.Running()) return;
  try {
    fDepthMap.Wait();
  } catch (...) {
    fPendingRun.reset();
    throw;
  }
  EndInterpolation();
}

bool TProject::Interpolate(TFeedback& Feedback) {
  if (!StartInterpolation(Feedback)) return false;
  WaitInterpolation();
  return true;
}

void TProject::EndInterpolation() {
  std::shared_ptr<TRunResult> run = std::move(fPendingRun);
  if (!run) return;
  run->ShadowArray = fDepthMap.ShadowArray;
  run->DepthArray = fDepthMap.DepthArray;
  run->Coord = fDepthMap.InCoord;
  run->Depth = fDepthMap.InDepth;
  // The run took every track point after the shoreline's samples.
  long long trackPoints = 0;
  for (const TGPXtrk* track : fGPXdata.trk)
    for (const TGPXtrkseg* segment : *track) trackPoints += segment->Count();
  run->ShoreSamples = static_cast<int>(std::max<long long>(0, run->Coord.Length() - trackPoints));
  fRun = std::move(run);
}

// ---------------------------------------------------------------- accuracy

TAccuracy TProject::CheckAccuracy(const std::vector<TInterpolationMethod>& Methods, int Folds, TFeedback& Feedback) {
  return AccuracyCheck(Methods, Folds)(Feedback);
}

std::function<TAccuracy(TFeedback&)> TProject::AccuracyCheck(const std::vector<TInterpolationMethod>& Methods,
                                                             int Folds) {
  if (!fFileLoaded || !fInterpolable)
    throw ERunRefused("There are no depth samples to check: load tracks with depth readings first.");
  if (InterpolationRunning()) throw ERunRefused("An interpolation is running already.");
  std::vector<TInterpolationSettings> methods;
  for (TInterpolationMethod method : Methods) {
    methods.push_back(RunSettings());
    methods.back().Method = method;
  }
  return [this, methods, input = RunInput(), Folds](TFeedback& Feedback) {
    return sondralis::CheckAccuracy(fGPXView, methods, input, Folds, Feedback);
  };
}

// ---------------------------------------------------------------- contours

// Shows the contours in the HT Contour view, fitted to all of them.
void TProject::ShowContours() {
  fIsoView.GPXd = &fIsoData;
  fIsoLoaded = true;
  fIsoView.MaxDepth = fMaxDepth;
  fIsoImage.SetSize(fContourMapWidth, fContourMapHeight);
  fIsoView.Canvas = &fIsoImage;
  fIsoView.Resize(fContourMapWidth, fContourMapHeight);
  fIsoView.filled = false;
  fIsoView.ResetBBox(true, true);
  RedrawContours();
}

std::string TProject::ContoursRefusal() const {
  if (!InterpLoaded() || !fRun) return "There is no interpolated depth map to trace yet: run \"Interpolate\" first.";
  if (Settings.Contours.Step < 1)
    return "The step size " + std::to_string(Settings.Contours.Step) +
           " is not a whole number of centimetres above 0.";
  if (fRun->MaxDepth <= 0)
    return "The depth map was made without any depth greater than 0 cm, so there is no depth level to trace.";
  return {};
}

TChartContours TProject::TraceChart(const TRunResult& Run, const TContourSettings& Settings,
                                    TFeedback& Feedback) const {
  TChartOptions options;
  options.MinRing = ContourMinRing(Settings, TContourTracer::Chart);
  options.Smooth = std::max(0, Settings.Smooth);
  options.Tolerance = kChartTolerance;
  return TraceChartContours(Run.DepthArray, ChartLevels(Settings.Step, Run.MaxDepth), options, Feedback);
}

void TProject::TraceContours(TFeedback& Feedback, const std::function<void(int)>& LevelDone) {
  if (const std::string refusal = ContoursRefusal(); !refusal.empty()) throw ERunRefused(refusal);
  const TContourSettings settings = Settings.Contours;
  const int step = settings.Step;
  // Held for the whole run, whatever replaces the project's run.
  const std::shared_ptr<const TRunResult> run = fRun;
  TContourRun report;
  report.Tracer = ContourTracerOf(settings, run->Method);
  report.Step = step;
  report.MinRing = ContourMinRing(settings, report.Tracer);
  std::shared_ptr<const std::vector<TChartLine>> chartLines;

  // What the run replaces, kept until it has completed.
  TGPX previous;
  previous.trk.MoveFrom(fIsoData.trk);
  TCanvas previousMap = std::move(fIsoMap);
  const std::shared_ptr<const TRunResult> previousRun = fTracedRun;
  const bool previousLoaded = fIsoLoaded, previousTraced = fContoursTraced;
  const TBBox previousBox = fIsoView.BBox;
  const int previousWidth = fIsoView.Width(), previousHeight = fIsoView.Height();
  const bool previousFilled = fIsoView.filled;

  fIsoMap = TCanvas();
  fTracedRun = run;
  fIsoView.Clear();
  fIsoData.Clear();
  try {
    if (report.Tracer == TContourTracer::Pixel) {
      TMovingSquares tracer(fIsoData, *run->Grid, fIsoMap, fDepthMap.InterpolatedImage, run->ShadowArray);
      tracer.clShallow = run->clShallow;
      tracer.clDeep = run->clDeep;
      tracer.MinRing = report.MinRing;
      auto shown = std::chrono::steady_clock::now();
      tracer.GenerateISO(0, run->MaxDepth, step, Feedback, [&](int Level) {
        report.Levels.push_back(Level);
        if (ContourShowInterval.count() < 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - shown < ContourShowInterval) return;
        shown = now;
        ShowContours();
        if (LevelDone) LevelDone(Level);
      });
      report.RingsDropped = tracer.RingsDropped;
      ShowContours();
    } else {
      TChartContours chart = TraceChart(*run, settings, Feedback);
      const TGPXDraw& grid = *run->Grid;
      AddChartContours(fIsoData, chart, GridNodes(ViewGridExtent(grid), grid.Width(), grid.Height()));
      TChartPictureStyle style;
      style.Shallow = run->clShallow;
      style.Deep = run->clDeep;
      style.MaxDepth = run->MaxDepth;
      style.Step = step;
      style.Labels = settings.Labels;
      // The window shows the legend over the top left corner.
      style.Obstacles.push_back(TLabelBox::Upright(0, 0, kContourLegendWidth, kContourLegendHeight));
      fIsoMap.SetSize(grid.Width(), grid.Height());
      DrawChartPicture(fIsoMap, chart.Lines, style);
      report.Levels = ChartLevels(step, run->MaxDepth);
      report.RingsDropped = chart.RingsDropped;
      report.LabelStep = settings.Labels ? step : 0;
      chartLines = std::make_shared<const std::vector<TChartLine>>(std::move(chart.Lines));
      ShowContours();
      if (LevelDone && !report.Levels.empty()) LevelDone(report.Levels.back());
    }
  } catch (...) {
    fIsoData.Clear();
    fIsoData.trk.MoveFrom(previous.trk);
    fIsoMap = std::move(previousMap);
    fTracedRun = previousRun;
    fIsoLoaded = previousLoaded;
    fContoursTraced = previousTraced;
    fIsoView.BBox = previousBox;
    fIsoView.Resize(previousWidth, previousHeight);
    fIsoImage.SetSize(previousWidth, previousHeight);
    fIsoView.filled = previousFilled;
    if (fIsoLoaded) RedrawContours();
    throw;
  }
  fContoursTraced = true;
  fTracedStep = step;
  fContourRun = std::move(report);
  fChartLines = std::move(chartLines);
}

// ---------------------------------------------------------------- the chart

int TProject::ChartWidth() const {
  const int width = fRun ? fRun->Grid->Width() : fMapWidth;
  return std::clamp(2 * width, 1200, 8192);
}

const TChartContent& TProject::PrepareChart(TFeedback& Feedback) {
  if (const std::string refusal = ContoursRefusal(); !refusal.empty()) throw ERunRefused(refusal);
  const std::shared_ptr<const TRunResult> run = fRun;
  auto chart = std::make_shared<TChart>();
  chart->Run = run;
  const TGPXDraw& grid = *run->Grid;
  chart->Grid = GridNodes(ViewGridExtent(grid), grid.Width(), grid.Height());
  int step = Settings.Contours.Step;
  // The lines of the last contour run when the chart tracer made them from
  // this run; the pixel tracer's lie on the pixels' corners and may cross.
  if (fTracedRun == run && fChartLines && fContourRun.Tracer == TContourTracer::Chart) {
    chart->Lines = *fChartLines;
    step = fContourRun.Step;
  } else {
    chart->Lines = TraceChart(*run, Settings.Contours, Feedback).Lines;
  }
  TChartContent& content = chart->Content;
  content.Depths = &run->DepthArray;
  content.Grid = &chart->Grid;
  content.Lines = &chart->Lines;
  content.Step = step;
  content.MaxDepth = run->MaxDepth;
  content.Shallow = run->clShallow;
  content.Deep = run->clDeep;
  SplitOutlines(fGPXdata, content.Shoreline, content.Tracks);
  content.ShowTracks = Settings.Contours.ChartTracks;
  std::vector<std::string> files;
  for (const TProjectInput& input : fInputs) files.push_back(input.Path);
  ChartTitle(files, fGPXdata, content.Title, content.Subtitle);
  fChart = std::move(chart);
  return fChart->Content;
}

// ---------------------------------------------------------------- outputs

TMapResults TProject::Results() {
  TMapResults results;
  results.SourceTracks = &fGPXdata;
  results.Contours = &fIsoData;
  if (InterpLoaded() && fRun) {
    results.DepthPicture = &fDepthMap.InterpolatedImage;
    results.Depths = &fRun->DepthArray;
    results.Extent = ViewGridExtent(*fRun->Grid);
    results.SampleCoord = fRun->Coord;
    results.SampleDepth = fRun->Depth;
    results.Mask = &fRun->ShadowArray;
    results.Grid = fRun->Grid.get();
    results.PictureMaxDepth = fRun->MaxDepth;
    results.PictureShallow = fRun->clShallow;
    results.PictureDeep = fRun->clDeep;
    results.ShoreSamples = fRun->ShoreSamples;
  }
  results.Step = fContoursTraced ? fTracedStep : Settings.Contours.Step;
  for (const TProjectInput& input : fInputs) results.Inputs.push_back(input.Path);
  if (fContoursTraced) {
    results.ContourPicture = &fIsoMap;
    results.ContourLabelStep = fContourRun.LabelStep;
    results.ContoursApart = fContourRun.Tracer == TContourTracer::Chart;
  }
  if (fChart && fChart->Run == fRun && InterpLoaded()) {
    results.Chart = &fChart->Content;
    results.ChartWidth = ChartWidth();
  }
  results.MaxDepth = fMaxDepth;
  results.clShallow = fShallow;
  results.clDeep = fDeep;
  return results;
}

TExportResult TProject::Export(const TExportRequest& Request, TFeedback& Feedback) {
  TMapExport exporting(Request);
  return exporting.Write(Results(), Feedback);
}

std::function<TExportResult(TFeedback&)> TProject::ExportStep(const TExportRequest& Request) {
  // What the results point to beside the documents, kept alive with the
  // operation: the run (depths, mask, grid), the chart, and the pictures,
  // copied (they share their pixels until one side paints; painting what
  // a canvas holds pending first keeps the reads of both sides reads).
  struct TKept {
    TMapResults Results;
    std::shared_ptr<const TRunResult> Run;
    std::shared_ptr<const TChart> Chart;
    TCanvas DepthPicture, ContourPicture;
  };
  auto kept = std::make_shared<TKept>();
  kept->Results = Results();
  kept->Run = fRun;
  kept->Chart = fChart;
  if (const TCanvas* picture = kept->Results.DepthPicture) {
    picture->Image();
    kept->DepthPicture = *picture;
    kept->Results.DepthPicture = &kept->DepthPicture;
  }
  if (const TCanvas* picture = kept->Results.ContourPicture) {
    picture->Image();
    kept->ContourPicture = *picture;
    kept->Results.ContourPicture = &kept->ContourPicture;
  }
  return [kept, Request](TFeedback& Feedback) {
    TMapExport exporting(Request);
    return exporting.Write(kept->Results, Feedback);
  };
}

// ---------------------------------------------------------------- the whole project

void TProject::StartOver() {
  fDepthMap.Clear();
  fPendingRun.reset();
  fRun.reset();
  fGPXView.Clear();
  fGPXdata.Clear();
  fInputs.clear();
  fBatchStart = 0;
  fLoadSummary = TLoadSummary{};
  fFileLoaded = false;
  fInterpolable = false;
  fMaxDepth = 0;
  fMapInfo = TMapInfo{};
  fIsoMap.SetSize(0, 0);
  fTracedRun.reset();
  fIsoView.Clear();
  fIsoData.Clear();
  fContoursTraced = false;
  fContourRun = TContourRun{};
  fChartLines.reset();
  fChart.reset();
}

void TProject::SetShallowColor(TColor Color) {
  fShallow = Color;
  fGPXView.DepthColorShallow = Color;
  fIsoView.DepthColorShallow = Color;
  RedrawSource();
  RedrawContours();
}

void TProject::SetDeepColor(TColor Color) {
  fDeep = Color;
  fGPXView.DepthColorDeep = Color;
  fIsoView.DepthColorDeep = Color;
  RedrawSource();
  RedrawContours();
}

}  // namespace sondralis
