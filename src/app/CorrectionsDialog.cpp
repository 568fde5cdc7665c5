#include "app/CorrectionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/Numbers.h"
#include "session/Session.h"

namespace sondralis {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* Edit(const char* Name, const std::string& Text, const QString& Hint) {
  auto* edit = new QLineEdit(Q(Text));
  edit->setObjectName(QLatin1String(Name));
  edit->setToolTip(Hint);
  edit->setMaximumWidth(90);
  return edit;
}

QCheckBox* Box(const char* Name, const QString& Caption, bool Checked, const QString& Hint) {
  auto* box = new QCheckBox(Caption);
  box->setObjectName(QLatin1String(Name));
  box->setChecked(Checked);
  box->setToolTip(Hint);
  return box;
}

QPushButton* Button(const char* Name, const QString& Caption) {
  auto* button = new QPushButton(Caption);
  button->setObjectName(QLatin1String(Name));
  return button;
}

}  // namespace

TCorrectionsDialog::TCorrectionsDialog(QWidget* Parent, TSession& Session) : QDialog(Parent), fSession(Session) {
  setObjectName(QStringLiteral("CorrectionsDialog"));
  setWindowTitle(QStringLiteral("Corrections"));
  const TSessionSettings& s = Session.Settings;
  fTable = s.LevelTable;
  auto* layout = new QVBoxLayout(this);

  auto* reading = new QGroupBox(QStringLiteral("Readings of the files you add next"));
  auto* form = new QFormLayout(reading);
  TransducerDepth =
      Edit("TransducerDepth", s.TransducerDepth,
           QStringLiteral("How deep the transducer sits below the surface, in cm: added to every reading."));
  form->addRow(QStringLiteral("Transducer depth (cm):"), TransducerDepth);
  Despike = Box("Despike", QStringLiteral("Remove spikes (single readings far off their neighbours)"), s.Despike,
                QStringLiteral("Fish, weed and lost-bottom readings that jump away from the readings around them."));
  form->addRow(Despike);
  DepthFromElevation =
      Box("DepthFromElevation", QStringLiteral("GPX files without depths: depth from the elevation"),
          s.DepthFromElevation, QStringLiteral("For programs that write the depth as a negative elevation (<ele>)."));
  form->addRow(DepthFromElevation);
  layout->addWidget(reading);

  auto* level = new QGroupBox(QStringLiteral("Water level"));
  auto* levelForm = new QFormLayout(level);
  auto* table = new QHBoxLayout;
  LevelTable = new QLabel;
  LevelTable->setObjectName(QStringLiteral("LevelTable"));
  ChooseTable = Button("ChooseTable", QStringLiteral("Gauge table..."));
  ChooseTable->setToolTip(
      QStringLiteral("A CSV file of time,level_cm lines from a gauge: each reading is corrected "
                     "by the level at its time."));
  ClearTable = Button("ClearTable", QStringLiteral("None"));
  table->addWidget(LevelTable, 1);
  table->addWidget(ChooseTable);
  table->addWidget(ClearTable);
  levelForm->addRow(QStringLiteral("Gauge table:"), table);
  LevelDatum = Edit("LevelDatum", s.LevelDatum,
                    QStringLiteral("The gauge level the depths refer to, in cm; empty: the table's lowest level."));
  levelForm->addRow(QStringLiteral("Datum (cm):"), LevelDatum);
  AutoLevel =
      Box("AutoLevel", QStringLiteral("Estimate each trip's level where its tracks cross the loaded ones"), s.AutoLevel,
          QStringLiteral("For trips on different days without a gauge: each batch of files is levelled to "
                         "the tracks already loaded where they cross."));
  levelForm->addRow(AutoLevel);
  auto* estimate = new QHBoxLayout;
  EstimateNow = Button("EstimateNow", QStringLiteral("Estimate now"));
  EstimateNow->setToolTip(
      QStringLiteral("Estimates the level of every trip loaded where the tracks cross, without "
                     "changing anything yet."));
  ApplyLevels = Button("ApplyLevels", QStringLiteral("Apply levels"));
  ApplyLevels->setToolTip(QStringLiteral("Corrects the loaded readings by the estimated levels."));
  estimate->addWidget(EstimateNow);
  estimate->addWidget(ApplyLevels);
  estimate->addStretch(1);
  levelForm->addRow(estimate);
  Levels = new QTableWidget(0, 5);
  Levels->setObjectName(QStringLiteral("Levels"));
  Levels->setHorizontalHeaderLabels({QStringLiteral("Trip"), QStringLiteral("Level (cm)"), QStringLiteral("± (cm)"),
                                     QStringLiteral("Crossings"), QStringLiteral("Left (cm)")});
  Levels->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Levels->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  Levels->setMinimumWidth(480);
  Levels->verticalHeader()->hide();
  Levels->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Levels->setMinimumHeight(110);
  levelForm->addRow(Levels);
  layout->addWidget(level);

  auto* shore = new QGroupBox(QStringLiteral("Shoreline in the map"));
  auto* shoreForm = new QFormLayout(shore);
  ShoreDepth = Edit("ShoreDepth", s.ShoreDepth,
                    QStringLiteral("The depth the shoreline gives the map, in cm, or \"none\": the shoreline only "
                                   "bounds the map."));
  shoreForm->addRow(QStringLiteral("Shoreline depth (cm or none):"), ShoreDepth);
  KeepOutside = Box("KeepOutside", QStringLiteral("Map soundings outside the shoreline too"), s.KeepOutside,
                    QStringLiteral("When the shoreline is rough and the tracks run past it."));
  shoreForm->addRow(KeepOutside);
  layout->addWidget(shore);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Store();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(ChooseTable, &QPushButton::clicked, this, [this] {
    // The session reads the table and takes it only when it can be read;
    // this dialog keeps the choice until OK.
    const std::string before = fSession.Settings.LevelTable;
    if (fSession.ChooseLevelTable()) fTable = fSession.Settings.LevelTable;
    fSession.Settings.LevelTable = before;
    ShowTable();
  });
  connect(ClearTable, &QPushButton::clicked, this, [this] {
    fTable.clear();
    ShowTable();
  });
  connect(EstimateNow, &QPushButton::clicked, this, [this] {
    fSession.EstimateLevels();
    ShowEstimate();
  });
  connect(ApplyLevels, &QPushButton::clicked, this, [this] {
    fSession.ApplyLevelEstimate();
    ShowEstimate();
  });
  ShowTable();
  ShowEstimate();
}

void TCorrectionsDialog::Store() {
  TSessionSettings& s = fSession.Settings;
  s.TransducerDepth = TransducerDepth->text().trimmed().toStdString();
  s.Despike = Despike->isChecked();
  s.DepthFromElevation = DepthFromElevation->isChecked();
  s.LevelTable = fTable;
  s.LevelDatum = LevelDatum->text().trimmed().toStdString();
  s.AutoLevel = AutoLevel->isChecked();
  s.ShoreDepth = ShoreDepth->text().trimmed().toStdString();
  s.KeepOutside = KeepOutside->isChecked();
}

void TCorrectionsDialog::ShowTable() {
  LevelTable->setText(fTable.empty() ? QStringLiteral("none") : QFileInfo(Q(fTable)).fileName());
  LevelTable->setToolTip(Q(fTable));
  ClearTable->setEnabled(!fTable.empty());
}

void TCorrectionsDialog::ShowEstimate() {
  const bool loaded = fSession.Project().FileLoaded();
  EstimateNow->setEnabled(loaded);
  const auto& estimate = fSession.LevelEstimate();
  ApplyLevels->setEnabled(estimate.has_value());
  Levels->setRowCount(0);
  if (!estimate) return;
  const auto& sessions = estimate->Estimate.Sessions;
  Levels->setRowCount(static_cast<int>(sessions.size()));
  for (int row = 0; row < static_cast<int>(sessions.size()); ++row) {
    const TSessionLevel& level = sessions[static_cast<std::size_t>(row)];
    auto cell = [&](int column, const std::string& text) {
      Levels->setItem(row, column, new QTableWidgetItem(Q(text)));
    };
    cell(0, level.Name);
    cell(1, level.Estimated ? FormatFixed(level.OffsetCm, 1) : std::string("unknown"));
    cell(2, level.Estimated ? FormatFixed(level.StdErrorCm, 1) : std::string());
    cell(3, std::to_string(level.Crossings));
    cell(4, level.Estimated ? FormatFixed(level.ResidualCm, 1) : std::string());
  }
}

}  // namespace sondralis
