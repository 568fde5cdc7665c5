#include "session/Project.h"

#include <algorithm>

#include "contours/ChartPicture.h"
#include "exports/ChartPainter.h"
#include "interpolation/SampleGrid.h"
#include <thread>
#include <utility>

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
  if (!ReadSourceFile(Path, file, Feedback)) return file.Result;
  return AddFile(file, Rule);
}

SourceLoadResult TProject::AddFile(TSourceFile& File, const TDepthRule& Rule) {
  const SourceLoadResult result = AddSourceFile(fGPXdata, File, Rule);
  fInputs.push_back({File.Path, Rule});
  // Tracks without depth (a KML shoreline) give nothing to interpolate
  // unless a depth was entered for them.
  if (File.Kind == SourceKind::GPX || result.DepthApplied) fInterpolable = true;
  RefreshSourceView();
  return result;
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
  fDepthMap.UpdateShadowArray(fGPXView);
}

bool TProject::ShowCoveragePreview() {
  // After a run the picture stays.
  if (!fFileLoaded || InterpLoaded()) return false;
  fDepthMap.InterpolatedImage = fDepthMap.CoveragePreview(fGPXImage);
  return true;
}

// ---------------------------------------------------------------- interpolation

bool TProject::StartInterpolation(TFeedback& Feedback, TInterpolationListener* Listener) {
  if (!fFileLoaded) return false;
  TInterpolationSettings settings = Settings.Interpolation;
  settings.Threads = std::clamp(settings.Threads, 1, fCPUCount);
  settings.Style = std::clamp(settings.Style, 2, 14);
  TRunInput input;
  input.MaxDepth = fMaxDepth;
  input.clShallow = fShallow;
  input.clDeep = fDeep;
  input.DecimateLatitude = fDecimateLatitude;
  input.DecimateLongitude = fDecimateLongitude;
  if (!fDepthMap.StartInterpolation(fGPXView, settings, input, Feedback, Listener)) return false;
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
  } catch (const TCanceled&) {
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
  } catch (const TCanceled&) {
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
  fRun = std::move(run);
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
      tracer.GenerateISO(0, run->MaxDepth, step, Feedback, [&](int Level) {
        report.Levels.push_back(Level);
        ShowContours();
        if (LevelDone) LevelDone(Level);
      });
      report.RingsDropped = tracer.RingsDropped;
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
  auto chart = std::make_unique<TChart>();
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
  }
  if (fContoursTraced) {
    results.ContourPicture = &fIsoMap;
    results.ContourLabelStep = fContourRun.LabelStep;
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

// ---------------------------------------------------------------- the whole project

void TProject::StartOver() {
  fDepthMap.Clear();
  fPendingRun.reset();
  fRun.reset();
  fGPXView.Clear();
  fGPXdata.Clear();
  fInputs.clear();
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
