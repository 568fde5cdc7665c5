// The coverage mask: which pixels are interpolated, and the shoreline as
// depth-0 samples.
#include <gtest/gtest.h>

#include <vector>

#include "interpolation/CoverageMask.h"
#include "support/DepthMapScene.h"

namespace sondralis {
namespace {

using testing::DepthMapScene;

TEST(PtInRgn, SquareWithHalfOpenEdges) {
  const std::vector<TPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(PtInRgn(square, {5, 5}));
  EXPECT_FALSE(PtInRgn(square, {5, 10}));  // the edge y = 10 does not count
  EXPECT_FALSE(PtInRgn(square, {0, 5}));   // on a crossing: neither side
  EXPECT_TRUE(PtInRgn(square, {5, 0}));    // the edge y = 0 counts
  EXPECT_FALSE(PtInRgn(square, {15, 5}));
  // A repeated closing vertex changes nothing.
  const std::vector<TPoint> closed = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  for (int x = -2; x <= 12; ++x)
    for (int y = -2; y <= 12; ++y) EXPECT_EQ(PtInRgn(square, {x, y}), PtInRgn(closed, {x, y})) << x << "," << y;
}

// Checks the whole coverage against its definition, pixel by pixel, and
// returns the pixels of each mask colour.
struct Counts {
  int Water = 0, Shore = 0, Outside = 0;
};
Counts ExpectCoverageRule(DepthMapScene& scene, const TCoverage& c) {
  const int w = scene.View.Width(), h = scene.View.Height();
  Counts counts;
  int covered = 0, sample = 0;
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const TColor mask = c.ShoreLine.Pixel(x, y);
      const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      const bool band = scene.View.ShadowMap.Pixel(x, y) != kMaskOutside;
      EXPECT_FALSE(border && band);
      EXPECT_EQ(c.ShadowArray[x][y], band && mask == kMaskWater) << x << "," << y;
      covered += c.ShadowArray[x][y];
      counts.Water += mask == kMaskWater;
      counts.Outside += mask == kMaskOutside;
      if (mask == kMaskShore) {
        ++counts.Shore;
        // Samples come column by column, top to bottom.
        EXPECT_EQ(c.ShoreCoord[sample][0], static_cast<float>(scene.View.XToLo(x)));
        EXPECT_EQ(c.ShoreCoord[sample][1], static_cast<float>(scene.View.YToLa(y)));
        EXPECT_EQ(c.ShoreDepth[sample], 0.0f);
        ++sample;
      }
    }
  EXPECT_EQ(c.Covered, covered);
  EXPECT_EQ(c.ShoreCoord.Length(), counts.Shore);
  EXPECT_EQ(c.ShoreDepth.Length(), counts.Shore);
  return counts;
}

TEST(CoverageMask, WithoutShorelineTheBandAroundTheDepthTracksMinusTheBorder) {
  DepthMapScene scene(120, 90);
  scene.AddTrack({{46.001, 8.001}, {46.009, 8.009}}, 500);  // corner to corner
  scene.FitAndDraw();
  const TCoverage c = BuildCoverage(scene.View);
  const Counts counts = ExpectCoverageRule(scene, c);
  EXPECT_EQ(counts.Shore, 0);
  EXPECT_GT(c.Covered, 120 * 10);
  // Everything but the last column and row is water.
  EXPECT_EQ(counts.Water, 119 * 89);
}

// "Extrapolation Radius" is the full width of the band: 30 gives 30 rows
// across a horizontal track, not 31.
TEST(CoverageMask, TheBandIsAsWideAsTheRadiusSays) {
  for (int radius : {30, 7, 8}) {
    SCOPED_TRACE(radius);
    DepthMapScene scene(160, 120);
    scene.View.ShadowMapTrackWidth = radius;
    scene.AddTrack({{46.005, 8.001}, {46.005, 8.009}}, 500);
    // Dots in two corners, far from the columns measured, make the view tall.
    scene.AddTrack({{46.001, 8.001}, {46.001, 8.001}}, 500);
    scene.AddTrack({{46.009, 8.009}, {46.009, 8.009}}, 500);
    scene.FitAndDraw();
    const TCoverage c = BuildCoverage(scene.View);
    const int row = scene.View.LaToY(46.005);
    for (const double lon : {8.003, 8.005, 8.007}) {
      const int x = scene.View.LoToX(lon);
      int across = 0;
      for (int y = 0; y < scene.View.Height(); ++y) across += c.ShadowArray[x][y];
      EXPECT_EQ(across, radius) << "column " << x;
      EXPECT_TRUE(c.ShadowArray[x][row]);
    }
  }
}

TEST(CoverageMask, LakeWithAnIslandOnTheTrack) {
  DepthMapScene scene(160, 120);
  scene.AddTrack({{46.001, 8.001}, {46.001, 8.009}, {46.009, 8.009}, {46.009, 8.001}}, 0);  // lake
  scene.AddTrack({{46.0045, 8.0045}, {46.0045, 8.0055}, {46.0055, 8.0055}, {46.0055, 8.0045}}, 0);  // island
  scene.AddTrack({{46.003, 8.002}, {46.007, 8.008}}, 700);
  scene.FitAndDraw();
  const TCoverage c = BuildCoverage(scene.View);
  const Counts counts = ExpectCoverageRule(scene, c);
  EXPECT_GT(c.Covered, 0);
  EXPECT_GT(counts.Outside, 0);
  // The island's centre is shore, not water, although the track crosses it.
  const int ix = scene.View.LoToX(8.005), iy = scene.View.LaToY(46.005);
  EXPECT_EQ(c.ShoreLine.Pixel(ix, iy), kMaskShore);
  EXPECT_FALSE(c.ShadowArray[ix][iy]);
  EXPECT_NE(scene.View.ShadowMap.Pixel(ix, iy), kMaskOutside);
  // Outside the lake nothing is water.
  EXPECT_EQ(c.ShoreLine.Pixel(1, 1), kMaskOutside);
}

TEST(CoverageMask, TwoLakesNeitherHoldingTheOtherAreBothShore) {
  DepthMapScene scene(160, 120);
  scene.AddTrack({{46.001, 8.001}, {46.001, 8.004}, {46.009, 8.004}, {46.009, 8.001}}, 0);
  scene.AddTrack({{46.001, 8.006}, {46.001, 8.009}, {46.009, 8.009}, {46.009, 8.006}}, 0);
  scene.AddTrack({{46.002, 8.002}, {46.008, 8.008}}, 700);
  scene.FitAndDraw();
  const TCoverage c = BuildCoverage(scene.View);
  const Counts counts = ExpectCoverageRule(scene, c);
  EXPECT_EQ(c.Covered, 0);
  EXPECT_EQ(counts.Water, 0);
  EXPECT_GT(counts.Shore, 2 * 80 * 30);  // both rectangles filled
}

// Soundings outside the shoreline are mapped when asked: the band of the
// pieces of track that reach outside covers the land there, the band of a
// track inside the lake does not spill over the outline, the outline stays
// shore, and the water is covered as before.
TEST(CoverageMask, KeepOutsideCoversTheBandOfTracksOutsideOnly) {
  DepthMapScene scene(160, 120);
  scene.AddTrack({{46.003, 8.003}, {46.003, 8.007}, {46.007, 8.007}, {46.007, 8.003}}, 0);  // lake
  scene.AddTrack({{46.005, 8.005}, {46.0065, 8.0065}, {46.0085, 8.0085}}, 600);           // leaves the lake
  scene.AddTrack({{46.0035, 8.0032}, {46.0065, 8.0032}}, 700);                            // along its west shore
  scene.FitAndDraw();
  const TCoverage before = BuildCoverage(scene.View);
  const TCoverage after = BuildCoverage(scene.View, true);
  const int w = scene.View.Width(), h = scene.View.Height();
  int added = 0;
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      if (before.ShadowArray[x][y]) {
        EXPECT_TRUE(after.ShadowArray[x][y]) << x << "," << y;
      }
      if (after.ShadowArray[x][y] && !before.ShadowArray[x][y]) {
        ++added;
        EXPECT_EQ(after.ShoreLine.Pixel(x, y), kMaskOutside) << x << "," << y;
        EXPECT_NE(scene.View.ShadowMap.Pixel(x, y), kMaskOutside) << "only within the band, " << x << "," << y;
      }
    }
  EXPECT_EQ(after.Covered, before.Covered + added);
  EXPECT_EQ(after.ShoreCoord.Length(), before.ShoreCoord.Length()) << "the outline's samples stay";
  const int ox = scene.View.LoToX(8.008), oy = scene.View.LaToY(46.008);
  EXPECT_FALSE(before.ShadowArray[ox][oy]);
  EXPECT_TRUE(after.ShadowArray[ox][oy]) << "the soundings outside are mapped";
  // West of the outline, in the band of the track along the shore.
  const int wx = scene.View.LoToX(8.003) - 4, wy = scene.View.LaToY(46.005);
  ASSERT_EQ(after.ShoreLine.Pixel(wx, wy), kMaskOutside);
  ASSERT_NE(scene.View.ShadowMap.Pixel(wx, wy), kMaskOutside);
  EXPECT_FALSE(after.ShadowArray[wx][wy]) << "a track on the water does not spill onto the land";
}

}  // namespace
}  // namespace sondralis
