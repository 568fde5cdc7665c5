// The corrections of the readings as the project and the window's session
// apply them while files load: on surveys whose true bottom, water levels
// and spikes are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "session/Project.h"
#include "session/ProjectFile.h"
#include "support/Files.h"
#include "session/SessionFixture.h"
#include "support/RecordingFeedback.h"
#include "support/SyntheticSurvey.h"

namespace sondralis::testing {
namespace {

// The mean of (reading - true bottom) over the readings of some tracks: 0
// for readings corrected to the surface.
double MeanError(const TGPX& doc, int firstTrack, int tracks) {
  const double kx = kMetresPerDegree * std::cos(kLat0 * M_PI / 180);
  double sum = 0;
  long long n = 0;
  for (int t = firstTrack; t < firstTrack + tracks; ++t)
    for (const TGPXtrkseg* s : *doc.trk[t])
      for (const TPoint4D2* p : *s) {
        sum += p->HBdepth - Slope((p->Longitude - kLon0) * kx, (p->Latitude - kLat0) * kMetresPerDegree);
        ++n;
      }
  return n ? sum / static_cast<double>(n) : NAN;
}

class CorrectionsWiring : public SessionTest {
 protected:
  // Sessions of the crossing survey, each a file whose readings are its
  // level deeper and `transducer` shallower than the bottom; every 50th
  // reading of the second a spike.
  std::vector<std::string> WriteSurvey(const std::vector<double>& levels, double transducer) {
    CrossingSurvey survey(levels, 7, 4);
    std::vector<std::string> paths;
    for (std::size_t s = 0; s < survey.docs.size(); ++s) {
      int k = 0;
      for (TGPXtrk* t : survey.docs[s]->trk)
        for (TGPXtrkseg* seg : *t)
          for (TPoint4D2* p : *seg) {
            p->HBdepth -= transducer;
            if (s == 1 && ++k % 50 == 0) p->HBdepth += 350;
          }
      std::string name = std::to_string(s);  // not "s" + ...: GCC 12 warns wrongly (-Wrestrict)
      name.insert(0, 1, 's');
      paths.push_back(Write(name + ".gpx", GpxText(*survey.docs[s])));
    }
    return paths;
  }
};

// A batch of three sessions loaded with every correction of the readings
// comes out at the true bottom, each correction told with its counts; a
// later batch is levelled to what was loaded before.
TEST_F(CorrectionsWiring, ProjectCorrectsEachBatchAndLevelsItToTheLoadedOnes) {
  const std::vector<std::string> paths = WriteSurvey({0, 30, -45, 12}, 40);
  TProject project(1);
  project.DrawMaps = false;
  project.Settings.Corrections.Despike = true;
  project.Settings.Corrections.TransducerCm = 40;
  project.Settings.Corrections.AutoLevel = true;
  RecordingFeedback feedback;
  for (int s = 0; s < 3; ++s) {
    const SourceLoadResult r = project.AddFile(paths[static_cast<std::size_t>(s)], {}, feedback);
    ASSERT_TRUE(r.Error.empty()) << r.Error;
    ASSERT_EQ(r.Notes.size(), 2u);
    EXPECT_EQ(r.Notes[1].rfind("s" + std::to_string(s) + ".gpx: transducer depth 40 cm added to ", 0), 0u);
  }
  EXPECT_GE(project.Inputs()[1].Corrections.Spikes.Removed, 10);
  EXPECT_EQ(project.Inputs()[0].Corrections.Spikes.Removed, 0);
  const std::vector<std::string> told = project.FinishLoading(feedback);
  ASSERT_EQ(told.size(), 3u);
  EXPECT_EQ(told[1].rfind("s1.gpx: offset -", 0), 0u) << told[1];
  for (const std::string& line : told) EXPECT_TRUE(feedback.Logged(line)) << line;
  for (const TProjectInput& input : project.Inputs())
    EXPECT_NEAR(MeanError(project.GPXdata(), input.FirstTrack, input.Tracks), 0, 3) << input.Path;
  EXPECT_EQ(project.MaxDepth(), GetMaxDepth(project.GPXdata()));

  // The next batch: one more session, levelled against the three.
  ASSERT_TRUE(project.AddFile(paths[3], {}, feedback).Error.empty());
  const std::vector<std::string> next = project.FinishLoading(feedback);
  ASSERT_EQ(next.size(), 1u) << "the sessions loaded before are the reference, not levelled again";
  EXPECT_EQ(next[0].rfind("s3.gpx: offset -1", 0), 0u) << next[0];
  const TProjectInput& last = project.Inputs().back();
  EXPECT_NEAR(MeanError(project.GPXdata(), last.FirstTrack, last.Tracks), 0, 3);
  EXPECT_EQ(project.LoadSummary().Corrections.size(), 4u * 2 + 3 + 1);

  // Everything levelled: a new estimate finds nothing left to correct, and
  // applying it changes the readings by that little.
  const TProjectLevels levels = project.EstimateLevels(feedback);
  ASSERT_EQ(levels.Estimate.Sessions.size(), 4u);
  EXPECT_EQ(levels.Inputs, (std::vector<int>{0, 1, 2, 3}));
  for (const TSessionLevel& l : levels.Estimate.Sessions) EXPECT_NEAR(l.OffsetCm, 0, 1.5) << l.Name;
  const double before = MeanError(project.GPXdata(), last.FirstTrack, last.Tracks);
  EXPECT_GT(project.ApplyLevels(levels), 0);
  EXPECT_NEAR(MeanError(project.GPXdata(), last.FirstTrack, last.Tracks) - before, levels.Estimate.Sessions[3].OffsetCm,
              1e-9);

  project.StartOver();
  EXPECT_TRUE(project.LoadSummary().Corrections.empty());
  EXPECT_TRUE(project.Inputs().empty());
}

// "No pixel lies on water" says why: a depth file taken for a shoreline,
// or a survey that lies wholly outside the shoreline. The corrections that
// fit each case then make the map.
TEST_F(CorrectionsWiring, NoWaterNamesTheLikelyCause) {
  const auto refusal = [](TProject& project) {
    TSilentFeedback quiet;
    try {
      project.Interpolate(quiet);
    } catch (const ERunRefused& e) {
      return std::string(e.what());
    }
    return std::string("not refused");
  };
  std::string sonar = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>";
  for (int i = 0; i < 40; ++i)
    sonar += "<trkpt lat=\"" + std::to_string(47.2 + 0.0001 * i) + "\" lon=\"" + std::to_string(8.6 + 0.00013 * i) +
             "\"><ele>-" + std::to_string(2 + i % 7) + ".25</ele></trkpt>";
  const std::string path = Write("sonar.gpx", sonar + "</trkseg></trk></gpx>");
  {
    TProject project(1);
    project.SetMapSize(120, 90);
    RecordingFeedback feedback;
    ASSERT_TRUE(project.AddFile(path, {}, feedback).Error.empty());
    ASSERT_TRUE(project.Interpolable());
    const std::string note =
        "sonar.gpx: no depth readings; loaded as a shoreline (40 of its 40 points have a negative elevation: depths in "
        "metres written as <ele>?)";
    EXPECT_EQ(project.LoadSummary().Shorelines, std::vector<std::string>{note});
    EXPECT_TRUE(feedback.Logged(note));
    EXPECT_EQ(refusal(project),
              "No pixel lies on water within the extrapolation radius of a depth track: there is nothing to "
              "interpolate. Likely cause: no file with depth readings is loaded; " +
                  note + ".");
  }
  {
    TProject project(1);
    project.SetMapSize(120, 90);
    project.Settings.Corrections.DepthFromElevation = true;
    TSilentFeedback quiet;
    ASSERT_TRUE(project.AddFile(path, {}, quiet).Error.empty());
    EXPECT_EQ(project.MaxDepth(), 825);
    EXPECT_TRUE(project.LoadSummary().Shorelines.empty());
    EXPECT_TRUE(project.Interpolate(quiet));
  }

  // A survey and the outline of a lake beside it.
  std::mt19937_64 rng(2);
  TGPX survey, shore;
  AddTrack(survey, {StraightRun(0, 0, 300, 200, 2.5, Slope, 0, 3, rng)});
  AddOutline(shore, {{400, 0}, {600, 20}, {580, 200}, {420, 180}});
  const std::string surveyPath = Write("survey.gpx", GpxText(survey));
  const std::string shorePath = Write("shore.gpx", GpxText(shore));
  for (bool keep : {false, true}) {
    TProject project(1);
    project.SetMapSize(160, 120);
    project.Settings.Interpolation.KeepOutside = keep;
    TSilentFeedback quiet;
    ASSERT_TRUE(project.AddFile(surveyPath, {}, quiet).Error.empty());
    ASSERT_TRUE(project.AddFile(shorePath, {}, quiet).Error.empty());
    const long long readings = static_cast<long long>(Depths(survey).size());
    const std::vector<std::string> told = project.FinishLoading(quiet);
    EXPECT_EQ(project.LoadSummary().Outside.Outside, readings);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], std::to_string(readings) + " soundings lie outside the shoreline" +
                           (keep ? "; they are mapped" : " and are not mapped"));
    if (keep) {
      EXPECT_TRUE(project.Interpolate(quiet));
      EXPECT_GT(project.DepthMap().CoveredPixels, 0);
    } else {
      EXPECT_NE(refusal(project).find("Likely cause: all " + std::to_string(readings) +
                                      " soundings lie outside the shoreline"),
                std::string::npos);
    }
  }
}

// The window's fields reach the project when files are added and when a
// run starts; a field that holds no usable value refuses the command with
// a message and changes nothing. Soundings files are offered beside GPX
// and KML, and the corrections dialog's estimate is applied once.
TEST_F(CorrectionsWiring, SessionFieldsAndTheLevelEstimate) {
  const std::vector<std::string> paths = WriteSurvey({0, 25}, 30);
  TSession s(host, host, 1);
  EXPECT_EQ(s.Settings.TransducerDepth, "0");
  EXPECT_EQ(s.Settings.ShoreDepth, "0");
  EXPECT_FALSE(s.Settings.Despike || s.Settings.AutoLevel || s.Settings.DepthFromElevation || s.Settings.KeepOutside);

  s.Settings.TransducerDepth = "deep";
  s.AddFiles({paths[0]});
  EXPECT_EQ(host.Errors, std::vector<std::string>{TransducerError("deep")});
  EXPECT_FALSE(s.Project().FileLoaded());
  ExpectIdle(s);

  host.Errors.clear();
  s.Settings.TransducerDepth = "30";
  s.Settings.Despike = true;
  host.OpenReplies.push_back(paths);
  s.AddFiles();
  EXPECT_EQ(host.OpenFilters, std::vector<std::string>{"GPX, KML or soundings files|*.gpx;*.kml;*.csv;*.xyz"});
  ASSERT_EQ(s.Project().Inputs().size(), 2u);
  EXPECT_TRUE(host.Errors.empty());
  EXPECT_TRUE(host.Logged(s.Project().Inputs()[0].Corrections.Notes.at(1)));
  EXPECT_NEAR(MeanError(s.Project().GPXdata(), 0, 1), 0, 3) << "the transducer depth added";
  EXPECT_NEAR(MeanError(s.Project().GPXdata(), 1, 1), 25, 3) << "no level without the estimate";

  // The corrections dialog estimates, shows, and applies once.
  ASSERT_TRUE(s.EstimateLevels());
  ASSERT_TRUE(s.LevelEstimate());
  const TSessionLevel second = s.LevelEstimate()->Estimate.Sessions.at(1);
  EXPECT_EQ(second.Name, "s1.gpx");
  EXPECT_NEAR(second.OffsetCm, -25, 3);
  EXPECT_GE(second.Crossings, 20);
  EXPECT_GT(s.ApplyLevelEstimate(), 0);
  EXPECT_FALSE(s.LevelEstimate());
  EXPECT_EQ(s.ApplyLevelEstimate(), 0) << "applied once";
  EXPECT_NEAR(MeanError(s.Project().GPXdata(), 1, 1), 0, 3);
  ExpectIdle(s);

  // The shore depth is read when a run starts.
  s.Settings.ShoreDepth = "-3";
  EXPECT_FALSE(s.Interpolate());
  EXPECT_EQ(host.Errors, std::vector<std::string>{ShoreDepthError("-3")});
  s.Settings.ShoreDepth = "none";
  s.Settings.KeepOutside = true;
  EXPECT_TRUE(s.Interpolate());
  EXPECT_FALSE(s.Project().Settings.Interpolation.ShoreDepth.Samples);
  EXPECT_TRUE(s.Project().Settings.Interpolation.KeepOutside);

  // With the automatic level on, a selection is levelled as it loads.
  TSession auto_(host, host, 1);
  auto_.Settings.AutoLevel = true;
  auto_.Settings.Despike = true;
  auto_.AddFiles(paths);
  const TGPX& levelled = auto_.Project().GPXdata();
  EXPECT_NEAR(MeanError(levelled, 1, 1) - MeanError(levelled, 0, 1), 0, 3) << "both at the first one's level";
  ExpectIdle(auto_);

  // Depths written as negative elevations: a shoreline unless the check
  // box says how to read them.
  std::string sonar = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>";
  for (int i = 0; i < 5; ++i)
    sonar += "<trkpt lat=\"47.2" + std::to_string(i) + "\" lon=\"8.6\"><ele>-3." + std::to_string(i) + "</ele></trkpt>";
  const std::string sonarPath = Write("sonar.gpx", sonar + "</trkseg></trk></gpx>");
  for (bool fromEle : {false, true}) {
    TSession e(host, host, 1);
    e.Settings.DepthFromElevation = fromEle;
    e.AddFiles({sonarPath});
    EXPECT_EQ(e.Project().MaxDepth(), fromEle ? 340 : 0);
    EXPECT_EQ(e.Project().LoadSummary().Shorelines.size(), fromEle ? 0u : 1u);
  }
}

// "Gauge table...": a table that cannot be read changes nothing; a good one
// corrects each reading by the level at its time (interpolated, relative to
// the datum), and a file it cannot correct whole is refused with a message
// while the next file of the selection loads.
TEST_F(CorrectionsWiring, SessionGaugeTable) {
  // One reading a second from 06:10 on, each deeper by how far the lake
  // stood above 120 cm at its time: 120 at 06:00, 180 at 07:00.
  const TDateTime day = EncodeDate(2026, 6, 13);
  const auto level = [&](TDateTime t) { return 120 + 60 * (t - day - 6 / 24.0) * 24; };
  const auto survey = [&](int hour, int minute) {
    std::mt19937_64 rng(3);
    TGPX doc;
    AddTrack(doc, {StraightRun(0, 0, 400, 300, 2.5, Slope, 0, 0, rng, day + (hour + minute / 60.0) / 24)});
    for (TGPXtrkseg* seg : *doc.trk[0])
      for (TPoint4D2* p : *seg) p->HBdepth += level(p->DateTime) - 120;
    return GpxText(doc);
  };
  const std::string early = Write("early.gpx", survey(6, 10)), late = Write("late.gpx", survey(6, 58));
  const std::string table = Write("gauge.csv", "time,level_cm\n2026-06-13T07:00:00Z,180\n2026-06-13T06:00:00Z,120\n");
  const std::string broken = Write("broken.csv", "time,level_cm\n2026-06-13T06:00:00Z,120\n06:30,x\n");

  TSession s(host, host, 1);
  EXPECT_TRUE(s.Settings.LevelTable.empty() && s.Settings.LevelDatum.empty());
  host.OpenReplies.push_back(std::vector<std::string>{broken});
  EXPECT_FALSE(s.ChooseLevelTable());
  EXPECT_EQ(host.OpenFilters.back(), TSession::kLevelTableFilter);
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find("broken.csv"), std::string::npos) << host.Errors[0];
  EXPECT_TRUE(s.Settings.LevelTable.empty());

  host.Errors.clear();
  host.OpenReplies.push_back(std::vector<std::string>{table});
  ASSERT_TRUE(s.ChooseLevelTable());
  EXPECT_EQ(s.Settings.LevelTable, table);
  EXPECT_TRUE(host.Logged("gauge.csv: 2 water levels from 2026-06-13T06:00:00Z to 2026-06-13T07:00:00Z"));

  s.Settings.LevelDatum = "low";
  s.AddFiles({early});
  EXPECT_FALSE(s.Project().FileLoaded());
  EXPECT_EQ(host.Errors, std::vector<std::string>{"The gauge datum \"low\" is not a number of centimetres."});

  // The late survey runs past 07:00: refused whole, and the early one loads.
  host.Errors.clear();
  s.Settings.LevelDatum.clear();
  s.AddFiles({late, early});
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_EQ(host.Errors[0].rfind("late.gpx: ", 0), 0u) << host.Errors[0];
  ASSERT_EQ(s.Project().Inputs().size(), 1u);
  EXPECT_EQ(s.Project().Inputs()[0].Path, early);
  EXPECT_NEAR(MeanError(s.Project().GPXdata(), 0, 1), 0, 0.01);
  EXPECT_EQ(s.Project().Inputs()[0].Corrections.Gauge.Readings,
            static_cast<long long>(Depths(s.Project().GPXdata()).size()));

  // A datum of its own: every reading 20 cm deeper than against the lowest level.
  s.StartOver();
  s.Settings.LevelDatum = "140";
  s.AddFiles({early});
  EXPECT_NEAR(MeanError(s.Project().GPXdata(), 0, 1), 20, 0.01);
  ExpectIdle(s);
}

}  // namespace
}  // namespace sondralis::testing

namespace sondralis::testing {
namespace {

using ::sondralis::testing::Names;

// Every reading of a document, in order.
std::vector<double> Readings(const TGPX& doc) {
  std::vector<double> depths;
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t)
      for (const TPoint4D2* p : *s) depths.push_back(p->HBdepth);
  return depths;
}

// A season of trips loaded in batches with different corrections (a depth
// offset typed for one file, a transducer depth, spikes removed, levels
// estimated as a batch loads and again from the corrections dialog) is
// saved as a project. Opened again, each file loads with its own
// corrections and levels, to the last bit of every reading; sondralis-cli
// map of the project writes the window's map byte for byte, and validate
// and levels see the same readings.
TEST_F(CorrectionsWiring, ProjectFileKeepsEachFilesCorrectionsForTheCli) {
  const std::vector<std::string> paths = WriteSurvey({0, 30, -45}, 40);
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 240, 180);
  s.Settings.TransducerDepth = "40";
  s.Settings.Despike = true;
  s.Settings.AddOffset = true;
  host.TextReplies = {std::string("12")};
  s.AddFiles({paths[0]});
  s.Settings.AddOffset = false;
  s.Settings.Despike = false;
  s.Settings.TransducerDepth = "35";
  s.Settings.AutoLevel = true;
  s.AddFiles({paths[1], paths[2]});
  ASSERT_TRUE(s.EstimateLevels());
  EXPECT_GT(s.ApplyLevelEstimate(), 0);
  // The fields for the next files say otherwise again.
  s.Settings.TransducerDepth = "0";
  s.Settings.AutoLevel = false;
  ASSERT_TRUE(host.Errors.empty()) << host.Errors.front();
  const std::vector<double> readings = Readings(s.Project().GPXdata());
  const std::string project = s.SaveProject(Path("trips.sondralis"));
  ASSERT_EQ(project, Path("trips.sondralis"));

  // What the file keeps of each file.
  const TProjectFile saved = ReadProjectFile(project);
  EXPECT_TRUE(saved == ProjectFileOf(s.Project()));
  ASSERT_EQ(saved.Inputs.size(), 3u);
  ASSERT_TRUE(saved.Inputs[0].Applied && saved.Inputs[1].Applied && saved.Inputs[2].Applied);
  EXPECT_EQ(saved.Inputs[0].Rule.Offset, 12);
  EXPECT_TRUE(saved.Inputs[0].Applied->Despike);
  EXPECT_EQ(saved.Inputs[0].Applied->TransducerCm, 40);
  EXPECT_FALSE(saved.Inputs[1].Applied->Despike);
  EXPECT_EQ(saved.Inputs[2].Applied->TransducerCm, 35);
  for (int i : {1, 2}) {
    const auto& levels = saved.Inputs[static_cast<std::size_t>(i)].Applied->SessionLevelsCm;
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels.begin()->second.size(), 2u) << "levelled as loaded and again from the dialog";
  }
  // s1 stood 30 cm higher and is read 5 cm deeper by its transducer; s0 took 12 cm by hand.
  EXPECT_NEAR(saved.Inputs[1].Applied->SessionLevelsCm.begin()->second[0], -30 - 5 + 12 + 10, 3);
  EXPECT_EQ(saved.Settings.Corrections.TransducerCm, 0) << "the fields for the next files";

  // Opened in another window: the same readings.
  TSession t(host, host, 2);
  t.ResizePane(TPane::Tracks, 240, 180);
  ASSERT_TRUE(t.OpenProject(project));
  EXPECT_EQ(Readings(t.Project().GPXdata()), readings);
  EXPECT_EQ(t.Settings.TransducerDepth, "0");
  EXPECT_FALSE(t.Settings.AutoLevel);

  // validate of the project: the figures of "Check accuracy" on it.
  ASSERT_TRUE(t.CheckAccuracy());
  const std::string validate = std::string(SONDRALIS_CLI) + " validate '" + project + "' > '" + Path("validate.txt") + "'";
  ASSERT_EQ(std::system(validate.c_str()), 0);
  const std::string printed = ReadFile(Path("validate.txt"));
  EXPECT_NE(printed.find(t.AccuracyText()), std::string::npos) << printed << "\n" << t.AccuracyText();

  // levels of the project: nothing left to level between the trips.
  const std::string levels = std::string(SONDRALIS_CLI) + " levels '" + project + "' > '" + Path("levels.txt") + "'";
  ASSERT_EQ(std::system(levels.c_str()), 0);
  std::istringstream lines(ReadFile(Path("levels.txt")));
  int sessions = 0;
  for (std::string line; std::getline(lines, line); ++sessions) {
    const std::size_t at = line.find("\"offset_cm\": ");
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_NEAR(std::stod(line.substr(at + 13)), 0, 1.5) << line;
  }
  EXPECT_EQ(sessions, 3);

  // map of the project: the window's map, byte for byte.
  ASSERT_TRUE(s.Interpolate());
  ASSERT_TRUE(s.RunIsoMap());
  s.Project().Export(TExportRequest::WholeMap(Path("window"), s.Project().Settings.HT.TrackName), host);
  const std::string map = std::string(SONDRALIS_CLI) + " map '" + project + "' -d '" + Path("cli") + "' > /dev/null";
  ASSERT_EQ(std::system(map.c_str()), 0);
  const std::vector<std::string> names = Names(Path("window"));
  EXPECT_EQ(Names(Path("cli")), names);
  for (const char* name : {"depth.asc", "samples.csv", "depth.bmp", "contours.gpx", "000.ht"})
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  for (const std::string& name : names) EXPECT_TRUE(ReadFile(dir / "window" / name) == ReadFile(dir / "cli" / name)) << name;
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

}  // namespace
}  // namespace sondralis::testing
