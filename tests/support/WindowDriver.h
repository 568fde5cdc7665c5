#pragma once

// Drives the main window as a user does, for the window's tests: synthetic
// mouse, wheel, key and drop events sent to its controls, dialogs answered
// by a scripted host, and a fixture with the window shown on the offscreen
// screen.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

#include "app/ImagePane.h"
#include "app/Unit1.h"
#include "session/SessionFixture.h"

namespace sondralis::testing {

// ---------------------------------------------------------------- driving the window

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, modifiers);
  QCoreApplication::sendEvent(w, &event);
}

// Press at `from`, one move to `to` with the button held, release there.
inline void Drag(QWidget* w, QPoint from, QPoint to, Qt::KeyboardModifiers release = Qt::NoModifier) {
  SendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, release);
}

inline void Hover(QWidget* w, QPoint p) { SendMouse(w, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }

inline void Wheel(QWidget* w, QPoint p, int angle) {
  QWheelEvent event(QPointF(p), QPointF(w->mapToGlobal(p)), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(w, &event);
}

inline void Key(QWidget* w, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
  QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
  QCoreApplication::sendEvent(w, &event);
}

// Drops files on the window; true when it took the drag.
inline bool Drop(QWidget* w, const std::vector<std::string>& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  QCoreApplication::sendEvent(w, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &drop);
  return true;
}

// Runs the event loop until the run going on (an interpolation, or a
// command whose work runs on a worker thread: a check, an export) is over;
// false on timeout.
inline bool WaitForRun(TForm1& form) {
  const auto running = [&form] { return form.Session().InterpolationRunning() || form.Session().CommandRunning(); };
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (!running()) loop.quit();
  });
  check.start(10);
  QTimer::singleShot(std::chrono::minutes(3), &loop, &QEventLoop::quit);
  loop.exec();
  return !running();
}
inline bool WaitForInterpolation(TForm1& form) { return WaitForRun(form); }

template <class T = QWidget>
T* Find(const TForm1& form, const char* name) {
  T* w = form.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

inline QString Text(const TForm1& form, const char* label) { return Find<QLabel>(form, label)->text(); }

inline void Click(const TForm1& form, const char* button) {
  auto* b = Find<QAbstractButton>(form, button);
  ASSERT_TRUE(b->isEnabled()) << button;
  b->click();
}

// The window as a user first sees it, shown on the offscreen screen.
class WindowTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    form = std::make_unique<TForm1>(nullptr, &host, 2);
    form->show();
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    SessionTest::TearDown();
  }

  void AddFiles(const std::vector<std::string>& paths) {
    host.OpenReplies.push_back(paths);
    Click(*form, "btnAddFiles");
    ASSERT_EQ(host.OpenFilters.back(), TSession::kAddFilesFilter);
  }

  // The geographic position under a pixel of the Source Tracks map.
  std::pair<double, double> PositionAt(int x, int y) const {
    const TGPXDraw& view = form->Session().Project().GPXView();
    return {view.XToLo(x), view.YToLa(y)};
  }

  // The window can be used: enabled, no wait cursor, nothing running.
  void ExpectUsable() const {
    EXPECT_TRUE(form->Operable());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form->Session().CommandRunning());
  }

  std::unique_ptr<TForm1> form;
};

// A pane shows its picture: the pixels painted in the pane, away from the
// labels over its corners, are the picture's.
inline void ExpectPaneShows(QWidget* pane, const TCanvas& picture) {
  const QImage shown = pane->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage& source = picture.Image();
  ASSERT_FALSE(source.isNull());
  const int w = std::min(shown.width(), source.width()), h = std::min(shown.height(), source.height()) - 20;
  int differing = 0;
  for (int y = 30; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((shown.pixel(x, y) & 0xFFFFFF) != (source.pixel(x, y) & 0xFFFFFF)) ++differing;
  EXPECT_EQ(differing, 0) << pane->objectName().toStdString();
}

}  // namespace sondralis::testing
