// libFuzzer target: the KML coordinates parser on any text gives only
// positions on the globe, and every white-space separated token is either a
// position or counted as left out.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/KMLFile.h"

using namespace sondralis;

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

long long Tokens(std::string_view text) {
  long long n = 0;
  bool inToken = false;
  for (char c : text) {
    if (IsSpace(c)) inToken = false;
    else if (!inToken) inToken = true, ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TSkippedValues skipped;
  const std::vector<TKMLTuple> tuples = ParseKMLCoordinates(text, skipped, 0);
  for (const TKMLTuple& t : tuples)
    if (!std::isfinite(t.lon) || !std::isfinite(t.lat) || !std::isfinite(t.alt) || std::fabs(t.lon) > 180 ||
        std::fabs(t.lat) > 90)
      __builtin_trap();
  if (static_cast<long long>(tuples.size()) + skipped.Count != Tokens(text)) __builtin_trap();
  return 0;
}
