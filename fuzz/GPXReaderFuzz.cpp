// libFuzzer target: GPX text of any shape must load or fail calmly; what
// loads holds only positions on the globe, and writing it and reading it
// back gives the same document.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzChecks.h"
#include "formats/GPXFile.h"

using namespace sondralis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  try {
    file.ImportGPXStream(in, "fuzz.gpx");
  } catch (const EConvertError&) {
    return 0;  // an impossible date ends the read by design
  }
  if (!fuzz::AllPointsOnTheGlobe(doc)) __builtin_trap();
  if (!file.Loaded) return 0;
  if (!fuzz::WriteReadIsAFixedPoint(doc, (size & 1) != 0)) __builtin_trap();
  return 0;
}
