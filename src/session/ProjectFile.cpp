#include "session/ProjectFile.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "formats/AtomicFile.h"
#include "formats/LevelTable.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFormat = "sondralis-project";
constexpr int kVersion = 1;
// A project file is a few kilobytes; anything far larger is no project.
constexpr std::uintmax_t kMaxProjectBytes = 16 * 1024 * 1024;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string ColourText(TColor colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return text;
}

std::optional<TColor> ParseColour(const QString& text) {
  QString hex = text;
  if (hex.startsWith(QLatin1Char('#'))) hex.remove(0, 1);
  bool ok = false;
  const unsigned rgb = hex.toUInt(&ok, 16);
  if (!ok || hex.size() != 6) return std::nullopt;
  // RRGGBB as written, red in the low byte as the program keeps it.
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

const char* MethodKey(TInterpolationMethod method) {
  return method == TInterpolationMethod::Surface ? "surface" : "shepard";
}

fs::path Absolute(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) absolute = fs::path(path);
  return absolute.lexically_normal();
}

// The input's path as the file keeps it: relative to the project's folder
// where one leads from there to it, absolute otherwise.
std::string StoredPath(const std::string& input, const fs::path& folder) {
  const fs::path absolute = Absolute(input);
  const fs::path relative = absolute.lexically_relative(folder);
  if (relative.empty()) return absolute.generic_string();
  return relative.generic_string();
}

// Reads one value of a settings object, checking its kind and range; a key
// that is absent leaves the default.
class TReader {
 public:
  TReader(const std::string& ProjectPath) : fPath(ProjectPath) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw EProjectFileError(fPath + ": " + what);
  }

  void Int(const QJsonObject& object, const char* section, const char* key, int min, int max, int& value) const {
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined()) return;
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || d != std::floor(d) || d < min || d > max)
      Fail(std::string(section) + "." + key + " is not a whole number from " + std::to_string(min) + " to " +
           std::to_string(max));
    value = static_cast<int>(d);
  }

  void Number(const QJsonObject& object, const char* section, const char* key, double min, double& value) const {
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined()) return;
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < min)
      Fail(std::string(section) + "." + key + " is not a number of at least " + FormatFixed(min, 0));
    value = v.toDouble();
  }

  void Bool(const QJsonObject& object, const char* section, const char* key, bool& value) const {
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined()) return;
    if (!v.isBool()) Fail(std::string(section) + "." + key + " is not true or false");
    value = v.toBool();
  }

  void Text(const QJsonObject& object, const char* section, const char* key, std::string& value) const {
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined()) return;
    if (!v.isString()) Fail(std::string(section) + "." + key + " is not a text");
    value = v.toString().toStdString();
  }

  void Colour(const QJsonObject& object, const char* key, TColor& value) const {
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined()) return;
    const std::optional<TColor> colour = v.isString() ? ParseColour(v.toString()) : std::nullopt;
    if (!colour) Fail(std::string("colours.") + key + " is not a colour written as #RRGGBB");
    value = *colour;
  }

  QJsonObject Section(const QJsonObject& root, const char* key) const {
    const QJsonValue v = root.value(QLatin1String(key));
    if (v.isUndefined()) return {};
    if (!v.isObject()) Fail(std::string(key) + " is not an object");
    return v.toObject();
  }

 private:
  std::string fPath;
};

// The corrections an input was loaded with, and the levels applied to its
// sessions since.
QJsonObject CorrectionsObject(const TInputCorrections& c, const fs::path& folder) {
  QJsonObject object;
  object.insert(QStringLiteral("depthFromElevation"), c.DepthFromElevation);
  object.insert(QStringLiteral("despike"), c.Despike);
  object.insert(QStringLiteral("transducer"), c.TransducerCm);
  if (c.LevelCm) object.insert(QStringLiteral("level"), *c.LevelCm);
  object.insert(QStringLiteral("gauge"), c.Gauge);
  if (!c.GaugeTable.empty()) object.insert(QStringLiteral("gaugeTable"), Q(StoredPath(c.GaugeTable, folder)));
  if (c.DatumCm) object.insert(QStringLiteral("datum"), *c.DatumCm);
  QJsonObject levels;
  for (const auto& [session, applied] : c.SessionLevelsCm) {
    QJsonArray list;
    for (const double cm : applied) list.append(cm);
    levels.insert(Q(session), list);
  }
  object.insert(QStringLiteral("sessionLevels"), levels);
  return object;
}

// A path as the file keeps it, absolute.
std::string Resolved(const std::string& stored, const fs::path& folder) {
  const fs::path path(stored);
  return (path.is_absolute() ? path : folder / path).lexically_normal().string();
}

TInputCorrections ReadCorrections(const TReader& read, const QJsonObject& object, const fs::path& folder) {
  TInputCorrections c;
  read.Bool(object, "inputs.corrections", "depthFromElevation", c.DepthFromElevation);
  read.Bool(object, "inputs.corrections", "despike", c.Despike);
  read.Number(object, "inputs.corrections", "transducer", 0, c.TransducerCm);
  if (object.contains(QStringLiteral("level"))) {
    double level = 0;
    read.Number(object, "inputs.corrections", "level", -100000, level);
    c.LevelCm = level;
  }
  read.Bool(object, "inputs.corrections", "gauge", c.Gauge);
  std::string table;
  read.Text(object, "inputs.corrections", "gaugeTable", table);
  if (!table.empty()) c.GaugeTable = Resolved(table, folder);
  if (object.contains(QStringLiteral("datum"))) {
    double datum = 0;
    read.Number(object, "inputs.corrections", "datum", -1e6, datum);
    c.DatumCm = datum;
  }
  const QJsonObject levels = read.Section(object, "sessionLevels");
  for (auto it = levels.begin(); it != levels.end(); ++it) {
    if (!it.value().isArray()) read.Fail("inputs.corrections.sessionLevels." + it.key().toStdString() + " is not a list");
    std::vector<double>& applied = c.SessionLevelsCm[it.key().toStdString()];
    for (const QJsonValue& cm : it.value().toArray()) {
      if (!cm.isDouble() || !std::isfinite(cm.toDouble()))
        read.Fail("inputs.corrections.sessionLevels." + it.key().toStdString() + " holds a value that is no number");
      applied.push_back(cm.toDouble());
    }
  }
  return c;
}

}  // namespace

bool TProjectFile::operator==(const TProjectFile& Other) const {
  if (Inputs.size() != Other.Inputs.size()) return false;
  for (std::size_t i = 0; i < Inputs.size(); ++i)
    if (Inputs[i].Path != Other.Inputs[i].Path || !(Inputs[i].Rule == Other.Inputs[i].Rule) ||
        Inputs[i].Applied != Other.Inputs[i].Applied)
      return false;
  return Settings == Other.Settings && Shallow == Other.Shallow && Deep == Other.Deep &&
         PictureSize == Other.PictureSize;
}

bool IsProjectFile(const std::string& Path) {
  const std::string extension = fs::path(Path).extension().string();
  return ToLowerAscii(extension) == kProjectExtension;
}

TProjectFile ProjectFileOf(const TProject& Project) {
  TProjectFile file;
  file.Inputs = Project.Inputs();
  file.Settings = Project.Settings;
  file.Settings.Interpolation.Threads = TInterpolationSettings{}.Threads;
  file.Shallow = Project.clShallowWater();
  file.Deep = Project.clDeepWater();
  file.PictureSize = std::make_pair(Project.MapWidth(), Project.MapHeight());
  return file;
}

std::string ProjectFileText(const TProjectFile& File, const std::string& ProjectPath) {
  const fs::path folder = Absolute(ProjectPath).parent_path();
  QJsonArray inputs;
  for (const TProjectInput& input : File.Inputs) {
    QJsonObject entry;
    entry.insert(QStringLiteral("path"), Q(StoredPath(input.Path, folder)));
    if (input.Rule.Depth) entry.insert(QStringLiteral("depth"), *input.Rule.Depth);
    if (input.Rule.Offset) entry.insert(QStringLiteral("offset"), *input.Rule.Offset);
    if (input.Applied) entry.insert(QStringLiteral("corrections"), CorrectionsObject(*input.Applied, folder));
    inputs.append(entry);
  }

  const TProjectSettings& s = File.Settings;
  QJsonObject interpolation;
  interpolation.insert(QStringLiteral("radius"), s.Interpolation.Radius);
  interpolation.insert(QStringLiteral("style"), s.Interpolation.Style);
  interpolation.insert(QStringLiteral("method"), QLatin1String(MethodKey(s.Interpolation.Method)));
  interpolation.insert(QStringLiteral("tolerance"), s.Interpolation.Tolerance);
  if (!s.Interpolation.ShoreDepth.Samples) interpolation.insert(QStringLiteral("shoreDepth"), QStringLiteral("none"));
  else interpolation.insert(QStringLiteral("shoreDepth"), s.Interpolation.ShoreDepth.DepthCm);
  interpolation.insert(QStringLiteral("keepOutside"), s.Interpolation.KeepOutside);
  QJsonObject contours;
  contours.insert(QStringLiteral("step"), s.Contours.Step);
  contours.insert(QStringLiteral("tracer"), QLatin1String(!s.Contours.Tracer                          ? "method"
                                                          : *s.Contours.Tracer == TContourTracer::Pixel ? "pixel"
                                                                                                       : "chart"));
  if (s.Contours.MinRing) contours.insert(QStringLiteral("minRing"), *s.Contours.MinRing);
  contours.insert(QStringLiteral("smooth"), s.Contours.Smooth);
  contours.insert(QStringLiteral("labels"), s.Contours.Labels);
  contours.insert(QStringLiteral("chartTracks"), s.Contours.ChartTracks);
  // The corrections the next files are loaded with (each input keeps those
  // it was loaded with), with the gauge table and its datum.
  QJsonObject corrections;
  corrections.insert(QStringLiteral("transducer"), s.Corrections.TransducerCm);
  corrections.insert(QStringLiteral("despike"), s.Corrections.Despike);
  corrections.insert(QStringLiteral("depthFromElevation"), s.Corrections.DepthFromElevation);
  corrections.insert(QStringLiteral("autoLevel"), s.Corrections.AutoLevel);
  if (!s.Corrections.LevelTablePath.empty())
    corrections.insert(QStringLiteral("gaugeTable"), Q(StoredPath(s.Corrections.LevelTablePath, folder)));
  if (s.Corrections.DatumCm) corrections.insert(QStringLiteral("datum"), *s.Corrections.DatumCm);
  QJsonObject ht;
  ht.insert(QStringLiteral("trackName"), Q(s.HT.TrackName));
  ht.insert(QStringLiteral("reduceWaypoints"), s.HT.ReduceWaypoints);
  QJsonObject colours;
  colours.insert(QStringLiteral("shallow"), Q(ColourText(File.Shallow)));
  colours.insert(QStringLiteral("deep"), Q(ColourText(File.Deep)));

  QJsonObject root;
  root.insert(QStringLiteral("format"), QLatin1String(kFormat));
  root.insert(QStringLiteral("version"), kVersion);
  root.insert(QStringLiteral("inputs"), inputs);
  root.insert(QStringLiteral("interpolation"), interpolation);
  root.insert(QStringLiteral("contours"), contours);
  root.insert(QStringLiteral("corrections"), corrections);
  root.insert(QStringLiteral("ht"), ht);
  root.insert(QStringLiteral("colours"), colours);
  if (File.PictureSize) {
    QJsonObject picture;
    picture.insert(QStringLiteral("width"), File.PictureSize->first);
    picture.insert(QStringLiteral("height"), File.PictureSize->second);
    root.insert(QStringLiteral("picture"), picture);
  }
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

void WriteProjectFile(const std::string& Path, const TProjectFile& File) {
  WriteFileAtomically(Path, ProjectFileText(File, Path));
}

TProjectFile ReadProjectFile(const std::string& Path) {
  std::error_code ec;
  if (!fs::exists(Path, ec)) throw EProjectFileError(Path + " does not exist");
  if (!fs::is_regular_file(Path, ec)) throw EProjectFileError(Path + " is not a file");
  if (fs::file_size(Path, ec) > kMaxProjectBytes) throw EProjectFileError(Path + " is too large for a project file");
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in && !in.eof()) throw EProjectFileError(Path + " cannot be read");
  return ParseProjectFile(text.str(), Path);
}

TProjectFile ParseProjectFile(const std::string& Text, const std::string& ProjectPath) {
  const TReader read(ProjectPath);
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(Text), &error);
  if (error.error != QJsonParseError::NoError)
    read.Fail("not a project file (" + error.errorString().toStdString() + " at byte " +
              std::to_string(error.offset) + ")");
  const QJsonObject root = document.object();
  if (!document.isObject() || root.value(QStringLiteral("format")).toString() != QLatin1String(kFormat))
    read.Fail("not a project file");
  // A newer program's file is read as far as this one knows it.
  int version = kVersion;
  read.Int(root, "project", "version", 1, 1'000'000, version);

  TProjectFile file;
  const fs::path folder = Absolute(ProjectPath).parent_path();
  const QJsonValue inputs = root.value(QStringLiteral("inputs"));
  if (!inputs.isUndefined() && !inputs.isArray()) read.Fail("inputs is not a list");
  for (const QJsonValue& value : inputs.toArray()) {
    if (!value.isObject()) read.Fail("an entry of inputs is not an object");
    const QJsonObject entry = value.toObject();
    std::string path;
    read.Text(entry, "inputs", "path", path);
    if (path.empty()) read.Fail("an entry of inputs has no path");
    const fs::path stored(path);
    TProjectInput input;
    input.Path = (stored.is_absolute() ? stored : folder / stored).lexically_normal().string();
    int number = 0;
    if (entry.contains(QStringLiteral("depth"))) {
      read.Int(entry, "inputs", "depth", -1'000'000'000, 1'000'000'000, number);
      input.Rule.Depth = number;
    }
    if (entry.contains(QStringLiteral("offset"))) {
      read.Int(entry, "inputs", "offset", -1'000'000'000, 1'000'000'000, number);
      input.Rule.Offset = number;
    }
    if (entry.contains(QStringLiteral("corrections")))
      input.Applied = ReadCorrections(read, read.Section(entry, "corrections"), folder);
    file.Inputs.push_back(std::move(input));
  }

  TProjectSettings& s = file.Settings;
  const QJsonObject interpolation = read.Section(root, "interpolation");
  read.Int(interpolation, "interpolation", "radius", 0, kMaxInterpolationRadius, s.Interpolation.Radius);
  read.Int(interpolation, "interpolation", "style", 2, 14, s.Interpolation.Style);
  std::string method = MethodKey(s.Interpolation.Method);
  read.Text(interpolation, "interpolation", "method", method);
  if (method == "shepard") s.Interpolation.Method = TInterpolationMethod::Shepard;
  else if (method == "surface") s.Interpolation.Method = TInterpolationMethod::Surface;
  else read.Fail("interpolation.method is \"" + method + "\", not shepard or surface");
  read.Number(interpolation, "interpolation", "tolerance", 0, s.Interpolation.Tolerance);

  if (interpolation.value(QStringLiteral("shoreDepth")).toString() == QLatin1String("none")) {
    s.Interpolation.ShoreDepth.Samples = false;
  } else {
    double shore = s.Interpolation.ShoreDepth.DepthCm;
    read.Number(interpolation, "interpolation", "shoreDepth", 0, shore);
    s.Interpolation.ShoreDepth.DepthCm = static_cast<float>(shore);
  }
  read.Bool(interpolation, "interpolation", "keepOutside", s.Interpolation.KeepOutside);

  const QJsonObject contours = read.Section(root, "contours");
  read.Int(contours, "contours", "step", 1, 9999, s.Contours.Step);
  std::string tracer = "method";
  read.Text(contours, "contours", "tracer", tracer);
  if (tracer == "pixel") s.Contours.Tracer = TContourTracer::Pixel;
  else if (tracer == "chart") s.Contours.Tracer = TContourTracer::Chart;
  else if (tracer != "method") read.Fail("contours.tracer is \"" + tracer + "\", not method, pixel or chart");
  if (contours.contains(QStringLiteral("minRing"))) {
    double ring = 0;
    read.Number(contours, "contours", "minRing", 0, ring);
    s.Contours.MinRing = ring;
  }
  read.Int(contours, "contours", "smooth", 0, 100, s.Contours.Smooth);
  read.Bool(contours, "contours", "labels", s.Contours.Labels);
  read.Bool(contours, "contours", "chartTracks", s.Contours.ChartTracks);

  const QJsonObject corrections = read.Section(root, "corrections");
  read.Number(corrections, "corrections", "transducer", 0, s.Corrections.TransducerCm);
  read.Bool(corrections, "corrections", "despike", s.Corrections.Despike);
  read.Bool(corrections, "corrections", "depthFromElevation", s.Corrections.DepthFromElevation);
  read.Bool(corrections, "corrections", "autoLevel", s.Corrections.AutoLevel);
  if (corrections.contains(QStringLiteral("datum"))) {
    double datum = 0;
    read.Number(corrections, "corrections", "datum", -1e6, datum);
    s.Corrections.DatumCm = datum;
  }
  std::string table;
  read.Text(corrections, "corrections", "gaugeTable", table);
  if (!table.empty()) {
    // For the files loaded next; one that cannot be read now is named again
    // when they are.
    s.Corrections.LevelTablePath = Resolved(table, folder);
    try {
      s.Corrections.LevelTable = TLevelTable::Read(s.Corrections.LevelTablePath);
    } catch (const std::exception&) {
    }
  }

  const QJsonObject ht = read.Section(root, "ht");
  read.Text(ht, "ht", "trackName", s.HT.TrackName);
  read.Bool(ht, "ht", "reduceWaypoints", s.HT.ReduceWaypoints);

  const QJsonObject colours = read.Section(root, "colours");
  read.Colour(colours, "shallow", file.Shallow);
  read.Colour(colours, "deep", file.Deep);

  if (root.contains(QStringLiteral("picture"))) {
    const QJsonObject picture = read.Section(root, "picture");
    int width = 0, height = 0;
    read.Int(picture, "picture", "width", 16, 8192, width);
    read.Int(picture, "picture", "height", 16, 8192, height);
    if (width > 0 && height > 0) file.PictureSize = std::make_pair(width, height);
  }
  return file;
}

std::vector<std::string> TProjectOpenResult::MissingLines(const std::string& ProjectPath) const {
  std::vector<std::string> lines;
  for (const std::string& path : Missing)
    lines.push_back(ProjectPath + ": " + path + " is missing; the project's other files are loaded");
  return lines;
}

// Opens the project with the files read ahead, or reading them (Read null).
static TProjectOpenResult OpenWith(TProject& Project, const TProjectFile& File, TProjectReading* Read,
                                   TFeedback& Feedback);

TProjectOpenResult OpenProjectFile(TProject& Project, const TProjectFile& File, TFeedback& Feedback) {
  return OpenWith(Project, File, nullptr, Feedback);
}

TProjectOpenResult OpenProjectFile(TProject& Project, const TProjectFile& File, TProjectReading& Read,
                                   TFeedback& Feedback) {
  return OpenWith(Project, File, &Read, Feedback);
}

TProjectReading ReadProjectInputs(const TProjectFile& File, TFeedback& Feedback) {
  TProjectReading read;
  for (const TProjectInput& input : File.Inputs) {
    if (Feedback.Canceled()) throw TCanceled{};
    Feedback.SetProgress(static_cast<int>(read.size()), static_cast<int>(File.Inputs.size()));
    std::error_code ec;
    if (!fs::exists(input.Path, ec)) {
      read.emplace_back();
      continue;
    }
    auto file = std::make_unique<TSourceFile>();
    const bool fromElevation =
        input.Applied ? input.Applied->DepthFromElevation : File.Settings.Corrections.DepthFromElevation;
    ReadSourceFile(input.Path, *file, Feedback, {.DepthFromElevation = fromElevation});
    read.push_back(std::move(file));
  }
  if (Feedback.Canceled()) throw TCanceled{};
  return read;
}

static TProjectOpenResult OpenWith(TProject& Project, const TProjectFile& File, TProjectReading* Read,
                                   TFeedback& Feedback) {
  Project.StartOver();
  const int threads = Project.Settings.Interpolation.Threads;
  Project.Settings = File.Settings;
  Project.Settings.Interpolation.Threads = threads;
  Project.SetShallowColor(File.Shallow);
  Project.SetDeepColor(File.Deep);
  TCorrectionSettings& corrections = Project.Settings.Corrections;
  const TCorrectionSettings next = corrections;
  TProjectOpenResult result;
  // Each file that says how it was corrected loads so again, and takes the
  // levels applied to it afterwards; the others load with the settings'
  // corrections and are levelled as a batch.
  std::vector<std::pair<int, const TInputCorrections*>> levelled;
  bool estimate = false;
  for (std::size_t i = 0; i < File.Inputs.size(); ++i) {
    const TProjectInput& input = File.Inputs[i];
    std::error_code ec;
    if (Read ? !(*Read)[i] : !fs::exists(input.Path, ec)) {
      result.Missing.push_back(input.Path);
      continue;
    }
    corrections = next;
    if (input.Applied) {
      const TInputCorrections& c = *input.Applied;
      corrections.DepthFromElevation = c.DepthFromElevation;
      corrections.Despike = c.Despike;
      corrections.TransducerCm = c.TransducerCm;
      corrections.LevelsCm.erase(input.Path);
      if (c.LevelCm) corrections.LevelsCm[input.Path] = *c.LevelCm;
      corrections.LevelTable.reset();
      if (c.Gauge && !c.GaugeTable.empty()) {
        // Without its gauge table the file would load uncorrected: it is
        // not loaded, and said why, as a file the table cannot correct.
        try {
          corrections.LevelTable = TLevelTable::Read(c.GaugeTable);
          corrections.LevelTablePath = c.GaugeTable;
          corrections.DatumCm = c.DatumCm;
        } catch (const std::exception& e) {
          SourceLoadResult refused;
          refused.Error = fs::path(input.Path).filename().string() + " is not loaded: " + e.what();
          result.Loaded.push_back(std::move(refused));
          continue;
        }
      } else if (c.Gauge) {
        corrections.LevelTable = next.LevelTable;
      }
    } else {
      estimate = estimate || next.AutoLevel;
    }
    const std::size_t before = Project.Inputs().size();
    if (!Read) {
      result.Loaded.push_back(Project.AddFile(input.Path, input.Rule, Feedback));
    } else if (TSourceFile& file = *(*Read)[i]; !file.Result.Loaded) {
      result.Loaded.push_back(file.Result);
    } else {
      result.Loaded.push_back(Project.AddFile(file, input.Rule, Feedback));
    }
    if (Project.Inputs().size() > before && input.Applied)
      levelled.emplace_back(static_cast<int>(before), &*input.Applied);
  }
  corrections = next;
  for (const auto& [loaded, applied] : levelled) Project.ApplyInputLevels(loaded, applied->SessionLevelsCm);
  // The files form one batch: its levels and the soundings outside the
  // shoreline as a batch of "Add Files..." has them; files whose levels
  // the project keeps are not levelled again.
  corrections.AutoLevel = estimate;
  if (Project.FileLoaded()) result.Notes = Project.FinishLoading(Feedback);
  corrections.AutoLevel = next.AutoLevel;
  return result;
}

}  // namespace sondralis
