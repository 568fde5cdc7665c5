#pragma once

#include <cstdint>

namespace sondralis {

// Red in the low byte, then green, then blue (255 is red, 16711680 blue).
using TColor = std::uint32_t;

// The depth colour ramp: ColorA (shallow) to ColorB (deep) by Ratio in 0..1,
// linear per channel, rounded half to even. A ratio not above 0 (NaN too)
// returns ColorA unchanged, a ratio of 1 or more ColorB. Pure: safe to call
// from many threads at once, and it never allocates.
TColor BlendColors(TColor ColorA, TColor ColorB, double Ratio) noexcept;

}  // namespace sondralis
