#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace sondralis {

class TSession;

// "Corrections..." of the Source Tracks tab: what loading does to the
// readings of the next files (the transducer's depth, spikes, depths from
// elevations, the water level from a gauge table or estimated where the
// tracks of different trips cross) and the shoreline's part in the map (its
// depth, soundings outside it). OK writes the fields into the session's
// settings; Cancel leaves them as they were. "Estimate now" estimates the
// levels of the files already loaded and lists each trip's level, the
// crossings it rests on and what disagreement is left there; "Apply
// levels" corrects the loaded readings by them.
class TCorrectionsDialog : public QDialog {
 public:
  TCorrectionsDialog(QWidget* Parent, TSession& Session);

  // The fields into the session's settings (what OK does).
  void Store();

  QLineEdit *TransducerDepth = nullptr, *ShoreDepth = nullptr, *LevelDatum = nullptr;
  QCheckBox *Despike = nullptr, *DepthFromElevation = nullptr, *AutoLevel = nullptr, *KeepOutside = nullptr;
  QLabel* LevelTable = nullptr;
  QPushButton *ChooseTable = nullptr, *ClearTable = nullptr, *EstimateNow = nullptr, *ApplyLevels = nullptr;
  QTableWidget* Levels = nullptr;

 private:
  void ShowTable();
  void ShowEstimate();
  TSession& fSession;
  std::string fTable;  // the gauge table chosen in this dialog, or the session's
};

}  // namespace sondralis
