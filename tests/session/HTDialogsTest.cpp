// The HT exports of the window with their dialogs: the parts, their
// names, the questions, the reduction, the labels and the messages.
#include "session/HTDialogs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "contours/HTTestSupport.h"
#include "contours/PointListEdit.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "support/ScriptedHost.h"

namespace sondralis {
namespace {

using namespace sondralis::testing;

const std::string kInformation =
    "To upload the generated files to your Humminbird, you have to\r\n"
    "copy them into a folder \"matrix\" on a SD-Card.\r\n"
    "The generated files should be named 000.ht, 001.ht and so on.\r\n"
    "\r\n"
    "Enter the SD-card in your Humminbird and upload the files, when asked for.\r\n"
    "To colorize them by depth, you have to set the track style to \"color by depth\".";

// Entry count, start and end position of a written HT file.
struct HTSummary {
  int Entries;
  std::int32_t StartX, StartY, EndX, EndY;
};

HTSummary Summary(const std::string& path) {
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes.size(), 131080u) << path;
  if (bytes.size() != 131080u) return {};
  return {HTWord(bytes, 8), HTLong(bytes, 16), HTLong(bytes, 20), HTLong(bytes, 24), HTLong(bytes, 28)};
}

std::vector<std::string> Proposed(const ScriptedHost& host) {
  std::vector<std::string> names;
  for (const SaveFileRequest& r : host.SaveRequests) names.push_back(r.ProposedName);
  return names;
}

class HTExportTest : public ::testing::Test {
 protected:
  TempDir dir{"ht-export"};
  ScriptedHost host;
  TGPX iso;
};

TEST_F(HTExportTest, CountOfExactly20000FitsOneFileWithoutReduction) {
  AddLine(AddTrack(iso), 20000 - 18);
  host.SaveReplies = {dir / "000.ht"};
  const HTExportResult result = CreateHTFile(iso, "Lake", true, host, host, host.LabelSetter());

  EXPECT_EQ(result.Outcome, HTExportOutcome::Done);
  EXPECT_FALSE(result.ContoursReplaced);
  EXPECT_FALSE(host.Logged("Reducing dataset (2/2); n is 20000"));
  ASSERT_EQ(host.SaveRequests.size(), 1u);
  EXPECT_EQ(host.SaveRequests[0].Title, "Save ISO Lines as HT Track");
  EXPECT_EQ(host.SaveRequests[0].Filter, "HT-Track|*.ht");
  EXPECT_EQ(host.SaveRequests[0].DefaultExt, "ht");
  EXPECT_EQ(host.SaveRequests[0].ProposedName, "000.ht");
  EXPECT_EQ(Summary(dir / "000.ht").Entries, 19982 + 3);
  EXPECT_TRUE(host.Questions.empty()) << "no overwrite question for a new file";

  EXPECT_EQ(host.Labels["lblHTState"],
            (std::vector<std::string>{"Checking dataset...", "Writing to HT file...", "done"}));
  EXPECT_EQ(host.Informations, std::vector<std::string>{kInformation});
  EXPECT_EQ(host.LogLines, (std::vector<std::string>{
                               "saving dataset ===================================",
                               "reducing dataset ===================================",
                               "splitting dataset ===================================",
                               "n (total) is 20000",
                               "iterate =====000======",
                               "n_towrite is 20000",
                               "n of IsoDataWrite 20000",
                           }));
}

TEST_F(HTExportTest, SplitsAtTheLimitOfEachPart) {
  {  // 20009: the last track's allowance is left out, so one part.
    TGPX doc;
    AddLine(AddTrack(doc), 20009 - 18);
    ScriptedHost h;
    h.SaveReplies = {dir / "a.ht"};
    CreateHTFile(doc, "Lake", false, h, h, h.LabelSetter());
    EXPECT_EQ(Proposed(h), std::vector<std::string>{"000.ht"});
    EXPECT_EQ(Summary(dir / "a.ht").Entries, 19991 + 3);
  }
  {  // 20010 in two segments: the second opens part 001.
    TGPX doc;
    TGPXtrk* track = AddTrack(doc);
    AddLine(track, 10000);
    AddLine(track, 9983, 47.6);
    ASSERT_EQ(CountHTPoints(doc, 9), 20010);
    ScriptedHost h;
    h.SaveReplies = {dir / "b0.ht", dir / "b1.ht"};
    CreateHTFile(doc, "Lake", false, h, h, h.LabelSetter());
    EXPECT_EQ(Proposed(h), (std::vector<std::string>{"000.ht", "001.ht"}));
    EXPECT_EQ(Summary(dir / "b0.ht").Entries, 10003);
    EXPECT_EQ(Summary(dir / "b1.ht").Entries, 9986);
    EXPECT_TRUE(h.Logged("n_towrite is 10018")) << "the allowance of the segment that did not fit counts";
  }
  {  // 20010 in one segment of 19992 points: cut into two connected pieces.
    TGPX doc;
    AddLine(AddTrack(doc), 19992);
    ScriptedHost h;
    h.SaveReplies = {dir / "c0.ht", dir / "c1.ht"};
    const HTExportResult result = CreateHTFile(doc, "Lake", false, h, h, h.LabelSetter());
    EXPECT_EQ(result.Outcome, HTExportOutcome::Done);
    const HTSummary first = Summary(dir / "c0.ht");
    const HTSummary second = Summary(dir / "c1.ht");
    EXPECT_EQ(first.Entries, 19991 + 3);
    EXPECT_EQ(second.Entries, 2 + 3);
    EXPECT_EQ(second.StartX, first.EndX) << "the piece starts where the last one ended";
    EXPECT_EQ(second.StartY, first.EndY);
    EXPECT_EQ(doc.trk[0]->trkseg(0)->Count(), 19992) << "the contours are not cut";
  }
}

TEST_F(HTExportTest, LongSegmentsAreCutIntoAsManyPiecesAsNeeded) {
  // 45000 points: pieces of 19991, 19991 and 5020 (each repeats one point).
  AddLine(AddTrack(iso), 45000, 47.0, 8.0);
  AddLine(AddTrack(iso), 10, 47.45, 8.45);
  host.SaveReplies = {dir / "0.ht", dir / "1.ht", dir / "2.ht"};
  CreateHTFile(iso, "Lake", false, host, host, host.LabelSetter());
  EXPECT_EQ(Proposed(host), (std::vector<std::string>{"000.ht", "001.ht", "002.ht"}));
  EXPECT_EQ(Summary(dir / "0.ht").Entries, 19994);
  EXPECT_EQ(Summary(dir / "1.ht").Entries, 19994);
  // The last piece shares its part with the next track.
  EXPECT_EQ(Summary(dir / "2.ht").Entries, 5020 + 3 + 10 + 3);
  EXPECT_EQ(Summary(dir / "1.ht").StartX, Summary(dir / "0.ht").EndX);
  EXPECT_EQ(Summary(dir / "2.ht").StartY, Summary(dir / "1.ht").EndY);
}

TEST_F(HTExportTest, TrackSpreadOverTwoPartsIsWrittenInBoth) {
  AddLine(AddTrack(iso), 15000, 47.5);
  TGPXtrk* second = AddTrack(iso);
  AddLine(second, 3000, 47.7);
  AddLine(second, 5000, 47.8, 8.3);
  host.SaveReplies = {dir / "0.ht", dir / "1.ht"};
  const HTExportResult result = CreateHTFile(iso, "Lake", false, host, host, host.LabelSetter());

  EXPECT_EQ(result.Files, (std::vector<std::string>{dir / "0.ht", dir / "1.ht"}));
  EXPECT_EQ(Summary(dir / "0.ht").Entries, 15000 + 3000 + 6);
  const HTSummary part1 = Summary(dir / "1.ht");
  EXPECT_EQ(part1.Entries, 5003);
  EXPECT_EQ(part1.StartX, HTLongitudeToX(8.3));
  EXPECT_EQ(part1.StartY, HTLatitudeToY(47.8));
  EXPECT_TRUE(host.Logged("n_towrite is 18036"));
  EXPECT_TRUE(host.Logged("n of IsoDataWrite 18036"));
  EXPECT_TRUE(host.Logged("iterate =====001======"));
  EXPECT_EQ(iso.trk.Count(), 2);
  EXPECT_EQ(iso.trk[1]->Count(), 2);
}

TEST_F(HTExportTest, CancelledDialogSkipsThePartButNotItsNumber) {
  TGPXtrk* track = AddTrack(iso);
  AddLine(track, 12000);
  AddLine(track, 12000, 47.6);
  host.SaveReplies = {std::nullopt, dir / "second.ht"};
  const HTExportResult result = CreateHTFile(iso, "Lake", false, host, host, host.LabelSetter());
  EXPECT_EQ(Proposed(host), (std::vector<std::string>{"000.ht", "001.ht"}));
  EXPECT_EQ(result.Files, std::vector<std::string>{dir / "second.ht"});
  EXPECT_EQ(dir.FileCount(), 1);
  EXPECT_EQ(result.Outcome, HTExportOutcome::Done);
  EXPECT_EQ(host.Informations.size(), 1u);
}

TEST_F(HTExportTest, AnsweringNoEndsTheExport) {
  TGPXtrk* track = AddTrack(iso);
  for (int i = 0; i < 3; ++i) AddLine(track, 12000, 47.5 + i * 0.1);
  const std::string first = dir / "000.ht", second = dir / "001.ht";
  WriteFileAtomically(second, "keep me");
  host.SaveReplies = {first, second};
  host.YesNoReplies = {false};
  const HTExportResult result = CreateHTFile(iso, "Lake", false, host, host, host.LabelSetter());

  EXPECT_EQ(result.Outcome, HTExportOutcome::Stopped);
  EXPECT_EQ(host.Questions, std::vector<std::string>{"Overwrite existing " + second + " ?"});
  EXPECT_EQ(Summary(first).Entries, 12003);
  EXPECT_EQ(ReadFile(second), "keep me");
  EXPECT_EQ(host.SaveRequests.size(), 2u) << "no later part is offered";
  EXPECT_TRUE(host.Informations.empty());
  EXPECT_EQ(host.Label("lblHTState"), "Writing to HT file...");
  EXPECT_TRUE(host.Errors.empty());
}

// Wavy closed rings, one depth per track, with a zigzag of 4e-5 degrees as
// a pixel grid leaves it: only thresholds below about 25000 thin them.
void BuildRings(TGPX& doc, int tracks, int ringsPerTrack, int points) {
  for (int t = 0; t < tracks; ++t) {
    TGPXtrk* track = AddTrack(doc);
    for (int r = 0; r < ringsPerTrack; ++r) {
      TGPXtrkseg* seg = AddSeg(track);
      const double radius = 0.002 * (1 + t + r * tracks);
      for (int i = 0; i <= points; ++i) {
        const double a = 2 * M_PI * (i % points) / points;
        const double wave = radius * (1 + 0.1 * std::sin(5 * a)) + (i % 2) * 4e-5;
        AddPoint(seg, 47.5 + wave * std::sin(a), 8.25 + wave * std::cos(a), 100.0 * t);
      }
    }
  }
}

TEST_F(HTExportTest, ReductionReplacesTheContoursByTheLargestThresholdThatFits) {
  BuildRings(iso, 10, 2, 1100);
  const int before = CountHTPoints(iso, 9);
  ASSERT_GT(before, 20000);
  TGPX original;
  original.CopyFrom(iso);
  host.SaveReplies = {dir / "000.ht"};
  const HTExportResult result = CreateHTFile(iso, "Lake", true, host, host, host.LabelSetter());

  ASSERT_EQ(result.Outcome, HTExportOutcome::Done) << result.Error;
  EXPECT_TRUE(result.ContoursReplaced);
  EXPECT_LE(result.ReduceTries, 17);
  EXPECT_LT(result.ReduceThreshold, 99950);
  const int after = CountHTPoints(iso, 9);
  EXPECT_LT(after, 20000);
  EXPECT_EQ(host.Label("lblWritePoints"), "# HT Points: " + std::to_string(after));
  EXPECT_TRUE(host.Logged("Reducing dataset (2/2); n is " + std::to_string(before)));
  EXPECT_TRUE(host.Logged("Applying reduce threshold of 49975"));
  EXPECT_EQ(host.Labels["lblHTState"][1], "Reducing dataset (2/2)");
  EXPECT_EQ(Proposed(host), std::vector<std::string>{"000.ht"});
  EXPECT_EQ(Summary(dir / "000.ht").Entries, after - 9 * 30 + 3 * 20);

  // One more and the count would reach 20000.
  TGPX bigger;
  bigger.CopyFrom(original);
  for (TGPXtrk* t : bigger.trk)
    for (TGPXtrkseg* s : *t) ReducePointList(*s, result.ReduceThreshold + 1);
  EXPECT_GE(CountHTPoints(bigger, 9), 20000);

  // The reduced contours stay: the next export needs no reduction.
  ScriptedHost again;
  again.SaveReplies = {std::nullopt};
  const HTExportResult second = CreateHTFile(iso, "Lake", true, again, again, again.LabelSetter());
  EXPECT_FALSE(second.ContoursReplaced);
  for (const std::string& line : again.LogLines) EXPECT_EQ(line.find("Applying"), std::string::npos);
}

TEST_F(HTExportTest, WithoutReductionTheContoursStayAndAreSplit) {
  BuildRings(iso, 10, 2, 1100);
  const int before = CountHTPoints(iso, 9);
  host.SaveReplies = {std::nullopt, std::nullopt};
  const HTExportResult result = CreateHTFile(iso, "Lake", false, host, host, host.LabelSetter());
  EXPECT_FALSE(result.ContoursReplaced);
  EXPECT_EQ(CountHTPoints(iso, 9), before);
  EXPECT_EQ(host.SaveRequests.size(), 2u);
}

TEST_F(HTExportTest, RefusalsEndTheExportWithAMessage) {
  {  // 1820 segments of two points cannot shrink.
    TGPXtrk* track = AddTrack(iso);
    for (int i = 0; i < 1820; ++i) AddLine(track, 2, 47 + i * 1e-4);
    const HTExportResult result = CreateHTFile(iso, "Lake", true, host, host, host.LabelSetter());
    EXPECT_EQ(result.Outcome, HTExportOutcome::Error);
    EXPECT_EQ(host.Errors, std::vector<std::string>{"Can't reduce dataset to less than 20000 points"});
    EXPECT_FALSE(result.ContoursReplaced);
    EXPECT_EQ(CountHTPoints(iso, 9), 1820 * 11 + 9);
    EXPECT_TRUE(host.SaveRequests.empty());
    EXPECT_TRUE(host.Logged("Applying reduce threshold of 1"));
    EXPECT_TRUE(host.Informations.empty());
  }
  {  // No point at all.
    TGPX empty;
    AddSeg(AddTrack(empty));
    ScriptedHost h;
    EXPECT_EQ(CreateHTFile(empty, "Lake", true, h, h, h.LabelSetter()).Outcome, HTExportOutcome::Error);
    EXPECT_EQ(h.Errors, std::vector<std::string>{"Can't convert dataset without any point"});
    EXPECT_TRUE(h.SaveRequests.empty());
  }
  {  // Contours on two lakes 50 km apart: refused before a file is chosen.
    TGPX lakes;
    AddLine(AddTrack(lakes), 10, 47.5, 8.25);
    AddLine(AddTrack(lakes), 10, 47.5, 8.9);
    ScriptedHost h;
    const HTExportResult result = CreateHTFile(lakes, "Lake", false, h, h, h.LabelSetter());
    EXPECT_EQ(result.Outcome, HTExportOutcome::Error);
    ASSERT_EQ(h.Errors.size(), 1u);
    EXPECT_NE(h.Errors[0].find("more than the 32767"), std::string::npos) << h.Errors[0];
    EXPECT_EQ(result.Error, h.Errors[0]);
    EXPECT_TRUE(h.SaveRequests.empty());
    EXPECT_EQ(dir.FileCount(), 0);
  }
  {  // A folder that does not exist.
    TGPX doc;
    AddLine(AddTrack(doc), 10);
    ScriptedHost h;
    h.SaveReplies = {dir / "missing/000.ht"};
    const HTExportResult result = CreateHTFile(doc, "Lake", false, h, h, h.LabelSetter());
    EXPECT_EQ(result.Outcome, HTExportOutcome::Error);
    ASSERT_EQ(h.Errors.size(), 1u);
    EXPECT_NE(h.Errors[0].find("missing/000.ht"), std::string::npos) << h.Errors[0];
    EXPECT_TRUE(h.Informations.empty());
  }
}

TEST_F(HTExportTest, SaveAsWritesTheSourceTracksAndLeavesThemAlone) {
  TGPX tracks;
  AddLine(AddTrack(tracks), 12, 47.5, 8.25, 320);
  AddLine(AddTrack(tracks), 13, 47.6, 8.3, 410);
  const std::string target = dir / "000.ht";
  host.TextReplies = {"Übersee € Tiefenkarte 24X"};
  host.SaveReplies = {target};
  const HTExportResult result = SaveAsHTFile(tracks, host, host, host.LabelSetter());

  EXPECT_EQ(result.Outcome, HTExportOutcome::Done);
  EXPECT_EQ(host.TextRequests, (std::vector<std::pair<std::string, std::string>>{{"Track name", "Name:"}}));
  ASSERT_EQ(host.SaveRequests.size(), 1u);
  EXPECT_EQ(host.SaveRequests[0].Title, "Save GPX Tracks as HT Track");
  EXPECT_EQ(host.SaveRequests[0].Filter, "HT-Track|*.ht");
  EXPECT_EQ(host.SaveRequests[0].DefaultExt, "ht");
  EXPECT_EQ(host.SaveRequests[0].ProposedName, "000.ht");
  // The euro sign has no 8-bit code on the unit: a '?' and a warning, not
  // the sign's low byte (which would read as a broken bar).
  const std::string warning =
      "HT track name \"Übersee € Tiefenkart\": 1 character the unit can't show written as \"?\" "
      "(\"Übersee ? Tiefenkart\")";
  EXPECT_EQ(result.Warnings, std::vector<std::string>{warning});
  EXPECT_EQ(host.LogLines,
            (std::vector<std::string>{"Checking dataset...", "Generated Points: 61", warning, "done"}));
  EXPECT_EQ(host.Labels["lblHTState"], std::vector<std::string>{"Writing to HT file..."});

  const std::string bytes = ReadFile(target);
  EXPECT_EQ(HTWord(bytes, 8), 25 + 6);
  EXPECT_EQ(bytes.substr(48, 20), Hex("DC626572736565203F2054696566656E6B617274"));
  ASSERT_EQ(tracks.trk.Count(), 2);
  EXPECT_EQ(tracks.trk[0]->Count(), 1);
  EXPECT_EQ(tracks.trk[1]->Count(), 1);

  // Again onto the same file: asked first, replaced on Yes.
  ScriptedHost yes;
  yes.TextReplies = {std::nullopt};
  yes.SaveReplies = {target};
  yes.YesNoReplies = {true};
  EXPECT_TRUE(SaveAsHTFile(tracks, yes, yes, yes.LabelSetter()).Warnings.empty());
  EXPECT_EQ(yes.Questions, std::vector<std::string>{"Overwrite existing " + target + " ?"});
  EXPECT_EQ(ReadFile(target).substr(48, 9), std::string("NewTrack") + '\0');
}

TEST_F(HTExportTest, SaveAsEndsEarlyWhereTheDialogsSaySo) {
  TGPX tracks;
  AddLine(AddTrack(tracks), 20);
  const std::string target = dir / "000.ht";
  {  // Cancelled save dialog: nothing written, but "done".
    ScriptedHost h;
    h.TextReplies = {"Lake"};
    h.SaveReplies = {std::nullopt};
    const HTExportResult result = SaveAsHTFile(tracks, h, h, h.LabelSetter());
    EXPECT_EQ(result.Outcome, HTExportOutcome::Done);
    EXPECT_TRUE(result.Files.empty());
    EXPECT_TRUE(h.Logged("done"));
    EXPECT_EQ(dir.FileCount(), 0);
  }
  {  // No to overwriting: the file stays, no "done".
    WriteFileAtomically(target, "old");
    ScriptedHost h;
    h.TextReplies = {"Lake"};
    h.SaveReplies = {target};
    h.YesNoReplies = {false};
    EXPECT_EQ(SaveAsHTFile(tracks, h, h, h.LabelSetter()).Outcome, HTExportOutcome::Stopped);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_FALSE(h.Logged("done"));
  }
  {  // Too many points: refused after the name, before the file.
    TGPX big;
    AddLine(AddTrack(big), 20000 - 17);
    ScriptedHost h;
    h.TextReplies = {"Lake"};
    EXPECT_EQ(SaveAsHTFile(big, h, h, h.LabelSetter()).Outcome, HTExportOutcome::Error);
    EXPECT_EQ(h.Errors, std::vector<std::string>{
                            "Can't convert dataset: it needs 20001 entries; an HT file holds 20000, segment markers "
                            "included"});
    EXPECT_TRUE(h.SaveRequests.empty());
    EXPECT_FALSE(h.Logged("done"));
  }
  {  // No point: refused before any dialog.
    TGPX empty;
    ScriptedHost h;
    EXPECT_EQ(SaveAsHTFile(empty, h, h, h.LabelSetter()).Outcome, HTExportOutcome::Error);
    EXPECT_EQ(h.Errors, std::vector<std::string>{"Can't convert dataset without any point"});
    EXPECT_TRUE(h.TextRequests.empty());
  }
}

}  // namespace
}  // namespace sondralis
