// Drawing the document: depth colours, the shadow map band, waypoint
// markers, the buffers, and the shoreline rings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ViewFixtures.h"
#include "model/ColorInterpolate.h"
#include "view/GPXDraw.h"

namespace sondralis {
namespace {

using namespace testing_view;

constexpr TColor kWhite = 16777215, kSilver = 12632256;

// A 400 × 300 view of the reference box, set up as the window sets up the
// source view: white background, track width 3, silver shadow map.
class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddReferenceBox(doc);
    view.Options.BackGroundColor = kWhite;
    view.TrackWidth = 3;
    view.ShadowMapEnabled = true;
    view.ShadowMapTrackColor = kSilver;
    view.ShadowMapTrackWidth = 30;
    AttachAndFit(view, doc, canvas);
    // Keep the box's own corner points off the picture: they are only there
    // to fit the view.
    doc.trk.FreeAll();
  }

  // A point at pixel (x, y) of the fitted view.
  Fix At(int x, int y, double depth) { return {view.YToLa(y), view.XToLo(x), depth}; }

  TGPX doc;
  TCanvas canvas{400, 300};
  TGPXDraw view;
};

TEST_F(RenderTest, SegmentsTakeTheColourOfTheDepthAtTheirStart) {
  AddTrack(doc, {At(100, 150, 100), At(200, 150, 200), At(300, 150, 0), At(380, 150, 300)});
  view.MaxDepth = 400;
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(150, 150), BlendColors(255, 16711680, 0.25));
  EXPECT_EQ(canvas.Pixel(250, 150), BlendColors(255, 16711680, 0.5));
  EXPECT_EQ(canvas.Pixel(340, 150), 255u);  // starts at depth 0: shallow colour
  EXPECT_EQ(canvas.Pixel(150, 151), BlendColors(255, 16711680, 0.25));  // pen width 3
  EXPECT_EQ(canvas.Pixel(150, 152), kWhite);
  // Only the first two segments are on the shadow map, with a band 30 pixels
  // wide (14 above the line, 15 below) and round ends.
  const TCanvas& shadow = view.ShadowMap;
  EXPECT_EQ(shadow.Pixel(150, 150 - 14), kSilver);
  EXPECT_EQ(shadow.Pixel(150, 150 + 15), kSilver);
  EXPECT_EQ(shadow.Pixel(150, 150 - 15), kWhite);
  EXPECT_EQ(shadow.Pixel(150, 150 + 16), kWhite);
  EXPECT_EQ(shadow.Pixel(86, 150), kSilver);  // past the start
  EXPECT_EQ(shadow.Pixel(85, 150), kWhite);
  EXPECT_EQ(shadow.Pixel(315, 150), kSilver);  // past the end of the second segment
  EXPECT_EQ(shadow.Pixel(316, 150), kWhite);
  EXPECT_EQ(shadow.Pixel(340, 150), kWhite);
}

TEST_F(RenderTest, DepthBeyondTheMaximumIsPureDeepAndAZeroMaximumMakesAllDepthsDeep) {
  AddTrack(doc, {At(50, 50, 500), At(150, 50, 500)});
  view.DepthColorDeep = 0x804020;
  view.MaxDepth = 400;
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(100, 50), 0x804020u);
  view.MaxDepth = 0;
  doc.trk[0]->trkseg(0)->trkpt(0)->HBdepth = 1;
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(100, 50), 0x804020u);
}

TEST_F(RenderTest, ShorelineDrawsShallowLeavesNoBandAndMakesARing) {
  AddTrack(doc, {At(100, 100, 0), At(300, 100, 0), At(300, 200, 0), At(100, 200, 0)});
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(200, 100), 255u);
  EXPECT_EQ(canvas.Pixel(300, 150), 255u);
  for (int y = 0; y < 300; y += 3)
    for (int x = 0; x < 400; x += 3) ASSERT_EQ(view.ShadowMap.Pixel(x, y), kWhite) << x << "," << y;
  view.GenerateAllShorelinePolygons();
  ASSERT_EQ(view.ShorelinePolygons.size(), 1u);
  EXPECT_EQ(view.ShorelinePolygons[0],
            (std::vector<TPoint>{{100, 200}, {100, 100}, {300, 100}, {300, 200}, {100, 200}}));
}

TEST_F(RenderTest, RingsStartAndEndWithTheLastPointAndOnlyDepthlessListsQualify) {
  TGPXtrkseg* abc = AddTrack(doc, {At(10, 10, 0), At(50, 10, 0), At(30, 40, 0)});
  EXPECT_TRUE(view.GenerateShorelinePolygons(*abc));
  ASSERT_EQ(view.ShorelinePolygons.size(), 1u);
  EXPECT_EQ(view.ShorelinePolygons[0], (std::vector<TPoint>{{30, 40}, {10, 10}, {50, 10}, {30, 40}}));

  // All in one pixel: two equal points.
  TGPXtrkseg* dot = AddTrack(doc, {At(5, 5, 0), At(5, 5, 0), At(5, 5, 0)});
  EXPECT_TRUE(view.GenerateShorelinePolygons(*dot));
  EXPECT_EQ(view.ShorelinePolygons[1], (std::vector<TPoint>{{5, 5}, {5, 5}}));

  // Repeats inside the list are entered once.
  TGPXtrkseg* repeats = AddTrack(doc, {At(1, 1, 0), At(1, 1, 0), At(9, 1, 0), At(9, 9, 0), At(9, 9, 0)});
  EXPECT_TRUE(view.GenerateShorelinePolygons(*repeats));
  EXPECT_EQ(view.ShorelinePolygons[2], (std::vector<TPoint>{{9, 9}, {1, 1}, {9, 1}, {9, 9}, {9, 9}}));

  // One reading disqualifies a list; a depth that is not a number does not.
  TGPXtrkseg* wet = AddTrack(doc, {At(1, 1, 0), At(2, 2, 12), At(3, 3, 0)});
  EXPECT_FALSE(view.GenerateShorelinePolygons(*wet));
  TGPXtrkseg* nanDepth = AddTrack(doc, {At(1, 1, std::numeric_limits<double>::quiet_NaN()), At(3, 3, 0)});
  EXPECT_TRUE(view.GenerateShorelinePolygons(*nanDepth));
  TGPXtrkseg empty;
  EXPECT_FALSE(view.GenerateShorelinePolygons(empty));

  // Rebuilding keeps document order and drops old rings.
  view.GenerateAllShorelinePolygons();
  ASSERT_EQ(view.ShorelinePolygons.size(), 4u);
  EXPECT_EQ(view.ShorelinePolygons[0].front(), (TPoint{30, 40}));
  EXPECT_EQ(view.ShorelinePolygons[3].size(), 3u);
}

TEST_F(RenderTest, WaypointOnePixelPastTheRightEdgeIsDrawnAndOneLeftOfTheRasterIsNot) {
  TGPXwpt inside, outside;
  inside.Latitude = outside.Latitude = view.YToLa(150);
  inside.Longitude = view.XToLo(400);
  outside.Longitude = view.XToLo(-1);
  ASSERT_EQ(view.LoToX(inside.Longitude), 400);
  view.Redraw();
  canvas.SetPenWidth(5);
  EXPECT_TRUE(view.DrawPoint4D(&inside, 0x00FF00, 0, ""));
  EXPECT_EQ(canvas.Pixel(397, 150), 0x00FF00u);  // the left side of the square
  EXPECT_EQ(canvas.Pixel(398, 147), 0x00FF00u);  // the top side
  EXPECT_EQ(canvas.Pixel(398, 150), kWhite);
  const TCanvas before = canvas;
  EXPECT_FALSE(view.DrawPoint4D(&outside, 0x00FF00, 0, ""));
  EXPECT_FALSE(view.DrawPoint4D(nullptr, 0x00FF00, 0, ""));
  EXPECT_EQ(canvas.Image(), before.Image());
  EXPECT_EQ(canvas.PenWidth(), 5);  // the pen width comes back
}

TEST_F(RenderTest, RedrawDrawsWaypointsAndLeavesTheBuffersEqualToThePicture) {
  auto* wpt = new TGPXwpt;
  wpt->Latitude = view.YToLa(60);
  wpt->Longitude = view.XToLo(70);
  doc.wpt.Add(wpt);
  AddTrack(doc, {At(10, 200, 300), At(390, 210, 900)});
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(67, 60), view.Options.WayPointColor);
  EXPECT_EQ(view.Buffer.Image(), canvas.Image());
  // The rubber band goes over a restored clean picture.
  view.MouseX = 20;
  view.MouseY = 20;
  view.DrawMouseSelectionRectTo(120, 100, 255);
  EXPECT_EQ(canvas.Pixel(20, 50), 255u);
  EXPECT_EQ(canvas.Pixel(120, 100), 255u);
  view.DrawMouseSelectionRectTo(60, 60, 255);
  EXPECT_EQ(canvas.Pixel(120, 100), kWhite);  // the first band is gone
  // Redraw paints the same picture again, rubber band gone.
  view.Redraw();
  const QImage first = canvas.Image().copy();
  EXPECT_EQ(canvas.Pixel(20, 50), kWhite);
  view.Redraw();
  EXPECT_EQ(canvas.Image(), first);
}

TEST_F(RenderTest, RedrawWithoutCanvasOrDocumentTouchesNothing) {
  AddTrack(doc, {At(10, 10, 300), At(300, 250, 300)});
  view.Redraw();
  const QImage buffer = view.Buffer.Image().copy();
  canvas.SetBrushColor(0x00FF00);
  canvas.FillRect(canvas.ClientRect());
  view.Canvas = nullptr;
  view.Redraw();
  EXPECT_EQ(view.Buffer.Image(), buffer);
  EXPECT_FALSE(view.DrawPointList(*doc.trk[0]->trkseg(0), 0));
  view.Canvas = &canvas;
  view.GPXd = nullptr;
  view.Redraw();
  EXPECT_EQ(canvas.Pixel(200, 150), 0x00FF00u);
}

TEST_F(RenderTest, DrawPointListHonoursItsRangeAndItsLimits) {
  TGPXtrkseg* seg = AddTrack(doc, {At(10, 100, 0), At(100, 100, 0), At(200, 100, 0), At(300, 100, 0)});
  canvas.SetBrushColor(kWhite);
  canvas.FillRect(canvas.ClientRect());
  EXPECT_TRUE(view.DrawPointList(*seg, 1, 2, 0));
  EXPECT_EQ(canvas.Pixel(50, 100), kWhite);
  EXPECT_EQ(canvas.Pixel(150, 100), 255u);
  EXPECT_EQ(canvas.Pixel(250, 100), kWhite);
  EXPECT_TRUE(view.DrawPointList(*seg, -5, 99, 0));  // clamped to the list
  EXPECT_EQ(canvas.Pixel(250, 100), 255u);
  EXPECT_FALSE(view.DrawPointList(*seg, 3, 1, 0));
  TGPXtrkseg single;
  single.Add(MakePoint(At(5, 5, 0)));
  EXPECT_TRUE(view.DrawPointList(single, 0));  // a single point draws no line
  view.BBox.Complete = false;
  EXPECT_FALSE(view.DrawPointList(*seg, 0));
}

}  // namespace
}  // namespace sondralis
