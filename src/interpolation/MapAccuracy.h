#pragma once

// How good the depth map of a view is, by the hold-out of HoldOut.h on what
// an interpolation run would make: the same coverage mask, pixel grid,
// thinning and samples, with the soundings of one fold of the depth tracks
// left out at a time.

#include <string>
#include <vector>

#include "interpolation/HoldOut.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"
#include "view/GPXDraw.h"

namespace sondralis {

// The hold-out score of one method.
struct TMethodAccuracy {
  TInterpolationSettings Settings;  // the method, and for Shepard its style and tolerance
  THoldOutScore Score;
};

// A sample of the run, with the fold whose map leaves it out: −1 for the
// samples every map keeps (the shoreline's). A held-out sounding compared
// with the maps is at pixel (PixelX, PixelY); −1 for the others.
struct TFoldSample {
  float Longitude = 0, Latitude = 0, Depth = 0;
  int Fold = -1;
  int PixelX = -1, PixelY = -1;
};

struct TAccuracy {
  int Folds = 0;
  int Segments = 0;  // depth track segments with soundings
  int Pieces = 0;    // stretches of track dealt into the folds
  int Soundings = 0;  // soundings of the depth tracks after thinning
  std::vector<TMethodAccuracy> Methods;  // in the order asked
  TPixelCoordinates Pixels;              // the grid of the maps
  // Every sample of the run in its order, with its fold: for scripts that
  // score other gridders on the very same folds.
  std::vector<TFoldSample> Samples;
};

// The hold-out score of each method's map of the view with Folds folds (at
// least 2), as a run with those settings would make it (the view as last
// drawn; the tracks are not thinned, only the points a run would keep are
// used). The soundings of the depth tracks go into the folds by whole
// segments; while there are fewer pieces than folds, the longest piece is
// cut in two halves, so that a single long recording can be checked too.
// Shoreline tracks (every depth 0) and the mask's shoreline samples stay
// in every map.
//
// Throws ERunRefused, before any map is made, when a run would be refused,
// with fewer than 2 folds, or when the soundings do not make two pieces;
// TCanceled between maps and columns when the feedback is cancelled.
// Progress goes to the feedback, one step per fold of each method; log lines
// say what was held out.
TAccuracy CheckAccuracy(TGPXDraw& View, const std::vector<TInterpolationSettings>& Methods, const TRunInput& Input,
                        int Folds, TFeedback& Feedback);

// One method's figures as a line: "Surface: 2868 held-out soundings, RMS
// 14.6 cm, median 8.0 cm, 95th percentile 30.2 cm" (Shepard with "style P").
std::string AccuracyLine(const TMethodAccuracy& Accuracy);

}  // namespace sondralis
