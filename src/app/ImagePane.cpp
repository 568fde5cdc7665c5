#include "app/ImagePane.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace sondralis {

TImagePane::TImagePane(const QString& Name, QWidget* parent) : QWidget(parent), fBackground(Qt::white) {
  setObjectName(Name);
  setMouseTracking(true);  // the coordinate read-out follows the mouse without a button
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(1, 1);
}

void TImagePane::SetPicture(const TCanvas* Picture) {
  fPicture = Picture;
  update();
}

void TImagePane::SetBackground(const QColor& Color) {
  fBackground = Color;
  update();
}

void TImagePane::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect dirty = event->rect();
  QRect covered;
  const qreal ratio = devicePixelRatioF();
  const QImage* fine = ratio > 1 && !fDragging && DevicePicture ? DevicePicture(ratio) : nullptr;
  if (fine && !fine->isNull()) {
    // Set to the ratio, the picture covers as many logical pixels as the
    // map's own picture.
    const QRect logical(QPoint(0, 0), (QSizeF(fine->size()) / ratio).toSize());
    covered = dirty.intersected(logical);
    if (!covered.isEmpty()) {
      painter.setClipRect(covered);
      painter.drawImage(QPointF(0, 0), *fine);
      painter.setClipping(false);
    }
  } else if (fPicture && fPicture->Width() > 0 && fPicture->Height() > 0) {
    const QImage& image = fPicture->Image();
    covered = dirty.intersected(image.rect());
    if (!covered.isEmpty()) painter.drawImage(covered.topLeft(), image, covered);
  }
  // The rest of the pane, beyond the picture.
  const QRegion rest = QRegion(dirty).subtracted(covered);
  for (const QRect& r : rest) painter.fillRect(r, fBackground);
}

void TImagePane::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) fDragging = true;
  if (OnMouseDown) OnMouseDown(event->position().toPoint().x(), event->position().toPoint().y(),
                               event->button() == Qt::LeftButton);
}

void TImagePane::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) OnMouseMove(event->position().toPoint().x(), event->position().toPoint().y(),
                               (event->buttons() & Qt::LeftButton) != 0);
}

void TImagePane::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  fDragging = false;
  update();
  if (OnMouseUp) OnMouseUp(event->position().toPoint().x(), event->position().toPoint().y(),
                           (event->modifiers() & Qt::AltModifier) != 0);
}

void TImagePane::wheelEvent(QWheelEvent* event) {
  // One notch of an ordinary wheel is 120 eighths of a degree.
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || !OnWheel) {
    event->ignore();
    return;
  }
  OnWheel(event->position().toPoint().x(), event->position().toPoint().y(), notches);
  event->accept();
}

void TImagePane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize();
}

}  // namespace sondralis
