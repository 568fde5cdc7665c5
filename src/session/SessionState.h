#pragma once

// The plain state types of a session: the settings the window's fields
// hold, which commands are enabled, and the panes.

#include <optional>
#include <string>

#include "interpolation/InterpolationRun.h"
#include "contours/ContourTracer.h"

namespace sondralis {

// What the window's fields hold; the window writes them before calling a
// command. Texts stay texts, as the user typed them: the command that reads
// one checks it, refuses a value it cannot use with a message, and hands the
// project its typed settings (TProjectSettings).
struct TSessionSettings {
  std::string InterpolationWidth = "30";  // edtInterpolationWidth: band width in pixels, 0 to 999
  int InterpolatorStyle = 8;              // tbInterpolatorStyle: power of the weights, 2 to 14
  int InterpolateThrds = 1;               // tbInterpolateThrds: workers, 1 to the CPU count
  // The "Method" choice beside the style slider, which applies to Shepard only.
  TInterpolationMethod InterpolationMethod = TInterpolationMethod::Shepard;
  double InterpolationTolerance = kMapTolerance;  // no field: Shepard's tolerance in centimetres
  std::string IsoStep = "100";            // edtIsoStep: centimetres between contour levels
  std::string TrackName = "NewTrack";     // edtTrackName: name of the contour HT tracks
  bool ReduceWaypoints = false;           // cbReduceWaypoints
  bool AddDepth = false;                  // cbAddDepth: ask for a depth for files without one
  bool AddOffset = false;                 // cbAddOffset: ask for a depth offset per GPX file
  // Corrections of the readings while files load, and the shoreline's part
  // in the map: all off by default, the shoreline at depth 0.
  std::string TransducerDepth = "0";  // centimetres below the surface, 0 or more
  bool Despike = false;               // remove spikes from the readings
  bool DepthFromElevation = false;    // GPX files without depth take -ele x 100 as depths
  bool AutoLevel = false;             // level each batch of files where its tracks cross the loaded ones
  std::string ShoreDepth = "0";       // centimetres, or "none": the shoreline adds no samples
  bool KeepOutside = false;           // map soundings outside the shoreline too
  // The water level from a gauge: the path of a `time,level_cm` table (empty:
  // none) and its datum in centimetres (empty: the table's lowest level).
  std::string LevelTable;
  std::string LevelDatum;
  // ISO Contour tab: contours like a chart.
  std::optional<TContourTracer> IsoTracer;  // the tracer choice; nothing: by the interpolation method
  std::string IsoMinRing;                   // ring limit in pixels, 0 to 9999; empty: the tracer's default
  bool IsoSmooth = false;                   // smoothing safe for a boat (kSmoothPasses passes)
  bool IsoLabels = true;                    // depth labels on the chart tracer's picture and KML
  bool ChartTracks = false;                 // "Save Chart..." draws the survey tracks

  bool operator==(const TSessionSettings&) const = default;
};

// The extrapolation radius in the text of its field: a whole number of
// pixels from 0 to 999, or nothing; RadiusError says what is wrong.
std::optional<int> ParseInterpolationRadius(const std::string& Text);
std::string RadiusError(const std::string& Text);

// The transducer's depth in the text of its field: centimetres from 0 to
// 10000, or nothing; TransducerError says what is wrong.
std::optional<double> ParseTransducerDepth(const std::string& Text);
std::string TransducerError(const std::string& Text);

// The commands whose buttons change state. "Apply", the check boxes, the
// fields and the sliders are always usable.
struct TButtonStates {
  // "Add Files..." (and dropping files, opening a project), "Start over"
  // and the two colour swatches: usable unless a long command that lets
  // the window's events run (ISO Map, an HT export) or an interpolation is
  // going, which would ignore them.
  bool btnAddFiles = true;
  bool btnStartOver = true;
  bool imgShallowColor = true;
  bool imgDeepColor = true;
  // Source Tracks: enabled by the first load, never disabled again.
  bool btnTrkZoomIn = false;
  bool btnTrkZoomOut = false;
  bool btnTrkFit = false;
  bool btnTrkZoom = false;
  bool btnTrkSaveGPX = false;
  bool btnTrkDelete = false;
  bool btnTrkSaveHT = false;
  // Interpolated Map.
  bool btnInterpolate = false;
  bool btnInterpolSaveBMP = false;
  bool btnCheckAccuracy = false;  // "Check accuracy"
  // ISO Contour.
  bool btnIsoMap = false;
  bool btnIsoSaveBMP = false;
  bool btnIsoSaveGPX = false;
  bool btnIsoSaveChart = false;  // "Save Chart...": an interpolated map to chart
  // HT Contour.
  bool btnCreateHT = false;
  bool btnHtFit = false;
  bool btnHtZoom = false;
  bool btnHtZoomDown = false;  // "Zoom Area" shown pressed while armed

  bool operator==(const TButtonStates&) const = default;
};

// The four map panes.
enum class TPane {
  Tracks,        // Source Tracks: GPXImage, drawn by GPXView
  Interpolated,  // Interpolated Map picture
  IsoMap,        // ISO Contour picture
  HTTracks,      // HT Contour: IsoImage, drawn by IsoView
};

// The cursor an interactive pane shows when the window is not busy.
enum class TPaneCursor {
  Default,  // the HT Contour pane at rest
  Move,     // the Source Tracks pane at rest: dragging pans
  Cross,    // a rectangle is to be dragged (zoom or cutter)
};

}  // namespace sondralis
