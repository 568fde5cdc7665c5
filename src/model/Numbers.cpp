#include "model/Numbers.h"

#include <algorithm>
#include <array>
#include <bit>
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

namespace {

__extension__ typedef unsigned __int128 TUInt128;

constexpr std::uint64_t kTenTo16 = 10000000000000000ull, kTenTo17 = 10 * kTenTo16;

// Binary exponents of the leading bit taken the quick way: from 2^-36 up,
// the decimal exponent is -11 or more and 10^(16 - E) a power of five below
// 2^64 times a power of two; below 2^128, a whole number fits 128 bits.
constexpr int kQuickLowestExponent = -36, kQuickHighestExponent = 127;

// 5^k shifted left until its leading bit is bit 63, and the shift, k = 0 .. 27
// (5^27 < 2^63).
struct TNormalFive {
  std::uint64_t Value;
  int Shift;
};
constexpr auto kNormalFives = [] {
  std::array<TNormalFive, 28> fives{};
  std::uint64_t five = 1;
  for (TNormalFive& f : fives) {
    f.Shift = std::countl_zero(five);
    f.Value = five << f.Shift;
    five *= 5;
  }
  return fives;
}();

// 10^0 .. 10^22: the divisors bringing a whole number below 2^128 to 17 digits.
constexpr auto kPowersOfTen128 = [] {
  std::array<TUInt128, 23> powers{};
  powers[0] = 1;
  for (std::size_t k = 1; k < powers.size(); ++k) powers[k] = powers[k - 1] * 10;
  return powers;
}();

// The eight digits of X < 10^8 as byte values 0 .. 9, the first digit in the
// lowest byte: both halves of four digits, then their pairs, then the digits
// of the pairs, each split in one multiplication over all lanes at once
// (x·10486 >> 20 is x / 100 below 10^4, x·103 >> 10 is x / 10 below 100).
std::uint64_t EightDigits(std::uint32_t X) {
  const std::uint64_t halves = (X / 10000) | (std::uint64_t{X % 10000} << 32);
  const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007Full;
  const std::uint64_t pairs = ((halves - hundreds * 100) << 16) | hundreds;
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
  return ((pairs - tens * 10) << 8) | tens;
}

// Eight digit values from EightDigits as text.
void StoreEightDigits(char* Out, std::uint64_t Digits) {
  Digits |= 0x3030303030303030ull;
  if constexpr (std::endian::native == std::endian::big) Digits = __builtin_bswap64(Digits);
  std::memcpy(Out, &Digits, 8);
}

}  // namespace

char* WriteDigits17(char* Out, double Value) {
  std::uint64_t bits;
  std::memcpy(&bits, &Value, sizeof bits);
  const bool negative = bits >> 63;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0 && fraction == 0) {
    char* p = Out;
    if (negative) *p++ = '-';
    *p++ = '0';
    return p;
  }
  // The leading bit's exponent: subnormals, infinities and NaN fall outside
  // the quick range as well.
  const int b = biased - 1023;
  if (b < kQuickLowestExponent || b > kQuickHighestExponent)
    return std::to_chars(Out, Out + kDigits17Room, Value, std::chars_format::general, 17).ptr;
  const std::uint64_t m = fraction | std::uint64_t{1} << 52;
  const int e = b - 52;  // |Value| = m·2^e
  // The decimal exponent E, or one less: floor(b·log10(2)), exact over this
  // range. N = |Value|·10^(16 − E) rounded has 17 digits for the right E;
  // 18 before rounding tell that the estimate was one too low.
  int E = (b * 78913) >> 18;
  std::uint64_t n;
  for (;;) {
    if (E <= 16) {
      // |Value|·10^k = m·5^k·2^(k + e) = P / 2^S, P = (m·2^11)·(5^k·2^z):
      // P lies in [2^126, 2^128) and the quotient in [2^53, 2^60), so S is
      // 67 to 74 and the quotient is P's high word shifted by S − 64.
      const int k = 16 - E;
      const TNormalFive& five = kNormalFives[static_cast<std::size_t>(k)];
      const TUInt128 P = static_cast<TUInt128>(m << 11) * five.Value;
      const int t = 11 + five.Shift - (k + e) - 64;
      const auto high = static_cast<std::uint64_t>(P >> 64), low = static_cast<std::uint64_t>(P);
      n = high >> t;
      if (n >= kTenTo17) {
        ++E;
        continue;
      }
      // Rounded to nearest, halfway to even.
      const std::uint64_t rest = high & ((std::uint64_t{1} << t) - 1), half = std::uint64_t{1} << (t - 1);
      if (rest > half || (rest == half && (low != 0 || (n & 1)))) ++n;
      break;
    }
    // A whole number of 18 to 39 digits (e ≥ 4 from 10^17 up), divided by
    // 10^(E − 16) with the remainder deciding the rounding.
    const TUInt128 whole = static_cast<TUInt128>(m) << e;
    const TUInt128 divisor = kPowersOfTen128[static_cast<std::size_t>(E - 16)];
    const TUInt128 q = whole / divisor;
    if (q >= kTenTo17) {
      ++E;
      continue;
    }
    n = static_cast<std::uint64_t>(q);
    const TUInt128 twiceRest = 2 * (whole - q * divisor);
    if (twiceRest > divisor || (twiceRest == divisor && (n & 1))) ++n;
    break;
  }
  if (n == kTenTo17) {
    // Rounded up to the next power of ten.
    n = kTenTo16;
    ++E;
  }
  // The 17 digits as 8 + 1 + 8, how many of them count once the zeros at
  // the end are dropped (the first is never 0), and zeros behind them for
  // the fixed-size copies below.
  const std::uint64_t upper = n / 1000000000, lower = n % 1000000000;
  const std::uint64_t first = EightDigits(static_cast<std::uint32_t>(upper));
  const auto middle = static_cast<std::uint32_t>(lower / 100000000);
  const std::uint64_t last = EightDigits(static_cast<std::uint32_t>(lower % 100000000));
  const int used = last ? 17 - std::countl_zero(last) / 8 : middle ? 9 : 8 - std::countl_zero(first) / 8;
  char digits[40];
  StoreEightDigits(digits, first);
  digits[8] = static_cast<char>('0' + middle);
  StoreEightDigits(digits + 9, last);
  std::memset(digits + 17, '0', sizeof digits - 17);

  char* p = Out;
  if (negative) *p++ = '-';
  if (E >= 0 && E <= 16) {
    // d..d.ddd: the digits, then the fraction copied one place on behind the
    // point. Fixed-size copies; what they write past the end is dropped.
    std::memcpy(p, digits, 17);
    if (used <= E + 1) return p + E + 1;
    p[E + 1] = '.';
    std::memcpy(p + E + 2, digits + E + 1, 16);
    return p + used + 1;
  }
  if (E < 0 && E >= -4) {
    // 0.000ddd: "0." and -E - 1 zeros before the digits.
    std::memcpy(p, "0.000", 5);
    p += 1 - E;
    std::memcpy(p, digits, 17);
    return p + used;
  }
  // d.ddde±XX; |E| ≤ 38 here.
  p[0] = digits[0];
  p[1] = '.';
  std::memcpy(p + 2, digits + 1, 16);
  p += used == 1 ? 1 : used + 1;
  const auto exponent = static_cast<std::uint32_t>(E < 0 ? -E : E);
  p[0] = 'e';
  p[1] = E < 0 ? '-' : '+';
  p[2] = static_cast<char>('0' + exponent / 10);
  p[3] = static_cast<char>('0' + exponent % 10);
  return p + 4;
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
