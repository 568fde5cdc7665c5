#include "model/Numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace sondralis {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FormatNumber(double value) {
  std::string out;
  AppendNumber(out, value);
  return out;
}

void AppendNumber(std::string& Out, double Value) {
  if (std::isnan(Value)) {
    Out += "NAN";
    return;
  }
  if (std::isinf(Value)) {
    Out += Value > 0 ? "INF" : "-INF";
    return;
  }
  if (Value == 0) {
    Out += '0';  // -0 too
    return;
  }
  char buf[64];
  if (std::fabs(Value) < 1e15 && Value == std::trunc(Value)) {
    // Whole numbers of up to 15 digits need no rounding.
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(Value));
    Out.append(buf, r.ptr);
    return;
  }
  {
    // A value read from a text of at most 15 digits has a shortest exact
    // form of no more digits, and that form is then its rounding to 15
    // digits as well: it lies on the grid of 15-digit numbers and within half
    // a unit of the last place of the double, far closer than the grid's
    // spacing.
    const auto shortest = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed);
    if (shortest.ec == std::errc()) {
      int significant = 0;
      for (const char* q = buf; q < shortest.ptr; ++q)
        if (*q >= '0' && *q <= '9' && (significant > 0 || *q != '0')) ++significant;
      if (significant <= 15) {
        Out.append(buf, shortest.ptr);
        return;
      }
    }
  }
  // Rounded to 15 significant digits, then written in plain decimal.
  const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
  const char* p = buf;
  if (*p == '-') {
    Out.push_back('-');
    ++p;
  }
  char digits[15];
  digits[0] = p[0];
  std::memcpy(digits + 1, p + 2, 14);
  const char* e = p + 17;  // after "d.dddddddddddddde"
  const bool negativeExponent = *e == '-';
  int exponent = 0;
  for (const char* q = e + 1; q < r.ptr; ++q) exponent = exponent * 10 + (*q - '0');
  if (negativeExponent) exponent = -exponent;
  int used = 15;
  while (used > 1 && digits[used - 1] == '0') --used;
  const int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    Out += "0.";
    Out.append(static_cast<std::size_t>(-point), '0');
    Out.append(digits, static_cast<std::size_t>(used));
  } else if (point >= 15) {
    Out.append(digits, 15);
    Out.append(static_cast<std::size_t>(point - 15), '0');
  } else {
    Out.append(digits, static_cast<std::size_t>(point));
    if (used > point) {
      Out.push_back('.');
      Out.append(digits + point, static_cast<std::size_t>(used - point));
    }
  }
}

void AppendNumber(std::string& Out, double Value, int& Decimals) {
  // The shortest exact form of a number that is not whole, tried at the
  // guessed count of decimals and upwards. Scaled to k decimals, a value
  // whose shortest form has k decimals and at most 15 digits rounds to
  // those digits: the error of the scaling is far below a half. No other
  // k-decimal number of at most 15 digits reads back as the same value, so
  // the digits found are the shortest form once trailing zeros are gone.
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (std::isfinite(Value) && Value != std::trunc(Value)) {
    for (int k = std::clamp(Decimals, 1, 15); k <= 15; ++k) {
      const double scaled = Value * kPowersOfTen[k];
      if (!(std::fabs(scaled) < 1e15)) break;
      long long n = static_cast<long long>(scaled + (scaled < 0 ? -0.5 : 0.5));
      if (static_cast<double>(n) / kPowersOfTen[k] != Value) continue;
      int decimals = k;
      while (n % 10 == 0) {
        n /= 10;
        --decimals;
      }
      Decimals = decimals;
      char digits[24];
      if (n < 0) Out.push_back('-');
      const auto r = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n);
      const auto length = static_cast<int>(r.ptr - digits);
      if (length <= decimals) {
        Out += "0.";
        Out.append(static_cast<std::size_t>(decimals - length), '0');
        Out.append(digits, r.ptr);
      } else {
        Out.append(digits, static_cast<std::size_t>(length - decimals));
        Out.push_back('.');
        Out.append(r.ptr - decimals, static_cast<std::size_t>(decimals));
      }
      return;
    }
  }
  AppendNumber(Out, Value);
}

std::string FormatFixed(double value, int decimals) {
  std::array<char, 400> buf{};
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "NAN";
  return std::string(buf.data(), res.ptr);
}

std::string FormatPadded(long long value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  // Validate the shape ourselves: from_chars would also take "inf", "nan"
  // and hexadecimal forms, which are not numbers in a GPX or KML file.
  const char* const end = text.data() + text.size();
  const bool negative = text[0] == '-';
  const char* p = text.data() + (text[0] == '+' || text[0] == '-' ? 1 : 0);
  const char* const mantissa = p;
  // The digits as a whole number, and where the point is: one loop, as
  // this runs for every coordinate, elevation and depth of a file.
  std::uint64_t digits = 0;
  const char* point = nullptr;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit <= 9) digits = digits * 10 + digit;
    else if (*p == '.' && !point) point = p;
    else break;
  }
  const auto count = (p - mantissa) - (point ? 1 : 0);
  if (count == 0) return std::nullopt;
  if (p == end && count <= 15) {
    // Up to 15 digits are exact as a double, and so is a power of ten up
    // to 10^22: one division, which rounds correctly, gives the value
    // from_chars would (the usual fast path of decimal conversion).
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double value = static_cast<double>(digits) / kPowersOfTen[point ? end - point - 1 : 0];
    return negative ? -value : value;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    const char* const exponent = p;
    while (p != end && IsDigit(*p)) ++p;
    if (p == exponent) return std::nullopt;
  }
  if (p != end) return std::nullopt;
  double value = 0;
  const std::string_view body(mantissa, static_cast<std::size_t>(end - mantissa));
  auto res = std::from_chars(body.data(), body.data() + body.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Overflow gives infinity, underflow zero, as strtod does.
    value = std::strtod(std::string(body).c_str(), nullptr);
  } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

double ParseNumberDef(std::string_view text, double Default) { return ParseNumber(text).value_or(Default); }

std::optional<long long> ParseInteger(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !IsDigit(text[0])) return std::nullopt;
  unsigned long long magnitude = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
  constexpr unsigned long long kMax = 9223372036854775807ULL;
  if (magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
  if (negative) return magnitude == kMax + 1 ? static_cast<long long>(-kMax - 1) : -static_cast<long long>(magnitude);
  return static_cast<long long>(magnitude);
}

long long ParseIntegerDef(std::string_view text, long long Default) { return ParseInteger(text).value_or(Default); }

int ParseIntDef(std::string_view text, int Default) {
  const long long v = ParseIntegerDef(text, Default);
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace sondralis
