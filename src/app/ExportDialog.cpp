#include "app/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sondralis {

namespace {

QCheckBox* Box(const char* Name, const QString& Caption, const QString& Hint, bool Checked) {
  auto* box = new QCheckBox(Caption);
  box->setObjectName(QLatin1String(Name));
  box->setToolTip(Hint);
  box->setChecked(Checked);
  return box;
}

}  // namespace

TExportDialog::TExportDialog(QWidget* Parent, const TExportChoice& Start, bool ContoursTraced)
    : QDialog(Parent), fContoursTraced(ContoursTraced) {
  setObjectName(QStringLiteral("ExportDialog"));
  setWindowTitle(QStringLiteral("Export"));
  auto* layout = new QVBoxLayout(this);

  auto* files = new QGroupBox(QStringLiteral("Files for other programs"));
  auto* list = new QVBoxLayout(files);
  GeoTIFF = Box("GeoTIFF", QStringLiteral("Depth grid for GIS programs (depth.tif)"),
                QStringLiteral("The depths and each cell's distance to the nearest sounding, for QGIS or ArcGIS."),
                Start.GeoTIFF);
  GeoPackage =
      Box("GeoPackage", QStringLiteral("Contours and soundings for QGIS (contours.gpkg)"),
          QStringLiteral("The contour lines, the soundings and the safety contour as layers."), Start.GeoPackage);
  Shapefile = Box("Shapefile", QStringLiteral("Contours as a shapefile (contours.shp)"),
                  QStringLiteral("For ArcGIS and older GIS programs."), Start.Shapefile);
  MBTiles = Box("MBTiles", QStringLiteral("Chart as map tiles for phone apps (chart.mbtiles)"),
                QStringLiteral("The chart for offline map apps on a phone or plotter."), Start.MBTiles);
  PDF = Box("PDF", QStringLiteral("Chart to print (chart.pdf)"),
            QStringLiteral("Depth colours, labelled contours, legend, scale bar and the lake's figures."), Start.PDF);
  Spots = Box("Spots", QStringLiteral("Fishing spots: holes, humps, drop-offs (spots.gpx, spots.hwr)"),
              QStringLiteral("spots.hwr goes into the folder matrix on the unit's SD card beside the HT files."),
              Start.Spots);
  Report =
      Box("Report", QStringLiteral("Lake report: area, volume, depths (report.csv, report.json)"),
          QStringLiteral("Surface, volume, mean and greatest depth and the area of each depth band."), Start.Report);
  for (QCheckBox* box : {GeoTIFF, GeoPackage, Shapefile, MBTiles, PDF, Spots, Report}) list->addWidget(box);
  ContoursNote = new QLabel(QStringLiteral("The contour files need the lines: run \"ISO Map\" first."));
  ContoursNote->setObjectName(QStringLiteral("ContoursNote"));
  ContoursNote->setWordWrap(true);
  list->addWidget(ContoursNote);
  layout->addWidget(files);

  auto* looks = new QGroupBox(QStringLiteral("Pictures and charts"));
  auto* grid = new QGridLayout(looks);
  grid->addWidget(new QLabel(QStringLiteral("Paper of chart.pdf:")), 0, 0);
  Paper = new QComboBox;
  Paper->setObjectName(QStringLiteral("Paper"));
  Paper->addItems({QStringLiteral("A4 landscape"), QStringLiteral("A3 landscape")});
  Paper->setCurrentIndex(Start.Paper == TPaper::A3 ? 1 : 0);
  grid->addWidget(Paper, 0, 1);
  Relief = Box("Relief", QStringLiteral("Shaded relief, steepened"),
               QStringLiteral("Lights the depth colours from the north-west so holes, humps and drop-offs stand out."),
               Start.Relief > 0);
  grid->addWidget(Relief, 1, 0);
  Exaggeration = new QDoubleSpinBox;
  Exaggeration->setObjectName(QStringLiteral("Exaggeration"));
  Exaggeration->setRange(0.1, 100);
  Exaggeration->setDecimals(1);
  Exaggeration->setSuffix(QStringLiteral(" x"));
  Exaggeration->setValue(Start.Relief > 0 ? Start.Relief : 1);
  grid->addWidget(Exaggeration, 1, 1);
  Safety =
      Box("Safety", QStringLiteral("Safety depth, water shallower hatched"),
          QStringLiteral("Hatches shallower water in magenta and draws its contour in bold."), Start.SafetyDepth > 0);
  grid->addWidget(Safety, 2, 0);
  SafetyDepth = new QSpinBox;
  SafetyDepth->setObjectName(QStringLiteral("SafetyDepth"));
  SafetyDepth->setRange(1, 9999);
  SafetyDepth->setSuffix(QStringLiteral(" cm"));
  SafetyDepth->setValue(Start.SafetyDepth > 0 ? Start.SafetyDepth : 200);
  grid->addWidget(SafetyDepth, 2, 1);
  layout->addWidget(looks);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export..."));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  for (QCheckBox* box : {GeoTIFF, GeoPackage, Shapefile, MBTiles, PDF, Spots, Report, Relief, Safety})
    connect(box, &QCheckBox::toggled, this, [this] { ShowState(); });
  ShowState();
}

TExportChoice TExportDialog::Ticked() const {
  TExportChoice c;
  c.GeoTIFF = GeoTIFF->isChecked();
  c.GeoPackage = GeoPackage->isChecked();
  c.Shapefile = Shapefile->isChecked();
  c.MBTiles = MBTiles->isChecked();
  c.PDF = PDF->isChecked();
  c.Spots = Spots->isChecked();
  c.Report = Report->isChecked();
  c.Paper = Paper->currentIndex() == 1 ? TPaper::A3 : TPaper::A4;
  c.Relief = Relief->isChecked() ? Exaggeration->value() : 0;
  c.SafetyDepth = Safety->isChecked() ? SafetyDepth->value() : 0;
  return c;
}

TExportChoice TExportDialog::Choice() const {
  TExportChoice c = Ticked();
  c.GeoPackage = c.GeoPackage && fContoursTraced;
  c.Shapefile = c.Shapefile && fContoursTraced;
  return c;
}

void TExportDialog::ShowState() {
  GeoPackage->setEnabled(fContoursTraced);
  Shapefile->setEnabled(fContoursTraced);
  ContoursNote->setVisible(!fContoursTraced);
  Paper->setEnabled(PDF->isChecked());
  Exaggeration->setEnabled(Relief->isChecked());
  SafetyDepth->setEnabled(Safety->isChecked());
  const TExportChoice c = Choice();
  if (auto* ok = findChild<QDialogButtonBox*>()) ok->button(QDialogButtonBox::Ok)->setEnabled(c.Any());
}

}  // namespace sondralis
