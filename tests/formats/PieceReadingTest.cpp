// Reading a GPX file piece by piece must give exactly what reading the
// whole document at once gives: the same document, the same values left
// out, the same verdict on damaged files. The whole-document reading is the
// reference; tiny pieces put a piece boundary next to every element.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FormatsTestSupport.h"
#include "formats/GPXFile.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TestDataDir;

// What a read gives, reduced to what can be compared: the document as the
// writer writes it, the values left out, and whether it loaded.
struct Outcome {
  bool Loaded = false;
  bool ImpossibleDate = false;
  std::string Written;
  long long UnreadableDepths = 0, SkippedPoints = 0;
  long long FirstDepthLine = 0, FirstPointLine = 0;
  std::string FirstDepth, FirstPoint;
};

// Reads `path` (or `text`, when not empty) with the given piece size.
Outcome ReadWith(std::size_t pieceBytes, const fs::path& path, const std::string& text = {}) {
  Outcome o;
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  file.XmlPieceBytes = pieceBytes;
  try {
    if (text.empty()) {
      file.ImportGPXFile(path.string());
    } else {
      std::istringstream in(text);
      file.ImportGPXStream(in, "damaged.gpx");
    }
  } catch (const EConvertError&) {
    o.ImpossibleDate = true;
  }
  o.Loaded = file.Loaded;
  if (o.Loaded || o.ImpossibleDate) o.Written = file.ExportGPXText();
  o.UnreadableDepths = file.UnreadableDepths.Count;
  o.SkippedPoints = file.SkippedPoints.Count;
  o.FirstDepthLine = file.UnreadableDepths.FirstLine;
  o.FirstPointLine = file.SkippedPoints.FirstLine;
  o.FirstDepth = file.UnreadableDepths.First;
  o.FirstPoint = file.SkippedPoints.First;
  return o;
}

void ExpectSameOutcome(const Outcome& whole, const Outcome& pieces, const std::string& where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(pieces.Loaded, whole.Loaded);
  EXPECT_EQ(pieces.ImpossibleDate, whole.ImpossibleDate);
  EXPECT_TRUE(pieces.Written == whole.Written) << "the documents read differ";
  EXPECT_EQ(pieces.UnreadableDepths, whole.UnreadableDepths);
  EXPECT_EQ(pieces.SkippedPoints, whole.SkippedPoints);
  EXPECT_EQ(pieces.FirstDepth, whole.FirstDepth);
  EXPECT_EQ(pieces.FirstPoint, whole.FirstPoint);
  EXPECT_EQ(pieces.FirstDepthLine, whole.FirstDepthLine);
  EXPECT_EQ(pieces.FirstPointLine, whole.FirstPointLine);
}

std::vector<fs::path> GpxFiles() {
  std::vector<fs::path> files;
  for (const char* dir : {"realworld", "encodings"})
    for (const auto& e : fs::directory_iterator(TestDataDir() / dir))
      if (e.path().extension() == ".gpx") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(PieceReading, EveryTestFileReadsAsWholeWhateverThePieceSize) {
  int loaded = 0;
  for (const fs::path& path : GpxFiles()) {
    const Outcome whole = ReadWith(0, path);
    loaded += whole.Loaded;
    for (std::size_t piece : {std::size_t{1}, std::size_t{300}, std::size_t{256 * 1024}})
      ExpectSameOutcome(whole, ReadWith(piece, path), path.filename().string() + ", pieces of " +
                                                          std::to_string(piece) + " bytes");
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(loaded, 200);
}

// Damaged copies of real files (bytes left out, repeated, changed, the end
// cut off) are refused or read alike by both ways.
TEST(PieceReading, DamagedFilesGetTheSameVerdict) {
  std::vector<std::string> sources;
  for (const fs::path& path : GpxFiles()) {
    std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 20000) sources.push_back(std::move(bytes));
  }
  ASSERT_GT(sources.size(), 50u);
  std::mt19937 random(20240611);
  int refused = 0, read = 0;
  for (int round = 0; round < 1000; ++round) {
    std::string text = sources[random() % sources.size()];
    const int edits = 1 + static_cast<int>(random() % 2);
    for (int e = 0; e < edits && text.size() > 2; ++e) {
      const std::size_t at = random() % text.size();
      const std::size_t len = 1 + random() % std::min<std::size_t>(40, text.size() - at);
      switch (random() % 5) {
        case 0: text.erase(at, len); break;
        case 1: text.insert(at, text.substr(at, len)); break;
        case 2: text[at] = "<>/\"'&!?-[]x "[random() % 13]; break;
        case 3: text.resize(at); break;
        default: text.insert(at, text.substr(random() % text.size(), len)); break;
      }
    }
    if (text.empty()) continue;
    const Outcome whole = ReadWith(0, {}, text);
    (whole.Loaded ? read : refused) += 1;
    for (std::size_t piece : {std::size_t{1}, std::size_t{64}})
      ExpectSameOutcome(whole, ReadWith(piece, {}, text), "round " + std::to_string(round) + ", pieces of " +
                                                             std::to_string(piece) + " bytes:\n" + text);
    if (::testing::Test::HasFailure()) return;
  }
  // Both kinds of verdict were exercised.
  EXPECT_GT(refused, 200);
  EXPECT_GT(read, 100);
}

// What comes before and after the document element, and odd shapes of the
// elements the reading opens.
TEST(PieceReading, EdgesOfTheDocumentGetTheSameVerdict) {
  const std::string pt = "<trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkpt>";
  const std::vector<std::string> texts = {
      "<gpx/>",
      "<gpx/>text after",
      "<gpx/>&#0;",
      "<gpx/>&#65;",
      "<gpx/><!-- c --><?pi x?>",
      "<gpx/><!DOCTYPE x>",
      "<gpx/><?xml version=\"1.0\"?>",
      "<gpx/></gpx>",
      "<gpx></gpx><gpx/>",
      "<gpx/><wpt lat=\"1\" lon=\"2\"/>",
      "text before<gpx/>",
      "<!DOCTYPE gpx [<!ENTITY e \"x\">]><gpx><trk><trkseg>" + pt + "</trkseg></trk></gpx>",
      "<?xml version=\"1.1\"?><gpx/>",
      "<gpx><?xml version=\"1.0\"?></gpx>",
      "\xEF\xBB\xBF<gpx><trk><trkseg>" + pt + pt + "</trkseg></trk></gpx>",
      "<gpx a=\"1\" a=\"2\"><trk/></gpx>",
      "<gpx><trk a=\"&#1;\"><trkseg>" + pt + "</trkseg></trk></gpx>",
      "<gpx><trk><trkseg/><trkseg></trkseg><trkseg >" + pt + "</trkseg ></trk></gpx>",
      "<gpx><trk><trkseg>" + pt + "</trksegx></trk></gpx>",
      "<gpx><trk><trkseg>" + pt + "</trk></trkseg></gpx>",
      "<gpx><trk><trkseg>" + pt + "<!-- </trkpt> -->" + pt + "<![CDATA[</trkpt>]]>" + pt + "</trkseg></trk></gpx>",
      "<gpx><trk><trkseg>" + pt + "<trkpt lat=\"</trkpt>\" lon=\"2\"/>" + pt + "</trkseg></trk></gpx>",
      "<gpx><trk><trkseg><extensions><trkpt></trkpt></extensions>" + pt + "</trkseg></trk></gpx>",
      "<gpx><trk><trkseg>" + pt + "</trkseg><trkseg>" + pt + "</trkseg></trk><trk><trkseg>" + pt +
          "</trkseg></trk></gpx>",
      "<gpx><trk><trkseg>" + pt + "</trkseg></trk>",
      "<gpx><trk><trkseg>" + pt,
      "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"",
      "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\">&#0;</trkpt></trkseg></trk></gpx>",
      "<GPX><TRK><TRKSEG>" + pt + "</TRKSEG></TRK></GPX>",
      // A NUL byte, which the parser takes for the end of the text.
      std::string("<gpx creator=\"x\" /\0a=\"1\"><wpt lat=\"1\" lon=\"2\"/></gpx>", 53),
      std::string("<gpx><wpt lat=\"1\" lon=\"2\"/>\0</gpx>", 34),
      // Only a well-formed declaration of ISO-8859-1 makes the input 8-bit
      // text; the parser's own guess is not asked.
      "<?xml version=\"1.0\" xencoding=\"ISO-8859-1\"?><gpx><trk><name>Z\xFCrich</name><trkseg>" + pt +
          "</trkseg></trk></gpx>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><trk><name>Z\xFCrich</name><trkseg>" + pt +
          "</trkseg></trk></gpx>",
      "<kml><Document/></kml>",
      "",
      "   ",
  };
  for (const std::string& text : texts) {
    const Outcome whole = ReadWith(0, {}, text.empty() ? std::string(" ") : text);
    if (text.find('\0') != std::string::npos) {
      EXPECT_FALSE(whole.Loaded) << "a NUL byte is refused";
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{40}})
      ExpectSameOutcome(whole, ReadWith(piece, {}, text.empty() ? std::string(" ") : text), text);
  }
}

// A recording bigger than the writer's buffer and than the chunks the
// reader takes its input in: the file ExportGPX streams out is the text
// ExportGPXText builds, the root declares the depth prefix exactly when the
// body uses it, and reading the file back in pieces gives what reading it
// whole gives.
TEST(PieceReading, BigRecordingWrittenAndReadInPieces) {
  for (bool withDepth : {true, false}) {
    TGPX doc;
    auto* track = new TGPXtrk;
    doc.trk.Add(track);
    auto* seg = new TGPXtrkseg;
    track->Add(seg);
    for (int i = 0; i < 90000; ++i) {
      TGPXwpt* p = seg->NewPoint();
      p->Latitude = 47 + i * 1e-6;
      p->Longitude = 8 + i * 1e-6;
      p->DateTime = 45000 + i / 86400.0;
      if (withDepth) p->HBdepth = 100 + i % 700;
      if (i % 97 == 0) p->Edit().name = "mark " + std::to_string(i);
    }
    testing::TempDir dir("bigwrite");
    TGPXFile writer;
    writer.GPXd = &doc;
    const std::string text = writer.ExportGPXText();
    ASSERT_GT(text.size(), 7u * 1024 * 1024);
    const fs::path path = dir / "big.gpx";
    writer.ExportGPX(path.string());
    EXPECT_TRUE(ReadFileBytes(path) == text);
    const std::size_t rootEnd = text.find('>', text.find("<gpx"));
    const bool declares = text.substr(0, rootEnd).find("xmlns:h=") != std::string::npos;
    EXPECT_EQ(declares, text.find("<h:", rootEnd) != std::string::npos);
    EXPECT_EQ(declares, withDepth);

    const Outcome whole = ReadWith(0, path);
    EXPECT_TRUE(whole.Loaded);
    EXPECT_TRUE(whole.Written == text);
    ExpectSameOutcome(whole, ReadWith(256 * 1024, path), "big file");
  }
}

}  // namespace
}  // namespace sondralis
