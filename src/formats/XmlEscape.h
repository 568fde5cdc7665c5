#pragma once

#include <string>
#include <string_view>

namespace sondralis {

// Appends `text` as XML character data: "&", "<" and ">" escaped, and in an
// attribute value also '"' and the line-break and tab characters (which an
// XML reader would otherwise turn into blanks). Control characters that XML
// 1.0 cannot carry are dropped and malformed UTF-8 becomes U+FFFD, so the
// result is always well-formed UTF-8.
void AppendXmlEscaped(std::string& out, std::string_view text, bool attribute);

// Appends `text` as one CDATA section (split where it holds "]]>"), for
// element text whose white space a reader would otherwise normalise: the
// same characters are dropped or replaced, and CR LF or a lone CR becomes LF
// as any reader makes it.
void AppendXmlCData(std::string& out, std::string_view text);

}  // namespace sondralis
