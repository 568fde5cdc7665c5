// The files the map export writes beside its pictures: the samples as CSV
// and the grid of the view, which together let `grid` redo the run's map.
#include "interpolation/SampleGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

namespace sondralis {
namespace {

TEST(SampleGrid, SamplesCsvReadsBackExactlyInFloatAndInDouble) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> lon(-180, 180), lat(-90, 90), depth(-50, 4000);
  TPointList coord;
  TValueList values;
  for (int i = 0; i < 2000; ++i) {
    coord.Add({lon(rng), lat(rng)});
    values.Add(i % 97 ? depth(rng) : 0.0f);
  }
  const std::string csv = EncodeSamplesCSV(coord, values);

  TPointList coordBack;
  TValueList valuesBack;
  ReadSamplesCSV(csv, "samples.csv", coordBack, valuesBack);
  ASSERT_EQ(coordBack.Length(), coord.Length());
  for (int i = 0; i < coord.Length(); ++i) {
    EXPECT_EQ(coordBack[i], coord[i]);
    EXPECT_EQ(valuesBack[i], values[i]);
  }
  // A reader in double precision gets each float's exact value (a text of
  // nine significant digits would read back as the float, but not as its
  // double).
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "lon,lat,depth");
  for (int i = 0; std::getline(lines, line); ++i) {
    std::istringstream fields(line);
    std::string field;
    for (int k = 0; std::getline(fields, field, ','); ++k) {
      const float want = k == 0 ? coord[i][0] : k == 1 ? coord[i][1] : values[i];
      ASSERT_EQ(std::strtod(field.c_str(), nullptr), static_cast<double>(want)) << line;
    }
  }
}

// Read line by line from a stream (lines crossing the reader's blocks, a
// byte-order mark, CRLF, blank lines, no final newline), the samples are
// those of the whole text; a header that is wrong, or a line that never
// ends, is refused before the rest is read.
TEST(SampleGrid, StreamReadsWhatTheTextReadsAndStopsEarlyOnJunk) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> lon(-180, 180), lat(-90, 90), depth(0, 4000);
  TPointList coord;
  TValueList values;
  for (int i = 0; i < 9000; ++i) {  // about 300 kB: several blocks
    coord.Add({lon(rng), lat(rng)});
    values.Add(depth(rng));
  }
  std::string csv = "\xEF\xBB\xBF" + EncodeSamplesCSV(coord, values);
  for (std::size_t at = 0; (at = csv.find('\n', at + 5000)) != std::string::npos;) csv.replace(at, 1, "\r\n\n");
  csv.pop_back();
  TPointList fromText, fromStream;
  TValueList depthsText, depthsStream;
  ReadSamplesCSV(std::string_view(csv), "s.csv", fromText, depthsText);
  std::istringstream in(csv);
  ReadSamplesCSV(in, "s.csv", fromStream, depthsStream);
  ASSERT_EQ(fromText.Length(), coord.Length());
  ASSERT_EQ(fromStream.Length(), coord.Length());
  for (int i = 0; i < coord.Length(); ++i) {
    EXPECT_EQ(fromStream[i], coord[i]) << i;
    EXPECT_EQ(depthsStream[i], values[i]) << i;
  }

  const auto message = [](std::istream& input) {
    TPointList c;
    TValueList d;
    try {
      ReadSamplesCSV(input, "junk", c, d);
    } catch (const EGridError& e) {
      return std::string(e.what()) + " at " + std::to_string(input.tellg());
    }
    return std::string("read");
  };
  // A stream that never ends: the bound stops it within its first block.
  struct Zeros : std::streambuf {
    char block[4096] = {};
    int_type underflow() override {
      setg(block, block, block + sizeof block);
      return 0;
    }
  } zeros;
  std::istream endless(&zeros);
  EXPECT_EQ(message(endless).rfind("junk:1: the line is longer than 4096 bytes", 0), 0u);
  std::istringstream wrongHeader("x,y,z\n" + std::string(1 << 20, '1'));
  const std::string refused = message(wrongHeader);
  EXPECT_EQ(refused.rfind("junk:1: the first line must be the header lon,lat,depth at ", 0), 0u) << refused;
  EXPECT_LE(std::stoll(refused.substr(refused.rfind(' ') + 1)), 64 * 1024) << "read no further than one block";
}

TEST(SampleGrid, ViewGridPutsCellCentresOnThePixels) {
  TGPXDraw view;
  view.Resize(301, 199);
  view.BBox.O = 8.6345;
  view.BBox.S = 47.2101;
  view.BBox.Rm = 123456.5;
  const TGridExtent e = ViewGridExtent(view);
  const double dx = e.CellWidth(301), dy = e.CellHeight(199);
  for (int x : {0, 1, 150, 300})
    EXPECT_NEAR(e.MinLon + (x + 0.5) * dx, view.XToLo(x), 1e-12 * std::abs(view.XToLo(x))) << x;
  for (int y : {0, 1, 100, 198})
    EXPECT_NEAR(e.MaxLat - (y + 0.5) * dy, view.YToLa(y), 1e-12 * std::abs(view.YToLa(y))) << y;

  TGPXDraw unscaled;
  unscaled.Resize(10, 10);
  const TGridExtent none = ViewGridExtent(unscaled);
  EXPECT_EQ(none.MinLon, none.MaxLon);
}

}  // namespace
}  // namespace sondralis
