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
