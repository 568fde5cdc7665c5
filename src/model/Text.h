#pragma once

#include <string>
#include <string_view>

namespace sondralis {

// Text domain of the program's message catalogue.
inline constexpr const char* kTextDomain = "sondralis";

// Looks a user-interface word up in the message catalogue; without a
// catalogue the word comes back as written.
const char* Translate(const char* msgid);

// (Numbers as text are in model/Numbers.h.)

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
