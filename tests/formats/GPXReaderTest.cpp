#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "FormatsTestSupport.h"
#include "formats/GPXFile.h"
#include "model/DateTime.h"

namespace sondralis {
namespace {

using testing::ExpectSameDocument;
using testing::TestDataDir;
using testing::TempDir;
using testing::WriteFileBytes;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

// Reads GPX text into a fresh document.
struct Read {
  explicit Read(const std::string& xml) {
    file.GPXd = &doc;
    std::istringstream in(xml);
    file.ImportGPXStream(in, "test.gpx");
  }
  TGPX doc;
  TGPXFile file;
};

TEST(GPXReader, HumminbirdDepthAndCapitalisedNames) {
  Read r(
      "<?xml version=\"1.0\"?><GPX xmlns:h=\"urn:h\"><TRK><Name>T</Name><TrkSeg>"
      "<TRKPT LAT=\"47.25\" Lon=\"8.6\"><Extensions><H:Depth>345</H:Depth></Extensions></TRKPT>"
      "<trkpt lat=\"47.26\" lon=\"8.61\"><ele>432.5</ele></trkpt>"
      "<trkpt lat=\"1\" lon=\"2\"><extensions><depth>99</depth><h:depth>351.5</h:depth>"
      "<x:o xmlns:x=\"urn:x\">1</x:o></extensions></trkpt>"
      "</TrkSeg></TRK><Wpt lat=\"1\" lon=\"2\"/><RTE><rtept lat=\"3\" lon=\"4\"/></RTE></GPX>");
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.trk.Count(), 1);
  const TGPXtrkseg& seg = *r.doc.trk.Tracks(0)->trkseg(0);
  ASSERT_EQ(seg.Count(), 3);
  EXPECT_EQ(r.doc.trk.Tracks(0)->name(), "T");
  EXPECT_EQ(seg.trkpt(0)->Latitude, 47.25);
  EXPECT_EQ(seg.trkpt(0)->Longitude, 8.6);
  EXPECT_EQ(seg.trkpt(0)->HBdepth, 345);
  EXPECT_EQ(seg.trkpt(1)->HBdepth, 0);
  EXPECT_EQ(seg.trkpt(1)->Altitude, 432.5);
  EXPECT_EQ(seg.trkpt(2)->HBdepth, 351.5);
  // The depth travels in HBdepth; the other extension elements stay as XML.
  EXPECT_EQ(seg.trkpt(0)->extensions(), "");
  EXPECT_EQ(seg.trkpt(2)->extensions(), "<depth>99</depth><x:o xmlns:x=\"urn:x\">1</x:o>");
  EXPECT_TRUE(seg.filled);
  EXPECT_EQ(r.doc.wpt.Count(), 1);
  EXPECT_TRUE(r.doc.wpt.filled);
  ASSERT_EQ(r.doc.rte.Count(), 1);
  EXPECT_EQ(r.doc.rte.Routes(0)->Count(), 1);
  EXPECT_TRUE(r.doc.rte.filled && r.doc.trk.filled);
  ASSERT_FALSE(r.file.mLog.empty());
  EXPECT_NE(r.file.mLog.back().find("1 waypoints"), std::string::npos) << r.file.mLog.back();
  EXPECT_NE(r.file.mLog.back().find("3 track points"), std::string::npos);
}

TEST(GPXReader, PointFieldsAndTheirDefaults) {
  Read r(
      "<gpx><wpt lat=\"-33.5\" lon=\"151.25\"><ele>12</ele><time>2012-06-16T09:45:23Z</time>"
      "<magvar>3.5</magvar><geoidheight>48</geoidheight><name> A  &amp; B </name><cmt>c</cmt><desc>d</desc>"
      "<src>s</src><link href=\"http://x/?a=1&amp;b=2\"><text>t</text><type>text/html</type></link>"
      "<sym>Flag</sym><type>ty</type><fix>DGPS</fix><sat>12</sat><hdop>1.5</hdop><vdop>2</vdop>"
      "<pdop>2.5</pdop><ageofdgpsdata>7</ageofdgpsdata><dgpsid>1023</dgpsid></wpt>"
      "<wpt lat=\"0\" lon=\"0\"><ele>high</ele><sat>many</sat><hdop/></wpt><wpt lat=\"0\" lon=\"0\"/></gpx>");
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.wpt.Count(), 3);
  const TGPXwpt& p = *r.doc.wpt.WayPoints(0);
  EXPECT_EQ(p.Latitude, -33.5);
  EXPECT_EQ(p.Longitude, 151.25);
  EXPECT_EQ(p.Altitude, 12);
  EXPECT_EQ(p.DateTime, At(2012, 6, 16, 9, 45, 23));
  EXPECT_EQ(p.magvar(), 3.5);
  EXPECT_EQ(p.geoidheight(), 48);
  EXPECT_EQ(p.name(), "A & B");
  EXPECT_EQ(p.cmt(), "c");
  EXPECT_EQ(p.desc(), "d");
  EXPECT_EQ(p.src(), "s");
  EXPECT_TRUE(p.link().filled);
  EXPECT_EQ(p.link().href, "http://x/?a=1&b=2");
  EXPECT_EQ(p.link().text, "t");
  EXPECT_EQ(p.link().ltype, "text/html");
  EXPECT_EQ(p.sym(), "Flag");
  EXPECT_EQ(p.wtype(), "ty");
  EXPECT_EQ(p.fix(), "dgps");
  EXPECT_EQ(p.sat(), 12);
  EXPECT_EQ(p.hdop(), 1.5);
  EXPECT_EQ(p.vdop(), 2);
  EXPECT_EQ(p.pdop(), 2.5);
  EXPECT_EQ(p.ageofdgpsdata(), 7);
  EXPECT_EQ(p.dgpsid(), 1023);
  for (int i = 1; i < 3; ++i) {
    const TGPXwpt& q = *r.doc.wpt.WayPoints(i);
    EXPECT_EQ(q.Latitude, 0);
    EXPECT_EQ(q.Altitude, 0);
    EXPECT_EQ(q.sat(), 255);
    EXPECT_EQ(q.hdop(), -1);
    EXPECT_EQ(q.dgpsid(), -1);
    EXPECT_FALSE(q.link().filled);
  }
}

TEST(GPXReader, RoutesAndTracksWithStylesAndExtensions) {
  Read r(
      "<gpx><rte><desc>Lake Tour</desc><number>4</number><type>boat</type>"
      "<extensions><other/><line><color>00FF00</color></line></extensions>"
      "<extensions><line xmlns=\"http://www.topografix.com/GPX/gpx_style/0/2\"><color>FF0000</color>"
      "<opacity>0.5</opacity></line><x>1</x></extensions></rte>"
      "<trk><name>N</name><extensions><Line><color>0000FF</color></Line><a/><b>2</b></extensions>"
      "<trkseg><extensions><s:x xmlns:s=\"urn:s\"/></extensions></trkseg><trkseg/></trk></gpx>");
  ASSERT_TRUE(r.file.Loaded);
  const TGPXrte& route = *r.doc.rte.Routes(0);
  EXPECT_EQ(route.name(), "Lake Tour");
  EXPECT_EQ(route.number(), 4);
  EXPECT_EQ(route.rtype(), "boat");
  EXPECT_EQ(route.LineStyle().Color(), 255u);
  EXPECT_EQ(route.LineStyle().Opacity(), 0.5);
  EXPECT_EQ(route.extensions(), "<x>1</x>");
  const TGPXtrk& track = *r.doc.trk.Tracks(0);
  EXPECT_EQ(track.number(), -1);
  EXPECT_TRUE(track.LineStyle().IsDefaultColor());  // "Line" is not the style element
  EXPECT_EQ(track.extensions(), "<Line><color>0000FF</color></Line>\n<a/>\n<b>2</b>");
  ASSERT_EQ(track.Count(), 2);
  EXPECT_EQ(track.trkseg(0)->extensions, "<s:x xmlns:s=\"urn:s\"/>");
  EXPECT_FALSE(track.trkseg(1)->filled);
}

TEST(GPXReader, MetadataAndDocumentExtensions) {
  Read r(
      "<gpx><metadata><name>M</name><desc>D</desc><author><name>Ann</name>"
      "<email><id>ann</id><domain>example.org</domain></email><link href=\"http://a\"/></author>"
      "<copyright author=\"Ann &amp; Bob\"><year>2012</year><license>http://l</license></copyright>"
      "<link href=\"http://m\"><text>home</text></link><time>2012-06-16T09:45:23Z</time>"
      "<keywords>k</keywords><bounds minlat=\"1\" minlon=\"2\" maxlat=\"3\" maxlon=\"4\"/>"
      "<extensions><e:a xmlns:e=\"urn:e\"/></extensions></metadata>"
      "<extensions><extensions/></extensions><extensions><z:q xmlns:z=\"urn:z\">1</z:q></extensions></gpx>");
  ASSERT_TRUE(r.file.Loaded);
  const TGPXmetadata& m = r.doc.metadata;
  EXPECT_TRUE(m.filled);
  EXPECT_EQ(m.name, "M");
  EXPECT_EQ(m.desc, "D");
  EXPECT_TRUE(m.author.filled);
  EXPECT_EQ(m.author.name, "Ann");
  EXPECT_TRUE(m.author.email.filled);
  EXPECT_EQ(m.author.email.id, "ann");
  EXPECT_EQ(m.author.email.domain, "example.org");
  EXPECT_EQ(m.author.link.href, "http://a");
  EXPECT_TRUE(m.copyright.filled);
  EXPECT_EQ(m.copyright.author, "Ann & Bob");
  EXPECT_EQ(m.copyright.year, 2012);
  EXPECT_EQ(m.copyright.license, "http://l");
  EXPECT_EQ(m.link.href, "http://m");
  EXPECT_EQ(m.link.text, "home");
  EXPECT_EQ(m.mtime, At(2012, 6, 16, 9, 45, 23));
  EXPECT_EQ(m.keywords, "k");
  EXPECT_TRUE(m.bounds.filled);
  EXPECT_EQ(m.bounds.maxlon, 4);
  EXPECT_EQ(m.extensions, "<e:a xmlns:e=\"urn:e\"/>");
  EXPECT_EQ(r.doc.extension.Text, "<z:q xmlns:z=\"urn:z\">1</z:q>");

  // The GPX 1.1 form of the e-mail address, and a person without a name
  // element taking the person's whole text.
  Read v11("<gpx><metadata><author>Someone<email id=\"x\" domain=\"y.z\"/></author><bounds/></metadata></gpx>");
  EXPECT_EQ(v11.doc.metadata.author.email.id, "x");
  EXPECT_EQ(v11.doc.metadata.author.email.domain, "y.z");
  EXPECT_EQ(v11.doc.metadata.author.name, "Someone");
  EXPECT_FALSE(v11.doc.metadata.bounds.filled);
}

TEST(GPXReader, NotGpxOrBrokenLeavesTheDocumentUntouched) {
  for (const std::string& text :
       {std::string(), std::string("\x7f\x45\x4c\x46\x02\x01\x01\x00 binary"), std::string("<kml><Document/></kml>"),
        std::string("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"></trkpt><trkpt"),
        std::string("<?xml version=\"1.1\"?><gpx><wpt/></gpx>")}) {
    TGPX doc;
    doc.creator = "kept";
    TGPXFile file;
    file.GPXd = &doc;
    std::istringstream in(text);
    file.ImportGPXStream(in, "bad.gpx");
    EXPECT_FALSE(file.Loaded);
    EXPECT_EQ(doc.wpt.Count() + doc.trk.Count() + doc.rte.Count(), 0);
    EXPECT_FALSE(doc.metadata.filled);
    ASSERT_FALSE(file.mLog.empty());
    EXPECT_EQ(file.mLog.back(), "File not loaded");
  }
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  file.ImportGPXFile("/nonexistent/file.gpx");
  EXPECT_FALSE(file.Loaded);
  ASSERT_GE(file.mLog.size(), 2u);
  EXPECT_NE(file.mLog[0].find("/nonexistent/file.gpx"), std::string::npos);
}

TEST(GPXReader, ImpossibleDateStopsTheReadNamingFileAndText) {
  TempDir dir("gpxdate");
  const auto path = (dir / "bad-date.gpx").string();
  WriteFileBytes(dir / "bad-date.gpx",
                 "<gpx><wpt lat=\"1\" lon=\"2\"/><trk><trkseg><trkpt lat=\"3\" lon=\"4\"><ele>5</ele>"
                 "<time>2012-02-30T10:00:00Z</time></trkpt><trkpt lat=\"5\" lon=\"6\"/></trkseg></trk></gpx>");
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  try {
    file.ImportGPXFile(path);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(path), std::string::npos) << msg;
    EXPECT_NE(msg.find("2012-02-30T10:00:00Z"), std::string::npos) << msg;
  }
  EXPECT_FALSE(file.Loaded);
  // What was read up to the error, the point being read included, stays.
  EXPECT_EQ(doc.wpt.Count(), 1);
  ASSERT_EQ(doc.trk.Count(), 1);
  ASSERT_EQ(doc.trk.Tracks(0)->trkseg(0)->Count(), 1);
  EXPECT_EQ(doc.trk.Tracks(0)->trkseg(0)->trkpt(0)->Latitude, 3);
}

TEST(GPXReader, FiveEncodingsReadIntoIdenticalDocuments) {
  TGPX reference;
  bool first = true;
  for (const char* name : {"utf8.gpx", "utf8-bom.gpx", "utf16le-bom.gpx", "utf16be-bom.gpx", "latin1.gpx"}) {
    SCOPED_TRACE(name);
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    file.ImportGPXFile((TestDataDir() / "encodings" / name).string());
    ASSERT_TRUE(file.Loaded);
    ASSERT_EQ(doc.trk.Count(), 1);
    EXPECT_EQ(doc.trk.Tracks(0)->name(), "Z\xC3\xBCrichsee S\xC3\xBC""d\xC3\xA9 Ufer");
    const TGPXtrkseg& seg = *doc.trk.Tracks(0)->trkseg(0);
    ASSERT_EQ(seg.Count(), 2);
    EXPECT_EQ(seg.trkpt(0)->HBdepth, 345);
    EXPECT_EQ(seg.trkpt(1)->HBdepth, 351.5);
    if (first) {
      reference.CopyFrom(doc);
      first = false;
    } else {
      ExpectSameDocument(doc, reference);
    }
  }
}

}  // namespace
}  // namespace sondralis

namespace sondralis {
namespace {

TEST(GPXReaderRobustness, DeeplyNestedExtensionsLoadWithoutRecursion) {
  constexpr int kDepth = 200000;
  std::string xml = "<gpx xmlns:q=\"urn:q\"><wpt lat=\"1\" lon=\"2\"><extensions>";
  for (int i = 0; i < kDepth; ++i) xml += "<q:a>";
  for (int i = 0; i < kDepth; ++i) xml += "</q:a>";
  xml += "<h:depth>12</h:depth></extensions></wpt></gpx>";
  Read r(xml);
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.wpt.Count(), 1);
  const TGPXwpt& p = *r.doc.wpt.WayPoints(0);
  EXPECT_EQ(p.HBdepth, 12);
  EXPECT_EQ(p.extensions().substr(0, 30), "<q:a xmlns:q=\"urn:q\"><q:a><q:a");
  // Written and read again, the nesting survives too.
  TGPXFile writer;
  writer.GPXd = &r.doc;
  Read again(writer.ExportGPXText());
  ASSERT_TRUE(again.file.Loaded);
  EXPECT_EQ(again.doc.wpt.WayPoints(0)->extensions(), p.extensions());
  EXPECT_EQ(again.doc.wpt.WayPoints(0)->HBdepth, 12);
}

}  // namespace
}  // namespace sondralis
