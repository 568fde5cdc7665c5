#pragma once

// What the files of one export derive from a map's results, each made once
// when the first file needs it: the grid, samples and shoreline in the
// exports' terms, each cell's distance to a sounding, the relief's light,
// the safety contour, the pictures as the request wants them to look, the
// lake's report, the spots and the chart's own contour lines. A request
// that asks for neither relief nor a safety depth gets the pictures as they
// are, to the byte.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "contours/ChartTracer.h"
#include "exports/ChartPDF.h"
#include "exports/ChartPainter.h"
#include "exports/ExportGrid.h"
#include "exports/LakeReport.h"
#include "exports/MapExport.h"
#include "exports/SoundingDistance.h"
#include "exports/Spots.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"

namespace sondralis {

class TMapProducts {
 public:
  // Results and Request must outlive the object. Nothing is computed yet.
  TMapProducts(const TMapResults& Results, const TExportRequest& Request, TFeedback& Feedback);
  TMapProducts(const TMapProducts&) = delete;
  TMapProducts& operator=(const TMapProducts&) = delete;
  ~TMapProducts();

  // The run's depth grid; EExportError naming Path when there is none.
  const TExportGrid& Grid(const std::string& Path);
  const TExportSamples& Samples();
  const std::vector<TGeoLine>& Shoreline();
  const TDistanceArray& Distances(const std::string& Path);
  // The relief's light per cell, or null without relief.
  const TPixelArray<float>* Light(const std::string& Path);
  // The contour at the safety depth (traced as the contours are), or null
  // without a safety depth.
  const TGPX* SafetyLines(const std::string& Path);

  // The depth picture: shaded, then hatched and with the safety contour
  // drawn bold, as the request asks.
  const TCanvas& DepthPicture(const std::string& Path);
  // The contour picture, hatched and with the safety contour bold.
  const TCanvas& ContourPicture(const std::string& Path);
  // The depth picture under the tiles' own lines: shaded and hatched,
  // without the bold contour, which the tiles draw at their own scale.
  const TCanvas& TilePicture(const std::string& Path);

  const TLakeReport& Report(const std::string& Path);
  const std::vector<TSpot>& Spots(const std::string& Path);
  // The printed chart: the map with the chart tracer's lines (which never
  // cross), their safety line, the depth picture's colours, the title.
  TChartSheet Sheet(const std::string& Path);
  // The chart's title: the files loaded.
  const std::string& Title();

  // What was derived and is worth a line of its own (the relief, the
  // safety depth), in the order it was made: a caption and a line.
  std::vector<std::pair<std::string, std::string>> Notes;

 private:
  bool Decorated() const;

  const TMapResults& fResults;
  const TExportRequest& fRequest;
  TFeedback& fFeedback;

  std::optional<TExportGrid> fGrid;
  std::optional<TExportSamples> fSamples;
  std::optional<std::vector<TGeoLine>> fShoreline;
  std::optional<TDistanceArray> fDistances;
  std::optional<TPixelArray<float>> fLight;
  std::unique_ptr<TGPX> fSafety;
  std::optional<TCanvas> fShaded;  // shaded and hatched
  std::optional<TCanvas> fDepthPicture;
  std::optional<TCanvas> fContourPicture;
  std::optional<TLakeReport> fReport;
  std::optional<std::vector<TSpot>> fSpots;
  std::optional<TPixelCoordinates> fNodes;
  std::optional<std::vector<TChartLine>> fChartLines;
  std::optional<std::vector<TChartLine>> fChartSafety;
  std::optional<std::string> fTitle, fSubtitle;
};

}  // namespace sondralis
