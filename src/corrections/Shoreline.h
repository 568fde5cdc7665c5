#pragma once

// Where the water is, by the outlines among the loaded tracks, decided as
// the coverage mask decides it but on coordinates instead of pixels, so
// that it does not depend on the view: without outlines everything is
// water; one outline is the lake; of several, the lake is the last one
// that holds the first point of another, and the others are islands.

#include <string>
#include <vector>

#include "model/GPX.h"

namespace sondralis {

class TShoreline {
 public:
  explicit TShoreline(const TGPX& Doc);

  bool HasOutlines() const noexcept { return fRings.size() > 0; }
  // Whether a position lies on the water: inside the lake and on no island.
  bool OnWater(double Latitude, double Longitude) const;

 private:
  // An outline with its edges sorted into bands of latitude, so that a
  // point is tested against the few edges of its band only.
  struct TRing {
    std::vector<double> X, Y;  // longitude, latitude; closed (last = first)
    double MinY = 0, BandHeight = 1;
    std::vector<std::vector<int>> Bands;  // edge indices per band
    bool Contains(double x, double y) const;
  };
  std::vector<TRing> fRings;
  int fLake = -1;  // index of the lake among fRings, -1: none (no water)
};

struct TOutsideCount {
  long long Soundings = 0;  // readings of the recordings
  long long Outside = 0;    // of them, readings not on the water
};

TOutsideCount CountOutside(const TGPX& Doc, const TShoreline& Shore);

// "412 soundings lie outside the shoreline and are not mapped"; empty for 0.
// KeptOutside: "412 soundings lie outside the shoreline; they are mapped".
std::string OutsideMessage(const TOutsideCount& Count, bool KeptOutside);

}  // namespace sondralis
