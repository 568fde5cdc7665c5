#include "formats/HTConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "HTTestSupport.h"
#include "formats/AtomicFile.h"

namespace sondralis {
namespace {

using namespace sondralis::testing;

// Three tracks: T0 (a, empty b, c), T1 (d), T2 (e, f). The file holds them
// in the order a, c, f, e, d; the empty segment adds nothing.
void BuildLake(TGPX& doc) {
  TGPXtrk* t0 = AddTrack(doc);
  TGPXtrkseg* a = AddSeg(t0);
  AddPoint(a, 47.5, 8.25, 250.9);    // P1
  AddPoint(a, 47.501, 8.252, -12.7);  // P2
  AddSeg(t0);
  AddPoint(AddSeg(t0), 47.502, 8.251, 0);  // P3
  AddPoint(AddSeg(AddTrack(doc)), 47.499, 8.249, 1234);  // P4
  TGPXtrk* t2 = AddTrack(doc);
  AddPoint(AddSeg(t2), 47.5005, 8.2495, 99.99);  // P5
  TGPXtrkseg* f = AddSeg(t2);
  AddPoint(f, 47.5, 8.25, 32767);     // P6
  AddPoint(f, 47.4995, 8.2505, 5.5);  // P7
}

const char* const kMarkers = "7FFF 7FFF 0000  8000 8000 0000  0000 0000 0000";

TEST(HTConvert, WritesTheFileByteForByteAndLeavesTheDocumentAlone) {
  TempDir dir("ht-bytes");
  TGPX doc;
  BuildLake(doc);
  THTConvert convert(&doc, "Übersee € Tiefenkarte 24X", dir / "000.ht");
  ASSERT_TRUE(convert.ConvertToHT());

  // Grid positions: P1 (918422, 5992655), P2 (918645, 5992819),
  // P3 (918533, 5992984), P4 (918311, 5992491), P5 (918366, 5992737),
  // P6 = P1, P7 (918478, 5992573). The bounds come from the segments of
  // two points or more (a and f), as TGPX::ComputeMetaBounds takes them:
  // 8.25/47.4995 .. 8.252/47.501.
  const std::string expected = Hex(std::string() +
      "01 03 000000000000"
      "0016 0000"                      // 7 points + 5 segments x 3 markers
      "4E94B0A9"
      "000E0396 005B70CF"              // start P1
      "000E0327 005B702B"              // end P4
      "000E0396 005B707D"              // X(minlon), Y(minlat)
      "000E0475 005B7173"              // X(maxlon), Y(maxlat)
      "DC626572736565203F2054696566656E6B617274"  // "Übersee ? Tiefenkart": no euro sign in 8 bits
      "00DF 00A4 FFF4" +               // P2: +223, +164, depth -12.7 -> -12
      kMarkers +
      "FF90 00A5 0000" +               // P3 from P2 across the empty segment
      kMarkers +
      "FF91 FEB7 7FFF"                 // P6 (segment f first) from P3
      "0038 FFAE 0005" +               // P7
      kMarkers +
      "FF90 00A4 0063" +               // P5 (segment e) from P7
      kMarkers +
      "FFC9 FF0A 04D2" +               // P4 (track 1) from P5
      kMarkers);

  const std::string bytes = ReadFile(dir / "000.ht");
  ASSERT_EQ(bytes.size(), 131080u);
  EXPECT_EQ(bytes.substr(0, expected.size()), expected);
  EXPECT_EQ(bytes.find_first_not_of('\0', expected.size()), std::string::npos) << "zero padding";
  EXPECT_EQ(BuildHTFile(doc, "Übersee € Tiefenkarte 24X"), bytes);

  // The document keeps its tracks, segments and bounds.
  ASSERT_EQ(doc.trk.Count(), 3);
  EXPECT_EQ(doc.trk[0]->Count(), 3);
  EXPECT_EQ(doc.trk[1]->Count(), 1);
  EXPECT_EQ(doc.trk[2]->Count(), 2);
  EXPECT_FALSE(doc.metadata.bounds.filled);
  EXPECT_EQ(doc.metadata.bounds.maxlat, 0);
}

// The name field against a reading of the UTF-8 bytes written here from
// scratch: a code point up to U+00FF is its own byte, any other one a
// single '?', and only the first 20 code points count.
TEST(HTConvert, TrackNameKeepsLatin1AndMarksEveryOtherCharacter) {
  const std::vector<std::string> pieces = {"a", "Z", " ", "7", "\xC3\x9C" /* Ü */, "\xC3\xBF" /* ÿ */,
                                           "\xC2\xA0" /* no-break space */, "\xE2\x82\xAC" /* € */,
                                           "\xC5\x81" /* Ł */, "\xF0\x9F\x90\x9F" /* fish, two UTF-16 units */};
  std::mt19937 random(14);
  for (int round = 0; round < 500; ++round) {
    std::string name;
    const int length = std::uniform_int_distribution<int>(0, 30)(random);
    for (int i = 0; i < length; ++i)
      name += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];

    std::string expected;
    int replaced = 0;
    for (std::size_t i = 0; i < name.size() && expected.size() < 20;) {
      const unsigned char lead = static_cast<unsigned char>(name[i]);
      const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      unsigned code = bytes == 1 ? lead : lead & (0x7F >> bytes);
      for (std::size_t k = 1; k < bytes; ++k) code = (code << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
      expected.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
      replaced += code > 0xFF;
      i += bytes;
    }

    const THTTrackName encoded = EncodeHTTrackName(name);
    ASSERT_EQ(encoded.Bytes, expected) << name;
    ASSERT_EQ(encoded.Replaced, replaced) << name;
    ASSERT_EQ(HTTrackNameWarning(name).empty(), replaced == 0) << name;
    TGPX doc;
    AddPoint(AddSeg(AddTrack(doc)), 47.5, 8.25);
    ASSERT_EQ(BuildHTFile(doc, name).substr(48, 20), expected + std::string(20 - expected.size(), '\0')) << name;
  }
}

TEST(HTConvert, ProjectsTheExamplePositions) {
  EXPECT_EQ(HTLongitudeToX(0), 0);
  EXPECT_EQ(HTLongitudeToX(8.25), 918422);
  EXPECT_EQ(HTLongitudeToX(180), 20038297);
  EXPECT_EQ(HTLongitudeToX(-180), -20038297);
  EXPECT_EQ(HTLatitudeToY(0), 0);
  EXPECT_EQ(HTLatitudeToY(47.5), 5992655);
  EXPECT_EQ(HTLatitudeToY(-33.9), -3991613);
  EXPECT_THROW(HTLongitudeToX(std::numeric_limits<double>::quiet_NaN()), EHTConvertError);
  EXPECT_THROW(HTLatitudeToY(std::numeric_limits<double>::infinity()), EHTConvertError);
}

TEST(HTConvert, SinglePointKeepsThePreviousBoundsAndOnlyMarkers) {
  TGPX doc;
  AddPoint(AddSeg(AddTrack(doc)), 47.25, 8.5, -0.4);
  // One point has no extent: the bounds already in the document are used.
  doc.metadata.bounds.minlon = 8;
  doc.metadata.bounds.minlat = 47;
  doc.metadata.bounds.maxlon = 9;
  doc.metadata.bounds.maxlat = 48;
  const std::string expected = Hex(std::string() +
      "01 03 000000000000 0004 0000 4E94B0A9"
      "000E704D 005AD0C5 000E704D 005AD0C5"  // start = end
      "000D96DF 005A317D 000F49BB 005CB334"
      "414200000000000000000000000000000000000" "0" +  // "AB" and 18 zero bytes
      kMarkers);
  const std::string bytes = BuildHTFile(doc, "AB");
  ASSERT_EQ(bytes.size(), 131080u);
  EXPECT_EQ(bytes.substr(0, expected.size()), expected);
  EXPECT_EQ(bytes.find_first_not_of('\0', expected.size()), std::string::npos);
}

TEST(HTConvert, LeadingEmptySegmentStartsAtTheFirstPoint) {
  TGPX doc;
  TGPXtrk* track = AddTrack(doc);
  AddSeg(track);
  TGPXtrkseg* seg = AddSeg(track);
  AddPoint(seg, 47.5, 8.25);
  AddPoint(seg, 47.501, 8.252);
  const std::string bytes = BuildHTFile(doc, "x");
  EXPECT_EQ(HTWord(bytes, 8), 5);
  EXPECT_EQ(HTLong(bytes, 16), 918422);
  EXPECT_EQ(HTLong(bytes, 20), 5992655);
  EXPECT_EQ(bytes.substr(68, 6), Hex("00DF 00A4 0000"));
}

TEST(HTConvert, RefusesDocumentsThatWouldCorruptTheFile) {
  TempDir dir("ht-refuse");
  const std::string target = dir / "000.ht";
  WriteFileAtomically(target, "a good file");

  auto expectRefused = [&](TGPX& doc, const std::string& reason) {
    THTConvert convert(&doc, "name", target);
    try {
      convert.ConvertToHT();
      ADD_FAILURE() << "not refused: " << reason;
    } catch (const EHTConvertError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(target), "a good file");
    EXPECT_EQ(dir.FileCount(), 1) << "no temporary file left";
  };

  {  // 19998 points + 3 markers = 20001 entries; one point less fits.
    TGPX doc;
    TGPXtrkseg* seg = AddLine(AddTrack(doc), 19998);
    expectRefused(doc, "20001 entries");
    seg->FreeAndDelete(0);
    EXPECT_EQ(HTWord(BuildHTFile(doc, ""), 8), 20000);
  }
  {  // Steps across segments are checked too: 32767 fits, 32768 does not.
    TGPX doc;
    TGPXtrk* track = AddTrack(doc);
    AddPoint(AddSeg(track), 0, 0);
    TGPXwpt* far = AddPoint(AddSeg(track), 0, 0.29434);  // X 32767
    EXPECT_EQ(BuildHTFile(doc, "").substr(68 + 18, 6), Hex("7FFF 0000 0000"));
    far->Longitude = 0.29435;  // X 32768
    expectRefused(doc, "32768 units apart");
    far->Longitude = -0.29435;
    expectRefused(doc, "32768 units apart");
    far->Longitude = 0;
    far->Latitude = 0.29634;  // Y 32768
    expectRefused(doc, "32768 units apart");
    // A step of exactly (32767, 32767) would look like a segment end.
    far->Longitude = 0.29434;
    far->Latitude = 0.29633;
    expectRefused(doc, "end of a track segment");
  }
  {  // Depths that 16 bits cannot hold.
    TGPX doc;
    TGPXwpt* p = AddPoint(AddSeg(AddTrack(doc)), 47.5, 8.25, 32767.9);
    EXPECT_EQ(BuildHTFile(doc, "").substr(0, 2), Hex("0103"));
    p->HBdepth = -32768.9;
    EXPECT_NO_THROW(BuildHTFile(doc, ""));
    p->HBdepth = 32768;
    expectRefused(doc, "depth of 32768 cm");
    p->HBdepth = std::numeric_limits<double>::quiet_NaN();
    expectRefused(doc, "depth");
    p->HBdepth = 0;
    p->Latitude = 91;
    expectRefused(doc, "not a valid position");
  }
  {  // Nothing to write.
    TGPX empty;
    expectRefused(empty, "no point");
    AddSeg(AddTrack(empty));
    AddTrack(empty);
    expectRefused(empty, "no point");
  }
  THTConvert detached(nullptr, "name", target);
  EXPECT_FALSE(detached.ConvertToHT());
  EXPECT_EQ(ReadFile(target), "a good file");
}

TEST(HTConvert, FileErrorsLeaveNothingBehind) {
  TempDir dir("ht-fileerror");
  TGPX doc;
  BuildLake(doc);
  THTConvert convert(&doc, "name", dir / "missing-folder/000.ht");
  EXPECT_THROW(convert.ConvertToHT(), EFileError);
  EXPECT_EQ(dir.FileCount(), 0);
}

TEST(HTConvert, CountsPointsWithTheAllowance) {
  TGPX doc;
  EXPECT_EQ(CountHTPoints(doc, 9), 0);
  AddLine(AddTrack(doc), 12);
  AddLine(AddTrack(doc), 13);
  EXPECT_EQ(CountHTPoints(doc, 9), 25 + 9 * 2 + 9 * 2);
  TGPXtrk* empty = AddTrack(doc);
  EXPECT_EQ(CountHTPoints(doc, 9), 70);
  AddSeg(empty);
  EXPECT_EQ(CountHTPoints(doc, 9), 79);
  EXPECT_EQ(CountHTPoints(doc, 0), 25);
}

TEST(HTConvert, SegmentOrderFollowsTheMerge) {
  // T0 (a, b), T1 (c, d), T2 (e, f) -> a, b, f, e, d, c.
  TGPX doc;
  std::vector<const TGPXtrkseg*> segs;
  for (int t = 0; t < 3; ++t) {
    TGPXtrk* track = AddTrack(doc);
    segs.push_back(AddSeg(track));
    segs.push_back(AddSeg(track));
  }
  const std::vector<const TGPXtrkseg*> expected{segs[0], segs[1], segs[5], segs[4], segs[3], segs[2]};
  EXPECT_EQ(HTSegmentOrder(doc), expected);
}

}  // namespace
}  // namespace sondralis
