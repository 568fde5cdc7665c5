#pragma once

#include <QSlider>

namespace sondralis {

// A horizontal slider that can also mark a selection range from its
// minimum to SelEnd with a band under the groove; the thread slider shows
// how many interpolation workers run with it.
class TTrackBar : public QSlider {
 public:
  explicit TTrackBar(const QString& Name, QWidget* parent = nullptr);

  int SelEnd() const noexcept { return fSelEnd; }
  // A value at or below the minimum shows no band.
  void SetSelEnd(int Value);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int fSelEnd = 0;
};

}  // namespace sondralis
