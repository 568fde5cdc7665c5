#include <libintl.h>

#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "app/Unit1.h"
#include "model/Text.h"

int main(int argc, char** argv) {
  bindtextdomain(sondralis::kTextDomain, nullptr);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trakvel"));
  sondralis::TForm1 form;
  form.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form.size(),
                                       app.primaryScreen()->availableGeometry()));
  form.show();
  return QApplication::exec();
}
