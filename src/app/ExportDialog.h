#pragma once

#include <QDialog>

#include "exports/MapExport.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace sondralis {

// The choices of "Export...": which files to write for other programs, the
// paper of the printed chart, and how the pictures look (shaded relief,
// safety depth). The contour files need an "ISO Map" run; without one they
// are greyed with a word why. OK stays greyed while nothing is chosen.
class TExportDialog : public QDialog {
 public:
  TExportDialog(QWidget* Parent, const TExportChoice& Start, bool ContoursTraced);

  // What the boxes say now: as ticked (kept for the next export), and what
  // can be made now (the contour files only after an "ISO Map" run).
  TExportChoice Ticked() const;
  TExportChoice Choice() const;

  QCheckBox *GeoTIFF = nullptr, *GeoPackage = nullptr, *Shapefile = nullptr, *MBTiles = nullptr, *PDF = nullptr,
            *Spots = nullptr, *Report = nullptr, *Relief = nullptr, *Safety = nullptr;
  QComboBox* Paper = nullptr;
  QDoubleSpinBox* Exaggeration = nullptr;
  QSpinBox* SafetyDepth = nullptr;
  QLabel* ContoursNote = nullptr;

 private:
  void ShowState();
  bool fContoursTraced;
};

}  // namespace sondralis
