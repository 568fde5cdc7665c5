// The run's method and tolerance: a Surface run fills exactly what the
// surface makes, coloured as Shepard's depths are; a run at a tolerance
// stays within it and paints the picture of the exact depths; a surface
// that cannot be fitted ends its workers without writing a column.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "interpolation/InterpolationRun.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/SurfaceInterp.h"
#include "support/DepthMapScene.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using testing::DepthMapScene;
using testing::RecordingFeedback;

TInterpolationSettings SurfaceSettings(const DepthMapScene& scene, int Threads) {
  TInterpolationSettings s = scene.Settings(Threads);
  s.Method = TInterpolationMethod::Surface;
  return s;
}

bool SameBytes(const TDepthArray& a, const TDepthArray& b) {
  return a.All().size_bytes() == b.All().size_bytes() &&
         std::memcmp(a.All().data(), b.All().data(), a.All().size_bytes()) == 0;
}

// The example lake by the surface method through the workers: every depth is
// the one SurfaceInterpolate makes from the run's samples, mask and grid,
// every covered pixel has the colour of its depth and every other none; one
// worker or three make the same bytes; the log names the fit.
TEST(MethodRun, SurfaceRunIsTheSurfaceColouredAsShepardsDepths) {
  DepthMapScene scene(260, 180);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  const TRunInput input = scene.Input();
  TDepthMap map;
  RecordingFeedback feedback;
  ASSERT_TRUE(map.Interpolate(scene.View, SurfaceSettings(scene, 3), input, feedback));

  TDepthArray reference;
  TSilentFeedback silent;
  const TPixelCoordinates nodes = GridNodes(ViewGridExtent(scene.View), 260, 180);
  const TSurfaceReport report =
      SurfaceInterpolate(map.InCoord, map.InDepth, nodes, map.ShadowArray, TSurfaceSettings{}, reference, silent);
  EXPECT_TRUE(SameBytes(map.DepthArray, reference));
  int covered = 0;
  for (int x = 0; x < 260; ++x)
    for (int y = 0; y < 180; ++y) {
      const double depth = map.DepthAt(x, y);
      if (!map.ShadowArray[x][y]) {
        ASSERT_TRUE(std::isnan(depth)) << x << "," << y;
        ASSERT_EQ(map.InterpolatedImage.Pixel(x, y), 0u) << x << "," << y;
        continue;
      }
      ++covered;
      ASSERT_GE(depth, 0);
      ASSERT_LE(depth, input.MaxDepth);
      ASSERT_EQ(map.InterpolatedImage.Pixel(x, y), BlendColors(input.clShallow, input.clDeep, depth / input.MaxDepth))
          << x << "," << y;
    }
  EXPECT_EQ(covered, report.Covered);
  EXPECT_GT(covered, 260 * 180 / 10);
  EXPECT_EQ(feedback.Progress.size(), 260u) << "one step per column, as Shepard's run";
  bool logged = false;
  for (const std::string& line : feedback.LogLines)
    logged = logged || line.rfind("Surface: " + std::to_string(report.Blocks) + " block medians, lattice ", 0) == 0;
  EXPECT_TRUE(logged);

  // The run thins the shoreline tracks too, so the mask of a second run on
  // the same view may differ: one worker runs on a scene of its own.
  DepthMapScene other(260, 180);
  other.LoadExampleLake();
  other.FitAndDraw();
  TDepthMap one;
  RecordingFeedback again;
  ASSERT_TRUE(one.Interpolate(other.View, SurfaceSettings(other, 1), other.Input(), again));
  EXPECT_TRUE(SameBytes(one.DepthArray, map.DepthArray));
  EXPECT_TRUE(one.InterpolatedImage.Image() == map.InterpolatedImage.Image());
}

// Shepard at 0.001 cm: every depth within the tolerance of the exact run,
// some of them not exact (the tolerance reached the interpolator), and the
// very same picture. A tolerance below 0 or not a number is refused.
TEST(MethodRun, ToleranceBoundsTheDepthsAndKeepsThePicture) {
  // Two scenes, as a run thins the tracks it is made from.
  DepthMapScene scene(240, 170), same(240, 170);
  for (DepthMapScene* s : {&scene, &same}) {
    s->LoadExampleLake();
    s->FitAndDraw();
  }
  const TRunInput input = scene.Input();
  TDepthMap exact, bounded;
  RecordingFeedback a, b;
  TInterpolationSettings settings = scene.Settings();
  ASSERT_TRUE(exact.Interpolate(same.View, settings, input, a));
  settings.Tolerance = kMapTolerance;
  ASSERT_TRUE(bounded.Interpolate(scene.View, settings, input, b));

  int differ = 0;
  for (int x = 0; x < 240; ++x)
    for (int y = 0; y < 170; ++y) {
      const double e = exact.DepthAt(x, y), t = bounded.DepthAt(x, y);
      if (std::isnan(e)) {
        ASSERT_TRUE(std::isnan(t));
        continue;
      }
      ASSERT_LE(std::fabs(t - e), kMapTolerance + 1e-12 * std::fabs(e)) << x << "," << y;
      differ += t != e;
    }
  EXPECT_GT(differ, 1000);
  EXPECT_TRUE(bounded.InterpolatedImage.Image() == exact.InterpolatedImage.Image());

  for (double wrong : {-0.5, std::nan("")}) {
    settings.Tolerance = wrong;
    RecordingFeedback refused;
    EXPECT_THROW(bounded.StartInterpolation(scene.View, settings, input, refused), ERunRefused) << wrong;
    EXPECT_FALSE(bounded.Running());
  }
}

// A surface whose fit fails (here a mask of the wrong size) ends every worker
// before its first column: nothing is written, the run is not reported as
// cancelled, and the fit says why. A cancelled run's fit stops without an
// error.
TEST(MethodRun, AFailedFitWritesNoColumn) {
  DepthMapScene scene(120, 90);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  const TCoverage coverage = BuildCoverage(scene.View);
  auto pixels = std::make_shared<TPixelCoordinates>(GridNodes(ViewGridExtent(scene.View), 120, 90));
  TPointList coord = coverage.ShoreCoord;
  TValueList depth = coverage.ShoreDepth;
  coord.Add({static_cast<float>(pixels->Longitudes[60]), static_cast<float>(pixels->Latitudes[45])});
  depth.Add(500);

  RecordingFeedback feedback;
  TInterpolationJob job;
  job.Depths.SetSize(120, 90);
  job.Depths.Fill(-1);
  job.ShadowArray = coverage.ShadowArray;
  job.Coordinates = pixels;
  job.Surface = std::make_shared<TLazySurface>(coord, depth, pixels, TBooleanArray(3, 3), TSurfaceSettings{}, feedback);
  TInterpolationScheduler scheduler(job, 120, 2, feedback);
  scheduler.Start();
  scheduler.Wait();
  EXPECT_TRUE(scheduler.Finished());
  EXPECT_FALSE(scheduler.Canceled());
  EXPECT_EQ(job.Surface->Get(), nullptr);
  EXPECT_NE(job.Surface->Error().find("mask"), std::string::npos) << job.Surface->Error();
  for (double v : job.Depths.All()) ASSERT_EQ(v, -1);
  EXPECT_TRUE(feedback.Progress.empty());

  RecordingFeedback cancelled;
  cancelled.Cancel();
  TLazySurface stopped(coord, depth, pixels, coverage.ShadowArray, TSurfaceSettings{}, cancelled);
  EXPECT_EQ(stopped.Get(), nullptr);
  EXPECT_EQ(stopped.Error(), "");
  RecordingFeedback going;
  TLazySurface fitted(coord, depth, pixels, coverage.ShadowArray, TSurfaceSettings{}, going);
  EXPECT_NE(fitted.Get(), nullptr);
}

}  // namespace
}  // namespace sondralis
