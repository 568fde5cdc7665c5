// sondralis-icons OUTDIR: writes the program's icon as OUTDIR/N/sondralis.png
// for the sizes a desktop asks for; the build installs them into the icon
// theme's folders.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "app/AppIcon.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: sondralis-icons OUTDIR\n");
    return 2;
  }
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!QDir().mkpath(folder) ||
        !sondralis::DrawAppIcon(size).save(folder + QStringLiteral("/sondralis.png"), "PNG")) {
      std::fprintf(stderr, "sondralis-icons: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
