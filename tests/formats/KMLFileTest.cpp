#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "FormatsTestSupport.h"
#include "formats/KMLFile.h"
#include "model/DateTime.h"

namespace sondralis {
namespace {

struct ReadKml {
  explicit ReadKml(const std::string& body) {
    file.GPXd = &doc;
    std::istringstream in("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><name>Doc</name>" +
                          body + "</Document></kml>");
    file.ImportKMLStream(in, "test.kml");
  }
  TGPX doc;
  TKMLFile file;
};

TEST(KMLReader, LineStringsBecomeTracksNamedAfterTheirFolder) {
  ReadKml r(
      "<Folder><name>Islands</name>"
      "<Placemark><name>own</name><LineString><coordinates>\n  8.5,47.1,0 8.6,47.2,0\n\t8.7,47.3,0\n"
      "</coordinates></LineString></Placemark>"
      "<Placemark><LineString><coordinates>8.5,47.1 8.6,47.2</coordinates></LineString></Placemark>"
      "</Folder>");
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.trk.Count(), 2);
  EXPECT_TRUE(r.doc.trk.filled);
  const TGPXtrk& t0 = *r.doc.trk.Tracks(0);
  EXPECT_EQ(t0.name(), "Islands");
  EXPECT_EQ(r.doc.trk.Tracks(1)->name(), "Islands");
  ASSERT_EQ(t0.Count(), 1);
  const TGPXtrkseg& seg = *t0.trkseg(0);
  ASSERT_EQ(seg.Count(), 3);
  EXPECT_TRUE(seg.filled);
  EXPECT_EQ(seg.trkpt(0)->Longitude, 8.5);
  EXPECT_EQ(seg.trkpt(0)->Latitude, 47.1);
  EXPECT_EQ(seg.trkpt(2)->Latitude, 47.3);
  const TGPXtrkseg& two = *r.doc.trk.Tracks(1)->trkseg(0);
  ASSERT_EQ(two.Count(), 2);
  EXPECT_EQ(two.trkpt(1)->Longitude, 8.6);
  EXPECT_EQ(two.trkpt(1)->Altitude, 0);
  EXPECT_EQ(two.trkpt(1)->HBdepth, 0);
  EXPECT_EQ(r.doc.wpt.Count(), 0);
}

TEST(KMLReader, SingleTupleBecomesAWaypointAndPolygonsAreSkipped) {
  ReadKml r(
      "<Folder><name>Buoys</name><Placemark><LineString><coordinates>8.5,47.1,3</coordinates></LineString>"
      "</Placemark><Placemark><Polygon><outerBoundaryIs><LinearRing><coordinates>1,2 3,4 5,6 1,2"
      "</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>"
      "<Placemark><LineString><coordinates>nonsense here</coordinates></LineString></Placemark></Folder>");
  ASSERT_TRUE(r.file.Loaded);
  EXPECT_EQ(r.doc.trk.Count(), 0);
  ASSERT_EQ(r.doc.wpt.Count(), 1);
  const TGPXwpt& p = *r.doc.wpt.WayPoints(0);
  EXPECT_EQ(p.name(), "Buoys");
  EXPECT_EQ(p.Longitude, 8.5);
  EXPECT_EQ(p.Altitude, 3);
  EXPECT_TRUE(r.doc.wpt.filled);
}

TEST(KMLReader, PointPlacemarks) {
  ReadKml r(
      "<Placemark><name>Harbour</name><Snippet><![CDATA[Line one<BR/>Line two]]></Snippet>"
      "<TimeStamp><when>2012-06-16T09:45:23Z</when></TimeStamp>"
      "<Point><coordinates> 8.5 , 47.25 , 406 </coordinates></Point></Placemark>"
      "<Placemark><name>x</name><Point><coordinates>8.5,oops</coordinates></Point></Placemark>"
      "<Placemark><name>none</name><Point><coordinates>8.5</coordinates></Point></Placemark>");
  ASSERT_EQ(r.doc.wpt.Count(), 1);  // the two without a position are left out
  EXPECT_EQ(r.file.SkippedPoints.Count, 2);
  const TGPXwpt& p = *r.doc.wpt.WayPoints(0);
  EXPECT_EQ(p.name(), "Harbour");
  EXPECT_EQ(p.desc(), "Line one\r\nLine two");
  EXPECT_EQ(p.Longitude, 8.5);
  EXPECT_EQ(p.Latitude, 47.25);
  EXPECT_EQ(p.Altitude, 406);
  EXPECT_EQ(p.DateTime, ComposeDateTime(EncodeDate(2012, 6, 16), EncodeTime(9, 45, 23, 0)));
}

TEST(KMLReader, UnreadableFilesAddNothing) {
  for (const std::string& text : {std::string("<kml><Document><Placemark>"), std::string("<gpx/>"), std::string()}) {
    TGPX doc;
    TKMLFile file;
    file.GPXd = &doc;
    std::istringstream in(text);
    file.ImportKMLStream(in, "bad.kml");
    EXPECT_FALSE(file.Loaded);
    EXPECT_EQ(doc.wpt.Count() + doc.trk.Count(), 0);
    ASSERT_FALSE(file.mLog.empty());
  }
  TGPX doc;
  TKMLFile file;
  file.GPXd = &doc;
  std::istringstream in("<kml><a></b></kml>");
  file.ImportKMLStream(in, "broken.kml");
  ASSERT_EQ(file.mLog.size(), 1u);
  // The parser's message, then the position it carries.
  EXPECT_EQ(file.mLog[0].back(), '.');
  EXPECT_NE(file.mLog[0].find(" ("), std::string::npos);
}

}  // namespace
}  // namespace sondralis

namespace sondralis {
namespace {

TEST(KMLReaderRobustness, DeeplyNestedFoldersLoadWithoutRecursion) {
  constexpr int kDepth = 200000;
  std::string body;
  for (int i = 0; i < kDepth; ++i) body += "<Folder>";
  body += "<name>Deep</name><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark>";
  for (int i = 0; i < kDepth; ++i) body += "</Folder>";
  ReadKml r(body);
  ASSERT_TRUE(r.file.Loaded);
  ASSERT_EQ(r.doc.trk.Count(), 1);
  EXPECT_EQ(r.doc.trk.Tracks(0)->name(), "Deep");
}

}  // namespace
}  // namespace sondralis
