#include <gtest/gtest.h>

#include <memory>

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
