// The contour HT export without any dialog: the parts as the unit's files,
// numbered without gaps, the reduction that replaces the contours, and its
// refusals and cancellation, which leave the contours as they were.
#include "contours/HTExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "HTTestSupport.h"
#include "formats/HTConvert.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using namespace sondralis::testing;

std::vector<THTPart> AllParts(TContourHTExport& ht, const std::string& name = "Lake") {
  std::vector<THTPart> parts;
  THTPart part;
  while (ht.NextPart(part, name)) parts.push_back(part);
  return parts;
}

TEST(ContourHTExport, PartsAreTheUnitsFilesNumberedWithoutGaps) {
  // Two lines with a part's worth of empty segments between them.
  TGPX iso;
  TGPXtrk* first = AddTrack(iso);
  AddLine(first, 15000, 47.5);
  TGPXtrk* empty = AddTrack(iso);
  for (int i = 0; i < 2300; ++i) AddSeg(empty);  // 20700 entries of segment markers, no point
  AddLine(AddTrack(iso), 15000, 47.7);
  RecordingFeedback feedback;
  TContourHTExport ht(iso, feedback);
  const std::vector<THTPart> parts = AllParts(ht);
  ASSERT_EQ(parts.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(parts[static_cast<std::size_t>(i)].Number, i);
    EXPECT_EQ(parts[static_cast<std::size_t>(i)].Bytes.size(), static_cast<std::size_t>(kHTFileSize));
  }
  EXPECT_EQ(parts[0].Name, "000.ht");
  EXPECT_EQ(parts[1].Name, "001.ht");
  EXPECT_EQ(HTWord(parts[1].Bytes, 8), 15000 + 3) << "the second holds the second line alone";
  EXPECT_EQ(parts[1].Bytes.substr(48, 5), std::string("Lake\0", 5));
  EXPECT_EQ(feedback.LogLines.front(), "saving dataset ===================================");
  EXPECT_TRUE(feedback.Logged("splitting dataset ==================================="));
  EXPECT_TRUE(feedback.Logged("part without points skipped"));
  EXPECT_EQ(std::count(feedback.LogLines.begin(), feedback.LogLines.end(), "iterate =====001======"), 2)
      << "the skipped part used up no number";
}

TEST(ContourHTExport, ReductionRefusalsAndCancellationLeaveTheContours) {
  {  // No point at all: refused at once.
    TGPX empty;
    AddSeg(AddTrack(empty));
    RecordingFeedback feedback;
    try {
      TContourHTExport ht(empty, feedback);
      ADD_FAILURE() << "no refusal";
    } catch (const EHTConvertError& e) {
      EXPECT_EQ(std::string(e.what()), kHTNoPointMessage);
    }
  }
  {  // 1820 segments of two points cannot shrink below 20000.
    TGPX iso;
    TGPXtrk* track = AddTrack(iso);
    for (int i = 0; i < 1820; ++i) AddLine(track, 2, 47 + i * 1e-4);
    RecordingFeedback feedback;
    TContourHTExport ht(iso, feedback);
    ASSERT_TRUE(ht.NeedsReduction());
    try {
      ht.Reduce();
      ADD_FAILURE() << "no refusal";
    } catch (const EHTConvertError& e) {
      EXPECT_EQ(std::string(e.what()), kHTCannotReduceMessage);
    }
    EXPECT_FALSE(ht.ContoursReplaced());
    EXPECT_EQ(CountHTPoints(iso, 9), 1820 * 11 + 9);
  }
  {  // Many points on long lines: reduced below 20000, and the contours are
     // the reduced ones; cancelled before the first try, they stay.
    TGPX iso;
    for (int t = 0; t < 3; ++t) {
      TGPXtrkseg* seg = AddSeg(AddTrack(iso));
      for (int i = 0; i < 9000; ++i) AddPoint(seg, 47.5 + t * 0.01 + (i % 2) * 2e-5, 8.25 + i * 1e-5, 100.0 * t);
    }
    const int before = CountHTPoints(iso, 9);
    ASSERT_GT(before, 20000);
    RecordingFeedback cancelled;
    cancelled.Cancel();
    TContourHTExport stopped(iso, cancelled);
    EXPECT_THROW(stopped.Reduce(), TCanceled);
    EXPECT_EQ(CountHTPoints(iso, 9), before);

    RecordingFeedback feedback;
    TContourHTExport ht(iso, feedback);
    std::vector<int> tries;
    ht.Reduce([&](int count) { tries.push_back(count); });
    EXPECT_TRUE(ht.ContoursReplaced());
    EXPECT_EQ(static_cast<int>(tries.size()), ht.ReduceTries());
    EXPECT_EQ(CountHTPoints(iso, 9), ht.ReducedCount());
    EXPECT_LT(ht.ReducedCount(), 20000);
    const std::vector<THTPart> parts = AllParts(ht);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(HTWord(parts[0].Bytes, 8), CountHTPoints(iso, 9) - 9 * 6 + 3 * 3);
  }
}

}  // namespace
}  // namespace sondralis
