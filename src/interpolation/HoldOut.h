#pragma once

#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"

namespace sondralis {

// How good a depth map is, by k-fold hold-out: the depth tracks' segments
// are dealt into K folds, the map is made again without each fold in turn,
// and the soundings of the fold that fall on a covered pixel are compared
// with that map there. Whole segments go into a fold, so a held-out pass is
// really unseen, not interleaved with its own neighbours a metre away.

// One sounding: where it was taken (degrees) and the depth read (cm).
struct TSounding {
  double Longitude = 0;
  double Latitude = 0;
  double Depth = 0;
};

// The errors of the held-out soundings against the maps made without them,
// in centimetres; NaN when no held-out sounding fell on a covered pixel.
struct THoldOutScore {
  int Folds = 0;       // folds that held something out
  int Count = 0;       // held-out soundings compared
  double Rms = kNoDepth;
  double MedianAbs = kNoDepth;
  double P95Abs = kNoDepth;  // 95th percentile of the absolute error (nearest rank)
};

// The fold (0 .. Folds − 1) of each segment, given the segments' sizes:
// largest first (the earlier one of equal sizes first), each into the fold
// holding the fewest soundings so far (the lowest such fold), so the folds
// are about equal and the same sizes always give the same folds. With fewer
// segments than folds, some folds stay empty.
std::vector<int> AssignFolds(std::span<const int> SegmentSizes, int Folds);

// Makes the map without the segments marked true, on the pixel grid the
// score was asked for: Pixels.Longitudes.size() columns × Latitudes.size()
// rows, NaN where the map is not covered. May throw TCanceled.
using TMapWithout = std::function<TDepthArray(const std::vector<bool>& LeftOut)>;

// The hold-out score of a map method over Segments (the soundings of each
// depth track segment, in the order the map makes them samples) with Folds
// folds (at least 2). Each held-out sounding is compared with the pixel whose
// centre is nearest to it; soundings off the grid or on a NaN pixel are left
// out. Progress goes to Feedback, one step per fold; when it is cancelled
// between folds the function throws TCanceled.
THoldOutScore HoldOutScore(const std::vector<std::vector<TSounding>>& Segments, const TPixelCoordinates& Pixels,
                           int Folds, const TMapWithout& MapWithout, TFeedback& Feedback);

// The pixel whose centre is nearest to (Longitude, Latitude), as the hold-out
// compares a sounding with a map; nothing off the grid (more than half a
// pixel beyond its outer centres).
std::optional<std::pair<int, int>> NearestPixel(const TPixelCoordinates& Pixels, double Longitude, double Latitude);

// Count, RMS, median and 95th percentile of the absolute values of Errors.
THoldOutScore ScoreErrors(std::vector<double> Errors);

}  // namespace sondralis
