#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

#include "model/ColorInterpolate.h"
#include "view/Canvas.h"

namespace sondralis {

namespace {

// A lake's outline in a square of 100 units.
QPainterPath Lake() {
  QPainterPath path(QPointF(46, 8));
  path.cubicTo(60, 5, 70, 14, 80, 15);
  path.cubicTo(93, 17, 96, 33, 90, 45);
  path.cubicTo(85, 55, 95, 70, 85, 82);
  path.cubicTo(75, 94, 55, 88, 42, 92);
  path.cubicTo(25, 97, 6, 84, 8, 64);
  path.cubicTo(10, 50, 20, 47, 17, 34);
  path.cubicTo(14, 20, 30, 10, 46, 8);
  path.closeSubpath();
  return path;
}

QColor Colour(TColor colour) { return QColor::fromRgb(TCanvas::ToRGB32(colour)); }

}  // namespace

QImage DrawAppIcon(int Size) {
  QImage icon(Size, Size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(Size / 100.0, Size / 100.0);
  painter.setPen(QPen(QColor(0x9a, 0xa7, 0xb4), 1.5));
  painter.setBrush(QColor(0xf4, 0xf7, 0xfa));
  painter.drawRoundedRect(QRectF(2, 2, 96, 96), 16, 16);

  // Each level a smaller ring, turning a little and drifting towards the
  // deep end, as contours of a real lake do.
  const QPainterPath lake = Lake();
  constexpr int kLevels = 5;
  for (int level = 0; level < kLevels; ++level) {
    const double ratio = static_cast<double>(level) / (kLevels - 1);
    const TColor fill = BlendColors(clRed, clBlue, ratio);
    QTransform placed;
    const double cx = 56 + 1.5 * level, cy = 55 + 0.8 * level;
    placed.translate(cx, cy);
    placed.scale(0.98 - 0.2 * level, 0.98 - 0.2 * level);
    placed.rotate(-10.0 * level);
    placed.translate(-cx, -cy);
    painter.setPen(QPen(Colour(fill).darker(170), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Colour(fill));
    painter.drawPath(placed.map(lake));
  }
  painter.end();
  return icon;
}

}  // namespace sondralis
