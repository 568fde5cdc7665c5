// Line rasterisation and wide pens: the closed-form clipped line against the
// plain walk, and both wide-pen painting methods against the definition
// (every pixel within half the pen width of a disc on the centre line).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "view/LineRaster.h"
#include "view/WideStroke.h"

namespace sondralis {
namespace {

using Pixels = std::set<std::pair<int, int>>;

Pixels Line(int x0, int y0, int x1, int y1, bool includeEnd, int minX, int minY, int maxX, int maxY) {
  Pixels out;
  RasterLine(x0, y0, x1, y1, includeEnd, minX, minY, maxX, maxY, [&](int x, int y) {
    EXPECT_TRUE(out.insert({x, y}).second) << "pixel painted twice";
  });
  return out;
}

TEST(LineRasterTest, StepsOnePixelAlongTheMajorAxisAndStaysWithinHalfAPixel) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-40, 40);
  for (int n = 0; n < 500; ++n) {
    const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
    std::vector<std::pair<int, int>> path;
    RasterLine(x0, y0, x1, y1, true, -100, -100, 100, 100, [&](int x, int y) { path.emplace_back(x, y); });
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), std::make_pair(x0, y0));
    EXPECT_EQ(path.back(), std::make_pair(x1, y1));
    const int major = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    ASSERT_EQ(static_cast<int>(path.size()), major + 1);
    for (std::size_t i = 1; i < path.size(); ++i) {
      EXPECT_LE(std::abs(path[i].first - path[i - 1].first), 1);
      EXPECT_LE(std::abs(path[i].second - path[i - 1].second), 1);
    }
    // Each pixel lies within half a pixel of the exact line along the minor axis.
    for (const auto& [x, y] : path) {
      if (std::abs(x1 - x0) >= std::abs(y1 - y0)) {
        const double exact = y0 + static_cast<double>(y1 - y0) * (x - x0) / (x1 - x0 == 0 ? 1 : x1 - x0);
        EXPECT_LE(std::fabs(y - exact), 0.5 + 1e-9);
      } else {
        const double exact = x0 + static_cast<double>(x1 - x0) * (y - y0) / (y1 - y0);
        EXPECT_LE(std::fabs(x - exact), 0.5 + 1e-9);
      }
    }
  }
}

TEST(LineRasterTest, LineToSemanticsLeaveOutTheEndPixel) {
  EXPECT_EQ(Line(2, 3, 6, 3, false, 0, 0, 9, 9), (Pixels{{2, 3}, {3, 3}, {4, 3}, {5, 3}}));
  EXPECT_TRUE(Line(4, 4, 4, 4, false, 0, 0, 9, 9).empty());
  EXPECT_EQ(Line(4, 4, 4, 4, true, 0, 0, 9, 9), (Pixels{{4, 4}}));
}

// Clipping must not move the line: the clipped line is exactly the part of
// the full line inside the box, however far outside its ends lie.
TEST(LineRasterTest, ClippingKeepsExactlyThePixelsInsideTheBox) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> coord(-3000, 3000);
  const int minX = -7, minY = 3, maxX = 90, maxY = 60;
  for (int n = 0; n < 400; ++n) {
    const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
    const bool includeEnd = n % 2 == 0;
    const Pixels all = Line(x0, y0, x1, y1, includeEnd, -1000000, -1000000, 1000000, 1000000);
    Pixels expected;
    for (const auto& [x, y] : all)
      if (x >= minX && x <= maxX && y >= minY && y <= maxY) expected.insert({x, y});
    EXPECT_EQ(Line(x0, y0, x1, y1, includeEnd, minX, minY, maxX, maxY), expected)
        << x0 << "," << y0 << " -> " << x1 << "," << y1;
  }
}

TEST(LineRasterTest, HugeCoordinatesAreClampedNotOverflowed) {
  int count = 0;
  RasterLine(-2000000000, 5, 2000000000, 5, true, 0, 0, 9, 9, [&](int, int y) {
    EXPECT_EQ(y, 5);
    ++count;
  });
  EXPECT_EQ(count, 10);
}

// Reference: every raster pixel whose centre lies within half the pen width
// of a disc centre. The disc sits on each centre-line pixel for odd widths
// and on its lower-right corner for even ones. (All values are halves and
// quarters, exact in doubles.)
std::vector<std::uint32_t> Reference(const std::vector<std::array<int, 4>>& lines, int width, int w, int h) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w * h), 0);
  std::vector<std::pair<int, int>> seeds;
  for (const auto& l : lines)
    RasterLine(l[0], l[1], l[2], l[3], true, -1000, -1000, 1000, 1000, [&](int x, int y) { seeds.emplace_back(x, y); });
  const double offset = width % 2 == 0 ? 0.5 : 0.0;
  const double radius = width / 2.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (const auto& [sx, sy] : seeds) {
        const double dx = x - (sx + offset), dy = y - (sy + offset);
        if (dx * dx + dy * dy <= radius * radius) {
          out[static_cast<std::size_t>(y * w + x)] = 1;
          break;
        }
      }
  return out;
}

std::vector<std::uint32_t> Painted(const std::vector<std::array<int, 4>>& lines, int width, int w, int h,
                                   TWideStroke::TMethod method) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w * h), 0);
  TWideStroke stroke;
  stroke.Reset(width, w, h);
  for (const auto& l : lines) stroke.AddLine(l[0], l[1], l[2], l[3]);
  stroke.Paint(out.data(), w, 1, method);
  EXPECT_TRUE(stroke.Empty());
  return out;
}

TEST(WideStrokeTest, StampAndDistancePassPaintExactlyTheDiscSumOfTheCentreLine) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> coord(-30, 90);
  const int w = 64, h = 48;
  for (int width : {1, 2, 3, 4, 5, 6, 7, 10, 30, 31}) {
    for (int trial = 0; trial < 6; ++trial) {
      std::vector<std::array<int, 4>> lines;
      for (int i = 0; i < 1 + trial; ++i) lines.push_back({coord(rng), coord(rng), coord(rng), coord(rng)});
      const auto expected = Reference(lines, width, w, h);
      EXPECT_EQ(Painted(lines, width, w, h, TWideStroke::TMethod::Stamp), expected) << "width " << width;
      EXPECT_EQ(Painted(lines, width, w, h, TWideStroke::TMethod::Distance), expected) << "width " << width;
      EXPECT_EQ(Painted(lines, width, w, h, TWideStroke::TMethod::Auto), expected) << "width " << width;
    }
  }
}

// A pen of width w paints w pixels across a horizontal or a vertical line,
// whichever way the line is drawn; each half-width reaches w / 2 past the
// centre on one side and (w − 1) / 2 on the other. Across a 45° line a row
// holds the band's horizontal cross-section, w·√2 long, to within a pixel.
TEST(WideStrokeTest, APenOfWidthWPaintsWPixelsAcross) {
  const int size = 80;
  auto runsAcross = [&](const std::vector<std::uint32_t>& out, bool alongRows, int at) {
    int n = 0;
    for (int i = 0; i < size; ++i) n += out[static_cast<std::size_t>(alongRows ? at * size + i : i * size + at)];
    return n;
  };
  for (int width = 1; width <= 6; ++width) {
    for (auto method : {TWideStroke::TMethod::Stamp, TWideStroke::TMethod::Distance}) {
      SCOPED_TRACE("width " + std::to_string(width) + (method == TWideStroke::TMethod::Stamp ? " stamped" : " by distance"));
      for (const auto& line : {std::array<int, 4>{10, 40, 70, 40}, std::array<int, 4>{70, 40, 10, 40}}) {
        const auto out = Painted({line}, width, size, size, method);
        for (int x = 20; x <= 60; x += 10) EXPECT_EQ(runsAcross(out, false, x), width);
        const auto vertical = Painted({{line[1], line[0], line[3], line[2]}}, width, size, size, method);
        for (int y = 20; y <= 60; y += 10) EXPECT_EQ(runsAcross(vertical, true, y), width);
      }
      for (const auto& line : {std::array<int, 4>{10, 10, 70, 70}, std::array<int, 4>{10, 70, 70, 10}}) {
        const auto out = Painted({line}, width, size, size, method);
        for (int y = 30; y <= 50; ++y) EXPECT_NEAR(runsAcross(out, true, y), width * std::sqrt(2.0), 1.0) << y;
      }
    }
  }
}

TEST(WideStrokeTest, CentreLineJustOutsideTheRasterStillPaintsItsBand) {
  // A line along row −5 with a 30-pixel pen reaches rows −19 .. 10.
  for (auto method : {TWideStroke::TMethod::Stamp, TWideStroke::TMethod::Distance}) {
    const auto out = Painted({{{-50, -5, 100, -5}}}, 30, 40, 20, method);
    EXPECT_EQ(out[static_cast<std::size_t>(10 * 40 + 20)], 1u);
    EXPECT_EQ(out[static_cast<std::size_t>(11 * 40 + 20)], 0u);
  }
}

TEST(WideStrokeTest, CapsAreRound) {
  const int w = 100, h = 100;
  const auto out = Painted({{{50, 50, 60, 50}}}, 30, w, h, TWideStroke::TMethod::Auto);
  auto at = [&](int x, int y) { return out[static_cast<std::size_t>(y * w + x)]; };
  EXPECT_EQ(at(36, 50), 1u);  // 14 pixels before the start
  EXPECT_EQ(at(35, 50), 0u);
  EXPECT_EQ(at(75, 50), 1u);  // and 15 past the end
  EXPECT_EQ(at(76, 50), 0u);
  EXPECT_EQ(at(50, 36), 1u);
  EXPECT_EQ(at(50, 35), 0u);
  // A square cap would cover the corner; a round one does not.
  EXPECT_EQ(at(39, 39), 0u);
  EXPECT_EQ(at(72, 62), 0u);
}

}  // namespace
}  // namespace sondralis
