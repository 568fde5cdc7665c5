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

// ReduceDocument that never makes lines meet: the same points are chosen
// first, then every shortcut over points left out is checked against all
// lines of the document as they have become (in longitude and latitude),
// and one that crosses or touches another segment gets back the farthest
// point of its run, and both halves are reduced again, until nothing meets
// anything that did not meet before. For the chart's contours, which never
// meet to begin with. Throws TCanceled when the feedback is cancelled.
void ReduceDocumentApart(TGPX& Doc, int Threshold, TFeedback& Feedback);

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
// tries. With KeepApart each copy is made by ReduceDocumentApart: the
// points it gives back may make the count rise a little with a smaller
// threshold, so the bisection then finds a threshold that fits, not
// always the largest.
ReduceSearchResult FindReduceThreshold(const TGPX& Source, int Limit, int MaxThreshold, TFeedback& Feedback,
                                       const std::function<void(int Count)>& Tried = {}, bool KeepApart = false);

}  // namespace sondralis
