// The raster canvas: exact pixels for rectangles, lines, polygons and
// copies, colour conversion, and BMP output that never replaces a good file
// with a broken one.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/AtomicFile.h"
#include "view/Canvas.h"

namespace sondralis {
namespace {

constexpr TColor kWhite = 0xFFFFFF, kRed = 255, kBlue = 0xFF0000, kGreen = 0x00FF00;

int CountColor(const TCanvas& c, TColor color) {
  int n = 0;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x) n += c.Pixel(x, y) == color;
  return n;
}

TEST(CanvasTest, NewCanvasIsWhiteAndPixelsKeepTheirTColor) {
  TCanvas c(4, 3);
  EXPECT_EQ(CountColor(c, kWhite), 12);
  c.SetPixel(1, 2, 0x123456);
  EXPECT_EQ(c.Pixel(1, 2), 0x123456u);
  // TColor has red in the low byte; QImage has it in bits 16..23.
  EXPECT_EQ(c.Image().pixel(1, 2), 0xFF563412u);
  EXPECT_EQ(c.Pixel(-1, 0), TCanvas::kNoPixel);
  EXPECT_EQ(c.Pixel(4, 0), TCanvas::kNoPixel);
  c.SetPixel(4, 0, kRed);  // outside: ignored
  c.SetPixel(0, -1, kRed);
  EXPECT_EQ(CountColor(c, kRed), 0);
}

TEST(CanvasTest, SizeChangesKeepTheOverlapAndSurviveAZeroSide) {
  TCanvas c(5, 5);
  c.SetPixel(2, 2, kRed);
  c.SetSize(3, 8);
  EXPECT_EQ(c.Pixel(2, 2), kRed);
  EXPECT_EQ(c.Pixel(2, 7), kWhite);
  // One side 0: no pixels, but the other side is remembered.
  TCanvas d;
  d.SetWidth(7);
  EXPECT_EQ(d.Width(), 7);
  EXPECT_EQ(d.Pixel(0, 0), TCanvas::kNoPixel);
  d.SetHeight(2);
  EXPECT_EQ(d.Width(), 7);
  EXPECT_EQ(d.Height(), 2);
  EXPECT_EQ(d.Pixel(6, 1), kWhite);
  d.SetSize(-3, -3);
  EXPECT_EQ(d.Width(), 0);
  // Drawing on an empty canvas does nothing.
  d.SetPenWidth(9);
  d.MoveTo(0, 0);
  d.LineTo(50, 50);
  d.SetBrushColor(kRed);
  d.FillRect({0, 0, 5, 5});
  d.Flush();
}

TEST(CanvasTest, FillRectExcludesRightAndBottomAndClips) {
  TCanvas c(10, 10);
  c.SetBrushColor(kRed);
  c.FillRect({2, 3, 5, 4});
  EXPECT_EQ(CountColor(c, kRed), 3);
  EXPECT_EQ(c.Pixel(2, 3), kRed);
  EXPECT_EQ(c.Pixel(4, 3), kRed);
  EXPECT_EQ(c.Pixel(5, 3), kWhite);
  EXPECT_EQ(c.Pixel(2, 4), kWhite);
  c.SetBrushColor(kBlue);
  c.FillRect({-5, -5, 100, 1});  // clipped to row 0
  EXPECT_EQ(CountColor(c, kBlue), 10);
  c.FillRect({6, 6, 6, 9});  // no width
  c.FillRect({8, 8, 7, 9});  // reversed: empty
  EXPECT_EQ(CountColor(c, kBlue), 10);
}

TEST(CanvasTest, FrameRectPaintsTheOuterRingOfTheArea) {
  TCanvas c(6, 5);
  c.SetBrushColor(kWhite);
  c.SetBrushColor(kGreen);
  c.FrameRect(c.ClientRect());
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(c.Pixel(x, 0), kGreen);
    EXPECT_EQ(c.Pixel(x, 4), kGreen);
  }
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(c.Pixel(0, y), kGreen);
    EXPECT_EQ(c.Pixel(5, y), kGreen);
  }
  EXPECT_EQ(CountColor(c, kWhite), 4 * 3);
}

TEST(CanvasTest, ThinPolylinePaintsEveryJointOnceAndNotItsLastPoint) {
  TCanvas c(10, 10);
  c.SetPenColor(kRed);
  c.SetPenWidth(1);
  const TPoint square[] = {{1, 1}, {1, 5}, {5, 5}, {5, 1}, {1, 1}};
  c.Polyline(square);
  EXPECT_EQ(CountColor(c, kRed), 16);  // the 5 × 5 outline
  EXPECT_EQ(c.PenPos(), (TPoint{1, 1}));
  TCanvas d(10, 10);
  d.SetPenColor(kRed);
  d.MoveTo(2, 2);
  d.LineTo(7, 2);
  EXPECT_EQ(d.Pixel(6, 2), kRed);
  EXPECT_EQ(d.Pixel(7, 2), kWhite);  // line-to stops one pixel short
  // A pen width of 0 paints like 1.
  d.SetPenWidth(0);
  d.LineTo(7, 7);
  EXPECT_EQ(d.Pixel(7, 6), kRed);
}

TEST(CanvasTest, WideLinesAreRoundAndKeepTheirDrawingOrder) {
  TCanvas c(60, 60);
  c.SetPenWidth(9);
  c.SetPenColor(kRed);
  c.MoveTo(10, 30);
  c.LineTo(50, 30);
  // A second pen colour over the first: it must end up on top.
  c.SetPenColor(kBlue);
  c.MoveTo(30, 10);
  c.LineTo(30, 50);
  EXPECT_EQ(c.Pixel(30, 30), kBlue);
  EXPECT_EQ(c.Pixel(20, 30), kRed);
  EXPECT_EQ(c.Pixel(6, 30), kRed);   // the cap reaches 4 pixels past the end
  EXPECT_EQ(c.Pixel(5, 30), kWhite);
  EXPECT_EQ(c.Pixel(6, 26), kWhite);  // round, not square
  // A thin line drawn afterwards lies over the wide ones.
  c.SetPenWidth(1);
  c.SetPenColor(kGreen);
  c.MoveTo(0, 30);
  c.LineTo(59, 30);
  EXPECT_EQ(c.Pixel(30, 30), kGreen);
  EXPECT_EQ(c.Pixel(20, 31), kRed);
}

TEST(CanvasTest, WideLinesFarOutsideTheRasterCostNothingAndPaintNothing) {
  TCanvas c(20, 20);
  c.SetPenWidth(30);
  c.SetPenColor(kRed);
  c.MoveTo(-1000000000, -900000000);
  c.LineTo(1000000000, -800000000);
  c.Flush();
  EXPECT_EQ(CountColor(c, kRed), 0);
  // Crossing the raster from far away paints the crossing part.
  c.MoveTo(-1000000000, 10);
  c.LineTo(1000000000, 10);
  EXPECT_EQ(CountColor(c, kRed), 400);
}

TEST(CanvasTest, PolygonFillsInsideWithTheBrushAndOutlinesWithThePen) {
  TCanvas c(20, 20);
  c.SetBrushColor(kBlue);
  c.SetPenColor(kRed);
  c.SetPenWidth(1);
  const TPoint square[] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
  c.Polygon(square);
  EXPECT_EQ(CountColor(c, kRed), 40);  // the closed 11 × 11 outline
  EXPECT_EQ(CountColor(c, kBlue), 81);  // the 9 × 9 inside
  EXPECT_EQ(c.Pixel(7, 7), kBlue);
  EXPECT_EQ(c.Pixel(12, 12), kRed);
  EXPECT_EQ(c.Pixel(13, 7), kWhite);
}

TEST(CanvasTest, PolygonWithHugeCoordinatesFillsTheRasterPart) {
  TCanvas c(30, 30);
  c.SetBrushColor(kBlue);
  c.SetPenColor(kRed);
  // A triangle whose inside covers the whole raster, with vertices far away.
  const TPoint triangle[] = {{-400000000, -400000000}, {400000000, -400000000}, {0, 400000000}};
  c.Polygon(triangle);
  EXPECT_EQ(CountColor(c, kBlue), 900);
  // A ring that closes itself (first point repeated) is fine too.
  TCanvas d(10, 10);
  d.SetBrushColor(kBlue);
  d.SetPenColor(kRed);
  const TPoint ring[] = {{1, 1}, {8, 1}, {8, 8}, {1, 1}};
  d.Polygon(ring);
  EXPECT_GT(CountColor(d, kBlue), 0);
  EXPECT_EQ(d.Pixel(8, 8), kRed);
}

TEST(CanvasTest, CopiesAreExactClippedAndMayScale) {
  TCanvas src(4, 4);
  src.SetPixel(0, 0, kRed);
  src.SetPixel(3, 3, kBlue);
  TCanvas dst(6, 6);
  dst.Draw(2, 2, src);
  EXPECT_EQ(dst.Pixel(2, 2), kRed);
  EXPECT_EQ(dst.Pixel(5, 5), kBlue);
  TCanvas clipped(6, 6);
  clipped.Draw(-3, -3, src);  // only src (3, 3) lands, at (0, 0)
  EXPECT_EQ(clipped.Pixel(0, 0), kBlue);
  EXPECT_EQ(CountColor(clipped, kWhite), 35);
  // CopyRect of a part into a twice larger rectangle doubles each pixel.
  TCanvas big(8, 8);
  big.CopyRect({0, 0, 8, 8}, src, src.ClientRect());
  EXPECT_EQ(big.Pixel(1, 1), kRed);
  EXPECT_EQ(big.Pixel(2, 2), kWhite);
  EXPECT_EQ(big.Pixel(6, 7), kBlue);
  // Copying within one canvas reads the picture as it was.
  TCanvas self(4, 1);
  self.SetPixel(0, 0, kRed);
  self.CopyRect({1, 0, 4, 1}, self, {0, 0, 3, 1});
  EXPECT_EQ(self.Pixel(1, 0), kRed);
  EXPECT_EQ(self.Pixel(2, 0), kWhite);
}

TEST(CanvasTest, DrawTransparentSkipsTheTransparentColour) {
  TCanvas below(3, 1);
  below.SetBrushColor(kGreen);
  below.FillRect(below.ClientRect());
  TCanvas over(3, 1);  // white, with one red pixel
  over.SetPixel(1, 0, kRed);
  below.DrawTransparent(0, 0, over, kWhite);
  EXPECT_EQ(below.Pixel(0, 0), kGreen);
  EXPECT_EQ(below.Pixel(1, 0), kRed);
  EXPECT_EQ(below.Pixel(2, 0), kGreen);
}

TEST(CanvasTest, RowsOf24BitPixelsAreBlueGreenRed) {
  TCanvas c(2, 1);
  c.SetPixel(0, 0, 0x030201);  // red 1, green 2, blue 3
  std::uint8_t row[6];
  c.ReadRow24(0, row);
  EXPECT_EQ(row[0], 3);
  EXPECT_EQ(row[1], 2);
  EXPECT_EQ(row[2], 1);
  const std::uint8_t written[6] = {10, 20, 30, 40, 50, 60};
  c.WriteRow24(0, written);
  EXPECT_EQ(c.Pixel(0, 0), TColor{30 | (20 << 8) | (10 << 16)});
  EXPECT_EQ(c.Pixel(1, 0), TColor{60 | (50 << 8) | (40 << 16)});
}

class CanvasFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("sondralis-canvas-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(CanvasFileTest, BmpRoundTripsThroughAnOrdinaryReader) {
  // An odd width exercises the row padding.
  TCanvas c(5, 3);
  c.SetPixel(0, 0, kRed);
  c.SetPixel(4, 2, kBlue);
  c.SetPixel(2, 1, 0x336699);
  const std::string path = (dir_ / "picture.bmp").string();
  c.SaveToBMP(path);
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 3u * 16u);
  QImage read(QString::fromStdString(path));
  ASSERT_FALSE(read.isNull());
  ASSERT_EQ(read.width(), 5);
  ASSERT_EQ(read.height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(TCanvas::FromRGB32(read.pixel(x, y)), c.Pixel(x, y)) << x << "," << y;
  // The file holds 24 bits per pixel.
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 24);
}

TEST_F(CanvasFileTest, FailedSaveLeavesTheOldFileAndNoLitter) {
  const std::string path = (dir_ / "keep.bmp").string();
  WriteFileAtomically(path, "good");
  TCanvas empty;
  EXPECT_THROW(empty.SaveToBMP(path), EFileError);
  std::ifstream in(path);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "good");
  TCanvas c(2, 2);
  EXPECT_THROW(c.SaveToBMP((dir_ / "missing" / "x.bmp").string()), EFileError);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace sondralis
