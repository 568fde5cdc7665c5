#pragma once

// The lake's figures that limnologists and fisheries staff compute by hand:
// surface, surveyed share, volume, mean and greatest depth, the area of each
// depth band, and the hypsographic curve (area and volume below each depth),
// as report.csv for spreadsheets and report.json for programs.

#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "exports/SoundingDistance.h"
#include "model/Feedback.h"

namespace sondralis {

// One contour step of the hypsographic curve.
struct TDepthLevel {
  int Depth = 0;            // centimetres
  double BandArea = 0;      // m² of bottom from this depth to the next level
  double AreaDeeper = 0;    // m² of bottom at this depth or deeper
  double VolumeBelow = 0;   // m³ of water below this depth
};

// Areas, volumes and depths over the surveyed water: the covered cells of
// the grid, each with its area on the ellipsoid and its depth (a depth
// below 0 counting as 0). NaN marks what cannot be known: the lake's
// surface without a shoreline, distances without soundings.
struct TLakeReport {
  double LakeArea = 0;          // m² inside the shoreline (islands taken away)
  double SurveyedArea = 0;      // m² of covered cells
  double SurveyedShare = 0;     // SurveyedArea / LakeArea
  double Volume = 0;            // m³ of water over the surveyed area
  double MeanDepth = 0;         // centimetres: Volume / SurveyedArea
  double GreatestDepth = 0;     // centimetres, of the grid
  double GreatestSounding = 0;  // centimetres, of the soundings
  double MeanDistance = 0;      // metres from the surveyed water to the nearest sounding, area-weighted
  int Soundings = 0;
  int Step = 0;                 // centimetres between levels
  std::vector<TDepthLevel> Levels;  // 0, Step, 2·Step, ... up to the greatest depth
};

// The report of a map. Distances are the grid's NearestSoundingDistances
// (empty: none); Shoreline the rings of ShorelineRings (none: no lake
// surface); Step the contour step in centimetres, at least 1. Throws
// std::invalid_argument for a step below 1.
TLakeReport ComputeLakeReport(const TExportGrid& Grid, const TDistanceArray& Distances, const TExportSamples& Samples,
                              const std::vector<TGeoLine>& Shoreline, int Step, TFeedback& Feedback);

// report.csv: the summary as lines "quantity,value,unit" (an unknown value
// empty), a blank line, then the levels with the columns depth_m,
// band_area_m2, area_deeper_m2, volume_below_m3.
std::string EncodeReportCSV(const TLakeReport& Report);
// report.json: the same figures under names carrying their units, the
// levels as an array, unknown values as null.
std::string EncodeReportJSON(const TLakeReport& Report);

// Writes both files; each is replaced only when both are complete. Throws
// EFileError.
void WriteLakeReport(const std::string& CsvPath, const std::string& JsonPath, const TLakeReport& Report);

}  // namespace sondralis
