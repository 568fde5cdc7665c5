// Reading an XML document piece by piece (TXpObjModel::StreamDataSource).
//
// A light scanner walks the markup of the input and cuts it into pieces at
// element boundaries; each piece is parsed on its own by the same parser and
// with the same options as a whole document, so every well-formedness check
// of the parser applies to every byte. The scanner only has to find where
// elements begin and end: comments, CDATA sections, processing instructions
// and quoted attribute values are skipped as units. A piece is wrapped in the
// start tags of the elements opened around it (copied from the input, so
// their attributes and namespace declarations are there) and in the matching
// end tags, which gives its nodes the same ancestors as in the whole
// document.
//
// The input is read into a reserved range of address space as the scanner
// advances, and the part it has left behind is given back to the system in
// large steps: only a few megabytes are resident whatever the size of the
// file, and positions never move, so the scanner works with plain offsets.
// Where the system reserves no such range (model/Platform.h), the file is
// read into the heap the same way and stays there until the reading ends.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <pugixml.hpp>
#include <vector>

#include "formats/XmlDom.h"
#include "model/Platform.h"

namespace sondralis {

static_assert(pugi::encoding_utf8 == 1, "InputEncoding assumes the parser's numbering");

namespace {

bool IsSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool EndsName(char c) noexcept { return IsSpace(c) || c == '/' || c == '>'; }

// The bytes of the input: a file read on demand into reserved memory, or
// text already in memory.
//
// The reserved range is as large as the file, so that every byte keeps its
// place, but only a few megabytes of it hold memory at any time: the input
// is read in 2 MB chunks as the scanner asks for it, and a chunk the scanner
// has left behind is moved (its pages, not its bytes) to the place of the
// next chunk to read. Fresh pages, which the system must clear first, are
// needed only for the first few chunks.
class Input {
 public:
  Input() = default;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input() {
    if (fMapped) platform::UnmapPages(fMapped, fReserved);
    if (fFd >= 0) ::close(fFd);
  }

  void UseMemory(std::string_view bytes) {
    fData = bytes.data();
    fSize = fFilled = bytes.size();
  }

  // Opens the file and reserves room for it; an error message or empty.
  std::string UseFile(const std::string& path) {
    fFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fFd < 0) return "Can't open " + path + ": " + std::strerror(errno);
    struct stat st {};
    if (::fstat(fFd, &st) != 0 || !S_ISREG(st.st_mode)) return "Can't read " + path + ": not a file";
    fSize = static_cast<std::size_t>(st.st_size);
    const std::string tooLarge = "Can't read " + path + ": the file is too large";
    if (!platform::MapsPages()) {
      fHeap.reset(new (std::nothrow) char[std::max<std::size_t>(fSize, 1)]);
      if (!fHeap) return tooLarge;
      fChunks = fHeap.get();
    } else {
      // Room for the file rounded up to whole chunks, and for aligning the
      // chunks to 2 MB, where a system that gives large pages unasked can
      // use them.
      fReserved = (fSize / kChunk + 2) * kChunk;
      fMapped = static_cast<char*>(platform::ReservePages(fReserved));
      if (!fMapped) return tooLarge;
      const auto address = reinterpret_cast<std::uintptr_t>(fMapped);
      fChunks = fMapped + (kChunk - address % kChunk) % kChunk;
    }
    fData = fChunks;
    fPath = path;
    return {};
  }

  const char* Data() const noexcept { return fData; }
  std::size_t Size() const noexcept { return fSize; }
  const std::string& Error() const noexcept { return fError; }

  // Makes the bytes before `end` (at most Size) readable; false when the
  // file could not be read (Error says why).
  bool Have(std::size_t end) {
    end = std::min(end, fSize);
    if (end <= fFilled) return true;
    if (!fError.empty()) return false;
    // Whole chunks: few system calls, little resident.
    const std::size_t want = std::min(fSize, (end + kChunk - 1) / kChunk * kChunk);
    while (fFilled < want) {
      if (fFilled % kChunk == 0) Recycle(fFilled / kChunk);
      const std::size_t chunkEnd = std::min(want, (fFilled / kChunk + 1) * kChunk);
      const ssize_t n = ::read(fFd, fChunks + fFilled, chunkEnd - fFilled);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fError = "Can't read " + fPath + ": " + (n < 0 ? std::strerror(errno) : "the file shrank while reading");
        return false;
      }
      fFilled += static_cast<std::size_t>(n);
    }
    return true;
  }

  // The bytes before `offset` are not needed any more: whole chunks below
  // it may serve again.
  void Forget(std::size_t offset) {
    if (!fMapped) return;
    for (; (fLeftBehind + 1) * kChunk <= std::min(offset, fFilled); ++fLeftBehind) fSpare.push_back(fLeftBehind);
  }

 private:
  static constexpr std::size_t kChunk = 2 * 1024 * 1024;

  // Moves the pages of a chunk left behind to chunk `next`, not read yet.
  void Recycle(std::size_t next) {
    if (fSpare.empty()) return;
    const std::size_t spare = fSpare.back();
    fSpare.pop_back();
    // The old place stays reserved, without pages, so the range stays ours
    // as a whole. Where the system cannot do this the chunk simply gets
    // fresh pages.
    platform::MovePages(fChunks + spare * kChunk, fChunks + next * kChunk, kChunk);
  }

  int fFd = -1;
  char* fMapped = nullptr;  // the reserved range
  std::size_t fReserved = 0;
  std::unique_ptr<char[]> fHeap;  // where no range can be reserved: the file's bytes
  char* fChunks = nullptr;  // where chunk 0 starts, aligned to 2 MB
  const char* fData = nullptr;
  std::size_t fSize = 0;
  std::size_t fFilled = 0;
  std::size_t fLeftBehind = 0;     // chunks before this one are spare or moved
  std::vector<std::size_t> fSpare;  // chunks left behind whose pages can move
  std::string fPath;
  std::string fError;
};

}  // namespace

// Cuts the input into pieces and hands them to the handler.
class XpPieceReader {
 public:
  XpPieceReader(TXpObjModel& model, Input& input, std::string sourceName, TXpStreamHandler& handler)
      : fModel(model), fIn(input), fSource(std::move(sourceName)), fHandler(handler) {}

  enum class Outcome { kDone, kFailed, kWhole };
  // kWhole: the input is one the pieces cannot be cut from (UTF-16, a
  // document type declaration); nothing was handed over.
  Outcome Run();

 private:
  struct Opened {
    std::string name;
    std::size_t prefixLength;  // length of fPrefix before this element's start tag
  };

  enum class Item { kEnd, kText, kMarkup, kStartTag, kEmptyTag, kEndTag };

  char At(std::size_t i) { return fIn.Have(i + 1) && i < fIn.Size() ? fIn.Data()[i] : '\0'; }
  bool StartsWith(std::size_t i, std::string_view s) {
    if (!fIn.Have(i + s.size()) || i + s.size() > fIn.Size()) return false;
    return std::memcmp(fIn.Data() + i, s.data(), s.size()) == 0;
  }
  // The offset just past the first `needle` at or after `from`, or npos.
  std::size_t After(std::size_t from, std::string_view needle);
  // The offset just past the '>' closing a tag whose '<' is at `from`,
  // skipping quoted attribute values; npos at the end of the input.
  std::size_t TagEnd(std::size_t from);
  // The next item at fPos: where it ends (fNext) and what it is.
  Item Next();
  // Past the end of the element whose start tag ends at `from`; npos when
  // the input ends first, or the element runs on beyond `giveUpAt`.
  std::size_t ElementEnd(std::size_t from, std::size_t giveUpAt = std::string_view::npos);
  // Hands a complete element of a piece to the handler: whole, or opened
  // and walked through when the handler opens elements of its name.
  void Deliver(const TXpNode& element);

  std::string_view Bytes(std::size_t from, std::size_t to) const { return {fIn.Data() + from, to - from}; }
  std::string_view TagName(std::size_t tagStart) const;

  // Parses prefix + input[from, to) + suffix; false after a parse error
  // (which a quiet parse does not report).
  bool Parse(std::size_t from, std::size_t to, bool closeOpened, std::string_view extra = {}, bool quiet = false);
  // Tries to take a whole piece at once, cut after the end tag `</name>`
  // nearest to PieceBytes ahead, without finding where every element in
  // it ends. The cut is right when the piece parses and holds, inside the
  // wrapping elements, nothing but complete elements; false (and nothing
  // handed over) when it is not.
  bool TakeWholePiece(std::string_view name);
  // The innermost opened element in the parsed piece.
  TXpNode Innermost();
  // How long a piece is made: PieceBytes, and at least twice the start tags
  // wrapping it, which every piece carries. A document element declaring
  // thousands of namespaces would otherwise be copied and parsed again for
  // every few hundred kilobytes of content.
  std::size_t PieceLength() const {
    return std::max({fModel.PieceBytes, std::size_t{1}, 2 * fPrefix.size()});
  }
  // Parses the piece gathered so far and hands its elements over.
  bool Flush();
  bool OpenElement(std::size_t tagStart, std::size_t tagEnd, bool empty);
  void Close();
  bool Fail(const std::string& what, std::size_t offset);
  // The place of a byte of the input in the text the parser decodes
  // (ISO-8859-1 grows in UTF-8; a byte-order mark is not counted).
  long long Decoded(std::size_t offset);
  long long DecodedLength(std::string_view bytes) const;
  // Lets the input give back what lies before the piece.
  void Forget();
  // The input from `from` on is not well-formed: the parser says why and
  // where, as it would for the whole document.
  bool ParseFailure(std::size_t from);
  static Outcome Failed(bool) { return Outcome::kFailed; }

  TXpObjModel& fModel;
  Input& fIn;
  std::string fSource;
  TXpStreamHandler& fHandler;
  TXpObjModel::InputEncoding fEncoding;

  std::unique_ptr<char[]> fPiece;  // the text of the piece being parsed
  std::size_t fPieceCapacity = 0;
  std::vector<Opened> fOpened;
  std::string fPrefix;  // start tags of the opened elements, outermost first
  std::size_t fPos = 0;
  std::size_t fNext = 0;
  std::size_t fPieceStart = 0;
  bool fPieceHasElements = false;  // the piece gathered so far holds an element
  std::size_t fDecodedAt = 0;      // Decoded's last place in the input
  long long fDecoded = 0;          // and its decoded offset
};

std::size_t XpPieceReader::After(std::size_t from, std::string_view needle) {
  std::size_t searched = from;
  for (;;) {
    const std::size_t limit = std::min(fIn.Size(), std::max(searched, from) + 1024 * 1024);
    if (!fIn.Have(limit)) return std::string_view::npos;
    const std::string_view window(fIn.Data() + from, limit - from);
    const std::size_t start = searched - from;
    const std::size_t hit = window.find(needle, start);
    if (hit != std::string_view::npos) return from + hit + needle.size();
    if (limit >= fIn.Size()) return std::string_view::npos;
    searched = limit - std::min(limit - from, needle.size() - 1);
  }
}

std::size_t XpPieceReader::TagEnd(std::size_t from) {
  // The characters that matter in a tag; everything else is passed over in
  // a tight loop.
  static constexpr auto kSpecial = [] {
    std::array<bool, 256> t{};
    t['>'] = t['<'] = t['"'] = t['\''] = true;
    return t;
  }();
  std::size_t i = from + 1;
  for (;;) {
    const std::size_t limit = std::min(fIn.Size(), i + 64 * 1024);
    if (i >= limit || !fIn.Have(limit)) return std::string_view::npos;
    const char* data = fIn.Data();
    while (i < limit && !kSpecial[static_cast<unsigned char>(data[i])]) ++i;
    if (i == limit) continue;
    const char c = data[i];
    if (c == '>') return i + 1;
    // A '<' inside a tag: not a tag the parser would accept; it reports
    // what is wrong.
    if (c == '<') return i;
    // A quoted value, which may hold '>'.
    const void* close = nullptr;
    while (!close) {
      const std::size_t end = std::min(fIn.Size(), i + 64 * 1024);
      if (i + 1 >= end || !fIn.Have(end)) return std::string_view::npos;
      close = std::memchr(fIn.Data() + i + 1, c, end - i - 1);
      if (!close) i = end - 1;
    }
    i = static_cast<std::size_t>(static_cast<const char*>(close) - fIn.Data()) + 1;
  }
}

XpPieceReader::Item XpPieceReader::Next() {
  if (fPos >= fIn.Size() || !fIn.Have(fPos + 1)) return Item::kEnd;
  const char* data = fIn.Data();
  if (data[fPos] != '<') {
    std::size_t i = fPos;
    for (;;) {
      const std::size_t limit = std::min(fIn.Size(), i + 64 * 1024);
      if (!fIn.Have(limit)) return Item::kEnd;
      const void* lt = std::memchr(data + i, '<', limit - i);
      if (lt) {
        fNext = static_cast<std::size_t>(static_cast<const char*>(lt) - data);
        return Item::kText;
      }
      if (limit >= fIn.Size()) {
        fNext = limit;
        return Item::kText;
      }
      i = limit;
    }
  }
  auto markup = [&](std::string_view close) {
    fNext = After(fPos + 2, close);
    if (fNext == std::string_view::npos) fNext = fIn.Size();
    return Item::kMarkup;
  };
  const char second = At(fPos + 1);
  if (second == '!') {
    if (StartsWith(fPos, "<!--")) return markup("-->");
    if (StartsWith(fPos, "<![CDATA[")) return markup("]]>");
    fNext = TagEnd(fPos);
    if (fNext == std::string_view::npos) fNext = fIn.Size();
    return Item::kMarkup;
  }
  if (second == '?') return markup("?>");
  fNext = TagEnd(fPos);
  if (fNext == std::string_view::npos) {
    fNext = fIn.Size();
    return Item::kMarkup;  // a tag cut off by the end of the input
  }
  // A tag that a '<' breaks off is no tag: the parser says what is wrong.
  if (data[fNext - 1] != '>') return Item::kMarkup;
  if (second == '/') return Item::kEndTag;
  return data[fNext - 2] == '/' ? Item::kEmptyTag : Item::kStartTag;
}

std::size_t XpPieceReader::ElementEnd(std::size_t from, std::size_t giveUpAt) {
  // The same items as Next finds, in a tighter loop: this runs over nearly
  // every byte of a big file.
  int depth = 1;
  std::size_t i = from;
  for (;;) {
    if (i > giveUpAt) return std::string_view::npos;
    const std::size_t limit = std::min(fIn.Size(), i + 256 * 1024);
    if (i >= limit || !fIn.Have(limit)) return std::string_view::npos;
    const char* data = fIn.Data();
    const void* lt = std::memchr(data + i, '<', limit - i);
    if (!lt) {
      i = limit;
      continue;
    }
    i = static_cast<std::size_t>(static_cast<const char*>(lt) - data);
    const char second = At(i + 1);
    std::size_t next;
    if (second == '/') {
      next = TagEnd(i);
      if (next == std::string_view::npos) return next;
      if (--depth == 0) return next;
    } else if (second == '!' || second == '?') {
      // Next works on fPos and fNext, which belong to the caller.
      const std::size_t savedPos = fPos, savedNext = fNext;
      fPos = i;
      const Item item = Next();
      next = fNext;
      fPos = savedPos;
      fNext = savedNext;
      if (item == Item::kEnd) return std::string_view::npos;
    } else {
      next = TagEnd(i);
      if (next == std::string_view::npos) return next;
      const char* end = fIn.Data() + next;
      if (end[-1] == '>' && end[-2] != '/') ++depth;  // a tag a '<' broke off counts for nothing
    }
    i = next;
  }
}

std::string_view XpPieceReader::TagName(std::size_t tagStart) const {
  const char* data = fIn.Data();
  std::size_t i = tagStart + 1;
  if (data[i] == '/') ++i;
  const std::size_t from = i;
  while (i < fIn.Size() && !EndsName(data[i])) ++i;
  return {data + from, i - from};
}

bool XpPieceReader::Parse(std::size_t from, std::size_t to, bool closeOpened, std::string_view extra, bool quiet) {
  std::size_t suffixLength = 0;
  if (closeOpened)
    for (const Opened& o : fOpened) suffixLength += o.name.size() + 3;
  const std::size_t length = fPrefix.size() + (to - from) + extra.size() + suffixLength;
  // One buffer serves every piece: the previous piece's tree is gone by now.
  fModel.fDoc->reset();
  if (fPieceCapacity < length + 1) {
    fPieceCapacity = std::max(length + 1, 2 * fPieceCapacity);
    fPiece = std::make_unique_for_overwrite<char[]>(fPieceCapacity);
  }
  char* out = fPiece.get();
  auto append = [&](const char* bytes, std::size_t n) {
    if (n == 0) return;  // an empty input may have no bytes at all
    std::memcpy(out, bytes, n);
    out += n;
  };
  append(fPrefix.data(), fPrefix.size());
  append(fIn.Data() + from, to - from);
  append(extra.data(), extra.size());
  if (closeOpened) {
    for (auto o = fOpened.rbegin(); o != fOpened.rend(); ++o) {
      *out++ = '<';
      *out++ = '/';
      std::memcpy(out, o->name.data(), o->name.size());
      out += o->name.size();
      *out++ = '>';
    }
  }
  // The parser counts in the text it decoded: the offsets of this piece
  // start that much before the content's place in the decoded input.
  const long long shift = Decoded(from) - DecodedLength(fPrefix);
  return fModel.ParseBuffer(fPiece.get(), length, fEncoding.Parser, fSource, shift, quiet);
}

TXpNode XpPieceReader::Innermost() {
  TXpNode n = fModel.Document();
  for (std::size_t depth = 0; depth < fOpened.size() && n; ++depth) {
    TXpNode c = n.FirstChild();
    while (c && c.NodeType() != TXpNodeType::ntElement) c = c.NextSibling();
    n = c;
  }
  return n;
}

namespace {

// An element of a parsed tree handed over as StreamDataSource would.
void Walk(const TXpNode& element, int depth, TXpStreamHandler& handler) {
  if (!handler.Opens(depth, element.NodeName())) {
    handler.Element(element);
    return;
  }
  handler.Open(element);
  for (TXpNode c = element.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement) Walk(c, depth + 1, handler);
  handler.Close();
}

}  // namespace

void XpPieceReader::Deliver(const TXpNode& element) { Walk(element, static_cast<int>(fOpened.size()), fHandler); }

bool XpPieceReader::TakeWholePiece(std::string_view name) {
  const std::size_t step = PieceLength();
  const std::size_t target = fPieceStart + step;
  if (target >= fIn.Size()) return false;
  const std::string close = "</" + std::string(name) + ">";
  const std::size_t limit = std::min(fIn.Size(), target + step + 64 * 1024);
  if (!fIn.Have(limit)) return false;
  const std::string_view window(fIn.Data() + target, limit - target);
  const std::size_t hit = window.find(close);
  if (hit == std::string_view::npos) return false;
  const std::size_t cut = target + hit + close.size();
  if (!Parse(fPieceStart, cut, true, {}, true)) return false;
  // A cut made too far out closes a wrapping element inside the piece and
  // opens another: some level then holds more than one element.
  TXpNode n = fModel.Document();
  for (std::size_t depth = 0; depth < fOpened.size(); ++depth) {
    TXpNode only;
    for (TXpNode c = n.FirstChild(); c; c = c.NextSibling()) {
      if (c.NodeType() != TXpNodeType::ntElement) continue;
      if (only) return false;
      only = c;
    }
    n = only;
  }
  for (TXpNode c = n.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement) Deliver(c);
  fPos = fPieceStart = cut;
  fPieceHasElements = false;
  Forget();
  return true;
}

bool XpPieceReader::Flush() {
  if (fPos == fPieceStart) return true;
  if (!Parse(fPieceStart, fPos, true)) return false;
  const TXpNode parent = Innermost();
  for (TXpNode c = parent.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement) Deliver(c);
  fPieceStart = fPos;
  fPieceHasElements = false;
  Forget();
  return true;
}

bool XpPieceReader::OpenElement(std::size_t tagStart, std::size_t tagEnd, bool empty) {
  const std::string name(TagName(tagStart));
  // The document element's piece carries what comes before it, so that the
  // XML declaration is checked as in a whole document.
  const std::size_t from = fOpened.empty() ? fEncoding.Skip : tagStart;
  const std::string close = empty ? std::string() : "</" + name + ">";
  if (!Parse(from, tagEnd, true, close)) return false;
  fOpened.push_back({name, fPrefix.size()});
  fPrefix.append(Bytes(tagStart, tagEnd));
  fHandler.Open(Innermost());
  fPieceStart = fPos = tagEnd;
  fPieceHasElements = false;
  if (empty) Close();
  return true;
}

void XpPieceReader::Close() {
  fPrefix.resize(fOpened.back().prefixLength);
  fOpened.pop_back();
  fHandler.Close();
}

long long XpPieceReader::DecodedLength(std::string_view bytes) const {
  long long n = static_cast<long long>(bytes.size());
  if (fEncoding.Kind == TXpCharEncoding::ceISO88591 || fEncoding.Kind == TXpCharEncoding::ceWindows1252)
    for (char c : bytes)
      if (static_cast<unsigned char>(c) >= 0x80) ++n;  // two bytes in UTF-8
  return n;
}

long long XpPieceReader::Decoded(std::size_t offset) {
  if (fEncoding.Kind != TXpCharEncoding::ceISO88591 && fEncoding.Kind != TXpCharEncoding::ceWindows1252)
    return static_cast<long long>(offset) - static_cast<long long>(fEncoding.Skip);
  // Counted on (or back) from the last place asked for, which is never far:
  // the bytes before the piece being cut may be gone.
  if (offset < fDecodedAt) fDecoded -= DecodedLength(Bytes(offset, fDecodedAt));
  else fDecoded += DecodedLength(Bytes(fDecodedAt, offset));
  fDecodedAt = offset;
  return fDecoded;
}

void XpPieceReader::Forget() {
  Decoded(fPieceStart);  // counts the bytes before they go
  fIn.Forget(fPieceStart);
}

bool XpPieceReader::Fail(const std::string& what, std::size_t offset) {
  const long long at = Decoded(offset);
  return fModel.Fail("Error in " + fSource + ": " + what + " at offset " + std::to_string(at), at);
}

bool XpPieceReader::ParseFailure(std::size_t from) {
  if (!fIn.Have(fIn.Size())) return fModel.Fail(fIn.Error(), -1);
  if (!Parse(from, fIn.Size(), false)) return false;
  return Fail("the document is not well-formed", fIn.Size());
}

XpPieceReader::Outcome XpPieceReader::Run() {
  if (!fIn.Have(4096)) return Failed(fModel.Fail(fIn.Error(), -1));
  fEncoding = TXpObjModel::DetectEncoding(std::string_view(fIn.Data(), std::min<std::size_t>(fIn.Size(), 4096)));
  fModel.fEncoding = fEncoding.Kind;
  fModel.fDeclared = fEncoding.Declared;
  if (fEncoding.Kind == TXpCharEncoding::ceUTF16LE || fEncoding.Kind == TXpCharEncoding::ceUTF16BE)
    return Outcome::kWhole;
  fPos = fPieceStart = fDecodedAt = fEncoding.Skip;

  // What comes before the document element goes into its piece.
  Item item;
  for (;;) {
    item = Next();
    if (item == Item::kStartTag || item == Item::kEmptyTag) break;
    if (item == Item::kEnd || item == Item::kEndTag) return Failed(ParseFailure(fEncoding.Skip));
    if (item == Item::kMarkup && StartsWith(fPos, "<!") && !StartsWith(fPos, "<!--"))
      return Outcome::kWhole;  // a document type declaration: left to the parser as a whole
    fPos = fNext;
  }
  const std::string_view rootName = TagName(fPos);
  if (fHandler.Opens(0, rootName)) {
    if (!OpenElement(fPos, fNext, item == Item::kEmptyTag)) return Outcome::kFailed;
  } else {
    const std::size_t end = item == Item::kEmptyTag ? fNext : ElementEnd(fNext);
    if (end == std::string_view::npos) return Failed(ParseFailure(fEncoding.Skip));
    if (!Parse(fEncoding.Skip, end, false)) return Outcome::kFailed;
    for (TXpNode c = fModel.Document().FirstChild(); c; c = c.NextSibling())
      if (c.NodeType() == TXpNodeType::ntElement) fHandler.Element(c);
    fPos = fPieceStart = end;
  }

  // The content of the opened elements.
  while (!fOpened.empty()) {
    item = Next();
    switch (item) {
      case Item::kEnd: return Failed(ParseFailure(fPieceStart));
      case Item::kText:
      case Item::kMarkup: fPos = fNext; break;
      case Item::kStartTag:
      case Item::kEmptyTag:
      {
        const std::size_t step = PieceLength();
        if (item == Item::kStartTag && fHandler.Opens(static_cast<int>(fOpened.size()), TagName(fPos))) {
          // An element to open that ends within a piece's length goes into
          // the piece whole (and is walked through when handed over): a
          // flood of small ones costs no parse each. A longer one is opened.
          const std::size_t end = ElementEnd(fNext, fPos + step);
          if (end == std::string_view::npos) {
            if (!Flush() || !OpenElement(fPos, fNext, false)) return Outcome::kFailed;
            break;
          }
          fPos = end;
          fPieceHasElements = true;
          if (fPos - fPieceStart >= step && !Flush()) return Outcome::kFailed;
        } else if (!fPieceHasElements && TakeWholePiece(TagName(fPos))) {
          break;
        } else {
          const std::size_t end = item == Item::kEmptyTag ? fNext : ElementEnd(fNext);
          if (end == std::string_view::npos) return Failed(ParseFailure(fPieceStart));
          fPos = end;
          fPieceHasElements = true;
          if (fPos - fPieceStart >= step && !Flush()) return Outcome::kFailed;
        }
        break;
      }
      case Item::kEndTag: {
        // It must close the innermost opened element; if it does not, the
        // parser says so about the rest of the input.
        std::size_t i = fPos + 2 + fOpened.back().name.size();
        if (TagName(fPos) != fOpened.back().name) return Failed(ParseFailure(fPieceStart));
        while (i + 1 < fNext && IsSpace(fIn.Data()[i])) ++i;
        if (i + 1 != fNext) return Failed(ParseFailure(fPieceStart));
        if (!Flush()) return Outcome::kFailed;
        fPos = fPieceStart = fNext;
        Close();
        break;
      }
    }
  }

  // After the document element: parsed after a stand-in for it, so that
  // the parser and the checks around it judge it as in the whole document.
  if (!fIn.Have(fIn.Size())) return Failed(fModel.Fail(fIn.Error(), -1));
  bool blank = true;
  for (std::size_t i = fPos; i < fIn.Size() && blank; ++i) blank = IsSpace(fIn.Data()[i]);
  if (!blank) {
    fPrefix = "<r/>";
    const bool parsed = Parse(fPos, fIn.Size(), false);
    fPrefix.clear();
    if (!parsed) return Outcome::kFailed;
  }
  return Outcome::kDone;
}

// ---------------------------------------------------------------- TXpObjModel

namespace {

bool WalkDocument(TXpObjModel& model, TXpStreamHandler& handler) {
  for (TXpNode c = model.Document().FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == TXpNodeType::ntElement) Walk(c, 0, handler);
  return true;
}

}  // namespace

bool TXpObjModel::StreamDataSource(const std::string& sSource, TXpStreamHandler& Handler) {
  fErrors.clear();
  fDoc->reset();
  fBuffer.reset();
  if (PieceBytes == 0) return LoadDataSource(sSource) && WalkDocument(*this, Handler);
  Input input;
  if (const std::string error = input.UseFile(sSource); !error.empty()) return Fail(error, -1);
  XpPieceReader reader(*this, input, sSource, Handler);
  const XpPieceReader::Outcome outcome = reader.Run();
  fDoc->reset();
  fBuffer.reset();
  if (outcome == XpPieceReader::Outcome::kWhole) return LoadDataSource(sSource) && WalkDocument(*this, Handler);
  return outcome == XpPieceReader::Outcome::kDone;
}

bool TXpObjModel::StreamMemory(std::string_view bytes, TXpStreamHandler& Handler) {
  fErrors.clear();
  fDoc->reset();
  fBuffer.reset();
  if (PieceBytes == 0) return LoadMemory(bytes) && WalkDocument(*this, Handler);
  Input input;
  input.UseMemory(bytes);
  XpPieceReader reader(*this, input, "the XML text", Handler);
  const XpPieceReader::Outcome outcome = reader.Run();
  fDoc->reset();
  fBuffer.reset();
  if (outcome == XpPieceReader::Outcome::kWhole) return LoadMemory(bytes) && WalkDocument(*this, Handler);
  return outcome == XpPieceReader::Outcome::kDone;
}

}  // namespace sondralis
