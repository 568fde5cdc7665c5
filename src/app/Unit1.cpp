#include "app/Unit1.h"

namespace sondralis {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Quellmor: Sondralis 2D"));
  setMinimumSize(850, 600);
  resize(1004, 677);
}

}  // namespace sondralis
