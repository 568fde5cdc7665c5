// The loading options every command that loads shares: the corrections of
// the readings, the levels command, soundings files, the shoreline's part
// in the map, and their refusals, run through the built binary.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <set>

#include "formats/SourceTracks.h"
#include "support/CliRunner.h"
#include "support/SyntheticSurvey.h"

namespace sondralis::testing {
namespace {

namespace fs = std::filesystem;

// The mean of (reading - true bottom) of one track.
double MeanError(const TGPXtrk& track) {
  const double kx = kMetresPerDegree * std::cos(kLat0 * M_PI / 180);
  double sum = 0;
  int n = 0;
  for (const TGPXtrkseg* s : track)
    for (const TPoint4D2* p : *s) {
      sum += p->HBdepth - Slope((p->Longitude - kLon0) * kx, (p->Latitude - kLat0) * kMetresPerDegree);
      ++n;
    }
  return n ? sum / n : NAN;
}

class LoadingOptions : public CliRunner {
 protected:
  // One file per session of the crossing survey: readings `levels` deeper
  // than the bottom; every 40th reading of the second one a spike.
  std::vector<std::string> Survey(const std::vector<double>& levels) {
    CrossingSurvey survey(levels, 3, 4);
    std::vector<std::string> paths;
    for (std::size_t s = 0; s < survey.docs.size(); ++s) {
      int k = 0;
      if (s == 1)
        for (TGPXtrk* t : survey.docs[s]->trk)
          for (TGPXtrkseg* seg : *t)
            for (TPoint4D2* p : *seg)
              if (++k % 40 == 0) p->HBdepth += 300;
      std::string name = std::to_string(s);  // not "s" + ...: GCC 12 warns wrongly (-Wrestrict)
      name.insert(0, 1, 's');
      paths.push_back(Write(name + ".gpx", GpxText(*survey.docs[s])));
    }
    return paths;
  }
};

// levels: one JSON line per session with the offset that levels it to the
// first, what it rests on, and a session nothing links to left unguessed.
TEST_F(LoadingOptions, LevelsPrintsTheEstimateOfEachSession) {
  std::vector<std::string> paths = Survey({0, 30, -45});
  std::mt19937_64 rng(1);
  TGPX far;
  AddTrack(far, {StraightRun(2000, 0, 2300, 0, 2.5, Slope, 0, 4, rng)});
  paths.push_back(Write("far.gpx", GpxText(far)));
  std::vector<std::string> args = {"levels"};
  args.insert(args.end(), paths.begin(), paths.end());
  args.push_back("--despike");
  const CliResult r = Run(args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 4u) << r.Out;
  const std::regex json(
      R"re(\{"session": "(s\d\.gpx)", "offset_cm": (-?\d+\.\d), "crossings": (\d+), "overlaps": 0, )re"
      R"re("residual_cm": (\d+\.\d), )re"
      R"re("std_error_cm": (\d+\.\d), "estimated": true, "reference": null\})re");
  const double expected[] = {0, -30, 45};
  for (int s = 0; s < 3; ++s) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[static_cast<std::size_t>(s)], m, json)) << lines[static_cast<std::size_t>(s)];
    EXPECT_EQ(m[1].str(), fs::path(paths[static_cast<std::size_t>(s)]).filename().string());
    EXPECT_NEAR(std::stod(m[2].str()), expected[s], 3) << lines[static_cast<std::size_t>(s)];
    EXPECT_GE(std::stoi(m[3].str()), 20);
    EXPECT_LT(std::stod(m[4].str()), 15) << "the noise of two readings";
  }
  EXPECT_EQ(lines[3],
            "{\"session\": \"far.gpx\", \"offset_cm\": null, \"crossings\": 0, \"overlaps\": 0, \"residual_cm\": 0.0, "
            "\"std_error_cm\": 0.0, \"estimated\": false, \"reference\": null}");
  EXPECT_NE(r.Err.find("s1.gpx: "), std::string::npos) << "the despiking is told";
  EXPECT_NE(r.Err.find("far.gpx: no level estimated"), std::string::npos) << r.Err;

  // A session crossing far.gpx only: the two are levelled to far.gpx.
  TGPX cross;
  AddTrack(cross, {StraightRun(2100, -100, 2100, 100, 2.5, Slope, 20, 4, rng),
                   StraightRun(2200, 100, 2200, -100, 2.5, Slope, 20, 4, rng)});
  const CliResult grouped = Run({"levels", paths[0], paths[3], Write("cross.gpx", GpxText(cross))});
  ASSERT_EQ(grouped.Status, 0) << grouped.Err;
  const std::vector<std::string> groupLines = Lines(grouped.Out);
  ASSERT_EQ(groupLines.size(), 3u) << grouped.Out;
  EXPECT_NE(groupLines[1].find("\"offset_cm\": 0.0, \"crossings\": 2, "), std::string::npos) << groupLines[1];
  EXPECT_NE(groupLines[1].find("\"estimated\": true, \"reference\": \"far.gpx\"}"), std::string::npos) << groupLines[1];
  std::smatch m;
  ASSERT_TRUE(std::regex_search(groupLines[2], m, std::regex(R"re("offset_cm": (-?\d+\.\d), "crossings": 2, )re")))
      << groupLines[2];
  EXPECT_NEAR(std::stod(m[1].str()), -20, 8) << "two crossings with the sounder's noise";
  EXPECT_NE(groupLines[2].find("\"reference\": \"far.gpx\"}"), std::string::npos) << groupLines[2];

  // The offsets given back by hand level the sessions as the estimate does.
  const CliResult mapped =
      Run({"convert", paths[0], paths[1], "--level", "s1.gpx=-30", "-o", (dir / "out.gpx").string()});
  ASSERT_EQ(mapped.Status, 0) << mapped.Err;
  TGPX out;
  ASSERT_TRUE(ReadSourceDocument((dir / "out.gpx").string(), out).Loaded);
  ASSERT_EQ(out.trk.Count(), 2);
  EXPECT_NEAR(MeanError(*out.trk[1]) - MeanError(*out.trk[0]), 300.0 / 40, 3) << "only the spikes stay";
  EXPECT_NE(mapped.Err.find("s1.gpx: water level -30 cm added to "), std::string::npos) << mapped.Err;
}

// Every correction in one conversion, told on stderr in order; the output
// holds the corrected readings, and the soundings files read as tracks.
TEST_F(LoadingOptions, ConvertAppliesTheCorrectionsInOrderAndTellsThem) {
  const std::vector<std::string> paths = Survey({0, 30, -45});
  const std::string csv = Write("extra.csv", "Longitude;Latitude;Depth (cm)\n8.6;47.2;250,5\n8.6001;47.2001;260\n");
  const fs::path out = dir / "out.gpx";
  const CliResult r = Run({"convert", paths[0], paths[1], paths[2], csv, "--despike", "--transducer", "40", "--level",
                           "auto", "-o", out.string()});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> err = Lines(r.Err);
  ASSERT_EQ(err.size(), 4u * 2 + 4) << r.Err;
  EXPECT_EQ(err[2].rfind("s1.gpx: ", 0), 0u);
  EXPECT_NE(err[2].find(" spikes removed of "), std::string::npos) << err[2];
  EXPECT_EQ(err[3].rfind("s1.gpx: transducer depth 40 cm added to ", 0), 0u) << err[3];
  EXPECT_EQ(err[9].rfind("s1.gpx: offset -", 0), 0u) << err[9];
  EXPECT_EQ(err[11].rfind("extra.csv: ", 0), 0u) << "the two soundings meet nobody: " << err[11];
  TGPX doc;
  ASSERT_TRUE(ReadSourceDocument(out.string(), doc).Loaded);
  ASSERT_EQ(doc.trk.Count(), 4);
  for (int t = 0; t < 3; ++t) EXPECT_NEAR(MeanError(*doc.trk[t]), 40, 3) << "track " << t;
  EXPECT_EQ(Depths(doc).back(), 300) << "260 cm and the transducer's 40";

  // Without options the readings stay as read.
  const CliResult plain = Run({"convert", paths[1], "-o", out.string()});
  ASSERT_EQ(plain.Status, 0);
  EXPECT_EQ(plain.Err, "");
  TGPX asRead;
  ASSERT_TRUE(ReadSourceDocument(out.string(), asRead).Loaded);
  EXPECT_NEAR(MeanError(*asRead.trk[0]), 30 + 300.0 / 40, 3);
}

// Wrong loading options are refused before anything is read or written,
// the same way by every command; a gauge table that cannot correct a file
// fails the command and writes nothing.
TEST_F(LoadingOptions, RefusalsWriteNothing) {
  const std::vector<std::string> paths = Survey({0, 30});
  const std::string out = (dir / "out.gpx").string();
  const std::vector<std::vector<std::string>> wrong = {
      {"--level", "x.gpx=5"},
      {"--level", "s0.gpx=deep"},
      {"--level", "s0.gpx"},
      {"--level", "auto", "--level", "s0.gpx=5"},
      {"--level", "s0.gpx=1", "--level", "s0.gpx=2"},
      {"--datum", "5"},
      {"--level-table", "t.csv", "--level", "s1.gpx=3"},
      {"--depth-from", "z"},
      {"--transducer", "-5"},
      {"--shore-depth", "10"},
      {"--keep-outside"},
  };
  for (const char* command : {"convert", "ht", "levels"})
    for (const auto& options : wrong) {
      std::vector<std::string> args = {command, paths[0], paths[1]};
      args.insert(args.end(), options.begin(), options.end());
      if (std::string(command) != "levels") args.insert(args.end(), {"-o", out});
      const CliResult r = Run(args);
      EXPECT_EQ(r.Status, 2) << command << " " << options[0] << ": " << r.Err;
      EXPECT_EQ(r.Out, "");
      EXPECT_FALSE(fs::exists(out)) << options[0];
    }
  const CliResult shore = Run({"map", paths[0], "-d", (dir / "map").string(), "--shore-depth", "deep"});
  EXPECT_EQ(shore.Status, 2);
  EXPECT_NE(shore.Err.find("The shore depth \"deep\" is neither"), std::string::npos) << shore.Err;
  EXPECT_EQ(Run({"levels", paths[0], "--level", "auto"}).Status, 2);

  // The gauge table ends before the second survey's readings: refused,
  // naming the file and the first reading it cannot correct.
  const std::string table = Write("levels.csv", "time,level_cm\n2020-01-01T00:00:00Z,100\n2020-01-02T00:00:00Z,90\n");
  const CliResult late = Run({"convert", paths[0], "--level-table", table, "-o", out});
  EXPECT_EQ(late.Status, 1);
  EXPECT_NE(late.Err.find("s0.gpx: "), std::string::npos) << late.Err;
  EXPECT_NE(late.Err.find("carry no time"), std::string::npos) << late.Err;
  EXPECT_FALSE(fs::exists(out));
  const CliResult bad =
      Run({"convert", paths[0], "--level-table", Write("bad.csv", "time,level\nyesterday,5\n"), "-o", out});
  EXPECT_EQ(bad.Status, 1) << bad.Err;
  EXPECT_FALSE(fs::exists(out));
}

// map with the shoreline's options and a survey partly outside the
// outline: the summary tells the corrections, the shoreline files and the
// soundings outside; help texts describe every loading option.
TEST_F(LoadingOptions, MapSummaryAndHelp) {
  std::mt19937_64 rng(4);
  TGPX survey, shore;
  AddTrack(survey,
           {StraightRun(0, 0, 300, 200, 2.5, Slope, 0, 3, rng), StraightRun(0, 200, 300, 0, 2.5, Slope, 0, 3, rng)});
  AddOutline(shore, {{-20, -20}, {250, -20}, {250, 220}, {-20, 220}});
  const std::string surveyPath = Write("survey.gpx", GpxText(survey));
  const std::string shorePath = Write("shore.gpx", GpxText(shore));
  const CliResult r = Run({"map", surveyPath, shorePath, "-d", (dir / "map").string(), "--size", "160x120",
                           "--transducer", "25", "--shore-depth", "none", "--keep-outside", "--step", "200"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Corrections:     survey.gpx: transducer depth 25 cm added to "), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Shorelines:      shore.gpx: no depth readings; loaded as a shoreline\n"), std::string::npos);
  const std::smatch outside = [&] {
    std::smatch m;
    std::regex_search(r.Out, m,
                      std::regex(R"re(Outside:         (\d+) soundings lie outside the shoreline; they are mapped)re"));
    return m;
  }();
  ASSERT_FALSE(outside.empty()) << r.Out;
  EXPECT_GT(std::stoi(outside[1].str()), 10);
  EXPECT_NE(r.Err.find(outside[0].str().substr(17)), std::string::npos) << "told on stderr too";
  EXPECT_NE(r.Out.find(" (0 on the shoreline, "), std::string::npos) << "no shoreline samples: " << r.Out;

  for (const char* command : {"convert", "ht", "map", "levels"}) {
    const CliResult help = Run({command, "--help"});
    EXPECT_EQ(help.Status, 0);
    for (const char* option : {"--depth-from ele", "--despike", "--transducer CM", "--level FILE=CM", "--level-table",
                               "--datum", "--level auto", ".csv"})
      EXPECT_NE(help.Out.find(option), std::string::npos) << command << " " << option;
    EXPECT_EQ(help.Out.find("--shore-depth") != std::string::npos, std::string(command) == "map") << command;
  }
  EXPECT_NE(Run({"--help"}).Out.find("levels IN..."), std::string::npos);
}

}  // namespace
}  // namespace sondralis::testing
