#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "corrections/GaugeLevels.h"
#include "corrections/LevelEstimate.h"
#include "corrections/SurveySessions.h"
#include "formats/LevelTable.h"
#include "model/DateTime.h"
#include "support/SyntheticSurvey.h"

namespace sondralis {
namespace {

using namespace testing;

TEST(LevelEstimate, RecoversKnownOffsetsWhereSessionsCross) {
  const std::vector<double> levels = {0, 30, -45, 12};
  for (std::uint64_t seed : {1, 2, 3}) {
    CrossingSurvey survey(levels, seed);
    TSilentFeedback feedback;
    const TLevelEstimate e = EstimateLevels(survey.sessions, {}, feedback);
    ASSERT_EQ(e.Sessions.size(), 4u);
    EXPECT_EQ(e.Sessions[0].OffsetCm, 0);
    for (std::size_t s = 0; s < 4; ++s) {
      const TSessionLevel& l = e.Sessions[s];
      EXPECT_TRUE(l.Estimated);
      EXPECT_GE(l.Crossings, 20) << l.Name;
      EXPECT_EQ(l.Overlaps, 0) << l.Name << ": well crossed, so compared at its crossings only";
      // A session recorded with the water 30 cm higher must lose 30 cm.
      EXPECT_NEAR(l.OffsetCm, -(levels[s] - levels[0]), 3.0) << l.Name << " seed " << seed;
      // What is left at the crossings is the noise of two readings.
      EXPECT_LT(l.ResidualCm, 6 * 2.5) << l.Name;
    }
  }
}

TEST(LevelEstimate, SpikesAtCrossingsDoNotMoveIt) {
  CrossingSurvey clean({0, 30, -45}, 4, 0);
  CrossingSurvey spiked({0, 30, -45}, 4, 0);
  // Every tenth reading of the second session 3 m too deep.
  int k = 0;
  for (auto& run : spiked.sessions[1].Runs)
    for (TPoint4D2* p : run)
      if (++k % 10 == 0) p->HBdepth += 300;
  TSilentFeedback feedback;
  const TLevelEstimate a = EstimateLevels(clean.sessions, {}, feedback);
  const TLevelEstimate b = EstimateLevels(spiked.sessions, {}, feedback);
  for (std::size_t s = 0; s < 3; ++s) {
    EXPECT_NEAR(a.Sessions[s].OffsetCm, b.Sessions[s].OffsetCm, 1.0);
    EXPECT_NEAR(a.Sessions[s].OffsetCm, s == 0 ? 0 : s == 1 ? -30 : 45, 1.0);
  }
}

TEST(LevelEstimate, SessionsWithoutALinkToTheFirstAreLevelledAmongThemselves) {
  // Sessions 2 and 3 lie on another part of the lake and cross each other
  // only, session 4 meets nobody; sessions 0 and 1 cross.
  std::mt19937_64 rng(3);
  TGPX a, b, c, d, e4;
  std::vector<TGPXtrkseg*> ew, ns, far, farNs;
  for (int k = 0; k < 5; ++k) {
    ew.push_back(StraightRun(-40, 20 + 40.0 * k, 240, 20 + 40.0 * k, 2.5, Slope, 0, 3, rng));
    ns.push_back(StraightRun(20 + 40.0 * k, -40, 20 + 40.0 * k, 240, 2.5, Slope, 25, 3, rng));
    far.push_back(StraightRun(1000, 20 + 40.0 * k, 1280, 20 + 40.0 * k, 2.5, Slope, 50, 3, rng));
    farNs.push_back(StraightRun(1060 + 40.0 * k, -40, 1060 + 40.0 * k, 240, 2.5, Slope, 30, 3, rng));
  }
  AddTrack(a, ew);
  AddTrack(b, ns);
  AddTrack(c, far);
  AddTrack(d, farNs);
  AddTrack(e4, {StraightRun(3000, 0, 3300, 0, 2.5, Slope, 0, 3, rng)});
  std::vector<TSurveySession> sessions;
  for (auto [doc, name] : {std::pair{&a, "a.gpx"}, {&b, "b.gpx"}, {&c, "c.gpx"}, {&d, "d.gpx"}, {&e4, "e.gpx"}})
    for (TSurveySession& s : SplitSessions(*doc, name)) sessions.push_back(std::move(s));
  struct Lines : TFeedback {
    std::vector<std::string> lines;
    void Log(const std::string& l) override { lines.push_back(l); }
  } feedback;
  const TLevelEstimate e = EstimateLevels(sessions, {}, feedback);
  ASSERT_EQ(e.Sessions.size(), 5u);
  EXPECT_TRUE(e.Sessions[1].Estimated);
  EXPECT_EQ(e.Sessions[1].Crossings, 25);
  EXPECT_NEAR(e.Sessions[1].OffsetCm, -25, 3);
  EXPECT_TRUE(e.Sessions[1].Reference.empty());
  // The far group keeps c's level and levels d to it.
  EXPECT_TRUE(e.Sessions[2].Estimated && e.Sessions[3].Estimated);
  EXPECT_EQ(e.Sessions[2].OffsetCm, 0);
  EXPECT_EQ(e.Sessions[2].Crossings, 25);
  EXPECT_NEAR(e.Sessions[3].OffsetCm, 20, 3);
  EXPECT_EQ(e.Sessions[2].Reference, "c.gpx");
  EXPECT_EQ(e.Sessions[3].Reference, "c.gpx");
  EXPECT_FALSE(e.Sessions[4].Estimated);
  EXPECT_EQ(e.Sessions[4].OffsetCm, 0);
  ASSERT_EQ(feedback.lines.size(), 5u);
  EXPECT_EQ(feedback.lines[4], "e.gpx: no level estimated: its tracks meet no other session's");
  EXPECT_NE(feedback.lines[1].find("b.gpx: offset -2"), std::string::npos) << feedback.lines[1];
  EXPECT_NE(feedback.lines[1].find(" cm from 25 crossings, residual "), std::string::npos) << feedback.lines[1];
  EXPECT_EQ(feedback.lines[1].find("; "), std::string::npos) << feedback.lines[1];
  EXPECT_NE(feedback.lines[2].find("; kept as the level of the sessions it crosses"), std::string::npos)
      << feedback.lines[2];
  EXPECT_NE(feedback.lines[3].find("; levelled to c.gpx, as none of the sessions it crosses meets the first"),
            std::string::npos)
      << feedback.lines[3];

  // Cancelled before it starts: nothing is estimated.
  feedback.Cancel();
  EXPECT_THROW(EstimateLevels(sessions, {}, feedback), TCanceled);
}

TEST(LevelEstimate, ASessionThatNeverCrossesIsTiedWhereItsReadingsOverlapTheOthers) {
  // A loop along the shore at n = 206 passes the ends of north-south lines
  // 40 m apart that run on to n = 212 and turn along the shore there: no
  // track crosses another clearly, but the readings of both lie together
  // around every turn. The lines were recorded with the water 30 cm higher.
  for (std::uint64_t seed : {1, 2, 3}) {
    std::mt19937_64 rng(seed);
    TGPX loop, lines;
    AddTrack(loop, {StraightRun(-20, 206, 300, 206, 2.5, Slope, 0, 6, rng)});
    std::vector<TGPXtrkseg*> pieces;
    for (int k = 0; k < 7; ++k) {
      const double e = 40.0 * k;
      pieces.push_back(k % 2 == 0 ? StraightRun(e, 0, e, 212, 2.5, Slope, 30, 6, rng)
                                  : StraightRun(e, 212, e, 0, 2.5, Slope, 30, 6, rng));
      if (k % 2 == 0 && k < 6) pieces.push_back(StraightRun(e, 212, e + 40, 212, 2.5, Slope, 30, 6, rng));
    }
    AddTrack(lines, pieces);
    std::vector<TSurveySession> sessions = SplitSessions(loop, "loop.gpx");
    for (TSurveySession& s : SplitSessions(lines, "lines.gpx")) sessions.push_back(std::move(s));
    struct Lines : TFeedback {
      std::vector<std::string> lines;
      void Log(const std::string& l) override { lines.push_back(l); }
    } feedback;
    const TLevelEstimate e = EstimateLevels(sessions, {}, feedback);
    ASSERT_EQ(e.Sessions.size(), 2u);
    const TSessionLevel& l = e.Sessions[1];
    ASSERT_TRUE(l.Estimated) << "seed " << seed;
    EXPECT_NEAR(l.OffsetCm, -30, 3) << "seed " << seed;
    EXPECT_GE(l.Overlaps, 5);
    EXPECT_EQ(l.Overlaps, l.Crossings) << "no track crosses another clearly";
    EXPECT_GT(l.StdErrorCm, 0);
    for (const TCrossing& c : e.Crossings) EXPECT_TRUE(c.Overlap);
    ASSERT_EQ(feedback.lines.size(), 2u);
    EXPECT_NE(feedback.lines[1].find(" cm from 0 crossings and " + std::to_string(l.Overlaps) + " overlaps, residual "),
              std::string::npos)
        << feedback.lines[1];
    // Without the overlaps the loop is left unlinked.
    TLevelEstimateOptions noOverlaps;
    noOverlaps.OverlapRadius = 0;
    EXPECT_FALSE(EstimateLevels(sessions, noOverlaps, feedback).Sessions[1].Estimated);
  }
}

TEST(SurveySessions, OneFileOneSessionOrOnePerDay) {
  std::mt19937_64 rng(1);
  const TDateTime day1 = EncodeDate(2026, 6, 13) + 0.9999, day2 = EncodeDate(2026, 6, 14) + 0.25;
  TGPX doc;
  // A run across midnight, one on the next day, one without times and an
  // outline (no session at all).
  AddTrack(doc,
           {StraightRun(0, 0, 50, 0, 1, Slope, 0, 0, rng, day1), StraightRun(0, 10, 50, 10, 1, Slope, 0, 0, rng, day2),
            StraightRun(0, 20, 50, 20, 1, Slope, 0, 0, rng)});
  AddOutline(doc, {{0, 0}, {1, 0}, {1, 1}});
  std::vector<TSurveySession> s = SplitSessions(doc, "trip.gpx");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].Name, "trip.gpx 2026-06-13");
  EXPECT_EQ(s[1].Name, "trip.gpx 2026-06-14");
  EXPECT_EQ(s[2].Name, "trip.gpx (no time)");
  EXPECT_EQ(s[0].Runs.size(), 1u);
  EXPECT_EQ(s[1].Runs.size(), 2u) << "the run across midnight goes on in the next day's session";
  EXPECT_EQ(s[0].Readings() + s[1].Readings() + s[2].Readings(), 153);

  TGPX untimed;
  AddTrack(untimed, {StraightRun(0, 0, 10, 0, 1, Slope, 0, 0, rng)});
  std::vector<TSurveySession> one = SplitSessions(untimed, "old.gpx");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].Name, "old.gpx");
  ApplySessionOffset(one[0], -20);
  EXPECT_DOUBLE_EQ(Depths(untimed)[0], Slope(0, 0) - 20);
}

// ---------------------------------------------------------------- gauge

TEST(GaugeLevels, CorrectsEachReadingByTheLevelAtItsTime) {
  const TDateTime t0 = EncodeDate(2026, 6, 13);
  const double hour = 1.0 / 24;
  // The lake falls 40 cm over four hours, then rises by 10.
  const TLevelTable table({{t0 + 4 * hour, 60}, {t0, 100}, {t0 + 6 * hour, 70}});
  EXPECT_EQ(table.LowestLevel(), 60);
  EXPECT_NEAR(*table.LevelAt(t0 + hour), 90, 1e-6);
  EXPECT_NEAR(*table.LevelAt(t0 + 5 * hour), 65, 1e-6);
  EXPECT_FALSE(table.LevelAt(t0 - 1e-6));
  EXPECT_FALSE(table.LevelAt(t0 + 0.3));

  std::mt19937_64 rng(1);
  TGPX doc;
  // Readings every second from 01:00 on, all 500 cm.
  AddTrack(doc, {StraightRun(
                    0, 0, 100, 0, 1, [](double, double) { return 500; }, 0, 0, rng, t0 + hour)});
  const TGaugeResult r = ApplyGaugeLevels(doc, table, std::nullopt, "trip.gpx");
  ASSERT_TRUE(r.Applied) << r.Error;
  EXPECT_EQ(r.Readings, 101);
  EXPECT_EQ(r.DatumCm, 60);
  const std::vector<double> d = Depths(doc);
  // At 01:00 the water stood 30 cm above the datum; 100 s later 10/36 cm less.
  EXPECT_NEAR(d.front(), 470, 1e-6);
  EXPECT_NEAR(d.back(), 470 + 100 * 10.0 / 3600, 1e-6);
  EXPECT_NEAR(r.SmallestCm, -30, 1e-6);

  // With a datum of its own.
  TGPX other;
  AddTrack(other, {StraightRun(
                      0, 0, 0, 0, 1, [](double, double) { return 500; }, 0, 0, rng, t0 + 5 * hour)});
  EXPECT_TRUE(ApplyGaugeLevels(other, table, 100.0, "b.gpx").Applied);
  EXPECT_NEAR(Depths(other)[0], 535, 1e-6);
}

TEST(GaugeLevels, RefusesReadingsItCannotCorrectAndChangesNothing) {
  const TDateTime t0 = EncodeDate(2026, 6, 13);
  const TLevelTable table({{t0, 100}, {t0 + 0.5, 60}});
  std::mt19937_64 rng(1);
  TGPX late;
  AddTrack(late, {StraightRun(
                     0, 0, 10, 0, 1, [](double, double) { return 500; }, 0, 0, rng, t0 + 0.5 - 5 / 86400.0)});
  const TGaugeResult r = ApplyGaugeLevels(late, table, std::nullopt, "late.gpx");
  EXPECT_FALSE(r.Applied);
  EXPECT_EQ(r.Error,
            "late.gpx: 5 readings lie outside the gauge table's times (2026-06-13T00:00:00Z to 2026-06-13T12:00:00Z), "
            "first at 2026-06-13T12:00:01Z");
  EXPECT_EQ(Depths(late), std::vector<double>(11, 500));

  TGPX untimed;
  AddTrack(untimed, {StraightRun(
                        0, 0, 1, 0, 1, [](double, double) { return 500; }, 0, 0, rng)});
  const TGaugeResult u = ApplyGaugeLevels(untimed, table, std::nullopt, "old.gpx");
  EXPECT_FALSE(u.Applied);
  EXPECT_EQ(u.Error.substr(0, 74), "old.gpx: 2 readings carry no time, so the gauge table cannot correct them ");
  EXPECT_EQ(Depths(untimed), std::vector<double>(2, 500));
}

TEST(GaugeLevels, TableFile) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("sondralis-gauge-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  };
  const TLevelTable t = TLevelTable::Read(write("ok.csv",
                                                "\xEF\xBB\xBFtime,level_cm\r\n# gauge at the dam\r\n"
                                                "2026-06-13T12:00:00Z,412.5\r\n\r\n2026-06-13T00:00:00+02:00;400\n"
                                                "2026-06-13T06:00:00Z\t405,\n2026-06-13T06:00:00Z,405\n"));
  ASSERT_EQ(t.Entries().size(), 3u);
  EXPECT_EQ(FormatIsoTime(t.First()), "2026-06-12T22:00:00Z");
  EXPECT_DOUBLE_EQ(t.LowestLevel(), 400);
  EXPECT_NEAR(*t.LevelAt(EncodeDate(2026, 6, 13) + 0.375), 408.75, 1e-6);

  auto refused = [&](const std::string& text) {
    try {
      TLevelTable::Read(write("bad.csv", text));
    } catch (const std::runtime_error& e) {
      return std::string(e.what()).substr((dir / "bad.csv").string().size());
    }
    return std::string("read");
  };
  EXPECT_EQ(refused("time,level_cm\n2026-06-13T00:00:00Z,400\n2026-06-13T01:00:00Z,4OO\n"),
            ", line 3 is no 'time,level_cm' line with an ISO 8601 time and a level in cm: '2026-06-13T01:00:00Z,4OO'");
  EXPECT_EQ(refused("2026-06-13T00:00:00Z,400\nyesterday,401\n").substr(0, 9), ", line 2 ");
  EXPECT_EQ(refused("2026-06-13T00:00:00Z,400\n2026-06-13T00:00:00Z,401\n"),
            ": two levels for 2026-06-13T00:00:00Z: 400 and 401 cm");
  EXPECT_EQ(refused("time,level_cm\n"), ": the gauge table holds no levels");
  EXPECT_EQ(refused("2026-06-13T00:00:00Z,400,3\n").substr(0, 9), ", line 1 ");
  EXPECT_EQ(refused("2026-02-30T00:00:00Z,400\n").substr(0, 9), ", line 1 ");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sondralis
