#include "formats/XmlEscape.h"

namespace sondralis {

namespace {

enum class Mode { Element, Attribute, CData };

void AppendXml(std::string& out, std::string_view text, Mode mode) {
  const bool attribute = mode == Mode::Attribute;
  const bool cdata = mode == Mode::CData;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += cdata ? "&" : "&amp;"; break;
        case '<': out += cdata ? "<" : "&lt;"; break;
        case '>':
          // "]]>" would end the section: it is split over two.
          if (cdata && out.size() >= 2 && out.compare(out.size() - 2, 2, "]]") == 0) out += "]]><![CDATA[>";
          else out += cdata ? ">" : "&gt;";
          break;
        case '"':
          if (attribute) out += "&quot;";
          else out.push_back('"');
          break;
        case '\t':
        case '\n':
        case '\r':
          if (attribute) {
            out += c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
          } else if (cdata && c == '\r') {
            // A reader turns CR LF and a lone CR into LF.
            if (i + 1 >= text.size() || text[i + 1] != '\n') out.push_back('\n');
          } else {
            out.push_back(static_cast<char>(c));
          }
          break;
        default:
          // Other control characters cannot appear in an XML 1.0 document.
          if (c >= 0x20) out.push_back(static_cast<char>(c));
      }
      ++i;
      continue;
    }
    // A UTF-8 sequence: copied when well-formed, U+FFFD otherwise.
    std::size_t len = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
    bool ok = len > 0 && i + len <= text.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok) {
      const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
      const bool invalid = (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF || cp == 0xFFFE || cp == 0xFFFF;
      ok = !overlong && !invalid;
    }
    if (ok) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
}

}  // namespace

void AppendXmlEscaped(std::string& out, std::string_view text, bool attribute) {
  AppendXml(out, text, attribute ? Mode::Attribute : Mode::Element);
}

void AppendXmlCData(std::string& out, std::string_view text) {
  out += "<![CDATA[";
  AppendXml(out, text, Mode::CData);
  out += "]]>";
}

}  // namespace sondralis
