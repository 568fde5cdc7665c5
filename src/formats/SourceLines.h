#pragma once

// Line numbers for messages about a file: the parser reports where a node
// starts in the text it read, after decoding to UTF-8; these functions map
// that back to a line of the file as the user sees it.

#include <string>
#include <string_view>

#include "formats/XmlDom.h"

namespace sondralis {

// The line (from 1) on which the decoded text reaches Offset, for Bytes as
// the file holds them and read in Encoding, as TXpObjModel decodes them: a
// UTF-8 byte-order mark is skipped, UTF-16 code units and ISO-8859-1 bytes
// count with the length of their UTF-8 form. 0 for a negative offset.
long long LineAtDecodedOffset(std::string_view Bytes, TXpCharEncoding Encoding, long long Offset);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileContent(const std::string& Path);

}  // namespace sondralis
