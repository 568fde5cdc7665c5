#include "exports/LakeReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "exports/FileSet.h"

namespace sondralis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// More levels than any table or plot can show: a step far too small, or
// depths that cannot be.
constexpr std::size_t kMaxLevels = 100000;

// Value with Decimals decimals, empty when not finite.
std::string Fixed(double Value, int Decimals) {
  if (!std::isfinite(Value)) return {};
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, Decimals);
  return std::string(buffer, result.ptr);
}

// The same rounding for JSON; null when not finite.
QJsonValue Rounded(double Value, int Decimals) {
  if (!std::isfinite(Value)) return QJsonValue(QJsonValue::Null);
  const double scale = std::pow(10.0, Decimals);
  return std::round(Value * scale) / scale;
}

}  // namespace

TLakeReport ComputeLakeReport(const TExportGrid& Grid, const TDistanceArray& Distances, const TExportSamples& Samples,
                              const std::vector<TGeoLine>& Shoreline, int Step, TFeedback& Feedback) {
  Grid.Check();
  if (Step < 1) throw std::invalid_argument("the depth step must be at least 1 cm");
  const bool distances = !Distances.Empty() && Distances.Width() == Grid.Columns() && Distances.Height() == Grid.Rows();
  TLakeReport report;
  report.Step = Step;

  // Each row's cells share one area.
  std::vector<double> cellArea(static_cast<std::size_t>(Grid.Rows()));
  for (int y = 0; y < Grid.Rows(); ++y) {
    const double north = Grid.Extent.MaxLat - y * Grid.CellHeight();
    cellArea[static_cast<std::size_t>(y)] =
        geodesy::QuadrangleArea(north - Grid.CellHeight(), north, Grid.CellWidth());
  }

  // Per band of Step: the area and the area times depth of its cells.
  std::vector<double> bandArea, bandMoment;
  double area = 0, moment = 0, greatest = -std::numeric_limits<double>::infinity();
  double distanceSum = 0, distanceArea = 0;
  for (int x = 0; x < Grid.Columns(); ++x) {
    if (Feedback.Canceled()) throw TCanceled{};
    for (int y = 0; y < Grid.Rows(); ++y) {
      if (!Grid.Covered(x, y)) continue;
      const double a = cellArea[static_cast<std::size_t>(y)];
      const double d = std::max(Grid.Depth[x][static_cast<std::size_t>(y)], 0.0);
      const auto band = static_cast<std::size_t>(d / Step);
      if (band >= kMaxLevels) throw std::invalid_argument("the depth step is too small for depths of " + MetresText(d, 2) + " m");
      if (band >= bandArea.size()) {
        bandArea.resize(band + 1, 0);
        bandMoment.resize(band + 1, 0);
      }
      bandArea[band] += a;
      bandMoment[band] += a * d;
      area += a;
      moment += a * d;
      greatest = std::max(greatest, d);
      if (distances) {
        const float r = Distances[x][static_cast<std::size_t>(y)];
        if (std::isfinite(r)) {
          distanceSum += a * r;
          distanceArea += a;
        }
      }
    }
  }

  report.SurveyedArea = area;
  report.Volume = moment / 100;
  report.MeanDepth = area > 0 ? moment / area : kNaN;
  report.GreatestDepth = area > 0 ? greatest : kNaN;
  report.MeanDistance = distanceArea > 0 ? distanceSum / distanceArea : kNaN;
  report.LakeArea = Shoreline.empty() ? kNaN : geodesy::WaterArea(Shoreline);
  report.SurveyedShare = report.LakeArea > 0 ? area / report.LakeArea : kNaN;
  const auto soundings = Samples.Soundings();
  const std::size_t first = soundings.empty() ? 0 : static_cast<std::size_t>(Samples.Count()) - soundings.size();
  report.Soundings = static_cast<int>(soundings.size());
  report.GreatestSounding = soundings.empty() ? kNaN : -std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < soundings.size(); ++i)
    report.GreatestSounding = std::max(report.GreatestSounding, static_cast<double>(Samples.Depth[static_cast<int>(first + i)]));

  // From the deepest band up: the area at each level or deeper, and the
  // water below it, Σ a·(d − level) = Σ a·d − level·Σ a.
  report.Levels.resize(bandArea.size());
  double deeper = 0, deeperMoment = 0;
  for (std::size_t k = bandArea.size(); k-- > 0;) {
    deeper += bandArea[k];
    deeperMoment += bandMoment[k];
    TDepthLevel& level = report.Levels[k];
    level.Depth = static_cast<int>(k) * Step;
    level.BandArea = bandArea[k];
    level.AreaDeeper = deeper;
    level.VolumeBelow = std::max(0.0, (deeperMoment - level.Depth * deeper) / 100);
  }
  return report;
}

std::string EncodeReportCSV(const TLakeReport& r) {
  std::string out = "quantity,value,unit\n";
  auto line = [&](const char* name, const std::string& value, const char* unit) {
    out += name;
    out += ',';
    out += value;
    out += ',';
    out += unit;
    out += '\n';
  };
  line("lake_area", Fixed(r.LakeArea, 1), "m2");
  line("surveyed_area", Fixed(r.SurveyedArea, 1), "m2");
  line("surveyed_share", Fixed(r.SurveyedShare * 100, 2), "%");
  line("volume", Fixed(r.Volume, 0), "m3");
  line("mean_depth", Fixed(r.MeanDepth / 100, 2), "m");
  line("greatest_depth", Fixed(r.GreatestDepth / 100, 2), "m");
  line("greatest_sounding", Fixed(r.GreatestSounding / 100, 2), "m");
  line("mean_distance_to_sounding", Fixed(r.MeanDistance, 1), "m");
  line("soundings", std::to_string(r.Soundings), "");
  line("depth_step", Fixed(r.Step / 100.0, 2), "m");
  out += "\ndepth_m,band_area_m2,area_deeper_m2,volume_below_m3\n";
  for (const TDepthLevel& level : r.Levels)
    out += Fixed(level.Depth / 100.0, 2) + ',' + Fixed(level.BandArea, 1) + ',' + Fixed(level.AreaDeeper, 1) + ',' +
           Fixed(level.VolumeBelow, 0) + '\n';
  return out;
}

std::string EncodeReportJSON(const TLakeReport& r) {
  QJsonObject root;
  root["generator"] = "Sondralis " SONDRALIS_VERSION;
  root["lake_area_m2"] = Rounded(r.LakeArea, 1);
  root["surveyed_area_m2"] = Rounded(r.SurveyedArea, 1);
  root["surveyed_share"] = Rounded(r.SurveyedShare, 4);
  root["volume_m3"] = Rounded(r.Volume, 0);
  root["mean_depth_m"] = Rounded(r.MeanDepth / 100, 2);
  root["greatest_depth_m"] = Rounded(r.GreatestDepth / 100, 2);
  root["greatest_sounding_m"] = Rounded(r.GreatestSounding / 100, 2);
  root["mean_distance_to_sounding_m"] = Rounded(r.MeanDistance, 1);
  root["soundings"] = r.Soundings;
  root["depth_step_m"] = Rounded(r.Step / 100.0, 2);
  QJsonArray levels;
  for (const TDepthLevel& level : r.Levels) {
    QJsonObject row;
    row["depth_m"] = Rounded(level.Depth / 100.0, 2);
    row["band_area_m2"] = Rounded(level.BandArea, 1);
    row["area_deeper_m2"] = Rounded(level.AreaDeeper, 1);
    row["volume_below_m3"] = Rounded(level.VolumeBelow, 0);
    levels.append(row);
  }
  root["levels"] = levels;
  const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
  return std::string(json.constData(), static_cast<std::size_t>(json.size()));
}

void WriteLakeReport(const std::string& CsvPath, const std::string& JsonPath, const TLakeReport& Report) {
  const std::string csv = EncodeReportCSV(Report), json = EncodeReportJSON(Report);
  CommitFiles({{CsvPath, csv}, {JsonPath, json}});
}

}  // namespace sondralis
