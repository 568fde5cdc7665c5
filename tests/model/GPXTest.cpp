#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "formats/FormatsTestSupport.h"
#include "model/GPX.h"

namespace sondralis {
namespace {

TGPXwpt* NewWpt(double lat, double lon, double depth = 0) {
  auto* p = new TGPXwpt;
  p->Latitude = lat;
  p->Longitude = lon;
  p->HBdepth = depth;
  return p;
}

TGPXtrk* NewTrack(const std::string& name, std::initializer_list<std::initializer_list<std::pair<double, double>>> segs) {
  auto* trk = new TGPXtrk;
  trk->Edit().name = name;
  for (const auto& points : segs) {
    auto* seg = new TGPXtrkseg;
    for (auto [lat, lon] : points) seg->Add(NewWpt(lat, lon, 100));
    trk->Add(seg);
  }
  return trk;
}

// A document with something in every part: waypoints, routes with links and
// styles, tracks with segments, metadata, extensions.
void Fill(TGPX& doc) {
  doc.creator = "test";
  doc.metadata.name = "Lake";
  doc.metadata.author.name = "Ann";
  doc.metadata.author.email.id = "ann";
  doc.metadata.author.link.href = "http://example.com/ann";
  doc.metadata.copyright.year = 2012;
  doc.metadata.filled = true;
  doc.extension.Text = "<x>1</x>";
  auto* w = NewWpt(46.0, 8.0);
  w->Edit().name = "Buoy";
  w->Edit().link.href = "http://example.com/buoy";
  w->Edit().link.filled = true;
  w->Edit().extensions = "<h:depth>345</h:depth>";
  doc.wpt.Add(w);
  doc.wpt.filled = true;
  auto* r = new TGPXrte;
  r->Edit().name = "Route";
  r->Edit().link.text = "route link";
  r->Edit().LineStyle.SetColorStr("FF0000");
  r->Add(NewWpt(46.1, 8.1));
  r->Add(NewWpt(46.2, 8.2));
  doc.rte.Add(r);
  doc.rte.filled = true;
  doc.trk.Add(NewTrack("T1", {{{46.0, 8.0}, {46.01, 8.01}}, {}, {{46.02, 8.02}}}));
  doc.trk.filled = true;
}

TEST(GPXTree, Defaults) {
  TGPXwpt w;
  EXPECT_EQ(w.sat(), 255);
  EXPECT_EQ(w.dgpsid(), -1);
  EXPECT_EQ(w.hdop(), -1);
  EXPECT_EQ(w.vdop(), -1);
  EXPECT_EQ(w.pdop(), -1);
  EXPECT_EQ(w.ageofdgpsdata(), -1);
  EXPECT_TRUE(w.enabled);
  EXPECT_TRUE(w.name().empty());
  TGPXrte r;
  EXPECT_EQ(r.number(), -1);
  EXPECT_TRUE(r.Enabled());
  EXPECT_TRUE(r.LineStyle().IsDefaultColor());
  TGPXtrk t;
  EXPECT_EQ(t.number(), -1);
  EXPECT_TRUE(t.enabled());
  TGPXcopyright c;
  EXPECT_EQ(c.year, -1);
  TGPX doc;
  EXPECT_TRUE(doc.enabled());
  EXPECT_EQ(doc.Selection.Parent, &doc);
  EXPECT_TRUE(doc.wpt.Enabled());
}

TEST(GPXTree, CopyIntoNewDocumentIsIndependent) {
  TGPX a;
  Fill(a);
  TGPX b;
  b.CopyFrom(a);
  ASSERT_EQ(b.trk.Count(), 1);
  ASSERT_EQ(b.trk.Tracks(0)->Count(), 3);
  EXPECT_NE(b.trk.Tracks(0), a.trk.Tracks(0));
  EXPECT_NE(b.trk.Tracks(0)->trkseg(0)->trkpt(0), a.trk.Tracks(0)->trkseg(0)->trkpt(0));
  EXPECT_EQ(b.trk.Tracks(0)->trkseg(0)->trkpt(1)->Latitude, 46.01);
  EXPECT_EQ(b.trk.Tracks(0)->trkseg(0)->trkpt(1)->HBdepth, 100);
  EXPECT_EQ(b.wpt.WayPoints(0)->extensions(), "<h:depth>345</h:depth>");
  EXPECT_EQ(b.wpt.WayPoints(0)->link().href, "http://example.com/buoy");
  EXPECT_EQ(b.rte.Routes(0)->LineStyle().ColorStr(), "FF0000");
  EXPECT_EQ(b.rte.Routes(0)->link().text, "route link");
  EXPECT_EQ(b.metadata.author.link.href, "http://example.com/ann");
  EXPECT_EQ(b.metadata.copyright.year, 2012);
  EXPECT_EQ(b.extension.Text, "<x>1</x>");
  EXPECT_TRUE(b.trk.filled);

  // Changing the copy leaves the source alone.
  b.wpt.WayPoints(0)->Edit().name = "changed";
  b.trk.Tracks(0)->trkseg(0)->trkpt(0)->HBdepth = 7;
  EXPECT_EQ(a.wpt.WayPoints(0)->name(), "Buoy");
  EXPECT_EQ(a.trk.Tracks(0)->trkseg(0)->trkpt(0)->HBdepth, 100);
}

TEST(GPXTree, CopyIntoFilledDocumentAppendsItemsButReplacesMetadata) {
  TGPX src;
  Fill(src);
  TGPX dst;
  dst.metadata.name = "Old";
  dst.metadata.keywords = "old words";
  dst.trk.Add(NewTrack("Old track", {{{1, 1}, {2, 2}}}));
  dst.wpt.Add(NewWpt(5, 5));
  int marker = 0;
  dst.Selection.Add(&marker);

  dst.CopyFrom(src);
  EXPECT_EQ(dst.metadata.name, "Lake");
  EXPECT_EQ(dst.metadata.keywords, "") << "metadata is replaced as a whole";
  ASSERT_EQ(dst.trk.Count(), 2);
  EXPECT_EQ(dst.trk.Tracks(0)->name(), "Old track");
  EXPECT_EQ(dst.trk.Tracks(1)->name(), "T1");
  EXPECT_EQ(dst.wpt.Count(), 2);
  EXPECT_EQ(dst.rte.Count(), 1);
  EXPECT_EQ(dst.Selection.Count(), 0) << "nothing selected is carried over";
}

TEST(GPXTree, RouteAndSegmentCopiesReplacePointsTrackCopyAppendsSegments) {
  TGPXrte src;
  src.Add(NewWpt(1, 1));
  src.Add(NewWpt(2, 2));
  TGPXrte dst;
  dst.Add(NewWpt(9, 9));
  dst.CopyFrom(src);
  ASSERT_EQ(dst.Count(), 2);
  EXPECT_EQ(dst.rtept(0)->Latitude, 1);

  TGPXtrkseg segSrc;
  segSrc.extensions = "<e/>";
  segSrc.Add(NewWpt(1, 1));
  segSrc.Add(NewWpt(2, 2));
  TGPXtrkseg seg;
  seg.Add(NewWpt(9, 9));
  seg.CopyFrom(segSrc);
  ASSERT_EQ(seg.Count(), 2);
  EXPECT_EQ(seg.trkpt(0)->Latitude, 1);
  EXPECT_EQ(seg.extensions, "<e/>");

  std::unique_ptr<TGPXtrk> a(NewTrack("A", {{{1, 1}}}));
  std::unique_ptr<TGPXtrk> b(NewTrack("B", {{{2, 2}}, {{3, 3}}}));
  a->CopyFrom(*b);
  EXPECT_EQ(a->name(), "B");
  ASSERT_EQ(a->Count(), 3);
  EXPECT_EQ(a->trkseg(0)->trkpt(0)->Latitude, 1);
  EXPECT_EQ(a->trkseg(2)->trkpt(0)->Latitude, 3);

  // Copying a list into itself appends one copy and terminates.
  TGPXwptList self;
  self.Add(NewWpt(1, 1));
  self.AppendCopies(self);
  EXPECT_EQ(self.Count(), 2);
}

// Every rare field of a point, given a value other than its default (the
// seed varies them), and the route and track fields likewise.
void SetAllDetails(TGPXwpt& p, int seed) {
  TGPXwptDetails& d = p.Edit();
  d.magvar = 1.5 + seed;
  d.geoidheight = 48 + seed;
  d.name = "name " + std::to_string(seed);
  d.cmt = "cmt";
  d.desc = "desc";
  d.src = "src";
  d.link.href = "http://example.com/" + std::to_string(seed);
  d.link.text = "text";
  d.link.ltype = "text/html";
  d.link.filled = true;
  d.sym = "Flag";
  d.wtype = "type";
  d.fix = "dgps";
  d.sat = static_cast<std::uint8_t>(seed % 200);
  d.hdop = 1.25;
  d.vdop = 2.5;
  d.pdop = 3.75;
  d.ageofdgpsdata = 4 + seed;
  d.dgpsid = 1000 + seed;
  d.extensions = "<x:e xmlns:x=\"urn:x\">" + std::to_string(seed) + "</x:e>";
}

void SetAllDetails(TGPXrouteFields& r, int seed) {
  TGPXrouteDetails& d = r.Edit();
  d.name = "route " + std::to_string(seed);
  d.cmt = "c";
  d.desc = "d";
  d.src = "s";
  d.link.href = "http://example.com/r";
  d.link.filled = true;
  d.number = seed;
  d.type = "boat";
  d.extensions = "<y/>";
  d.LineStyle.SetColorStr("00FF00");
  d.LineStyle.SetOpacity(0.5);
}

void ExpectSameDetails(const TGPXrouteFields& a, const TGPXrouteFields& b) {
  EXPECT_EQ(a.name(), b.name());
  EXPECT_EQ(a.cmt(), b.cmt());
  EXPECT_EQ(a.desc(), b.desc());
  EXPECT_EQ(a.src(), b.src());
  testing::ExpectSameLink(a.link(), b.link(), "route or track");
  EXPECT_EQ(a.number(), b.number());
  EXPECT_EQ(a.Details().type, b.Details().type);
  EXPECT_EQ(a.extensions(), b.extensions());
  EXPECT_EQ(a.LineStyle().Color(), b.LineStyle().Color());
  EXPECT_EQ(a.LineStyle().Opacity(), b.LineStyle().Opacity());
}

// Deep copies, appends, replacements and moves keep every field of every
// point, route and track, and copies share nothing with their source.
TEST(GPXTree, EveryRareFieldSurvivesEveryCopy) {
  std::mt19937 random(7);
  TGPX src;
  Fill(src);
  // Points with and without details, in every kind of list.
  auto dress = [&](TGPXwptList& list) {
    for (int i = 0; i < 6; ++i) {
      TGPXwpt* p = list.NewPoint();
      p->Latitude = 46 + i * 0.01;
      p->Longitude = 8 + i * 0.01;
      p->HBdepth = 100 + i;
      if (random() % 2) SetAllDetails(*p, static_cast<int>(random() % 1000));
    }
  };
  dress(src.wpt);
  dress(*src.rte.Routes(0));
  SetAllDetails(*src.rte.Routes(0), 3);
  dress(*src.trk.Tracks(0)->trkseg(1));
  SetAllDetails(*src.trk.Tracks(0), 4);

  auto expectSameDocument = [](const TGPX& a, const TGPX& b) {
    testing::ExpectSameDocument(a, b);
    for (int r = 0; r < a.rte.Count(); ++r) ExpectSameDetails(*a.rte.Routes(r), *b.rte.Routes(r));
    for (int t = 0; t < a.trk.Count(); ++t) ExpectSameDetails(*a.trk.Tracks(t), *b.trk.Tracks(t));
  };

  // A deep copy into an empty document.
  TGPX copy;
  copy.CopyFrom(src);
  expectSameDocument(copy, src);
  // Changing the copy's details leaves the source's alone.
  copy.wpt.WayPoints(copy.wpt.Count() - 1)->Edit().name = "changed";
  copy.rte.Routes(0)->Edit().name = "changed";
  EXPECT_NE(src.wpt.WayPoints(src.wpt.Count() - 1)->name(), "changed");
  EXPECT_NE(src.rte.Routes(0)->name(), "changed");

  // Appending to a filled document keeps what is there and adds copies.
  TGPX filled;
  filled.CopyFrom(src);
  filled.CopyFrom(src);
  ASSERT_EQ(filled.trk.Count(), 2 * src.trk.Count());
  ASSERT_EQ(filled.wpt.Count(), 2 * src.wpt.Count());
  for (int i = 0; i < src.wpt.Count(); ++i) {
    testing::ExpectSamePoint(*filled.wpt.WayPoints(i + src.wpt.Count()), *src.wpt.WayPoints(i), "appended");
    testing::ExpectSamePoint(*filled.wpt.WayPoints(i), *src.wpt.WayPoints(i), "kept");
  }
  ExpectSameDetails(*filled.trk.Tracks(1), *src.trk.Tracks(0));

  // A route or segment copied onto one with other points and details ends
  // up as the source; a copy from a point without details clears them.
  TGPXrte route;
  SetAllDetails(route, 99);
  SetAllDetails(*route.NewPoint(), 99);
  route.CopyFrom(*src.rte.Routes(0));
  ExpectSameDetails(route, *src.rte.Routes(0));
  testing::ExpectSamePoints(route, *src.rte.Routes(0), "replaced route");
  TGPXtrkseg seg;
  SetAllDetails(*seg.NewPoint(), 98);
  seg.CopyFrom(*src.trk.Tracks(0)->trkseg(1));
  testing::ExpectSamePoints(seg, *src.trk.Tracks(0)->trkseg(1), "replaced segment");
  TGPXwpt plain, dressed;
  SetAllDetails(dressed, 5);
  dressed.CopyFrom(plain);
  EXPECT_FALSE(dressed.HasDetails());
  testing::ExpectSamePoint(dressed, plain, "cleared");
  TGPXwpt assigned;
  assigned = *src.wpt.WayPoints(src.wpt.Count() - 1);
  const TGPXwpt constructed(assigned);
  testing::ExpectSamePoint(constructed, *src.wpt.WayPoints(src.wpt.Count() - 1), "copy-constructed");

  // Moving tracks and points hands over the very objects, details and all,
  // and the storage they live in.
  TGPX moved;
  TGPX giver;
  giver.CopyFrom(src);
  const TGPXwpt* firstPoint = giver.trk.Tracks(0)->trkseg(1)->trkpt(0);
  moved.trk.MoveFrom(giver.trk);
  moved.wpt.MoveFrom(giver.wpt);
  EXPECT_EQ(giver.trk.Count(), 0);
  EXPECT_EQ(giver.wpt.Count(), 0);
  EXPECT_EQ(moved.trk.Tracks(0)->trkseg(1)->trkpt(0), firstPoint);
  giver.Clear();  // the points live on in `moved`
  for (int i = 0; i < src.wpt.Count(); ++i)
    testing::ExpectSamePoint(*moved.wpt.WayPoints(i), *src.wpt.WayPoints(i), "moved");
  ExpectSameDetails(*moved.trk.Tracks(0), *src.trk.Tracks(0));
}

TEST(GPXTree, ClearKeepsMetadata) {
  TGPX doc;
  Fill(doc);
  doc.Clear();
  EXPECT_EQ(doc.wpt.Count(), 0);
  EXPECT_EQ(doc.rte.Count(), 0);
  EXPECT_EQ(doc.trk.Count(), 0);
  EXPECT_FALSE(doc.wpt.filled);
  EXPECT_FALSE(doc.rte.filled);
  EXPECT_FALSE(doc.trk.filled);
  EXPECT_EQ(doc.metadata.name, "Lake");
  EXPECT_EQ(doc.creator, "test");
  EXPECT_EQ(doc.extension.Text, "<x>1</x>");
  // The document stays usable after a clear.
  Fill(doc);
  EXPECT_EQ(doc.trk.Count(), 1);
}

TEST(GPXTree, ComputeMetaBounds) {
  TGPX doc;
  Fill(doc);
  doc.metadata.filled = false;
  doc.ComputeMetaBounds();
  EXPECT_TRUE(doc.metadata.bounds.filled);
  EXPECT_TRUE(doc.metadata.filled);
  // Waypoints (one point: its list box never completes), the route and the
  // two-point segment count; the one-point segment does not.
  EXPECT_EQ(doc.metadata.bounds.minlat, 46.0);
  EXPECT_EQ(doc.metadata.bounds.maxlat, 46.2);
  EXPECT_EQ(doc.metadata.bounds.minlon, 8.0);
  EXPECT_EQ(doc.metadata.bounds.maxlon, 8.2);

  // All data on one meridian: the bounds are left untouched.
  TGPX line;
  line.trk.Add(NewTrack("T", {{{46.0, 8.0}, {46.5, 8.0}}}));
  line.metadata.bounds.minlat = 1;
  line.ComputeMetaBounds();
  EXPECT_FALSE(line.metadata.bounds.filled);
  EXPECT_EQ(line.metadata.bounds.minlat, 1);
  EXPECT_FALSE(line.metadata.filled);
}

TEST(GPXTree, SelectionRefersWithoutOwning) {
  TGPX doc;
  Fill(doc);
  TGPXSelection& sel = doc.Selection;
  sel.Add(doc.trk.Tracks(0)->trkseg(0));
  EXPECT_TRUE(sel.IsInSelection(doc.trk.Tracks(0)->trkseg(0)));
  EXPECT_FALSE(sel.IsInSelection(doc.trk.Tracks(0)));
  sel.copyFrom(sel);
  EXPECT_EQ(sel.Count(), 0);
  sel.Add(doc.wpt.WayPoints(0));
  doc.Clear();
  EXPECT_EQ(sel.Count(), 0) << "Clear empties the selection before freeing";
}

}  // namespace
}  // namespace sondralis
