#pragma once

// chart.mbtiles: the chart as web-mercator raster tiles, which phone and
// plotter apps show offline over their own base map.

#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "model/ColorInterpolate.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"

namespace sondralis {

// What the chart shows, over transparent ground: the depth picture on the
// covered cells, the contour lines, the shoreline, and the safety contour.
struct TChartLayers {
  const TCanvas* Picture = nullptr;     // the depth picture in the grid's pixels (shaded, hatched as wanted)
  const TGPX* Contours = nullptr;       // drawn thin in ContourColor
  std::vector<TGeoLine> Shoreline;      // closed rings, drawn in ShoreColor
  const TGPX* Safety = nullptr;         // drawn bold in SafetyColor
  TColor ContourColor = 0x202020;
  TColor ShoreColor = 0x404040;
  TColor SafetyColor = 0xFF00FF;
};

// The zoom levels of the tiles: the finest is the first whose pixels are no
// larger on the ground than the grid's cells (nothing of the map is lost),
// the coarsest the first at which the survey is at least 64 pixels across
// (a recognisable shape on a phone). At most 64 million pixels are drawn at
// the finest level; a larger survey gets a coarser finest level.
struct TZoomLevels {
  int Min = 0;
  int Max = 0;
};
TZoomLevels ChartZoomLevels(const TExportGrid& Grid);

// Writes the chart as an MBTiles file (PNG tiles with transparency, type
// overlay, Name as its name, the grid's extent as its bounds) to Path,
// atomically. The finest level is drawn from the layers; the coarser ones
// are averaged from it. Throws EFileError, and std::invalid_argument for a
// picture that is not of the grid's size.
void WriteChartMBTiles(const std::string& Path, const TExportGrid& Grid, const TChartLayers& Chart,
                       const std::string& Name, TFeedback& Feedback);

}  // namespace sondralis
