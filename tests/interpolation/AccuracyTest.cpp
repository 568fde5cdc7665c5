// The accuracy check of a view's map: its Shepard figures against the plain
// formula evaluated here fold by fold from the samples it reports; every
// sounding held out exactly once and the shoreline never; a recording of
// one segment cut into pieces; the tracks left as they were; refusals and
// cancellation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "interpolation/MapAccuracy.h"
#include "interpolation/SampleGrid.h"
#include "support/DepthMapScene.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using testing::DepthMapScene;
using testing::RecordingFeedback;

TInterpolationSettings Method(TInterpolationMethod method, double tolerance = 0) {
  TInterpolationSettings s;
  s.Threads = 2;
  s.Method = method;
  s.Tolerance = tolerance;
  return s;
}

// Shepard's hold-out on the example lake, recomputed from the reported
// samples and folds with the plain formula at each held-out sounding's
// pixel centre: the same count and the same RMS. The surface method is
// scored on the same soundings, and better; the tracks are not thinned.
TEST(Accuracy, ShepardFiguresAreThePlainFormulaFoldByFold) {
  DepthMapScene scene(150, 100);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  const int points = scene.TrackPoints();
  RecordingFeedback feedback;
  const int folds = 4;
  const TAccuracy accuracy =
      CheckAccuracy(scene.View, {Method(TInterpolationMethod::Shepard), Method(TInterpolationMethod::Surface)},
                    scene.Input(), folds, feedback);
  EXPECT_EQ(scene.TrackPoints(), points);
  ASSERT_EQ(accuracy.Methods.size(), 2u);
  EXPECT_EQ(accuracy.Segments, 4);
  EXPECT_EQ(accuracy.Pieces, 4);
  EXPECT_EQ(feedback.Progress.back(), std::make_pair(2 * folds, 2 * folds));

  // What a run would sample: the mask's shoreline, then the kept points.
  const TCoverage coverage = BuildCoverage(scene.View);
  ASSERT_GT(accuracy.Samples.size(), static_cast<std::size_t>(coverage.ShoreCoord.Length()));
  for (int i = 0; i < coverage.ShoreCoord.Length(); ++i) ASSERT_EQ(accuracy.Samples[i].Fold, -1);

  double squares = 0;
  int compared = 0, soundings = 0;
  std::vector<int> perFold(folds);
  for (int k = 0; k < folds; ++k) {
    TPointList coord;
    TValueList depth;
    for (const TFoldSample& s : accuracy.Samples)
      if (s.Fold != k) {
        coord.Add({s.Longitude, s.Latitude});
        depth.Add(s.Depth);
      }
    const TShepardInterp plain(coord, depth, 8);
    for (const TFoldSample& s : accuracy.Samples) {
      if (s.Fold != k) continue;
      ++perFold[static_cast<std::size_t>(k)];
      if (s.PixelX < 0) continue;
      const double e = plain.interp(accuracy.Pixels.Longitudes[s.PixelX], accuracy.Pixels.Latitudes[s.PixelY]) - s.Depth;
      squares += e * e;
      ++compared;
    }
    soundings += perFold[static_cast<std::size_t>(k)];
  }
  EXPECT_EQ(soundings, accuracy.Soundings) << "every sounding of the depth tracks is held out once";
  for (int n : perFold) EXPECT_GT(n, 0) << "four segments, four folds: one each";
  const THoldOutScore& shepard = accuracy.Methods[0].Score;
  EXPECT_EQ(shepard.Folds, folds);
  EXPECT_EQ(shepard.Count, compared);
  EXPECT_GT(compared, accuracy.Soundings * 9 / 10);
  EXPECT_NEAR(shepard.Rms, std::sqrt(squares / compared), 1e-9 * shepard.Rms);

  const THoldOutScore& surface = accuracy.Methods[1].Score;
  EXPECT_EQ(surface.Count, compared);
  EXPECT_LT(surface.Rms, 0.6 * shepard.Rms);
  EXPECT_LT(surface.MedianAbs, shepard.MedianAbs);
  EXPECT_LE(surface.MedianAbs, surface.P95Abs);
  EXPECT_LE(surface.P95Abs, 4 * surface.Rms);
}

// A survey recorded as one long segment is still checked: it is cut into
// as many pieces as there are folds, each a stretch of the track held out
// whole. A single sounding cannot be held out against anything.
TEST(Accuracy, ASingleSegmentIsCutIntoStretches) {
  DepthMapScene scene(160, 120);
  // A shoreline square and one zig-zag of soundings inside it.
  scene.AddTrack({{46.000, 8.000}, {46.000, 8.010}, {46.010, 8.010}, {46.010, 8.000}}, 0);
  scene.AddTrack({{46.001, 8.001}, {46.009, 8.002}, {46.001, 8.004}, {46.009, 8.006}, {46.001, 8.008},
                  {46.009, 8.009}},
                 400);
  // Points every few metres along the legs, with depths that change.
  TGPXtrkseg& segment = *scene.Doc.trk[1]->Items(0);
  std::vector<TPoint4D2*> corners(segment.begin(), segment.end());
  segment.Clear();
  for (std::size_t c = 0; c + 1 < corners.size(); ++c)
    for (int i = 0; i < 60; ++i) {
      auto* p = new TGPXwpt;
      const double t = i / 60.0;
      p->Latitude = corners[c]->Latitude + t * (corners[c + 1]->Latitude - corners[c]->Latitude);
      p->Longitude = corners[c]->Longitude + t * (corners[c + 1]->Longitude - corners[c]->Longitude);
      p->HBdepth = 300 + 200 * std::sin(7 * t + c);
      segment.Add(p);
    }
  for (TPoint4D2* p : corners) delete p;
  scene.FitAndDraw();
  RecordingFeedback feedback;
  const TAccuracy accuracy =
      CheckAccuracy(scene.View, {Method(TInterpolationMethod::Surface)}, scene.Input(), 3, feedback);
  EXPECT_EQ(accuracy.Segments, 1);
  EXPECT_EQ(accuracy.Pieces, 3);
  EXPECT_EQ(accuracy.Methods[0].Score.Folds, 3);
  // Each fold is one stretch: its samples follow each other.
  std::vector<int> order;
  for (const TFoldSample& s : accuracy.Samples)
    if (s.Fold >= 0 && (order.empty() || order.back() != s.Fold)) order.push_back(s.Fold);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2}));
  EXPECT_GT(accuracy.Methods[0].Score.Count, 0);

  DepthMapScene lone(80, 60);
  lone.AddTrack({{46.000, 8.000}, {46.000, 8.010}, {46.010, 8.010}, {46.010, 8.000}}, 0);
  lone.AddTrack({{46.005, 8.005}}, 400);
  lone.FitAndDraw();
  EXPECT_THROW(CheckAccuracy(lone.View, {Method(TInterpolationMethod::Shepard)}, lone.Input(), 5, feedback),
               ERunRefused);
  EXPECT_THROW(CheckAccuracy(scene.View, {Method(TInterpolationMethod::Shepard)}, scene.Input(), 1, feedback),
               ERunRefused);
  EXPECT_THROW(CheckAccuracy(scene.View, {Method(TInterpolationMethod::Shepard, -1)}, scene.Input(), 5, feedback),
               ERunRefused);
}

// Cancelled in the middle of a fold's map, the check throws TCanceled.
TEST(Accuracy, StopsWhenCancelled) {
  DepthMapScene scene(150, 100);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  for (const TInterpolationMethod method : {TInterpolationMethod::Shepard, TInterpolationMethod::Surface}) {
    int pumps = 0;
    struct Cancelling : RecordingFeedback {
      int* Pumps;
      void ProcessEvents() override {
        if (++*Pumps == 3) Cancel();
      }
    } cancelling;
    cancelling.Pumps = &pumps;
    EXPECT_THROW(CheckAccuracy(scene.View, {Method(method)}, scene.Input(), 5, cancelling), TCanceled);
    EXPECT_LT(cancelling.Progress.size(), 3u) << "stopped in the first fold";
  }
}

}  // namespace
}  // namespace sondralis
