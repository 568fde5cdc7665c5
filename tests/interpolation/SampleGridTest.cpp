// The files the map export writes beside its pictures: the samples as CSV
// and the grid of the view, which together let `grid` redo the run's map.
#include "interpolation/SampleGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// The grid's text against printf's "%.17g", small grids and large ones
// (written in bands of rows on several threads, at odd row counts too):
// header, row order from the north, NODATA for what is not a number.
TEST(SampleGrid, EsriAsciiGridIsPrintfsTextAtEverySize) {
  std::mt19937_64 random(26);
  std::uniform_real_distribution<double> depth(-50, 3000);
  auto g17 = [](double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return std::string(buffer);
  };
  for (const auto& [columns, rows] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}, {400, 300}, {1001, 37}, {90, 401}}) {
    TDepthArray grid(columns, rows);
    for (double& v : grid.All()) {
      const std::uint64_t kind = random() % 50;
      v = kind == 0 ? std::nan("") : kind == 1 ? HUGE_VAL : kind == 2 ? 1e-300 * depth(random) : depth(random);
    }
    const TGridExtent extent{8.6 + depth(random) * 1e-6, 47.2, 8.7, 47.2 + rows * 1e-4};
    std::string want;
    want += "ncols        " + g17(columns) + "\n";
    want += "nrows        " + g17(rows) + "\n";
    want += "xllcorner    " + g17(extent.MinLon) + "\n";
    want += "yllcorner    " + g17(extent.MinLat) + "\n";
    want += "dx           " + g17(extent.CellWidth(columns)) + "\n";
    want += "dy           " + g17(extent.CellHeight(rows)) + "\n";
    want += "NODATA_value -9999\n";
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < columns; ++x) {
        const double v = grid[x][y];
        want += g17(std::isfinite(v) ? v : -9999) + (x + 1 < columns ? " " : "\n");
      }
    ASSERT_EQ(EncodeEsriAsciiGrid(grid, extent), want) << columns << " x " << rows;
  }
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
