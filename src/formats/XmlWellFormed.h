#pragma once

// Well-formedness rules that the XML parser does not enforce, checked around
// its run: a document has exactly one root element, an element never carries
// the same attribute twice, and a character reference names a character that
// XML 1.0 allows. The parser accepts all three, and each loses data quietly:
// the readers take one root and drop the others, see one of two values, or
// read "4&#0;7.5" as "4".

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "formats/XmlDom.h"

namespace pugi {
class xml_document;
}

namespace sondralis {

struct TXmlFault {
  std::string Message;    // what is wrong, without the file name
  long long Position;     // byte offset of the offending text
};

// The first character reference in the raw input `data` (in the given
// encoding) to a character XML 1.0 does not allow: the C0 controls other
// than tab, line feed and carriage return, the surrogates U+D800 to U+DFFF,
// U+FFFE and U+FFFF, and anything beyond U+10FFFF. Text inside CDATA
// sections, comments and processing instructions holds no references.
// Text shaped like "&#12" without its semicolon is not a reference (the
// parser keeps it as it stands). Costs one search for "&#" when there is
// none, one pass otherwise. Must run before an in-place parse changes data.
std::optional<TXmlFault> FindForbiddenCharacterReference(std::string_view data, TXpCharEncoding encoding);

// A second root element, or an element with two attributes of one name, in
// a parsed document. Positions are the parser's offsets of the element.
std::optional<TXmlFault> FindTreeFault(const pugi::xml_document& doc);

}  // namespace sondralis
