#pragma once

// The depth the shoreline's samples carry. Every pixel of the shoreline
// mask's outlines becomes a sample; by default of depth 0, so that the map
// falls to nothing towards the shore. A reservoir's levee or a harbour wall
// stands in water of some depth, and a survey that ends well off the shore
// is better left to its own soundings: the outline then stays the edge of
// the water without adding samples.

#include <optional>
#include <string>
#include <string_view>

#include "interpolation/CoverageMask.h"
#include "interpolation/ShepardInterp.h"

namespace sondralis {

struct TShoreDepth {
  bool Samples = true;  // false: the outlines add no samples
  float DepthCm = 0;
  bool operator==(const TShoreDepth&) const = default;
};

// "none", or a depth in whole or decimal centimetres (not negative);
// nothing for anything else.
std::optional<TShoreDepth> ParseShoreDepth(std::string_view Text);
std::string ShoreDepthError(std::string_view Text);

struct TSampleLists {
  TPointList Coord;
  TValueList Depth;
};

// New sample lists holding the coverage's shoreline samples at the shore
// depth (none at all for "none"), for the run to append the track points
// to; the coverage's own lists are left as they are.
TSampleLists ShoreSamples(const TCoverage& Coverage, const TShoreDepth& Shore);

}  // namespace sondralis
