#pragma once

// The plain state types of a session: the settings the window's fields
// hold, which commands are enabled, and the panes.

#include <optional>
#include <string>

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
  std::string IsoStep = "100";            // edtIsoStep: centimetres between contour levels
  std::string TrackName = "NewTrack";     // edtTrackName: name of the contour HT tracks
  bool ReduceWaypoints = false;           // cbReduceWaypoints
  bool AddDepth = false;                  // cbAddDepth: ask for a depth for files without one
  bool AddOffset = false;                 // cbAddOffset: ask for a depth offset per GPX file
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

// The commands whose buttons change state. "Add Files...", "Start over",
// "Apply", the check boxes, the fields and the sliders are always usable.
struct TButtonStates {
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
