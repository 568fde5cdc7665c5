#pragma once

// Survey sessions: the readings that share one water level. A session is
// one loaded file, or one day (UTC) of a file whose points carry times.

#include <span>
#include <string>
#include <vector>

#include "model/GPX.h"

namespace sondralis {

struct TSurveySession {
  std::string Name;  // "lake.gpx", or "lake.gpx 2026-06-13" for a day of it
  // The readings in recording order, cut where a segment ends or its day
  // changes: consecutive readings of a run are neighbours along the track.
  std::vector<std::vector<TPoint4D2*>> Runs;

  long long Readings() const;
};

// The sessions of one file's document: one per day its readings carry,
// in order of the days, and one more for readings without a time; just one
// named FileName when no reading has a time. Outlines and points without a
// reading take no part.
std::vector<TSurveySession> SplitSessions(TGPX& Doc, const std::string& FileName);
// The same for some tracks of a document: those one file brought.
std::vector<TSurveySession> SplitSessions(std::span<TGPXtrk* const> Tracks, const std::string& FileName);

// Adds Cm to every reading of the session.
void ApplySessionOffset(TSurveySession& Session, double Cm);

}  // namespace sondralis
