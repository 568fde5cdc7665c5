#include "app/WrapCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace sondralis {

namespace {
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
}

TWrapCheckBox::TWrapCheckBox(const QString& Name, const QString& Caption, QWidget* parent)
    : QCheckBox(Caption, parent) {
  setObjectName(Name);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int TWrapCheckBox::TextIndent() const {
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

int TWrapCheckBox::heightForWidth(int Width) const {
  const QRect text = fontMetrics().boundingRect(QRect(0, 0, std::max(1, Width - TextIndent()), 10000), kTextFlags, this->text());
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  return std::max(text.height(), indicator) + 4;
}

QSize TWrapCheckBox::sizeHint() const {
  const int width = TextIndent() + fontMetrics().horizontalAdvance(text()) + 2;
  return {width, heightForWidth(width)};
}

QSize TWrapCheckBox::minimumSizeHint() const {
  const int width = TextIndent() + fontMetrics().averageCharWidth() * 8;
  return {width, heightForWidth(width)};
}

void TWrapCheckBox::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();  // the indicator alone; the caption follows, wrapped
  painter.drawControl(QStyle::CE_CheckBox, option);
  const QRect text = rect().adjusted(TextIndent(), 0, 0, 0);
  style()->drawItemText(&painter, text, kTextFlags, palette(), isEnabled(), this->text(), QPalette::WindowText);
}

}  // namespace sondralis
