// The chart: a round bowl far in the north, where a degree of longitude is
// half as long as one of latitude, so a map that ignored the ground would
// draw it as an upright oval. Checked on the layout (true shape, scale bar,
// where legend, scale bar and north arrow go, labels clear of them) and on
// the pixels of the picture and of a PDF page.
#include "exports/ChartPainter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPdfWriter>
#include <QPolygonF>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <string>

#include "formats/AtomicFile.h"
#include "interpolation/SampleGrid.h"
#include "model/DateTime.h"

namespace sondralis {
namespace {

constexpr double kMetresPerDegree = 6378137.0 * 3.14159265358979323846 / 180;

// A bowl 10 m deep with a radius of 400 m on the ground, at 60° N on a grid
// whose cells span the same number of degrees both ways; its shoreline a
// circle of 420 m.
struct Bowl {
  static constexpr int W = 120, H = 80;
  static constexpr double Lat = 60, Lon = 10;
  TDepthArray Depths{W, H};
  TPixelCoordinates Grid;
  std::vector<TChartLine> Lines;
  TChartContent Content;
  double Degree = 0;  // cell size in degrees

  Bowl() {
    // 1200 m of ground across; the cells are 10 m wide and 20 m tall.
    Degree = 20.0 / kMetresPerDegree;
    const TGridExtent extent{Lon, Lat - H * Degree / 2, Lon + W * Degree, Lat + H * Degree / 2};
    Grid = GridNodes(extent, W, H);
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y) {
        const double r = Radius(Grid.Longitudes[static_cast<std::size_t>(x)], Grid.Latitudes[static_cast<std::size_t>(y)]);
        Depths[x][y] = r < 420 ? 1000 * std::max(0.0, 1 - r * r / (400.0 * 400.0)) : kNoDepth;
      }
    TSilentFeedback feedback;
    Lines = TraceChartContours(Depths, ChartLevels(100, 1000), {}, feedback).Lines;
    Content.Depths = &Depths;
    Content.Grid = &Grid;
    Content.Lines = &Lines;
    Content.Step = 100;
    Content.MaxDepth = 1000;
    TGeoLine shore;
    for (int i = 0; i <= 72; ++i) {
      const double a = i * 3.14159265358979323846 / 36;
      shore.push_back({Centre().x() + 420 * std::cos(a) / (kMetresPerDegree * 0.5),
                       Centre().y() + 420 * std::sin(a) / kMetresPerDegree});
    }
    Content.Shoreline.push_back(shore);
    Content.Title = "bowl.gpx";
    Content.Subtitle = "Soundings of 2024-05-12";
  }
  QPointF Centre() const { return {Lon + W * Degree / 2, Lat}; }
  // Metres from the middle, on the ground.
  double Radius(double lon, double lat) const {
    return std::hypot((lon - Centre().x()) * kMetresPerDegree * std::cos(Lat * 3.14159265358979323846 / 180),
                      (lat - Centre().y()) * kMetresPerDegree);
  }
};

QPolygonF Corners(const TLabelBox& b) {
  const double c = std::cos(b.Angle), s = std::sin(b.Angle);
  QPolygonF q;
  for (const auto& [u, v] : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}})
    q << QPointF(b.Centre.X + c * u * b.Width / 2 - s * v * b.Height / 2, b.Centre.Y + s * u * b.Width / 2 + c * v * b.Height / 2);
  return q;
}

TEST(ChartPainter, MapKeepsItsTrueShapeAndItsFurnitureStaysInTheEmptyCorners) {
  Bowl bowl;
  const QRectF page(0, 0, 1600, 1300);
  const TChartLayout L = LayoutChart(page, bowl.Content);
  // The grid's cells measured on the ground: 10 m across (half a degree's
  // worth of longitude at 60°), 20 m up.
  EXPECT_NEAR(L.MetresPerColumn, 10, 0.05);
  EXPECT_NEAR(L.MetresPerRow, 20, 0.05);
  EXPECT_NEAR(L.Map.width() / L.Map.height(), (Bowl::W * L.MetresPerColumn) / (Bowl::H * L.MetresPerRow), 1e-9);
  EXPECT_TRUE(page.contains(L.Map) && page.contains(L.Header));
  EXPECT_FALSE(L.Header.intersects(L.Map));

  // The 5 m ring is a circle of 283 m on the ground, round on the page.
  for (const TChartLine& line : L.PageLines) {
    if (line.Level != 500) continue;
    QRectF box;
    for (const TChartPoint& p : line.Points) box |= QRectF(p.X, p.Y, 1e-9, 1e-9);
    EXPECT_NEAR(box.width() / box.height(), 1.0, 0.03);
    EXPECT_NEAR(box.width() / L.PixelsPerMetre, 2 * 400 * std::sqrt(0.5), 15);
  }
  // The scale bar: a round distance, its length on the page at the map's scale.
  const double lead = std::pow(10.0, std::floor(std::log10(L.ScaleMetres)));
  EXPECT_TRUE(L.ScaleMetres / lead == 1 || L.ScaleMetres / lead == 2 || L.ScaleMetres / lead == 5) << L.ScaleMetres;
  EXPECT_NEAR(L.Bar.width(), L.ScaleMetres * L.PixelsPerMetre, 1e-9);
  EXPECT_GE(L.ScaleMetres, 1200 * 0.1);
  EXPECT_LE(L.ScaleMetres, 1200 * 0.25);
  EXPECT_TRUE(L.ScaleBox.contains(L.Bar));

  // Legend, scale bar and north arrow inside the map, apart, over no water.
  const QRectF boxes[] = {L.Legend, L.ScaleBox, L.North};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(L.Map.contains(boxes[i]));
    for (int j = 0; j < i; ++j) EXPECT_FALSE(boxes[i].intersects(boxes[j]));
    for (int x = 0; x < Bowl::W; ++x)
      for (int y = 0; y < Bowl::H; ++y)
        if (std::isfinite(bowl.Depths[x][y])) {
          EXPECT_FALSE(boxes[i].contains(L.FromGrid(x, y))) << i;
        }
  }
  EXPECT_GE(L.ScaleBox.top(), L.Map.center().y()) << "the scale bar sits at the bottom";

  // Labels on the lines, clear of legend, scale bar, north arrow and frame.
  ASSERT_GE(L.Labels.size(), 5u);
  for (const TContourLabel& label : L.Labels) {
    const QPolygonF q = Corners(label.Box);
    for (const QRectF& box : boxes) EXPECT_FALSE(q.intersects(QPolygonF(box)));
    EXPECT_TRUE(L.Map.contains(q.boundingRect()));
  }
  EXPECT_EQ(L.LegendDepths, (std::vector<double>{0, 200, 400, 600, 800, 1000}));
}

int Distance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

TEST(ChartPainter, PictureShowsTheDepthColoursTheLegendAndTheLand) {
  Bowl bowl;
  bowl.Content.Shallow = 0x00C0FF;  // orange-ish red: 0x00BBGGRR
  bowl.Content.Deep = 0x802000;
  const QImage image = RenderChart(bowl.Content, 1200);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 1200);
  const TChartLayout L = LayoutChart(QRectF(0, 0, image.width(), image.height()), bowl.Content, 1200 / 80.0);
  // The chart is as tall as the map's shape needs.
  EXPECT_NEAR(L.Map.width(), 1200 - 2 * L.TextSize, 1);
  EXPECT_LE(L.Map.bottom(), image.height());

  // The deepest point, between the labels of the middle, has the deep colour.
  const QPoint deepest = L.FromGrid(Bowl::W / 2 - 0.5, Bowl::H / 2 - 0.5).toPoint();
  const QRgb deep = qRgb(0x00, 0x20, 0x80);
  EXPECT_LE(Distance(image.pixel(deepest), deep), 12);
  // Land in the empty corner of the map that holds nothing.
  int land = 0, corners = 0;
  for (const QPointF corner : {L.Map.topLeft(), L.Map.topRight(), L.Map.bottomLeft(), L.Map.bottomRight()}) {
    const QPoint p = (corner + (L.Map.center() - corner) * 0.02).toPoint();
    ++corners;
    land += Distance(image.pixel(p), qRgb(0xEF, 0xED, 0xE6)) <= 2;
  }
  EXPECT_GE(land, 1);
  EXPECT_EQ(corners, 4);
  // The legend's bar runs from the shallow colour at the top to the deep one.
  bool shallowSeen = false, deepSeen = false;
  for (int y = static_cast<int>(L.Legend.top()); y < L.Legend.bottom(); ++y)
    for (int x = static_cast<int>(L.Legend.left()); x < L.Legend.left() + 2 * L.TextSize; ++x) {
      shallowSeen |= Distance(image.pixel(x, y), qRgb(0xFF, 0xC0, 0x00)) <= 8;
      deepSeen |= Distance(image.pixel(x, y), deep) <= 8;
    }
  EXPECT_TRUE(shallowSeen && deepSeen);
}

TEST(ChartPainter, PaintsOnAPdfPageAndSavesAPngWholeOrNotAtAll) {
  Bowl bowl;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string pdfPath = dir.filePath("chart.pdf").toStdString();
  {
    QPdfWriter pdf(QString::fromStdString(pdfPath));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    QPainter painter(&pdf);
    PaintChart(painter, QRectF(0, 0, pdf.width(), pdf.height()), bowl.Content);
  }
  QFile pdf(QString::fromStdString(pdfPath));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_GT(pdf.size(), 2000);

  const std::string png = dir.filePath("chart.png").toStdString();
  SaveChartPNG(png, bowl.Content, 900);
  const QImage back(QString::fromStdString(png));
  EXPECT_EQ(back.width(), 900);
  const QImage again = RenderChart(bowl.Content, 900);
  ASSERT_EQ(back.size(), again.size());
  int differ = 0;
  for (int y = 0; y < back.height(); ++y)
    for (int x = 0; x < back.width(); ++x) differ += (back.pixel(x, y) & 0xFFFFFF) != (again.pixel(x, y) & 0xFFFFFF);
  // Glyphs may come out of Qt's cache a shade different between two paints.
  EXPECT_LT(differ, back.width() * back.height() / 1000);

  const std::string nowhere = dir.filePath("missing/chart.png").toStdString();
  EXPECT_THROW(SaveChartPNG(nowhere, bowl.Content, 900), EFileError);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(nowhere).parent_path()));

  TChartContent empty;
  EXPECT_THROW(RenderChart(empty, 900), std::invalid_argument);
}

TEST(ChartPainter, TitleNamesTheFilesAndTheDaysOfTheSoundingsAndOutlinesAreSplitFromTracks) {
  TGPX loaded;
  auto add = [&](std::vector<std::tuple<double, double, double, TDateTime>> points) {
    auto* track = new TGPXtrk;
    auto* segment = new TGPXtrkseg;
    for (const auto& [lon, lat, depth, time] : points) {
      TGPXwpt* p = segment->NewPoint();
      p->Longitude = lon;
      p->Latitude = lat;
      p->HBdepth = depth;
      p->DateTime = time;
    }
    track->Add(segment);
    loaded.trk.Add(track);
  };
  const TDateTime may12 = EncodeDate(2024, 5, 12) + 0.75, june3 = EncodeDate(2024, 6, 3) + 0.1;
  add({{8.60, 47.20, 350, may12}, {8.61, 47.21, 420, may12 + 0.01}});
  add({{8.62, 47.20, 0, EncodeDate(2019, 1, 1)}, {8.63, 47.21, 0, 0}, {8.64, 47.20, 0, 0}});  // a shoreline
  add({{8.60, 47.22, 280, june3}, {8.61, 47.22, 300, 0}});
  std::string title, subtitle;
  ChartTitle({"/data/lakes/may.gpx", "june.gpx", "C:shore.kml"}, loaded, title, subtitle);
  EXPECT_EQ(title, "may.gpx, june.gpx, C:shore.kml");
  EXPECT_EQ(subtitle, "Soundings of 2024-05-12 to 2024-06-03") << "the shoreline's date is no sounding's";
  std::vector<TGeoLine> shore, tracks;
  SplitOutlines(loaded, shore, tracks);
  ASSERT_EQ(shore.size(), 1u);
  EXPECT_EQ(shore[0].size(), 3u);
  EXPECT_EQ(shore[0][1].Lon, 8.63);
  EXPECT_EQ(shore[0][1].Lat, 47.21);
  EXPECT_EQ(tracks.size(), 2u);

  TGPX undated;
  ChartTitle({}, undated, title, subtitle);
  EXPECT_EQ(title, "");
  EXPECT_EQ(subtitle, "Soundings without dates");
}

}  // namespace
}  // namespace sondralis
