// End-to-end tests of sondralis-cli: run the built binary and check its exit
// status, its output and the files it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(SONDRALIS_SOURCE_DIR) / "examples";
const fs::path kTestData = fs::path(SONDRALIS_SOURCE_DIR) / "tests" / "data";

using ::sondralis::testing::ReadAll;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct RunResult {
  int status = -1;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-cli-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Shell is put before the command, as "ulimit -f 8; exec ".
  RunResult Run(const std::vector<std::string>& args, const std::string& Shell = "") {
    std::string cmd = Shell + Quote(SONDRALIS_CLI);
    for (const auto& a : args) cmd.append(" ").append(Quote(a));
    cmd.append(" >").append(Quote(dir / "stdout")).append(" 2>").append(Quote(dir / "stderr"));
    RunResult r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(dir / "stdout");
    r.err = ReadAll(dir / "stderr");
    fs::remove(dir / "stdout");
    fs::remove(dir / "stderr");
    return r;
  }

  fs::path Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return dir / name;
  }

  // Files in the test folder (output files and any leftovers).
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
};

// Splits info's output into lines.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The fields of a line up to each separator (a field after the last one is
// dropped: append a separator to keep it).
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::istringstream in(text);
  for (std::string f; std::getline(in, f, separator);) fields.push_back(f);
  return fields;
}

// The counts of values left out, for a file that lost nothing.
const std::string kNothingLeftOut = ", \"unreadable_depths\":0, \"skipped_points\":0, \"skipped_placemarks\":0}";

std::string Counts(int wpt, int rte, int rtept, int trk, int seg, int trkpt) {
  return "\"waypoints\":" + std::to_string(wpt) + ", \"routes\":" + std::to_string(rte) +
         ", \"route_points\":" + std::to_string(rtept) + ", \"tracks\":" + std::to_string(trk) +
         ", \"segments\":" + std::to_string(seg) + ", \"track_points\":" + std::to_string(trkpt);
}

TEST_F(CliTest, InfoOnExamplesAndForeignFiles) {
  RunResult r = Run({"info", (kExamples / "lake_survey.gpx").string(), (kExamples / "lake_shore.gpx").string(),
                     (kExamples / "lake_shore.kml").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "{\"file\":\"" + (kExamples / "lake_survey.gpx").string() + "\", \"loaded\":true, " +
                          Counts(0, 0, 0, 1, 4, 14299) + ", \"max_depth_cm\":1948" + kNothingLeftOut);
  EXPECT_NE(lines[1].find("\"loaded\":true, " + Counts(0, 0, 0, 2, 2, 477) + ", \"max_depth_cm\":0" + kNothingLeftOut),
            std::string::npos)
      << lines[1];
  // The KML shoreline: two line strings and the boat ramp as a waypoint.
  EXPECT_NE(lines[2].find("\"loaded\":true, " + Counts(1, 0, 0, 2, 2, 477) + ", \"max_depth_cm\":0" + kNothingLeftOut),
            std::string::npos)
      << lines[2];

  // Counts made with xmllint, independently of our reader.
  r = Run({"info", (kTestData / "realworld/expertgps.gpx").string(), (kTestData / "realworld/LineStyles.gpx").string(),
           (kTestData / "realworld/garmin-oregon-700-output.gpx").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find(Counts(86, 1, 46, 1, 1, 64)), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(Counts(16, 0, 0, 12, 12, 901)), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(Counts(0, 0, 0, 1, 1, 997)), std::string::npos) << lines[2];

  // One track in five encodings (UTF-16 both ways, Latin-1 declared) reads alike.
  std::vector<std::string> args = {"info"};
  for (const char* f : {"utf8.gpx", "utf8-bom.gpx", "utf16le-bom.gpx", "utf16be-bom.gpx", "latin1.gpx"})
    args.push_back((kTestData / "encodings" / f).string());
  r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 5u);
  for (const auto& l : lines) {
    EXPECT_NE(l.find("\"loaded\":true, " + Counts(0, 0, 0, 1, 1, 2) + ", \"max_depth_cm\":351" + kNothingLeftOut),
              std::string::npos)
        << l;
  }
}

TEST_F(CliTest, InfoReportsUnreadableFiles) {
  const fs::path bad = Write("broken.gpx", "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\">");
  const RunResult r = Run({"info", bad.string(), (kExamples / "lake_shore.gpx").string(),
                           (dir / "missing.gpx").string()});
  EXPECT_EQ(r.status, 1);
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_NE(lines[0].find("\"loaded\":false"), std::string::npos);
  EXPECT_NE(lines[0].find("\"error\":\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"loaded\":true"), std::string::npos) << "one bad file does not stop the others";
  EXPECT_NE(lines[2].find("does not exist"), std::string::npos);
  EXPECT_NE(r.err.find(bad.string()), std::string::npos) << r.err;
}

std::vector<double> Depths(const std::string& gpx) {
  static const std::regex kDepth("<h:depth>([^<]*)</h:depth>");
  std::vector<double> out;
  for (auto it = std::sregex_iterator(gpx.begin(), gpx.end(), kDepth); it != std::sregex_iterator(); ++it)
    out.push_back(std::stod((*it)[1].str()));
  return out;
}

// Values a reader leaves out are told once per file and kind on stderr, and
// counted in info; the convert that goes on writes what could be read.
TEST_F(CliTest, LeftOutValuesAreToldOnStderrAndCountedInInfo) {
  Write("lake.gpx",
        "<gpx xmlns:h=\"urn:s\"><trk><trkseg>\n"
        "<trkpt lat=\"47\" lon=\"8\"><extensions><h:depth>120</h:depth></extensions></trkpt>\n"
        "<trkpt lat=\"47.1\" lon=\"8\"><extensions><h:depth>1234,5</h:depth></extensions></trkpt>\n"
        "<trkpt lat=\"x\" lon=\"8\"/>\n"
        "</trkseg></trk></gpx>\n");
  Write("lake.kml",
        "<kml><Placemark><Polygon/></Placemark><Placemark><Polygon/></Placemark>"
        "<Placemark><MultiGeometry/></Placemark><Placemark><LineString><coordinates>"
        "8,47 8.1,47.1</coordinates></LineString></Placemark></kml>");
  // The files are named as the user types them, in the current folder.
  struct InFolder {
    fs::path before = fs::current_path();
    explicit InFolder(const fs::path& d) { fs::current_path(d); }
    ~InFolder() { fs::current_path(before); }
  } inFolder(dir);
  RunResult r = Run({"info", "lake.gpx", "lake.kml"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_NE(lines[0].find("\"track_points\":2, \"max_depth_cm\":120, \"unreadable_depths\":1, \"skipped_points\":1, "
                          "\"skipped_placemarks\":0}"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find("\"tracks\":1, \"segments\":1, \"track_points\":2, \"max_depth_cm\":0, \"unreadable_depths\":0, "
                          "\"skipped_points\":0, \"skipped_placemarks\":3}"),
            std::string::npos)
      << lines[1];
  const std::string told =
      "lake.gpx: 1 depth value could not be read, first at line 3: '1234,5'\n"
      "lake.gpx: 1 point skipped (latitude or longitude missing, not a number or out of range), first at line 4: "
      "lat='x'\n";
  EXPECT_EQ(r.err, told + "lake.kml: 3 placemarks not read (Polygon, MultiGeometry); draw shorelines as paths\n");

  // Loading then drops the point whose depth read as 0, as it drops every
  // zero reading of a recording; the warning said so before.
  r = Run({"convert", "lake.gpx", "-o", "out.gpx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, told);
  const std::string out = ReadAll(dir / "out.gpx");
  EXPECT_NE(out.find(" xmlns:h=\"urn:s\" "), std::string::npos) << out;
  EXPECT_EQ(Depths(out), std::vector<double>{120});
}

TEST_F(CliTest, ConvertWithOffsetWritesValidGpxWithShiftedDepths) {
  const fs::path out = dir / "lake.gpx";
  const RunResult r = Run({"convert", (kExamples / "lake_survey.gpx").string(), (kExamples / "lake_shore.kml").string(),
                           "--offset", "50", "-o", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string cmd = std::string(SONDRALIS_XMLLINT) + " --noout --schema " +
                          Quote((kTestData / "schema/gpx-1.1.xsd").string()) + " " + Quote(out.string()) + " 2>/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << "the written file must validate against the GPX 1.1 schema";

  // Readings of 0 (the sounder lost the bottom) are dropped on loading.
  std::vector<double> in = Depths(ReadAll(kExamples / "lake_survey.gpx"));
  std::erase(in, 0.0);
  const std::vector<double> written = Depths(ReadAll(out));
  // The KML shoreline has no depth and gets no offset (the offset applies to
  // GPX files), so only the survey's points carry depths.
  ASSERT_EQ(written.size(), in.size());
  for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(written[i], in[i] + 50) << "point " << i;
  EXPECT_EQ(Files(), std::vector<std::string>{"lake.gpx"}) << "no temporary file left";
}

TEST_F(CliTest, ConvertAppliesDepthToFilesWithoutDepth) {
  const fs::path out = dir / "shore.gpx";
  const RunResult r = Run({"convert", (kExamples / "lake_shore.gpx").string(), "--depth", "120", "-o", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto depths = Depths(ReadAll(out));
  ASSERT_FALSE(depths.empty());
  for (double d : depths) EXPECT_EQ(d, 120);
}

// HT coordinates of a position, from the file layout the unit expects.
std::int32_t HtX(double lon) { return static_cast<std::int32_t>(std::nearbyint(lon / 180 * 20038297)); }
std::int32_t HtY(double lat) {
  const double psi = std::atan(std::tan(lat * M_PI / 180) * 0.9932811271773375) * 180 / M_PI;
  return static_cast<std::int32_t>(std::nearbyint(std::log(std::tan((psi / 180 * M_PI) / 2 + M_PI / 4)) * 6378388));
}
std::int32_t Be32(const std::string& b, std::size_t at) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8) |
                                   static_cast<unsigned char>(b[at + 3]));
}
std::int16_t Be16(const std::string& b, std::size_t at) {
  return static_cast<std::int16_t>((static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]));
}

TEST_F(CliTest, HtWritesTheUnitsFormat) {
  const double lat[] = {47.5, 47.5005, 47.501}, lon[] = {8.25, 8.2503, 8.2501};
  const char* depth[] = {"345", "351.7", "-12.7"};
  std::string gpx = "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns:h=\"urn:x\"><trk><trkseg>";
  for (int i = 0; i < 3; ++i) {
    std::ostringstream p;
    p.precision(10);
    p << "<trkpt lat=\"" << lat[i] << "\" lon=\"" << lon[i] << "\"><extensions><h:depth>" << depth[i]
      << "</h:depth></extensions></trkpt>";
    gpx += p.str();
  }
  gpx += "</trkseg></trk></gpx>";
  const fs::path in = Write("small.gpx", gpx);
  const fs::path out = dir / "000.ht";
  const RunResult r = Run({"ht", in.string(), "--name", "Süd€", "-o", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "sondralis-cli: warning: HT track name \"Süd€\": 1 character the unit can't show written as "
                   "\"?\" (\"Süd?\")\n");
  const std::string b = ReadAll(out);
  ASSERT_EQ(b.size(), 131080u);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 3);
  EXPECT_EQ(Be16(b, 8), 6) << "3 points and 3 markers";
  EXPECT_EQ(Be32(b, 12), static_cast<std::int32_t>(0x4E94B0A9));
  EXPECT_EQ(Be32(b, 16), 918422);
  EXPECT_EQ(Be32(b, 20), 5992655);
  EXPECT_EQ(Be32(b, 24), HtX(lon[2]));
  EXPECT_EQ(Be32(b, 28), HtY(lat[2]));
  EXPECT_EQ(Be32(b, 32), HtX(8.25));
  EXPECT_EQ(Be32(b, 36), HtY(47.5));
  EXPECT_EQ(Be32(b, 40), HtX(8.2503));
  EXPECT_EQ(Be32(b, 44), HtY(47.501));
  EXPECT_EQ(b.substr(48, 20), std::string("S\xFC" "d?", 4) + std::string(16, '\0'));
  // Records 1 and 2: steps from the previous point and the truncated depth.
  EXPECT_EQ(Be16(b, 68), static_cast<std::int16_t>(HtX(lon[1]) - HtX(lon[0])));
  EXPECT_EQ(Be16(b, 70), static_cast<std::int16_t>(HtY(lat[1]) - HtY(lat[0])));
  EXPECT_EQ(Be16(b, 72), 351);
  EXPECT_EQ(Be16(b, 74), static_cast<std::int16_t>(HtX(lon[2]) - HtX(lon[1])));
  EXPECT_EQ(Be16(b, 78), -12);
  // The three markers, then zeros to the end.
  EXPECT_EQ(b.substr(80, 18), std::string("\x7F\xFF\x7F\xFF\0\0\x80\0\x80\0\0\0\0\0\0\0\0\0", 18));
  EXPECT_EQ(b.find_first_not_of('\0', 98), std::string::npos);

  // The example survey fits one file with the default name.
  const RunResult e = Run({"ht", (kExamples / "lake_survey.gpx").string(), "-o", (dir / "001.ht").string()});
  ASSERT_EQ(e.status, 0) << e.err;
  const std::string survey = ReadAll(dir / "001.ht");
  EXPECT_EQ(survey.size(), 131080u);
  EXPECT_EQ(survey.substr(48, 9), std::string("NewTrack\0", 9));
}

TEST_F(CliTest, BadInputFailsCleanlyAndLeavesNoOutput) {
  const fs::path good = kExamples / "lake_survey.gpx";
  const fs::path out = dir / "out.gpx";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const fs::path txt = Write("notes.txt", "hello");
  const fs::path broken = Write("broken.gpx", "<gpx><trk><trkseg><trkpt lat=");
  const std::vector<Case> cases = {
      {{"convert", (dir / "missing.gpx").string(), "-o", out.string()}, 1, (dir / "missing.gpx").string() + " does not exist"},
      {{"convert", txt.string(), "-o", out.string()}, 1, "can't parse " + txt.string()},
      {{"convert", broken.string(), "-o", out.string()}, 1, broken.string()},
      {{"ht", good.string(), "--depth", "-5", "-o", (dir / "x.ht").string()}, 2, "--depth"},
      {{"ht", good.string(), "--depth", "deep", "-o", (dir / "x.ht").string()}, 2, "--depth"},
      {{"convert", good.string()}, 2, "-o"},
      {{"ht", good.string()}, 2, "-o"},
      {{"convert", good.string(), "-o", out.string(), "--bogus"}, 2, "--bogus"},
      {{"frobnicate"}, 2, "frobnicate"},
      {{}, 2, "Usage"},
  };
  for (const Case& c : cases) {
    const RunResult r = Run(c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << shown << "\n" << r.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"broken.gpx", "notes.txt"})) << shown;
  }

  // A failing run leaves an existing output file as it was.
  Write("out.gpx", "precious");
  EXPECT_EQ(Run({"convert", broken.string(), "-o", out.string()}).status, 1);
  EXPECT_EQ(ReadAll(out), "precious");
  // An output folder that does not exist: failure naming the file.
  const RunResult r = Run({"ht", good.string(), "-o", (dir / "no/such/000.ht").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("000.ht"), std::string::npos) << r.err;
}

mode_t Mode(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

// An output is never one of the inputs, however it is spelled; a link to an
// output is followed.
TEST_F(CliTest, OutputsNeverReplaceInputsAndFollowLinks) {
  const fs::path lake = Write("lake.gpx", ReadAll(kExamples / "lake_survey.gpx"));
  const std::string recording = ReadAll(lake);
  fs::create_symlink("lake.gpx", dir / "alias.gpx");
  fs::create_hard_link(lake, dir / "copy.gpx");
  fs::create_directories(dir / "map");
  fs::copy_file(lake, dir / "map" / "contours.gpx");
  const fs::path samples = Write("grid.prj", "lon,lat,depth\n8.25,47.5,100\n8.26,47.51,200\n");
  const std::string l = lake.string();
  const std::vector<std::vector<std::string>> sameFile = {
      {"ht", l, "-o", l},
      {"convert", l, "-o", (dir / "alias.gpx").string()},
      {"ht", (dir / "alias.gpx").string(), "-o", (dir / "map" / ".." / "lake.gpx").string()},
      {"convert", (kExamples / "lake_shore.kml").string(), l, "-o", (dir / "copy.gpx").string()},
      {"map", (dir / "map" / "contours.gpx").string(), "-d", (dir / "map").string()},
      {"grid", samples.string(), "--extent", "8.2,47.4,8.3,47.6", "--size", "2x2", "-o", (dir / "grid.asc").string()},
  };
  for (const auto& args : sameFile) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args.back() << "\n" << r.err;
    EXPECT_NE(r.err.find("write to another file"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadAll(lake), recording);
  EXPECT_EQ(ReadAll(dir / "map" / "contours.gpx"), recording);
  EXPECT_TRUE(fs::is_symlink(dir / "alias.gpx"));

  // Through a link to a private file: the file is replaced, stays private,
  // and the link stays a link.
  Write("private.ht", "old");
  fs::permissions(dir / "private.ht", fs::perms(0600));
  fs::create_symlink("private.ht", dir / "card.ht");
  const RunResult r = Run({"ht", l, "-o", (dir / "card.ht").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir / "card.ht"));
  EXPECT_EQ(ReadAll(dir / "private.ht").size(), 131080u);
  EXPECT_EQ(Mode(dir / "private.ht"), 0600u);
  EXPECT_EQ(Files(), (std::vector<std::string>{"alias.gpx", "card.ht", "copy.gpx", "grid.prj", "lake.gpx", "map",
                                               "private.ht"}))
      << "no temporary file left";
}

// Output that could not be written is a failure, and a folder given as an
// input is called one.
TEST_F(CliTest, FullStandardOutputFailsAndFoldersAreNamedAsSuch) {
  const std::string survey = (kExamples / "lake_survey.gpx").string();
  for (const std::string& args : {"info " + Quote(survey), std::string("--help"), std::string("--version")}) {
    const std::string cmd = Quote(SONDRALIS_CLI) + " " + args + " >/dev/full 2>" + Quote((dir / "err").string());
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << args;
    EXPECT_EQ(ReadAll(dir / "err"), "sondralis-cli: can't write to standard output: No space left on device\n")
        << args;
  }
  fs::remove(dir / "err");

  fs::create_directories(dir / "trip.gpx");
  const std::string folder = (dir / "trip.gpx").string();
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"info", folder},
           {"convert", folder, "-o", (dir / "out.gpx").string()},
           {"map", survey, folder, "-d", (dir / "map").string()},
           {"grid", folder, "--extent", "8.2,47.4,8.3,47.6", "--size", "2x2", "-o", (dir / "out.asc").string()}}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find(folder + " is a directory"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"trip.gpx"});
}

// SIGTERM or SIGINT in the middle of a map leaves the output folder as it
// was. The CLI cannot finish before the signal: its --verbose log goes into
// a pipe that nobody reads, which fills up long before the map is done, and
// the signal is sent once its working folder exists.
TEST_F(CliTest, InterruptedMapLeavesNoTemporaryFiles) {
  std::string gpx = "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns:h=\"urn:x\"><trk><trkseg>";
  for (int i = 0; i < 3; ++i)
    gpx += "<trkpt lat=\"47.50" + std::to_string(i) + "\" lon=\"8.25\"><extensions><h:depth>" +
           std::to_string(300 + i) + "</h:depth></extensions></trkpt>";
  gpx += "</trkseg></trk></gpx>";
  // About 250 bytes of log per file: far more than a pipe holds.
  std::vector<std::string> args = {SONDRALIS_CLI, "map", "--verbose", "--size", "64x64"};
  for (int i = 0; i < 400; ++i)
    args.push_back(Write("survey-of-the-northern-bay-at-dawn-" + std::to_string(i) + ".gpx", gpx).string());
  const fs::path outdir = dir / "card";
  fs::create_directories(outdir);
  std::ofstream(outdir / "000.ht") << "old";
  args.insert(args.end(), {"-d", outdir.string()});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  auto working = [&] {
    for (const auto& e : fs::directory_iterator(outdir))
      if (e.path().filename().string().rfind(".sondralis-map-", 0) == 0) return true;
    return false;
  };
  for (const int sig : {SIGTERM, SIGINT}) {
    int log[2];
    ASSERT_EQ(::pipe2(log, O_CLOEXEC), 0);
    ::fcntl(log[0], F_SETPIPE_SZ, 4096);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(log[1], STDERR_FILENO);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      std::signal(sig, SIG_DFL);  // in case this test runs with it ignored
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(log[1]);
    // Waiting for the working folder, in steps; not a measure of speed.
    for (int i = 0; i < 12000 && !working(); ++i) ::usleep(5000);
    EXPECT_TRUE(working());
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(log[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(outdir)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"000.ht"}) << "signal " << sig;
    EXPECT_EQ(ReadAll(outdir / "000.ht"), "old");
  }
}

// An Esri ASCII grid as sondralis-cli writes it.
struct AsciiGrid {
  int ncols = 0, nrows = 0;
  double xll = 0, yll = 0, dx = 0, dy = 0, nodata = 0;
  std::vector<double> values;  // row by row from the north
};

AsciiGrid ReadAsciiGrid(const std::string& text) {
  AsciiGrid g;
  std::istringstream in(text);
  std::string key;
  in >> key >> g.ncols >> key >> g.nrows >> key >> g.xll >> key >> g.yll >> key >> g.dx >> key >> g.dy >> key >>
      g.nodata;
  for (double v; in >> v;) g.values.push_back(v);
  return g;
}

// map: the window's whole job from the example lake to pictures, grids,
// contours and HT files; refusals write nothing.
TEST_F(CliTest, MapMakesEveryOutputOfTheExampleLake) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const fs::path out = dir / "map";
  RunResult r = Run({"map", survey, shore, "-d", out.string(), "--size", "300x200", "--step", "200", "--threads", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string summary = r.out;
  EXPECT_NE(r.out.find("Max depth:       1948 cm\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("View:            300 x 200 px"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Levels:          10 (0 to 1800 cm every 200 cm)"), std::string::npos) << r.out;

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"contours.bmp", "contours.gpx", "contours.kml", "depth.asc", "depth.bmp",
                                       "depth.jpg", "depth.prj", "samples.csv"};
  std::vector<std::string> parts;
  for (const auto& n : names)
    if (n.size() == 6 && n.substr(3) == ".ht") parts.push_back(n);
  ASSERT_FALSE(parts.empty());
  EXPECT_EQ(parts.front(), "000.ht");
  expected.insert(expected.begin(), parts.begin(), parts.end());
  EXPECT_EQ(names, expected) << "every output and nothing else, no staging folder left";

  // Pictures: a 24-bit BMP of the view's size, a baseline JPEG (SOF0, no SOF2).
  const std::string bmp = ReadAll(out / "depth.bmp");
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(Be32(bmp, 18), static_cast<std::int32_t>(0x2C010000)) << "width 300, little-endian";
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(bmp.size(), 54u + 300 * 200 * 3);
  const std::string jpg = ReadAll(out / "depth.jpg");
  EXPECT_NE(jpg.find("\xFF\xC0"), std::string::npos);
  EXPECT_EQ(jpg.find("\xFF\xC2"), std::string::npos);
  // HT parts: the unit's fixed size and at most 20000 entries each.
  for (const auto& part : parts) {
    const std::string b = ReadAll(out / part);
    EXPECT_EQ(b.size(), 131080u) << part;
    EXPECT_LE(static_cast<std::uint16_t>(Be16(b, 8)), 20000) << part;
  }

  // Contours: valid GPX whose depths are all multiples of the step, and a KML
  // with one folder per level found.
  const std::string xsd = Quote((kTestData / "schema/gpx-1.1.xsd").string());
  EXPECT_EQ(std::system((std::string(SONDRALIS_XMLLINT) + " --noout --schema " + xsd + " " +
                         Quote((out / "contours.gpx").string()) + " 2>/dev/null")
                            .c_str()),
            0);
  // The writer leaves out a depth of 0, which reads back as 0: the points
  // without one are those of level 0.
  const std::string gpx = ReadAll(out / "contours.gpx");
  const std::vector<double> depths = Depths(gpx);
  std::set<std::string> levels;
  std::size_t points = 0;
  for (std::size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1)) ++points;
  if (points > depths.size()) levels.insert("0.0 m");
  for (double d : depths) {
    EXPECT_EQ(std::fmod(d, 200), 0) << d;
    char name[32];
    std::snprintf(name, sizeof name, "%.1f m", d / 100);
    levels.insert(name);
  }
  EXPECT_GT(levels.size(), 5u);
  EXPECT_EQ(std::system((std::string(SONDRALIS_XMLLINT) + " --noout " + Quote((out / "contours.kml").string())).c_str()),
            0);
  const std::string kml = ReadAll(out / "contours.kml");
  std::set<std::string> folders;
  const std::regex folder("<Folder>\n<name>([^<]*)</name>");
  for (auto it = std::sregex_iterator(kml.begin(), kml.end(), folder); it != std::sregex_iterator(); ++it)
    folders.insert((*it)[1]);
  EXPECT_EQ(folders, levels);

  // grid on the samples over the map's extent gives the map's depths, within
  // the tolerance map runs Shepard's method at.
  const AsciiGrid map = ReadAsciiGrid(ReadAll(out / "depth.asc"));
  ASSERT_EQ(map.ncols, 300);
  ASSERT_EQ(map.nrows, 200);
  ASSERT_EQ(map.values.size(), 300u * 200u);
  std::smatch extent;
  ASSERT_TRUE(std::regex_search(summary, extent, std::regex("Extent: +([-0-9.e,]+)\n"))) << summary;
  r = Run({"grid", (out / "samples.csv").string(), "--extent", extent[1].str(), "--size", "300x200", "-o",
           (dir / "grid.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const AsciiGrid grid = ReadAsciiGrid(ReadAll(dir / "grid.asc"));
  ASSERT_EQ(grid.values.size(), map.values.size());
  int covered = 0;
  for (std::size_t i = 0; i < map.values.size(); ++i) {
    if (map.values[i] == map.nodata) continue;
    ++covered;
    ASSERT_NEAR(grid.values[i], map.values[i], 0.001 + 1e-12 * std::abs(map.values[i])) << "cell " << i;
  }
  EXPECT_GT(covered, 10000);
}

// map's method and tolerance: at tolerance 0 grid gives depth.asc again to
// the last digits; the surface method covers the same cells within 0 .. the
// deepest reading; the summary names the method. grid's surface is the same
// on any thread count; bad values are refused.
TEST_F(CliTest, MapAndGridTakeTheMethodAndTheTolerance) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const auto map = [&](const std::string& name, std::vector<std::string> options) {
    std::vector<std::string> args = {"map", survey, shore, "-d", (dir / name).string(), "--size", "240x160"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  const std::string exactSummary = map("exact", {"--tolerance", "0"});
  EXPECT_NE(exactSummary.find(" s (Shepard style 8, tolerance 0 cm), contours "), std::string::npos) << exactSummary;
  EXPECT_NE(map("default", {"--style", "6"}).find(" s (Shepard style 6, tolerance 0.001 cm), contours "),
            std::string::npos);
  EXPECT_NE(map("surface", {"--method", "Surface"}).find(" s (Surface), contours "), std::string::npos);

  std::smatch extent;
  ASSERT_TRUE(std::regex_search(exactSummary, extent, std::regex("Extent: +([-0-9.e,]+)\n")));
  const RunResult r = Run({"grid", (dir / "exact/samples.csv").string(), "--extent", extent[1].str(), "--size",
                           "240x160", "-o", (dir / "grid.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const AsciiGrid exact = ReadAsciiGrid(ReadAll(dir / "exact/depth.asc"));
  const AsciiGrid grid = ReadAsciiGrid(ReadAll(dir / "grid.asc"));
  const AsciiGrid surface = ReadAsciiGrid(ReadAll(dir / "surface/depth.asc"));
  ASSERT_EQ(exact.values.size(), 240u * 160u);
  ASSERT_EQ(grid.values.size(), exact.values.size());
  ASSERT_EQ(surface.values.size(), exact.values.size());
  int covered = 0;
  for (std::size_t i = 0; i < exact.values.size(); ++i) {
    ASSERT_EQ(surface.values[i] == surface.nodata, exact.values[i] == exact.nodata) << "cell " << i;
    if (exact.values[i] == exact.nodata) continue;
    ++covered;
    ASSERT_NEAR(grid.values[i], exact.values[i], 1e-12 * std::abs(exact.values[i])) << "cell " << i;
    ASSERT_GE(surface.values[i], 0) << "cell " << i;
    ASSERT_LE(surface.values[i], 1948) << "cell " << i;
  }
  EXPECT_GT(covered, 5000);
  // The two methods make different maps of the same lake.
  EXPECT_NE(ReadAll(dir / "surface/depth.bmp"), ReadAll(dir / "exact/depth.bmp"));

  // grid by the surface method: one thread or two, the same bytes.
  for (const char* threads : {"1", "2"}) {
    const RunResult g = Run({"grid", (dir / "exact/samples.csv").string(), "--extent", extent[1].str(), "--size",
                             "120x80", "--method", "surface", "--threads", threads, "-o",
                             (dir / (std::string("surface") + threads + ".asc")).string()});
    ASSERT_EQ(g.status, 0) << g.err;
  }
  const std::string one = ReadAll(dir / "surface1.asc");
  EXPECT_EQ(one, ReadAll(dir / "surface2.asc"));
  const AsciiGrid everywhere = ReadAsciiGrid(one);
  ASSERT_EQ(everywhere.values.size(), 120u * 80u);
  for (double v : everywhere.values) ASSERT_TRUE(v >= 0 && v <= 1948) << v;

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"map", survey, "-d", (dir / "bad").string(), "--method", "kriging"},
           {"map", survey, "-d", (dir / "bad").string(), "--tolerance", "-1"},
           {"map", survey, "-d", (dir / "bad").string(), "--tolerance", "nan"},
           {"grid", (dir / "exact/samples.csv").string(), "--extent", "0,0,1,1", "--size", "2x2", "--tolerance",
            "1000", "-o", (dir / "bad.asc").string()}}) {
    const RunResult b = Run(bad);
    EXPECT_EQ(b.status, 2) << b.err;
    EXPECT_NE(b.err.find(bad[bad.size() - (bad[0] == "grid" ? 4 : 2)]), std::string::npos) << b.err;
    EXPECT_FALSE(fs::exists(dir / "bad"));
    EXPECT_FALSE(fs::exists(dir / "bad.asc"));
  }
}

// One reading no lake can give (a sounder's glitch) would stretch the
// colours and the levels to a million: it is set aside, said, and counted,
// and the map is the map of the rest. An offset beyond any depth is refused.
TEST_F(CliTest, MapSetsAsideReadingsNoLakeGives) {
  std::string survey = ReadAll(kExamples / "lake_survey.gpx");
  const std::size_t at = survey.find("<h:depth>", survey.size() / 2) + 9;
  survey.replace(at, survey.find('<', at) - at, "99999999");
  const fs::path absurd = Write("absurd.gpx", survey);
  const std::string shore = (kExamples / "lake_shore.kml").string();
  const RunResult r = Run({"map", absurd.string(), shore, "-d", (dir / "map").string(), "--size", "200x150"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(absurd.string() + ": 1 depth reading beyond 12000 m set aside (the first: 99999999 cm)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("Set aside:       53 readings of 0 cm (bottom lost), 1 beyond 12000 m\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Max depth:       1948 cm\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Levels:          20 (0 to 1900 cm every 100 cm)"), std::string::npos) << r.out;

  const RunResult offset = Run({"map", absurd.string(), "-d", (dir / "other").string(), "--offset", "2000000000"});
  EXPECT_EQ(offset.status, 2);
  EXPECT_NE(offset.err.find("--offset wants at most 1200000 cm (12000 m) either way"), std::string::npos)
      << offset.err;
  EXPECT_FALSE(fs::exists(dir / "other"));
}

// map takes its folder for the run and replaces files there by the rules
// of the other commands: a file that cannot be replaced is refused before
// any work, a link stays a link, a second run is told the folder is busy,
// leftovers of a run that died are cleared, and every old HT part the unit
// would load with the new ones is named.
TEST_F(CliTest, MapTakesItsFolderAndReplacesAllOrNothing) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const fs::path out = dir / "card";
  fs::create_directories(out / "samples.csv");
  Write("card/depth.bmp", "earlier");
  Write("card/001.ht", "old");
  Write("card/003.ht", "old");
  const std::vector<std::string> args = {"map", survey, shore, "-d", out.string(), "--size", "120x90"};
  const auto names = [&] {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(out)) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  };
  const std::vector<std::string> earlier = {"001.ht", "003.ht", "depth.bmp", "samples.csv"};

  std::vector<std::string> verbose = args;
  verbose.push_back("--verbose");
  RunResult r = Run(verbose);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find((out / "samples.csv").string() + ": it is a folder"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("LoadGPXFile"), std::string::npos) << "refused before any work";
  EXPECT_EQ(names(), earlier);
  fs::remove(out / "samples.csv");

  fs::permissions(out / "depth.bmp", fs::perms(0444));
  r = Run(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find((out / "depth.bmp").string() + ": the file is read-only"), std::string::npos) << r.err;
  fs::permissions(out / "depth.bmp", fs::perms(0644));

  {
    const int lock = ::open((out / ".sondralis-map.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    r = Run(args);
    ::close(lock);
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(out.string() + " is busy: another run is writing a map into it"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(out / "depth.bmp"), "earlier");

  fs::create_directories(dir / "elsewhere");
  Write("elsewhere/lines.gpx", "old");
  fs::create_symlink(dir / "elsewhere" / "lines.gpx", out / "contours.gpx");
  fs::create_directories(out / ".sondralis-map-Xy12Zq");
  Write("card/.sondralis-map-Xy12Zq/depth.bmp", "half of a killed run");
  r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(out / "contours.gpx"));
  EXPECT_NE(ReadAll(dir / "elsewhere" / "lines.gpx").find("<gpx"), std::string::npos);
  EXPECT_NE(r.err.find("also holds 001.ht, 003.ht from an earlier map"), std::string::npos) << r.err;
  EXPECT_EQ(names(), (std::vector<std::string>{"000.ht", "001.ht", "003.ht", "contours.bmp", "contours.gpx",
                                               "contours.kml", "depth.asc", "depth.bmp", "depth.jpg", "depth.prj",
                                               "samples.csv"}));

  // A new folder and the folders made above it go when the run fails.
  r = Run({"map", survey, Write("notes.txt", "x").string(), "-d", (dir / "new" / "map" / "card").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir / "new"));
}

// A map whose HT files the unit could not take (lines near the pole, too
// far apart for one file's steps, or none at all) still gets its other
// files, with one line saying what was left out and why.
TEST_F(CliTest, MapLeavesOutOnlyWhatItCannotMake) {
  std::string survey = ReadAll(kExamples / "lake_survey.gpx");
  for (std::size_t at = 0; (at = survey.find(" lat=\"47.", at)) != std::string::npos; at += 9)
    survey.replace(at + 6, 2, "89");
  const fs::path polar = Write("polar.gpx", survey);
  const RunResult r = Run({"map", polar.string(), "-d", (dir / "map").string(), "--size", "120x90"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("sondralis-cli: warning: the HT files were not made: Can't write HT file: the points at"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("HT files:        none\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Wrote 8 files into " + (dir / "map").string() + "; not made: the HT files\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(ReadAll(dir / "map" / "contours.gpx").find("<trkpt"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "map" / "000.ht"));

  // Across the antimeridian the view spans the globe and holds no line.
  std::string across = ReadAll(kExamples / "lake_survey.gpx");
  for (std::size_t at = 0; (at = across.find(" lon=\"", at)) != std::string::npos; at += 6) {
    const std::size_t end = across.find('"', at + 6);
    const double lon = std::stod(across.substr(at + 6, end - at - 6)) - 8.6435 + 180;
    across.replace(at + 6, end - at - 6, std::to_string(lon > 180 ? lon - 360 : lon));
  }
  const RunResult a = Run({"map", Write("across.gpx", across).string(), "-d", (dir / "across").string(), "--size", "120x90"});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_NE(a.err.find("warning: the HT files were not made: the map has no contour line"), std::string::npos) << a.err;
  EXPECT_TRUE(fs::exists(dir / "across" / "depth.asc"));
}

// map with the chart tracer: its levels from one step down and the rings it
// dropped in the summary, the chart beside the other files, contours.kml
// with a label per line named by its level; and the pixel tracer's files
// are the same with or without a ring limit of 0 asked for.
TEST_F(CliTest, MapWithTheChartTracerLabelsItsLinesAndWritesTheChart) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const std::vector<std::string> common = {"map", survey, shore, "--size", "300x200", "--step", "200", "--threads", "2"};
  const auto run = [&](const std::string& folder, std::vector<std::string> extra) {
    std::vector<std::string> args = common;
    args.push_back("-d");
    args.push_back((dir / folder).string());
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };
  RunResult r = run("chart", {"--contours", "chart", "--chart", "--smooth", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "nothing from Qt on stderr";
  EXPECT_NE(r.out.find("Levels:          9 (200 to 1800 cm every 200 cm)\n"), std::string::npos) << r.out;
  std::smatch rings;
  ASSERT_TRUE(std::regex_search(r.out, rings, std::regex("Tracer:          chart, rings shorter than 8 px dropped: [0-9]+\n")))
      << r.out;
  const fs::path out = dir / "chart";
  EXPECT_EQ(ReadAll(out / "chart.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
  ASSERT_TRUE(fs::exists(out / "000.ht"));

  // One label point per line, named as its folder.
  const std::string kml = ReadAll(out / "contours.kml");
  std::size_t lines = 0, points = 0;
  for (std::size_t at = kml.find("<LineString>"); at != std::string::npos; at = kml.find("<LineString>", at + 1)) ++lines;
  for (std::size_t at = kml.find("<Point>"); at != std::string::npos; at = kml.find("<Point>", at + 1)) ++points;
  EXPECT_GT(lines, 9u);
  EXPECT_EQ(points, lines);
  std::set<std::string> folders;
  const std::regex folder("<Folder>\n<name>([^<]*)</name>");
  for (auto it = std::sregex_iterator(kml.begin(), kml.end(), folder); it != std::sregex_iterator(); ++it)
    folders.insert((*it)[1]);
  std::set<std::string> levels;
  for (const double d : Depths(ReadAll(out / "contours.gpx"))) {
    EXPECT_EQ(std::fmod(d, 200), 0) << d;
    EXPECT_GE(d, 200);
    levels.insert(std::to_string(static_cast<int>(d) / 100) + " m");
  }
  EXPECT_EQ(folders, levels);

  // The pixel tracer without a ring limit, asked for or not.
  ASSERT_EQ(run("plain", {}).status, 0);
  r = run("explicit", {"--contours", "pixel", "--min-ring", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Tracer:          pixel, every ring kept\n"), std::string::npos) << r.out;
  for (const char* name : {"contours.bmp", "contours.gpx", "contours.kml", "000.ht"})
    EXPECT_EQ(ReadAll(dir / "plain" / name), ReadAll(dir / "explicit" / name)) << name;
  EXPECT_FALSE(fs::exists(dir / "plain" / "chart.png"));
}

TEST_F(CliTest, MapRefusesBadInputAndWritesNothing) {
  const std::string survey = (kExamples / "lake_survey.gpx").string();
  const fs::path notes = Write("notes.txt", "hello");
  const fs::path out = dir / "map";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"map", (dir / "missing.gpx").string(), "-d", out.string()}, 1, "missing.gpx does not exist"},
      {{"map", notes.string(), "-d", out.string()}, 1, "can't parse " + notes.string()},
      {{"map", survey, "-d", out.string(), "--step", "0"}, 2, "--step"},
      {{"map", survey, "-d", out.string(), "--size", "0x0"}, 2, "--size"},
      {{"map", survey, "-d", out.string(), "--shallow", "red"}, 2, "--shallow"},
      // An option given twice is a mistake, not a choice of the last one.
      {{"map", survey, "-d", out.string(), "--step", "100", "--step=200"}, 2, "--step given twice"},
      {{"map", survey, "-d", out.string(), "-d", (dir / "other").string()}, 2, "-d given twice"},
      {{"map", survey}, 2, "-d"},
      {{"map", survey, "-d", (notes / "inside").string()}, 1, "output folder"},
      {{"map", survey, "-d", out.string(), "--paper", "A3"}, 2, "--paper goes with --pdf"},
      {{"map", survey, "-d", out.string(), "--pdf", "--paper", "A5"}, 2, "--paper wants A4 or A3"},
      {{"map", survey, "-d", out.string(), "--exaggeration", "2"}, 2, "--exaggeration goes with --hillshade"},
      {{"map", survey, "-d", out.string(), "--hillshade", "--exaggeration", "0"}, 2, "--exaggeration wants"},
      {{"map", survey, "-d", out.string(), "--safety", "0"}, 2, "--safety wants"},
      {{"map", survey, "-d", out.string(), "--contours", "lines"}, 2, "--contours wants pixel or chart"},
      {{"map", survey, "-d", out.string(), "--min-ring", "-1"}, 2, "--min-ring"},
      {{"map", survey, "-d", out.string(), "--contours", "chart", "--smooth", "11"}, 2, "--smooth"},
      {{"map", survey, "-d", out.string(), "--smooth", "2"}, 2, "add --contours chart"},
  };
  for (const Case& c : cases) {
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Files(), std::vector<std::string>{"notes.txt"}) << "no output folder left: " << r.err;
  }
  // A map that fails halfway leaves the files of an earlier map as they were.
  fs::create_directories(out);
  Write("map/depth.bmp", "earlier");
  EXPECT_EQ(Run({"map", survey, notes.string(), "-d", out.string()}).status, 1);
  EXPECT_EQ(ReadAll(out / "depth.bmp"), "earlier");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"depth.bmp"});
}

// The exports for other programs come beside the window's own files and
// leave them as they are, unless relief or a safety depth is asked for the
// pictures; each gets its line in the summary.
TEST_F(CliTest, MapWritesTheExportsAskedForAndLeavesTheRestAsItWas) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const std::vector<std::string> base = {"map", survey, shore, "--size", "300x200", "--step", "200", "--threads", "2", "-d"};
  const auto map = [&](const std::string& folder, const std::vector<std::string>& options) {
    std::vector<std::string> args = base;
    args.push_back((dir / folder).string());
    args.insert(args.end(), options.begin(), options.end());
    return Run(args);
  };
  const auto names = [&](const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir / folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  };
  ASSERT_EQ(map("plain", {}).status, 0);
  RunResult r = map("tif", {"--geotiff"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& name : names("plain"))
    EXPECT_EQ(ReadAll(dir / "tif" / name), ReadAll(dir / "plain" / name)) << name << " changed by --geotiff";
  EXPECT_NE(r.out.find("\nGeoTIFF:         depth.tif, 300 x 200 cells"), std::string::npos) << r.out;

  r = map("all", {"--gpkg", "--shp", "--mbtiles", "--pdf", "--paper", "A3", "--spots", "--report", "--geotiff",
                  "--hillshade", "--exaggeration", "4", "--safety", "200"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "nothing on stderr, Qt's notes of the printed chart's fonts neither";
  std::vector<std::string> expected = names("plain");
  for (const char* name : {"chart.mbtiles", "chart.pdf", "contours.cpg", "contours.dbf", "contours.gpkg", "contours.prj",
                           "contours.shp", "contours.shx", "depth.tif", "report.csv", "report.json", "spots.gpx",
                           "spots.hwr"})
    expected.push_back(name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names("all"), expected) << "every export and nothing else, no staging folder left";
  EXPECT_NE(r.out.find("Wrote " + std::to_string(expected.size()) + " files"), std::string::npos) << r.out;
  for (const char* caption : {"Relief:          ", "Safety depth:    2.00 m", "GeoTIFF:         ", "GeoPackage:      ",
                              "Shapefile:       ", "MBTiles:         ", "Chart:           chart.pdf: A3 landscape",
                              "Spots:           ", "Waypoints:       ", "Report:          report.csv"})
    EXPECT_NE(r.out.find(std::string("\n") + caption), std::string::npos) << caption << "\n" << r.out;

  // What each file is, by its first bytes.
  const auto starts = [&](const std::string& name, const std::string& magic) {
    return ReadAll(dir / "all" / name).rfind(magic, 0) == 0;
  };
  EXPECT_TRUE(starts("depth.tif", std::string("II*\0", 4)) || starts("depth.tif", std::string("MM\0*", 4)));
  EXPECT_TRUE(starts("contours.gpkg", std::string("SQLite format 3\0", 16)));
  EXPECT_TRUE(starts("chart.mbtiles", std::string("SQLite format 3\0", 16)));
  EXPECT_TRUE(starts("contours.shp", std::string("\0\0\x27\x0A", 4)));
  EXPECT_TRUE(starts("chart.pdf", "%PDF-"));
  EXPECT_NE(ReadAll(dir / "all" / "chart.pdf").find("/MediaBox [0 0 1191"), std::string::npos) << "A3 landscape";
  const std::string hwr = ReadAll(dir / "all" / "spots.hwr");
  EXPECT_TRUE(!hwr.empty() && hwr.size() % 36 == 0) << hwr.size();
  EXPECT_EQ(hwr.compare(0, 4, "\x02\x02\x00\x24", 4), 0) << "a waypoint record of 36 bytes";
  EXPECT_NE(ReadAll(dir / "all" / "spots.gpx").find("<wpt "), std::string::npos);
  EXPECT_NE(ReadAll(dir / "all" / "report.json").find("\"volume_m3\""), std::string::npos);

  // The run and its lines are the same; the pictures are shaded and
  // hatched, and the KML gains the safety folder.
  for (const char* name : {"depth.asc", "samples.csv", "contours.gpx", "000.ht"})
    EXPECT_EQ(ReadAll(dir / "all" / name), ReadAll(dir / "plain" / name)) << name;
  const auto magenta = [&](const std::string& folder, const std::string& name) {
    const std::string bmp = ReadAll(dir / folder / name);
    int count = 0;
    for (std::size_t at = 54; at + 3 <= bmp.size(); at += 3) count += bmp.compare(at, 3, "\xFF\x00\xFF", 3) == 0;
    return count;
  };
  EXPECT_EQ(magenta("plain", "depth.bmp"), 0);
  EXPECT_GT(magenta("all", "depth.bmp"), 100);
  EXPECT_GT(magenta("all", "contours.bmp"), 100);
  EXPECT_EQ(ReadAll(dir / "all" / "depth.bmp").size(), ReadAll(dir / "plain" / "depth.bmp").size());
  EXPECT_EQ(ReadAll(dir / "plain" / "contours.kml").find("<name>safety</name>"), std::string::npos);
  EXPECT_NE(ReadAll(dir / "all" / "contours.kml").find("<name>safety</name>"), std::string::npos);
}

// The GDAL exports load their module when first asked for one. Without it
// (not there, or not a library) they fail, naming the file, the module and
// why, and the folder stays as it was; the run without them is unaffected.
TEST_F(CliTest, GdalExportsWithoutTheirModuleFailAndChangeNothing) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  const std::vector<std::string> base = {"map", survey, shore, "--size", "160x120", "--step", "200", "-d",
                                         (dir / "map").string()};
  ASSERT_EQ(Run(base).status, 0);
  const auto contents = [&] {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir / "map")) files[e.path().filename().string()] = ReadAll(e.path());
    return files;
  };
  const auto before = contents();
  const std::string missing = (dir / "nowhere" / "libsondralis_gdal.so").string();
  const std::string text = Write("text.so", "not a library").string();
  struct TCase {
    std::string Module, Option, Target, Reason;
  };
  for (const TCase& c : {TCase{missing, "--geotiff", "depth.tif", "libsondralis_gdal.so was not found (looked for " + missing + ")"},
                         TCase{text, "--gpkg", "contours.gpkg", text + " could not be loaded: "},
                         TCase{text, "--hillshade", "the relief", text + " could not be loaded: "}}) {
    std::vector<std::string> args = base;
    args.push_back(c.Option);
    const RunResult r = Run(args, "SONDRALIS_GDAL_MODULE=" + Quote(c.Module) + " ");
    EXPECT_EQ(r.status, 1) << c.Option;
    EXPECT_NE(r.err.find("Can't write " + c.Target + ": the GDAL exports need their module, and " + c.Reason),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(contents() == before) << c.Option << " changed the folder";
  }
  const RunResult plain = Run(base, "SONDRALIS_GDAL_MODULE=" + Quote(missing) + " ");
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(contents() == before) << "the same map, byte for byte";
}

TEST_F(CliTest, HelpAndVersion) {
  RunResult r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("sondralis-cli ", 0), 0u) << r.out;
  for (const char* cmd : {"info", "convert", "ht", "map", "grid", "validate"}) {
    r = Run({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find(std::string("sondralis-cli ") + cmd), std::string::npos) << r.out;
  }
  r = Run({"ht", "--help"});
  EXPECT_NE(r.out.find("--name"), std::string::npos);
}

// validate: one line per method, or JSON; the folds file names every
// compared sounding once; the surface scores better than Shepard on the
// example lake; what cannot be checked fails cleanly and writes nothing.
TEST_F(CliTest, ValidateScoresEachMethod) {
  const std::string survey = (kExamples / "lake_survey.gpx").string(), shore = (kExamples / "lake_shore.kml").string();
  RunResult r = Run({"validate", survey, shore, "--size", "260x180", "--folds", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("Hold-out: +[0-9]+ soundings of 4 segments in 4 pieces, 3 folds, "
                                                    "260 x 180 px")))
      << lines[0];
  const std::regex figures("(Shepard style 8|Surface): ([0-9]+) held-out soundings, RMS ([0-9.]+) cm, median "
                           "[0-9.]+ cm, 95th percentile [0-9.]+ cm");
  std::smatch shepard, surface;
  ASSERT_TRUE(std::regex_match(lines[1], shepard, figures)) << lines[1];
  ASSERT_TRUE(std::regex_match(lines[2], surface, figures)) << lines[2];
  EXPECT_EQ(shepard[1], "Shepard style 8");
  EXPECT_EQ(surface[1], "Surface");
  EXPECT_EQ(shepard[2], surface[2]);
  EXPECT_LT(std::stod(surface[3]), std::stod(shepard[3]));
  const std::string heldOut = surface[2], surfaceRms = surface[3];

  const fs::path csv = dir / "folds.csv";
  r = Run({"validate", survey, shore, "--size", "260x180", "--folds", "3", "--method", "surface", "--json",
           "--folds-csv", csv.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  const std::regex json(
      "\\{\"method\":\"surface\", \"style\":8, \"tolerance_cm\":0.001, \"folds\":3, \"held_out\":([0-9]+), "
      "\"rms_cm\":([0-9.]+), \"median_abs_cm\":[0-9.]+, \"p95_abs_cm\":[0-9.]+\\}");
  std::smatch object;
  ASSERT_TRUE(std::regex_match(lines[0], object, json)) << lines[0];
  EXPECT_EQ(object[1], heldOut);
  EXPECT_NEAR(std::stod(object[2]), std::stod(surfaceRms), 0.05);
  std::vector<std::string> rows = Lines(ReadAll(csv));
  ASSERT_GT(rows.size(), 1000u);
  EXPECT_EQ(rows[0], "lon,lat,depth,fold,pixel_lon,pixel_lat");
  int compared = 0;
  std::set<std::string> folds;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> fields = Split(rows[i] + ",", ',');
    ASSERT_EQ(fields.size(), 6u) << rows[i];
    folds.insert(fields[3]);
    if (!fields[4].empty()) ++compared;
  }
  EXPECT_EQ(folds, (std::set<std::string>{"-1", "0", "1", "2"}));
  EXPECT_EQ(std::to_string(compared), object[1].str());

  Write("one.gpx",
        "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
        "<trk><trkseg><trkpt lat=\"47.1\" lon=\"8.1\"><extensions><depth>450</depth></extensions></trkpt>"
        "</trkseg></trk></gpx>");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"validate", survey, "--folds", "1"}, 2, "--folds"},
      {{"validate", survey, "--method", "tin"}, 2, "--method"},
      {{"validate"}, 2, "validate needs at least one input"},
      {{"validate", (dir / "one.gpx").string(), "--folds-csv", (dir / "bad.csv").string()}, 1, "nothing to interpolate"},
      {{"validate", survey, "--folds-csv", survey}, 2, "is both an input and the output"},
  };
  for (const auto& c : cases) {
    const RunResult bad = Run(c.args);
    EXPECT_EQ(bad.status, c.status) << c.message << "\n" << bad.err;
    EXPECT_NE(bad.err.find(c.message), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(dir / "bad.csv"));
  }
}

// grid: every node against Shepard's formula evaluated here in extended
// precision, the header and the projection file GIS programs read, and
// clean failures.
TEST_F(CliTest, GridInterpolatesTheSamplesAtTheCellCentres) {
  struct S {
    float lon, lat, depth;
  };
  // The last sample lies exactly on node (0, 0), the centre of the north-west
  // cell, which takes its value unchanged.
  const std::vector<S> samples = {{0.3f, 0.2f, 120}, {3.7f, 0.4f, 880}, {2.1f, 2.9f, 455.5f}, {1.2f, 1.1f, 10},
                                  {0.5f, 2.5f, 300}};
  std::string csv = "lon,lat,depth\r\n";
  for (const S& s : samples) {
    std::ostringstream line;
    line.precision(9);
    line << s.lon << "," << s.lat << "," << s.depth << "\r\n";
    csv += line.str();
  }
  const fs::path in = Write("samples.csv", csv);
  const fs::path out = dir / "depth.asc";
  for (int power : {3, 8}) {
    const RunResult r = Run({"grid", in.string(), "--extent", "0,0,4,3", "--size", "4x3", "--power",
                             std::to_string(power), "--threads", "2", "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream asc(ReadAll(out));
    std::string key;
    double value;
    std::vector<std::pair<std::string, double>> header;
    for (int i = 0; i < 7 && asc >> key >> value; ++i) header.emplace_back(key, value);
    EXPECT_EQ(header, (std::vector<std::pair<std::string, double>>{{"ncols", 4}, {"nrows", 3}, {"xllcorner", 0},
                                                                    {"yllcorner", 0}, {"dx", 1}, {"dy", 1},
                                                                    {"NODATA_value", -9999}}));
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 4; ++col) {
        ASSERT_TRUE(asc >> value) << row << "," << col;
        const long double x = col + 0.5L, y = 2.5L - row;
        long double sum = 0, total = 0, hit = -1;
        for (const S& s : samples) {
          const long double d = std::sqrt((x - s.lon) * (x - s.lon) + (y - s.lat) * (y - s.lat));
          if (d == 0 && hit < 0) hit = s.depth;
          const long double w = 1 / std::pow(d, static_cast<long double>(power));
          sum += w * s.depth;
          total += w;
        }
        const double expected = static_cast<double>(hit >= 0 ? hit : sum / total);
        EXPECT_NEAR(value, expected, 1e-12 * expected) << "p=" << power << " node " << col << "," << row;
      }
    EXPECT_FALSE(asc >> value) << "more values than nodes";
  }
  EXPECT_NE(ReadAll(dir / "depth.prj").find("GCS_WGS_1984"), std::string::npos);

  // Bad requests fail cleanly and write nothing.
  Write("headless.csv", "1,2,3\n");
  Write("word.csv", "lon,lat,depth\n1,2,3\n1,deep,3\n");
  Write("header.csv", "lon,lat,depth\n");
  const std::string o = (dir / "bad.asc").string();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"grid", (dir / "headless.csv").string(), "--extent", "0,0,1,1", "--size", "2x2", "-o", o}, 1, "headless.csv:1:"},
      {{"grid", (dir / "word.csv").string(), "--extent", "0,0,1,1", "--size", "2x2", "-o", o}, 1, "word.csv:3:"},
      {{"grid", (dir / "header.csv").string(), "--extent", "0,0,1,1", "--size", "2x2", "-o", o}, 1, "no samples"},
      {{"grid", in.string(), "--extent", "0,0,1", "--size", "2x2", "-o", o}, 2, "--extent"},
      {{"grid", in.string(), "--extent", "1,0,0,1", "--size", "2x2", "-o", o}, 2, "MINLON < MAXLON"},
      {{"grid", in.string(), "--extent", "0,0,1,1", "--size", "0x2", "-o", o}, 2, "--size"},
      {{"grid", in.string(), "--extent", "0,0,1,1", "--size", "2x2", "--power", "15", "-o", o}, 2, "--power"},
      {{"grid", in.string(), "--extent", "0,0,1,1", "--size", "2x2"}, 2, "-o"},
  };
  for (const auto& c : cases) {
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(o)) << c.message;
    EXPECT_FALSE(fs::exists(dir / "bad.prj")) << c.message;
  }
}

// grid and map bound their work before starting it, and every output is
// either complete or absent: a device that never ends a line, a size that
// cannot fit in the memory allowed, an extent off the globe, a grid whose
// projection cannot be written, and a file size limit.
TEST_F(CliTest, BoundedWorkAndEveryFailureSaid) {
  std::string csv = "lon,lat,depth\n";
  for (int i = 0; i < 50; ++i)
    csv += std::to_string(8 + i * 0.001) + "," + std::to_string(47 + (i % 7) * 0.001) + "," +
           std::to_string(100 + i) + "\n";
  const std::string samples = Write("samples.csv", csv).string();
  const std::vector<std::string> grid = {"grid", samples, "--extent", "8,47,8.05,47.01", "--size", "64x16"};
  const auto withOutput = [&](const std::string& o) {
    std::vector<std::string> args = grid;
    args.insert(args.end(), {"-o", (dir / o).string()});
    return args;
  };
  const auto leftovers = [&] {
    std::vector<std::string> left;
    for (const std::string& name : Files())
      if (name.find(".tmp") != std::string::npos || name.find(".sondralis") != std::string::npos) left.push_back(name);
    return left;
  };

  // Refused at once, whatever follows: no line ends on /dev/zero.
  RunResult r = Run({"grid", "/dev/zero", "--extent", "0,0,1,1", "--size", "2x2", "-o", (dir / "z.asc").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/dev/zero:1: the line is longer than 4096 bytes"), std::string::npos) << r.err;

  // More memory than the process may have: refused before any work. The
  // address sanitizer's shadow memory cannot live under an address-space
  // limit, so a sanitized build cannot try this.
#if !defined(__SANITIZE_ADDRESS__)
  r = Run({"grid", samples, "--extent", "0,0,1,1", "--size", "4096x4096", "-o", (dir / "huge.asc").string()},
          "ulimit -v 400000; exec ");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--size 4096x4096 needs about "), std::string::npos) << r.err;
  r = Run({"map", (kExamples / "lake_survey.gpx").string(), "-d", (dir / "huge").string(), "--size", "8192x8192"},
          "ulimit -v 2000000; exec ");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--size 8192x8192 needs about "), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "huge"));
#endif

  // Off the globe, or a projection named as the grid.
  for (const std::string extent : {"179,0,181,1", "0,-91,1,0", "0,0,1,90.5"}) {
    std::vector<std::string> args = withOutput("e.asc");
    args[3] = extent;
    r = Run(args);
    EXPECT_EQ(r.status, 2) << extent;
    EXPECT_NE(r.err.find("--extent must lie within -180 to 180"), std::string::npos) << r.err;
  }
  r = Run(withOutput("out.prj"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("-o wants the grid's name, not"), std::string::npos) << r.err;

  // The grid cannot be written (a pipe, a folder) or its projection cannot
  // (read-only): neither file changes.
  ASSERT_EQ(::mkfifo((dir / "pipe.asc").c_str(), 0644), 0);
  fs::create_directories(dir / "folder.asc");
  Write("ro.prj", "kept");
  fs::permissions(dir / "ro.prj", fs::perms(0444));
  Write("ro.asc", "kept too");
  for (const std::string o : {"pipe", "folder", "ro"}) {
    r = Run(withOutput(o + ".asc"));
    EXPECT_EQ(r.status, 1) << o;
    EXPECT_NE(r.err.find("Can't write "), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "pipe.prj"));
  EXPECT_FALSE(fs::exists(dir / "folder.prj"));
  EXPECT_EQ(ReadAll(dir / "ro.prj"), "kept");
  EXPECT_EQ(ReadAll(dir / "ro.asc"), "kept too");
  EXPECT_TRUE(leftovers().empty());

  // A file size limit: each command says the write failed, keeps the old
  // file and leaves no temporary behind.
  const std::string survey = (kExamples / "lake_survey.gpx").string();
  Write("big.gpx", "old");
  const std::vector<std::vector<std::string>> limited = {
      {"convert", survey, "-o", (dir / "big.gpx").string()},
      withOutput("big.asc"),
      {"map", survey, (kExamples / "lake_shore.kml").string(), "-d", dir.string(), "--size", "200x150"}};
  for (const auto& args : limited) {
    r = Run(args, "ulimit -f 4; exec ");
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_TRUE(leftovers().empty()) << args[0];
  }
  EXPECT_EQ(ReadAll(dir / "big.gpx"), "old");
  EXPECT_FALSE(fs::exists(dir / "depth.bmp"));

  // On a terminal, grid shows its progress as map does.
  const std::string command = Quote(SONDRALIS_CLI) + " grid " + Quote(samples) +
                              " --extent 8,47,8.05,47.01 --size 400x20 -o " + Quote((dir / "tty.asc").string());
  ASSERT_EQ(std::system(("script -qec " + Quote(command) + " /dev/null >" + Quote((dir / "tty").string())).c_str()), 0);
  EXPECT_NE(ReadAll(dir / "tty").find("Interpolating ["), std::string::npos) << ReadAll(dir / "tty");
  EXPECT_TRUE(fs::exists(dir / "tty.asc"));
}

}  // namespace

namespace {

// Every file of a map folder, by name.
std::map<std::string, std::string> MapFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) files[e.path().filename().string()] = ReadAll(e.path());
  return files;
}

}  // namespace

// A project file stands for its files and settings: the same map as the
// files with the same options, byte for byte; options given override the
// project's; a moved file is named and the rest still map.
TEST_F(CliTest, MapTakesAProjectFile) {
  fs::create_directories(dir / "lake" / "shore");
  fs::copy_file(kExamples / "lake_survey.gpx", dir / "lake" / "survey.gpx");
  fs::copy_file(kExamples / "lake_shore.kml", dir / "lake" / "shore" / "shore.kml");
  const fs::path project = Write("lake/lake.sondralis", R"({
    "format": "sondralis-project", "version": 1,
    "inputs": [{"path": "survey.gpx"}, {"path": "shore/shore.kml"}],
    "interpolation": {"radius": 20, "style": 10},
    "contours": {"step": 250},
    "ht": {"trackName": "Lake Trip"},
    "colours": {"shallow": "#00ff00", "deep": "#202080"},
    "picture": {"width": 280, "height": 200}})");

  RunResult r = Run({"map", project.string(), "-d", (dir / "a").string(), "--threads", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("from 2 files"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("View:            280 x 200 px"), std::string::npos) << r.out;
  r = Run({"map", (dir / "lake" / "survey.gpx").string(), (dir / "lake" / "shore" / "shore.kml").string(), "-d",
           (dir / "b").string(), "--threads", "2", "--size", "280x200", "--radius", "20", "--style", "10", "--step",
           "250", "--name", "Lake Trip", "--shallow", "00ff00", "--deep", "202080"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(MapFiles(dir / "a"), MapFiles(dir / "b"));

  // Options given beside the project win.
  r = Run({"map", project.string(), "-d", (dir / "c").string(), "--step", "500", "--size", "200x150"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("every 500 cm"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("View:            200 x 150 px"), std::string::npos) << r.out;

  // Moved away: named on stderr, the survey alone maps.
  fs::rename(dir / "lake" / "shore", dir / "shore elsewhere");
  r = Run({"map", project.string(), "-d", (dir / "d").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find((dir / "lake" / "shore" / "shore.kml").string() + " is missing"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("from 1 file\n"), std::string::npos) << r.out;

  // Refused before anything is written: a project with more inputs or with
  // the rules of plain files, a broken project, a project whose files are
  // all gone.
  fs::rename(dir / "lake" / "survey.gpx", dir / "survey elsewhere.gpx");
  const fs::path broken = Write("broken.sondralis", "{\"format\":\"sondralis-project\",\"contours\":{\"step\":0}}");
  const std::pair<std::vector<std::string>, int> refused[] = {
      {{"map", project.string(), (dir / "survey elsewhere.gpx").string(), "-d", (dir / "e").string()}, 2},
      {{"map", project.string(), "--offset", "20", "-d", (dir / "e").string()}, 2},
      {{"map", broken.string(), "-d", (dir / "e").string()}, 1},
      {{"map", project.string(), "-d", (dir / "e").string()}, 1},
  };
  for (const auto& [args, status] : refused) {
    r = Run(args);
    EXPECT_EQ(r.status, status) << args[1] << " " << args[2] << "\n" << r.err;
    EXPECT_FALSE(fs::exists(dir / "e") && !fs::is_empty(dir / "e")) << r.err;
  }
  EXPECT_NE(Run({"map", broken.string(), "-d", (dir / "e").string()}).err.find("contours.step"), std::string::npos);
}
