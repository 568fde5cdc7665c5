#pragma once

// The input of scripts/bench-grid.sh made in-process: every sounding of the
// example survey as a sample (positions and depths rounded to 32-bit floats,
// as the script's samples.csv holds them) and the samples' box as the
// extent, so a benchmark of the interpolation alone grids the very numbers
// the whole-process comparison grids.

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "interpolation/SampleGrid.h"

namespace sondralis::bench {

struct TExampleSurveySamples {
  TPointList Coord;
  TValueList Depth;
  TGridExtent Extent;
};

// Reads every <trkpt lat=".." lon=".."> ... <h:depth>..</h:depth> of the
// survey; empty when the file cannot be read.
inline TExampleSurveySamples ReadExampleSurvey(const std::string& Path) {
  TExampleSurveySamples out;
  std::ifstream in(Path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  auto attribute = [&](std::size_t from, std::size_t to, const std::string& name) {
    const std::size_t at = s.find(name + "=\"", from);
    if (at == std::string::npos || at > to) return std::string();
    const std::size_t begin = at + name.size() + 2;
    return s.substr(begin, s.find('"', begin) - begin);
  };
  // As the script does: the decimal read as a double, then rounded to float.
  auto number = [](const std::string& text) { return static_cast<float>(std::stod(text)); };
  bool first = true;
  for (std::size_t at = s.find("<trkpt "); at != std::string::npos; at = s.find("<trkpt ", at + 1)) {
    const std::size_t tagEnd = s.find('>', at);
    const std::size_t depthAt = s.find("<h:depth>", tagEnd);
    const std::size_t next = s.find("<trkpt ", at + 1);
    if (tagEnd == std::string::npos || depthAt == std::string::npos || (next != std::string::npos && depthAt > next))
      continue;
    const float lat = number(attribute(at, tagEnd, "lat"));
    const float lon = number(attribute(at, tagEnd, "lon"));
    const float depth = number(s.substr(depthAt + 9, s.find('<', depthAt + 9) - depthAt - 9));
    out.Coord.Add({lon, lat});
    out.Depth.Add(depth);
    if (first) out.Extent = {lon, lat, lon, lat};
    first = false;
    out.Extent.MinLon = std::min<double>(out.Extent.MinLon, lon);
    out.Extent.MaxLon = std::max<double>(out.Extent.MaxLon, lon);
    out.Extent.MinLat = std::min<double>(out.Extent.MinLat, lat);
    out.Extent.MaxLat = std::max<double>(out.Extent.MaxLat, lat);
  }
  return out;
}

inline const TExampleSurveySamples& ExampleSurveySamples() {
  static const TExampleSurveySamples survey = ReadExampleSurvey(SONDRALIS_SOURCE_DIR "/examples/lake_survey.gpx");
  return survey;
}

}  // namespace sondralis::bench
