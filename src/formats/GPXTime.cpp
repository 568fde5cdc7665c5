#include "formats/GPXTime.h"

#include <algorithm>
#include <cmath>

#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

std::string_view DropOne(std::string_view s, char c) {
  if (!s.empty() && s.front() == c) s.remove_prefix(1);
  return s;
}

std::string_view Head(std::string_view s, std::size_t n) { return s.substr(0, std::min(n, s.size())); }
std::string_view Tail(std::string_view s, std::size_t n) { return s.substr(std::min(n, s.size())); }

// Whole part of x; a hair of tolerance keeps 0.29 * 1000 from becoming 289.
int WholePart(double x) { return static_cast<int>(std::floor(x + 1e-9)); }

// ".5" as 0.5; 0 for a text that is no fraction.
double FractionOr0(std::string_view digits) {
  std::string number(1, '0');
  number += digits;
  return ParseNumberDef(number, 0);
}

bool Digits(std::string_view s, std::size_t from, std::size_t n, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// yyyy-mm-ddThh:mm:ssZ, the form nearly every file uses, and the same with
// a fraction of a second of up to six digits (yyyy-mm-ddThh:mm:ss.fffZ, as
// loggers writing several points a second have it), read directly. The
// milliseconds are the first three digits of the fraction, as the general
// parser below takes them.
bool CanonicalTime(std::string_view s, TDateTime& result) {
  if (s.size() < 20 || s.size() > 27 || s.size() == 21 || s[4] != '-' || s[7] != '-' || s[10] != 'T' ||
      s[13] != ':' || s[16] != ':' || s.back() != 'Z')
    return false;
  int y, mo, d, h, mi, se, ms = 0;
  if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d) || !Digits(s, 11, 2, h) ||
      !Digits(s, 14, 2, mi) || !Digits(s, 17, 2, se))
    return false;
  if (s.size() > 20) {
    const std::size_t digits = s.size() - 21;
    int fraction;
    if (s[19] != '.' || !Digits(s, 20, digits, fraction)) return false;
    const std::size_t kept = std::min<std::size_t>(digits, 3);
    if (!Digits(s, 20, kept, ms)) return false;
    for (std::size_t i = kept; i < 3; ++i) ms *= 10;
  }
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || se > 59) return false;
  result = ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, se, ms));
  return true;
}

}  // namespace

TDateTime ISO8601ToDateTime(std::string_view Value) {
  if (TDateTime fast; CanonicalTime(Value, fast)) return fast;
  if (Value.size() < 8) return 0;
  const std::string_view text = Trim(Value);
  try {
    std::size_t split = text.find('T');
    if (split == std::string_view::npos) split = text.find(' ');
    const std::string_view date = text.substr(0, split);
    std::string time(split == std::string_view::npos ? std::string_view() : text.substr(split + 1));
    if (date.size() < 4) return 0;

    std::string zone;
    if (const auto z = time.find('Z'); z != std::string::npos) {
      zone = "Z";
      time.resize(z);
    } else if (const auto plus = time.find('+'); plus != std::string::npos) {
      zone = time.substr(plus);
      time.resize(plus);
    } else if (const auto minus = time.find('-'); minus != std::string::npos) {
      zone = time.substr(minus);
      time.resize(minus);
    }
    if (const auto comma = time.find(','); comma != std::string::npos) time[comma] = '.';

    // Date: calendar (yyyy-mm-dd, yyyymmdd, yyyy-mm), ordinal (yyyy-ddd)
    // or week date (yyyy-Www-d).
    const int year = ParseIntDef(Head(date, 4), 1900);
    TDateTime day;
    std::string_view rest = DropOne(Tail(date, 4), '-');
    if (rest.empty()) {
      day = EncodeDate(year, 1, 1);
    } else if (rest.size() == 3 && rest.front() != 'W') {
      day = EncodeDateDay(year, ParseIntDef(rest, 1));
    } else if (rest.front() == 'W') {
      rest.remove_prefix(1);
      const int week = ParseIntDef(Head(rest, 2), 1);
      rest = Tail(rest, 2);
      const int weekday = rest.empty() ? 1 : ParseIntDef(DropOne(rest, '-'), 1);
      day = EncodeDateWeek(year, week, weekday);
    } else {
      const int month = ParseIntDef(Head(rest, 2), 1);
      rest = Tail(rest, 2);
      const int dayOfMonth = rest.empty() ? 1 : ParseIntDef(DropOne(rest, '-'), 1);
      day = EncodeDate(year, month, dayOfMonth);
    }

    // Time of day: hh[:mm[:ss[.fff]]], with a decimal fraction allowed on
    // the last unit given.
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
    std::string_view t = time;
    if (!t.empty()) {
      hours = ParseIntDef(Head(t, 2), 0);
      t = Tail(t, 2);
      if (t.size() >= 2) {
        t = DropOne(t, ':');
        if (!t.empty() && t.front() == '.') {
          double x = FractionOr0(t) * 60;
          minutes = WholePart(x);
          x = (x - minutes) * 60;
          seconds = WholePart(x);
          millis = WholePart((x - seconds) * 1000);
        } else {
          minutes = ParseIntDef(Head(t, 2), 0);
          t = Tail(t, 2);
          if (t.size() >= 2) {
            t = DropOne(t, ':');
            if (!t.empty() && t.front() == '.') {
              const double x = FractionOr0(t) * 60;
              seconds = WholePart(x);
              millis = WholePart((x - seconds) * 1000);
            } else {
              seconds = ParseIntDef(Head(t, 2), 0);
              t = Tail(t, 2);
              if (t.size() >= 2 && t.front() == '.') millis = WholePart(FractionOr0(t) * 1000);
            }
          }
        }
      }
    }
    millis = std::min(millis, 999);
    const TDateTime timeOfDay = EncodeTime(hours, minutes, seconds, millis);

    TDateTime offset = 0;
    bool negative = false;
    if (zone.size() >= 3) {
      negative = zone.front() == '-';
      std::string_view z = std::string_view(zone).substr(1);
      const int offHours = ParseIntDef(Head(z, 2), 0);
      z = Tail(z, 2);
      const int offMinutes = z.empty() ? 0 : ParseIntDef(DropOne(z, ':'), 0);
      offset = EncodeTime(offHours, offMinutes, 0, 0);
    }
    const TDateTime local = ComposeDateTime(day, timeOfDay);
    return negative ? local + offset : local - offset;
  } catch (const EConvertError& e) {
    throw EConvertError("Impossible date or time \"" + std::string(text) + "\" (" + e.what() + ")");
  }
}

void AppendGPXTime(std::string& Out, TDateTime Value) {
  const DateTimeParts p = DecodeDateTime(Value);
  if (p.Year < 0 || p.Year > 9999) {
    Out += FormatPadded(p.Year, 4);
    Out.push_back('-');
  } else {
    const char year[5] = {static_cast<char>('0' + p.Year / 1000), static_cast<char>('0' + p.Year / 100 % 10),
                          static_cast<char>('0' + p.Year / 10 % 10), static_cast<char>('0' + p.Year % 10), '-'};
    Out.append(year, 5);
  }
  // mm-ddThh:mm:ssZ, appended at once.
  char rest[15];
  auto two = [&](int at, int v, char after) {
    rest[at] = static_cast<char>('0' + v / 10 % 10);
    rest[at + 1] = static_cast<char>('0' + v % 10);
    rest[at + 2] = after;
  };
  two(0, p.Month, '-');
  two(3, p.Day, 'T');
  two(6, p.Hour, ':');
  two(9, p.Minute, ':');
  two(12, p.Second, 'Z');
  Out.append(rest, sizeof rest);
}

std::string DateTimeToGPXTime(TDateTime Value) {
  std::string out;
  AppendGPXTime(out, Value);
  return out;
}

}  // namespace sondralis
