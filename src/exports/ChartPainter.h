#pragma once

// The chart: the interpolated depths as a picture for people, with the
// contour lines and their depth labels over it, the shoreline, optionally
// the survey tracks, a legend of the colours in metres, a scale bar in
// metres, a north arrow and a title. Painted with Qt's painter on any paint
// device (a QImage for chart.png, a QPdfWriter page for print), antialiased:
// this is not the pixel grid of the pipeline but a picture to read.

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

#include "contours/ChartTracer.h"
#include "contours/ContourLabels.h"
#include "exports/ExportGrid.h"
#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardThread.h"
#include "model/ColorInterpolate.h"
#include "model/GPX.h"

namespace sondralis {

// What the chart shows. The pointers must stay valid while it is painted.
struct TChartContent {
  const TDepthArray* Depths = nullptr;         // the run's depths, NaN where none
  const TPixelCoordinates* Grid = nullptr;     // position of each column and row of Depths
  const std::vector<TChartLine>* Lines = nullptr;  // contour lines in pixels of Depths; may be null
  int Step = 100;                              // centimetres between levels
  int MaxDepth = 0;                            // centimetres of the deep colour
  TColor Shallow = 0x0000FF;                   // depth colours as the depth picture has them
  TColor Deep = 0xFF0000;
  std::vector<TGeoLine> Shoreline;             // closed outlines of the water
  std::vector<TGeoLine> Tracks;                // the survey, drawn when ShowTracks
  bool ShowTracks = false;
  std::string Title;                           // the file names
  std::string Subtitle;                        // the dates of the soundings
  // Drawn in place of the depth colours when given: a picture of the depth
  // grid at any resolution, its edges on the grid's outer cell edges (the
  // printed chart's raster at the paper's resolution, shaded or hatched);
  // transparent where there is no depth.
  const QImage* Picture = nullptr;
  // The safety contour, in pixels of Depths: drawn bold in SafetyColor over
  // the contour lines.
  const std::vector<TChartLine>* SafetyLines = nullptr;
  TColor SafetyColor = 0xFF00FF;
  // Every line and halo opaque. A PDF keeps an opaque stroke as a line;
  // a translucent one Qt turns into a filled outline, which makes the page
  // many times larger and slower to write and to print.
  bool OpaqueLines = false;
};

// The shoreline and the survey tracks of a loaded document: a segment whose
// points all have depth 0 (or none) is an outline of the water, as the map
// view draws it; every other segment is a survey track.
void SplitOutlines(const TGPX& Loaded, std::vector<TGeoLine>& Shoreline, std::vector<TGeoLine>& Tracks);

// The title lines of a chart: the names of the files (without folders) and
// the dates the soundings were taken, "Soundings of 2024-05-12" or
// "Soundings of 2024-05-12 to 2024-06-03" (UTC days), or "Soundings
// without dates" when no sounding carries a time.
void ChartTitle(const std::vector<std::string>& Files, const TGPX& Loaded, std::string& Title,
                std::string& Subtitle);

// Where PaintChart puts everything on a page. Positions are in the page's
// coordinates.
struct TChartLayout {
  double TextSize = 0;      // pixel size of the body text
  QRectF Header;            // title, subtitle and the line on units and contours
  QRectF Map;               // the map's frame
  double PixelsPerMetre = 0;  // the map's scale, across and up alike
  double MetresPerColumn = 0, MetresPerRow = 0;  // the grid's cells on the ground
  QRectF Legend, ScaleBox, North;  // in corners of the map, where the water is least
  QRectF Bar;               // the scale bar within ScaleBox
  double ScaleMetres = 0;   // the distance the bar stands for
  std::vector<double> LegendDepths;  // centimetres written beside the colour bar
  std::vector<TChartLine> PageLines;  // the contour lines on the page
  std::vector<TContourLabel> Labels;  // their labels on the page

  // A position of the depth grid on the page (node (i, j) at the middle of
  // its cell).
  QPointF FromGrid(double Column, double Row) const;
  // A geographic position on the page.
  QPointF FromLonLat(double Longitude, double Latitude) const;

  double Lon0 = 0, Lat0 = 0, LonStep = 0, LatStep = 0;  // the grid's first node and spacing
};

// The layout of the chart on a page: what PaintChart paints where. Throws
// std::invalid_argument when the content has no depths or no grid of their
// size, std::logic_error when no QGuiApplication runs (fonts need one).
TChartLayout LayoutChart(const QRectF& Page, const TChartContent& Content, double TextSize = 0);

// Paints the chart into Page on the painter's device: title and subtitle at
// the top, below them the map at its true shape (a metre is as long across
// as up), with the legend, scale bar and north arrow in the corners of the
// map where the water is least. Text sizes follow the page's size.
// TextSize is the pixel size of the body text; 0 takes a size from the page.
void PaintChart(QPainter& Painter, const QRectF& Page, const TChartContent& Content, double TextSize = 0);

// The same with the layout LayoutChart made for this page and content, for
// a caller that needs it before painting (to size a picture for the map).
void PaintChart(QPainter& Painter, const QRectF& Page, const TChartLayout& Layout, const TChartContent& Content);

// The chart as a picture Width pixels wide, as tall as the map's shape and
// the title need.
QImage RenderChart(const TChartContent& Content, int Width);

// Writes RenderChart as a PNG file atomically; throws EFileError.
void SaveChartPNG(const std::string& Path, const TChartContent& Content, int Width);

}  // namespace sondralis
