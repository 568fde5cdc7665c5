#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "formats/SoundingsFile.h"
#include "model/DateTime.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;

class SoundingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-soundings-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }
  // Reads a file into `doc`; the depths of its one segment.
  std::vector<double> Read(const std::string& name, const std::string& text) {
    path = Write(name, text);
    doc.Clear();
    result = ReadSoundingsFile(path, doc);
    std::vector<double> out;
    if (doc.trk.Count() == 1)
      for (TPoint4D2* p : *doc.trk.Tracks(0)->trkseg(0)) out.push_back(p->HBdepth);
    return out;
  }
  fs::path dir;
  std::string path;
  TGPX doc;
  TSoundingsReadResult result;
};

TEST(SoundingsColumns, NamesUnitsAndSeparators) {
  TSoundingsColumns c = SoundingsColumnsOf("Latitude;Longitude;Depth (cm);Time");
  EXPECT_EQ(c.Separator, ';');
  EXPECT_EQ(c.Latitude, 0);
  EXPECT_EQ(c.Longitude, 1);
  EXPECT_EQ(c.Depth, 2);
  EXPECT_EQ(c.Time, 3);
  EXPECT_EQ(c.DepthToCm, 1);
  // The long names win over x, y and z wherever they stand.
  c = SoundingsColumnsOf("x\ty\tz\tlon\tlat\tdepth_ft");
  EXPECT_EQ(c.Separator, '\t');
  EXPECT_EQ(c.Longitude, 3);
  EXPECT_EQ(c.Latitude, 4);
  EXPECT_EQ(c.Depth, 5);
  EXPECT_DOUBLE_EQ(c.DepthToCm, 30.48);
  c = SoundingsColumnsOf("X Y Z");
  EXPECT_EQ(c.Separator, ' ');
  EXPECT_EQ(c.DepthToCm, 100);
  EXPECT_EQ(c.Time, -1);
  EXPECT_EQ(SoundingsColumnsOf("\"long\",\"LAT\",\"depth[m]\",\"date time\"").Time, 3);
  EXPECT_EQ(SoundingsColumnsOf("lon,lat,speed").Problem,
            "the header names no column for depth (depth or z): 'lon,lat,speed'");
  EXPECT_EQ(SoundingsColumnsOf("a,b").Problem,
            "the header names no column for longitude (lon, long, longitude or x), latitude (lat, latitude or y), "
            "depth (depth or z): 'a,b'");
  EXPECT_EQ(SoundingsColumnsOf("lon,lat,depth (fathoms)").Problem,
            "the unit of the depth column 'depth (fathoms)' is not known (m, cm or ft)");
}

TEST_F(SoundingsFileTest, ReadsTheFormsSoundersWrite) {
  // Metres, comma separated, a byte-order mark, CRLF, comments, blank lines.
  EXPECT_EQ(Read("a.csv", "\xEF\xBB\xBFlon,lat,depth\r\n# exported\r\n8.6,47.2,3.45\r\n\r\n8.61,47.21,+12\r\n"),
            (std::vector<double>{345, 1200}));
  EXPECT_TRUE(result.Loaded);
  EXPECT_EQ(result.Soundings, 2);
  EXPECT_TRUE(result.Warnings.empty());
  ASSERT_EQ(doc.trk.Count(), 1);
  EXPECT_EQ(doc.trk.Tracks(0)->name(), "a");
  EXPECT_DOUBLE_EQ(doc.trk.Tracks(0)->trkseg(0)->trkpt(1)->Longitude, 8.61);
  EXPECT_DOUBLE_EQ(doc.trk.Tracks(0)->trkseg(0)->trkpt(1)->Latitude, 47.21);
  // Centimetres, semicolons and decimal commas; feet; blank-separated XYZ.
  EXPECT_EQ(Read("b.csv", "lat;lon;depth_cm\n47,2;8,6;345,5\n"), (std::vector<double>{345.5}));
  EXPECT_EQ(Read("c.csv", "lon,lat,depth ft\n8.6,47.2,10\n"), (std::vector<double>{304.8}));
  EXPECT_EQ(Read("d.XYZ", "x y z\n  8.6   47.2\t 2.5 \n"), (std::vector<double>{250}));
  // An ISO 8601 time column.
  Read("e.csv", "time,lat,lon,depth\n2026-06-13T06:30:00Z,47.2,8.6,3\n");
  EXPECT_EQ(doc.trk.Tracks(0)->trkseg(0)->trkpt(0)->DateTime, EncodeDate(2026, 6, 13) + 6.5 / 24);
  // Depths written as elevations below the surface.
  EXPECT_EQ(Read("f.xyz", "x,y,z\n8.6,47.2,-3.5\n8.6,47.2,-0.25\n8.6,47.2,0\n"), (std::vector<double>{350, 25, 0}));
  EXPECT_TRUE(result.NegatedDepths);
  EXPECT_EQ(result.Warnings, (std::vector<std::string>{path + ": every depth is negative; read as depths below the surface"}));
  EXPECT_TRUE(IsSoundingsFile("a/B.CSV"));
  EXPECT_TRUE(IsSoundingsFile("survey.xyz"));
  EXPECT_FALSE(IsSoundingsFile("survey.gpx"));
}

TEST_F(SoundingsFileTest, CountsBadLinesAndKeepsTheRest) {
  const std::string text =
      "lon,lat,depth,time\n"
      "8.6,47.2,3,2026-06-13T06:30:00Z\n"
      "8.6,47.2,3,5\n"                            // no time
      "8.6,47.2,abc,2026-06-13T06:30:01Z\n"       // no number
      "8.6,47.2\n"                                // a field missing
      "8.6,91,3,2026-06-13T06:30:02Z\n"           // latitude out of range
      "nan,47.2,3,2026-06-13T06:30:03Z\n"         // no plain number
      "8.6,47.2,3,2026-02-30T06:30:04Z\n"         // impossible date
      "8.6,47.2,4,2026-06-13T06:30:05Z\n";
  EXPECT_EQ(Read("bad.csv", text), (std::vector<double>{300, 400}));
  EXPECT_TRUE(result.Loaded);
  EXPECT_EQ(result.BadLines.Count, 6);
  EXPECT_EQ(result.Warnings, (std::vector<std::string>{path + ": 6 lines could not be read, first at line 3: '8.6,47.2,3,5'"}));
}

TEST_F(SoundingsFileTest, LongLinesAreCountedWithoutLosingTheNext) {
  // A line of 3 MB runs over the reader's 1 MB blocks; one just over the
  // limit; one at the limit is read.
  const std::string atLimit = "8.6,47.2,2" + std::string(kMaxSoundingsLineBytes - 10, ' ');
  const std::string text = "lon,lat,depth\n8.6,47.2,1\n" + std::string(3 << 20, '9') + "\n8.6,47.2,2\n" +
                           std::string(kMaxSoundingsLineBytes + 1, ',') + "\n" + atLimit + "\n8.6,47.2,3";
  EXPECT_EQ(Read("long.csv", text), (std::vector<double>{100, 200, 200, 300}));
  EXPECT_EQ(result.BadLines.Count, 2);
  EXPECT_EQ(result.BadLines.FirstLine, 3);
  EXPECT_EQ(result.BadLines.First, Quoted(std::string(80, '9') + "..."));
}

TEST_F(SoundingsFileTest, RefusesFilesWithoutSoundings) {
  auto error = [&](const std::string& text) {
    Read("x.csv", text);
    EXPECT_FALSE(result.Loaded);
    EXPECT_EQ(doc.trk.Count(), 0) << "nothing of a refused file is added";
    return result.Error.substr(path.size());
  };
  EXPECT_EQ(error(""), ": the file is empty; a header naming longitude, latitude and depth columns is needed");
  EXPECT_EQ(error("8.6,47.2,3\n"), ": the header names no column for longitude (lon, long, longitude or x), latitude "
                                   "(lat, latitude or y), depth (depth or z): '8.6,47.2,3'");
  EXPECT_EQ(error("lon,lat,depth\n"), ": the file holds no soundings");
  EXPECT_EQ(error("lon,lat,depth\nfoo\n"), ": the file holds no soundings");
  EXPECT_EQ(result.Warnings.size(), 1u) << "the bad line is still told";
  EXPECT_EQ(ReadSoundingsFile((dir / "missing.csv").string(), doc).Error,
            (dir / "missing.csv").string() + ": No such file or directory");
}

TEST_F(SoundingsFileTest, WrittenSoundingsReadBackExactly) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
  std::uniform_int_distribution<int> cm(1, 99999);
  std::string text = "longitude,latitude,depth_cm\n";
  std::vector<double> lons, lats, depths;
  for (int i = 0; i < 5000; ++i) {
    // The values as the text holds them, read by the general conversion.
    lons.push_back(*ParseNumber(FormatNumber(lon(rng))));
    lats.push_back(*ParseNumber(FormatNumber(lat(rng))));
    depths.push_back(cm(rng) / 10.0);
    text += FormatNumber(lons.back()) + "," + FormatNumber(lats.back()) + "," + FormatNumber(depths.back()) + "\n";
  }
  EXPECT_EQ(Read("many.csv", text), depths);
  const TGPXtrkseg& seg = *doc.trk.Tracks(0)->trkseg(0);
  for (int i = 0; i < seg.Count(); ++i) {
    ASSERT_EQ(seg.trkpt(i)->Longitude, lons[static_cast<std::size_t>(i)]);
    ASSERT_EQ(seg.trkpt(i)->Latitude, lats[static_cast<std::size_t>(i)]);
  }
}

}  // namespace
}  // namespace sondralis
