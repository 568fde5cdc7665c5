// The view's projection, fitting, zoom and pan. The pixel grid of the view
// is the grid of the coverage mask, the interpolation and the contours, so
// the numbers here are checked exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <limits>
#include <random>

#include "ViewFixtures.h"
#include "view/GPXDraw.h"

namespace sondralis {
namespace {

using namespace testing_view;
// The reference box's aspect factor: the cosine of its middle latitude.
const double C = std::cos(46.005 * std::numbers::pi / 180);

// A view of the reference box, fitted to a raster of the size a test asks for.
class ReferenceBoxView : public ::testing::Test {
 protected:
  void Fit(int width, int height) {
    AddReferenceBox(doc);
    canvas.SetSize(width, height);
    AttachAndFit(view, doc, canvas);
  }
  TGPX doc;
  TCanvas canvas{1, 1};
  TGPXDraw view;
};

TEST(GPXDrawTest, NewViewHasTheDocumentedState) {
  TGPXDraw view;
  EXPECT_EQ(view.Width(), 0);
  EXPECT_EQ(view.Height(), 0);
  EXPECT_EQ(view.MouseMode, mmMove);
  EXPECT_FALSE(view.BBox.Complete);
  EXPECT_EQ(view.TrackWidth, 2);
  EXPECT_EQ(view.DepthColorShallow, 255u);
  EXPECT_EQ(view.DepthColorDeep, 16711680u);
  EXPECT_EQ(view.ShadowMapTrackWidth, 30);
  EXPECT_EQ(view.MaxDepth, 1500);
  EXPECT_FALSE(view.ShadowMapEnabled);
  EXPECT_EQ(view.Options.BackGroundColor, 12632256u);
  EXPECT_EQ(view.Options.RouteColor, 32896u);
}

TEST_F(ReferenceBoxView, CentredFitOfTheReferenceBoxIn800x600) {
  Fit(800, 600);
  ASSERT_TRUE(view.BBox.Complete);
  EXPECT_NEAR(view.BBox.Rx, 80000, 1e-6);
  EXPECT_NEAR(view.BBox.Ry, 60000, 1e-6);
  EXPECT_NEAR(view.BBox.Rm, 60000 / 1.01, 1e-6);
  EXPECT_DOUBLE_EQ(view.Aspect(), C);
  // dx = 193 free columns (800 − 412.63 rounds to 387), dy = 3 free rows on
  // each side.
  EXPECT_NEAR(view.BBox.O, 8.00 - 193 / (view.BBox.Rm * C), 1e-12);
  EXPECT_NEAR(view.BBox.E, 8.01 + 193 / (view.BBox.Rm * C), 1e-12);
  EXPECT_NEAR(view.BBox.S, 46.00 - 3 / view.BBox.Rm, 1e-12);
  EXPECT_NEAR(view.BBox.N, 46.01 + 3 / view.BBox.Rm, 1e-12);
  EXPECT_EQ(view.LoToX(8.00), 193);
  EXPECT_EQ(view.LoToX(8.01), 606);
  EXPECT_EQ(view.LaToY(46.01), 3);
  EXPECT_EQ(view.LaToY(46.00), 597);
}

TEST_F(ReferenceBoxView, NarrowRasterIsLimitedByItsWidthWithTheSurplusAboveAndBelow) {
  Fit(300, 600);
  EXPECT_NEAR(view.BBox.Rm, (30000 / C) / 1.01, 1e-6);
  // 300 − 297.03 rounds to 3: one free column each side; 600 − 427.63
  // rounds to 172: 86 free rows above and below.
  EXPECT_EQ(view.LoToX(8.00), 1);
  EXPECT_EQ(view.LoToX(8.01), 298);
  EXPECT_EQ(view.LaToY(46.01), 86);
  EXPECT_EQ(view.LaToY(46.00), 514);
}

TEST_F(ReferenceBoxView, TransformsRoundTripWithinHalfAPixel) {
  Fit(800, 600);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> lat(45.99, 46.02), lon(7.99, 8.02);
  const double halfLon = 0.5 / (view.BBox.Rm * C), halfLat = 0.5 / view.BBox.Rm;
  for (int i = 0; i < 2000; ++i) {
    const double lo = lon(rng), la = lat(rng);
    EXPECT_LE(std::fabs(view.XToLo(view.LoToX(lo)) - lo), halfLon * (1 + 1e-9));
    EXPECT_LE(std::fabs(view.YToLa(view.LaToY(la)) - la), halfLat * (1 + 1e-9));
  }
  // And pixel → coordinate → pixel is the identity.
  for (int x = -50; x < 850; x += 7) EXPECT_EQ(view.LoToX(view.XToLo(x)), x);
  for (int y = -50; y < 650; y += 7) EXPECT_EQ(view.LaToY(view.YToLa(y)), y);
}

TEST_F(ReferenceBoxView, OnScreenIncludesTheColumnAndRowJustPastTheEdge) {
  Fit(800, 600);
  TPoint4D2 p;
  p.Latitude = view.YToLa(300);
  p.Longitude = view.XToLo(800);
  ASSERT_EQ(view.LoToX(p.Longitude), 800);
  EXPECT_TRUE(view.IsOnScreen(p));
  p.Longitude = view.XToLo(-1);
  EXPECT_FALSE(view.IsOnScreen(p));
  p.Longitude = view.XToLo(0);
  p.Latitude = view.YToLa(600);
  EXPECT_TRUE(view.IsOnScreen(p));
  p.Latitude = view.YToLa(601);
  EXPECT_FALSE(view.IsOnScreen(p));
}

TEST_F(ReferenceBoxView, MoveFromToShiftsTheContentAndKeepsTheScale) {
  Fit(800, 600);
  const double rm = view.BBox.Rm;
  const int x = view.LoToX(8.005), y = view.LaToY(46.005);
  view.MoveFromTo(100, 100, 110, 95);
  EXPECT_EQ(view.LoToX(8.005), x + 10);
  EXPECT_EQ(view.LaToY(46.005), y - 5);
  EXPECT_NEAR(view.BBox.Rm, rm, rm * 1e-9);
  // Panning back returns the data to where they were.
  view.MoveFromTo(110, 95, 100, 100);
  EXPECT_EQ(view.LoToX(8.005), x);
  EXPECT_EQ(view.LaToY(46.005), y);
}

TEST_F(ReferenceBoxView, MoveMouseToPansFromTheAnchorAndAnAnchorAtOriginOnlySetsIt) {
  Fit(800, 600);
  const double o = view.BBox.O, s = view.BBox.S;
  view.MoveMouseTo(40, 50);
  EXPECT_EQ(view.BBox.O, o);
  EXPECT_EQ(view.BBox.S, s);
  EXPECT_EQ(view.MouseX, 40);
  EXPECT_EQ(view.MouseY, 50);
  // Dragging from (100, 100) to (150, 80) in steps pans 50 right, 20 up.
  view.MouseX = 100;
  view.MouseY = 100;
  const int x = view.LoToX(8.005), y = view.LaToY(46.005);
  for (int step = 1; step <= 10; ++step) view.MoveMouseTo(100 + 5 * step, 100 - 2 * step);
  EXPECT_EQ(view.LoToX(8.005), x + 50);
  EXPECT_EQ(view.LaToY(46.005), y - 20);
  EXPECT_EQ(view.MouseX, 150);
  EXPECT_EQ(view.MouseY, 80);
}

TEST_F(ReferenceBoxView, ZoomToAWideRectangleFillsTheWidthAndLeavesTheNorthSpare) {
  Fit(600, 600);
  // Screen rows 200..400 and columns 100..500 (Top and Bottom count upwards
  // from the bottom edge); corners in either order.
  const double west = view.XToLo(100), east = view.XToLo(500);
  const double south = view.YToLa(400), north = view.YToLa(200);
  ASSERT_TRUE(view.ZoomTo({500, 200, 100, 400}));
  EXPECT_EQ(view.BBox.O, west);
  EXPECT_EQ(view.BBox.E, east);
  EXPECT_EQ(view.BBox.S, south);
  EXPECT_EQ(view.BBox.N, north);
  EXPECT_EQ(view.LoToX(west), 0);
  EXPECT_EQ(view.LoToX(east), 600);
  EXPECT_EQ(view.LaToY(south), 600);  // the south edge is the bottom
  EXPECT_EQ(view.LaToY(north), 300);  // the upper half shows what lies north
  // A rectangle without extent is refused and changes nothing.
  const TBBox before = view.BBox;
  EXPECT_FALSE(view.ZoomTo({10, 10, 10, 50}));
  EXPECT_EQ(view.BBox.O, before.O);
  EXPECT_EQ(view.BBox.Rm, before.Rm);
}

TEST_F(ReferenceBoxView, ZoomInAndOutRemoveAndAddSevenAndAHalfPercentEachSide) {
  Fit(800, 600);
  const double rm = view.BBox.Rm;
  const double lonAt60 = view.XToLo(60), latAt555 = view.YToLa(555);  // a = 60, b = 45
  ASSERT_TRUE(view.ZoomIn());
  EXPECT_EQ(view.BBox.O, lonAt60);
  EXPECT_EQ(view.BBox.S, latAt555);
  EXPECT_NEAR(view.BBox.Rm, rm * 600 / 510, rm * 1e-9);
  ASSERT_TRUE(view.ZoomOut());
  EXPECT_GT(view.BBox.Rm, 0);
  // Mouse zoom: the screen rectangle between the anchor and the mouse.
  view.MouseX = 300;
  view.MouseY = 100;
  const double o = view.XToLo(100), n = view.YToLa(100);
  ASSERT_TRUE(view.ZoomMouseTo(100, 400));
  EXPECT_EQ(view.BBox.O, o);
  EXPECT_EQ(view.BBox.N, n);
  EXPECT_FALSE(view.ZoomMouseTo(view.MouseX, view.MouseY));  // a click without a drag
}

// A pixel covers as many metres across as up wherever the lake lies, and
// the fit decides the aspect once: zooms, pans and resizes keep it.
TEST(GPXDrawTest, FitsGiveSquarePixelsOnTheGroundAtAnyLatitude) {
  const auto metres = [](const TGPXDraw& v, int x1, int y1, int x2, int y2) {
    TPoint4D2 from;
    from.Longitude = v.XToLo(x1);
    from.Latitude = v.YToLa(y1);
    return from.WGS84Distance(v.XToLo(x2), v.YToLa(y2), false);
  };
  for (const double lat : {-41.3, 0.4, 33.0, 47.2, 61.0, 69.5}) {
    for (const auto& [w, h] : {std::pair{815, 649}, std::pair{400, 900}}) {
      TGPX doc;
      AddTrack(doc, {{lat - 0.004, 10.0}, {lat + 0.003, 10.012}});
      TCanvas canvas(w, h);
      TGPXDraw view;
      AttachAndFit(view, doc, canvas);
      ASSERT_TRUE(view.BBox.Complete);
      // Across and up through the middle of the view, over 100 pixels.
      const double across = metres(view, w / 2 - 50, h / 2, w / 2 + 50, h / 2);
      const double up = metres(view, w / 2, h / 2 - 50, w / 2, h / 2 + 50);
      EXPECT_NEAR(across / up, 1, 0.005) << lat << " " << w << "x" << h;
      const double aspect = view.Aspect();

      view.ZoomIn();
      view.MoveFromTo(100, 100, 40, 170);
      view.ZoomAbout(200, 100, 0.7);
      view.Resize(w / 2, h);
      EXPECT_EQ(view.Aspect(), aspect) << "kept until the next fit";
      EXPECT_NEAR(metres(view, 0, 50, 100, 50) / metres(view, 50, 0, 50, 100), 1, 0.005);
    }
  }
  // The aspect of a fit is that of the data's middle, not of the earlier fit.
  TGPX north;
  AddTrack(north, {{60.0, 10.0}, {60.01, 10.01}});
  TCanvas canvas(300, 300);
  TGPXDraw view;
  AttachAndFit(view, north, canvas);
  EXPECT_NEAR(view.Aspect(), std::cos(60.005 * std::numbers::pi / 180), 1e-15);
  // A single point has no extent to fit: the aspect stays.
  TGPX point;
  AddTrack(point, {{10.0, 10.0}, {10.0, 10.0}});
  view.GPXd = &point;
  view.ResetBBox(true, true);
  EXPECT_NEAR(view.Aspect(), std::cos(60.005 * std::numbers::pi / 180), 1e-15);
  view.Clear();
  EXPECT_EQ(view.Aspect(), TBBox::kDefaultAspect);
}

TEST(GPXDrawTest, ClearReturnsToTheEmptyStateAndPaintsTheBackground) {
  TGPX doc;
  AddReferenceBox(doc);
  doc.Selection.Add(doc.trk[0]);
  TCanvas canvas(80, 60);
  TGPXDraw view;
  view.ShadowMapEnabled = true;
  view.Options.BackGroundColor = 0x00FF00;
  AttachAndFit(view, doc, canvas);
  view.MouseX = 5;
  view.MouseY = 7;
  view.MouseMode = mmZoom;
  view.Clear();
  EXPECT_EQ(view.Width(), 0);
  EXPECT_EQ(view.Height(), 0);
  EXPECT_EQ(view.MouseMode, mmMove);
  EXPECT_FALSE(view.BBox.Complete);
  EXPECT_EQ(view.MouseX, 0);
  EXPECT_EQ(view.MouseY, 0);
  EXPECT_EQ(doc.Selection.Count(), 0);
  EXPECT_EQ(canvas.Pixel(79, 59), 0x00FF00u);
  EXPECT_EQ(view.GPXd, &doc);
  EXPECT_EQ(view.Canvas, &canvas);
}

// Nothing divides by a zero scale or size, and no pixel position is made
// from a value that is not a number (the sanitizer build checks both).
TEST(GPXDrawTest, EmptyAndDegenerateViewsAreSafe) {
  TGPXDraw empty;
  empty.ResetBBox(true, true);
  EXPECT_FALSE(empty.BBox.Complete);
  EXPECT_EQ(empty.XToLo(10), 0);
  EXPECT_EQ(empty.YToLa(10), 0);
  EXPECT_FALSE(empty.ZoomIn());
  EXPECT_FALSE(empty.ZoomOut());
  EXPECT_FALSE(empty.ZoomMouseTo(5, 5));
  empty.MoveFromTo(1, 2, 3, 4);
  empty.CutterTo({0, 0, 10, 10}, false, false);
  empty.Redraw();
  empty.GenerateAllShorelinePolygons();
  empty.DrawSelectionRect(0, 0, 5, 5, 255);

  // Data, but a raster of zero size: no scale, no centring.
  TGPX doc;
  AddReferenceBox(doc);
  TCanvas canvas;
  TGPXDraw view;
  AttachAndFit(view, doc, canvas);
  EXPECT_EQ(view.BBox.Rm, 0);
  EXPECT_EQ(view.XToLo(3), 0);
  EXPECT_FALSE(view.ZoomIn());
  view.Redraw();
  view.GenerateAllShorelinePolygons();
  view.CutterTo({-5, -5, 5, 5}, false, false);
  EXPECT_EQ(doc.trk.Count(), 1);

  // Data on one meridian: no extent, no scale.
  TGPX line;
  AddTrack(line, {{46.0, 8.0}, {46.1, 8.0}});
  TCanvas c2(100, 100);
  TGPXDraw meridian;
  AttachAndFit(meridian, line, c2);
  EXPECT_EQ(meridian.BBox.Rm, 0);
  meridian.Redraw();

  // Coordinates that are not numbers, or far beyond the raster.
  TGPX ref;
  AddReferenceBox(ref);
  TCanvas c3(100, 100);
  TGPXDraw fitted;
  AttachAndFit(fitted, ref, c3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  TPoint4D2 p;
  p.Latitude = nan;
  p.Longitude = inf;
  EXPECT_FALSE(fitted.IsOnScreen(p));
  EXPECT_LT(fitted.LoToX(-inf), -1000000);
  EXPECT_GT(fitted.LoToX(1e300), 1000000);
  AddTrack(ref, {{nan, 8.005, 100}, {46.005, 8.005, 100}, {46.006, inf, 100}, {46.007, 8.006, 100}});
  fitted.ShadowMapEnabled = true;
  fitted.Redraw();
  // Many zoom-ins push the scale far up; drawing stays bounded.
  for (int i = 0; i < 200; ++i) fitted.ZoomIn();
  fitted.Redraw();
  EXPECT_TRUE(std::isfinite(fitted.BBox.Rm));
}

TEST(GPXDrawTest, ResizeSizesTheBuffersAndTheShadowMapOnlyWhenEnabled) {
  TGPXDraw view;
  view.Resize({10, 20, 110, 70});
  EXPECT_EQ(view.Width(), 100);
  EXPECT_EQ(view.Height(), 50);
  EXPECT_EQ(view.Buffer.Width(), 100);
  EXPECT_EQ(view.Buffer.Height(), 50);
  EXPECT_EQ(view.ShadowMap.Width(), 0);
  view.ShadowMapEnabled = true;
  view.Resize({110, 70, 10, 20});  // corners in the other order
  EXPECT_EQ(view.Width(), 100);
  EXPECT_EQ(view.ShadowMap.Width(), 100);
  EXPECT_EQ(view.ShadowMap.Height(), 50);
}

}  // namespace
}  // namespace sondralis
