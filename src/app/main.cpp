#include <libintl.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPixmap>
#include <QSettings>
#include <QTimer>

#include <cstdio>

#include "app/AppIcon.h"
#include "app/Unit1.h"
#include "model/Text.h"
#include "session/ProjectFile.h"

namespace {

using sondralis::TForm1;

// Loads what the command line names: one project file, or recordings and
// shorelines as "Add Files..." takes them.
void LoadArguments(TForm1& form, const QStringList& files) {
  if (files.size() == 1 && sondralis::IsProjectFile(files.front().toStdString())) {
    form.OpenProjectFile(files.front().toStdString());
    return;
  }
  std::vector<std::string> paths;
  for (const QString& file : files) paths.push_back(file.toStdString());
  if (!paths.empty()) form.LoadFiles(paths);
}

}  // namespace

int main(int argc, char** argv) {
  bindtextdomain(sondralis::kTextDomain, nullptr);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Trakvel"));
  QApplication::setApplicationVersion(QStringLiteral(SONDRALIS_VERSION));
  QIcon icon;
  for (int size : {16, 32, 48, 256}) icon.addPixmap(QPixmap::fromImage(sondralis::DrawAppIcon(size)));
  QApplication::setWindowIcon(icon);
  // The desktop entry's name, so a desktop finds the icon of its window.
  QGuiApplication::setDesktopFileName(QStringLiteral("sondralis"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Sondralis: depth maps and contour lines for Humminbird units from echo-sounder recordings."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("GPX or KML files to load, or one project file (.sondralis)."),
                               QStringLiteral("[FILE...]"));
  const QCommandLineOption example(QStringLiteral("example"), QStringLiteral("Open the example lake."));
  const QCommandLineOption screenshot(
      QStringLiteral("screenshot"),
      QStringLiteral("When the window is ready and the files are loaded, save a picture of it as PNG and quit."),
      QStringLiteral("PNG"));
  parser.addOption(example);
  parser.addOption(screenshot);
  parser.process(app);

  // What the window keeps between runs: ~/.config/Sondralis/sondralis.conf.
  QSettings settings(QStringLiteral("Sondralis"), QStringLiteral("sondralis"));
  TForm1 form(nullptr, nullptr, 0, &settings);
  form.PlaceOnScreen();
  form.show();

  if (parser.isSet(example) && form.ExampleFolder().isEmpty()) {
    std::fprintf(stderr, "sondralis: the example lake is not installed beside the program\n");
    return 1;
  }
  // After the first paint, so the window is there while the files load.
  QTimer::singleShot(0, &form, [&] {
    if (parser.isSet(example)) form.OpenExample();
    LoadArguments(form, parser.positionalArguments());
    if (!parser.isSet(screenshot)) return;
    const QString path = parser.value(screenshot);
    QTimer::singleShot(0, &form, [&form, path] {
      form.grab().save(path, "PNG") ? QApplication::exit(0) : QApplication::exit(1);
    });
  });
  return QApplication::exec();
}
