#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "formats/SourceTracks.h"
#include "model/DateTime.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;
using testing::RecordingFeedback;

std::string Gpx(const std::vector<std::string>& depths) {
  std::string s = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns:h=\"urn:x\"><trk><name>T</name><trkseg>";
  double lat = 47.0;
  for (const auto& d : depths) {
    s += "<trkpt lat=\"" + std::to_string(lat) + "\" lon=\"8.3\">";
    if (!d.empty()) s += "<extensions><h:depth>" + d + "</h:depth></extensions>";
    s += "</trkpt>";
    lat += 0.001;
  }
  return s + "</trkseg></trk><wpt lat=\"1\" lon=\"2\"/></gpx>";
}

std::vector<double> TrackDepthsOf(const TGPX& doc) {
  std::vector<double> out;
  for (TGPXtrk* t : doc.trk)
    for (TGPXtrkseg* s : *t)
      for (TPoint4D2* p : *s) out.push_back(p->HBdepth);
  return out;
}

class SourceTracksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-sources-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  }
  std::vector<double> Depths() const { return TrackDepthsOf(doc); }
  fs::path dir;
  TGPX doc;
  RecordingFeedback host;
};

TEST_F(SourceTracksTest, RecordingKeepsItsDepthsAndLosesExactZeros) {
  const std::string path = Write("survey.gpx", Gpx({"345", "0", "0.4", "", "351.5"}));
  const SourceLoadResult r = LoadSourceFile(doc, path, {.Depth = 800, .Offset = std::nullopt}, host);
  EXPECT_TRUE(r.Loaded);
  EXPECT_EQ(Depths(), (std::vector<double>{345, 0.4, 351.5})) << "a file with depths keeps them";
  EXPECT_EQ(doc.wpt.Count(), 0) << "only tracks are taken over";
  EXPECT_EQ(host.LogLines, (std::vector<std::string>{"LoadGPXFile: Trying to open " + path,
                                                     "LoadGPXFile: GetMaxDepth is 351",
                                                     "LoadGPXFile: Track has valid depth readings",
                                                     "LoadGPXFile: Removing all 0m readings",
                                                     "LoadGPXFile: 2 readings of 0 removed"}));
  EXPECT_EQ(r.ZeroReadings, 2) << "a point without a depth element reads as 0";
  EXPECT_EQ(GetMaxDepth(doc), 351);
}

// A recording's zero readings go wherever they are, also as a whole
// segment (a stretch where the sounder lost the bottom), and so do readings
// no lake can give; only a file without any reading keeps its points as an
// outline. Every reading set aside is counted and the implausible ones are
// named in a warning.
TEST_F(SourceTracksTest, ReadingsNoLakeGivesAndLostBottomAreSetAsideAndCounted) {
  std::string text = Gpx({"345", "99999999", "0", "-1300000", "351", "1200000"});
  const std::string lostBottom = "<trkseg><trkpt lat=\"47.5\" lon=\"8.3\"><extensions><h:depth>0</h:depth></extensions>"
                                 "</trkpt><trkpt lat=\"47.6\" lon=\"8.3\"><extensions><h:depth>0</h:depth>"
                                 "</extensions></trkpt></trkseg>";
  text.insert(text.find("</trk>"), lostBottom);
  const std::string survey = Write("survey.gpx", text);
  RecordingFeedback feedback;
  const SourceLoadResult r = LoadSourceFile(doc, survey, {}, feedback);
  ASSERT_TRUE(r.Loaded) << r.Error;
  EXPECT_EQ(Depths(), (std::vector<double>{345, 351, 1200000}));
  EXPECT_EQ(doc.trk.First()->Count(), 2) << "the emptied segment stays, as loading always left them";
  EXPECT_EQ(r.ZeroReadings, 3);
  EXPECT_EQ(r.ImplausibleReadings, 2);
  EXPECT_EQ(r.Warnings, std::vector<std::string>{survey + ": 2 depth readings beyond 12000 m set aside (the first: "
                                                          "99999999 cm)"});
  EXPECT_TRUE(feedback.Logged("LoadGPXFile: GetMaxDepth is 1200000")) << "taken after the setting aside";

  // An outline saved on its own has no reading at all: it stays whole.
  TGPX outline;
  const SourceLoadResult o = LoadSourceFile(outline, Write("shore.gpx", Gpx({"0", "", "0"})), {}, feedback);
  EXPECT_EQ(o.ZeroReadings, 0);
  EXPECT_EQ(outline.trk.First()->First()->Count(), 3);

  // A depth rule that puts readings out of reach sets them aside as well.
  TGPX shifted;
  const SourceLoadResult s = LoadSourceFile(shifted, survey, {.Depth = std::nullopt, .Offset = 199700}, feedback);
  EXPECT_EQ(s.ImplausibleReadings, 2 + 1);
  EXPECT_EQ(s.Warnings.back(), survey + ": 1 depth reading beyond 12000 m set aside after the depth rules (the "
                                        "first: 1399700 cm)");
  EXPECT_EQ(TrackDepthsOf(shifted), (std::vector<double>{200045, 200051}));
}

TEST_F(SourceTracksTest, DepthAndOffsetRules) {
  const std::string shore = Write("shore.gpx", Gpx({"", "", ""}));
  TSourceFile file;
  ASSERT_TRUE(ReadSourceFile(shore, file, host));
  EXPECT_TRUE(file.WithoutDepth());
  AddSourceFile(doc, file, {.Depth = -50, .Offset = std::nullopt});
  EXPECT_EQ(Depths(), (std::vector<double>{0, 0, 0})) << "a negative depth becomes 0";

  // The offset applies whatever the depths, and may lower them.
  const std::string survey = Write("survey.gpx", Gpx({"100", "200"}));
  LoadSourceFile(doc, survey, {.Depth = 70, .Offset = -50}, host);
  EXPECT_EQ(Depths(), (std::vector<double>{0, 0, 0, 50, 150})) << "tracks are appended in load order";

  // Without a rule the depths stay as read.
  LoadSourceFile(doc, shore, {}, host);
  EXPECT_EQ(doc.trk.Count(), 3);
  EXPECT_EQ(Depths().size(), 8u);
}

TEST_F(SourceTracksTest, ExtensionsMissingFilesAndKml) {
  const std::string upper = Write("lake.GPX", Gpx({"120"}));
  EXPECT_EQ(SourceKindOf(upper), SourceKind::GPX);
  EXPECT_EQ(LoadSourceFile(doc, upper, {}, host).TracksAdded, 1);

  const std::string txt = Write("notes.txt", "x");
  EXPECT_EQ(LoadSourceFile(doc, txt, {}, host).Error, "can't parse " + txt);
  EXPECT_EQ(LoadSourceFile(doc, (dir / "gone.gpx").string(), {}, host).Error,
            (dir / "gone.gpx").string() + " does not exist");
  EXPECT_EQ(LoadSourceFile(doc, dir.string(), {}, host).Error, dir.string() + " is a directory");

  const std::string kml = Write("shore.KML",
                                "<kml><Document><Folder><name>Island</name><Placemark><LineString><coordinates>"
                                "8.5,47.1,0 8.6,47.2,0</coordinates></LineString></Placemark></Folder></Document></kml>");
  const SourceLoadResult r = LoadSourceFile(doc, kml, {.Depth = 80, .Offset = 33}, host);
  EXPECT_TRUE(r.DepthApplied);
  EXPECT_EQ(r.TracksAdded, 1);
  EXPECT_EQ(doc.trk.Last()->name(), "Island");
  EXPECT_EQ(Depths(), (std::vector<double>{120, 80, 80})) << "the offset is for GPX files only";

  // A file that is not XML adds nothing and the reader says why.
  const std::string junk = Write("junk.gpx", "\x01\x02 not xml");
  const SourceLoadResult j = LoadSourceFile(doc, junk, {}, host);
  EXPECT_FALSE(j.Loaded);
  EXPECT_FALSE(j.ReaderLog.empty());
  EXPECT_EQ(doc.trk.Count(), 2);
}

// Soundings as CSV or XYZ load where GPX does: one track of readings, zero
// readings dropped, the offset applied; a sonar tool's GPX with depths as
// negative elevations reads as depths only when the read rule asks, and
// otherwise is a shoreline.
TEST_F(SourceTracksTest, SoundingsFilesAndDepthsFromElevations) {
  const std::string csv = Write("trip.CSV", "lon,lat,depth_cm\n8.30,47.00,345\n8.31,47.01,0\nbad line\n8.32,47.02,120.5\n");
  const std::string xyz = Write("trip.xyz", "x y z\n8.3 47.0 3.5\n");
  EXPECT_EQ(SourceKindOf(csv), SourceKind::Soundings);
  TSourceFile file;
  ASSERT_TRUE(ReadSourceFile(csv, file, host)) << file.Result.Error;
  EXPECT_EQ(file.MaxDepth, 345);
  EXPECT_FALSE(file.WithoutDepth());
  ASSERT_EQ(file.Result.Warnings.size(), 1u) << "the bad line is told like an unreadable GPX depth";
  AddSourceFile(doc, file, {.Depth = 800, .Offset = 10});
  EXPECT_EQ(Depths(), (std::vector<double>{355, 130.5}));
  EXPECT_EQ(doc.trk.Last()->name(), "trip");
  EXPECT_EQ(LoadSourceFile(doc, xyz, {}, host).TracksAdded, 1);
  EXPECT_EQ(Depths().back(), 350) << "metres unless the header says otherwise";

  std::string sonar = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>";
  for (const char* ele : {"-3.456", "-0.5", "2.0", "-12"})
    sonar += std::string("<trkpt lat=\"47.1\" lon=\"8.4\"><ele>") + ele + "</ele></trkpt>";
  const std::string path = Write("sonar.gpx", sonar + "</trkseg></trk></gpx>");
  TSourceFile asShore, asDepths;
  ASSERT_TRUE(ReadSourceFile(path, asShore, host));
  EXPECT_TRUE(asShore.WithoutDepth());
  host.LogLines.clear();
  ASSERT_TRUE(ReadSourceFile(path, asDepths, host, {.DepthFromElevation = true}));
  EXPECT_EQ(asDepths.MaxDepth, 1200);
  EXPECT_EQ(asDepths.FromElevation.Converted, 3);
  EXPECT_EQ(asDepths.FromElevation.Left, 1);
  // The point above the water has no reading and goes, as a zero would.
  doc.Clear();
  AddSourceFile(doc, asDepths, {});
  EXPECT_EQ(Depths(), (std::vector<double>{345.6, 50, 1200}));
  EXPECT_EQ(host.LogLines.at(1), path + ": depths read from <ele>: 3 points, 1 without a negative elevation left without depth");
  EXPECT_EQ(host.LogLines.at(2), "LoadGPXFile: GetMaxDepth is 1200");
}

}  // namespace
}  // namespace sondralis
