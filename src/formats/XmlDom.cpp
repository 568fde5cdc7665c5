#include "formats/XmlDom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <optional>
#include <pugixml.hpp>
#include <unordered_map>
#include <unordered_set>

#include "formats/XmlEscape.h"
#include "formats/XmlWellFormed.h"

namespace sondralis {

namespace {

using pugi::xml_attribute;
using pugi::xml_node;

bool IsXmlSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Characters below the blank other than tab, line feed and carriage return,
// which an XML 1.0 document cannot hold.
bool IsDroppedControl(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

char UpperAscii(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }


// The same for a nul-terminated node name, without measuring it first.
bool NamesMatch(const char* name, std::string_view b, bool ignoreCase) noexcept {
  for (std::size_t i = 0; i < b.size(); ++i) {
    const char c = name[i];
    if (c == 0) return false;
    if (c != b[i] && (!ignoreCase || UpperAscii(c) != UpperAscii(b[i]))) return false;
  }
  return name[b.size()] == 0;
}

// White space runs become one blank, none at either end. Control
// characters XML cannot carry are left out first, so that a text reads the
// same after it was written (where they are dropped) and read again.
void AppendNormalized(std::string& out, std::string_view text) {
  bool pendingBlank = false;
  for (char c : text) {
    if (IsDroppedControl(c)) continue;
    if (IsXmlSpace(c)) {
      pendingBlank = true;
      continue;
    }
    if (pendingBlank && !out.empty()) out.push_back(' ');
    pendingBlank = false;
    out.push_back(c);
  }
}

// Character data as the readers see it: normalised unless the model keeps
// white space.
std::string CharacterData(std::string_view raw, bool normalize) {
  if (!normalize) return std::string(raw);
  std::string out;
  out.reserve(raw.size());
  AppendNormalized(out, raw);
  return out;
}

std::string_view PrefixOf(std::string_view name) noexcept {
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

}  // namespace

// Namespace declarations of elements that make many of them, indexed the
// first time a prefix is looked up there. A root element declaring thousands
// of prefixes, each used by one point's extensions, would otherwise cost a
// scan of all of them for every point written back.
struct XpNamespaceIndex {
  std::unordered_map<const pugi::xml_node_struct*, std::unordered_map<std::string_view, std::string_view>> Elements;
  // Where the parsed text starts in the whole input, when it is a piece of
  // it (TXpObjModel::StreamDataSource): added to the parser's offsets.
  long long OffsetBase = 0;
};

namespace {

// Elements with at most this many attributes are searched in place.
constexpr int kDeclarationsSearchedInPlace = 16;

bool DeclaresPrefix(std::string_view attributeName, std::string_view prefix) noexcept {
  return attributeName.size() == prefix.size() + 6 && attributeName.substr(0, 6) == "xmlns:" &&
         attributeName.substr(6) == prefix;
}

// The URI that element e itself declares for prefix, or null.
const char* DeclarationOn(xml_node e, std::string_view prefix, XpNamespaceIndex* index) {
  int seen = 0;
  for (xml_attribute a = e.first_attribute(); a; a = a.next_attribute()) {
    if (index && ++seen > kDeclarationsSearchedInPlace) {
      auto [entry, fresh] = index->Elements.try_emplace(e.internal_object());
      auto& declared = entry->second;
      if (fresh)
        for (xml_attribute d = e.first_attribute(); d; d = d.next_attribute()) {
          const std::string_view name = d.name();
          if (name.substr(0, 6) == "xmlns:") declared.emplace(name.substr(6), d.value());  // the first one counts
        }
      const auto found = declared.find(prefix);
      return found == declared.end() ? nullptr : found->second.data();
    }
    if (DeclaresPrefix(a.name(), prefix)) return a.value();
  }
  return nullptr;
}

// The namespace declarations a fragment needs on its top element: prefixes
// used inside it whose declaration sits on an ancestor outside it. Each
// prefix costs the same however many others the fragment or its ancestors
// declare.
class NamespaceFixup {
 public:
  using Bindings = std::vector<std::pair<std::string, std::string>>;
  NamespaceFixup(xml_node root, XpNamespaceIndex* index, const Bindings* unbound)
      : fRoot(root), fIndex(index), fUnbound(unbound) {}

  std::vector<std::pair<std::string, std::string>> Collect() {
    if (fRoot.type() != pugi::node_element) return {};
    std::vector<std::size_t> marks;  // size of fDeclared on entering each open element
    xml_node n = fRoot;
    for (;;) {
      const bool descend = Enter(n, marks);
      if (descend) {
        n = n.first_child();
        continue;
      }
      if (n == fRoot) break;
      bool done = false;
      while (!n.next_sibling()) {
        n = n.parent();
        Leave(marks);
        if (n == fRoot) {
          done = true;
          break;
        }
      }
      if (done) break;
      n = n.next_sibling();
    }
    return std::move(fNeeded);
  }

 private:
  // Returns whether the node has children to visit (and then stays open).
  bool Enter(xml_node n, std::vector<std::size_t>& marks) {
    if (n.type() != pugi::node_element) return false;
    marks.push_back(fDeclared.size());
    for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      const std::string_view name = a.name();
      if (name.substr(0, 6) == "xmlns:") {
        fDeclared.emplace_back(name.substr(6));
        ++fInScope[fDeclared.back()];
      }
    }
    Use(PrefixOf(n.name()));
    for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      const std::string_view name = a.name();
      if (name == "xmlns" || name.substr(0, 6) == "xmlns:") continue;
      Use(PrefixOf(name));
    }
    if (n.first_child()) return true;
    Leave(marks);
    return false;
  }

  void Leave(std::vector<std::size_t>& marks) {
    for (std::size_t i = marks.back(); i < fDeclared.size(); ++i) {
      const auto scope = fInScope.find(fDeclared[i]);
      if (--scope->second == 0) fInScope.erase(scope);
    }
    fDeclared.resize(marks.back());
    marks.pop_back();
  }

  void Use(std::string_view prefix) {
    if (prefix.empty() || prefix == "xml" || prefix == "xmlns") return;
    if (fInScope.contains(prefix)) return;
    if (!fLookedUp.insert(prefix).second) return;  // already needed, or declared nowhere
    for (xml_node a = fRoot.parent(); a; a = a.parent()) {
      if (a.type() != pugi::node_element) break;
      if (const char* uri = DeclarationOn(a, prefix, fIndex)) {
        fNeeded.emplace_back(std::string(prefix), uri);
        return;
      }
    }
    if (fUnbound)
      for (const auto& [p, uri] : *fUnbound)
        if (p == prefix) {
          fNeeded.emplace_back(p, uri);
          return;
        }
  }

  xml_node fRoot;
  XpNamespaceIndex* fIndex;
  const Bindings* fUnbound;
  std::vector<std::string_view> fDeclared;  // declarations of the open elements, outermost first
  std::unordered_map<std::string_view, int> fInScope;  // the same counted by prefix
  std::unordered_set<std::string_view> fLookedUp;
  std::vector<std::pair<std::string, std::string>> fNeeded;  // in the order of first use
};

class Serializer {
 public:
  Serializer(std::string& out, bool normalize, XpNamespaceIndex* namespaces, const NamespaceFixup::Bindings* unbound)
      : fOut(out), fNormalize(normalize), fNamespaces(namespaces), fUnbound(unbound) {}

  void Write(xml_node root) {
    const auto extra = NamespaceFixup(root, fNamespaces, fUnbound).Collect();
    xml_node n = root;
    if (!Open(n, &extra)) return;
    n = n.first_child();
    for (;;) {
      if (Open(n, nullptr)) {
        n = n.first_child();
        continue;
      }
      while (!n.next_sibling()) {
        n = n.parent();
        Close(n);
        if (n == root) return;
      }
      n = n.next_sibling();
    }
  }

 private:
  void Text(std::string_view raw) {
    if (fNormalize) {
      std::string t;
      AppendNormalized(t, raw);
      AppendXmlEscaped(fOut, t, false);
    } else {
      AppendXmlEscaped(fOut, raw, false);
    }
  }

  // Writes what comes before the children; true when there are children
  // to visit, whose end tag Close writes afterwards.
  bool Open(xml_node n, const std::vector<std::pair<std::string, std::string>>* extra) {
    switch (n.type()) {
      case pugi::node_document: return static_cast<bool>(n.first_child());
      case pugi::node_pcdata: Text(n.value()); return false;
      case pugi::node_cdata: {
        // A CDATA text holding "]]>" is split over two sections.
        std::string_view t = n.value();
        fOut += "<![CDATA[";
        for (auto pos = t.find("]]>"); pos != std::string_view::npos; pos = t.find("]]>")) {
          fOut.append(t.substr(0, pos + 2));
          fOut += "]]><![CDATA[";
          t.remove_prefix(pos + 2);
        }
        fOut.append(t);
        fOut += "]]>";
        return false;
      }
      case pugi::node_comment:
        fOut += "<!--";
        fOut += n.value();
        fOut += "-->";
        return false;
      case pugi::node_declaration:
        fOut += "<?xml";
        for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) Attribute(a.name(), a.value());
        fOut += "?>";
        return false;
      case pugi::node_element: break;
      default: return false;
    }
    fOut.push_back('<');
    fOut += n.name();
    for (xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) Attribute(a.name(), a.value());
    if (extra)
      for (const auto& [prefix, uri] : *extra) Attribute("xmlns:" + prefix, uri);
    const bool hasChildren = static_cast<bool>(n.first_child());
    // The element's own text as written: one that comes out empty makes an
    // empty-element tag, as it reads back.
    const std::size_t tag = fOut.size();
    fOut.push_back('>');
    Text(n.value());
    if (!hasChildren && fOut.size() == tag + 1) {
      fOut.resize(tag);
      fOut += "/>";
      return false;
    }
    if (hasChildren) return true;
    Close(n);
    return false;
  }

  void Close(xml_node n) {
    if (n.type() != pugi::node_element) return;
    fOut += "</";
    fOut += n.name();
    fOut.push_back('>');
  }

  void Attribute(std::string_view name, std::string_view value) {
    fOut.push_back(' ');
    fOut += name;
    fOut += "=\"";
    AppendXmlEscaped(fOut, value, true);
    fOut.push_back('"');
  }

  std::string& fOut;
  bool fNormalize;
  XpNamespaceIndex* fNamespaces;
  const NamespaceFixup::Bindings* fUnbound;
};

// One step of a path.
struct Step {
  enum Axis { kChild, kDescendant, kParent, kSelf } axis;
  std::string_view name;  // for kChild and kDescendant; "*" matches any element
};

// Splits a path into steps; false when the path is not one this layer
// evaluates ("a", "a/b", "..", ".", ".//a", "a//b").
bool ParsePath(std::string_view path, std::vector<Step>& steps) {
  if (path.empty() || path.front() == '/' || path.back() == '/') return false;
  bool descendant = false;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (part.empty()) {
      if (descendant) return false;  // "///"
      descendant = true;
      continue;
    }
    if (part == ".") {
      if (descendant) return false;
      steps.push_back({Step::kSelf, {}});
    } else if (part == "..") {
      if (descendant) return false;
      steps.push_back({Step::kParent, {}});
    } else {
      for (char c : part)
        if (IsXmlSpace(c) || c == '[' || c == ']' || c == '(' || c == ')' || c == '@' || c == '=') return false;
      steps.push_back({descendant ? Step::kDescendant : Step::kChild, part});
    }
    descendant = false;
  }
  return !descendant;
}

bool ElementMatches(xml_node n, std::string_view name, bool ignoreCase) {
  return n.type() == pugi::node_element && (name == "*" || NamesMatch(n.name(), name, ignoreCase));
}

bool NeedsNormalizing(std::string_view text) {
  if (text.empty()) return false;
  if (IsXmlSpace(text.front()) || IsXmlSpace(text.back())) return true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) > ' ') continue;
    // Tabs, line ends and control characters always change; a blank only
    // when white space follows it (the last character is no blank here).
    if (c != ' ' || IsXmlSpace(text[i + 1])) return true;
  }
  return false;
}

}  // namespace

// Gives the pugixml handles of a node to the code in this file.
struct XpAccess {
  static xml_node Node(const TXpNode& n) { return xml_node(n.fNode); }
  // A node of the same document as `from`, with its settings.
  static TXpNode Make(xml_node n, const TXpNode& from) {
    return n ? TXpNode(n.internal_object(), nullptr, TXpNode::kNode, from.fFlags, from.fNamespaces) : TXpNode();
  }
  static std::uint8_t Flags(const TXpNode& n) { return n.fFlags; }
};

std::string NormalizeXmlSpace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendNormalized(out, text);
  return out;
}

bool SameXmlName(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// ---------------------------------------------------------------- TXpNodeList

TXpNodeList::TXpNodeList(std::vector<TXpNode> nodes) : fNodes(std::move(nodes)) {}

TXpNode TXpNodeList::Item(int Index) const {
  if (Index < 0 || Index >= Length()) return {};
  return fNodes[static_cast<std::size_t>(Index)];
}

TXpNode TXpNodeList::Last() const { return fNodes.empty() ? TXpNode() : fNodes.back(); }

// -------------------------------------------------------------------- TXpNode

TXpNodeType TXpNode::NodeType() const noexcept {
  if (!fNode) return TXpNodeType::ntNone;
  if (fKind == kAttribute) return TXpNodeType::ntAttribute;
  if (fKind == kEmbeddedText) return TXpNodeType::ntText;
  switch (xml_node(fNode).type()) {
    case pugi::node_document: return TXpNodeType::ntDocument;
    case pugi::node_element: return TXpNodeType::ntElement;
    case pugi::node_pcdata: return TXpNodeType::ntText;
    case pugi::node_cdata: return TXpNodeType::ntCDATA;
    case pugi::node_comment: return TXpNodeType::ntComment;
    case pugi::node_declaration: return TXpNodeType::ntDeclaration;
    default: return TXpNodeType::ntNone;
  }
}

std::string_view TXpNode::NodeName() const noexcept {
  switch (NodeType()) {
    case TXpNodeType::ntAttribute: return xml_attribute(fAttr).name();
    case TXpNodeType::ntElement: return xml_node(fNode).name();
    case TXpNodeType::ntText: return "#text";
    case TXpNodeType::ntCDATA: return "#cdata-section";
    case TXpNodeType::ntComment: return "#comment";
    case TXpNodeType::ntDocument: return "#document";
    case TXpNodeType::ntDeclaration: return "xml";
    default: return {};
  }
}

std::string TXpNode::NodeValue() const {
  const bool normalize = (fFlags & kNormalize) != 0;
  switch (NodeType()) {
    case TXpNodeType::ntAttribute: return xml_attribute(fAttr).value();
    case TXpNodeType::ntText: return CharacterData(xml_node(fNode).value(), normalize);
    case TXpNodeType::ntCDATA:
    case TXpNodeType::ntComment: return xml_node(fNode).value();
    default: return {};
  }
}

TXpNode TXpNode::ParentNode() const noexcept {
  if (!fNode || fKind == kAttribute) return {};
  if (fKind == kEmbeddedText) return TXpNode(fNode, nullptr, kNode, fFlags, fNamespaces);
  return XpAccess::Make(xml_node(fNode).parent(), *this);
}

TXpNode TXpNode::FirstChild() const noexcept {
  if (!fNode || fKind != kNode) return {};
  xml_node n(fNode);
  if (n.type() == pugi::node_element && *n.value()) return TXpNode(fNode, nullptr, kEmbeddedText, fFlags, fNamespaces);
  return XpAccess::Make(n.first_child(), *this);
}

TXpNode TXpNode::NextSibling() const noexcept {
  if (!fNode || fKind == kAttribute) return {};
  if (fKind == kEmbeddedText) return XpAccess::Make(xml_node(fNode).first_child(), *this);
  return XpAccess::Make(xml_node(fNode).next_sibling(), *this);
}

TXpNodeList TXpNode::ChildNodes() const {
  std::vector<TXpNode> nodes;
  for (TXpNode c = FirstChild(); c; c = c.NextSibling()) nodes.push_back(c);
  return TXpNodeList(std::move(nodes));
}

TXpNamedNodeMap TXpNode::Attributes() const noexcept {
  if (NodeType() != TXpNodeType::ntElement) return {};
  return TXpNamedNodeMap(fNode, fFlags);
}

bool TXpNode::HasAttributes() const noexcept {
  return NodeType() == TXpNodeType::ntElement && xml_node(fNode).first_attribute();
}

bool TXpNode::NameIs(std::string_view name) const noexcept {
  const bool ignoreCase = (fFlags & kIgnoreCase) != 0;
  if (!fNode || fKind == kEmbeddedText) return false;
  if (fKind == kAttribute) return NamesMatch(xml_attribute(fAttr).name(), name, ignoreCase);
  const xml_node n(fNode);
  return n.type() == pugi::node_element && NamesMatch(n.name(), name, ignoreCase);
}

int TXpNode::NameIndex(std::span<const std::string_view> names) const noexcept {
  if (!fNode || fKind != kNode) return -1;
  const xml_node n(fNode);
  if (n.type() != pugi::node_element) return -1;
  // Measured once, the name is compared only with names of its length.
  const std::string_view name = n.name();
  const bool ignoreCase = (fFlags & kIgnoreCase) != 0;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].size() == name.size() && (ignoreCase ? SameXmlName(name, names[i]) : name == names[i]))
      return static_cast<int>(i);
  return -1;
}

long long TXpNode::SourceOffset() const noexcept {
  if (!fNode) return -1;
  const long long base = fNamespaces ? fNamespaces->OffsetBase : 0;
  return static_cast<long long>(xml_node(fNode).offset_debug()) + base;
}

TXpNodeList TXpNode::SelectNodes(std::string_view sQuery) const {
  const auto type = NodeType();
  if (type != TXpNodeType::ntElement && type != TXpNodeType::ntDocument) return {};
  std::vector<Step> steps;
  if (!ParsePath(sQuery, steps)) return {};
  const bool ignoreCase = (fFlags & kIgnoreCase) != 0;

  std::vector<xml_node> current{xml_node(fNode)};
  std::vector<xml_node> next;
  for (const Step& step : steps) {
    next.clear();
    for (xml_node c : current) {
      switch (step.axis) {
        case Step::kSelf: next.push_back(c); break;
        case Step::kParent:
          if (xml_node p = c.parent()) next.push_back(p);
          break;
        case Step::kChild:
          for (xml_node k = c.first_child(); k; k = k.next_sibling())
            if (ElementMatches(k, step.name, ignoreCase)) next.push_back(k);
          break;
        case Step::kDescendant: {
          // Pre-order walk of the subtree below c, without recursion.
          xml_node k = c.first_child();
          while (k) {
            if (ElementMatches(k, step.name, ignoreCase)) next.push_back(k);
            if (k.first_child()) {
              k = k.first_child();
              continue;
            }
            while (k && k != c && !k.next_sibling()) k = k.parent();
            if (!k || k == c) break;
            k = k.next_sibling();
          }
          break;
        }
      }
    }
    if (current.size() > 1 && next.size() > 1) {
      // Several context nodes may reach the same node, or reach nodes out of
      // order; keep each once, in document order.
      std::stable_sort(next.begin(), next.end(),
                       [](xml_node a, xml_node b) { return a.offset_debug() < b.offset_debug(); });
      next.erase(std::unique(next.begin(), next.end()), next.end());
    }
    current.swap(next);
    if (current.empty()) break;
  }
  std::vector<TXpNode> result;
  result.reserve(current.size());
  for (xml_node n : current) result.push_back(XpAccess::Make(n, *this));
  return TXpNodeList(std::move(result));
}

std::string TXpNode::SelectString(std::string_view sQuery) const {
  const TXpNodeList nodes = SelectNodes(sQuery);
  return nodes.Length() > 0 ? nodes.Item(0).Text() : std::string();
}

bool TXpNode::SelectBoolean(std::string_view sQuery) const { return SelectNodes(sQuery).Length() > 0; }

std::string TXpNode::Text() const {
  const auto type = NodeType();
  if (type == TXpNodeType::ntText || type == TXpNodeType::ntCDATA || type == TXpNodeType::ntAttribute)
    return NodeValue();
  if (type != TXpNodeType::ntElement && type != TXpNodeType::ntDocument) return {};
  const bool normalize = (fFlags & kNormalize) != 0;
  std::string out;
  auto piece = [&](std::string_view raw, bool cdata) {
    const std::string t = cdata ? std::string(raw) : CharacterData(raw, normalize);
    if (t.empty()) return;
    if (!out.empty()) out.push_back(' ');
    out += t;
  };
  const xml_node root(fNode);
  xml_node n = root;
  for (;;) {
    switch (n.type()) {
      case pugi::node_element: piece(n.value(), false); break;
      case pugi::node_pcdata: piece(n.value(), false); break;
      case pugi::node_cdata: piece(n.value(), true); break;
      default: break;
    }
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n != root && !n.next_sibling()) n = n.parent();
    if (n == root) break;
    n = n.next_sibling();
  }
  return out;
}

std::string_view TXpNode::TextRef(std::string& Buffer) const {
  if (fKind == kAttribute) return xml_attribute(fAttr).value();
  if (fKind == kNode && fNode) {
    const xml_node n(fNode);
    if (n.type() == pugi::node_element && !n.first_child()) {
      const std::string_view value = n.value();
      if (!(fFlags & kNormalize) || !NeedsNormalizing(value)) return value;
    }
  }
  Buffer = Text();
  return Buffer;
}

std::string TXpNode::XmlDocument(const std::vector<std::pair<std::string, std::string>>* Unbound) const {
  std::string out;
  const bool normalize = (fFlags & kNormalize) != 0;
  switch (fKind) {
    case kAttribute:
      out += xml_attribute(fAttr).name();
      out += "=\"";
      AppendXmlEscaped(out, xml_attribute(fAttr).value(), true);
      out += '"';
      break;
    case kEmbeddedText: AppendXmlEscaped(out, CharacterData(xml_node(fNode).value(), normalize), false); break;
    case kNode:
      if (fNode) Serializer(out, normalize, fNamespaces, Unbound).Write(xml_node(fNode));
      break;
  }
  return out;
}

std::string TXpNode::InnerXml(const std::vector<std::pair<std::string, std::string>>* Unbound) const {
  std::string out;
  for (TXpNode c = FirstChild(); c; c = c.NextSibling()) out += c.XmlDocument(Unbound);
  return out;
}

// ------------------------------------------------------------ TXpNamedNodeMap

TXpNode TXpNamedNodeMap::GetNamedItem(std::string_view name) const noexcept {
  if (!fElement) return {};
  // The name as written first; under the case rule, the first that matches
  // in another case only when none is written so.
  for (xml_attribute a = xml_node(fElement).first_attribute(); a; a = a.next_attribute())
    if (NamesMatch(a.name(), name, false)) return TXpNode(fElement, a.internal_object(), TXpNode::kAttribute, fFlags);
  if (!(fFlags & TXpNode::kIgnoreCase)) return {};
  for (xml_attribute a = xml_node(fElement).first_attribute(); a; a = a.next_attribute())
    if (NamesMatch(a.name(), name, true)) return TXpNode(fElement, a.internal_object(), TXpNode::kAttribute, fFlags);
  return {};
}

int TXpNamedNodeMap::Length() const noexcept {
  int n = 0;
  if (fElement)
    for (xml_attribute a = xml_node(fElement).first_attribute(); a; a = a.next_attribute()) ++n;
  return n;
}

TXpNode TXpNamedNodeMap::Item(int Index) const noexcept {
  if (!fElement || Index < 0) return {};
  for (xml_attribute a = xml_node(fElement).first_attribute(); a; a = a.next_attribute())
    if (Index-- == 0) return TXpNode(fElement, a.internal_object(), TXpNode::kAttribute, fFlags);
  return {};
}

// ---------------------------------------------------------------- TXpObjModel

TXpObjModel::TXpObjModel()
    : fDoc(std::make_unique<pugi::xml_document>()), fNamespaces(std::make_unique<XpNamespaceIndex>()) {}

TXpObjModel::~TXpObjModel() = default;

TXpDocument TXpObjModel::Document() const noexcept {
  std::uint8_t flags = 0;
  if (IgnoreCase) flags |= TXpNode::kIgnoreCase;
  if (NormalizeData) flags |= TXpNode::kNormalize;
  return TXpDocument(TXpNode(fDoc->internal_object(), nullptr, TXpNode::kNode, flags, fNamespaces.get()));
}

std::string TXpObjModel::ErrorText() const {
  std::string out;
  for (const auto& e : fErrors) {
    if (!out.empty()) out.push_back('\n');
    out += e;
  }
  return out;
}

bool TXpObjModel::Fail(const std::string& message, long long position) {
  fDoc->reset();
  fBuffer.reset();
  fNamespaces->Elements.clear();
  fErrors.push_back(message);
  if (RaiseErrors) throw EXpParserError(message, position);
  return false;
}

bool TXpObjModel::LoadDataSource(const std::string& sSource) {
  fErrors.clear();
  fDoc->reset();
  fBuffer.reset();
  fNamespaces->Elements.clear();
  const int fd = ::open(sSource.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail("Can't open " + sSource + ": " + std::strerror(errno), -1);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail("Can't read " + sSource + ": not a file", -1);
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  std::unique_ptr<char[]> buffer;
  try {
    buffer.reset(new char[size + 1]);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return Fail("Can't read " + sSource + ": the file is too large", -1);
  }
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : 0;
      ::close(fd);
      return Fail("Can't read " + sSource + ": " + (error ? std::strerror(error) : "the file shrank while reading"),
                  -1);
    }
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return LoadBuffer(std::move(buffer), size, sSource);
}

bool TXpObjModel::LoadStream(std::istream& oStream) {
  fErrors.clear();
  std::string bytes((std::istreambuf_iterator<char>(oStream)), std::istreambuf_iterator<char>());
  return LoadMemory(bytes);
}

bool TXpObjModel::LoadMemory(std::string_view bytes) {
  fErrors.clear();
  std::unique_ptr<char[]> buffer(new char[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(buffer.get(), bytes.data(), bytes.size());
  return LoadBuffer(std::move(buffer), bytes.size(), "the XML text");
}

namespace {

// The value of a pseudo-attribute of an XML declaration held in raw bytes,
// or empty.
std::string_view DeclarationValue(std::string_view decl, std::string_view name) {
  std::size_t pos = 0;
  while ((pos = decl.find(name, pos)) != std::string_view::npos) {
    std::size_t i = pos + name.size();
    const bool boundary = pos > 0 && IsXmlSpace(decl[pos - 1]);
    pos = i;
    if (!boundary) continue;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || decl[i] != '=') continue;
    ++i;
    while (i < decl.size() && IsXmlSpace(decl[i])) ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) continue;
    const char quote = decl[i++];
    const auto end = decl.find(quote, i);
    if (end == std::string_view::npos) return {};
    return decl.substr(i, end - i);
  }
  return {};
}

// The characters Windows-1252 gives the bytes 0x80 to 0x9F, which
// ISO-8859-1 reads as control characters; the five bytes it leaves
// undefined keep them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// `text` (UTF-8 decoded as ISO-8859-1) with U+0080..U+009F replaced by the
// Windows-1252 characters; nothing when there is none.
std::optional<std::string> Windows1252Text(std::string_view text) {
  std::optional<std::string> out;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]), next = static_cast<unsigned char>(text[i + 1]);
    if (lead != 0xC2 || next < 0x80 || next > 0x9F) continue;
    if (!out) out.emplace(text.substr(0, i));
    const char16_t c = kWindows1252High[next - 0x80];
    if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    // The rest up to the next candidate as it is.
    const std::size_t from = i + 2;
    std::size_t to = text.find('\xC2', from);
    if (to == std::string_view::npos) to = text.size();
    out->append(text.substr(from, to - from));
    i = to - 1;
  }
  return out;
}

void PutWindows1252Characters(pugi::xml_node node) {
  // An element's text may be embedded in the element itself.
  if (node.type() == pugi::node_element && *node.value())
    if (auto text = Windows1252Text(node.value())) node.text().set(text->c_str());
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
    if (auto text = Windows1252Text(a.value())) a.set_value(text->c_str());
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      if (auto text = Windows1252Text(child.value())) child.set_value(text->c_str());
    } else {
      PutWindows1252Characters(child);
    }
  }
}

}  // namespace

TXpObjModel::InputEncoding TXpObjModel::DetectEncoding(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  InputEncoding e;
  if (bytes.size() >= 3 && byte(0) == 0xFE && byte(1) == 0xFF) {
    e.Parser = pugi::encoding_utf16_be;
    e.Kind = TXpCharEncoding::ceUTF16BE;
    return e;
  }
  if (bytes.size() >= 3 && byte(0) == 0xFF && byte(1) == 0xFE) {
    e.Parser = pugi::encoding_utf16_le;
    e.Kind = TXpCharEncoding::ceUTF16LE;
    return e;
  }
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) e.Skip = 3;
  // An 8-bit input may declare ISO-8859-1 or Windows-1252 (read as
  // ISO-8859-1, its 32 characters of its own put in afterwards); other
  // declared encodings are read as UTF-8.
  const std::string_view text = bytes.substr(e.Skip);
  if (text.size() > 5 && text.substr(0, 5) == "<?xml" && IsXmlSpace(text[5])) {
    const auto end = text.find("?>");
    if (end != std::string_view::npos) {
      const std::string_view declared = DeclarationValue(text.substr(0, end), "encoding");
      e.Declared = std::string(declared);
      if (SameXmlName(declared, "ISO-8859-1")) {
        e.Parser = pugi::encoding_latin1;
        e.Kind = TXpCharEncoding::ceISO88591;
      } else if (SameXmlName(declared, "windows-1252") || SameXmlName(declared, "cp1252") ||
                 SameXmlName(declared, "x-cp1252")) {
        e.Parser = pugi::encoding_latin1;
        e.Kind = TXpCharEncoding::ceWindows1252;
      }
    }
  }
  return e;
}

bool TXpObjModel::LoadBuffer(std::unique_ptr<char[]> buffer, std::size_t size, const std::string& sourceName) {
  fDoc->reset();
  fBuffer.reset();
  fNamespaces->Elements.clear();
  fErrors.clear();
  const InputEncoding encoding = DetectEncoding(std::string_view(buffer.get(), size));
  fEncoding = encoding.Kind;
  fDeclared = encoding.Declared;
  fBuffer = std::move(buffer);
  return ParseBuffer(fBuffer.get() + encoding.Skip, size - encoding.Skip, encoding.Parser, sourceName, 0);
}

bool TXpObjModel::ParseBuffer(char* data, std::size_t length, int encoding, const std::string& sourceName,
                              long long offsetShift, bool quiet) {
  fDoc->reset();
  fNamespaces->Elements.clear();
  fNamespaces->OffsetBase = 0;
  // A quiet failure only empties the tree: the caller has another way.
  auto Fail = [&](const std::string& message, long long position) {
    if (quiet) {
      fDoc->reset();
      return false;
    }
    return this->Fail(message, position);
  };
  unsigned options = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol |
                     pugi::parse_declaration | pugi::parse_embed_pcdata | pugi::parse_comments;
  if (!NormalizeData) options |= pugi::parse_ws_pcdata;
  // Parsed in place: the tree points into the buffer, which must live as
  // long as the tree. (An input that needs converting may still be parsed
  // in place, for instance ISO-8859-1 text that is plain ASCII.)
  // References are looked for before the parse, which decodes them in place.
  const std::optional<TXmlFault> badReference = FindForbiddenCharacterReference({data, length}, fEncoding);
  if (fEncoding != TXpCharEncoding::ceUTF16LE && fEncoding != TXpCharEncoding::ceUTF16BE) {
    // XML has no NUL character, and the parser would take one for the end
    // of the text, sometimes quietly.
    if (const void* nul = std::memchr(data, 0, length)) {
      const long long offset = std::max(0LL, static_cast<const char*>(nul) - data + offsetShift);
      return Fail("Error in " + sourceName + ": a NUL character at offset " + std::to_string(offset), offset);
    }
  }
  // Only bytes 0x80..0x9F differ from ISO-8859-1; a text without them (or
  // with such characters only as references) stays as it is parsed.
  const bool windows1252 =
      fEncoding == TXpCharEncoding::ceWindows1252 &&
      std::any_of(data, data + length, [](char c) { return static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) <= 0x9F; });
  const pugi::xml_parse_result result =
      fDoc->load_buffer_inplace(data, length, options, static_cast<pugi::xml_encoding>(encoding));
  if (!result) {
    const long long offset = std::max(0LL, static_cast<long long>(result.offset) + offsetShift);
    return Fail("Error in " + sourceName + ": " + result.description() + " at offset " + std::to_string(offset),
                offset);
  }
  fNamespaces->OffsetBase = offsetShift;
  if (windows1252) PutWindows1252Characters(*fDoc);

  bool seenElement = false;
  for (xml_node n = fDoc->first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element) seenElement = true;
    if (n.type() != pugi::node_declaration) continue;
    if (seenElement)
      return Fail("Error in " + sourceName + ": the XML declaration follows the document element",
                  n.offset_debug() + offsetShift);
    const std::string_view version = n.attribute("version").value();
    if (version != "1.0")
      return Fail("Error in " + sourceName + ": XML version \"" + std::string(version) +
                      "\" is not supported (only 1.0)",
                  n.offset_debug() + offsetShift);
  }
  std::optional<TXmlFault> fault = FindTreeFault(*fDoc);
  if (!fault) fault = badReference;
  if (fault) {
    const long long offset = std::max(0LL, fault->Position + offsetShift);
    return Fail("Error in " + sourceName + ": " + fault->Message + " at offset " + std::to_string(offset), offset);
  }
  return true;
}

}  // namespace sondralis
