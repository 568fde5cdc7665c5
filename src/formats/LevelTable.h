#pragma once

// A gauge table: the water level of a lake through time, as a CSV file of
// `time,level_cm` lines with ISO 8601 times.

#include <optional>
#include <string>
#include <vector>

#include "model/DateTime.h"

namespace sondralis {

class TLevelTable {
 public:
  struct Entry {
    TDateTime Time = 0;  // UTC
    double LevelCm = 0;
    bool operator==(const Entry&) const = default;
  };

  // Reads a table; a first line whose time is no time is taken as a header,
  // empty lines and lines starting with '#' are passed over. Throws
  // std::runtime_error naming the file and the line when a line is no
  // `time,level_cm` line, when two lines give different levels for the same
  // time, or when the file holds no level at all: a correction table that
  // is partly wrong is refused whole.
  static TLevelTable Read(const std::string& Path);
  // The same from entries in any order.
  explicit TLevelTable(std::vector<Entry> Entries);
  TLevelTable() = default;

  const std::vector<Entry>& Entries() const noexcept { return fEntries; }
  bool Empty() const noexcept { return fEntries.empty(); }
  // The level at a time between the first and the last entry, interpolated
  // linearly; nothing outside that range.
  std::optional<double> LevelAt(TDateTime Time) const;
  double LowestLevel() const;
  TDateTime First() const { return fEntries.front().Time; }
  TDateTime Last() const { return fEntries.back().Time; }
  bool operator==(const TLevelTable&) const = default;

 private:
  std::vector<Entry> fEntries;  // by time, each time once
};

// A time for messages: "2024-06-13T06:30:00Z".
std::string FormatIsoTime(TDateTime Time);

}  // namespace sondralis
