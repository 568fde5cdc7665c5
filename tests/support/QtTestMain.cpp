// Test main for code that needs a Qt application object. Tests run on the
// offscreen platform, so no display is needed.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef SONDRALIS_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
