#pragma once

// Numbers as the files and messages write them, and numbers read from text.
// Numbers in files and coordinate texts always use a point as decimal
// separator, whatever the user's locale: none of these functions consults
// the C or C++ locale.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sondralis {

// At most 15 significant digits, trailing zeros and a trailing point dropped,
// never an exponent: 47.5 -> "47.5", 8 -> "8", -0.25 -> "-0.25",
// 1e-7 -> "0.0000001"; "NAN", "INF" and "-INF" for the values that are not
// finite.
std::string FormatNumber(double value);
// The same text appended to Out, without building temporary strings.
void AppendNumber(std::string& Out, double Value);
// The same text again, found faster for numbers that have about `Decimals`
// decimals, as the numbers of one kind in a file mostly have; Decimals
// becomes the count of the number written, a guess for the next one.
void AppendNumber(std::string& Out, double Value, int& Decimals);

// The text of C's printf("%.17g") (and of std::to_chars with 17 digits in
// general form), byte for byte: 17 significant digits correctly rounded,
// halfway cases to even; plain decimals for decimal exponents -4 to 16,
// d.ddde±XX otherwise; trailing zeros and a trailing point dropped; "-0" for
// negative zero. Written at Out, which has room for kDigits17Room chars;
// returns the end of the text. Numbers from about 1.5e-11 to 3.4e38 in
// magnitude, as grids hold, take a quick way in whole-number arithmetic;
// others, and what is not finite, are left to std::to_chars.
inline constexpr std::size_t kDigits17Room = 48;
char* WriteDigits17(char* Out, double Value);

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
// The same as an int, clamped to the range of int.
int ParseIntDef(std::string_view text, int Default);

}  // namespace sondralis
