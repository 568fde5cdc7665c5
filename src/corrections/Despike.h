#pragma once

// Spikes: single readings far off their neighbours, from surface clutter,
// fish, weed or a second echo. Each ring of contours they would draw is a
// lie, so they are removed before anything uses the readings.

#include <span>
#include <vector>

#include "model/GPX.h"

namespace sondralis {

// A reading is a spike when it differs from the median of the 2K+1
// readings around it along its segment by more than
// max(T x their median absolute deviation, A cm). On a slope the window's
// readings are first carried along the slope to the reading judged (when
// that makes them agree more closely), so that the drop-off's own spread
// does not hide a spike of a metre. The floor A keeps the sounder's noise
// and the bends of the bottom. The defaults were chosen by measurement on
// surveys of the generated lake with 1 % of the readings made spikes of 1
// to 5 m (bench/corrections/measure_corrections despike, six seeds in two
// session orders): at one reading a second they remove every spike and
// 0.030 % of the good readings (at most 0.043 % in one survey), at ten a
// second every spike and no good reading. T = 2 or 3 keeps a few more good
// readings (0.020, 0.011 %) but lets a spike of a metre beside another one
// through (99.28 % in one survey).
struct TDespikeOptions {
  int K = 3;      // readings on each side
  double T = 1.5;  // times the median absolute deviation (unscaled)
  double A = 50;   // centimetres at least
};

// Which of the values are spikes. Near the ends of the list the window is
// the 2K+1 values nearest to the end; a list shorter than that is its own
// window, and one of fewer than three values has no spike.
std::vector<bool> FindSpikes(std::span<const double> Depths, const TDespikeOptions& Options);

struct TDespikeResult {
  long long Readings = 0;  // readings looked at
  long long Removed = 0;   // spikes removed
};

// Removes the spikes from every recording of the document, judging each
// segment's readings (its points with a depth other than 0) on their own.
TDespikeResult Despike(TGPX& Doc, const TDespikeOptions& Options);

}  // namespace sondralis
