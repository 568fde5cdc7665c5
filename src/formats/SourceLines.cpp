#include "formats/SourceLines.h"

#include <fstream>
#include <iterator>

namespace sondralis {

namespace {

std::size_t Utf8Length(unsigned code) {
  if (code < 0x80) return 1;
  if (code < 0x800) return 2;
  return 3;
}

long long Utf16Line(std::string_view bytes, bool bigEndian, long long offset) {
  long long line = 1, decoded = 0;
  for (std::size_t i = 0; i + 1 < bytes.size() && decoded < offset; i += 2) {
    const unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    const unsigned unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      const unsigned c = static_cast<unsigned char>(bytes[i + 2]), d = static_cast<unsigned char>(bytes[i + 3]);
      const unsigned low = bigEndian ? (c << 8 | d) : (d << 8 | c);
      if (low >= 0xDC00 && low < 0xE000) {
        decoded += 4;
        i += 2;
        continue;
      }
    }
    if (unit == '\n') ++line;
    decoded += static_cast<long long>(Utf8Length(unit));
  }
  return line;
}

}  // namespace

long long LineAtDecodedOffset(std::string_view Bytes, TXpCharEncoding Encoding, long long Offset) {
  if (Offset < 0) return 0;
  switch (Encoding) {
    case TXpCharEncoding::ceUTF16LE: return Utf16Line(Bytes, false, Offset);
    case TXpCharEncoding::ceUTF16BE: return Utf16Line(Bytes, true, Offset);
    case TXpCharEncoding::ceISO88591:
    case TXpCharEncoding::ceWindows1252: {
      long long line = 1, decoded = 0;
      for (std::size_t i = 0; i < Bytes.size() && decoded < Offset; ++i) {
        const unsigned char c = static_cast<unsigned char>(Bytes[i]);
        if (c == '\n') ++line;
        decoded += c < 0x80 ? 1 : 2;
      }
      return line;
    }
    default: break;
  }
  if (Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  const std::string_view before = Bytes.substr(0, std::min<std::size_t>(Bytes.size(), static_cast<std::size_t>(Offset)));
  long long line = 1;
  for (char c : before)
    if (c == '\n') ++line;
  return line;
}

std::string ReadFileContent(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sondralis
