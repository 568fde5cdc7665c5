#include "app/TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace sondralis {

TTrackBar::TTrackBar(const QString& Name, QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setObjectName(Name);
  setTickPosition(QSlider::TicksBelow);
  setTickInterval(1);
  setPageStep(1);
}

void TTrackBar::SetSelEnd(int Value) {
  if (Value == fSelEnd) return;
  fSelEnd = Value;
  update();
}

void TTrackBar::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  if (fSelEnd <= minimum() || maximum() <= minimum()) return;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  // Centres of the handle at the minimum and at SelEnd.
  const int span = groove.width() - handle.width();
  const int from = groove.left() + handle.width() / 2;
  const int to = from + QStyle::sliderPositionFromValue(minimum(), maximum(), std::min(fSelEnd, maximum()), span);
  QPainter painter(this);
  painter.fillRect(QRect(QPoint(from, groove.top() - 3), QPoint(to, groove.top() - 2)), palette().highlight());
}

}  // namespace sondralis
