#include "formats/XmlWellFormed.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <vector>

namespace sondralis {

namespace {

bool AllowedInXml(std::uint32_t c) noexcept {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

int DigitValue(char c, bool hex) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the reference starting with "&#" at `at`. Returns its length when it
// is a complete reference to a forbidden character, 0 otherwise.
std::size_t ForbiddenReferenceAt(std::string_view text, std::size_t at) {
  std::size_t i = at + 2;
  const bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  const std::uint32_t base = hex ? 16 : 10;
  constexpr std::uint32_t kBeyond = 0x110000;  // saturates: every larger number is forbidden alike
  std::uint32_t value = 0;
  const std::size_t firstDigit = i;
  for (int d; i < text.size() && (d = DigitValue(text[i], hex)) >= 0; ++i)
    value = std::min(value * base + static_cast<std::uint32_t>(d), kBeyond);
  if (i == firstDigit || i >= text.size() || text[i] != ';') return 0;
  return AllowedInXml(value) ? 0 : i + 1 - at;
}

// The scan over text in which every character of the markup is one byte
// (UTF-8, ISO-8859-1, or UTF-16 narrowed to one byte per code unit).
// Returns the offset and length of the first forbidden reference.
std::optional<std::pair<std::size_t, std::size_t>> ScanForForbiddenReference(std::string_view text) {
  auto skipPast = [&](std::size_t from, std::string_view end) {
    const auto found = text.find(end, from);
    return found == std::string_view::npos ? text.size() : found + end.size();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t next = text.find_first_of("<&", i);
    if (next == std::string_view::npos) break;
    i = next;
    const std::string_view rest = text.substr(i);
    if (rest[0] == '<') {
      if (rest.starts_with("<!--"))
        i = skipPast(i + 4, "-->");
      else if (rest.starts_with("<![CDATA["))
        i = skipPast(i + 9, "]]>");
      else if (rest.starts_with("<?"))
        i = skipPast(i + 2, "?>");
      else
        ++i;
      continue;
    }
    if (rest.starts_with("&#"))
      if (const std::size_t length = ForbiddenReferenceAt(text, i)) return std::make_pair(i, length);
    ++i;
  }
  return std::nullopt;
}

TXmlFault ReferenceFault(std::string_view reference, long long position) {
  constexpr std::size_t kShown = 16;
  std::string shown(reference.substr(0, kShown));
  if (reference.size() > kShown) shown += "...";
  return {"the character reference " + shown + " names a character XML does not allow", position};
}

}  // namespace

std::optional<TXmlFault> FindForbiddenCharacterReference(std::string_view data, TXpCharEncoding encoding) {
  if (encoding != TXpCharEncoding::ceUTF16LE && encoding != TXpCharEncoding::ceUTF16BE) {
    // Nearly every file has no reference at all; one search settles that.
    if (data.find("&#") == std::string_view::npos) return std::nullopt;
    const auto found = ScanForForbiddenReference(data);
    if (!found) return std::nullopt;
    return ReferenceFault(data.substr(found->first, found->second), static_cast<long long>(found->first));
  }
  // UTF-16: every code unit becomes one byte, itself when it is ASCII (all of
  // the markup is), 0x80 otherwise; offsets then count code units.
  const bool little = encoding == TXpCharEncoding::ceUTF16LE;
  const std::size_t units = data.size() / 2;
  auto unitAt = [&](std::size_t k) {
    const auto lo = static_cast<unsigned char>(data[2 * k + (little ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(data[2 * k + (little ? 1 : 0)]);
    return static_cast<std::uint32_t>(hi << 8 | lo);
  };
  bool any = false;
  for (std::size_t k = 0; k + 1 < units && !any; ++k) any = unitAt(k) == '&' && unitAt(k + 1) == '#';
  if (!any) return std::nullopt;
  std::string narrow(units, '\x80');
  for (std::size_t k = 0; k < units; ++k)
    if (const std::uint32_t u = unitAt(k); u < 0x80) narrow[k] = static_cast<char>(u);
  const auto found = ScanForForbiddenReference(narrow);
  if (!found) return std::nullopt;
  return ReferenceFault(std::string_view(narrow).substr(found->first, found->second),
                        static_cast<long long>(2 * found->first));
}

std::optional<TXmlFault> FindTreeFault(const pugi::xml_document& doc) {
  int roots = 0;
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && ++roots == 2)
      return TXmlFault{"a second root element <" + std::string(n.name()) + ">",
                       static_cast<long long>(n.offset_debug())};

  // Attribute names of each element: compared pairwise when there are few,
  // sorted when there are many, so that no element costs more than
  // n log n in its attributes. The parser's own walk visits the nodes; this
  // runs over every node of every file read, and most have no attribute.
  class DuplicateAttributes : public pugi::xml_tree_walker {
   public:
    std::optional<TXmlFault> Fault;

    bool for_each(pugi::xml_node& n) override {
      const pugi::xml_attribute first = n.first_attribute();
      if (!first) return true;
      const pugi::xml_attribute second = first.next_attribute();
      if (!second || n.type() != pugi::node_element) return true;
      constexpr int kComparedPairwise = 8;
      int count = 2;
      for (pugi::xml_attribute a = second.next_attribute(); a && count <= kComparedPairwise; a = a.next_attribute())
        ++count;
      const char* twice = nullptr;
      if (count <= kComparedPairwise) {
        for (pugi::xml_attribute a = first; a && !twice; a = a.next_attribute())
          for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
            if (std::strcmp(a.name(), b.name()) == 0) {
              twice = a.name();
              break;
            }
      } else {
        fNames.clear();
        for (pugi::xml_attribute a = first; a; a = a.next_attribute()) fNames.emplace_back(a.name());
        std::sort(fNames.begin(), fNames.end());
        const auto same = std::adjacent_find(fNames.begin(), fNames.end());
        if (same != fNames.end()) twice = same->data();
      }
      if (!twice) return true;
      Fault = TXmlFault{"the attribute " + std::string(twice) + " appears twice in <" + std::string(n.name()) + ">",
                        static_cast<long long>(n.offset_debug())};
      return false;
    }

   private:
    std::vector<std::string_view> fNames;
  };
  DuplicateAttributes walker;
  pugi::xml_node top = doc;
  top.traverse(walker);
  return walker.Fault;
}

}  // namespace sondralis
