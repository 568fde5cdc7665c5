#include "app/ExampleLake.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sondralis {

QStringList ExampleFiles(const QString& Folder) {
  if (Folder.isEmpty()) return {};
  const QDir dir(Folder);
  QStringList files;
  for (const char* name : {"lake_survey.gpx", "lake_shore.kml"}) {
    const QString path = dir.absoluteFilePath(QLatin1String(name));
    if (!QFileInfo(path).isFile()) return {};
    files << QDir::cleanPath(path);
  }
  return files;
}

QString FindExampleFolder(const QString& ProgramFolder) {
  QStringList candidates;
  if (!ProgramFolder.isEmpty()) {
    candidates << ProgramFolder + QStringLiteral("/examples")
               << ProgramFolder + QStringLiteral("/../share/sondralis/examples");
  }
  candidates << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("sondralis/examples"),
                                          QStandardPaths::LocateDirectory);
  for (const QString& folder : candidates)
    if (!ExampleFiles(folder).isEmpty()) return QDir::cleanPath(folder);
  return {};
}

}  // namespace sondralis
