#include "model/GPX_Style.h"

#include <cmath>

#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

TColor HexPair(std::string_view pair) {
  const int hi = HexDigit(pair[0]), lo = HexDigit(pair[1]);
  return hi < 0 || lo < 0 ? 0 : static_cast<TColor>(hi * 16 + lo);
}

}  // namespace

std::string TGPX_StyleLine::ColorStr() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned channel = (fColor >> shift) & 0xFF;
    out.push_back(kHex[channel >> 4]);
    out.push_back(kHex[channel & 0xF]);
  }
  return out;
}

void TGPX_StyleLine::SetColorStr(std::string_view Value) {
  std::string text(Trim(Value));
  if (text.size() > 6) text.resize(6);
  if (text.size() < 6) text.insert(0, 6 - text.size(), '0');
  fColor = HexPair(text.substr(0, 2)) + HexPair(text.substr(2, 2)) * 256 + HexPair(text.substr(4, 2)) * 65536;
}

std::string TGPX_StyleLine::OpacityStr() const { return FormatNumber(std::fabs(fOpacity)); }

void TGPX_StyleLine::SetOpacityStr(std::string_view Value) { fOpacity = std::fabs(ParseNumberDef(Value, 1.0)); }

}  // namespace sondralis
