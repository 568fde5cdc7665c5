#include "exports/MapProducts.h"

#include "exports/Hillshade.h"
#include "exports/SafetyDepth.h"
#include "interpolation/SampleGrid.h"

namespace sondralis {

namespace {

template <typename T>
const T& Need(const T* Source, const std::string& Path) {
  if (!Source) throw EExportError("Cannot write " + Path + ": there is nothing to write into it yet.");
  return *Source;
}

// The options the chart tracer draws a printed chart with: rings of a
// single sounding dropped, lines thinned within a quarter of a cell.
TChartOptions ChartDefaults() {
  TChartOptions options;
  options.MinRing = kChartMinRing;
  options.Tolerance = kChartTolerance;
  return options;
}

}  // namespace

TMapProducts::TMapProducts(const TMapResults& Results, const TExportRequest& Request, TFeedback& Feedback)
    : fResults(Results), fRequest(Request), fFeedback(Feedback) {}

TMapProducts::~TMapProducts() = default;

bool TMapProducts::Decorated() const { return fRequest.Relief > 0 || fRequest.SafetyDepth > 0; }

const TExportGrid& TMapProducts::Grid(const std::string& Path) {
  if (!fGrid) {
    TExportGrid grid;
    grid.Depth = Need(fResults.Depths, Path);
    if (fResults.Mask) grid.Mask = *fResults.Mask;
    grid.Extent = fResults.Extent;
    grid.Check();
    fGrid = std::move(grid);
  }
  return *fGrid;
}

const TExportSamples& TMapProducts::Samples() {
  if (!fSamples) fSamples = TExportSamples{fResults.SampleCoord, fResults.SampleDepth, fResults.ShoreSamples};
  return *fSamples;
}

const std::vector<TGeoLine>& TMapProducts::Shoreline() {
  if (!fShoreline) fShoreline = fResults.SourceTracks ? ShorelineRings(*fResults.SourceTracks) : std::vector<TGeoLine>{};
  return *fShoreline;
}

const TDistanceArray& TMapProducts::Distances(const std::string& Path) {
  if (!fDistances) fDistances = NearestSoundingDistances(Grid(Path), Samples().Soundings(), fFeedback);
  return *fDistances;
}

const TPixelArray<float>* TMapProducts::Light(const std::string& Path) {
  if (!(fRequest.Relief > 0)) return nullptr;
  if (!fLight) {
    fLight = ReliefLight(Grid(Path), fRequest.Relief, fFeedback);
    Notes.emplace_back("Relief", "shaded from the north-west at 45°, vertical exaggeration " +
                                     ShortestText(fRequest.Relief));
  }
  return &*fLight;
}

const TGPX* TMapProducts::SafetyLines(const std::string& Path) {
  if (fRequest.SafetyDepth <= 0) return nullptr;
  if (!fSafety) {
    auto lines = std::make_unique<TGPX>();
    TraceSafetyContour(*lines, Need(fResults.Grid, Path), Need(fResults.DepthPicture, Path),
                       Need(fResults.Mask, Path), fResults.PictureShallow, fResults.PictureDeep,
                       fResults.PictureMaxDepth, fRequest.SafetyDepth, fFeedback);
    int count = 0;
    for (const TGPXtrk* track : lines->trk)
      for (const TGPXtrkseg* segment : *track) count += segment->Count() >= 2;
    fSafety = std::move(lines);
    Notes.emplace_back("Safety depth", MetresText(fRequest.SafetyDepth, 2) + " m: " + std::to_string(count) +
                                           (count == 1 ? " line" : " lines") +
                                           " drawn bold, shallower water hatched");
  }
  return fSafety.get();
}

const TCanvas& TMapProducts::TilePicture(const std::string& Path) {
  const TCanvas& picture = Need(fResults.DepthPicture, Path);
  if (!Decorated()) return picture;
  if (!fShaded) {
    const TPixelArray<float>* light = Light(Path);
    TCanvas shaded = light ? ShadeRelief(picture, *light) : picture;
    if (fRequest.SafetyDepth > 0) HatchShallowWater(shaded, Grid(Path), fRequest.SafetyDepth);
    fShaded = std::move(shaded);
  }
  return *fShaded;
}

const TCanvas& TMapProducts::DepthPicture(const std::string& Path) {
  if (!Decorated()) return Need(fResults.DepthPicture, Path);
  if (!fDepthPicture) {
    TCanvas picture = TilePicture(Path);
    if (const TGPX* safety = SafetyLines(Path)) DrawBoldLines(picture, Grid(Path), *safety);
    fDepthPicture = std::move(picture);
  }
  return *fDepthPicture;
}

const TCanvas& TMapProducts::ContourPicture(const std::string& Path) {
  const TCanvas& picture = Need(fResults.ContourPicture, Path);
  if (fRequest.SafetyDepth <= 0) return picture;
  if (!fContourPicture) {
    TCanvas marked = picture;
    HatchShallowWater(marked, Grid(Path), fRequest.SafetyDepth);
    DrawBoldLines(marked, Grid(Path), *SafetyLines(Path));
    fContourPicture = std::move(marked);
  }
  return *fContourPicture;
}

const TLakeReport& TMapProducts::Report(const std::string& Path) {
  if (!fReport)
    fReport = ComputeLakeReport(Grid(Path), Distances(Path), Samples(), Shoreline(), std::max(fResults.Step, 1),
                                fFeedback);
  return *fReport;
}

const std::vector<TSpot>& TMapProducts::Spots(const std::string& Path) {
  if (!fSpots) fSpots = FindSpots(Grid(Path), TSpotSettings{}, fFeedback);
  return *fSpots;
}

const std::string& TMapProducts::Title() {
  if (!fTitle) {
    std::string title, subtitle;
    static const TGPX kNothing;
    ChartTitle(fResults.Inputs, fResults.SourceTracks ? *fResults.SourceTracks : kNothing, title, subtitle);
    fTitle = title;
    fSubtitle = subtitle;
  }
  return *fTitle;
}

TChartSheet TMapProducts::Sheet(const std::string& Path) {
  const TExportGrid& grid = Grid(Path);
  if (!fNodes) fNodes = GridNodes(grid.Extent, grid.Columns(), grid.Rows());
  if (!fChartLines)
    fChartLines = TraceChartContours(grid.Depth, ChartLevels(std::max(fResults.Step, 1), fResults.PictureMaxDepth),
                                     ChartDefaults(), fFeedback)
                      .Lines;
  if (fRequest.SafetyDepth > 0 && !fChartSafety)
    fChartSafety = TraceChartContours(grid.Depth, {fRequest.SafetyDepth}, ChartDefaults(), fFeedback).Lines;
  TChartSheet sheet;
  TChartContent& chart = sheet.Chart;
  chart.Depths = &grid.Depth;
  chart.Grid = &*fNodes;
  chart.Lines = &*fChartLines;
  chart.Step = std::max(fResults.Step, 1);
  chart.MaxDepth = fResults.PictureMaxDepth;
  chart.Shallow = fResults.PictureShallow;
  chart.Deep = fResults.PictureDeep;
  chart.Shoreline = Shoreline();
  chart.Title = Title();
  chart.Subtitle = *fSubtitle;
  if (fChartSafety) {
    chart.SafetyLines = &*fChartSafety;
    SafetyLines(Path);  // for its note
  }
  sheet.Light = Light(Path);
  sheet.Exaggeration = fRequest.Relief;
  sheet.SafetyDepth = fRequest.SafetyDepth;
  sheet.Report = &Report(Path);
  return sheet;
}

}  // namespace sondralis
