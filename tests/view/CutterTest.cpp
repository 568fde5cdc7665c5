// The area cutter: strict inside test, removal from last to first, empty
// routes, segments and tracks taken out and destroyed.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ViewFixtures.h"
#include "view/GPXDraw.h"

namespace sondralis {
namespace {

using namespace testing_view;

class CutterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddReferenceBox(doc);
    AttachAndFit(view, doc, canvas);
    doc.trk.FreeAll();
  }

  Fix At(int x, int y) { return {view.YToLa(y), view.XToLo(x), 0}; }
  // The cut rectangle for screen columns x0..x1 and rows y0..y1 (upward axis).
  TRect Screen(int x0, int y0, int x1, int y1) const { return {x0, view.Height() - y0, x1, view.Height() - y1}; }

  TGPX doc;
  TCanvas canvas{400, 300};
  TGPXDraw view;
};

TEST_F(CutterTest, PointsOnTheEdgeSurviveAndPointsInsideGo) {
  TGPXtrkseg* seg = AddTrack(doc, {At(100, 100), At(150, 150), At(200, 150), At(250, 150)});
  // (100, 100) is the rectangle's corner and (200, 150) lies on its right edge.
  view.CutterTo(Screen(100, 100, 200, 200), false, false);
  ASSERT_EQ(doc.trk.Count(), 1);
  ASSERT_EQ(seg->Count(), 3);
  EXPECT_EQ(view.LoToX(seg->Points(0)->Longitude), 100);
  EXPECT_EQ(view.LoToX(seg->Points(1)->Longitude), 200);
  EXPECT_EQ(view.LoToX(seg->Points(2)->Longitude), 250);
}

TEST_F(CutterTest, ASegmentEntirelyInsideGoesAndTakesItsOnlyTrackWithIt) {
  AddTrack(doc, {At(120, 120), At(130, 130)});  // inside
  TGPXtrkseg* keep = AddTrack(doc, {At(10, 10), At(20, 20)});
  auto* two = new TGPXtrk;  // two segments, one inside
  doc.trk.Add(two);
  auto* in = new TGPXtrkseg;
  in->Add(MakePoint(At(140, 140)));
  two->Add(in);
  auto* out = new TGPXtrkseg;
  out->Add(MakePoint(At(300, 40)));
  two->Add(out);
  doc.Selection.Add(in);  // nothing may keep referring to a destroyed segment
  view.CutterTo(Screen(100, 100, 200, 200), false, false);
  ASSERT_EQ(doc.trk.Count(), 2);
  EXPECT_EQ(doc.trk[0]->trkseg(0), keep);
  EXPECT_EQ(doc.trk[1], two);
  ASSERT_EQ(two->Count(), 1);
  EXPECT_EQ(two->trkseg(0), out);
  EXPECT_EQ(doc.Selection.Count(), 0);
}

TEST_F(CutterTest, ACutAcrossASegmentLeavesOneSegmentThatJumpsTheGap) {
  TGPXtrkseg* seg = AddTrack(doc, {At(50, 150), At(150, 150), At(160, 150), At(250, 150)});
  view.CutterTo(Screen(100, 100, 200, 200), false, false);
  ASSERT_EQ(doc.trk.Count(), 1);
  ASSERT_EQ(doc.trk[0]->Count(), 1);
  ASSERT_EQ(seg->Count(), 2);
  EXPECT_EQ(view.LoToX(seg->Points(0)->Longitude), 50);
  EXPECT_EQ(view.LoToX(seg->Points(1)->Longitude), 250);
}

std::vector<int> Remaining(const TGPX& doc, const TGPXDraw& view) {
  std::vector<int> xs;
  for (int i = 0; i < doc.wpt.Count(); ++i) xs.push_back(view.LoToX(doc.wpt[i]->Longitude));
  for (const TGPXrte* r : doc.rte)
    for (const TPoint4D2* p : *r) xs.push_back(view.LoToX(p->Longitude));
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* s : *t)
      for (const TPoint4D2* p : *s) xs.push_back(view.LaToY(p->Latitude) * 1000 + view.LoToX(p->Longitude));
  return xs;
}

TEST_F(CutterTest, CornersInAnyOrderGiveTheSameCut) {
  const std::array<TRect, 4> rects = {Screen(80, 60, 220, 180), Screen(220, 180, 80, 60),
                                      Screen(80, 180, 220, 60), Screen(220, 60, 80, 180)};
  std::vector<int> first;
  for (const TRect& r : rects) {
    doc.Clear();
    AddTrack(doc, {At(50, 50), At(100, 100), At(150, 120), At(300, 250), At(200, 170)});
    auto* w = new TGPXwpt;
    w->Latitude = view.YToLa(90);
    w->Longitude = view.XToLo(90);
    doc.wpt.Add(w);
    view.CutterTo(r, false, false);
    const std::vector<int> left = Remaining(doc, view);
    EXPECT_EQ(left.size(), 2u);
    if (first.empty())
      first = left;
    else
      EXPECT_EQ(left, first);
  }
  // The mouse form: from the anchor to the release point, dragged backwards.
  doc.Clear();
  AddTrack(doc, {At(50, 50), At(100, 100), At(150, 120), At(300, 250), At(200, 170)});
  view.MouseX = 220;
  view.MouseY = 180;
  view.CutterMouseTo(80, 60, false, false);
  EXPECT_EQ(Remaining(doc, view), first);
}

TEST_F(CutterTest, EmptyListsGoWithAnyEffectiveCutButNotWithAClick) {
  doc.rte.Add(new TGPXrte);  // already empty
  auto* route = new TGPXrte;
  route->Add(MakePoint(At(10, 10)));
  doc.rte.Add(route);
  auto* emptyTrack = new TGPXtrk;
  doc.trk.Add(emptyTrack);
  auto* trackWithEmptySegment = new TGPXtrk;
  trackWithEmptySegment->Add(new TGPXtrkseg);
  trackWithEmptySegment->Add(new TGPXtrkseg);
  trackWithEmptySegment->trkseg(1)->Add(MakePoint(At(20, 20)));
  doc.trk.Add(trackWithEmptySegment);

  view.CutterTo(Screen(150, 150, 150, 250), false, false);  // no width: nothing happens
  EXPECT_EQ(doc.rte.Count(), 2);
  EXPECT_EQ(doc.trk.Count(), 2);

  view.CutterTo(Screen(300, 200, 350, 250), false, false);  // hits nothing, still effective
  ASSERT_EQ(doc.rte.Count(), 1);
  EXPECT_EQ(doc.rte[0], route);
  ASSERT_EQ(doc.trk.Count(), 1);
  EXPECT_EQ(doc.trk[0], trackWithEmptySegment);
  EXPECT_EQ(trackWithEmptySegment->Count(), 1);

  // Routes lose their points and go when empty; waypoints go too.
  auto* w = new TGPXwpt;
  w->Latitude = view.YToLa(12);
  w->Longitude = view.XToLo(12);
  doc.wpt.Add(w);
  view.CutterTo(Screen(0, 0, 30, 30), false, false);
  EXPECT_EQ(doc.rte.Count(), 0);
  EXPECT_EQ(doc.wpt.Count(), 0);
  EXPECT_EQ(doc.trk.Count(), 0);
}

TEST_F(CutterTest, AViewWithoutARectangleCutsNothing) {
  AddTrack(doc, {At(120, 120), At(130, 130)});
  view.BBox.Complete = false;
  view.CutterTo(Screen(100, 100, 200, 200), false, false);
  EXPECT_EQ(doc.trk.Count(), 1);
}

TEST_F(CutterTest, OutsideKeepsTheRectangleAndItsEdges) {
  TGPXtrkseg* seg = AddTrack(doc, {At(50, 150), At(100, 150), At(150, 150), At(250, 150)});
  view.CutterTo(Screen(100, 100, 200, 200), false, true);
  ASSERT_EQ(seg->Count(), 2);
  EXPECT_EQ(view.LoToX(seg->Points(0)->Longitude), 100);
  EXPECT_EQ(view.LoToX(seg->Points(1)->Longitude), 150);
}

TEST_F(CutterTest, OnlySelectedCutsInSelectedListsOnly) {
  TGPXtrkseg* chosen = AddTrack(doc, {At(120, 120), At(130, 130), At(10, 10)});
  TGPXtrkseg* other = AddTrack(doc, {At(140, 140), At(150, 150)});
  doc.Selection.Add(chosen);
  view.CutterTo(Screen(100, 100, 200, 200), true, false);
  EXPECT_EQ(chosen->Count(), 1);
  EXPECT_EQ(other->Count(), 2);
  EXPECT_EQ(doc.Selection.Count(), 0);
}

}  // namespace
}  // namespace sondralis
