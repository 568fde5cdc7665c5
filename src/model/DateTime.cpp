#include "model/DateTime.h"

#include <cmath>
#include <cstdint>

namespace sondralis {

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// Day number of 1 January 1970 in the 1899-12-30 epoch.
constexpr std::int64_t kUnixEpochDay = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

[[noreturn]] void InvalidDate() { throw EConvertError("Invalid argument to date encode"); }
[[noreturn]] void InvalidTime() { throw EConvertError("Invalid argument to time encode"); }

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) InvalidDate();
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                             kUnixEpochDay);
}

TDateTime EncodeTime(int hour, int minute, int second, int milliSecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || milliSecond < 0 ||
      milliSecond > 999)
    InvalidTime();
  const std::int64_t ms = ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + milliSecond;
  return static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
}

TDateTime EncodeDateDay(int year, int dayOfYear) {
  const int days = IsLeapYear(year) ? 366 : 365;
  if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > days) InvalidDate();
  return EncodeDate(year, 1, 1) + dayOfYear - 1;
}

namespace {

// Monday of ISO week 1 of `year`: week 1 is the week holding 4 January.
double IsoWeekOneMonday(int year) {
  const std::int64_t jan4 = DaysFromCivil(year, 1, 4) + kUnixEpochDay;
  // Day number 2 (1 January 1900) was a Monday.
  const auto daysSinceMonday = ((jan4 - 2) % 7 + 7) % 7;
  return static_cast<double>(jan4 - daysSinceMonday);
}

}  // namespace

TDateTime EncodeDateWeek(int year, int week, int dayOfWeek) {
  if (year < 1 || year > 9999 || week < 1 || dayOfWeek < 1 || dayOfWeek > 7) InvalidDate();
  const double monday = IsoWeekOneMonday(year);
  const auto weeksInYear = static_cast<int>((IsoWeekOneMonday(year + 1) - monday) / 7);
  if (week > weeksInYear) InvalidDate();
  return monday + (week - 1) * 7 + (dayOfWeek - 1);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) { return date < 0 ? date - time : date + time; }

DateTimeParts DecodeDateTime(TDateTime value) {
  DateTimeParts p;
  const auto total = static_cast<std::int64_t>(std::llround(value * static_cast<double>(kMSecsPerDay)));
  const std::int64_t day = total / kMSecsPerDay;  // truncates toward zero, as the day-number convention wants
  std::int64_t ms = (total < 0 ? -total : total) % kMSecsPerDay;
  CivilFromDays(day - kUnixEpochDay, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3600000);
  ms %= 3600000;
  p.Minute = static_cast<int>(ms / 60000);
  ms %= 60000;
  p.Second = static_cast<int>(ms / 1000);
  p.MilliSecond = static_cast<int>(ms % 1000);
  return p;
}

}  // namespace sondralis
