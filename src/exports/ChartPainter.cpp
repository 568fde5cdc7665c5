#include "exports/ChartPainter.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "formats/AtomicFile.h"
#include "model/DateTime.h"
#include "model/GPS.h"

namespace sondralis {

namespace {

QColor ToQColor(TColor c, int alpha = 255) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF),
                alpha);
}

const QColor kInk(0x1E, 0x2A, 0x38);        // text, contour lines, frame
const QColor kShore(0x3A, 0x36, 0x30);      // the shoreline
const QColor kLand(0xEF, 0xED, 0xE6);       // outside the water
const QColor kWater(0xDD, 0xEA, 0xF3);      // water without soundings
const QColor kPanel(0xFF, 0xFF, 0xFF, 225);  // behind legend, scale bar and north arrow

QFont Font(double Pixels, bool Bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(Pixels))));
  font.setBold(Bold);
  return font;
}

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// 1, 2 or 5 times a power of ten, the largest not above Value.
double NiceBelow(double Value) {
  if (!(Value > 0)) return 0;
  const double power = std::pow(10.0, std::floor(std::log10(Value)));
  for (const double m : {5.0, 2.0, 1.0})
    if (m * power <= Value) return m * power;
  return power;
}

std::string DistanceText(double Metres) {
  char text[32];
  if (Metres >= 1000) std::snprintf(text, sizeof text, "%g km", Metres / 1000);
  else std::snprintf(text, sizeof text, "%g m", Metres);
  return text;
}

// The depths written beside the colour bar: 0 and multiples of the step,
// no more than eight of them.
std::vector<double> LegendDepths(int Step, int MaxDepth) {
  std::vector<double> depths;
  if (MaxDepth <= 0) return {0.0};
  const int step = std::max(Step, 1);
  int every = step;
  for (const int m : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
    every = step * m;
    if (MaxDepth / every < 8) break;
  }
  for (int d = 0; d <= MaxDepth; d += every) depths.push_back(d);
  return depths;
}

}  // namespace

QPointF TChartLayout::FromGrid(double Column, double Row) const {
  return {Map.left() + (Column + 0.5) * MetresPerColumn * PixelsPerMetre,
          Map.top() + (Row + 0.5) * MetresPerRow * PixelsPerMetre};
}

QPointF TChartLayout::FromLonLat(double Longitude, double Latitude) const {
  return FromGrid(LonStep != 0 ? (Longitude - Lon0) / LonStep : 0, LatStep != 0 ? (Lat0 - Latitude) / LatStep : 0);
}

void SplitOutlines(const TGPX& Loaded, std::vector<TGeoLine>& Shoreline, std::vector<TGeoLine>& Tracks) {
  for (const TGPXtrk* track : Loaded.trk)
    for (const TGPXtrkseg* segment : *track) {
      if (segment->Count() < 2) continue;
      TGeoLine line;
      bool outline = true;
      for (const TPoint4D2* p : *segment) {
        line.push_back({p->Longitude, p->Latitude});
        if (p->HBdepth != 0 && !std::isnan(p->HBdepth)) outline = false;
      }
      (outline ? Shoreline : Tracks).push_back(std::move(line));
    }
}

void ChartTitle(const std::vector<std::string>& Files, const TGPX& Loaded, std::string& Title,
                std::string& Subtitle) {
  Title.clear();
  for (const std::string& file : Files) {
    if (!Title.empty()) Title += ", ";
    Title += std::filesystem::path(file).filename().string();
  }
  double first = std::numeric_limits<double>::infinity(), last = -first;
  for (const TGPXtrk* track : Loaded.trk)
    for (const TGPXtrkseg* segment : *track)
      for (const TPoint4D2* p : *segment)
        if (p->DateTime != 0 && p->HBdepth != 0 && !std::isnan(p->HBdepth)) {
          first = std::min(first, p->DateTime);
          last = std::max(last, p->DateTime);
        }
  if (!(first <= last)) {
    Subtitle = "Soundings without dates";
    return;
  }
  const auto day = [](TDateTime t) {
    const DateTimeParts parts = DecodeDateTime(std::floor(t));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.Year, parts.Month, parts.Day);
    return std::string(text);
  };
  Subtitle = "Soundings of " + day(first);
  if (day(last) != day(first)) Subtitle += " to " + day(last);
}

TChartLayout LayoutChart(const QRectF& Page, const TChartContent& Content, double TextSize) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    throw std::logic_error("Painting a chart needs a QGuiApplication for its fonts.");
  if (!Content.Depths || !Content.Grid || Content.Depths->Width() < 2 || Content.Depths->Height() < 2 ||
      Content.Grid->Longitudes.size() != static_cast<std::size_t>(Content.Depths->Width()) ||
      Content.Grid->Latitudes.size() != static_cast<std::size_t>(Content.Depths->Height()))
    throw std::invalid_argument("The chart needs a depth grid of at least 2 x 2 cells with the position of each.");
  const TDepthArray& depths = *Content.Depths;
  const TPixelCoordinates& grid = *Content.Grid;
  const int W = depths.Width(), H = depths.Height();

  TChartLayout L;
  L.TextSize = TextSize > 0 ? TextSize : std::max(8.0, std::min(Page.width(), Page.height() * 1.41) / 80);
  const double f = L.TextSize, margin = f;
  const QFontMetricsF title(Font(1.5 * f, true)), body(Font(f)), small(Font(0.85 * f));
  L.Header = QRectF(Page.left() + margin, Page.top() + margin, Page.width() - 2 * margin,
                    title.height() + body.height() + small.height());

  // The grid's cells on the ground, so that the map keeps its true shape
  // whatever the view's pixels were.
  L.Lon0 = grid.Longitudes.front();
  L.Lat0 = grid.Latitudes.front();
  L.LonStep = (grid.Longitudes.back() - L.Lon0) / (W - 1);
  L.LatStep = (L.Lat0 - grid.Latitudes.back()) / (H - 1);
  const double latMid = (grid.Latitudes.front() + grid.Latitudes.back()) / 2;
  TPoint4D2 west, north;
  west.Longitude = L.Lon0;
  west.Latitude = latMid;
  north.Longitude = L.Lon0;
  north.Latitude = L.Lat0;
  L.MetresPerColumn = west.WGS84Distance(grid.Longitudes.back(), latMid, false) / (W - 1);
  L.MetresPerRow = north.WGS84Distance(L.Lon0, grid.Latitudes.back(), false) / (H - 1);
  if (!(L.MetresPerColumn > 0) || !(L.MetresPerRow > 0))
    throw std::invalid_argument("The chart's grid has no extent on the ground.");
  const double widthM = W * L.MetresPerColumn, heightM = H * L.MetresPerRow;
  const QRectF room(Page.left() + margin, L.Header.bottom() + margin / 2, Page.width() - 2 * margin,
                    Page.bottom() - margin - (L.Header.bottom() + margin / 2));
  L.PixelsPerMetre = std::max(0.0, std::min(room.width() / widthM, room.height() / heightM));
  const QSizeF mapSize(widthM * L.PixelsPerMetre, heightM * L.PixelsPerMetre);
  L.Map = QRectF(room.center() - QPointF(mapSize.width() / 2, mapSize.height() / 2), mapSize);

  // Legend, scale bar and north arrow: their sizes first.
  const double pad = f / 2;
  L.LegendDepths = LegendDepths(Content.Step, Content.MaxDepth);
  double labelWidth = 0;
  for (const double d : L.LegendDepths)
    labelWidth = std::max(labelWidth, small.horizontalAdvance(Text(DepthLabelText(static_cast<int>(d), Content.Step))));
  const double barHeight = std::min(L.Map.height() * 0.45, small.height() * 1.5 * static_cast<double>(L.LegendDepths.size()));
  const QSizeF legendSize(std::max(small.horizontalAdvance(QStringLiteral("Depth (m)")), 1.2 * f + pad + labelWidth) + 2 * pad,
                          small.height() * 1.5 + barHeight + 2 * pad);
  L.ScaleMetres = NiceBelow(widthM * 0.25);
  const double barLength = L.ScaleMetres * L.PixelsPerMetre;
  const double endLabel = small.horizontalAdvance(Text(DistanceText(L.ScaleMetres)));
  const QSizeF scaleSize(barLength + endLabel / 2 + small.horizontalAdvance(QStringLiteral("0")) / 2 + 2 * pad,
                         f * 0.5 + small.height() + 2 * pad + pad / 2);
  const QSizeF northSize(2.2 * f, 3.2 * f);

  // Then the corners of the map where they hide the least water.
  const QRectF inner = L.Map.adjusted(pad, pad, -pad, -pad);
  const auto at = [&](int corner, const QSizeF& size) {
    const double x = corner % 2 ? inner.right() - size.width() : inner.left();
    const double y = corner / 2 ? inner.bottom() - size.height() : inner.top();
    return QRectF(QPointF(x, y), size);
  };
  const auto water = [&](const QRectF& box) {
    int covered = 0;
    const double cx = L.MetresPerColumn * L.PixelsPerMetre, cy = L.MetresPerRow * L.PixelsPerMetre;
    if (!(cx > 0) || !(cy > 0)) return 0;
    const int x0 = std::clamp(static_cast<int>((box.left() - L.Map.left()) / cx), 0, W - 1);
    const int x1 = std::clamp(static_cast<int>((box.right() - L.Map.left()) / cx), 0, W - 1);
    const int y0 = std::clamp(static_cast<int>((box.top() - L.Map.top()) / cy), 0, H - 1);
    const int y1 = std::clamp(static_cast<int>((box.bottom() - L.Map.top()) / cy), 0, H - 1);
    for (int x = x0; x <= x1; ++x)
      for (int y = y0; y <= y1; ++y) covered += std::isfinite(depths[x][y]);
    return covered;
  };
  bool used[4] = {false, false, false, false};
  const auto place = [&](const QSizeF& size, std::initializer_list<int> corners) {
    int best = -1, least = 0;
    for (const int c : corners) {
      if (used[c]) continue;
      const int w = water(at(c, size));
      if (best < 0 || w < least) {
        best = c;
        least = w;
      }
    }
    used[best] = true;
    return at(best, size);
  };
  L.Legend = place(legendSize, {0, 1, 2, 3});
  L.ScaleBox = place(scaleSize, {2, 3});
  L.North = place(northSize, {0, 1, 2, 3});
  L.Bar = QRectF(L.ScaleBox.left() + pad + small.horizontalAdvance(QStringLiteral("0")) / 2, L.ScaleBox.top() + pad,
                 barLength, f * 0.5);

  // The contour lines on the page, and their labels where they fit.
  if (Content.Lines) {
    L.PageLines.reserve(Content.Lines->size());
    for (const TChartLine& line : *Content.Lines) {
      TChartLine& page = L.PageLines.emplace_back();
      page.Level = line.Level;
      page.Closed = line.Closed;
      page.Points.reserve(line.Points.size());
      for (const TChartPoint& p : line.Points) {
        const QPointF q = L.FromGrid(p.X, p.Y);
        page.Points.push_back({q.x(), q.y()});
      }
    }
    const QFontMetricsF labelFont(Font(0.85 * f, true));
    TLabelStyle style;
    style.Step = Content.Step;
    style.TextHeight = labelFont.capHeight() * 1.5;
    style.TextWidth = [&](const std::string& text) { return labelFont.horizontalAdvance(Text(text)); };
    style.Padding = f / 3;
    style.MaxBend = f / 6;
    style.Spacing = std::max(L.Map.width(), L.Map.height()) / 3;
    // Below a metre's step the lines crowd: the whole metres are labelled
    // first, and labels may cover the thin lines between the bold ones.
    const int step = Content.Step;
    style.First = [step](int level) { return IsIndexLevel(level, step); };
    if (step < 100) style.Blocking = style.First;
    const double edge = f / 2;
    const std::vector<TLabelBox> obstacles = {
        TLabelBox::Upright(L.Legend.left(), L.Legend.top(), L.Legend.right(), L.Legend.bottom()),
        TLabelBox::Upright(L.ScaleBox.left(), L.ScaleBox.top(), L.ScaleBox.right(), L.ScaleBox.bottom()),
        TLabelBox::Upright(L.North.left(), L.North.top(), L.North.right(), L.North.bottom()),
        // The frame: a label never runs over the map's edge.
        TLabelBox::Upright(L.Map.left() - edge, L.Map.top() - edge, L.Map.right() + edge, L.Map.top() + edge),
        TLabelBox::Upright(L.Map.left() - edge, L.Map.bottom() - edge, L.Map.right() + edge, L.Map.bottom() + edge),
        TLabelBox::Upright(L.Map.left() - edge, L.Map.top() - edge, L.Map.left() + edge, L.Map.bottom() + edge),
        TLabelBox::Upright(L.Map.right() - edge, L.Map.top() - edge, L.Map.right() + edge, L.Map.bottom() + edge),
    };
    L.Labels = PlaceContourLabels(L.PageLines, style, obstacles);
  }
  return L;
}

namespace {

QImage DepthPicture(const TChartContent& Content) {
  const TDepthArray& depths = *Content.Depths;
  QImage image(depths.Width(), depths.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < depths.Height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < depths.Width(); ++x) {
      const double d = depths[x][y];
      if (!std::isfinite(d)) {
        row[x] = qRgba(0, 0, 0, 0);
        continue;
      }
      // The colour the depth picture gives it.
      const TColor c = BlendColors(Content.Shallow, Content.Deep, Content.MaxDepth > 0 ? d / Content.MaxDepth : 0.0);
      row[x] = qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
    }
  }
  return image;
}

QPainterPath PathOf(const std::vector<TChartPoint>& Points, bool Closed) {
  QPainterPath path;
  for (std::size_t i = 0; i < Points.size(); ++i) {
    const QPointF p(Points[i].X, Points[i].Y);
    if (i == 0) path.moveTo(p);
    else path.lineTo(p);
  }
  if (Closed) path.closeSubpath();
  return path;
}

void PaintHeader(QPainter& P, const TChartLayout& L, const TChartContent& Content) {
  const double f = L.TextSize;
  const QFont titleFont = Font(1.5 * f, true), bodyFont = Font(f), smallFont = Font(0.85 * f);
  const QFontMetricsF title(titleFont), body(bodyFont);
  double y = L.Header.top();
  const auto line = [&](const QFont& font, const QString& text, const QColor& color) {
    const QFontMetricsF m(font);
    P.setFont(font);
    P.setPen(color);
    P.drawText(QPointF(L.Header.left(), y + m.ascent()), m.elidedText(text, Qt::ElideRight, L.Header.width()));
    y += m.height();
  };
  line(titleFont, Text(Content.Title), kInk);
  line(bodyFont, Text(Content.Subtitle), kInk);
  std::string info = "Depths in metres";
  if (Content.Lines) info += "; contour lines every " + DepthLabelText(Content.Step, Content.Step) + " m";
  line(smallFont, Text(info), QColor(0x55, 0x5E, 0x68));
}

void PaintMap(QPainter& P, const TChartLayout& L, const TChartContent& Content) {
  const double f = L.TextSize;
  P.save();
  P.setClipRect(L.Map);
  P.fillRect(L.Map, kLand);
  // The water inside the shoreline (islands left out), then the soundings'
  // depths over it.
  QPainterPath shore;
  shore.setFillRule(Qt::OddEvenFill);
  for (const TGeoLine& outline : Content.Shoreline) {
    QPolygonF ring;
    for (const TLonLat& p : outline) ring << L.FromLonLat(p.Lon, p.Lat);
    shore.addPolygon(ring);
    shore.closeSubpath();
  }
  P.fillPath(shore, kWater);
  if (Content.Picture) P.drawImage(L.Map, *Content.Picture);
  else P.drawImage(L.Map, DepthPicture(Content));

  if (Content.ShowTracks) {
    P.setPen(QPen(QColor(0x20, 0x20, 0x20, 110), std::max(0.5, f / 14)));
    for (const TGeoLine& track : Content.Tracks) {
      QPolygonF line;
      for (const TLonLat& p : track) line << L.FromLonLat(p.Lon, p.Lat);
      P.drawPolyline(line);
    }
  }
  // Contour lines, every whole metre (or fifth step) bolder, with breaks
  // under the labels: their halo covers the line. Thin lines are a little
  // transparent, so that where they crowd the colours still show.
  const double width = std::max(0.5, f / 16);
  for (const TChartLine& line : L.PageLines) {
    const bool index = IsIndexLevel(line.Level, Content.Step);
    QColor ink = kInk;
    if (!index && !Content.OpaqueLines) ink.setAlpha(170);
    P.setPen(QPen(ink, index ? 2.2 * width : width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.drawPath(PathOf(line.Points, line.Closed));
  }
  if (Content.SafetyLines) {
    P.setPen(QPen(ToQColor(Content.SafetyColor), 3 * width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const TChartLine& line : *Content.SafetyLines) {
      QPolygonF page;
      for (const TChartPoint& p : line.Points) page << L.FromGrid(p.X, p.Y);
      P.drawPolyline(page);
    }
  }
  P.setPen(QPen(kShore, std::max(1.0, f / 7), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  P.setBrush(Qt::NoBrush);
  P.drawPath(shore);

  const QFont labelFont = Font(0.85 * f, true);
  const QFontMetricsF m(labelFont);
  for (const TContourLabel& label : L.Labels) {
    P.save();
    P.translate(label.Box.Centre.X, label.Box.Centre.Y);
    P.rotate(label.Box.Angle * 180 / 3.14159265358979323846);
    const QString text = Text(label.Text);
    QPainterPath path;
    path.addText(QPointF(-m.horizontalAdvance(text) / 2, m.capHeight() / 2), labelFont, text);
    P.strokePath(path, QPen(QColor(255, 255, 255, Content.OpaqueLines ? 255 : 235), f / 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.fillPath(path, kInk);
    P.restore();
  }
  P.restore();
  P.setPen(QPen(kInk, std::max(1.0, f / 10)));
  P.setBrush(Qt::NoBrush);
  P.drawRect(L.Map);
}

void PaintLegend(QPainter& P, const TChartLayout& L, const TChartContent& Content) {
  const double f = L.TextSize, pad = f / 2;
  const QFont font = Font(0.85 * f);
  const QFontMetricsF m(font);
  P.setPen(QPen(QColor(0x88, 0x88, 0x88), 1));
  P.setBrush(kPanel);
  P.drawRect(L.Legend);
  P.setFont(font);
  P.setPen(kInk);
  P.drawText(QPointF(L.Legend.left() + pad, L.Legend.top() + pad + m.ascent()), QStringLiteral("Depth (m)"));
  const QRectF bar(L.Legend.left() + pad, L.Legend.top() + pad + m.height() * 1.5, 1.2 * f,
                   L.Legend.height() - 2 * pad - m.height() * 1.5);
  QLinearGradient ramp(bar.topLeft(), bar.bottomLeft());
  ramp.setColorAt(0, ToQColor(Content.Shallow));
  ramp.setColorAt(1, ToQColor(Content.Deep));
  P.fillRect(bar, ramp);
  P.setPen(QPen(kInk, std::max(0.5, f / 14)));
  P.setBrush(Qt::NoBrush);
  P.drawRect(bar);
  for (const double d : L.LegendDepths) {
    const double y = bar.top() + (Content.MaxDepth > 0 ? d / Content.MaxDepth : 0) * bar.height();
    P.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + pad / 2, y));
    P.drawText(QPointF(bar.right() + pad, y + m.capHeight() / 2), Text(DepthLabelText(static_cast<int>(d), Content.Step)));
  }
}

void PaintScaleBar(QPainter& P, const TChartLayout& L) {
  const double f = L.TextSize;
  const QFont font = Font(0.85 * f);
  const QFontMetricsF m(font);
  P.setPen(QPen(QColor(0x88, 0x88, 0x88), 1));
  P.setBrush(kPanel);
  P.drawRect(L.ScaleBox);
  // Four fields, dark and light in turn.
  P.setPen(QPen(kInk, std::max(0.5, f / 14)));
  for (int i = 0; i < 4; ++i) {
    const QRectF field(L.Bar.left() + L.Bar.width() * i / 4, L.Bar.top(), L.Bar.width() / 4, L.Bar.height());
    P.setBrush(i % 2 ? QColor(Qt::white) : kInk);
    P.drawRect(field);
  }
  P.setFont(font);
  const double y = L.Bar.bottom() + m.ascent() + f / 6;
  const QString zero = QStringLiteral("0"), end = Text(DistanceText(L.ScaleMetres));
  P.drawText(QPointF(L.Bar.left() - m.horizontalAdvance(zero) / 2, y), zero);
  P.drawText(QPointF(L.Bar.right() - m.horizontalAdvance(end) / 2, y), end);
}

void PaintNorthArrow(QPainter& P, const TChartLayout& L) {
  const double f = L.TextSize;
  const QRectF& box = L.North;
  P.setPen(QPen(QColor(0x88, 0x88, 0x88), 1));
  P.setBrush(kPanel);
  P.drawRect(box);
  const QFont font = Font(f, true);
  const QFontMetricsF m(font);
  P.setFont(font);
  P.setPen(kInk);
  P.drawText(QPointF(box.center().x() - m.horizontalAdvance(QStringLiteral("N")) / 2, box.top() + f / 4 + m.ascent()),
             QStringLiteral("N"));
  // An arrow up, its left half dark, its right half light.
  const double cx = box.center().x(), top = box.top() + f / 4 + m.height(), bottom = box.bottom() - f / 4;
  const double half = f * 0.55, notch = top + (bottom - top) * 0.72;
  QPainterPath left, right;
  left.moveTo(cx, top);
  left.lineTo(cx - half, bottom);
  left.lineTo(cx, notch);
  left.closeSubpath();
  right.moveTo(cx, top);
  right.lineTo(cx + half, bottom);
  right.lineTo(cx, notch);
  right.closeSubpath();
  P.setPen(QPen(kInk, std::max(0.5, f / 14)));
  P.setBrush(kInk);
  P.drawPath(left);
  P.setBrush(Qt::white);
  P.drawPath(right);
}

}  // namespace

void PaintChart(QPainter& Painter, const QRectF& Page, const TChartContent& Content, double TextSize) {
  PaintChart(Painter, Page, LayoutChart(Page, Content, TextSize), Content);
}

void PaintChart(QPainter& Painter, const QRectF& Page, const TChartLayout& layout, const TChartContent& Content) {
  Painter.save();
  Painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
  Painter.fillRect(Page, Qt::white);
  PaintHeader(Painter, layout, Content);
  PaintMap(Painter, layout, Content);
  PaintLegend(Painter, layout, Content);
  PaintScaleBar(Painter, layout);
  PaintNorthArrow(Painter, layout);
  Painter.restore();
}

QImage RenderChart(const TChartContent& Content, int Width) {
  Width = std::clamp(Width, 200, 16384);
  const double f = std::max(9.0, Width / 80.0);
  // The map's shape decides the height: lay out once on a square page to
  // learn the header and the cells' size on the ground.
  const TChartLayout probe = LayoutChart(QRectF(0, 0, Width, Width), Content, f);
  const double mapWidth = Width - 2 * f;
  const double aspect = (Content.Depths->Height() * probe.MetresPerRow) / (Content.Depths->Width() * probe.MetresPerColumn);
  const int height = static_cast<int>(std::ceil(std::min(probe.Header.bottom() + f / 2 + mapWidth * aspect + f, 4.0 * Width)));
  QImage image(Width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintChart(painter, QRectF(0, 0, Width, height), Content, f);
  painter.end();
  return image;
}

void SaveChartPNG(const std::string& Path, const TChartContent& Content, int Width) {
  const QImage image = RenderChart(Content, Width);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) throw EFileError("Can't encode the chart as PNG for " + Path);
  WriteFileAtomically(Path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace sondralis
