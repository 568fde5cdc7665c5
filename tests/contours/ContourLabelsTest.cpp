// Depth labels: the numbers a chart writes, and where they go on the lines
// of random lake bottoms, checked with plain geometry of the label's
// corners: on its own line and along it, upright, clear of every other
// label, of the legend and of every other line.
#include "contours/ContourLabels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "support/ChartSurfaces.h"

namespace sondralis {
namespace {

using testing::PointSegmentDistance;
using testing::SegmentDistance;

TEST(ContourLabels, MetresWithOneDecimalBelowAMetreStepAndTwoWhereALevelNeedsThem) {
  EXPECT_EQ(DepthLabelText(300, 100), "3");
  EXPECT_EQ(DepthLabelText(1900, 100), "19");
  EXPECT_EQ(DepthLabelText(300, 50), "3.0");
  EXPECT_EQ(DepthLabelText(350, 50), "3.5");
  EXPECT_EQ(DepthLabelText(310, 10), "3.1");
  EXPECT_EQ(DepthLabelText(325, 25), "3.25");
  EXPECT_EQ(DepthLabelText(75, 25), "0.75");
  EXPECT_EQ(DepthLabelText(150, 150), "1.5");
  EXPECT_EQ(DepthLabelText(5, 5), "0.05");
}

std::array<TChartPoint, 4> Corners(const TLabelBox& b) {
  const double c = std::cos(b.Angle), s = std::sin(b.Angle);
  std::array<TChartPoint, 4> out;
  const double u[4] = {-1, 1, 1, -1}, v[4] = {-1, -1, 1, 1};
  for (int i = 0; i < 4; ++i) {
    const double x = u[i] * b.Width / 2, y = v[i] * b.Height / 2;
    out[static_cast<std::size_t>(i)] = {b.Centre.X + c * x - s * y, b.Centre.Y + s * x + c * y};
  }
  return out;
}

bool Inside(const std::array<TChartPoint, 4>& q, const TChartPoint& p) {
  int sign = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const TChartPoint& a = q[i];
    const TChartPoint& b = q[(i + 1) % 4];
    const double cross = (b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X);
    const int s = cross > 1e-9 ? 1 : cross < -1e-9 ? -1 : 0;
    if (s == 0) continue;
    if (sign == 0) sign = s;
    else if (s != sign) return false;
  }
  return true;
}

bool SegmentMeetsBox(const TChartPoint& a, const TChartPoint& b, const std::array<TChartPoint, 4>& q) {
  if (Inside(q, a) || Inside(q, b)) return true;
  for (std::size_t i = 0; i < 4; ++i)
    if (SegmentDistance(a, b, q[i], q[(i + 1) % 4]) < 1e-9) return true;
  return false;
}

bool BoxesOverlap(const TLabelBox& A, const TLabelBox& B) {
  const auto qa = Corners(A), qb = Corners(B);
  for (std::size_t i = 0; i < 4; ++i)
    if (SegmentMeetsBox(qa[i], qa[(i + 1) % 4], qb)) return true;
  return Inside(qa, B.Centre);
}

// Overlaps agrees with the corners' own geometry for turned rectangles near
// and far, apart from pairs that nearly touch.
TEST(ContourLabels, OverlapsAgreesWithTheCornersGeometry) {
  std::mt19937_64 rng(2424);
  std::uniform_real_distribution<double> unit(0, 1);
  int overlapping = 0, apart = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto box = [&](double spread) {
      return TLabelBox{{spread * unit(rng), spread * unit(rng)}, 1 + 30 * unit(rng), 1 + 12 * unit(rng),
                       (unit(rng) - 0.5) * 2 * std::numbers::pi};
    };
    const TLabelBox a = box(0), b = box(i % 2 ? 30 : 120);
    TLabelBox smaller = b, larger = b;
    smaller.Width -= 1e-4, smaller.Height -= 1e-4;
    larger.Width += 1e-4, larger.Height += 1e-4;
    if (BoxesOverlap(a, smaller) != BoxesOverlap(a, larger)) continue;
    const bool expected = BoxesOverlap(a, b);
    ASSERT_EQ(a.Overlaps(b), expected) << i;
    ASSERT_EQ(b.Overlaps(a), expected) << i;
    (expected ? overlapping : apart)++;
  }
  EXPECT_GT(overlapping, 1000);
  EXPECT_GT(apart, 2000);
}

TEST(ContourLabels, LabelsSitOnStraightStretchesOfTheirOwnLineAndCoverNothingElse) {
  std::mt19937_64 rng(17);
  const TLabelBox legend = TLabelBox::Upright(0, 0, 30, 12);
  int labels = 0, rejectedByLegend = 0;
  for (int round = 0; round < 20; ++round) {
    const int step = round % 2 ? 50 : 100;
    const TDepthArray d = testing::RandomBottom(rng, 120, 90, step, 2, true);
    TSilentFeedback feedback;
    const std::vector<TChartLine> lines = TraceChartContours(d, ChartLevels(step, 5000), {}, feedback).Lines;
    TLabelStyle style;
    style.Step = step;
    style.TextHeight = 4;
    style.TextWidth = [](const std::string& text) { return 2.4 * static_cast<double>(text.size()); };
    style.Spacing = 60;
    style.MaxBend = 0.8;
    const std::vector<TContourLabel> placed = PlaceContourLabels(lines, style, {legend});
    labels += static_cast<int>(placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
      const TContourLabel& label = placed[i];
      const TChartLine& line = lines[static_cast<std::size_t>(label.Line)];
      EXPECT_EQ(label.Level, line.Level);
      EXPECT_EQ(label.Text, DepthLabelText(line.Level, step));
      EXPECT_GE(std::cos(label.Box.Angle), -1e-12) << "upside down";
      EXPECT_FALSE(BoxesOverlap(label.Box, legend));
      for (std::size_t j = 0; j < i; ++j)
        EXPECT_FALSE(BoxesOverlap(label.Box, placed[j].Box))
            << "labels overlap: " << label.Box.Centre.X << "," << label.Box.Centre.Y << " " << label.Box.Width << "x"
            << label.Box.Height << " " << label.Box.Angle << " and " << placed[j].Box.Centre.X << ","
            << placed[j].Box.Centre.Y << " " << placed[j].Box.Width << "x" << placed[j].Box.Height << " "
            << placed[j].Box.Angle;
      // Centred on its line; the line runs along the label, never more than
      // the allowed bend away from its middle line.
      const auto q = Corners(label.Box);
      const double ax = std::cos(label.Box.Angle), ay = std::sin(label.Box.Angle);
      double nearest = 1e9;
      for (std::size_t k = 0; k + 1 < line.Points.size(); ++k) {
        nearest = std::min(nearest, PointSegmentDistance(label.Box.Centre, line.Points[k], line.Points[k + 1]));
        const TChartPoint& p = line.Points[k];
        const double along = (p.X - label.Box.Centre.X) * ax + (p.Y - label.Box.Centre.Y) * ay;
        const double across = -(p.X - label.Box.Centre.X) * ay + (p.Y - label.Box.Centre.Y) * ax;
        if (std::fabs(along) < label.Box.Width / 2 && std::fabs(across) < label.Box.Height / 2) {
          EXPECT_LE(std::fabs(across), 2 * style.MaxBend + 1e-9);
        }
      }
      EXPECT_LT(nearest, 1e-9);
      // No other line passes under it.
      for (std::size_t l = 0; l < lines.size(); ++l) {
        if (static_cast<int>(l) == label.Line) continue;
        for (std::size_t k = 0; k + 1 < lines[l].Points.size(); ++k)
          EXPECT_FALSE(SegmentMeetsBox(lines[l].Points[k], lines[l].Points[k + 1], q)) << "covers line " << l;
      }
    }
    const std::vector<TContourLabel> free = PlaceContourLabels(lines, style, {});
    for (const TContourLabel& label : free) rejectedByLegend += BoxesOverlap(label.Box, legend);
  }
  EXPECT_GT(labels, 60);
  EXPECT_GT(rejectedByLegend, 0) << "the legend never stood in the way; the test proves nothing about it";
}

TEST(ContourLabels, LongLinesGetALabelPerSpacingAndBentOnesNone) {
  // A long straight line, a short one and a tight zigzag, far apart.
  std::vector<TChartLine> lines(3);
  for (int i = 0; i <= 100; ++i) lines[0].Points.push_back({10.0 + 4 * i, 20.0});
  lines[1].Points = {{10, 60}, {25, 60}};
  for (int i = 0; i <= 100; ++i) lines[2].Points.push_back({10.0 + 2 * i, 100.0 + (i % 2) * 3});
  for (TChartLine& line : lines) line.Level = 300;
  TLabelStyle style;
  style.TextHeight = 5;
  style.TextWidth = [](const std::string&) { return 6.0; };
  style.Spacing = 100;
  const std::vector<TContourLabel> placed = PlaceContourLabels(lines, style, {});
  std::vector<int> perLine(3);
  for (const TContourLabel& label : placed) ++perLine[static_cast<std::size_t>(label.Line)];
  // 400 px at one label per 100 px at most, the first in the middle.
  EXPECT_GE(perLine[0], 3);
  EXPECT_LE(perLine[0], 5);
  EXPECT_EQ(perLine[1], 1);
  EXPECT_EQ(perLine[2], 0);
  std::vector<double> at;
  for (const TContourLabel& label : placed)
    if (label.Line == 0) at.push_back(label.Box.Centre.X);
  std::sort(at.begin(), at.end());
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], style.Spacing - 1e-9);
}

TEST(ContourLabels, BoldLinesComeFirstAndTheirLabelsMayCoverOnlyThinLines) {
  // Three parallel lines 2 px apart: 1 m, 1.25 m and 1.5 m. A label 5 px
  // high covers its neighbours, so without leave none is placed; the whole
  // metre may cover the thin lines, and goes first.
  std::vector<TChartLine> lines(3);
  for (std::size_t l = 0; l < 3; ++l) {
    lines[l].Level = 100 + 25 * static_cast<int>(l);
    for (int i = 0; i <= 40; ++i) lines[l].Points.push_back({10.0 + 2 * i, 50.0 + 2 * static_cast<double>(l)});
  }
  TLabelStyle style;
  style.Step = 25;
  style.TextHeight = 5;
  style.TextWidth = [](const std::string&) { return 8.0; };
  EXPECT_TRUE(PlaceContourLabels(lines, style, {}).empty());
  style.First = [](int level) { return level % 100 == 0; };
  style.Blocking = style.First;
  const std::vector<TContourLabel> placed = PlaceContourLabels(lines, style, {});
  ASSERT_FALSE(placed.empty());
  EXPECT_EQ(placed.front().Text, "1.0");
  for (const TContourLabel& label : placed)
    if (label.Level != 100) {
      EXPECT_GT(std::fabs(label.Box.Centre.Y - 50), label.Box.Height / 2) << "a thin line's label covers the bold one";
    }
}

}  // namespace
}  // namespace sondralis
