#pragma once

// The water level of each survey session, estimated from the data: where
// tracks of two sessions cross or pass within a few metres, both measured
// the same bottom, so the difference of their readings there is the
// difference of the water levels (plus noise). One offset per session
// makes all of them agree as well as possible: least squares over all
// crossings, the first session fixed at 0.

#include <string>
#include <vector>

#include "corrections/SurveySessions.h"
#include "model/Feedback.h"

namespace sondralis {

struct TLevelEstimateOptions {
  double Radius = 5;     // metres: tracks this close count as crossing
  double MinAngle = 30;  // degrees: tracks meeting at a shallower angle do not count
  // Each track must run on from the crossing for ClearReach metres both
  // ways and end up at least ClearSide metres off the other on either side.
  double ClearReach = 25;
  double ClearSide = 8;
  // One of the two ways may be as short as this (a track that ends or
  // turns away just past the other); ClearReach or more turns it off.
  double ShortReach = 25;
  double MaxStep = 25;      // metres: readings further apart are no track between them
  double PlaceSize = 20;    // metres: crossings of two sessions closer than this are one place
  double ReadingNoise = 6;  // cm: noise of a reading
  // The GPS error of a position: metres in each direction, and the seconds
  // over which it wanders (receivers drift slowly, so the errors of
  // readings taken close in time are nearly the same).
  double PositionError = 2;
  double PositionTime = 60;
  // Readings without a time are placed in time by the way along their
  // session, at this speed in metres a second.
  double SurveySpeed = 2.5;
  int FewCrossings = 20;  // an estimate resting on fewer is reported as weak
  // A session that crosses the others fewer than FewCrossings times (a
  // loop along the shore, say, meeting the ends of the others' lines) is
  // also compared with each of them wherever their readings lie within
  // OverlapRadius metres of its own, every PlaceSize metres along it: a
  // plane with one level for each of the two is fitted to both sessions'
  // readings there. Kept where that fit tells the difference of the two
  // levels to within OverlapError cm (the readings' noise alone).
  double OverlapRadius = 15;
  double OverlapError = 5;
  double Uncertain = 3;   // cm: a standard error from this on is reported
};

// One place where two sessions meet.
struct TCrossing {
  int SessionA = 0, SessionB = 0;  // SessionA < SessionB
  double Latitude = 0, Longitude = 0;
  // cm, the two sessions' depths there: medians of five readings,
  // interpolated along each track and carried to the middle between them
  // by the slope of the bottom
  double DepthA = 0, DepthB = 0;
  double Distance = 0;            // m between the two tracks
  double SigmaCm = 0;             // expected error of DepthB - DepthA: noise, slope times distance
  double SlopeX = 0, SlopeY = 0;  // cm per m east and north: the bottom's gradient there
  double TimeA = 0, TimeB = 0;    // s: when each session passed (from its first reading)
  // True for an overlap: the depths are the two levels of a plane fitted
  // to both sessions' readings around the place, not a crossing of tracks.
  bool Overlap = false;
};

// Finds the crossings between different sessions, at most one per place
// and pair of sessions (the one with the smallest expected error), and the
// overlaps of sessions that cross too rarely (TLevelEstimateOptions).
// Checks Feedback's cancellation and throws TCanceled.
std::vector<TCrossing> FindCrossings(const std::vector<TSurveySession>& Sessions, const TLevelEstimateOptions& Options,
                                     TFeedback& Feedback);

struct TSessionLevel {
  std::string Name;
  // False for a session whose tracks meet no other session's: its level
  // cannot be known from the data, and OffsetCm is 0.
  bool Estimated = false;
  // Sessions linked by chains of crossings form a group levelled to its
  // first session; the group of the first session of all is levelled to
  // it. For the other groups, the name of the session whose level the
  // group takes (its own name for that session itself); empty otherwise.
  std::string Reference;
  double OffsetCm = 0;    // to be added to every reading of the session
  int Crossings = 0;      // places the estimate rests on
  int Overlaps = 0;       // how many of them are overlaps, not crossings
  double ResidualCm = 0;  // root mean square of the disagreement left at them
  double StdErrorCm = 0;  // standard error of OffsetCm
};

struct TLevelEstimate {
  std::vector<TSessionLevel> Sessions;  // in the order given; the first of each group has offset 0
  std::vector<TCrossing> Crossings;
};

// Estimates the offsets: a generalised least squares over the crossings, in
// which the disagreements at crossings one session passed at nearly the
// same time share that session's GPS error (times the bottom's slope
// there), so that a cluster of such crossings counts about as one and the
// standard errors say what the data can tell; made robust by letting
// crossings whose disagreement stays far off after the fit count less. A
// session recorded when the water stood 30 cm higher than in the first
// session gets -30. Each group of sessions linked by crossings is levelled
// to its first session, which keeps its readings (the first session of all
// for its group). Logs one line per session to Feedback. Changes no
// reading.
TLevelEstimate EstimateLevels(const std::vector<TSurveySession>& Sessions, const TLevelEstimateOptions& Options,
                              TFeedback& Feedback);

// The line logged for a session: "lake.gpx 2026-06-14: offset -30.2 cm
// from 57 crossings, residual 4.1 cm" (or why it has none).
std::string DescribeSessionLevel(const TSessionLevel& Level, const TLevelEstimateOptions& Options);

}  // namespace sondralis
