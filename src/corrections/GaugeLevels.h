#pragma once

// Water level from a gauge: each reading is corrected by the lake's level
// at the moment it was taken, relative to a datum, so that readings of
// days with high and low water give the same chart.

#include <optional>
#include <string>

#include "formats/LevelTable.h"
#include "model/GPX.h"

namespace sondralis {

struct TGaugeResult {
  bool Applied = false;
  std::string Error;       // why nothing was changed, naming the file
  long long Readings = 0;  // readings corrected
  double DatumCm = 0;      // the datum used
  double SmallestCm = 0, LargestCm = 0;  // range of the corrections applied
};

// Subtracts (level at the reading's time - datum) from every reading of
// the document; the datum is the table's lowest level unless given. A
// reading without a time, or taken before the table's first or after its
// last time, cannot be corrected: then the whole document is refused with
// a message naming the first such reading, and nothing is changed.
TGaugeResult ApplyGaugeLevels(TGPX& Doc, const TLevelTable& Table, std::optional<double> DatumCm,
                              const std::string& FileName);

}  // namespace sondralis
