#include "app/WindowSettings.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <utility>

namespace sondralis {

namespace {

// Whole numbers of at most Digits digits: what the digit-only fields take.
bool DigitsOnly(const QString& text, int Digits) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
  return !text.isEmpty() && text.size() <= Digits && digits.match(text).hasMatch();
}

QString ColourText(TColor colour) {
  return QStringLiteral("#%1%2%3")
      .arg(colour & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((colour >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((colour >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

bool ParseColour(const QString& text, TColor& colour) {
  static const QRegularExpression hex(QStringLiteral("^#[0-9a-fA-F]{6}$"));
  if (!hex.match(text).hasMatch()) return false;
  const unsigned rgb = text.mid(1).toUInt(nullptr, 16);
  colour = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  return true;
}

const QString kFields = QStringLiteral("fields/");
const QString kFolders = QStringLiteral("folders/");
const QString kRecent = QStringLiteral("recent");
const QString kExport = QStringLiteral("export/");
const QString kCorrections = QStringLiteral("corrections/");

}  // namespace

void TWindowSettings::LoadFields(TSessionSettings& Fields, TColor& Shallow, TColor& Deep) const {
  if (!fStore) return;
  const QSettings& s = *fStore;
  const QString radius = s.value(kFields + QStringLiteral("radius")).toString();
  if (DigitsOnly(radius, 3)) Fields.InterpolationWidth = radius.toStdString();
  bool ok = false;
  const int style = s.value(kFields + QStringLiteral("style")).toInt(&ok);
  if (ok && style >= 2 && style <= 14) Fields.InterpolatorStyle = style;
  const QString method = s.value(kFields + QStringLiteral("method")).toString();
  if (method == QLatin1String("shepard")) Fields.InterpolationMethod = TInterpolationMethod::Shepard;
  if (method == QLatin1String("surface")) Fields.InterpolationMethod = TInterpolationMethod::Surface;
  const double tolerance = s.value(kFields + QStringLiteral("tolerance")).toDouble(&ok);
  if (ok && tolerance >= 0 && tolerance <= 100) Fields.InterpolationTolerance = tolerance;
  const QString step = s.value(kFields + QStringLiteral("step")).toString();
  if (DigitsOnly(step, 4)) Fields.IsoStep = step.toStdString();
  const QVariant name = s.value(kFields + QStringLiteral("trackName"));
  if (name.isValid() && name.toString().size() <= 20) Fields.TrackName = name.toString().toStdString();
  const QVariant reduce = s.value(kFields + QStringLiteral("reduceWaypoints"));
  if (reduce.isValid()) Fields.ReduceWaypoints = reduce.toBool();
  const QString tracer = s.value(kFields + QStringLiteral("tracer")).toString();
  if (tracer == QLatin1String("pixel")) Fields.IsoTracer = TContourTracer::Pixel;
  if (tracer == QLatin1String("chart")) Fields.IsoTracer = TContourTracer::Chart;
  if (tracer == QLatin1String("method")) Fields.IsoTracer.reset();
  const QVariant ring = s.value(kFields + QStringLiteral("minRing"));
  if (ring.isValid() && (ring.toString().isEmpty() || DigitsOnly(ring.toString(), 4)))
    Fields.IsoMinRing = ring.toString().toStdString();
  for (auto [key, value] : {std::pair{"smooth", &Fields.IsoSmooth}, std::pair{"labels", &Fields.IsoLabels},
                            std::pair{"chartTracks", &Fields.ChartTracks}}) {
    const QVariant v = s.value(kFields + QLatin1String(key));
    if (v.isValid()) *value = v.toBool();
  }
  // The corrections as their fields take them; the session checks the
  // values before the next load.
  const QString transducer = s.value(kCorrections + QStringLiteral("transducer")).toString();
  if (!transducer.isEmpty() && transducer.size() <= 12) Fields.TransducerDepth = transducer.toStdString();
  const QString shore = s.value(kCorrections + QStringLiteral("shoreDepth")).toString();
  if (!shore.isEmpty() && shore.size() <= 12) Fields.ShoreDepth = shore.toStdString();
  auto flag = [&](const char* key, bool& value) {
    const QVariant v = s.value(kCorrections + QLatin1String(key));
    if (v.isValid()) value = v.toBool();
  };
  flag("despike", Fields.Despike);
  flag("depthFromElevation", Fields.DepthFromElevation);
  flag("autoLevel", Fields.AutoLevel);
  flag("keepOutside", Fields.KeepOutside);
  TColor colour = 0;
  if (ParseColour(s.value(QStringLiteral("colours/shallow")).toString(), colour)) Shallow = colour;
  if (ParseColour(s.value(QStringLiteral("colours/deep")).toString(), colour)) Deep = colour;
}

void TWindowSettings::SaveFields(const TSessionSettings& Fields, TColor Shallow, TColor Deep) {
  if (!fStore) return;
  QSettings& s = *fStore;
  s.setValue(kFields + QStringLiteral("radius"), QString::fromStdString(Fields.InterpolationWidth));
  s.setValue(kFields + QStringLiteral("style"), Fields.InterpolatorStyle);
  s.setValue(kFields + QStringLiteral("method"), QLatin1String(Fields.InterpolationMethod == TInterpolationMethod::Surface
                                                                    ? "surface"
                                                                    : "shepard"));
  s.setValue(kFields + QStringLiteral("tolerance"), Fields.InterpolationTolerance);
  s.setValue(kFields + QStringLiteral("step"), QString::fromStdString(Fields.IsoStep));
  s.setValue(kFields + QStringLiteral("tracer"), QLatin1String(!Fields.IsoTracer                          ? "method"
                                                               : *Fields.IsoTracer == TContourTracer::Pixel ? "pixel"
                                                                                                            : "chart"));
  s.setValue(kFields + QStringLiteral("minRing"), QString::fromStdString(Fields.IsoMinRing));
  s.setValue(kFields + QStringLiteral("smooth"), Fields.IsoSmooth);
  s.setValue(kFields + QStringLiteral("labels"), Fields.IsoLabels);
  s.setValue(kFields + QStringLiteral("chartTracks"), Fields.ChartTracks);
  s.setValue(kFields + QStringLiteral("trackName"), QString::fromStdString(Fields.TrackName));
  s.setValue(kFields + QStringLiteral("reduceWaypoints"), Fields.ReduceWaypoints);
  s.setValue(kCorrections + QStringLiteral("transducer"), QString::fromStdString(Fields.TransducerDepth));
  s.setValue(kCorrections + QStringLiteral("shoreDepth"), QString::fromStdString(Fields.ShoreDepth));
  s.setValue(kCorrections + QStringLiteral("despike"), Fields.Despike);
  s.setValue(kCorrections + QStringLiteral("depthFromElevation"), Fields.DepthFromElevation);
  s.setValue(kCorrections + QStringLiteral("autoLevel"), Fields.AutoLevel);
  s.setValue(kCorrections + QStringLiteral("keepOutside"), Fields.KeepOutside);
  s.setValue(QStringLiteral("colours/shallow"), ColourText(Shallow));
  s.setValue(QStringLiteral("colours/deep"), ColourText(Deep));
}

TExportChoice TWindowSettings::ExportChoice() const {
  TExportChoice c;
  if (!fStore) return c;
  const QSettings& s = *fStore;
  auto flag = [&](const char* key, bool& value) { value = s.value(kExport + QLatin1String(key), false).toBool(); };
  flag("geotiff", c.GeoTIFF);
  flag("gpkg", c.GeoPackage);
  flag("shp", c.Shapefile);
  flag("mbtiles", c.MBTiles);
  flag("pdf", c.PDF);
  flag("spots", c.Spots);
  flag("report", c.Report);
  if (s.value(kExport + QStringLiteral("paper")).toString() == QLatin1String("A3")) c.Paper = TPaper::A3;
  bool ok = false;
  const double relief = s.value(kExport + QStringLiteral("relief")).toDouble(&ok);
  if (ok && relief > 0 && relief <= 100) c.Relief = relief;
  const int safety = s.value(kExport + QStringLiteral("safety")).toInt(&ok);
  if (ok && safety > 0 && safety <= 9999) c.SafetyDepth = safety;
  return c;
}

void TWindowSettings::SaveExportChoice(const TExportChoice& Choice) {
  if (!fStore) return;
  QSettings& s = *fStore;
  s.setValue(kExport + QStringLiteral("geotiff"), Choice.GeoTIFF);
  s.setValue(kExport + QStringLiteral("gpkg"), Choice.GeoPackage);
  s.setValue(kExport + QStringLiteral("shp"), Choice.Shapefile);
  s.setValue(kExport + QStringLiteral("mbtiles"), Choice.MBTiles);
  s.setValue(kExport + QStringLiteral("pdf"), Choice.PDF);
  s.setValue(kExport + QStringLiteral("spots"), Choice.Spots);
  s.setValue(kExport + QStringLiteral("report"), Choice.Report);
  s.setValue(kExport + QStringLiteral("paper"), QLatin1String(Choice.Paper == TPaper::A3 ? "A3" : "A4"));
  s.setValue(kExport + QStringLiteral("relief"), Choice.Relief);
  s.setValue(kExport + QStringLiteral("safety"), Choice.SafetyDepth);
}

QByteArray TWindowSettings::Geometry() const {
  return fStore ? fStore->value(QStringLiteral("window/geometry")).toByteArray() : QByteArray();
}

void TWindowSettings::SaveGeometry(const QByteArray& Geometry) {
  if (fStore) fStore->setValue(QStringLiteral("window/geometry"), Geometry);
}

QString TWindowSettings::Folder(const QString& Dialog) const {
  return fStore ? fStore->value(kFolders + Dialog).toString() : QString();
}

void TWindowSettings::SaveFolder(const QString& Dialog, const QString& Folder) {
  if (fStore && !Folder.isEmpty()) fStore->setValue(kFolders + Dialog, Folder);
}

std::vector<QStringList> TWindowSettings::RecentSets() const {
  std::vector<QStringList> sets;
  if (!fStore) return sets;
  const int count = fStore->beginReadArray(kRecent);
  for (int i = 0; i < count && static_cast<int>(sets.size()) < kRecentSets; ++i) {
    fStore->setArrayIndex(i);
    const QStringList files = fStore->value(QStringLiteral("files")).toStringList();
    if (!files.isEmpty()) sets.push_back(files);
  }
  fStore->endArray();
  return sets;
}

void TWindowSettings::AddRecentSet(const QStringList& Paths) {
  if (!fStore || Paths.isEmpty()) return;
  std::vector<QStringList> sets = RecentSets();
  sets.erase(std::remove(sets.begin(), sets.end(), Paths), sets.end());
  sets.insert(sets.begin(), Paths);
  if (static_cast<int>(sets.size()) > kRecentSets) sets.resize(kRecentSets);
  fStore->remove(kRecent);
  fStore->beginWriteArray(kRecent, static_cast<int>(sets.size()));
  for (int i = 0; i < static_cast<int>(sets.size()); ++i) {
    fStore->setArrayIndex(i);
    fStore->setValue(QStringLiteral("files"), sets[static_cast<std::size_t>(i)]);
  }
  fStore->endArray();
}

void TWindowSettings::ClearRecentSets() {
  if (fStore) fStore->remove(kRecent);
}

void TWindowSettings::Reset() {
  if (!fStore) return;
  const std::vector<QStringList> recent = RecentSets();
  fStore->clear();
  for (auto it = recent.rbegin(); it != recent.rend(); ++it) AddRecentSet(*it);
}

void TWindowSettings::Sync() {
  if (fStore) fStore->sync();
}

}  // namespace sondralis
