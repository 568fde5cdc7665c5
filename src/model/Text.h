#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sondralis {

// Text domain of the program's message catalogue.
inline constexpr const char* kTextDomain = "sondralis";

// Looks a user-interface word up in the message catalogue; without a
// catalogue the word comes back as written.
const char* Translate(const char* msgid);

// Numbers in files and coordinate texts always use a point as decimal
// separator, whatever the user's locale. None of these functions consults
// the C or C++ locale.

// At most 15 significant digits, trailing zeros and a trailing point dropped,
// never an exponent: 47.5 -> "47.5", 8 -> "8", -0.25 -> "-0.25",
// 1e-7 -> "0.0000001".
std::string FormatNumber(double value);

// Fixed notation with the given number of decimals: (46.5, 6) -> "46.500000".
std::string FormatFixed(double value, int decimals);

// Whole number, zero-padded to at least `width` digits: (7, 3) -> "007".
std::string FormatPadded(long long value, int width);

// A decimal number: optional sign, digits with an optional point, optional
// exponent; blanks (spaces) around it are allowed. Anything else fails.
std::optional<double> ParseNumber(std::string_view text);
double ParseNumberDef(std::string_view text, double Default);

// A whole number: optional sign and decimal digits, blanks around allowed.
std::optional<long long> ParseInteger(std::string_view text);
long long ParseIntegerDef(std::string_view text, long long Default);

// Removes leading and trailing characters up to and including the blank
// (blanks and control characters).
std::string_view Trim(std::string_view text);
std::string TrimCopy(std::string_view text);

std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
// Replaces every occurrence of `from`, ignoring ASCII letter case.
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from, std::string_view to);

// UTF-8 <-> UTF-16. Malformed UTF-8 bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace sondralis
