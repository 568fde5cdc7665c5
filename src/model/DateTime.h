#pragma once

#include <stdexcept>
#include <string>

namespace sondralis {

// Days since 30 December 1899 00:00; the fraction is the time of day.
// 0 means "no time" to the rest of the program.
using TDateTime = double;

// Raised by the encoders on an impossible date or time (month 13,
// 30 February, hour 24, ...).
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DateTimeParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Calendar date (year 1..9999) to a day number; throws EConvertError.
TDateTime EncodeDate(int year, int month, int day);
// Time of day as a fraction of a day; hours 0..23, minutes and seconds 0..59,
// milliseconds 0..999; throws EConvertError.
TDateTime EncodeTime(int hour, int minute, int second, int milliSecond);
// Day `dayOfYear` of `year` (1 = 1 January); throws EConvertError.
TDateTime EncodeDateDay(int year, int dayOfYear);
// ISO 8601 week date: week 1..53 of the ISO week-numbering year, weekday
// 1 (Monday) .. 7 (Sunday); throws EConvertError.
TDateTime EncodeDateWeek(int year, int week, int dayOfWeek);
// Date plus time of day, with the time counted away from day 0 for dates
// before 30 December 1899, as the day-number convention requires.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// Splits a date-time into calendar parts; milliseconds are rounded to the
// nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime value);

}  // namespace sondralis
