#include "model/Text.h"

#include <libintl.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace sondralis {

const char* Translate(const char* msgid) { return dgettext(kTextDomain, msgid); }

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Strips trailing zeros (and a then trailing point) of a fixed-notation text.
void DropTrailingZeros(std::string& s) {
  if (s.find('.') == std::string::npos) return;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // Round to 15 significant digits first, then print that value in plain
  // decimal: the exponent tells how many decimals the 15 digits need.
  std::array<char, 64> sci{};
  auto res = std::to_chars(sci.data(), sci.data() + sci.size(), value, std::chars_format::scientific, 14);
  std::string_view s(sci.data(), static_cast<std::size_t>(res.ptr - sci.data()));
  const auto epos = s.find('e');
  int exponent = 0;
  std::from_chars(s.data() + epos + (s[epos + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
  const bool negative = s.front() == '-';
  std::string digits;
  for (char c : s.substr(0, epos))
    if (IsDigit(c)) digits.push_back(c);
  // digits holds d.dddddddddddddd (15 digits); the value is 0.digits * 10^(exponent+1).
  std::string out;
  if (negative) out.push_back('-');
  const int point = exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else if (point >= static_cast<int>(digits.size())) {
    out += digits;
    out.append(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(point));
    out.push_back('.');
    out += digits.substr(static_cast<std::size_t>(point));
  }
  DropTrailingZeros(out);
  if (out == "-0") out = "0";
  return out;
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
  std::size_t i = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '+' || text[0] == '-') ++i;
  const std::size_t mantissaStart = i;
  bool anyDigit = false;
  // The digits as a whole number and how many of them follow the point.
  std::uint64_t digits = 0;
  int count = 0, fraction = 0;
  while (i < text.size() && IsDigit(text[i])) {
    digits = digits * 10 + static_cast<unsigned>(text[i] - '0');
    ++i, ++count, anyDigit = true;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      digits = digits * 10 + static_cast<unsigned>(text[i] - '0');
      ++i, ++count, ++fraction, anyDigit = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (i == text.size() && count <= 15) {
    // Up to 15 digits are exact as a double, and so is a power of ten up
    // to 10^22: one division, which rounds correctly, gives the value
    // from_chars would (the usual fast path of decimal conversion).
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double value = static_cast<double>(digits) / kPowersOfTen[fraction];
    return negative ? -value : value;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t expDigits = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j == expDigits) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  std::string_view body = text.substr(mantissaStart);
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

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string TrimCopy(std::string_view text) { return std::string(Trim(text)); }

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + from.size() <= text.size() && SameTextAscii(text.substr(i, from.size()), from)) {
      out += to;
      i += from.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    const unsigned char c = byte(i);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 || (c & 0xF0) == 0xE0 || (c & 0xF8) == 0xF0) {
      len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
      char32_t value = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
      bool ok = i + len <= text.size();
      for (std::size_t k = 1; ok && k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) ok = false;
        else value = (value << 6) | (byte(i + k) & 0x3F);
      }
      static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && value >= kMin[len] && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF)) cp = value;
      else len = 1;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace sondralis
