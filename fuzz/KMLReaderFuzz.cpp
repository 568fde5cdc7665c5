// libFuzzer target: KML text of any shape must load or fail calmly; what
// loads holds only positions on the globe and survives a GPX round trip.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzChecks.h"
#include "formats/KMLFile.h"

using namespace sondralis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TGPX doc;
  TKMLFile file;
  file.GPXd = &doc;
  try {
    file.ImportKMLStream(in, "fuzz.kml");
  } catch (const EConvertError&) {
    return 0;  // an impossible date ends the read by design
  }
  // Every track the reader keeps has at least two points.
  for (int i = 0; i < doc.trk.Count(); ++i)
    if (doc.trk.Tracks(i)->Count() != 1 || doc.trk.Tracks(i)->trkseg(0)->Count() < 2) __builtin_trap();
  if (!fuzz::AllPointsOnTheGlobe(doc)) __builtin_trap();
  if (file.Loaded && !fuzz::WriteReadIsAFixedPoint(doc, false)) __builtin_trap();
  return 0;
}
