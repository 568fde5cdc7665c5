// libFuzzer target: GPX text of any shape must load or fail calmly; what
// loads holds only positions on the globe, and writing it and reading it
// back gives the same document. Reading the text in small pieces gives
// exactly what reading it whole gives.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzChecks.h"
#include "formats/GPXFile.h"

using namespace sondralis;

namespace {

// The verdict and the document of a read with the given piece size.
struct Read {
  bool Loaded = false, ImpossibleDate = false;
  std::string Written;
};

Read ReadWith(const std::string& text, std::size_t pieceBytes, TGPX& doc) {
  Read r;
  std::istringstream in(text);
  TGPXFile file;
  file.GPXd = &doc;
  file.XmlPieceBytes = pieceBytes;
  try {
    file.ImportGPXStream(in, "fuzz.gpx");
  } catch (const EConvertError&) {
    r.ImpossibleDate = true;  // an impossible date ends the read by design
  }
  r.Loaded = file.Loaded;
  r.Written = file.ExportGPXText();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TGPX doc;
  const Read whole = ReadWith(text, 0, doc);
  for (std::size_t piece : {std::size_t{1}, std::size_t{23}}) {
    TGPX other;
    const Read pieces = ReadWith(text, piece, other);
    if (pieces.Loaded != whole.Loaded || pieces.ImpossibleDate != whole.ImpossibleDate ||
        pieces.Written != whole.Written)
      __builtin_trap();
  }
  if (!fuzz::AllPointsOnTheGlobe(doc)) __builtin_trap();
  if (!whole.Loaded) return 0;
  if (!fuzz::WriteReadIsAFixedPoint(doc, (size & 1) != 0)) __builtin_trap();
  return 0;
}
