#include "corrections/LoadCorrections.h"

#include <cmath>

#include "model/Numbers.h"

namespace sondralis {

namespace {

long long CountReadings(TGPX& Doc) {
  long long n = 0;
  ForEachRecording(Doc, [&](TGPXtrkseg& segment) {
    for (const TPoint4D2* p : segment) n += p->HBdepth != 0;
  });
  return n;
}

std::string Readings(long long n) { return std::to_string(n) + (n == 1 ? " reading" : " readings"); }

// "; 3 of them are now 0 cm or less": a correction that leaves readings
// without depth says so, as the map would show them as dry land.
std::string NotPositive(const TReadingsChanged& changed) {
  if (changed.NotPositive == 0) return {};
  return "; " + std::to_string(changed.NotPositive) + " of them " + (changed.NotPositive == 1 ? "is" : "are") +
         " now 0 cm or less";
}

}  // namespace

std::string FormatCm(double Cm) { return FormatNumber(std::round(Cm * 10) / 10 + 0.0); }

TCorrectionResult CorrectReadings(TGPX& Doc, const std::string& FileName, const TReadingCorrections& Corrections) {
  TCorrectionResult out;
  if (!Corrections.Any()) return out;
  const long long readings = CountReadings(Doc);
  if (readings == 0) {
    if (Corrections.LevelCm)
      out.Notes.push_back(FileName + ": water level " + FormatCm(*Corrections.LevelCm) +
                          " cm not applied: the file holds no depth readings");
    return out;
  }
  if (Corrections.Despike) {
    out.Spikes = Despike(Doc, TDespikeOptions{});
    out.Notes.push_back(FileName + ": " + std::to_string(out.Spikes.Removed) +
                        (out.Spikes.Removed == 1 ? " spike" : " spikes") + " removed of " +
                        Readings(out.Spikes.Readings));
  }
  if (Corrections.TransducerCm != 0) {
    out.Transducer = AddToReadings(Doc, Corrections.TransducerCm);
    out.Notes.push_back(FileName + ": transducer depth " + FormatCm(Corrections.TransducerCm) + " cm added to " +
                        Readings(out.Transducer.Readings) + NotPositive(out.Transducer));
  }
  if (Corrections.LevelCm) {
    out.Level = AddToReadings(Doc, *Corrections.LevelCm);
    out.Notes.push_back(FileName + ": water level " + FormatCm(*Corrections.LevelCm) + " cm added to " +
                        Readings(out.Level.Readings) + NotPositive(out.Level));
  }
  if (Corrections.LevelTable) {
    out.Gauge = ApplyGaugeLevels(Doc, *Corrections.LevelTable, Corrections.DatumCm, FileName);
    if (!out.Gauge.Applied) {
      out.Error = out.Gauge.Error;
      return out;
    }
    out.Notes.push_back(FileName + ": " + Readings(out.Gauge.Readings) + " corrected by the gauge table, " +
                        FormatCm(out.Gauge.SmallestCm) + " to " + FormatCm(out.Gauge.LargestCm) + " cm (datum " +
                        FormatCm(out.Gauge.DatumCm) + " cm)");
  }
  return out;
}

}  // namespace sondralis
