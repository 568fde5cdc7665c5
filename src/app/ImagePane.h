#pragma once

#include <functional>

#include <QWidget>

#include "view/Canvas.h"

namespace sondralis {

// A map pane: shows a picture of the session at its own pixel size in the
// top-left corner, on the pane's background, and reports the mouse, the
// wheel and its size in the picture's pixels. The picture is read where the
// session keeps it, at paint time; nothing is copied.
class TImagePane : public QWidget {
 public:
  explicit TImagePane(const QString& Name, QWidget* parent = nullptr);

  // The picture to show, or none; it must outlive the pane or be replaced.
  void SetPicture(const TCanvas* Picture);
  void SetBackground(const QColor& Color);

  std::function<void(int X, int Y, bool Left)> OnMouseDown;
  std::function<void(int X, int Y, bool Left)> OnMouseMove;
  std::function<void(int X, int Y, bool Alt)> OnMouseUp;
  // Wheel notches over (X, Y): positive away from the user.
  std::function<void(int X, int Y, double Notches)> OnWheel;
  std::function<void()> OnResize;
  // On a screen with finer pixels than the window's (a device pixel ratio
  // above 1): the picture drawn anew at that ratio, or null to show the
  // picture itself, scaled up. Not asked while a button is held on the
  // pane: a drag shows the picture the session draws its rubber band on.
  std::function<const QImage*(qreal Ratio)> DevicePicture;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  const TCanvas* fPicture = nullptr;
  QColor fBackground;
  bool fDragging = false;
};

}  // namespace sondralis
