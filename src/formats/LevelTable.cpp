#include "formats/LevelTable.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

#include "formats/GPXFile.h"
#include "formats/TextFields.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

constexpr std::size_t kMaxLineBytes = 4096;

// The two fields of a `time,level_cm` line; a semicolon or a tab may stand
// for the comma.
bool SplitPair(std::string_view line, std::string_view& time, std::string_view& level) {
  const std::size_t sep = line.find_first_of(",;\t");
  if (sep == std::string_view::npos) return false;
  time = Trim(line.substr(0, sep));
  level = Trim(line.substr(sep + 1));
  // A trailing separator is allowed, more fields are not.
  if (!level.empty() && (level.back() == ',' || level.back() == ';')) level = Trim(level.substr(0, level.size() - 1));
  return level.find_first_of(",;\t") == std::string_view::npos;
}

}  // namespace

TLevelTable::TLevelTable(std::vector<Entry> Entries) : fEntries(std::move(Entries)) {
  std::stable_sort(fEntries.begin(), fEntries.end(), [](const Entry& a, const Entry& b) { return a.Time < b.Time; });
  fEntries.erase(std::unique(fEntries.begin(), fEntries.end(),
                             [](const Entry& a, const Entry& b) { return a.Time == b.Time && a.LevelCm == b.LevelCm; }),
                 fEntries.end());
  for (std::size_t i = 1; i < fEntries.size(); ++i)
    if (fEntries[i].Time == fEntries[i - 1].Time)
      throw std::runtime_error("two levels for " + FormatIsoTime(fEntries[i].Time) + ": " +
                               FormatNumber(fEntries[i - 1].LevelCm) + " and " + FormatNumber(fEntries[i].LevelCm) +
                               " cm");
}

TLevelTable TLevelTable::Read(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) throw std::runtime_error(Path + ": the gauge table cannot be opened");
  std::vector<Entry> entries;
  std::string line;
  long long number = 0;
  bool headerAllowed = true;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = Path + ", line " + std::to_string(number);
    if (line.size() > kMaxLineBytes) throw std::runtime_error(where + ": the line is too long");
    std::string_view t = Trim(line);
    if (number == 1 && t.substr(0, 3) == "\xEF\xBB\xBF") t = Trim(t.substr(3));
    if (t.empty() || t.front() == '#') continue;
    std::string_view timeText, levelText;
    Entry e;
    const bool pair = SplitPair(t, timeText, levelText);
    if (pair && ReadIsoTimeField(timeText, e.Time) && ReadDecimalField(levelText, false, e.LevelCm)) {
      entries.push_back(e);
    } else if (headerAllowed && pair && !timeText.empty() && !(timeText.front() >= '0' && timeText.front() <= '9')) {
      // A header such as "time,level_cm"; a date that is wrong is no header.
    } else {
      throw std::runtime_error(where + " is no 'time,level_cm' line with an ISO 8601 time and a level in cm: " +
                               Quoted(t.substr(0, 80)));
    }
    headerAllowed = false;
  }
  if (in.bad()) throw std::runtime_error(Path + ": the gauge table could not be read to its end");
  if (entries.empty()) throw std::runtime_error(Path + ": the gauge table holds no levels");
  try {
    return TLevelTable(std::move(entries));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(Path + ": " + e.what());
  }
}

std::optional<double> TLevelTable::LevelAt(TDateTime Time) const {
  if (fEntries.empty() || !(Time >= First() && Time <= Last())) return std::nullopt;
  const auto after = std::upper_bound(fEntries.begin(), fEntries.end(), Time,
                                      [](TDateTime t, const Entry& e) { return t < e.Time; });
  if (after == fEntries.end()) return fEntries.back().LevelCm;
  const Entry& b = *after;
  const Entry& a = *(after - 1);
  const double u = (Time - a.Time) / (b.Time - a.Time);
  return a.LevelCm + u * (b.LevelCm - a.LevelCm);
}

double TLevelTable::LowestLevel() const {
  double low = fEntries.front().LevelCm;
  for (const Entry& e : fEntries) low = std::min(low, e.LevelCm);
  return low;
}

std::string FormatIsoTime(TDateTime Time) {
  const DateTimeParts p = DecodeDateTime(Time);
  return FormatPadded(p.Year, 4) + "-" + FormatPadded(p.Month, 2) + "-" + FormatPadded(p.Day, 2) + "T" +
         FormatPadded(p.Hour, 2) + ":" + FormatPadded(p.Minute, 2) + ":" + FormatPadded(p.Second, 2) + "Z";
}

}  // namespace sondralis
