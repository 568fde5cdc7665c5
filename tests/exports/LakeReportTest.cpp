// The lake report on a paraboloid bowl, whose surface, volume and
// hypsographic curve are known in closed form, on a grid like a run's; the
// files it writes; and its plot.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "exports/HypsographicPlot.h"
#include "exports/LakeReport.h"
#include "formats/FormatsTestSupport.h"
#include "support/AnalyticLake.h"

namespace sondralis {
namespace {

using testing::AnalyticLake;
using testing::TempDir;

constexpr double kRadius = 500, kDeepest = 2000;  // metres, centimetres

// The bowl d = D·(1 − r²/R²) on the default map size, with an island of
// 40 m radius (left out of the coverage and the shoreline) and a band of
// the lake near the shore left unsurveyed on its east side.
struct Bowl {
  AnalyticLake Lake{815, 649, 1.8, [](double e, double n) -> double {
                      const double r = std::hypot(e, n);
                      if (r >= kRadius || std::hypot(e + 200, n - 100) < 40 || (e > 0 && r > 0.9 * kRadius)) return NAN;
                      return kDeepest * (1 - r * r / (kRadius * kRadius));
                    }};
  std::vector<TGeoLine> Shoreline{AnalyticLake::Circle(kRadius, 1440), AnalyticLake::Circle(40, 360, -200, 100)};
};

// The area two circles share: radius A about the origin, radius B at
// distance D from it.
double Lens(double A, double B, double D) {
  if (D >= A + B) return 0;
  if (D <= std::fabs(A - B)) return std::numbers::pi * std::min(A, B) * std::min(A, B);
  return A * A * std::acos((D * D + A * A - B * B) / (2 * D * A)) +
         B * B * std::acos((D * D + B * B - A * A) / (2 * D * B)) -
         std::sqrt((-D + A + B) * (D + A - B) * (D - A + B) * (D + A + B)) / 2;
}

// The true area of surveyed bottom deeper than d: the disc where the bowl
// is that deep, less what the island and the unsurveyed half annulus take
// of it.
double TrueAreaDeeper(double d) {
  const double r = kRadius * std::sqrt(std::max(0.0, 1 - d / kDeepest));  // where the bottom is d deep
  const double band = r > 0.9 * kRadius ? std::numbers::pi / 2 * (r * r - 0.81 * kRadius * kRadius) : 0;
  return std::numbers::pi * r * r - Lens(r, 40, std::hypot(200, 100)) - band;
}

TEST(LakeReport, AreaVolumeAndCurveOfABowlAsTrue) {
  const Bowl bowl;
  TSilentFeedback feedback;
  TExportSamples samples;
  samples.Coord.Add({8.6f, 47.2f});
  samples.Depth.Add(0);
  samples.Coord.Add({8.64f, 47.216f});
  samples.Depth.Add(1990);
  samples.ShoreCount = 1;
  const TLakeReport r = ComputeLakeReport(bowl.Lake.Grid, {}, samples, bowl.Shoreline, 100, feedback);

  const double lake = std::numbers::pi * (kRadius * kRadius - 40 * 40);
  EXPECT_NEAR(r.LakeArea, lake, 0.001 * lake);
  // The report promises 2 %; cell by cell on the ellipsoid it does far
  // better, and is held to 0.1 %, which a spherical earth would already miss.
  const double surveyed = TrueAreaDeeper(0);
  EXPECT_NEAR(r.SurveyedArea, surveyed, 0.001 * surveyed);
  EXPECT_NEAR(r.SurveyedShare, surveyed / lake, 0.001);
  // Volume below 0 of a paraboloid: πR²D/2, less the parts cut away.
  auto trueVolume = [](double d) {
    // ∫ from d to D of the area deeper than each depth.
    double v = 0;
    const int steps = 20000;
    for (int i = 0; i < steps; ++i) {
      const double x = d + (kDeepest - d) * (i + 0.5) / steps;
      v += TrueAreaDeeper(x) * (kDeepest - d) / steps / 100;
    }
    return v;
  };
  const double volume = trueVolume(0);
  EXPECT_NEAR(r.Volume, volume, 0.001 * volume);
  EXPECT_NEAR(r.MeanDepth, 100 * volume / surveyed, 0.002 * 100 * volume / surveyed);
  EXPECT_NEAR(r.GreatestDepth, kDeepest, 5);
  EXPECT_EQ(r.GreatestSounding, 1990);
  EXPECT_EQ(r.Soundings, 1);
  EXPECT_TRUE(std::isnan(r.MeanDistance));

  // Every level: 0, 1 m, ... 19 m, within 0.1 % of the whole.
  ASSERT_EQ(r.Levels.size(), 20u);
  double bands = 0;
  for (const TDepthLevel& level : r.Levels) {
    EXPECT_NEAR(level.AreaDeeper, TrueAreaDeeper(level.Depth), 0.001 * surveyed) << level.Depth;
    EXPECT_NEAR(level.VolumeBelow, trueVolume(level.Depth), 0.001 * volume) << level.Depth;
    bands += level.BandArea;
  }
  EXPECT_NEAR(bands, r.SurveyedArea, 1e-6 * r.SurveyedArea);
  EXPECT_NEAR(r.Levels[3].BandArea, r.Levels[3].AreaDeeper - r.Levels[4].AreaDeeper, 1e-6 * surveyed);

  EXPECT_THROW(ComputeLakeReport(bowl.Lake.Grid, {}, samples, bowl.Shoreline, 0, feedback), std::invalid_argument);
}

TEST(LakeReport, FilesCarryTheFiguresAndSayWhatIsUnknown) {
  AnalyticLake lake(60, 40, 3, [](double e, double n) -> double { return std::hypot(e, n) < 50 ? 250 + e : NAN; });
  TDistanceArray distances(60, 40);
  distances.Fill(4.0f);
  TSilentFeedback feedback;
  // No shoreline and no soundings.
  const TLakeReport r = ComputeLakeReport(lake.Grid, distances, TExportSamples{}, {}, 50, feedback);
  EXPECT_NEAR(r.MeanDistance, 4.0, 1e-9);
  TempDir dir("report");
  WriteLakeReport((dir / "report.csv").string(), (dir / "report.json").string(), r);

  const std::string csv = testing::ReadFileBytes(dir / "report.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n', csv.find('\n') + 1) + 1), "quantity,value,unit\nlake_area,,m2\n");
  EXPECT_NE(csv.find("\nvolume," + std::to_string(static_cast<long long>(std::llround(r.Volume))) + ",m3\n"),
            std::string::npos);
  const std::size_t table = csv.find("\n\ndepth_m,band_area_m2,area_deeper_m2,volume_below_m3\n");
  ASSERT_NE(table, std::string::npos);
  std::istringstream rows(csv.substr(table + 2));
  std::string line;
  std::getline(rows, line);
  std::size_t count = 0;
  while (std::getline(rows, line)) {
    const TDepthLevel& level = r.Levels[count++];
    EXPECT_EQ(line.substr(0, line.find(',')), MetresText(level.Depth, 2));
  }
  EXPECT_EQ(count, r.Levels.size());

  const std::string json = testing::ReadFileBytes(dir / "report.json");
  const QJsonObject root = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<int>(json.size()))).object();
  EXPECT_TRUE(root["lake_area_m2"].isNull());
  EXPECT_TRUE(root["greatest_sounding_m"].isNull());
  EXPECT_NEAR(root["surveyed_area_m2"].toDouble(), r.SurveyedArea, 0.05);
  EXPECT_NEAR(root["volume_m3"].toDouble(), r.Volume, 0.5);
  EXPECT_NEAR(root["mean_distance_to_sounding_m"].toDouble(), 4.0, 0.05);
  const QJsonArray levels = root["levels"].toArray();
  ASSERT_EQ(static_cast<std::size_t>(levels.size()), r.Levels.size());
  for (qsizetype i = 0; i < levels.size(); ++i) {
    const QJsonObject level = levels[i].toObject();
    EXPECT_NEAR(level["depth_m"].toDouble(), r.Levels[static_cast<std::size_t>(i)].Depth / 100.0, 1e-9);
    EXPECT_NEAR(level["volume_below_m3"].toDouble(), r.Levels[static_cast<std::size_t>(i)].VolumeBelow, 0.5);
  }
}

TEST(HypsographicPlot, CurvePassesThroughEveryLevelsShare) {
  const Bowl bowl;
  TSilentFeedback feedback;
  const TLakeReport r = ComputeLakeReport(bowl.Lake.Grid, {}, TExportSamples{}, bowl.Shoreline, 100, feedback);
  QImage image(640, 480, QImage::Format_RGB32);
  image.fill(Qt::white);
  const QRectF frame(20, 10, 600, 450);
  {
    QPainter painter(&image);
    PaintHypsographicCurve(painter, frame, r);
  }
  const QRectF axes = HypsographicAxes(frame);
  ASSERT_TRUE(frame.contains(axes));
  // The area curve is the plot's blue: on each level's row, its pixels lie
  // at the level's share of the surveyed area.
  for (std::size_t k = 1; k + 1 < r.Levels.size(); ++k) {
    const double share = r.Levels[k].AreaDeeper / r.SurveyedArea;
    const int y = static_cast<int>(std::lround(axes.top() + axes.height() * r.Levels[k].Depth / r.Levels.back().Depth));
    const double x = axes.left() + axes.width() * share;
    int nearest = 10000;
    for (int px = 0; px < image.width(); ++px) {
      const QColor c = image.pixelColor(px, y);
      if (c.blue() > 120 && c.red() < 80 && c.green() < 110) nearest = std::min(nearest, static_cast<int>(std::fabs(px - x)));
    }
    EXPECT_LE(nearest, 2) << "level " << r.Levels[k].Depth;
  }
  // Nothing outside the frame.
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (!frame.adjusted(-1, -1, 1, 1).contains(QPointF(x, y))) {
        ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
      }
}

}  // namespace
}  // namespace sondralis
