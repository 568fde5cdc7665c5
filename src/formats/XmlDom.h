#pragma once

// Read-only XML document access for the GPX and KML readers: load a file or
// a byte stream into a tree, walk it, and pick nodes with short paths
// ("a", "a/b", "..", ".//a"). Names match as written, prefix included, and
// (with IgnoreCase) without regard to ASCII letter case; no namespace
// resolution takes place. Character data outside CDATA sections is
// white-space normalised.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
class xml_document;
}  // namespace pugi

namespace sondralis {

enum class TXpCharEncoding { ceUnknown, ceUTF8, ceUTF16LE, ceUTF16BE, ceISO88591, ceWindows1252 };

enum class TXpLineBreakMode { lbmDefault, lbmCR, lbmCRLF, lbmLF };

enum class TXpNodeType { ntNone, ntDocument, ntElement, ntAttribute, ntText, ntCDATA, ntComment, ntDeclaration };

// Raised by a failed load when RaiseErrors is set. Position is the byte
// offset in the (decoded) input at which the parser gave up, or -1.
class EXpParserError : public std::runtime_error {
 public:
  EXpParserError(const std::string& message, long long position)
      : std::runtime_error(message), Position(position) {}
  long long Position;
};

class TXpNode;
class TXpNodeList;
class TXpNamedNodeMap;
class TXpObjModel;
struct XpNamespaceIndex;

// A node of a loaded document: document, element, attribute, text, CDATA
// or the XML declaration. A small value that refers into the tree; it is
// valid while its object model lives. A default-constructed node is null:
// every query on it answers "nothing".
class TXpNode {
 public:
  TXpNode() = default;

  bool IsNull() const noexcept { return fNode == nullptr; }
  explicit operator bool() const noexcept { return fNode != nullptr; }
  TXpNodeType NodeType() const noexcept;

  // Elements and attributes: the name as written ("h:depth"); text nodes
  // "#text", CDATA "#cdata-section", comments "#comment", the document
  // "#document".
  std::string_view NodeName() const noexcept;
  // Attributes: the value; text nodes: the normalised text; CDATA and
  // comments: the text unchanged; other nodes: empty.
  std::string NodeValue() const;

  TXpNode ParentNode() const noexcept;
  TXpNode FirstChild() const noexcept;
  TXpNode NextSibling() const noexcept;
  TXpNodeList ChildNodes() const;
  // The attributes of an element; an empty map on any other node.
  TXpNamedNodeMap Attributes() const noexcept;
  bool HasAttributes() const noexcept;

  // Whether the name matches `name` under the model's case rule.
  bool NameIs(std::string_view name) const noexcept;
  // The index of the first of `names` that an element's name matches under
  // the model's case rule, or -1 (always for a node that is no element):
  // NameIs for a list of names, at the cost of one.
  int NameIndex(std::span<const std::string_view> names) const noexcept;

  // Where the node starts in the text the parser read (after decoding to
  // UTF-8): the byte offset of an element's name; an attribute or an
  // element's first text gives its element's. -1 for a null node.
  long long SourceOffset() const noexcept;

  // The nodes the path selects, in document order; empty when nothing
  // matches or the path cannot be evaluated.
  TXpNodeList SelectNodes(std::string_view sQuery) const;
  // The Text of the first node the path selects, or empty text.
  std::string SelectString(std::string_view sQuery) const;
  // Whether the path selects at least one node.
  bool SelectBoolean(std::string_view sQuery) const;

  // Text node: its text. Element or document: the texts of all descendants
  // in document order, joined with one blank between non-empty pieces.
  std::string Text() const;
  // The same text; an attribute's value, or the one run of text of a node
  // that needs no normalising, as a view of it without a copy, otherwise a
  // view of Buffer.
  std::string_view TextRef(std::string& Buffer) const;

  // The node written back as XML without added white space. Prefixes used
  // inside the node but declared on an ancestor outside it are declared on
  // its start tag, so that the text stands on its own. A prefix the file
  // never declared is declared as Unbound gives it (prefix, URI), if it
  // does: a writer that will bind it names the binding the text gets.
  std::string XmlDocument(const std::vector<std::pair<std::string, std::string>>* Unbound = nullptr) const;
  // The children of the node written back as XML, one after another, with
  // the same declaration rule as XmlDocument for each child.
  std::string InnerXml(const std::vector<std::pair<std::string, std::string>>* Unbound = nullptr) const;

  friend bool operator==(const TXpNode& a, const TXpNode& b) noexcept {
    return a.fNode == b.fNode && a.fAttr == b.fAttr && a.fKind == b.fKind;
  }

 private:
  friend class TXpObjModel;
  friend class TXpNamedNodeMap;
  friend struct XpAccess;

  // Settings of the owning model that every node carries along.
  enum Flag : std::uint8_t { kIgnoreCase = 1, kNormalize = 2 };

  // An element's first run of text is kept by the parser as the element's
  // value rather than as a node of its own; kEmbeddedText presents it as the
  // first child text node of fNode.
  enum Kind : std::uint8_t { kNode, kAttribute, kEmbeddedText };

  TXpNode(pugi::xml_node_struct* node, pugi::xml_attribute_struct* attr, Kind kind, std::uint8_t flags,
          XpNamespaceIndex* namespaces = nullptr) noexcept
      : fNode(node), fAttr(attr), fKind(kind), fFlags(flags), fNamespaces(namespaces) {}

  pugi::xml_node_struct* fNode = nullptr;
  pugi::xml_attribute_struct* fAttr = nullptr;
  Kind fKind = kNode;
  std::uint8_t fFlags = 0;
  // The owning model's index of namespace declarations, which XmlDocument
  // uses to find a prefix's declaration outside the node; null for nodes
  // that never write XML.
  XpNamespaceIndex* fNamespaces = nullptr;
};

// An ordered list of nodes, owned by the caller; the nodes stay owned by
// their document.
class TXpNodeList {
 public:
  TXpNodeList() = default;
  explicit TXpNodeList(std::vector<TXpNode> nodes);

  int Length() const noexcept { return static_cast<int>(fNodes.size()); }
  // The node at Index (from 0); a null node outside the list.
  TXpNode Item(int Index) const;
  // The last node, or a null node for an empty list.
  TXpNode Last() const;

  auto begin() const noexcept { return fNodes.begin(); }
  auto end() const noexcept { return fNodes.end(); }

 private:
  std::vector<TXpNode> fNodes;
};

// The attributes of an element.
class TXpNamedNodeMap {
 public:
  TXpNamedNodeMap() = default;
  // The attribute of that name (under the model's case rule), or a null node.
  TXpNode GetNamedItem(std::string_view name) const noexcept;
  int Length() const noexcept;
  TXpNode Item(int Index) const noexcept;

 private:
  friend class TXpNode;
  TXpNamedNodeMap(pugi::xml_node_struct* element, std::uint8_t flags) noexcept
      : fElement(element), fFlags(flags) {}
  pugi::xml_node_struct* fElement = nullptr;
  std::uint8_t fFlags = 0;
};

// The document node.
class TXpDocument : public TXpNode {
 public:
  TXpDocument() = default;

 private:
  friend class TXpObjModel;
  explicit TXpDocument(const TXpNode& node) : TXpNode(node) {}
};

// Receives a document from TXpObjModel::StreamDataSource piece by piece.
// The nodes handed over are valid during the call only.
class TXpStreamHandler {
 public:
  virtual ~TXpStreamHandler() = default;
  // Whether the element named Name is to be opened: Depth is 0 for the
  // document element, 1 for a child of it, and so on, counting the opened
  // elements around it. An opened element comes as Open, then one call per
  // child element (to Element, or Open ... Close for children that are
  // opened in turn), then Close. An element that is not opened comes whole
  // to Element.
  virtual bool Opens(int Depth, std::string_view Name) = 0;
  // The start of an opened element: its name and attributes, no children.
  virtual void Open(const TXpNode& Element) = 0;
  // A complete element: a child of the innermost opened element, or the
  // document element when it is not opened.
  virtual void Element(const TXpNode& Element) = 0;
  // The end of the innermost opened element.
  virtual void Close() = 0;
};

// Owns one parsed document and the error list of the last load.
class TXpObjModel {
 public:
  TXpObjModel();
  ~TXpObjModel();
  TXpObjModel(const TXpObjModel&) = delete;
  TXpObjModel& operator=(const TXpObjModel&) = delete;

  bool IgnoreCase = false;
  TXpLineBreakMode LineBreakMode = TXpLineBreakMode::lbmDefault;
  bool NormalizeData = true;
  bool RaiseErrors = false;

  // Parses the file at sSource. False when it cannot be read or parsed, or
  // is not well-formed in a way the parser lets through (two root elements,
  // an attribute given twice, a reference to a character XML forbids):
  // Errors then holds the reasons and Document has no children. With
  // RaiseErrors set, a failure raises EXpParserError instead.
  bool LoadDataSource(const std::string& sSource);
  // The same from a byte stream (read to its end).
  bool LoadStream(std::istream& oStream);
  // The same from bytes held in memory.
  bool LoadMemory(std::string_view bytes);

  // Reads the file at sSource as LoadDataSource does, but hands it to
  // Handler piece by piece instead of keeping the whole tree: the elements
  // of one piece are parsed together and forgotten when the next piece
  // comes, so memory stays near PieceBytes of text whatever the size of the
  // file. A failure ends the reading with false and Errors as for
  // LoadDataSource (RaiseErrors is honoured); what the handler received
  // before it stays received. Exceptions of the handler pass through.
  // Inputs in UTF-16 or with a document type declaration are parsed whole
  // first and then handed over the same way.
  bool StreamDataSource(const std::string& sSource, TXpStreamHandler& Handler);
  // The same for bytes held in memory.
  bool StreamMemory(std::string_view bytes, TXpStreamHandler& Handler);
  // How much XML text StreamDataSource parses at a time; 0 parses the whole
  // input first.
  std::size_t PieceBytes = 256 * 1024;

  TXpDocument Document() const noexcept;
  // The messages of the last failed load, one per entry.
  const std::vector<std::string>& Errors() const noexcept { return fErrors; }
  // The same joined with line feeds.
  std::string ErrorText() const;
  // The encoding the last load read its input in.
  TXpCharEncoding Encoding() const noexcept { return fEncoding; }
  // The encoding the last input's XML declaration names; empty when none.
  const std::string& DeclaredEncoding() const noexcept { return fDeclared; }

 private:
  friend class XpPieceReader;

  struct InputEncoding {
    int Parser = 1;  // the parser's encoding: pugi::encoding_utf8 (checked where it is used)
    TXpCharEncoding Kind = TXpCharEncoding::ceUTF8;
    std::size_t Skip = 0;  // bytes of a UTF-8 byte-order mark
    std::string Declared;  // the declaration's encoding, as written
  };
  static InputEncoding DetectEncoding(std::string_view bytes);

  bool LoadBuffer(std::unique_ptr<char[]> buffer, std::size_t size, const std::string& sourceName);
  // Parses `length` bytes at `data` in place (the tree points into them, so
  // they must outlive it); offsetShift is added to the parser's error
  // offsets. A quiet failure records nothing and raises nothing.
  bool ParseBuffer(char* data, std::size_t length, int encoding, const std::string& sourceName,
                   long long offsetShift, bool quiet = false);
  bool Fail(const std::string& message, long long position);

  std::unique_ptr<pugi::xml_document> fDoc;
  std::unique_ptr<char[]> fBuffer;  // the parsed text lives in here
  std::unique_ptr<XpNamespaceIndex> fNamespaces;  // refers into the tree; emptied with it
  std::vector<std::string> fErrors;
  TXpCharEncoding fEncoding = TXpCharEncoding::ceUnknown;
  std::string fDeclared;
};

// Helpers shared by the readers and the DOM.

// XML white space (blank, tab, CR, LF) trimmed at both ends and each inner
// run replaced by one blank.
std::string NormalizeXmlSpace(std::string_view text);
// ASCII case-insensitive name comparison (names compared as upper case).
bool SameXmlName(std::string_view a, std::string_view b) noexcept;

}  // namespace sondralis
