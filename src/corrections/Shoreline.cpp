#include "corrections/Shoreline.h"

#include <algorithm>
#include <cmath>

#include "corrections/Readings.h"

namespace sondralis {

namespace {

bool IsOutline(const TGPXtrkseg& segment) {
  return segment.Count() > 0 && std::all_of(segment.begin(), segment.end(), [](const TPoint4D2* p) {
           return p->HBdepth == 0 || std::isnan(p->HBdepth);
         });
}

}  // namespace

bool TShoreline::TRing::Contains(double x, double y) const {
  if (Bands.empty() || y < MinY) return false;
  const auto band = static_cast<std::size_t>((y - MinY) / BandHeight);
  if (band >= Bands.size()) return false;
  bool inside = false;
  for (int e : Bands[band]) {
    const double ya = Y[static_cast<std::size_t>(e)], yb = Y[static_cast<std::size_t>(e) + 1];
    if ((ya <= y) == (yb <= y)) continue;
    const double xa = X[static_cast<std::size_t>(e)], xb = X[static_cast<std::size_t>(e) + 1];
    if (x < xa + (y - ya) / (yb - ya) * (xb - xa)) inside = !inside;
  }
  return inside;
}

TShoreline::TShoreline(const TGPX& Doc) {
  for (const TGPXtrk* track : Doc.trk)
    for (const TGPXtrkseg* segment : *track) {
      if (!IsOutline(*segment)) continue;
      TRing& ring = fRings.emplace_back();
      for (const TPoint4D2* p : *segment) {
        ring.X.push_back(p->Longitude);
        ring.Y.push_back(p->Latitude);
      }
      ring.X.push_back(ring.X.front());
      ring.Y.push_back(ring.Y.front());
      const auto [lo, hi] = std::minmax_element(ring.Y.begin(), ring.Y.end());
      const std::size_t edges = ring.X.size() - 1;
      const std::size_t bands = std::clamp<std::size_t>(edges / 4, 1, 4096);
      ring.MinY = *lo;
      ring.BandHeight = std::max((*hi - *lo) / static_cast<double>(bands), 1e-12);
      ring.Bands.resize(bands);
      for (std::size_t e = 0; e < edges; ++e) {
        const double y0 = std::min(ring.Y[e], ring.Y[e + 1]), y1 = std::max(ring.Y[e], ring.Y[e + 1]);
        const auto b0 = static_cast<std::size_t>((y0 - ring.MinY) / ring.BandHeight);
        const auto b1 = std::min(bands - 1, static_cast<std::size_t>((y1 - ring.MinY) / ring.BandHeight));
        for (std::size_t b = std::min(b0, bands - 1); b <= b1; ++b) ring.Bands[b].push_back(static_cast<int>(e));
      }
    }
  const int m = static_cast<int>(fRings.size());
  if (m == 1) fLake = 0;
  for (int i = 0; i < m; ++i)
    for (int k = 0; k < m; ++k)
      if (k != i && fRings[static_cast<std::size_t>(i)].Contains(fRings[static_cast<std::size_t>(k)].X.front(),
                                                                  fRings[static_cast<std::size_t>(k)].Y.front()))
        fLake = i;
}

bool TShoreline::OnWater(double Latitude, double Longitude) const {
  if (fRings.empty()) return true;
  if (fLake < 0 || !fRings[static_cast<std::size_t>(fLake)].Contains(Longitude, Latitude)) return false;
  for (std::size_t i = 0; i < fRings.size(); ++i)
    if (static_cast<int>(i) != fLake && fRings[i].Contains(Longitude, Latitude)) return false;
  return true;
}

TOutsideCount CountOutside(const TGPX& Doc, const TShoreline& Shore) {
  TOutsideCount out;
  for (const TGPXtrk* track : Doc.trk)
    for (const TGPXtrkseg* segment : *track) {
      if (!IsRecording(*segment)) continue;
      for (const TPoint4D2* p : *segment) {
        if (p->HBdepth == 0) continue;
        ++out.Soundings;
        out.Outside += !Shore.OnWater(p->Latitude, p->Longitude);
      }
    }
  return out;
}

std::string OutsideMessage(const TOutsideCount& Count, bool KeptOutside) {
  if (Count.Outside == 0) return {};
  const std::string n = std::to_string(Count.Outside);
  const bool one = Count.Outside == 1;
  return n + (one ? " sounding lies" : " soundings lie") + " outside the shoreline" +
         (KeptOutside ? (one ? "; it is mapped" : "; they are mapped") : (one ? " and is not mapped" : " and are not mapped"));
}

}  // namespace sondralis
