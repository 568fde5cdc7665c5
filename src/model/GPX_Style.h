// GPX_Style: the line style of a route or track (colour and opacity).
#pragma once

#include <string>
#include <string_view>

#include "model/ColorInterpolate.h"

namespace sondralis {

// Line style of a route or track (GPX style extension: colour and opacity).
class TGPX_StyleLine {
 public:
  // Bit 24 of fColor set: no colour was given.
  static constexpr TColor kDefaultColorFlag = 16777216;

  TColor fColor = kDefaultColorFlag;
  double fOpacity = 1.0;

  void CopyFrom(const TGPX_StyleLine& GPX_StyleLine) {
    fColor = GPX_StyleLine.fColor;
    fOpacity = GPX_StyleLine.fOpacity;
  }

  TColor Color() const noexcept { return fColor; }
  void SetColor(TColor Value) noexcept { fColor = Value; }
  double Opacity() const noexcept { return fOpacity; }
  void SetOpacity(double Value) noexcept { fOpacity = Value; }
  bool IsDefaultColor() const noexcept { return (fColor & kDefaultColorFlag) != 0; }

  // Six upper-case hexadecimal digits, red first ("FF0000" is red).
  std::string ColorStr() const;
  // Parses RRGGBB text; pads short text with leading zeros, keeps the first
  // six characters of long text; an invalid pair counts as 0. Clears the flag.
  void SetColorStr(std::string_view Value);

  // |opacity| in the shortest decimal form ("1", "0.5").
  std::string OpacityStr() const;
  // Parses a decimal number with a point; 1.0 when it is none; stores |value|.
  void SetOpacityStr(std::string_view Value);
};

}  // namespace sondralis
