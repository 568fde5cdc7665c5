// Stroke digits: every digit reads differently at the small size of a
// contour picture's labels, and at any angle the text stays inside the box
// its width and height promise (the white ground a label gets).
#include "view/StrokeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace sondralis {
namespace {

// The pixels text drawn on a white canvas sets, as "x,y" relative to the
// centre it was drawn about.
std::set<std::pair<int, int>> Inked(const std::string& text, double height, double angle, double cx, double cy) {
  TCanvas canvas(80, 80);
  DrawStrokeText(canvas, text, cx, cy, height, angle, clBlack);
  std::set<std::pair<int, int>> inked;
  for (int x = 0; x < 80; ++x)
    for (int y = 0; y < 80; ++y) {
      const TColor c = canvas.Pixel(x, y);
      EXPECT_TRUE(c == clWhite || c == clBlack) << "whole pixels in exact colours only";
      if (c == clBlack) inked.insert({x, y});
    }
  return inked;
}

TEST(StrokeText, DigitsAtEightPixelsAreTenDifferentPictures) {
  std::set<std::set<std::pair<int, int>>> pictures;
  for (char digit = '0'; digit <= '9'; ++digit) {
    const auto inked = Inked(std::string(1, digit), 8, 0, 40, 40);
    EXPECT_GE(inked.size(), 6u) << digit;
    pictures.insert(inked);
  }
  EXPECT_EQ(pictures.size(), 10u);
  // The decimal point is a mark of its own, narrower than a digit.
  EXPECT_LT(StrokeTextWidth(".", 8), StrokeTextWidth("0", 8) / 2);
  EXPECT_FALSE(Inked(".", 8, 0, 40, 40).empty());
}

TEST(StrokeText, TextStaysInItsBoxAtAnyAngleAndNothingIsDrawnForNothing) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-std::numbers::pi, std::numbers::pi), shift(-0.5, 0.5),
      height(6, 14);
  const std::vector<std::string> texts = {"0.75", "19", "3.25", "-12.5", "8"};
  for (int i = 0; i < 200; ++i) {
    const std::string& text = texts[static_cast<std::size_t>(i) % texts.size()];
    const double a = angle(rng), h = height(rng), cx = 40 + shift(rng), cy = 40 + shift(rng);
    const double halfWidth = StrokeTextWidth(text, h) / 2, halfHeight = h / 2;
    const auto inked = Inked(text, h, a, cx, cy);
    ASSERT_FALSE(inked.empty());
    for (const auto& [x, y] : inked) {
      // Into the text's own frame; each stroke end is rounded to a pixel
      // (half a diagonal) and the line between them strays by up to half a
      // pixel more.
      const double dx = x - cx, dy = y - cy;
      const double u = dx * std::cos(a) + dy * std::sin(a), v = -dx * std::sin(a) + dy * std::cos(a);
      ASSERT_LE(std::fabs(u), halfWidth + 1.25) << text << " at " << a;
      ASSERT_LE(std::fabs(v), halfHeight + 1.25) << text << " at " << a;
    }
  }
  EXPECT_TRUE(Inked("", 8, 0, 40, 40).empty());
  EXPECT_TRUE(Inked("12", 0, 0, 40, 40).empty());
  EXPECT_EQ(StrokeTextWidth("", 8), 0);
}

}  // namespace
}  // namespace sondralis
