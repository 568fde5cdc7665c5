#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "exports/MapExport.h"
#include "model/ColorInterpolate.h"
#include "session/SessionState.h"

class QSettings;

namespace sondralis {

// What the window keeps between runs, in a QSettings store: its size and
// place, the settings of its fields, the two colours, the folder each
// dialog showed last, and the file sets loaded last (Open Recent).
//
// Values are checked as they are read back: one that a field would not
// take (a radius of four digits, a style beyond the slider, a colour that
// is no colour) gives that field's default, so a damaged or hand-edited
// store can never start the window in a state the user could not have made.
class TWindowSettings {
 public:
  static constexpr int kRecentSets = 8;

  // Without a store nothing is read or kept.
  explicit TWindowSettings(QSettings* Store) : fStore(Store) {}

  bool Keeps() const noexcept { return fStore != nullptr; }

  // The fields and colours as kept; what is not kept stays as given.
  void LoadFields(TSessionSettings& Fields, TColor& Shallow, TColor& Deep) const;
  void SaveFields(const TSessionSettings& Fields, TColor Shallow, TColor Deep);

  // The choices of the last "Export...", or none chosen.
  TExportChoice ExportChoice() const;
  void SaveExportChoice(const TExportChoice& Choice);

  QByteArray Geometry() const;
  void SaveGeometry(const QByteArray& Geometry);

  // The folder a dialog showed last, or empty.
  QString Folder(const QString& Dialog) const;
  void SaveFolder(const QString& Dialog, const QString& Folder);

  // The file sets loaded last, newest first. A set loaded again moves to the
  // front; the ninth oldest goes.
  std::vector<QStringList> RecentSets() const;
  void AddRecentSet(const QStringList& Paths);
  void ClearRecentSets();

  // Forgets everything but the recent file sets.
  void Reset();
  void Sync();

 private:
  QSettings* fStore;
};

}  // namespace sondralis
