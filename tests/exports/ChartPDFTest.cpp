// The printed chart: its raster against a plane, whose bilinear
// interpolation is the plane itself; the latitude and longitude ticks read
// back from their labels; and the PDF on both papers, with its raster at
// the paper's resolution rather than the grid's.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <regex>
#include <string>

#include "contours/ChartTracer.h"
#include "exports/ChartPDF.h"
#include "exports/ChartRaster.h"
#include "exports/Hillshade.h"
#include "exports/SoundingDistance.h"
#include "formats/AtomicFile.h"
#include "formats/FormatsTestSupport.h"
#include "interpolation/SampleGrid.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;
using testing::TempDir;

int Channel(QRgb c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

TEST(ChartRaster, ColoursThePlaneBetweenTheCellsAndHatchesTheShallowsOnly) {
  constexpr int W = 30, H = 20, Width = 111, Height = 74;  // 3.7 pixels a cell
  const auto plane = [](double u, double v) { return 100 + 37 * u + 11 * v; };
  TDepthArray depths(W, H);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      const bool hole = (x >= 10 && x <= 12 && y >= 5 && y <= 7) || (x < 2 && y < 4);
      depths[x][static_cast<std::size_t>(y)] = hole ? kNoDepth : plane(x, y);
    }
  TRasterStyle style;
  style.MaxDepth = 1500;
  TPixelArray<float> half(W, H);
  half.Fill(0.5f);
  const QImage plain = RenderDepthRaster(depths, Width, Height, style);
  style.Light = &half;
  const QImage shaded = RenderDepthRaster(depths, Width, Height, style);
  style.Light = nullptr;
  style.SafetyDepth = 800;
  style.HatchSpacing = 5;
  style.HatchWidth = 2;
  const QImage hatched = RenderDepthRaster(depths, Width, Height, style);
  ASSERT_EQ(plain.size(), QSize(Width, Height));

  int checked = 0, hatches = 0;
  for (int py = 0; py < Height; ++py)
    for (int px = 0; px < Width; ++px) {
      const double at = (px + 0.5) * W / Width, down = (py + 0.5) * H / Height;
      const bool covered = std::isfinite(depths[static_cast<int>(at)][static_cast<std::size_t>(down)]);
      ASSERT_EQ(qAlpha(plain.pixel(px, py)), covered ? 255 : 0) << px << "," << py;
      if (!covered) continue;
      const double u = std::clamp(at - 0.5, 0.0, W - 1.0), v = std::clamp(down - 0.5, 0.0, H - 1.0);
      const int x0 = std::min(static_cast<int>(u), W - 2), y0 = std::min(static_cast<int>(v), H - 2);
      bool around = true;
      for (const int x : {x0, x0 + 1})
        for (const int y : {y0, y0 + 1}) around = around && std::isfinite(depths[x][static_cast<std::size_t>(y)]);
      if (!around) continue;
      ++checked;
      const double depth = plane(u, v);
      const TColor expected = BlendColors(style.Shallow, style.Deep, depth / style.MaxDepth);
      const QRgb got = plain.pixel(px, py), dark = shaded.pixel(px, py), marked = hatched.pixel(px, py);
      for (const auto& [shift, want] : {std::pair{16, expected & 0xFF}, {8, (expected >> 8) & 0xFF}, {0, expected >> 16}}) {
        ASSERT_NEAR(Channel(got, shift), static_cast<int>(want), 1) << px << "," << py << " depth " << depth;
        ASSERT_NEAR(Channel(dark, shift), Channel(got, shift) / 2.0, 1) << "a light of 0.5 halves the colour";
      }
      const bool onHatch = (px + py) % 5 < 2;
      const bool magenta = marked == qRgb(255, 0, 255);
      if (depth < 799 && onHatch) {
        ASSERT_TRUE(magenta) << px << "," << py;
      }
      if (depth > 801 || !onHatch) {
        ASSERT_FALSE(magenta) << px << "," << py;
      }
      hatches += magenta;
    }
  EXPECT_GT(checked, Width * Height / 2);
  EXPECT_GT(hatches, 100);
  EXPECT_THROW(RenderDepthRaster(TDepthArray(), 10, 10, style), std::invalid_argument);
}

// A tick's label read back: degrees, minutes and seconds of arc and the
// hemisphere.
double Parse(const std::string& Label) {
  std::smatch m;
  EXPECT_TRUE(std::regex_match(Label, m, std::regex("(\\d+)°(?:(\\d\\d)′(?:(\\d\\d)″)?)?([NSEW]?)"))) << Label;
  const double value = std::stod(m[1]) + (m[2].matched ? std::stod(m[2]) / 60 : 0) + (m[3].matched ? std::stod(m[3]) / 3600 : 0);
  return m[4] == "S" || m[4] == "W" ? -value : value;
}

TEST(Graticule, TicksAreRoundEvenlySpacedWithinTheRangeAndReadBack) {
  const std::vector<double> steps = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 18000, 36000};
  std::mt19937_64 rng(1347);
  std::uniform_real_distribution<double> start(-80, 80), span(0.0003, 4);
  std::uniform_int_distribution<int> most(2, 10);
  for (int trial = 0; trial < 300; ++trial) {
    const double from = start(rng), to = from + span(rng);
    const int max = most(rng);
    const bool latitude = trial % 2;
    const std::vector<TGraticuleTick> ticks = GraticuleTicks(from, to, max, latitude);
    ASSERT_LE(ticks.size(), static_cast<std::size_t>(max));
    for (const TGraticuleTick& t : ticks) {
      ASSERT_GE(t.Degrees, from - 1e-12);
      ASSERT_LE(t.Degrees, to + 1e-12);
      ASSERT_NEAR(Parse(t.Label), t.Degrees, 1e-9) << t.Label;
      ASSERT_NE(t.Label.find_first_of(latitude ? "EW" : "NS"), t.Label.size() - 1) << t.Label;
    }
    if (ticks.size() < 2) continue;
    const double step = std::round((ticks[1].Degrees - ticks[0].Degrees) * 3600);
    ASSERT_NE(std::find(steps.begin(), steps.end(), step), steps.end()) << step;
    for (std::size_t i = 1; i < ticks.size(); ++i)
      ASSERT_NEAR((ticks[i].Degrees - ticks[i - 1].Degrees) * 3600, step, 1e-6);
    // The next rounder step down would have given too many.
    const auto finer = std::find(steps.begin(), steps.end(), step);
    if (finer != steps.begin()) {
      const double s = *(finer - 1) / 3600;
      EXPECT_GT(std::floor(to / s + 1e-9) - std::ceil(from / s - 1e-9) + 1, max) << from << " to " << to;
    }
  }
  EXPECT_EQ(GraticuleTicks(47.19, 47.26, 6, true).front().Label, "47°12′N");
  EXPECT_EQ(GraticuleTicks(8.640, 8.650, 6, false).front().Label, "8°38′30″E");
  EXPECT_EQ(GraticuleTicks(-0.6, 0.2, 3, true).back().Label, "0°00′");
  EXPECT_EQ(GraticuleTicks(-0.6, 0.2, 3, true).front().Label, "0°30′S");
  EXPECT_TRUE(GraticuleTicks(1, 1, 5, true).empty());
}

// A bowl 12 m deep, 400 m across, as a run leaves it.
struct PrintedBowl {
  AnalyticLake Lake{160, 120, 5, [](double e, double n) -> double {
                      const double r = std::hypot(e, n);
                      return r < 400 ? 1200 * (1 - r * r / (400.0 * 400.0)) : NAN;
                    }};
  TPixelCoordinates Nodes = GridNodes(Lake.Grid.Extent, 160, 120);
  std::vector<TChartLine> Lines, Safety;
  TPixelArray<float> Light;
  TLakeReport Report;
  TChartSheet Sheet;

  PrintedBowl() {
    TSilentFeedback feedback;
    Lines = TraceChartContours(Lake.Grid.Depth, ChartLevels(100, 1200), {}, feedback).Lines;
    Safety = TraceChartContours(Lake.Grid.Depth, {300}, {}, feedback).Lines;
    Light = ReliefLight(Lake.Grid, kDefaultExaggeration, feedback);
    const std::vector<TGeoLine> shore = {AnalyticLake::Circle(400)};
    Report = ComputeLakeReport(Lake.Grid, TDistanceArray(), TExportSamples(), shore, 100, feedback);
    TChartContent& chart = Sheet.Chart;
    chart.Depths = &Lake.Grid.Depth;
    chart.Grid = &Nodes;
    chart.Lines = &Lines;
    chart.MaxDepth = 1200;
    chart.Shoreline = shore;
    chart.Title = "bowl.gpx";
    chart.SafetyLines = &Safety;
    Sheet.Light = &Light;
    Sheet.Exaggeration = kDefaultExaggeration;
    Sheet.SafetyDepth = 300;
    Sheet.Report = &Report;
  }
};

TEST(ChartPDF, PrintsOnA4AndA3WithTheRasterAtThePapersResolution) {
  const PrintedBowl bowl;
  TempDir dir("chart-pdf");
  TSilentFeedback feedback;
  for (const auto& [paper, box, pixels] : {std::tuple{TPaper::A4, "[0 0 842.000000 595.000000]", 3508},
                                           std::tuple{TPaper::A3, "[0 0 1191.000000 842.000000]", 4961}}) {
    const std::string path = (dir / (std::string(PaperName(paper)) + ".pdf")).string();
    WriteChartPDF(path, bowl.Sheet, paper, feedback);
    const std::string pdf = testing::ReadFileBytes(path);
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find(std::string("/MediaBox ") + box), std::string::npos) << PaperName(paper);
    // One raster, the depth colours: a map of 160 cells across gets more
    // than ten printed pixels a cell, about half the paper's width at 300 dpi.
    std::smatch width;
    ASSERT_TRUE(std::regex_search(pdf, width, std::regex("/Subtype /Image[^>]*?/Width (\\d+)")));
    EXPECT_GT(std::stoi(width[1]), pixels / 3) << PaperName(paper);
    EXPECT_LT(std::stoi(width[1]), pixels) << PaperName(paper);
  }

  // Nothing is left behind when the page cannot be written or the export
  // is cancelled.
  EXPECT_THROW(WriteChartPDF((dir / "missing" / "chart.pdf").string(), bowl.Sheet, TPaper::A4, feedback), EFileError);
  TSilentFeedback cancelled;
  cancelled.Cancel();
  EXPECT_THROW(WriteChartPDF((dir / "cancelled.pdf").string(), bowl.Sheet, TPaper::A4, cancelled), TCanceled);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_FALSE(std::filesystem::exists(dir / "cancelled.pdf"));
  TChartSheet empty;
  EXPECT_THROW(WriteChartPDF((dir / "empty.pdf").string(), empty, TPaper::A4, feedback), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.pdf"));
}

}  // namespace
}  // namespace sondralis
