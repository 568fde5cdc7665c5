#include <gtest/gtest.h>

#include <random>

#include "corrections/Despike.h"
#include "corrections/LoadCorrections.h"
#include "model/DateTime.h"
#include "corrections/Readings.h"
#include "corrections/Shoreline.h"
#include "support/SyntheticSurvey.h"

namespace sondralis {
namespace {

using namespace testing;

// A bottom with a flat shelf, a steep drop-off and a hump: where a running
// median has the hardest time.
double Basin(double e, double n) {
  const double dropOff = 900 / (1 + std::exp(-(e - 150) / 25));
  return 120 + dropOff + 300 * std::exp(-(std::pow((e - 300) / 40, 2) + std::pow((n - 40) / 40, 2)));
}

// ---------------------------------------------------------------- spikes

TEST(Despike, RemovesInjectedSpikesAndKeepsGoodReadings) {
  std::mt19937_64 rng(11);
  long long spikes = 0, found = 0, good = 0, lost = 0;
  for (int survey = 0; survey < 20; ++survey) {
    TGPX doc;
    std::vector<TGPXtrkseg*> segs;
    for (int line = 0; line < 4; ++line)
      segs.push_back(StraightRun(0, line * 25.0, 500, line * 25.0 + 30, 2.6, Basin, 0, 6, rng));
    AddTrack(doc, segs);
    // 1 % of the readings made spikes of 1 to 5 m, up or down; the truth
    // is kept beside them.
    std::vector<bool> isSpike;
    std::uniform_real_distribution<double> u(0, 1);
    for (TGPXtrkseg* s : segs)
      for (TPoint4D2* p : *s) {
        const bool spike = u(rng) < 0.01;
        if (spike) {
          const double off = 100 + 400 * u(rng);
          p->HBdepth += (u(rng) < 0.5 && p->HBdepth - off > 20) ? -off : off;
        }
        isSpike.push_back(spike);
      }
    std::size_t k = 0;
    for (TGPXtrkseg* s : segs) {
      std::vector<double> d;
      for (TPoint4D2* p : *s) d.push_back(p->HBdepth);
      const std::vector<bool> flagged = FindSpikes(d, {});
      for (bool f : flagged) {
        if (isSpike[k]) spikes++, found += f;
        else good++, lost += f;
        ++k;
      }
    }
    const long long before = static_cast<long long>(Depths(doc).size());
    const TDespikeResult r = Despike(doc, {});
    EXPECT_EQ(r.Readings, before);
    EXPECT_EQ(before - r.Removed, static_cast<long long>(Depths(doc).size()));
  }
  ASSERT_GT(spikes, 50);
  EXPECT_GE(found, spikes * 99 / 100) << found << " of " << spikes;
  EXPECT_LT(lost * 200, good) << lost << " of " << good << " good readings flagged";
}

TEST(Despike, WindowAtTheEndsAndShortLists) {
  // A spike on the first and on the last reading is judged against the
  // readings nearest to it.
  std::vector<double> d = {900, 300, 302, 301, 299, 300, 303, 301, 298, 30};
  const std::vector<bool> s = FindSpikes(d, {.K = 3, .T = 1.5, .A = 50});
  EXPECT_EQ(s, (std::vector<bool>{true, false, false, false, false, false, false, false, false, true}));
  // Fewer than three readings: nothing to judge by.
  EXPECT_EQ(FindSpikes(std::vector<double>{300, 900}, {}), (std::vector<bool>{false, false}));
  // A list shorter than the window is its own window.
  EXPECT_EQ(FindSpikes(std::vector<double>{300, 900, 301}, {}), (std::vector<bool>{false, true, false}));
  // The floor: differences below A cm are never spikes, however quiet the
  // neighbours.
  EXPECT_EQ(FindSpikes(std::vector<double>{300, 300, 349, 300, 300}, {.K = 2, .T = 1.5, .A = 50}),
            std::vector<bool>(5, false));
}

TEST(Despike, SpikesOnSteepSlopesAndSeveralInOneWindow) {
  // On a drop-off whose readings fall 40 to 120 cm from one to the next, a
  // spike of a little over a metre lies within the window's own spread; a
  // clean slope of any steepness has none. Random slopes, noise and spike
  // places.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> noise(0, 6);
  for (int trial = 0; trial < 200; ++trial) {
    const double slope = (u(rng) < 0.5 ? -1 : 1) * (40 + 80 * u(rng));
    std::vector<double> d;
    for (int i = 0; i < 40; ++i) d.push_back(3000 + slope * i + noise(rng));
    ASSERT_EQ(FindSpikes(d, {}), std::vector<bool>(d.size(), false)) << "slope " << slope;
    const auto at = static_cast<std::size_t>(1 + 37 * u(rng));
    d[at] += (u(rng) < 0.5 ? -1 : 1) * (100 + 50 * u(rng));
    std::vector<bool> expected(d.size(), false);
    expected[at] = true;
    EXPECT_EQ(FindSpikes(d, {}), expected) << "slope " << slope << ", spike at " << at;
  }
  // Three spikes among seven readings on a flat bottom: the slope between
  // them means nothing, and the level window still finds all three.
  const std::vector<double> flat = {1405, 1415, 1403, 1414, 1419, 1407, 1043, 1054, 1420, 972, 1417, 1408, 1413, 1410};
  std::vector<bool> expected(flat.size(), false);
  expected[6] = expected[7] = expected[9] = true;
  EXPECT_EQ(FindSpikes(flat, {}), expected);
}

TEST(Despike, LeavesOutlinesAndMissingReadingsAlone) {
  TGPX doc;
  std::mt19937_64 rng(1);
  AddOutline(doc, {{0, 0}, {100, 0}, {100, 100}, {0, 100}});
  TGPXtrkseg* run = StraightRun(0, 50, 100, 50, 2, [](double, double) { return 400; }, 0, 0, rng);
  run->WayPoints(5)->HBdepth = 0;     // the sounder lost the bottom
  run->WayPoints(10)->HBdepth = 40;  // clutter
  AddTrack(doc, {run});
  const int points = run->Count();
  const TDespikeResult r = Despike(doc, {});
  EXPECT_EQ(r.Removed, 1);
  EXPECT_EQ(r.Readings, points - 1);
  EXPECT_EQ(run->Count(), points - 1);
  EXPECT_EQ(run->WayPoints(5)->HBdepth, 0) << "a missing reading is no spike and stays where it was";
  EXPECT_EQ(doc.trk.Tracks(0)->trkseg(0)->Count(), 4) << "the outline keeps its points";
}

// ---------------------------------------------------------------- readings

TEST(Readings, TransducerDepthGoesToReadingsOnly) {
  TGPX doc;
  std::mt19937_64 rng(1);
  AddOutline(doc, {{0, 0}, {100, 0}, {100, 100}});
  TGPXtrkseg* run = StraightRun(0, 0, 10, 0, 1, [](double e, double) { return 20 + e; }, 0, 0, rng);
  run->WayPoints(3)->HBdepth = 0;
  AddTrack(doc, {run});
  const TReadingsChanged r = AddToReadings(doc, 35);
  EXPECT_EQ(r.Readings, 10);
  EXPECT_EQ(r.NotPositive, 0);
  EXPECT_EQ(Depths(doc), (std::vector<double>{0, 0, 0, 55, 56, 57, 0, 59, 60, 61, 62, 63, 64, 65}));
  // A level offset that lifts readings above the bottom is counted.
  EXPECT_EQ(AddToReadings(doc, -58).NotPositive, 3);
  EXPECT_EQ(AddToReadings(doc, 0).Readings, 0);
}

TEST(Readings, DepthFromNegativeElevation) {
  TGPX doc;
  auto* seg = new TGPXtrkseg;
  for (double ele : {-3.456, -0.01, 434.0, 0.0, -12.3}) seg->NewPoint()->Altitude = ele;
  AddTrack(doc, {seg});
  EXPECT_EQ(DepthlessFileNote(doc, "sonar.gpx"),
            "sonar.gpx: no depth readings; loaded as a shoreline (3 of its 5 points have a negative elevation: "
            "depths in metres written as <ele>?)");
  const TElevationDepths r = DepthFromElevation(doc);
  EXPECT_EQ(r.Converted, 3);
  EXPECT_EQ(r.Left, 2);
  EXPECT_EQ(Depths(doc), (std::vector<double>{345.6, 1, 0, 0, 1230}));
  // A file that has depth readings keeps them, whatever its elevations.
  EXPECT_EQ(DepthFromElevation(doc).Converted, 0);
  EXPECT_EQ(Depths(doc), (std::vector<double>{345.6, 1, 0, 0, 1230}));

  TGPX shore;
  AddOutline(shore, {{0, 0}, {1, 1}});
  EXPECT_EQ(DepthlessFileNote(shore, "lake.gpx"), "lake.gpx: no depth readings; loaded as a shoreline");
}

// ---------------------------------------------------------------- shoreline

TEST(Shoreline, CountsSoundingsOffTheWater) {
  TGPX doc;
  std::mt19937_64 rng(1);
  // A lake of 400 x 300 m with an island, and a track running from the
  // west shore's outside across the island to the east.
  AddOutline(doc, {{0, 0}, {400, 0}, {400, 300}, {0, 300}});
  AddOutline(doc, {{180, 130}, {220, 130}, {220, 170}, {180, 170}});
  AddTrack(doc, {StraightRun(-95, 150, 395, 150, 10, [](double, double) { return 300; }, 0, 0, rng)});
  const TShoreline shore(doc);
  EXPECT_TRUE(shore.HasOutlines());
  const TOutsideCount c = CountOutside(doc, shore);
  EXPECT_EQ(c.Soundings, 50);
  // -95 ... -5 on land (10 readings), 185 ... 215 on the island (4).
  EXPECT_EQ(c.Outside, 14);
  EXPECT_EQ(OutsideMessage(c, false), "14 soundings lie outside the shoreline and are not mapped");
  EXPECT_EQ(OutsideMessage(c, true), "14 soundings lie outside the shoreline; they are mapped");
  EXPECT_EQ(OutsideMessage({50, 1}, false), "1 sounding lies outside the shoreline and is not mapped");
  EXPECT_EQ(OutsideMessage({50, 0}, false), "");

  // Without outlines everything is water; with two outlines neither of
  // which holds the other, nothing is (as the coverage mask decides).
  TGPX open;
  AddTrack(open, {StraightRun(0, 0, 100, 0, 10, [](double, double) { return 300; }, 0, 0, rng)});
  EXPECT_EQ(CountOutside(open, TShoreline(open)).Outside, 0);
  AddOutline(open, {{-10, -10}, {50, -10}, {50, 10}, {-10, 10}});
  AddOutline(open, {{60, -10}, {120, -10}, {120, 10}, {60, 10}});
  EXPECT_EQ(CountOutside(open, TShoreline(open)).Outside, 11);
}

TEST(Shoreline, AgreesWithBruteForceOnRandomPoints) {
  // A star-shaped lake with many vertices against the plain even-odd rule.
  std::mt19937_64 rng(5);
  std::vector<std::pair<double, double>> ring;
  std::uniform_real_distribution<double> r(200, 400), u(-450, 450);
  for (int i = 0; i < 400; ++i) {
    const double t = 2 * M_PI * i / 400, radius = r(rng);
    ring.push_back({radius * std::cos(t), radius * std::sin(t)});
  }
  TGPX doc;
  AddOutline(doc, ring);
  const TShoreline shore(doc);
  for (int k = 0; k < 2000; ++k) {
    const double e = u(rng), n = u(rng);
    bool inside = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
      const auto [xi, yi] = ring[i];
      const auto [xj, yj] = ring[j];
      if ((yi > n) != (yj > n) && e < (xj - xi) * (n - yi) / (yj - yi) + xi) inside = !inside;
    }
    ASSERT_EQ(shore.OnWater(LatOf(n), LonOf(e)), inside) << e << ", " << n;
  }
}

// ---------------------------------------------------------------- a file's corrections

// One file's corrections in their order, each told with its counts: the
// spikes go before anything is added, so no spike is counted as corrected;
// outlines and readings of 0 are never touched; a gauge table that cannot
// correct every reading refuses the file.
TEST(LoadCorrections, AppliedInOrderAndToldWithCounts) {
  std::mt19937_64 rng(5);
  TGPX doc;
  TGPXtrkseg* run = StraightRun(0, 0, 500, 40, 2.5, Basin, 0, 4, rng, EncodeDate(2024, 6, 13) + 8.0 / 24);
  AddTrack(doc, {run});
  AddOutline(doc, {{-10, -10}, {510, -10}, {510, 60}, {-10, 60}});
  const std::vector<double> truth = Depths(doc);
  for (int i : {20, 90, 150}) (*run)[i]->HBdepth += 400;
  (*run)[40]->HBdepth = 0;

  TGPX corrected;
  corrected.trk.CopyFrom(doc.trk);
  const TCorrectionResult r = CorrectReadings(corrected, "a.gpx", {.Despike = true, .TransducerCm = 40, .LevelCm = -30, .LevelTable = nullptr, .DatumCm = {}});
  EXPECT_EQ(r.Spikes.Removed, 3);
  EXPECT_EQ(r.Transducer.Readings, r.Spikes.Readings - 3);
  EXPECT_EQ(r.Notes, (std::vector<std::string>{
                         "a.gpx: 3 spikes removed of " + std::to_string(r.Spikes.Readings) + " readings",
                         "a.gpx: transducer depth 40 cm added to " + std::to_string(r.Transducer.Readings) + " readings",
                         "a.gpx: water level -30 cm added to " + std::to_string(r.Level.Readings) + " readings"}));
  const auto readings = static_cast<std::size_t>(run->Count());
  std::vector<double> expected;
  for (std::size_t i = 0; i < truth.size(); ++i) {
    if (i == 20 || i == 90 || i == 150) continue;
    expected.push_back(i >= readings ? 0 : i == 40 ? 0 : truth[i] + 10);
  }
  const std::vector<double> got = Depths(corrected);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], expected[i], 1e-9) << "the good readings +10 cm, the zero and the outline as they were, " << i;

  // A level that leaves readings dry says so.
  TGPX shallow;
  shallow.trk.CopyFrom(doc.trk);
  EXPECT_NE(CorrectReadings(shallow, "a.gpx", {.Despike = false, .TransducerCm = 0, .LevelCm = -1000, .LevelTable = nullptr, .DatumCm = {}}).Notes.at(0).find(" of them are now 0 cm or less"),
            std::string::npos);

  // A gauge table that ends before the survey does: nothing changes, and
  // the error names the file; one that covers it corrects every reading.
  const TDateTime start = EncodeDate(2024, 6, 13) + 7.0 / 24;
  TGPX gauged;
  gauged.trk.CopyFrom(doc.trk);
  const TLevelTable shortTable({{start, 100}, {start + 1.0 / 24, 120}});
  const TCorrectionResult refused = CorrectReadings(gauged, "a.gpx", {.Despike = true, .TransducerCm = 0, .LevelCm = {}, .LevelTable = &shortTable, .DatumCm = {}});
  EXPECT_NE(refused.Error.find("a.gpx: "), std::string::npos) << refused.Error;
  EXPECT_NE(refused.Error.find("outside the gauge table's times"), std::string::npos) << refused.Error;
  const TLevelTable table({{start, 100}, {start + 1, 120}});
  const TCorrectionResult applied = CorrectReadings(gauged, "a.gpx", {.Despike = false, .TransducerCm = 0, .LevelCm = {}, .LevelTable = &table, .DatumCm = 90});
  EXPECT_TRUE(applied.Error.empty());
  EXPECT_EQ(applied.Gauge.Readings, static_cast<long long>(readings) - 4) << "the spikes went with the refused try";
  EXPECT_EQ(applied.Notes.at(0), "a.gpx: " + std::to_string(readings - 4) +
                                     " readings corrected by the gauge table, -10.9 to -10.8 cm (datum 90 cm)");
  const TPoint4D2& last = *gauged.trk[0]->trkseg(0)->Last();
  EXPECT_NEAR(last.HBdepth - truth[readings - 1], 90 - *table.LevelAt(last.DateTime), 1e-9);

  // A shoreline takes no correction, and a level given for it is told.
  TGPX outline;
  AddOutline(outline, {{0, 0}, {10, 0}, {10, 10}});
  const TCorrectionResult none = CorrectReadings(outline, "shore.gpx", {.Despike = true, .TransducerCm = 40, .LevelCm = 5, .LevelTable = nullptr, .DatumCm = {}});
  EXPECT_EQ(none.Notes, std::vector<std::string>{"shore.gpx: water level 5 cm not applied: the file holds no depth readings"});
  EXPECT_EQ(Depths(outline), std::vector<double>(3, 0.0));
}

}  // namespace
}  // namespace sondralis
