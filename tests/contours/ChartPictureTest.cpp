// The chart tracer's contour picture on random lake bottoms: every inked
// pixel outside the labels belongs to a line of its colour's level passing
// through it, every point of a line is inked, and the labels sit on their
// own lines, in the picture, clear of each other and of the legend, each on
// a white ground holding nothing but its digits.
#include "contours/ChartPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "support/ChartSurfaces.h"

namespace sondralis {
namespace {

using testing::PointSegmentDistance;

// Whether pixel (x, y) lies inside the label's box grown by Margin pixels
// (negative: shrunk).
bool InBox(const TLabelBox& b, double x, double y, double Margin) {
  const double dx = x - b.Centre.X, dy = y - b.Centre.Y;
  const double u = dx * std::cos(b.Angle) + dy * std::sin(b.Angle), v = -dx * std::sin(b.Angle) + dy * std::cos(b.Angle);
  return std::fabs(u) <= b.Width / 2 + Margin && std::fabs(v) <= b.Height / 2 + Margin;
}

TEST(ChartPicture, InkedPixelsLieOnTheirLevelsLinesAndLabelsSitOnWhiteClearOfEverything) {
  constexpr int W = 160, H = 120;
  constexpr TColor kShallow = 0x0000FF, kDeep = 0xFF0000;
  const TLabelBox legend = TLabelBox::Upright(0, 0, 60, 16);
  std::mt19937_64 rng(24);
  std::size_t labelsSeen = 0;
  for (int round = 0; round < 6; ++round) {
    const int step = std::vector<int>{100, 50, 25}[static_cast<std::size_t>(round % 3)];
    const TDepthArray depths = testing::RandomBottom(rng, W, H, step, 3, round % 2 == 1);
    double deepest = 0;
    for (double d : depths.All())
      if (d == d) deepest = std::max(deepest, d);
    const int maxDepth = static_cast<int>(deepest);
    TSilentFeedback quiet;
    const TChartContours contours = TraceChartContours(
        depths, ChartLevels(step, maxDepth), {kChartMinRing, 0, kChartTolerance}, quiet);
    const std::vector<TChartLine>& lines = contours.Lines;
    ASSERT_FALSE(lines.empty());

    TCanvas picture(W, H);
    TChartPictureStyle style;
    style.Shallow = kShallow;
    style.Deep = kDeep;
    style.MaxDepth = maxDepth;
    style.Step = step;
    style.Obstacles = {legend};
    const std::vector<TContourLabel> labels = DrawChartPicture(picture, lines, style);
    labelsSeen += labels.size();

    // Each level its own colour, so a pixel's colour names its level.
    std::map<TColor, int> levelOf;
    std::set<int> levels;
    for (const TChartLine& line : lines) {
      levelOf[BlendColors(kShallow, kDeep, static_cast<double>(line.Level) / maxDepth)] = line.Level;
      levels.insert(line.Level);
    }
    ASSERT_EQ(levelOf.size(), levels.size());

    for (std::size_t i = 0; i < labels.size(); ++i) {
      const TContourLabel& label = labels[i];
      const TChartLine& line = lines[static_cast<std::size_t>(label.Line)];
      EXPECT_EQ(label.Level, line.Level);
      EXPECT_EQ(label.Text, DepthLabelText(line.Level, step));
      double onLine = 1e300;
      for (std::size_t k = 0; k + 1 < line.Points.size(); ++k)
        onLine = std::min(onLine, PointSegmentDistance(label.Box.Centre, line.Points[k], line.Points[k + 1]));
      EXPECT_LT(onLine, 1e-6) << label.Text;
      EXPECT_FALSE(label.Box.Overlaps(legend)) << label.Text;
      for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(label.Box.Overlaps(labels[j].Box));
      for (const double corner : {-1.0, 1.0})
        for (const double side : {-1.0, 1.0}) {
          const double u = corner * label.Box.Width / 2, v = side * label.Box.Height / 2;
          const double x = label.Box.Centre.X + u * std::cos(label.Box.Angle) - v * std::sin(label.Box.Angle);
          const double y = label.Box.Centre.Y + u * std::sin(label.Box.Angle) + v * std::cos(label.Box.Angle);
          EXPECT_TRUE(x > 0 && y > 0 && x < W - 1 && y < H - 1) << label.Text << " runs over the edge";
        }
    }

    // Segments by 4-pixel cell, for finding the lines near a pixel.
    std::map<std::pair<int, int>, std::vector<std::pair<const TChartLine*, std::size_t>>> near;
    for (const TChartLine& line : lines)
      for (std::size_t k = 0; k + 1 < line.Points.size(); ++k) {
        const TChartPoint &a = line.Points[k], &b = line.Points[k + 1];
        for (int cx = static_cast<int>(std::floor((std::min(a.X, b.X) - 2) / 4));
             cx <= static_cast<int>(std::floor((std::max(a.X, b.X) + 2) / 4)); ++cx)
          for (int cy = static_cast<int>(std::floor((std::min(a.Y, b.Y) - 2) / 4));
               cy <= static_cast<int>(std::floor((std::max(a.Y, b.Y) + 2) / 4)); ++cy)
            near[{cx, cy}].push_back({&line, k});
      }
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y) {
        const TColor c = picture.Pixel(x, y);
        const auto inside = std::find_if(labels.begin(), labels.end(),
                                         [&](const TContourLabel& l) { return InBox(l.Box, x, y, -1); });
        if (inside != labels.end()) {
          const TColor own = BlendColors(kShallow, kDeep, static_cast<double>(inside->Level) / maxDepth);
          ASSERT_TRUE(c == clWhite || c == own) << x << "," << y << " under label " << inside->Text;
          continue;
        }
        if (c == clWhite || std::any_of(labels.begin(), labels.end(),
                                        [&](const TContourLabel& l) { return InBox(l.Box, x, y, 1); }))
          continue;
        ASSERT_TRUE(levelOf.count(c)) << x << "," << y << " has no level's colour";
        // A line of that level passes through the pixel: the Bresenham line
        // between rounded ends strays up to half a pixel, each end up to
        // half a diagonal.
        double distance = 1e300;
        for (const auto& [line, k] : near[{x / 4, y / 4}])
          if (line->Level == levelOf[c])
            distance = std::min(distance, PointSegmentDistance({double(x), double(y)}, line->Points[k], line->Points[k + 1]));
        ASSERT_LE(distance, 1.25) << x << "," << y;
      }
    for (const TChartLine& line : lines)
      for (const TChartPoint& p : line.Points) {
        const double x = std::nearbyint(p.X), y = std::nearbyint(p.Y);
        if (std::any_of(labels.begin(), labels.end(), [&](const TContourLabel& l) { return InBox(l.Box, x, y, 1); }))
          continue;
        ASSERT_NE(picture.Pixel(static_cast<int>(x), static_cast<int>(y)), clWhite) << x << "," << y;
      }
  }
  EXPECT_GT(labelsSeen, 10u);
}

}  // namespace
}  // namespace sondralis
