#pragma once

// Spots worth a cast, found on the depth grid: holes and humps (local
// extremes that stand out by at least a given prominence) and drop-offs
// (the steepest places), as waypoints for GPS programs (spots.gpx) and for
// the unit's card (spots.hwr).

#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "model/Feedback.h"

namespace sondralis {

enum class TSpotKind { Hole, Hump, DropOff };

struct TSpot {
  TSpotKind Kind = TSpotKind::Hole;
  TLonLat Position;        // the centre of the cell
  double Depth = 0;        // centimetres at the spot
  double Prominence = 0;   // centimetres: below (hole) or above (hump) the saddle to deeper or
                           // shallower water, or a drop-off's height
  double Top = 0;          // a drop-off's depth at its upper edge, centimetres
  double Bottom = 0;       // and at its lower edge
  double Slope = 0;        // a drop-off's steepest slope, metres per metre
  std::string Name;        // at most 12 characters, unique among the spots: "Hole 14.2m"
  std::string Description; // "hole 14.2 m", "hump 5.1 m", "drop-off 3→9 m"
};

struct TSpotSettings {
  double MinProminence = 100;  // centimetres a hole or hump must stand out, and a drop-off must fall
  double MinSlope = 0.1;       // metres per metre where a drop-off is steepest: 1 m over 10 m
  int MaxDropOffs = 8;
  double DropOffSpacing = 100;  // metres at least between two drop-offs
};

// The spots of the grid's covered cells. A hole is a cell deeper than all
// its neighbours whose prominence (how far it lies below the lowest saddle
// over which deeper water can be reached, or below the shallowest covered
// cell when there is none) is at least MinProminence; a hump the same
// upside down. An extreme on the edge of the coverage is left out: the
// bottom beyond it is unknown. Drop-offs are the steepest cells of slope at
// least MinSlope, at most MaxDropOffs of them DropOffSpacing apart, each
// followed down and up its slope until the slope falls below half of
// MinSlope; one that falls less than MinProminence is left out. Holes come
// deepest first, humps shallowest first, drop-offs steepest first. Checks
// for cancellation (throws TCanceled).
std::vector<TSpot> FindSpots(const TExportGrid& Grid, const TSpotSettings& Settings, TFeedback& Feedback);

// Writes the spots as GPX 1.1 waypoints to Path, atomically: name,
// description, the Humminbird symbol (Fish for a hole, Rock for a hump,
// Flag for a drop-off) and the depth in whole centimetres as the sounder's
// depth element. Throws EFileError.
void WriteSpotsGPX(const std::string& Path, const std::vector<TSpot>& Spots);

}  // namespace sondralis
