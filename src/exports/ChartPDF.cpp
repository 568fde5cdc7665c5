#include "exports/ChartPDF.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "exports/ChartRaster.h"
#include "exports/HypsographicPlot.h"
#include "formats/AtomicFile.h"

namespace sondralis {

namespace {

// The printer's resolution: the raster is made at it, lines and text are
// vectors anyway.
constexpr int kDpi = 300;

const QColor kInk(0x1E, 0x2A, 0x38);
const QColor kGrey(0x55, 0x5E, 0x68);

QFont Font(double Pixels, bool Bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(Pixels))));
  font.setBold(Bold);
  return font;
}

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QColor ToQColor(TColor c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// A whole number with its thousands set apart by thin spaces: 8 248 181.
std::string Grouped(double Value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.0f", std::fabs(Value));
  std::string text(digits), out = Value < 0 && std::lround(Value) != 0 ? "-" : "";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i > 0 && (text.size() - i) % 3 == 0) out += "\u2009";
    out += text[i];
  }
  return out;
}

std::string Fixed(double Value, int Decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", Decimals, Value);
  return text;
}

// The latitude and longitude ticks around the map's frame: outwards on all
// four sides, labelled below and on the left.
void PaintTicks(QPainter& P, const TChartLayout& L, int Columns, int Rows, double TextSize) {
  const double west = L.Lon0 - L.LonStep / 2, east = L.Lon0 + (Columns - 0.5) * L.LonStep;
  const double north = L.Lat0 + L.LatStep / 2, south = L.Lat0 - (Rows - 0.5) * L.LatStep;
  const double tick = 0.4 * TextSize;
  const QFont font = Font(0.8 * TextSize);
  const QFontMetricsF m(font);
  P.save();
  P.setRenderHint(QPainter::Antialiasing);
  P.setFont(font);
  P.setPen(QPen(kInk, std::max(1.0, TextSize / 12)));
  // At least a label's width and a half between two labels.
  const int across = std::max(2, static_cast<int>(L.Map.width() / (m.horizontalAdvance(QStringLiteral("00°00′00″E")) * 1.5)));
  for (const TGraticuleTick& t : GraticuleTicks(west, east, across, false)) {
    const double x = L.FromLonLat(t.Degrees, L.Lat0).x();
    P.drawLine(QPointF(x, L.Map.top()), QPointF(x, L.Map.top() - tick));
    P.drawLine(QPointF(x, L.Map.bottom()), QPointF(x, L.Map.bottom() + tick));
    const QString label = Q(t.Label);
    P.drawText(QPointF(x - m.horizontalAdvance(label) / 2, L.Map.bottom() + tick + m.ascent()), label);
  }
  const int down = std::max(2, static_cast<int>(L.Map.height() / (m.horizontalAdvance(QStringLiteral("00°00′00″N")) * 1.5)));
  for (const TGraticuleTick& t : GraticuleTicks(south, north, down, true)) {
    const double y = L.FromLonLat(L.Lon0, t.Degrees).y();
    P.drawLine(QPointF(L.Map.left(), y), QPointF(L.Map.left() - tick, y));
    P.drawLine(QPointF(L.Map.right(), y), QPointF(L.Map.right() + tick, y));
    // Read from below, as latitudes on a chart's left edge are.
    const QString label = Q(t.Label);
    P.save();
    P.translate(L.Map.left() - tick - m.descent(), y);
    P.rotate(-90);
    P.drawText(QPointF(-m.horizontalAdvance(label) / 2, 0), label);
    P.restore();
  }
  P.restore();
}

// The column beside the map: the lake's figures, the hypsographic curve,
// the key to the relief and the safety depth, and the chart's small print.
void PaintColumn(QPainter& P, const QRectF& Column, double TextSize, const TChartSheet& Sheet) {
  const double f = TextSize;
  const QFont heading = Font(1.1 * f, true), body = Font(0.85 * f), small = Font(0.75 * f);
  const QFontMetricsF hm(heading), bm(body);
  P.save();
  P.setRenderHint(QPainter::Antialiasing);
  double y = Column.top();
  const TLakeReport* report = Sheet.Report;
  if (report) {
    P.setFont(heading);
    P.setPen(kInk);
    P.drawText(QPointF(Column.left(), y + hm.ascent()), QStringLiteral("The lake"));
    y += hm.height() * 1.3;
    std::vector<std::pair<std::string, std::string>> rows;
    if (std::isfinite(report->LakeArea)) rows.emplace_back("Surface", Fixed(report->LakeArea / 10000, 2) + " ha");
    rows.emplace_back("Surveyed", Fixed(report->SurveyedArea / 10000, 2) + " ha" +
                                      (std::isfinite(report->SurveyedShare)
                                           ? " (" + Fixed(100 * report->SurveyedShare, 1) + " %)"
                                           : std::string()));
    rows.emplace_back("Volume", Grouped(report->Volume) + " m³");
    rows.emplace_back("Mean depth", Fixed(report->MeanDepth / 100, 2) + " m");
    rows.emplace_back("Greatest depth", Fixed(report->GreatestDepth / 100, 2) + " m");
    rows.emplace_back("Soundings", Grouped(report->Soundings));
    if (std::isfinite(report->MeanDistance))
      rows.emplace_back("Mean distance to a sounding", Fixed(report->MeanDistance, 1) + " m");
    P.setFont(body);
    for (const auto& [label, value] : rows) {
      const QString v = Q(value);
      P.setPen(kGrey);
      P.drawText(QPointF(Column.left(), y + bm.ascent()), Q(label));
      P.setPen(kInk);
      P.drawText(QPointF(Column.right() - bm.horizontalAdvance(v), y + bm.ascent()), v);
      y += bm.height() * 1.3;
    }
    y += f;
    const QRectF plot(Column.left(), y, Column.width(), Column.width() * 0.85);
    P.setFont(Font(f));
    PaintHypsographicCurve(P, plot, *report);
    y = plot.bottom() + f;
  }

  // The key to what the depth colours do not say by themselves.
  const double swatch = 2.2 * f;
  const auto keyLine = [&](const QString& text, const std::function<void(const QRectF&)>& drawSwatch) {
    const QRectF box(Column.left(), y, swatch, bm.height());
    drawSwatch(box);
    P.setFont(body);
    P.setPen(kInk);
    P.drawText(QRectF(box.right() + f / 2, y, Column.width() - swatch - f / 2, 3 * bm.height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    const QRectF used = bm.boundingRect(QRectF(0, 0, Column.width() - swatch - f / 2, 3 * bm.height()),
                                        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    y += std::max(used.height(), bm.height()) + f / 2;
  };
  if (Sheet.SafetyDepth > 0) {
    const QColor safety = ToQColor(Sheet.Chart.SafetyColor);
    const QString depth = Q(MetresText(Sheet.SafetyDepth, Sheet.SafetyDepth % 10 ? 2 : 1));
    keyLine(QStringLiteral("Shallower than the safety depth of ") + depth + QStringLiteral(" m"), [&](const QRectF& box) {
      P.save();
      P.setClipRect(box);
      P.setPen(QPen(safety, std::max(1.0, f / 16)));
      for (double x = box.left() - box.height(); x < box.right(); x += f / 2.5)
        P.drawLine(QPointF(x, box.bottom()), QPointF(x + box.height(), box.top()));
      P.restore();
      P.setPen(QPen(kGrey, std::max(0.5, f / 20)));
      P.setBrush(Qt::NoBrush);
      P.drawRect(box);
    });
    keyLine(QStringLiteral("Safety contour, ") + depth + QStringLiteral(" m"), [&](const QRectF& box) {
      P.setPen(QPen(safety, 3 * std::max(0.5, f / 16), Qt::SolidLine, Qt::RoundCap));
      P.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
    });
  }
  if (Sheet.Light) {
    const QString z = QString::number(Sheet.Exaggeration, 'g', 3);
    keyLine(QStringLiteral("Shaded relief: light from the north-west, slopes steepened ") + z + QStringLiteral(" times"),
            [&](const QRectF& box) {
              QLinearGradient light(box.topLeft(), box.bottomRight());
              light.setColorAt(0, QColor(235, 235, 235));
              light.setColorAt(1, QColor(90, 90, 90));
              P.fillRect(box, light);
            });
  }

  // The small print at the foot of the column.
  P.setFont(small);
  P.setPen(kGrey);
  const QString print = QStringLiteral(
      "Positions in WGS 84, depths below the water's surface during the survey. Interpolated between the "
      "soundings: not for navigation.\nMade with Sondralis " SONDRALIS_VERSION);
  const int flags = Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap;
  const QRectF room(Column.left(), Column.top(), Column.width(), Column.height());
  P.drawText(room, flags, print);
  P.restore();
}

void CheckSheet(const TChartSheet& Sheet) {
  const TChartContent& chart = Sheet.Chart;
  if (!chart.Depths || chart.Depths->Width() < 2 || chart.Depths->Height() < 2)
    throw std::invalid_argument("The printed chart needs a depth grid of at least 2 x 2 cells.");
}

}  // namespace

const char* PaperName(TPaper Paper) { return Paper == TPaper::A3 ? "A3" : "A4"; }

std::vector<TGraticuleTick> GraticuleTicks(double From, double To, int MaxTicks, bool Latitude) {
  std::vector<TGraticuleTick> ticks;
  if (!(To > From) || !std::isfinite(From) || !std::isfinite(To) || MaxTicks < 1) return ticks;
  // Steps in seconds of arc.
  static const long long kSteps[] = {1,    2,    5,    10,    15,    30,    60,    120,    300,    600,   900,
                                     1800, 3600, 7200, 18000, 36000, 54000, 108000, 324000, 648000};
  const double from = From * 3600, to = To * 3600;
  long long step = kSteps[std::size(kSteps) - 1];
  for (const long long s : kSteps)
    if (std::floor(to / s) - std::ceil(from / s) + 1 <= MaxTicks) {
      step = s;
      break;
    }
  for (long long k = static_cast<long long>(std::ceil(from / step)); k * step <= to; ++k) {
    const long long seconds = k * step, whole = std::llabs(seconds);
    char text[48];
    const long long d = whole / 3600, m = whole % 3600 / 60, s = whole % 60;
    if (step % 3600 == 0) std::snprintf(text, sizeof text, "%lld°", d);
    else if (step % 60 == 0) std::snprintf(text, sizeof text, "%lld°%02lld′", d, m);
    else std::snprintf(text, sizeof text, "%lld°%02lld′%02lld″", d, m, s);
    std::string label = text;
    if (seconds != 0) label += Latitude ? (seconds > 0 ? "N" : "S") : (seconds > 0 ? "E" : "W");
    ticks.push_back({seconds / 3600.0, label});
  }
  return ticks;
}

void PaintChartSheet(QPainter& Painter, const QRectF& Page, double Dpi, const TChartSheet& Sheet) {
  const TChartContent& chart = Sheet.Chart;
  CheckSheet(Sheet);
  const double mm = Dpi / 25.4, pt = Dpi / 72;
  const bool large = Page.width() > 380 * mm;
  // Body text of 9 points (10 on A3), which prints as small as a chart's
  // notes can be and still be read.
  const double f = (large ? 10 : 9) * pt;
  const double margin = 10 * mm, column = (large ? 85 : 68) * mm, gap = 6 * mm;
  Painter.save();
  Painter.fillRect(Page, Qt::white);

  // The chart's own margin is one text size round the map: on the left and
  // below it is widened to hold the tick labels.
  const double tick = 0.4 * f, labels = tick + 0.3 * f + QFontMetricsF(Font(0.8 * f)).height();
  const QRectF left(Page.left() + margin, Page.top() + margin, Page.width() - 2 * margin - column - gap,
                    Page.height() - 2 * margin);
  const QRectF chartPage(left.left() + labels - f, left.top(), left.width() - labels + f, left.height() - labels + f);
  TChartContent content = chart;
  content.OpaqueLines = true;
  const TChartLayout layout = LayoutChart(chartPage, content, f);
  TRasterStyle style;
  style.Shallow = chart.Shallow;
  style.Deep = chart.Deep;
  style.MaxDepth = chart.MaxDepth;
  style.Light = Sheet.Light;
  style.SafetyDepth = Sheet.SafetyDepth;
  style.SafetyColor = chart.SafetyColor;
  style.HatchSpacing = std::max(3, static_cast<int>(std::lround(1.5 * mm)));
  style.HatchWidth = std::max(1, static_cast<int>(std::lround(0.18 * mm)));
  const QImage raster =
      RenderDepthRaster(*chart.Depths, std::max(1, static_cast<int>(std::lround(layout.Map.width()))),
                        std::max(1, static_cast<int>(std::lround(layout.Map.height()))), style);
  content.Picture = &raster;
  PaintChart(Painter, chartPage, layout, content);
  PaintTicks(Painter, layout, chart.Depths->Width(), chart.Depths->Height(), f);
  PaintColumn(Painter, QRectF(left.right() + gap, left.top() + f, column, left.height() - f), f, Sheet);
  Painter.restore();
}

void WriteChartPDF(const std::string& Path, const TChartSheet& Sheet, TPaper Paper, TFeedback& Feedback) {
  if (Feedback.Canceled()) throw TCanceled{};
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    throw std::logic_error("Printing a chart needs a QGuiApplication for its fonts.");
  CheckSheet(Sheet);
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kDpi);
    writer.setPageLayout(QPageLayout(QPageSize(Paper == TPaper::A3 ? QPageSize::A3 : QPageSize::A4),
                                     QPageLayout::Landscape, QMarginsF(0, 0, 0, 0)));
    writer.setTitle(Q(Sheet.Chart.Title));
    writer.setCreator(QStringLiteral("Sondralis " SONDRALIS_VERSION));
    QPainter painter;
    if (!painter.begin(&writer)) throw EFileError("Can't write " + Path + ": no PDF page could be started");
    const QRect page = writer.pageLayout().paintRectPixels(kDpi);
    PaintChartSheet(painter, QRectF(0, 0, page.width(), page.height()), kDpi, Sheet);
    if (!painter.end()) throw EFileError("Can't write " + Path + ": the PDF page could not be finished");
  }
  if (Feedback.Canceled()) throw TCanceled{};
  WriteFileAtomically(Path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace sondralis
