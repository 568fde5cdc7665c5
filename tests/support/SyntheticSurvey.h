#pragma once

// Small surveys with a known answer for the tests of the corrections: a
// bottom given as a function of metres east and north of a point on a
// lake, and tracks driven over it whose readings are that bottom plus
// whatever the test adds (noise, a level offset, spikes).

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corrections/SurveySessions.h"
#include "formats/GPXFile.h"
#include "model/GPX.h"

namespace sondralis::testing {

inline constexpr double kLat0 = 47.2, kLon0 = 8.6;
inline constexpr double kMetresPerDegree = 111319.49;

inline double LatOf(double north) { return kLat0 + north / kMetresPerDegree; }
inline double LonOf(double east) { return kLon0 + east / (kMetresPerDegree * std::cos(kLat0 * M_PI / 180)); }

using Bottom = std::function<double(double east, double north)>;  // cm

// A straight track from (e0, n0) to (e1, n1) with a reading every `step`
// metres: the bottom there plus `offset` plus Gaussian noise of `noise` cm
// from `rng`; times from `time` on, one a second.
inline TGPXtrkseg* StraightRun(double e0, double n0, double e1, double n1, double step, const Bottom& bottom,
                               double offset, double noise, std::mt19937_64& rng, TDateTime time = 0) {
  auto* seg = new TGPXtrkseg;
  const double length = std::hypot(e1 - e0, n1 - n0);
  const int count = static_cast<int>(length / step) + 1;
  std::normal_distribution<double> gauss(0, noise > 0 ? noise : 1);
  for (int i = 0; i < count; ++i) {
    const double u = count > 1 ? static_cast<double>(i) / (count - 1) : 0;
    const double e = e0 + u * (e1 - e0), n = n0 + u * (n1 - n0);
    TGPXwpt* p = seg->NewPoint();
    p->Latitude = LatOf(n);
    p->Longitude = LonOf(e);
    p->HBdepth = bottom(e, n) + offset + (noise > 0 ? gauss(rng) : 0);
    if (time != 0) p->DateTime = time + i / 86400.0;
  }
  return seg;
}

// A document with one track holding the given segments.
inline void AddTrack(TGPX& doc, std::vector<TGPXtrkseg*> segments) {
  auto* track = new TGPXtrk;
  for (TGPXtrkseg* s : segments) track->Add(s);
  doc.trk.Add(track);
}

// A closed outline through (east, north) corners, depth 0.
inline void AddOutline(TGPX& doc, const std::vector<std::pair<double, double>>& corners) {
  auto* seg = new TGPXtrkseg;
  for (auto [e, n] : corners) {
    TGPXwpt* p = seg->NewPoint();
    p->Latitude = LatOf(n);
    p->Longitude = LonOf(e);
  }
  AddTrack(doc, {seg});
}

inline std::vector<double> Depths(const TGPX& doc) {
  std::vector<double> out;
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t)
      for (const TPoint4D2* p : *s) out.push_back(p->HBdepth);
  return out;
}

// A gently sloping bottom with some relief.
inline double Slope(double e, double n) { return 300 + 0.8 * e + 0.3 * n + 80 * std::sin(e / 60) * std::cos(n / 45); }

// Sessions of straight lines over a 400 x 400 m lake: east-west lines,
// north-south lines and diagonals, whose readings are `levels` cm deeper
// than the bottom (the water stood that much higher), with sounder noise.
// Each session is a document of its own, as a file would be.
struct CrossingSurvey {
  std::vector<std::unique_ptr<TGPX>> docs;
  std::vector<TSurveySession> sessions;

  CrossingSurvey(std::vector<double> levels, std::uint64_t seed, double noise = 6) {
    std::mt19937_64 rng(seed);
    for (std::size_t s = 0; s < levels.size(); ++s) {
      auto doc = std::make_unique<TGPX>();
      std::vector<TGPXtrkseg*> lines;
      for (int k = 0; k < 6; ++k) {
        const double c = 20 + 70.0 * k + 7.0 * static_cast<double>(s);
        switch (s % 3) {
          case 0: lines.push_back(StraightRun(0, c, 400, c, 2.5, Slope, levels[s], noise, rng)); break;
          case 1: lines.push_back(StraightRun(c, 0, c, 400, 2.5, Slope, levels[s], noise, rng)); break;
          default: lines.push_back(StraightRun(c - 200, 0, c + 100, 400, 2.5, Slope, levels[s], noise, rng)); break;
        }
      }
      AddTrack(*doc, lines);
      // "s" + std::to_string(s) would do, but GCC 12 warns about it wrongly
      // (-Wrestrict) where it is inlined.
      std::string name = std::to_string(s);
      name.insert(0, 1, 's');
      for (TSurveySession& session : SplitSessions(*doc, name + ".gpx"))
        sessions.push_back(std::move(session));
      docs.push_back(std::move(doc));
    }
  }
};

// A document as the GPX text the program writes.
inline std::string GpxText(TGPX& doc) {
  TGPXFile writer;
  writer.GPXd = &doc;
  return writer.ExportGPXText();
}

}  // namespace sondralis::testing
