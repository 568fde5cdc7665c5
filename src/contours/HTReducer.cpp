#include "contours/HTReducer.h"

#include <string>

#include "contours/PointListEdit.h"
#include "formats/HTConvert.h"

namespace sondralis {

void ReduceDocument(TGPX& Doc, int Threshold, TFeedback& Feedback) {
  for (TGPXtrk* track : Doc.trk) {
    for (TGPXtrkseg* seg : *track) {
      ReducePointList(*seg, Threshold);
      Feedback.ProcessEvents();
    }
  }
}

ReduceSearchResult FindReduceThreshold(const TGPX& Source, int Limit, int MaxThreshold, TFeedback& Feedback,
                                       const std::function<void(int)>& Tried) {
  ReduceSearchResult result;
  // Invariant: `fits` is 0 or a threshold whose copy counts below Limit;
  // `tooMany` is MaxThreshold + 1 or a threshold whose copy does not.
  int fits = 0;
  int tooMany = MaxThreshold + 1;
  while (tooMany - fits > 1) {
    const int t = fits + (tooMany - fits) / 2;
    if (Feedback.Canceled()) throw TCanceled{};
    auto copy = std::make_unique<TGPX>();
    copy->CopyFrom(Source);
    Feedback.Log("Applying reduce threshold of " + std::to_string(t));
    ReduceDocument(*copy, t, Feedback);
    const int count = CountHTPoints(*copy, kHTAllowance);
    if (Tried) Tried(count);
    ++result.Tries;
    if (count < Limit) {
      fits = t;
      result.Count = count;
      result.Reduced = std::move(copy);
    } else {
      tooMany = t;
      if (fits == 0) result.Count = count;
    }
  }
  result.Threshold = fits;
  return result;
}

}  // namespace sondralis
