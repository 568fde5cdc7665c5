#include "exports/ChartTiles.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include "exports/GdalModule.h"
#include "formats/AtomicFile.h"

namespace sondralis {

namespace {

// The spherical web mercator of the tile servers.
constexpr double kEarth = 6378137.0;
constexpr double kHalfWorld = std::numbers::pi * kEarth;
constexpr int kTile = 256;
constexpr double kMaxPixels = 64.0 * 1024 * 1024;

double MercatorX(double Lon) { return kEarth * Lon * std::numbers::pi / 180; }
double MercatorY(double Lat) { return kEarth * std::asinh(std::tan(Lat * std::numbers::pi / 180)); }
double LatitudeOf(double Y) { return std::atan(std::sinh(Y / kEarth)) * 180 / std::numbers::pi; }
// Metres per pixel at the equator.
double Resolution(int Zoom) { return 2 * kHalfWorld / (kTile * std::ldexp(1.0, Zoom)); }

// The tiles of a zoom level that the extent touches.
struct TTileRange {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  double Columns() const { return (X1 - X0 + 1.0) * kTile; }
  double Rows() const { return (Y1 - Y0 + 1.0) * kTile; }
};

TTileRange TilesOf(const TGridExtent& Extent, int Zoom) {
  const double span = kTile * Resolution(Zoom);
  const int last = (1 << Zoom) - 1;
  auto tile = [&](double offset) { return std::clamp(static_cast<int>(std::floor(offset / span)), 0, last); };
  return {tile(MercatorX(Extent.MinLon) + kHalfWorld), tile(kHalfWorld - MercatorY(Extent.MaxLat)),
          tile(MercatorX(Extent.MaxLon) + kHalfWorld), tile(kHalfWorld - MercatorY(Extent.MinLat))};
}

QColor ToQColor(TColor Color, double Alpha = 1) {
  QColor c(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
  c.setAlphaF(static_cast<float>(Alpha));
  return c;
}

// Draws the chart at one zoom level over the tiles of Range.
class TTilePainter {
 public:
  TTilePainter(const TExportGrid& Grid, const TTileRange& Range, int Zoom)
      : fGrid(Grid), fResolution(Resolution(Zoom)) {
    fX0 = -kHalfWorld + Range.X0 * kTile * fResolution;
    fY0 = kHalfWorld - Range.Y0 * kTile * fResolution;
  }

  QPointF Project(double Lon, double Lat) const {
    return {(MercatorX(Lon) - fX0) / fResolution, (fY0 - MercatorY(Lat)) / fResolution};
  }

  // Each pixel takes the colour of the grid cell under its centre, where
  // that cell is covered; the rest stays transparent.
  void PaintPicture(QImage& Image, const TCanvas& Picture, TFeedback& Feedback) const {
    const int width = Image.width(), height = Image.height();
    std::vector<int> column(static_cast<std::size_t>(width));
    for (int c = 0; c < width; ++c) {
      const double lon = (fX0 + (c + 0.5) * fResolution) / kEarth * 180 / std::numbers::pi;
      column[static_cast<std::size_t>(c)] = static_cast<int>(std::floor(fGrid.ColumnOf(lon) + 0.5));
    }
    for (int r = 0; r < height; ++r) {
      if (r % 256 == 0 && Feedback.Canceled()) throw TCanceled{};
      auto* out = reinterpret_cast<QRgb*>(Image.scanLine(r));
      const int row = static_cast<int>(std::floor(fGrid.RowOf(LatitudeOf(fY0 - (r + 0.5) * fResolution)) + 0.5));
      if (row < 0 || row >= fGrid.Rows()) continue;
      const std::uint32_t* source = Picture.ScanLine(row);
      for (int c = 0; c < width; ++c) {
        const int x = column[static_cast<std::size_t>(c)];
        if (x >= 0 && x < fGrid.Columns() && fGrid.Covered(x, row)) out[c] = source[x] | 0xFF000000u;
      }
    }
  }

  void PaintLine(QPainter& Painter, const TGeoLine& Line, bool Closed) const {
    if (Line.size() < 2) return;
    QPainterPath path(Project(Line.front().Lon, Line.front().Lat));
    for (std::size_t i = 1; i < Line.size(); ++i) path.lineTo(Project(Line[i].Lon, Line[i].Lat));
    if (Closed) path.closeSubpath();
    Painter.drawPath(path);
  }

  void PaintTracks(QPainter& Painter, const TGPX& Doc) const {
    for (const TGPXtrk* track : Doc.trk)
      for (const TGPXtrkseg* segment : *track) {
        TGeoLine line;
        line.reserve(static_cast<std::size_t>(segment->Count()));
        for (const TPoint4D2* p : *segment) line.push_back({p->Longitude, p->Latitude});
        PaintLine(Painter, line, false);
      }
  }

 private:
  const TExportGrid& fGrid;
  double fResolution;
  double fX0, fY0;
};

}  // namespace

TZoomLevels ChartZoomLevels(const TExportGrid& Grid) {
  Grid.Check();
  const TGridExtent& e = Grid.Extent;
  const double lat = (e.MinLat + e.MaxLat) / 2;
  // Ground metres of a mercator pixel are its metres at the equator times
  // the cosine of the latitude.
  const double shrink = std::cos(lat * std::numbers::pi / 180);
  const double cell = std::min(Grid.CellWidth() * geodesy::MetresPerDegreeLongitude(lat),
                               Grid.CellHeight() * geodesy::MetresPerDegreeLatitude(lat));
  const double span = std::max((e.MaxLon - e.MinLon) * geodesy::MetresPerDegreeLongitude(lat),
                               (e.MaxLat - e.MinLat) * geodesy::MetresPerDegreeLatitude(lat));
  TZoomLevels zoom;
  zoom.Max = std::clamp(static_cast<int>(std::ceil(std::log2(Resolution(0) * shrink / cell) - 1e-9)), 0, 22);
  while (zoom.Max > 0) {
    const TTileRange range = TilesOf(e, zoom.Max);
    if (range.Columns() * range.Rows() <= kMaxPixels) break;
    --zoom.Max;
  }
  zoom.Min = std::clamp(static_cast<int>(std::ceil(std::log2(64 * Resolution(0) * shrink / span) - 1e-9)), 0, zoom.Max);
  return zoom;
}

void WriteChartMBTiles(const std::string& Path, const TExportGrid& Grid, const TChartLayers& Chart,
                       const std::string& Name, TFeedback& Feedback) {
  Grid.Check();
  if (!Chart.Picture || Chart.Picture->Width() != Grid.Columns() || Chart.Picture->Height() != Grid.Rows())
    throw std::invalid_argument("the chart's picture is not of the depth grid's size");
  const gdal::IModule& module = gdal::Module(Path);
  const TZoomLevels zoom = ChartZoomLevels(Grid);
  const TTileRange range = TilesOf(Grid.Extent, zoom.Max);
  const TTilePainter painter(Grid, range, zoom.Max);

  QImage image(static_cast<int>(range.Columns()), static_cast<int>(range.Rows()), QImage::Format_ARGB32);
  if (image.isNull()) throw EFileError("Can't write " + Path + ": no memory for the chart's tiles");
  image.fill(Qt::transparent);
  painter.PaintPicture(image, *Chart.Picture, Feedback);
  {
    QPainter lines(&image);
    lines.setRenderHint(QPainter::Antialiasing);
    lines.setBrush(Qt::NoBrush);
    if (Chart.Contours) {
      lines.setPen(QPen(ToQColor(Chart.ContourColor, 0.6), 1.0));
      painter.PaintTracks(lines, *Chart.Contours);
    }
    lines.setPen(QPen(ToQColor(Chart.ShoreColor), 1.5));
    for (const TGeoLine& ring : Chart.Shoreline) painter.PaintLine(lines, ring, true);
    if (Chart.Safety) {
      lines.setPen(QPen(ToQColor(Chart.SafetyColor), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.PaintTracks(lines, *Chart.Safety);
    }
  }
  if (Feedback.Canceled()) throw TCanceled{};
  Feedback.SetProgress(1, 3);

  gdal::TMBTilesRequest request;
  request.Pixels = image.constBits();
  request.Width = image.width();
  request.Height = image.height();
  request.BytesPerLine = image.bytesPerLine();
  request.Options = {{"TILE_FORMAT", "PNG"},
                     // Compressing the tiles is most of the work: level 3
                     // takes a third less time than the default 6 for tiles
                     // a tenth larger.
                     {"ZLEVEL", "3"},
                     {"TYPE", "overlay"},
                     {"NAME", Name},
                     {"DESCRIPTION", "Depth chart"}};
  // The grid's extent out to whole pixels of the finest level: GDAL takes
  // the bounds for the edge of the picture it reads, and bounds inside a
  // pixel would shift every pixel it reads by that fraction.
  const double resolution = Resolution(zoom.Max);
  auto snap = [&](double Metres, bool Up) {
    const double pixels = (Metres + kHalfWorld) / resolution;
    return (Up ? std::ceil(pixels - 1e-6) : std::floor(pixels + 1e-6)) * resolution - kHalfWorld;
  };
  const TGridExtent& e = Grid.Extent;
  const double toDegrees = 180 / std::numbers::pi / kEarth;
  request.Options.emplace_back("BOUNDS", ShortestText(snap(MercatorX(e.MinLon), false) * toDegrees) + "," +
                                             ShortestText(LatitudeOf(snap(MercatorY(e.MinLat), false))) + "," +
                                             ShortestText(snap(MercatorX(e.MaxLon), true) * toDegrees) + "," +
                                             ShortestText(LatitudeOf(snap(MercatorY(e.MaxLat), true))));
  request.Transform = {-kHalfWorld + range.X0 * kTile * resolution, resolution, 0,
                       kHalfWorld - range.Y0 * kTile * resolution, 0, -resolution};
  // ARGB32 holds blue, green, red, alpha in its bytes on this little-endian
  // machine, as the module takes them.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
  for (int level = 1; level <= zoom.Max - zoom.Min; ++level) request.OverviewFactors.push_back(1 << level);
  request.MinZoom = zoom.Min;
  gdal::Check(module.MBTiles(request, Feedback,
                             [&](const gdal::TMadeFiles& Files) { WriteFileAtomically(Path, Files.front().second); }),
              Path);
  Feedback.SetProgress(0, 0);
}

}  // namespace sondralis
