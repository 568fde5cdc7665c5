#include <gtest/gtest.h>

#include "app/Unit1.h"

namespace sondralis {
namespace {

TEST(MainWindow, CaptionAndSizeLimits) {
  TForm1 form;
  form.show();
  EXPECT_EQ(form.windowTitle().toStdString(), "Quellmor: Sondralis 2D");
  EXPECT_EQ(form.minimumSize(), QSize(850, 600));
  EXPECT_EQ(form.size(), QSize(1004, 677));
  form.resize(400, 300);
  EXPECT_GE(form.width(), 850) << "the window cannot be made smaller than 850 x 600";
  EXPECT_GE(form.height(), 600);
}

}  // namespace
}  // namespace sondralis
