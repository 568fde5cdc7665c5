#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "model/Numbers.h"
#include "support/DecimalCommaLocale.h"

namespace sondralis {
namespace {

// A number as the files write it, the long way and independently of the
// formatter: rounded to 15 significant digits by the C library's printf,
// then given its decimal point, without trailing zeros.
std::string LongWay(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return "0";
  char scientific[64];
  std::snprintf(scientific, sizeof scientific, "%.14e", v);
  std::string digits;
  const char* p = scientific;
  for (; *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int exponent = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int point = exponent + 1;  // digits before the decimal point
  const auto size = static_cast<int>(digits.size());
  std::string out = v < 0 ? "-" : "";
  if (point <= 0) out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  else if (point >= size) out += digits + std::string(static_cast<std::size_t>(point - size), '0');
  else out += digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
  return out;
}

TEST(Numbers, FormatNumberIsPlainDecimalWithFifteenDigits) {
  testing::DecimalCommaLocale comma;
  EXPECT_EQ(FormatNumber(47.5), "47.5");
  EXPECT_EQ(FormatNumber(8), "8");
  EXPECT_EQ(FormatNumber(-0.25), "-0.25");
  EXPECT_EQ(FormatNumber(0), "0");
  EXPECT_EQ(FormatNumber(-0.0), "0");
  EXPECT_EQ(FormatNumber(0.1), "0.1");
  EXPECT_EQ(FormatNumber(351.5), "351.5");
  EXPECT_EQ(FormatNumber(1e-7), "0.0000001");
  EXPECT_EQ(FormatNumber(1.5e20), "150000000000000000000");
  EXPECT_EQ(FormatNumber(47.123456789012345678), "47.1234567890123");
  EXPECT_EQ(FormatNumber(0.999999999999999999), "1");
  EXPECT_EQ(FormatNumber(123456789012345678.0), "123456789012346000");
  EXPECT_EQ(FormatFixed(46.5, 6), "46.500000");
  EXPECT_EQ(FormatPadded(7, 3), "007");
  EXPECT_EQ(FormatPadded(1234, 3), "1234");
}

TEST(Numbers, ParseAcceptsOnlyDecimalNumbers) {
  testing::DecimalCommaLocale comma;
  EXPECT_EQ(ParseNumber("47.5"), 47.5);
  EXPECT_EQ(ParseNumber(" -8 "), -8);
  EXPECT_EQ(ParseNumber("+.5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5);
  EXPECT_EQ(ParseNumber("1.5E3"), 1500);
  EXPECT_EQ(ParseNumber("1e-2"), 0.01);
  for (const char* bad : {"", " ", "abc", "1,5", "inf", "nan", "0x10", "1e", "--1", ".", "1 2", "\t1"})
    EXPECT_FALSE(ParseNumber(bad).has_value()) << '"' << bad << '"';
  EXPECT_EQ(ParseNumberDef("x", -1), -1);
  EXPECT_EQ(ParseNumber("1e999"), HUGE_VAL);

  EXPECT_EQ(ParseInteger("345"), 345);
  EXPECT_EQ(ParseInteger(" -50"), -50);
  EXPECT_EQ(ParseInteger("-9223372036854775808"), INT64_MIN);
  for (const char* bad : {"", "1.5", "12a", "9223372036854775808", "-", "$FF"})
    EXPECT_FALSE(ParseInteger(bad).has_value()) << '"' << bad << '"';
  EXPECT_EQ(ParseIntegerDef("x", -1), -1);
}

// Decimal texts of every length up to beyond the quick conversion's 15
// digits give the very double the standard library's conversion gives.
TEST(Numbers, ParseGivesTheCorrectlyRoundedDouble) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 19);
    // The point, when there is one, goes before digit `point` (or last).
    const int point = random() % 4 != 0 ? static_cast<int>(random() % (digits + 1)) : -1;
    std::string text;
    for (int d = 0; d <= digits; ++d) {
      if (d == point) text += '.';
      if (d < digits) text += static_cast<char>('0' + random() % 10);
    }
    const bool negative = random() % 2;
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    if (negative) expected = -expected;
    std::string signedText(negative ? 1 : 0, '-');
    signedText += text;
    const std::optional<double> got = ParseNumber(signedText);
    ASSERT_TRUE(got) << text;
    ASSERT_EQ(std::memcmp(&*got, &expected, sizeof expected), 0) << text << ": " << *got << " " << expected;
  }
}

// The formatter's quick ways (whole numbers, the shortest exact form, the
// count of decimals guessed from the number before, carried from one check
// to the next, right and wrong, too high and too low) give the text of the
// long way exactly.
TEST(Numbers, FormattingGivesTheTextOfTheLongWay) {
  std::mt19937_64 random(88172645463325252ull);
  auto next = [&] { return random(); };
  int checked = 0;
  int decimals = 7;
  auto check = [&](double v) {
    const std::string expected = LongWay(v);
    ASSERT_EQ(FormatNumber(v), expected) << v;
    std::string fast;
    AppendNumber(fast, v);
    ASSERT_EQ(fast, expected) << v;
    std::string guessed;
    const int guess = decimals;
    AppendNumber(guessed, v, decimals);
    ASSERT_EQ(guessed, expected) << v << " guessing " << guess << " decimals";
    ++checked;
  };
  for (double v : {0.0, -0.0, 1.0, -1.0, 0.5, 1e-7, 1e-5, 123456789012345.0, 1e15, 1e15 + 2, 1e20, 9.999999999999999,
                   99999.99999999999, 0.1 + 0.2, 47.2501, -8.6002, 351.5, 1e300, 5e-324, double{NAN}, double{INFINITY},
                   -double{INFINITY}})
    check(v);
  for (int i = 0; i < 20000; ++i) {
    const double mantissa = static_cast<double>(next() % 2000000001) / 1e6 - 1000.0;
    const int scale = static_cast<int>(next() % 31) - 15;
    check(mantissa * std::pow(10.0, scale));
    // Coordinates as loggers write them, seven decimals, and numbers of 1 to
    // 15 digits with up to 15 decimals.
    check(static_cast<double>(next() % 3600000001) / 1e7 - 180.0);
    const int digits = 1 + static_cast<int>(next() % 15);
    const auto whole = static_cast<long long>(next() % static_cast<std::uint64_t>(std::pow(10.0, digits)));
    check((next() % 2 ? -1 : 1) * static_cast<double>(whole) / std::pow(10.0, static_cast<double>(next() % 16)));
    std::uint64_t bits = next();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    if (std::isfinite(any)) check(any);
  }
  EXPECT_GT(checked, 30000);
}

// The quick "%.17g" writer against the C library's printf over numbers of
// every kind: any bit pattern, patterns around the quick range, depths at
// float and double precision, whole numbers, powers of two and ten and the
// doubles beside them, exact halfway cases (to even), zeros, subnormals and
// the largest double.
TEST(Numbers, WriteDigits17IsPrintfsText) {
  std::mt19937_64 random(26);
  long checked = 0;
  auto check = [&](double v) {
    char want[64], got[kDigits17Room];
    std::snprintf(want, sizeof want, "%.17g", v);
    char* const end = WriteDigits17(got, v);
    ASSERT_EQ(std::string(got + 0, end), want) << std::hexfloat << v;
    ++checked;
  };
  auto fromBits = [](std::uint64_t bits) {
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  };
  // The value and the two doubles on either side of it, both signs.
  auto around = [&](double v) {
    double below = v, above = v;
    for (int i = 0; i < 3; ++i) {
      for (double w : {below, above})
        if (std::isfinite(w)) {
          check(w);
          check(-w);
        }
      below = std::nextafter(below, -HUGE_VAL);
      above = std::nextafter(above, HUGE_VAL);
    }
  };
  for (double v : {0.0, DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 0x1p-36, 0x1p128, 1e-11, 1e17, 1e38, -9999.0}) around(v);
  for (int b = -1074; b <= 1023; ++b) around(std::ldexp(1.0, b));
  for (int k = -323; k <= 308; ++k) around(std::strtod(("1e" + std::to_string(k)).c_str(), nullptr));
  // Halfway cases: an odd m over 2^(17 − E) in [10^E, 10^(E + 1)) has
  // exactly 18 significant digits, the last a 5.
  int halfway = 0;
  for (int E = -8; E <= 15; ++E) {
    const double low = std::ceil(std::ldexp(std::pow(10.0, E), 17 - E));
    const double high = std::min(std::ldexp(std::pow(10.0, E + 1), 17 - E), 0x1p53);
    if (high - low < 2) continue;
    std::uniform_real_distribution<double> m(low, high - 1);
    for (int i = 0; i < 4000; ++i) {
      const double v = std::ldexp(std::floor(m(random) / 2) * 2 + 1, E - 17);
      char exact[64];
      std::snprintf(exact, sizeof exact, "%.17e", v);
      halfway += std::strtod(exact, nullptr) == v && std::strchr(exact, 'e')[-1] == '5';
      check(v);
    }
  }
  EXPECT_GT(halfway, 50000);
  std::uniform_real_distribution<double> depth(-20000, 20000);
  for (int i = 0; i < 400000; ++i) {
    check(depth(random));
    check(static_cast<float>(depth(random)));
    check(static_cast<double>(static_cast<std::int64_t>(random()) >> (random() % 64)));
    const std::uint64_t bits = random();
    if (std::isfinite(fromBits(bits))) check(fromBits(bits));
    // Exponents from 2^-40 to 2^131: the quick range and a little beyond.
    check(fromBits((bits & ~(std::uint64_t{0x7ff} << 52)) | (std::uint64_t{983 + random() % 172} << 52)));
  }
  EXPECT_GT(checked, 2000000);
}

}  // namespace
}  // namespace sondralis
