#pragma once

// Thinning a whole contour document until it fits one HT file.

#include <functional>
#include <memory>

#include "model/GPX.h"
#include "model/Feedback.h"

namespace sondralis {

// ReducePointList with `Threshold` on every segment of every track, in
// order, letting pending events run (Feedback.ProcessEvents) after each
// segment.
void ReduceDocument(TGPX& Doc, int Threshold, TFeedback& Feedback);

struct ReduceSearchResult {
  int Threshold = 0;  // the threshold found; 0 when even 1 does not fit
  int Count = 0;      // HT count (allowance 9) of the reduced copy at Threshold, or at 1 when none fits
  int Tries = 0;      // reduced copies made
  std::unique_ptr<TGPX> Reduced;  // the reduced copy at Threshold; empty when none fits
};

// Finds the largest threshold t in 1 .. MaxThreshold whose reduced copy of
// `Source` has an HT count below `Limit`, by bisection. A larger threshold
// keeps a superset of the points (the split points of the reduction do not
// depend on the tolerance), so the count never falls as t grows and the
// bisection finds exactly the t a one-by-one search from MaxThreshold down
// would find. Each try logs "Applying reduce threshold of " + t and hands
// its count to Tried (the window shows it in "lblWritePoints"). `Source` is
// not changed. Throws TCanceled when the feedback is cancelled between
// tries.
ReduceSearchResult FindReduceThreshold(const TGPX& Source, int Limit, int MaxThreshold, TFeedback& Feedback,
                                       const std::function<void(int Count)>& Tried = {});

}  // namespace sondralis
