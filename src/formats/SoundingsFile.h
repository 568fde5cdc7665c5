#pragma once

// Soundings as plain text, as other sounders and sonar tools export them: a
// CSV or XYZ file with a header line naming its columns and one sounding per
// line after it.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "formats/GPXFile.h"
#include "model/GPX.h"

namespace sondralis {

// Whether a path names a soundings file: it ends in .csv or .xyz, in any
// letter case.
bool IsSoundingsFile(const std::string& path);

// The columns a header names. Longitude: lon, long, longitude or x;
// latitude: lat, latitude or y; depth: depth or z; time: time, datetime,
// timestamp or date_time (optional). Case does not matter, and a column
// named by its long form wins over x, y and z. The depth is in metres
// unless its header says otherwise: "depth_cm", "depth (cm)", "depth[cm]"
// and "z cm" are centimetres, "depth_ft" and "depth (feet)" feet.
struct TSoundingsColumns {
  int Longitude = -1, Latitude = -1, Depth = -1, Time = -1;  // -1 = none
  double DepthToCm = 100;  // centimetres per unit of the depth column
  char Separator = ',';    // ',' ';' '\t', or ' ' for runs of blanks
  std::string Problem;     // why the header cannot be read; empty when it can
};
TSoundingsColumns SoundingsColumnsOf(std::string_view HeaderLine);

struct TSoundingsReadResult {
  bool Loaded = false;   // the file was read and holds at least one sounding
  std::string Error;     // why not, naming the file
  long long Soundings = 0;
  // Lines after the header that are no sounding: a field missing, a
  // coordinate or depth that is no number or out of range, a time that is
  // no ISO 8601 time, a line longer than kMaxLineBytes.
  TSkippedValues BadLines;
  // Depths read as negative numbers (elevations below the surface) and
  // turned into depths, because no depth of the file was positive.
  bool NegatedDepths = false;
  // What to tell the user: the bad lines, the turned depths.
  std::vector<std::string> Warnings;
};

// A line longer than this is not read (and not kept in memory whole); it
// counts as a bad line.
inline constexpr std::size_t kMaxSoundingsLineBytes = 4096;

// Reads a CSV or XYZ soundings file as one track named after the file, with
// one segment holding a point per good line in file order: position,
// depth in centimetres, and the time when the file has a time column.
// Empty lines and lines starting with '#' are passed over. Nothing is added
// to Doc when the file cannot be opened, has no usable header or holds no
// sounding. Numbers use a point as decimal separator; where the separator
// of the fields is not a comma a decimal comma is read too.
TSoundingsReadResult ReadSoundingsFile(const std::string& Path, TGPX& Doc);

}  // namespace sondralis
