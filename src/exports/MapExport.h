#pragma once

// The export step: everything a depth map can be written as (pictures, the
// depth grid, the samples, the tracks and contours as GPX and KML, the HT
// files for the unit), described by a typed request and published all or
// nothing. sondralis-cli map writes the whole set into its folder; the
// window's "Save Image..." and "Save Tracks..." write one file each through
// the same step.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "exports/ChartPDF.h"
#include "exports/Publication.h"
#include "interpolation/CommonTypes.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/ShepardInterp.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

struct TChartContent;

// What an export writes from: the results of a depth map. The pointers
// refer to the project's state and must outlive the export; an output whose
// source is missing is refused.
struct TMapResults {
  TGPX* SourceTracks = nullptr;          // the loaded tracks (the GPX writer borrows them)
  TGPX* Contours = nullptr;              // the contour lines (a reduction for one HT file replaces their tracks)
  const TCanvas* DepthPicture = nullptr;    // the interpolated depth picture
  const TCanvas* ContourPicture = nullptr;  // the contour picture
  const TDepthArray* Depths = nullptr;   // depths of the run in centimetres, NaN where not covered
  TGridExtent Extent;                    // the grid of the run's picture
  TPointList SampleCoord;                // the samples of the run
  TValueList SampleDepth;
  int MaxDepth = 0;                      // the deep end of the colour ramp (KML colours)
  TColor clShallow = clRed;
  TColor clDeep = clBlue;

  // What the exports for other programs read beside: the run's coverage
  // mask, the view its picture was made in (the safety contour is traced
  // through the picture as the contours were), the picture's colour ramp,
  // how many of the samples are the shoreline's (they come first), the
  // contour step, and the files loaded (the chart's title).
  const TBooleanArray* Mask = nullptr;
  const TGPXDraw* Grid = nullptr;
  int PictureMaxDepth = 0;
  TColor PictureShallow = clRed;
  TColor PictureDeep = clBlue;
  int ShoreSamples = 0;
  int Step = 100;
  std::vector<std::string> Inputs;
  // The chart tracer's contours: the step their KML names and labels are
  // written for (0: the plain KML), and the chart picture and its width.
  int ContourLabelStep = 0;
  // The contours are the chart tracer's, whose lines never meet: an HT
  // reduction keeps them apart.
  bool ContoursApart = false;
  const TChartContent* Chart = nullptr;
  int ChartWidth = 1600;
};

// The kinds of output.
enum class TOutput {
  DepthPicture,    // the depth picture, BMP or JPEG by the file's extension
  ContourPicture,  // the contour picture, BMP or JPEG by the file's extension
  DepthGrid,       // the depths as an Esri ASCII grid
  GridProjection,  // the grid's projection file: WGS 84
  Samples,         // the samples of the run, lon,lat,depth
  SourceTracks,    // the loaded tracks as GPX
  ContourTracks,   // the contour lines as GPX, every point with its level
  ContourKML,      // the contour lines for Google Earth
  ContourHT,       // the contour lines for the unit: 000.ht, 001.ht, ... (the name is not used)
  SourceHT,        // the loaded tracks as one HT file
  // For other programs:
  DepthGeoTIFF,       // the depths and each cell's distance to a sounding as a GeoTIFF (depth.tif)
  ContourGeoPackage,  // the contours, the soundings and the safety contour as a GeoPackage (contours.gpkg)
  ContourShapefile,   // the contours as a shapefile set: the .shp named, its .shx, .dbf, .prj and .cpg beside
  ChartMBTiles,       // the chart as web-mercator tiles (chart.mbtiles)
  ChartPDF,           // the chart to print, on the request's paper (chart.pdf)
  SpotsGPX,           // holes, humps and drop-offs as GPX waypoints (spots.gpx)
  SpotsHWR,           // the same as the unit's waypoint file (spots.hwr)
  ReportCSV,          // the lake's figures for spreadsheets (report.csv)
  ReportJSON,         // the same for programs (report.json)
  ChartPicture,        // the chart (ChartPainter) as PNG
};

// The exports for other programs a user picks at once (sondralis-cli map's
// options, the window's "Export..."), and how the pictures look.
struct TExportChoice {
  bool GeoTIFF = false;     // depth.tif
  bool GeoPackage = false;  // contours.gpkg
  bool Shapefile = false;   // contours.shp, .shx, .dbf, .prj, .cpg
  bool MBTiles = false;     // chart.mbtiles
  bool PDF = false;         // chart.pdf
  bool Spots = false;       // spots.gpx, spots.hwr
  bool Report = false;      // report.csv, report.json
  TPaper Paper = TPaper::A4;
  double Relief = 0;        // vertical exaggeration of the shaded relief; 0: none
  int SafetyDepth = 0;      // centimetres; 0: none

  bool Any() const noexcept { return GeoTIFF || GeoPackage || Shapefile || MBTiles || PDF || Spots || Report; }
  // The outputs that draw the contour lines of an ISO map run.
  bool NeedsContours() const noexcept { return GeoPackage || Shapefile; }
};

struct TOutputFile {
  TOutput What = TOutput::DepthPicture;
  std::string Name;  // the file's name in the request's folder
};

// A typed description of what to write where.
struct TExportRequest {
  std::string Folder;               // where the files go; made when missing
  std::vector<TOutputFile> Files;   // what goes there, in order
  std::string TrackName = "NewTrack";  // the HT files' track name
  bool ReduceWaypoints = false;        // thin the contours until they fit one HT file
  // How the pictures and charts look: shaded relief over the depth picture
  // and the charts (the vertical exaggeration; 0 none), and a safety depth
  // in centimetres (0 none) whose shallower water is hatched in every
  // picture, whose contour is drawn bold there and written as its own
  // folder or layer in contours.kml and contours.gpkg. chart.pdf's paper.
  double Relief = 0;
  int SafetyDepth = 0;
  TPaper Paper = TPaper::A4;

  // Everything sondralis-cli map writes into Folder: depth.bmp, depth.jpg,
  // contours.bmp, contours.gpx, contours.kml, depth.prj, depth.asc,
  // samples.csv and the HT parts.
  static TExportRequest WholeMap(const std::string& Folder, const std::string& TrackName);
  // One file, at Path.
  static TExportRequest OneFile(TOutput What, const std::string& Path);

  // Adds the chosen exports under their usual names (depth.tif,
  // contours.gpkg, contours.shp, chart.mbtiles, chart.pdf, spots.gpx and
  // spots.hwr, report.csv and report.json) and takes the choice's look.
  void Add(const TExportChoice& Choice);

  // The file names the request replaces in Folder (the HT parts aside).
  std::vector<std::string> Paths() const;
};

// An output the map's data cannot give, while the others can: HT files of
// contours spread wider than one file's steps reach, or of no contour at
// all. A request of several files leaves it out and writes the rest; a
// request of one file fails with it.
class EOutputNotMade : public EExportError {
 public:
  using EExportError::EExportError;
};

// An output left out, and why.
struct TOutputNotMade {
  std::string Name;    // "the HT files", or the file's name
  std::string Reason;  // the message of the failure
};

struct TExportResult {
  std::vector<std::string> Files;     // names written into the folder, in order of name
  std::vector<std::string> HTFiles;   // the HT parts among them, in order
  std::vector<std::string> Warnings;  // what was written other than asked (a track name the unit can't show)
  std::vector<std::string> StaleHTParts;  // "NNN.ht" of an earlier map the unit would load with these
  std::vector<TOutputNotMade> NotMade;    // outputs the data could not give; each also a line of Warnings
  bool ContoursReplaced = false;      // an HT reduction replaced the contours
  double Seconds = 0;                 // making and publishing the files, the HT parts aside
  double HTSeconds = 0;               // making the HT parts
  // What each export for other programs holds, as logged: a caption
  // ("GeoTIFF", "Relief", ...) and a line.
  std::vector<std::pair<std::string, std::string>> Notes;
};

// One export. A request of one file writes it straight through the atomic
// writer: the old file stays until the new one is complete. A request of
// more files (or of HT parts) makes them in a staging folder inside Folder
// and moves them into Folder together when all are made (TStagingFolder):
// when anything fails, nothing in Folder changes, except that an output the
// data cannot give (EOutputNotMade, and the HT files' own refusals) is left
// out, named in NotMade and in a warning, and the others are written.
class TMapExport {
 public:
  // Prepares the publication: makes Folder when missing, takes it for the
  // run (another run into it is refused as busy) and makes the staging
  // folder, and checks that every file of the request may be replaced
  // there, so that a folder or file that cannot be written is refused
  // before any work. Throws EExportError.
  explicit TMapExport(TExportRequest Request);
  TMapExport(const TMapExport&) = delete;
  TMapExport& operator=(const TMapExport&) = delete;
  ~TMapExport();

  const TExportRequest& Request() const noexcept { return fRequest; }

  // Makes every file and publishes them. The HT export logs its lines to the
  // feedback. Throws EExportError, EFileError or EHTConvertError (nothing is
  // published), or TCanceled when the feedback was cancelled between files.
  TExportResult Write(const TMapResults& Results, TFeedback& Feedback);

 private:
  TExportRequest fRequest;
  std::unique_ptr<TStagingFolder> fStaging;
};

// Writes one output of the results to Path through the atomic writer; the
// HT check of SourceHT logs to the feedback. Throws EExportError for an
// output whose source is missing, EFileError and EHTConvertError. ContourHT
// is several files: see TMapExport.
void WriteOutput(TOutput What, const TMapResults& Results, const std::string& Path, const std::string& TrackName,
                 TFeedback& Feedback);

}  // namespace sondralis
