// What the readers keep, leave out and report, checked on small files whose
// written form is known to the byte.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FormatsTestSupport.h"
#include "formats/GPXFile.h"
#include "formats/KMLFile.h"
#include "model/Text.h"

namespace sondralis {
namespace {

using testing::ExpectSameDocument;

struct ReadGpx {
  explicit ReadGpx(const std::string& xml) {
    file.GPXd = &doc;
    std::istringstream in(xml);
    file.ImportGPXStream(in, "lake.gpx");
  }
  TGPX doc;
  TGPXFile file;
};

std::string Write(TGPX& doc) {
  TGPXFile writer;
  writer.GPXd = &doc;
  return writer.ExportGPXText();
}

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
    "<gpx version=\"1.1\" creator=\"\" xmlns=\"http://www.topografix.com/GPX/1/1\"";
const std::string kTail =
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";

// Extensions survive whole (text, comments, CDATA, nested depth elements),
// a depth that is no number stays as written, the depth goes back under the
// file's namespace, negative numbers other than -1 are written, and the
// layout puts links at the left margin, segment extensions at one tab,
// route extension text unchanged and </author> unindented. Written, read
// and written again, the text is the same to the byte.
TEST(GPXFidelity, ExtensionsNumbersNamespaceAndLayoutSurviveARoundTrip) {
  ReadGpx r(
      "<?xml version=\"1.0\"?>\n"
      "<gpx xmlns:h=\"http://humminbird.com\" xmlns:q=\"urn:q\">\n"
      "<metadata><name>M</name><author><name>Ann</name><link href=\"http://a\"/></author></metadata>\n"
      "<rte><name>R</name><link href=\"http://r\"><text>r</text></link><number>-5</number>"
      "<extensions><q:x>1</q:x></extensions><rtept lat=\"1\" lon=\"2\"/></rte>\n"
      "<trk><name>T</name><number>3</number><trkseg>\n"
      "<trkpt lat=\"47.5\" lon=\"8\"><link href=\"http://p\"/><extensions>note <!-- c -->"
      "<![CDATA[<h:depth>9</h:depth>]]><q:a><h:depth>7</h:depth></q:a><h:depth>345</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"47.6\" lon=\"8\"><extensions><h:depth>12,5</h:depth></extensions></trkpt>\n"
      "</trkseg><trkseg><extensions><q:s/></extensions></trkseg></trk>\n"
      "</gpx>\n");
  ASSERT_TRUE(r.file.Loaded);
  const TGPXtrkseg& seg = *r.doc.trk.Tracks(0)->trkseg(0);
  EXPECT_EQ(seg.trkpt(0)->HBdepth, 345);
  EXPECT_EQ(seg.trkpt(1)->HBdepth, 0);
  EXPECT_EQ(seg.DepthNamespace, "http://humminbird.com");
  EXPECT_EQ(r.doc.rte.Routes(0)->number(), -5);

  const std::string written = Write(r.doc);
  EXPECT_EQ(written,
            kHead + " xmlns:h=\"http://humminbird.com\"" + kTail +
                "<metadata>\n"
                "\t<name>M</name>\n"
                "\t<author>\n"
                "\t\t<name>Ann</name>\n"
                "\t\t<link href=\"http://a\">\n"
                "\t\t</link>\n"
                "</author>\n"
                "</metadata>\n"
                "<rte>\n"
                "\t<name>R</name>\n"
                "<link href=\"http://r\">\n"
                "\t<text>r</text>\n"
                "</link>\n"
                "\t<number>-5</number>\n"
                "\t<extensions>\n"
                "<q:x xmlns:q=\"urn:q\">1</q:x>\t</extensions>\n"
                "\t<rtept lat=\"1\" lon=\"2\">\n"
                "\t</rtept>\n"
                "</rte>\n"
                "\n"
                "<trk>\n"
                "\t<name>T</name>\n"
                "\t<number>3</number>\n"
                "\t<trkseg>\n"
                "\t\t<trkpt lat=\"47.5\" lon=\"8\">\n"
                "<link href=\"http://p\">\n"
                "</link>\n"
                "\t\t\t<extensions><h:depth>345</h:depth>note<!-- c --><![CDATA[<h:depth>9</h:depth>]]>"
                "<q:a xmlns:q=\"urn:q\" xmlns:h=\"http://humminbird.com\"><h:depth>7</h:depth></q:a></extensions>\n"
                "\t\t</trkpt>\n"
                "\t\t<trkpt lat=\"47.6\" lon=\"8\">\n"
                "\t\t\t<extensions><h:depth xmlns:h=\"http://humminbird.com\">12,5</h:depth></extensions>\n"
                "\t\t</trkpt>\n"
                "\t</trkseg>\n"
                "\t<trkseg>\n"
                "\t<extensions><q:s xmlns:q=\"urn:q\"/></extensions>\n"
                "\t</trkseg>\n"
                "</trk>\n"
                "\n"
                "</gpx>");

  ReadGpx again(written);
  ASSERT_TRUE(again.file.Loaded);
  ExpectSameDocument(again.doc, r.doc);
  EXPECT_EQ(Write(again.doc), written);
}

// A recording with depths that are no number and points without a usable
// position: the depths read as 0 and are counted, the points are left out
// and counted, each with the first one and its line; the same file in
// UTF-16 gives the same lines.
TEST(GPXFidelity, UnreadableDepthsAndPositionsAreCountedWithTheirFirstLine) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<gpx xmlns:h=\"urn:s\">\n"
      "<trk><trkseg>\n"
      "<trkpt lat=\"47.5\" lon=\"8\"><extensions><h:depth>120</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"47.5\" lon=\"8.1\">\n"
      "  <extensions><h:depth>1234,5</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"47.5\" lon=\"8.2\"><extensions><h:depth>abc</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"47.5\" lon=\"8.3\"><extensions><h:depth>NaN</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"47.5\" lon=\"8.4\"><extensions><h:depth/></extensions></trkpt>\n"
      "<trkpt lat=\"47.5\" lon=\"8.5\"><extensions><h:depth>1e999</h:depth></extensions></trkpt>\n"
      "<trkpt\n lon=\"8\"><extensions><h:depth>5</h:depth></extensions></trkpt>\n"
      "<trkpt lat=\"91\" lon=\"8\"/><trkpt lat=\"47\" lon=\"1e999\"/><trkpt lat=\"47\" lon=\"x\"/>"
      "<trkpt lat=\"-90\" lon=\"-180\"/>\n"
      "</trkseg></trk></gpx>\n";
  ReadGpx r(xml);
  ASSERT_TRUE(r.file.Loaded);
  const TGPXtrkseg& seg = *r.doc.trk.Tracks(0)->trkseg(0);
  ASSERT_EQ(seg.Count(), 7);
  EXPECT_EQ(seg.trkpt(0)->HBdepth, 120);
  for (int i = 1; i < 6; ++i) EXPECT_EQ(seg.trkpt(i)->HBdepth, 0) << i;
  EXPECT_EQ(seg.trkpt(6)->Latitude, -90);
  EXPECT_EQ(r.file.UnreadableDepths.Count, 5);
  EXPECT_EQ(r.file.SkippedPoints.Count, 4);
  const std::vector<std::string> expected = {
      "lake.gpx: 5 depth values could not be read, first at line 6: '1234,5'",
      "lake.gpx: 4 points skipped (latitude or longitude missing, not a number or out of range), "
      "first at line 11: lat missing"};
  EXPECT_EQ(r.file.ReadWarnings(), expected);
  ASSERT_GE(r.file.mLog.size(), 2u);
  EXPECT_EQ(r.file.mLog[r.file.mLog.size() - 2], expected[0]);
  EXPECT_EQ(r.file.mLog.back(), expected[1]);

  std::u16string utf16 = u"\uFEFF" + Utf8ToUtf16(xml);
  std::string bytes;
  for (char16_t c : utf16) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  ReadGpx wide(bytes);
  EXPECT_EQ(wide.file.ReadWarnings(), expected);
}

TEST(GPXFidelity, WriterLeavesOutImpossibleCoordinatesAndNumbers) {
  TGPX doc;
  auto* trk = new TGPXtrk;
  doc.trk.Add(trk);
  auto* seg = new TGPXtrkseg;
  trk->Add(seg);
  for (double lat : {47.0, 90.5, std::numeric_limits<double>::quiet_NaN(), 48.0}) {
    auto* p = new TGPXwpt;
    p->Latitude = lat;
    p->Longitude = lat == 48.0 ? 181 : 8;
    p->Altitude = std::numeric_limits<double>::infinity();  // "1e999" reads as this
    p->Edit().hdop = std::numeric_limits<double>::quiet_NaN();
    seg->Add(p);
  }
  TGPXFile writer;
  writer.GPXd = &doc;
  const std::string text = writer.ExportGPXText();
  EXPECT_EQ(writer.PointsNotWritten, 3);
  EXPECT_NE(text.find("\t\t<trkpt lat=\"47\" lon=\"8\">\n\t\t</trkpt>\n\t</trkseg>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<trkpt", text.find("<trkpt") + 1), std::string::npos) << text;
}

// An impossible metadata date ends the read where the table puts time:
// name, desc and keywords are read, what follows keeps its default.
TEST(GPXFidelity, ImpossibleMetadataTimeLeavesTheFieldsAfterItAtTheirDefaults) {
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  std::istringstream in(
      "<gpx><metadata><name>M</name><keywords>k</keywords><time>2012-02-30T00:00:00Z</time>"
      "<author><name>Ann</name></author><copyright author=\"A\"/><link href=\"http://m\"/>"
      "<bounds minlat=\"1\" minlon=\"2\" maxlat=\"3\" maxlon=\"4\"/></metadata></gpx>");
  EXPECT_THROW(file.ImportGPXStream(in, "lake.gpx"), EConvertError);
  EXPECT_TRUE(doc.metadata.filled);
  EXPECT_EQ(doc.metadata.name, "M");
  EXPECT_EQ(doc.metadata.keywords, "k");
  EXPECT_FALSE(doc.metadata.author.filled);
  EXPECT_FALSE(doc.metadata.copyright.filled);
  EXPECT_FALSE(doc.metadata.link.filled);
  EXPECT_FALSE(doc.metadata.bounds.filled);
}

// Two recordings whose files bind h to different namespaces, and a depth the
// program made: each goes back under its own.
TEST(GPXFidelity, DepthsFromTwoFilesKeepTheirNamespaces) {
  ReadGpx a("<gpx xmlns:h=\"urn:a\"><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><extensions><h:depth>5</h:depth>"
            "</extensions></trkpt></trkseg></trk></gpx>");
  ReadGpx b("<gpx><trk><trkseg xmlns:h=\"urn:b\"><trkpt lat=\"2\" lon=\"2\"><extensions><h:depth>6</h:depth>"
            "</extensions></trkpt></trkseg></trk></gpx>");
  TGPX both;
  both.trk.CopyFrom(a.doc.trk);
  both.trk.CopyFrom(b.doc.trk);
  auto* made = new TGPXtrk;
  made->Add(new TGPXtrkseg);
  auto* p = new TGPXwpt;
  p->Latitude = p->Longitude = 3;
  p->HBdepth = 7;
  made->trkseg(0)->Add(p);
  both.trk.Add(made);
  const std::string text = Write(both);
  EXPECT_NE(text.find(kHead + " xmlns:h=\"urn:a\"" + kTail), std::string::npos) << text;
  EXPECT_NE(text.find("\t<trkseg xmlns:h=\"urn:b\">\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("\t<trkseg xmlns:h=\"") + kDepthNamespaceURI + "\">\n"), std::string::npos) << text;
  ReadGpx back(text);
  ASSERT_EQ(back.doc.trk.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(back.doc.trk.Tracks(i)->trkseg(0)->trkpt(0)->HBdepth, 5 + i);
  EXPECT_EQ(back.doc.trk.Tracks(1)->trkseg(0)->DepthNamespace, "urn:b");
}

struct ReadKml {
  explicit ReadKml(const std::string& xml) {
    file.GPXd = &doc;
    std::istringstream in(xml);
    file.ImportKMLStream(in, "lake.kml");
  }
  TGPX doc;
  TKMLFile file;
};

// A placemark straight below kml loads, coordinates in CDATA split at line
// breaks give their points, and what is passed over is counted: placemarks
// by kind, positions with the first and its line.
TEST(KMLFidelity, PlacemarksAnywhereCdataLineBreaksAndWhatIsLeftOut) {
  ReadKml r(
      "<kml>\n"
      "<Placemark><name>Ramp</name><Point><coordinates>8.5,47.1</coordinates></Point></Placemark>\n"
      "<Document><name>Shore</name><Placemark><LineString><coordinates><![CDATA[\n"
      "  8.5,47.1,0\n8.6,47.2,0\r\n\t8.7,47.3\n]]></coordinates></LineString></Placemark>\n"
      "<Placemark><LineString>\n<coordinates>8.5,47.1 8.6,abc 200,47 8.7,47.3 8.8</coordinates></LineString>"
      "</Placemark>\n"
      "<Placemark><Polygon/></Placemark><Placemark><gx:Track/></Placemark><Placemark><Polygon/></Placemark>\n"
      "</Document></kml>\n");
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.wpt.Count(), 1);
  EXPECT_EQ(r.doc.wpt.WayPoints(0)->name(), "Ramp");
  ASSERT_EQ(r.doc.trk.Count(), 2);
  const TGPXtrkseg& cdata = *r.doc.trk.Tracks(0)->trkseg(0);
  ASSERT_EQ(cdata.Count(), 3);
  EXPECT_EQ(cdata.trkpt(2)->Longitude, 8.7);
  EXPECT_EQ(cdata.trkpt(2)->Latitude, 47.3);
  EXPECT_EQ(r.doc.trk.Tracks(1)->trkseg(0)->Count(), 2);
  const std::vector<std::string> expected = {
      "lake.kml: 3 points skipped (latitude or longitude missing, not a number or out of range), first at line 9: "
      "'8.6,abc'",
      "lake.kml: 3 placemarks not read (Polygon, gx:Track); draw shorelines as paths"};
  EXPECT_EQ(r.file.ReadWarnings(), expected);
  EXPECT_EQ(r.file.SkippedPlacemarks, 3);
}

// Whatever the text, the parser gives only positions on the globe, and every
// token is either a position or counted as left out.
TEST(KMLFidelity, CoordinatesParserKeepsOnlyPositionsOnTheGlobe) {
  std::mt19937_64 random(0x9E3779B97F4A7C15ull);
  auto next = [&] { return random(); };
  const std::vector<std::string> pieces = {"8.5", "-180", "180.0001", "90", "-90.5", "1e999", "nan", "inf", "",
                                           "abc", "1e-300", "+47", "0x10", "47.", ".5", " "};
  const std::string separators[] = {" ", "\n", "\t", "\r\n", ",", ",,"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int tokens = 0;
    for (int t = static_cast<int>(next() % 6); t > 0; --t) {
      std::string token = pieces[next() % pieces.size()] + "," + pieces[next() % pieces.size()];
      if (next() % 2) token += "," + pieces[next() % pieces.size()];
      std::erase(token, ' ');
      text += token + separators[next() % 4];
      ++tokens;
    }
    TSkippedValues skipped;
    const std::vector<TKMLTuple> tuples = ParseKMLCoordinates(text, skipped, 0);
    for (const TKMLTuple& t : tuples) {
      ASSERT_TRUE(std::isfinite(t.lon) && std::isfinite(t.lat) && std::isfinite(t.alt)) << text;
      ASSERT_LE(std::fabs(t.lon), 180) << text;
      ASSERT_LE(std::fabs(t.lat), 90) << text;
    }
    ASSERT_EQ(static_cast<long long>(tuples.size()) + skipped.Count, tokens) << text;
  }
}

// Cases the round trip met on crafted files: white space only a CDATA
// section can hold, an author whose only text is its link's, a prefix the
// file never declared, and text of characters XML cannot carry. Each reads
// back from our file as it was read.
TEST(GPXFidelity, WrittenFilesReadBackAsTheyWereRead) {
  ReadGpx r(
      "<gpx><metadata><author><link href=\"http://a\"><text>t</text></link></author></metadata>"
      "<wpt lat=\"1\" lon=\"2\"><name><![CDATA[ two  blanks\n]]></name><cmt>\x01</cmt>"
      "<extensions><xsi:x/><q:y xmlns:q=\"urn:q\">\x01</q:y></extensions></wpt></gpx>");
  ASSERT_TRUE(r.file.Loaded);
  EXPECT_EQ(r.doc.metadata.author.name, "");
  EXPECT_EQ(r.doc.wpt.WayPoints(0)->name(), " two  blanks\n");
  EXPECT_EQ(r.doc.wpt.WayPoints(0)->extensions(),
            "<xsi:x xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"/><q:y xmlns:q=\"urn:q\"/>");
  const std::string written = Write(r.doc);
  EXPECT_NE(written.find("\t<name><![CDATA[ two  blanks\n]]></name>\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("<cmt>"), std::string::npos) << written;
  ReadGpx again(written);
  EXPECT_EQ(again.doc.wpt.WayPoints(0)->cmt(), "");  // XML cannot carry the character
  r.doc.wpt.WayPoints(0)->Edit().cmt = "";
  ExpectSameDocument(again.doc, r.doc);
  EXPECT_EQ(Write(again.doc), written);

  // Texts on both sides of a route's style element meet once it is taken out.
  ReadGpx styled(
      "<gpx><rte><extensions>a<line xmlns=\"http://www.topografix.com/GPX/gpx_style/0/2\"><color>FF0000</color>"
      "</line>b<q:x xmlns:q=\"urn:q\"/></extensions></rte></gpx>");
  ASSERT_TRUE(styled.file.Loaded);
  EXPECT_EQ(styled.doc.rte.Routes(0)->extensions(), "a b\n<q:x xmlns:q=\"urn:q\"/>");
  const std::string styledText = Write(styled.doc);
  ReadGpx styledAgain(styledText);
  EXPECT_EQ(Write(styledAgain.doc), styledText);

  // Blanks on both sides of a control character XML cannot carry make one.
  ReadGpx controls("<gpx><wpt lat=\"1\" lon=\"2\"><name>a \x10 b</name><extensions>c\t\x03\td</extensions></wpt></gpx>");
  ASSERT_TRUE(controls.file.Loaded);
  EXPECT_EQ(controls.doc.wpt.WayPoints(0)->name(), "a b");
  EXPECT_EQ(controls.doc.wpt.WayPoints(0)->extensions(), "c d");
}

// A file declaring windows-1252 (as many Windows tools write) is read as
// that: every byte of it gives the character the system's iconv gives, in
// text, CDATA and attribute values, whole or in pieces, and the warnings
// say what it was read as; an encoding that is not read is said too.
TEST(GPXFidelity, Windows1252IsReadAsItIsDeclared) {
  std::string bytes;
  for (int c = 0xA0; c <= 0xFF; ++c) bytes.push_back(static_cast<char>(c));
  for (int c = 0x80; c <= 0x9F; ++c)
    if (c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D) bytes.push_back(static_cast<char>(c));
  // The reference: glibc's converter.
  iconv_t cd = ::iconv_open("UTF-8", "WINDOWS-1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string expected(bytes.size() * 3, '\0');
  char* in = bytes.data();
  char* out = expected.data();
  std::size_t inLeft = bytes.size(), outLeft = expected.size();
  ASSERT_NE(::iconv(cd, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1));
  ::iconv_close(cd);
  expected.resize(expected.size() - outLeft);
  ASSERT_NE(expected.find("\u20AC"), std::string::npos);

  const std::string xml = "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\n<gpx><wpt lat=\"47\" lon=\"8\"><name><![CDATA[" +
                          bytes + "]]></name><link href=\"" + bytes + "\"/></wpt><trk><name>" + bytes +
                          "</name><trkseg><trkpt lat=\"47\" lon=\"8\"/></trkseg></trk></gpx>\n";
  for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{40}}) {
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    file.XmlPieceBytes = piece;
    std::istringstream stream(xml);
    file.ImportGPXStream(stream, "lake.gpx");
    ASSERT_TRUE(file.Loaded) << piece;
    EXPECT_EQ(doc.trk.Tracks(0)->name(), expected) << piece;
    EXPECT_EQ(doc.wpt.WayPoints(0)->name(), expected) << piece;
    EXPECT_EQ(std::string(doc.wpt.WayPoints(0)->link().href), expected) << piece;
    EXPECT_EQ(file.ReadWarnings(), std::vector<std::string>{
                                       "lake.gpx: the text was read as Windows-1252, as the file declares "
                                       "(\"Windows-1252\")"});
  }
  // Characters given as references are Unicode, whatever the encoding.
  ReadGpx references("<?xml version=\"1.0\" encoding=\"windows-1252\"?><gpx><trk><name>&#x80;\xFC</name></trk></gpx>");
  EXPECT_EQ(references.doc.trk.Tracks(0)->name(), "\u0080\u00FC");
  ReadGpx other("<?xml version=\"1.0\" encoding=\"koi8-r\"?><gpx><trk><name>x</name></trk></gpx>");
  EXPECT_EQ(other.file.ReadWarnings(),
            std::vector<std::string>{"lake.gpx: the file declares the encoding \"koi8-r\", which is not supported: "
                                     "it was read as UTF-8, so letters outside ASCII may be wrong"});
  ReadGpx plain("<?xml version=\"1.0\" encoding=\"utf-8\"?><gpx><trk><name>x</name></trk></gpx>");
  EXPECT_TRUE(plain.file.ReadWarnings().empty());
}

}  // namespace
}  // namespace sondralis
