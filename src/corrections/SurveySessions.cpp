#include "corrections/SurveySessions.h"

#include <cmath>
#include <map>

#include "corrections/Readings.h"
#include "model/DateTime.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

constexpr long long kNoDay = -1;

long long DayOf(const TPoint4D2& p) {
  if (p.DateTime == 0) return kNoDay;
  return static_cast<long long>(std::floor(p.DateTime));
}

std::string DayName(long long day) {
  const DateTimeParts d = DecodeDateTime(static_cast<TDateTime>(day));
  return FormatPadded(d.Year, 4) + "-" + FormatPadded(d.Month, 2) + "-" + FormatPadded(d.Day, 2);
}

}  // namespace

long long TSurveySession::Readings() const {
  long long n = 0;
  for (const auto& run : Runs) n += static_cast<long long>(run.size());
  return n;
}

std::vector<TSurveySession> SplitSessions(TGPX& Doc, const std::string& FileName) {
  const std::vector<TGPXtrk*> tracks(Doc.trk.begin(), Doc.trk.end());
  return SplitSessions(tracks, FileName);
}

std::vector<TSurveySession> SplitSessions(std::span<TGPXtrk* const> Tracks, const std::string& FileName) {
  std::map<long long, TSurveySession> byDay;  // kNoDay sorts first
  const auto recordings = [&](auto visit) {
    for (TGPXtrk* track : Tracks)
      for (TGPXtrkseg* segment : *track)
        if (IsRecording(*segment)) visit(*segment);
  };
  recordings([&](TGPXtrkseg& segment) {
    std::vector<TPoint4D2*>* run = nullptr;
    long long runDay = 0;
    for (TPoint4D2* p : segment) {
      if (p->HBdepth == 0) continue;
      const long long day = DayOf(*p);
      if (!run || day != runDay) {
        run = &byDay[day].Runs.emplace_back();
        runDay = day;
      }
      run->push_back(p);
    }
  });
  std::vector<TSurveySession> out;
  const bool timed = byDay.size() > 1 || (byDay.size() == 1 && byDay.begin()->first != kNoDay);
  // Days first, in order; the readings without a time after them.
  for (auto& [day, session] : byDay) {
    if (day == kNoDay) continue;
    session.Name = FileName + " " + DayName(day);
    out.push_back(std::move(session));
  }
  if (auto it = byDay.find(kNoDay); it != byDay.end()) {
    it->second.Name = timed ? FileName + " (no time)" : FileName;
    out.push_back(std::move(it->second));
  }
  return out;
}

void ApplySessionOffset(TSurveySession& Session, double Cm) {
  for (auto& run : Session.Runs)
    for (TPoint4D2* p : run) p->HBdepth += Cm;
}

}  // namespace sondralis
