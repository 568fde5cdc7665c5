#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "formats/GPXTime.h"
#include "model/DateTime.h"

namespace sondralis {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

void ExpectTime(std::string_view text, TDateTime expected) {
  EXPECT_NEAR(ISO8601ToDateTime(text), expected, 1e-9) << text;
}

TEST(ISO8601ToDateTime, CalendarFormsZonesAndFractions) {
  const TDateTime t = At(2012, 6, 16, 9, 45, 23);
  ExpectTime("2012-06-16T09:45:23Z", t);
  ExpectTime("20120616T094523Z", t);
  ExpectTime("2012-06-16 09:45:23", t);
  ExpectTime("  2012-06-16T09:45:23Z\n", t);
  ExpectTime("2012-06-16T11:45:23+02:00", t);
  ExpectTime("2012-06-16T04:45:23-05:00", t);
  ExpectTime("2012-06-16T11:15:23+0130", t);
  ExpectTime("2012-06-16T10:45:23+01", t);
  ExpectTime("2012-06-16T09:45:23,5Z", At(2012, 6, 16, 9, 45, 23, 500));
  ExpectTime("2012-06-16T09:45:23.290Z", At(2012, 6, 16, 9, 45, 23, 290));
  ExpectTime("2012-06-16T09.5Z", At(2012, 6, 16, 9, 30));
  ExpectTime("2012-06-16T09:45.5Z", At(2012, 6, 16, 9, 45, 30));
  ExpectTime("2012-06-16T09:45Z", At(2012, 6, 16, 9, 45));
  ExpectTime("2012-06-16", At(2012, 6, 16));
  ExpectTime("2012-06-16T00:30:00+01:00", At(2012, 6, 15, 23, 30));
}

// Times with a fraction of a second, as loggers writing several points a
// second have them: read directly, they give what the general form with a
// decimal comma gives (which takes the long way), and the fraction's first
// three digits as milliseconds.
TEST(ISO8601ToDateTime, FractionsOfASecondReadDirectlyAsTheLongWay) {
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    const int y = 1990 + static_cast<int>(random() % 60), mo = 1 + static_cast<int>(random() % 12);
    const int d = 1 + static_cast<int>(random() % DaysInMonth(y, mo));
    const int h = static_cast<int>(random() % 24), mi = static_cast<int>(random() % 60);
    const int se = static_cast<int>(random() % 60);
    std::string fraction;
    const int digits = 1 + static_cast<int>(random() % 6);
    for (int k = 0; k < digits; ++k) fraction += static_cast<char>('0' + random() % 10);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%sZ", y, mo, d, h, mi, se, fraction.c_str());
    std::string comma = text;
    comma[19] = ',';
    const int ms = std::stoi((fraction + "00").substr(0, 3));
    const TDateTime direct = ISO8601ToDateTime(text);
    ASSERT_EQ(direct, ISO8601ToDateTime(comma)) << text;
    ASSERT_EQ(direct, At(y, mo, d, h, mi, se, ms)) << text;
  }
}

TEST(ISO8601ToDateTime, OrdinalAndWeekDates) {
  ExpectTime("2012-168", At(2012, 6, 16));
  ExpectTime("2012168T12", At(2012, 6, 16, 12));
  ExpectTime("2012-W24-6", At(2012, 6, 16));
  ExpectTime("2012W246", At(2012, 6, 16));
  ExpectTime("2012-W24", At(2012, 6, 11));  // Monday of that week
  ExpectTime("2012-06 12:00", At(2012, 6, 1, 12));
}

TEST(ISO8601ToDateTime, ShortTextsGiveNoTime) {
  EXPECT_EQ(ISO8601ToDateTime(""), 0);
  EXPECT_EQ(ISO8601ToDateTime("2012"), 0);
  EXPECT_EQ(ISO8601ToDateTime("2012-06"), 0);
  EXPECT_EQ(ISO8601ToDateTime("       x"), 0);  // 8 characters, nothing after trimming
}

TEST(ISO8601ToDateTime, ImpossibleDatesRaiseNamingTheText) {
  for (const char* bad : {"2012-13-01T00:00:00Z", "2012-02-30", "2012-06-16T24:00:00Z", "2012-06-16T10:60:00Z",
                          "2012-06-16T10:00:00+24:00", "2012-06-16T10:00:00+01:60", "2011-366"}) {
    try {
      ISO8601ToDateTime(bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
  }
}

// A time written as GPX writes it reads back as the same time, for every
// year the calendar has, to the second.
TEST(GPXTime, WrittenTimesReadBack) {
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) {
    const int y = 1 + static_cast<int>(random() % 9999), mo = 1 + static_cast<int>(random() % 12);
    const int d = 1 + static_cast<int>(random() % DaysInMonth(y, mo));
    const TDateTime t = At(y, mo, d, static_cast<int>(random() % 24), static_cast<int>(random() % 60),
                           static_cast<int>(random() % 60));
    const std::string text = DateTimeToGPXTime(t);
    ASSERT_EQ(text.size(), 20u) << text;
    ASSERT_NEAR(ISO8601ToDateTime(text), t, 1e-9) << text;
    std::string appended = "<time>";
    AppendGPXTime(appended, t);
    ASSERT_EQ(appended, "<time>" + text);
  }
  EXPECT_EQ(DateTimeToGPXTime(At(2012, 6, 16, 9, 45, 23, 999)), "2012-06-16T09:45:23Z");
}

}  // namespace
}  // namespace sondralis
