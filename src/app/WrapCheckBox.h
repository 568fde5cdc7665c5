#pragma once

#include <QCheckBox>

namespace sondralis {

// A check box whose caption wraps onto further lines when the control
// column is narrower than the caption.
class TWrapCheckBox : public QCheckBox {
 public:
  TWrapCheckBox(const QString& Name, const QString& Caption, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int Width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& Pos) const override { return rect().contains(Pos); }

 private:
  int TextIndent() const;
};

}  // namespace sondralis
