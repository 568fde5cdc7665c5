// libFuzzer target: GPX text of any shape must load or fail calmly, and
// whatever loads must write a file that loads again.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

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
  if (!file.Loaded) return 0;

  file.GPXOptions.GPX_Style = (size & 1) != 0;
  std::istringstream written(file.ExportGPXText());
  TGPX again;
  TGPXFile reader;
  reader.GPXd = &again;
  reader.ImportGPXStream(written, "written.gpx");
  if (!reader.Loaded || again.trk.Count() != doc.trk.Count() || again.wpt.Count() != doc.wpt.Count() ||
      again.rte.Count() != doc.rte.Count())
    __builtin_trap();
  return 0;
}
