#include <gtest/gtest.h>

#include "model/CompactString.h"
#include "model/DateTime.h"
#include "model/Text.h"

namespace sondralis {
namespace {

TEST(Texts, TrimCaseAndUtf16) {
  EXPECT_EQ(Trim(" \t\r\nab c\n "), "ab c");
  EXPECT_EQ(ToLowerAscii("GPX Ü"), "gpx Ü");
  EXPECT_TRUE(SameTextAscii("TrkPt", "trkpt"));
  EXPECT_FALSE(SameTextAscii("trkpt", "trkpts"));
  EXPECT_EQ(ReplaceAllIgnoreCase("a<BR/>b<br/>c", "<br/>", "\r\n"), "a\r\nb\r\nc");

  const std::u16string u = Utf8ToUtf16("Ü€😀");
  ASSERT_EQ(u.size(), 4u);
  EXPECT_EQ(u[0], 0x00DC);
  EXPECT_EQ(u[1], 0x20AC);
  EXPECT_EQ(u[2], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(u), "Ü€😀");
  // Malformed bytes become replacement characters, one per bad byte.
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), std::u16string(u"a\uFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD")) << "overlong form";
}

TEST(Texts, CompactString) {
  CompactString a;
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(sizeof(CompactString), sizeof(void*));
  a = "lake";
  CompactString b = a;
  b = "pond";
  EXPECT_EQ(a, "lake");
  EXPECT_EQ(b.size(), 4u);
  CompactString c = std::move(b);
  EXPECT_EQ(c, "pond");
  c = std::string_view(c).substr(1);  // assigning a part of itself
  EXPECT_EQ(c, "ond");
  c = "";
  EXPECT_TRUE(c.empty());
  EXPECT_STREQ(c.c_str(), "");
  EXPECT_EQ(std::string("a") + a, "alake");
}

TEST(Dates, EncodeDecodeAndErrors) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2012, 6, 16), 41076);
  EXPECT_EQ(EncodeDateDay(2012, 168), EncodeDate(2012, 6, 16));
  EXPECT_EQ(EncodeDateWeek(2012, 24, 6), EncodeDate(2012, 6, 16));
  EXPECT_EQ(EncodeDateWeek(2009, 1, 1), EncodeDate(2008, 12, 29)) << "ISO week 1 may start in December";
  EXPECT_EQ(EncodeDateWeek(2015, 53, 7), EncodeDate(2016, 1, 3));
  EXPECT_THROW(EncodeDateWeek(2014, 53, 1), EConvertError) << "2014 has 52 ISO weeks";
  EXPECT_THROW(EncodeDate(2012, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2013, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2012, 2, 29));
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateDay(2013, 366), EConvertError);

  const TDateTime t = EncodeDate(2012, 5, 1) + EncodeTime(8, 3, 9, 750);
  const DateTimeParts p = DecodeDateTime(t);
  EXPECT_EQ(p.Year, 2012);
  EXPECT_EQ(p.Month, 5);
  EXPECT_EQ(p.Day, 1);
  EXPECT_EQ(p.Hour, 8);
  EXPECT_EQ(p.Minute, 3);
  EXPECT_EQ(p.Second, 9);
  EXPECT_EQ(p.MilliSecond, 750);
  // Before day 0 the time of day counts away from zero.
  const DateTimeParts q = DecodeDateTime(ComposeDateTime(-1, 0.25));
  EXPECT_EQ(q.Day, 29);
  EXPECT_EQ(q.Hour, 6);
}

}  // namespace
}  // namespace sondralis
