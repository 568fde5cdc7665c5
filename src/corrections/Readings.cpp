#include "corrections/Readings.h"

#include <algorithm>
#include <cmath>

namespace sondralis {

bool IsRecording(const TGPXtrkseg& Segment) {
  return std::any_of(Segment.begin(), Segment.end(),
                     [](const TPoint4D2* p) { return p->HBdepth != 0 && !std::isnan(p->HBdepth); });
}

TReadingsChanged AddToReadings(TGPX& Doc, double Cm) {
  TReadingsChanged out;
  if (Cm == 0) return out;
  ForEachRecording(Doc, [&](TGPXtrkseg& segment) {
    for (TPoint4D2* p : segment) {
      if (p->HBdepth == 0) continue;
      p->HBdepth += Cm;
      ++out.Readings;
      if (!(p->HBdepth > 0)) ++out.NotPositive;
    }
  });
  return out;
}

std::string DepthlessFileNote(const TGPX& Doc, const std::string& FileName) {
  long long points = 0, negative = 0;
  for (const TGPXtrk* track : Doc.trk)
    for (const TGPXtrkseg* segment : *track)
      for (const TPoint4D2* p : *segment) {
        ++points;
        negative += p->Altitude < 0;
      }
  std::string note = FileName + ": no depth readings; loaded as a shoreline";
  if (negative > 0 && negative * 2 >= points)
    note += " (" + std::to_string(negative) + " of its " + std::to_string(points) +
            " points have a negative elevation: depths in metres written as <ele>?)";
  return note;
}

}  // namespace sondralis
