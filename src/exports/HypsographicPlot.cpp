#include "exports/HypsographicPlot.h"

#include <algorithm>
#include <cmath>

#include <QFont>
#include <QPainterPath>
#include <QPen>

namespace sondralis {

namespace {

// Text a twentieth of the frame's height, narrower frames smaller.
double TextHeight(const QRectF& Frame) { return std::max(4.0, std::min(Frame.height() / 20, Frame.width() / 26)); }

// A round step between depth ticks giving four to eight of them.
double TickStep(double Depth) {
  for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0})
    if (Depth / step <= 8) return step;
  return 1000;
}

QString MetresLabel(double Metres) { return QString::number(Metres, 'g', 4) + " m"; }

}  // namespace

QRectF HypsographicAxes(const QRectF& Frame) {
  const double text = TextHeight(Frame);
  return Frame.adjusted(text * 3.6, text * 3.4, -text * 2.2, -text * 2.8);
}

void PaintHypsographicCurve(QPainter& Painter, const QRectF& Frame, const TLakeReport& Report) {
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing);
  const double text = TextHeight(Frame);
  QFont font = Painter.font();
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(text))));
  Painter.setFont(font);
  const QColor ink(40, 40, 40);
  Painter.setPen(QPen(ink, std::max(0.5, text / 12)));
  Painter.drawText(QRectF(Frame.left(), Frame.top(), Frame.width(), text * 1.5), Qt::AlignCenter,
                   QStringLiteral("Hypsographic curve"));
  const QRectF axes = HypsographicAxes(Frame);
  Painter.setBrush(Qt::NoBrush);
  Painter.drawRect(axes);
  if (Report.Levels.empty() || !(Report.SurveyedArea > 0)) {
    Painter.restore();
    return;
  }

  const double deepest = Report.Levels.back().Depth / 100.0;
  const double bottom = std::max(deepest, 0.01);
  auto yOf = [&](double Metres) { return axes.top() + axes.height() * Metres / bottom; };
  auto xOf = [&](double Share) { return axes.left() + axes.width() * Share; };

  // Share ticks along the top, where the curves start.
  for (int percent = 0; percent <= 100; percent += 25) {
    const double x = xOf(percent / 100.0);
    Painter.drawLine(QPointF(x, axes.top()), QPointF(x, axes.top() - text * 0.4));
    Painter.drawText(QRectF(x - text * 2, axes.top() - text * 1.8, text * 4, text * 1.3), Qt::AlignCenter,
                     QString::number(percent) + " %");
  }
  const double step = TickStep(bottom);
  for (double d = 0; d <= bottom + 1e-9; d += step) {
    const double y = yOf(d);
    Painter.drawLine(QPointF(axes.left(), y), QPointF(axes.left() - text * 0.4, y));
    Painter.drawText(QRectF(Frame.left(), y - text * 0.7, axes.left() - Frame.left() - text * 0.5, text * 1.4),
                     Qt::AlignRight | Qt::AlignVCenter, MetresLabel(d));
  }

  QPainterPath area, volume;
  for (std::size_t k = 0; k < Report.Levels.size(); ++k) {
    const TDepthLevel& level = Report.Levels[k];
    const QPointF a(xOf(level.AreaDeeper / Report.SurveyedArea), yOf(level.Depth / 100.0));
    const QPointF v(xOf(Report.Volume > 0 ? level.VolumeBelow / Report.Volume : 0), yOf(level.Depth / 100.0));
    if (k == 0) {
      area.moveTo(a);
      volume.moveTo(v);
    } else {
      area.lineTo(a);
      volume.lineTo(v);
    }
  }
  const QColor areaColor(20, 70, 160), volumeColor(0, 140, 150);
  const double width = std::max(1.0, text / 6);
  Painter.setPen(QPen(areaColor, width));
  Painter.drawPath(area);
  Painter.setPen(QPen(volumeColor, width, Qt::DashLine));
  Painter.drawPath(volume);

  // The key under the axes.
  const double keyY = axes.bottom() + text * 1.4;
  const double half = axes.left() + axes.width() / 2;
  Painter.setPen(QPen(areaColor, width));
  Painter.drawLine(QPointF(axes.left(), keyY), QPointF(axes.left() + text * 2, keyY));
  Painter.setPen(QPen(volumeColor, width, Qt::DashLine));
  Painter.drawLine(QPointF(half, keyY), QPointF(half + text * 2, keyY));
  Painter.setPen(ink);
  Painter.drawText(QRectF(axes.left() + text * 2.4, keyY - text * 0.7, axes.width() / 2 - text * 2.4, text * 1.4),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("area deeper"));
  Painter.drawText(QRectF(half + text * 2.4, keyY - text * 0.7, axes.width() / 2 - text * 2.4, text * 1.4),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("volume below"));
  Painter.restore();
}

}  // namespace sondralis
