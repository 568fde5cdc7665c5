// ColorInterpolate: TColor and the one depth colour ramp, BlendColors.
#pragma once

#include <cstdint>

namespace sondralis {

// Red in the low byte, then green, then blue (255 is red, 16711680 blue).
using TColor = std::uint32_t;

// The colours the program names, by the names of the original design.
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;      // 255: the default shallow colour
inline constexpr TColor clBlue = 0xFF0000;     // 16711680: the default deep colour
inline constexpr TColor clWhite = 0xFFFFFF;    // 16777215: the maps' background
inline constexpr TColor clSilver = 0xC0C0C0;   // 12632256: the coverage band on the shadow map
inline constexpr TColor clOlive = 0x008080;    // 32896

// The depth colour ramp: ColorA (shallow) to ColorB (deep) by Ratio in 0..1,
// linear per channel, rounded half to even. A ratio not above 0 (NaN too)
// returns ColorA unchanged, a ratio of 1 or more ColorB. Pure: safe to call
// from many threads at once, and it never allocates.
TColor BlendColors(TColor ColorA, TColor ColorB, double Ratio) noexcept;

}  // namespace sondralis
