#pragma once

#include <QMainWindow>

namespace sondralis {

// The main window. It owns the application state and its commands; for now
// it is the empty frame with its caption and size limits.
class TForm1 : public QMainWindow {
 public:
  explicit TForm1(QWidget* parent = nullptr);
};

}  // namespace sondralis
