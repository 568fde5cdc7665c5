#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "model/ColorInterpolate.h"
#include "model/GPX_Style.h"
#include "support/DecimalCommaLocale.h"

namespace sondralis {
namespace {

TColor Rgb(unsigned r, unsigned g, unsigned b) { return r + g * 256 + b * 65536; }

TEST(LineStyle, NewStyle) {
  TGPX_StyleLine s;
  EXPECT_TRUE(s.IsDefaultColor());
  EXPECT_EQ(s.ColorStr(), "000000");
  EXPECT_EQ(s.OpacityStr(), "1");
}

TEST(LineStyle, ColorTextParsing) {
  struct Case {
    const char* text;
    TColor expected;
  };
  const Case cases[] = {
      {"ff0000", Rgb(255, 0, 0)},
      {"F00", Rgb(0, 15, 0)},             // padded to 000F00
      {"1234567", Rgb(0x12, 0x34, 0x56)},  // first six kept
      {"#FF0000", Rgb(0, 240, 0)},         // hash takes a digit position
      {"", 0},
      {"  00ff00\n", Rgb(0, 255, 0)},  // blanks and control characters trimmed
      {"zz00FF", Rgb(0, 0, 255)},      // invalid pair counts as 0
  };
  for (const Case& c : cases) {
    TGPX_StyleLine s;
    s.SetColorStr(c.text);
    EXPECT_EQ(s.Color(), c.expected) << '"' << c.text << '"';
    EXPECT_FALSE(s.IsDefaultColor()) << "writing a colour clears the flag";
  }
  TGPX_StyleLine red;
  red.SetColorStr("ff0000");
  EXPECT_EQ(red.ColorStr(), "FF0000");
  red.SetColor(Rgb(0x12, 0xab, 0x0c) | TGPX_StyleLine::kDefaultColorFlag);
  EXPECT_EQ(red.ColorStr(), "12AB0C") << "the flag does not appear in the text";
}

TEST(LineStyle, OpacityText) {
  testing::DecimalCommaLocale comma;
  TGPX_StyleLine s;
  s.SetOpacityStr("abc");
  EXPECT_EQ(s.Opacity(), 1.0);
  s.SetOpacityStr("-0.25");
  EXPECT_EQ(s.Opacity(), 0.25);
  EXPECT_EQ(s.OpacityStr(), "0.25");
  s.SetOpacityStr("2");
  EXPECT_EQ(s.Opacity(), 2.0);
  s.SetOpacityStr("0,5");  // a comma is not a decimal separator in files
  EXPECT_EQ(s.Opacity(), 1.0);
  s.SetOpacity(-0.5);
  EXPECT_EQ(s.OpacityStr(), "0.5");
}

TEST(BlendColors, RampEndsAndRounding) {
  const TColor red = 255, blue = 16711680;
  EXPECT_EQ(BlendColors(red, blue, 0.5), 8388736u) << "127.5 goes to the even 128";
  EXPECT_EQ(BlendColors(red | 0xFF000000u, blue, 0), red | 0xFF000000u) << "ratio 0 keeps all 32 bits";
  EXPECT_EQ(BlendColors(red, blue | 0x01000000u, 1.5), blue | 0x01000000u);
  EXPECT_EQ(BlendColors(red, blue, std::nan("")), red);
  EXPECT_EQ(BlendColors(red, blue, -1), red);
  EXPECT_EQ(BlendColors(red, blue, 0.25), Rgb(191, 0, 64));
  // Halves of even and odd neighbours: 0.5 * 1 = 0.5 -> 0; 0.5 * 3 = 1.5 -> 2.
  EXPECT_EQ(BlendColors(Rgb(1, 3, 0), 0, 0.5), Rgb(0, 2, 0));
  // Top byte of a blend is 0.
  EXPECT_EQ(BlendColors(0xFF0000FFu, 0xFFFF0000u, 0.5) >> 24, 0u);
}

TEST(BlendColors, SameResultsFromManyThreads) {
  std::vector<TColor> expected(1001);
  for (int i = 0; i <= 1000; ++i) expected[i] = BlendColors(255, 16711680, i / 1000.0);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round)
        for (int i = 0; i <= 1000; ++i)
          if (BlendColors(255, 16711680, i / 1000.0) != expected[i]) ++mismatches[t];
    });
  for (auto& th : threads) th.join();
  for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace sondralis
