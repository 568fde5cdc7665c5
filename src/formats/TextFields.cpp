#include "formats/TextFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "formats/GPXTime.h"

namespace sondralis {

bool ReadDecimalField(std::string_view Field, bool DecimalComma, double& Out) {
  std::string_view f = Field;
  if (!f.empty() && f.front() == '+') f.remove_prefix(1);
  if (f.empty() || f.size() > 64) return false;
  char buffer[64];
  if (DecimalComma && f.find(',') != std::string_view::npos) {
    std::memcpy(buffer, f.data(), f.size());
    std::replace(buffer, buffer + f.size(), ',', '.');
    f = std::string_view(buffer, f.size());
  }
  // Plain decimal notation only: from_chars would also take "inf" and "nan".
  const char first = f.front() == '-' && f.size() > 1 ? f[1] : f.front();
  if (!(first >= '0' && first <= '9') && first != '.') return false;
  const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), Out);
  return ec == std::errc() && end == f.data() + f.size() && std::isfinite(Out);
}

bool ReadIsoTimeField(std::string_view Field, TDateTime& Out) {
  if (Field.size() < 10 || !std::all_of(Field.begin(), Field.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  try {
    Out = ISO8601ToDateTime(Field);
  } catch (const EConvertError&) {
    return false;
  }
  return Out != 0;
}

}  // namespace sondralis
