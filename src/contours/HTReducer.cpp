#include "contours/HTReducer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "contours/ContourThinning.h"
#include "contours/PointListEdit.h"
#include "formats/HTConvert.h"

namespace sondralis {

namespace {

// Frees the points of List not marked in Keep, all but the two ends.
void KeepMarked(TPointList2& List, const std::vector<char>& Keep) {
  const int count = List.Count();
  if (count < 3) return;
  std::vector<TPoint4D2*> kept;
  kept.reserve(static_cast<std::size_t>(count));
  kept.push_back(List.Items(0));
  for (int i = 1; i < count - 1; ++i) {
    TPoint4D2* p = List.Items(i);
    if (Keep[static_cast<std::size_t>(i)])
      kept.push_back(p);
    else
      delete p;
  }
  kept.push_back(List.Items(count - 1));
  List.Clear();
  List.Reserve(static_cast<int>(kept.size()));
  for (TPoint4D2* p : kept) List.Add(p);
}

}  // namespace

void ReduceDocumentApart(TGPX& Doc, int Threshold, TFeedback& Feedback) {
  if (Threshold < 1) throw std::invalid_argument("The reduce threshold must be at least 1, not " + std::to_string(Threshold));
  std::vector<TGPXtrkseg*> segments;
  double west = HUGE_VAL, east = -HUGE_VAL, south = HUGE_VAL, north = -HUGE_VAL;
  std::size_t points = 0;
  for (TGPXtrk* track : Doc.trk)
    for (TGPXtrkseg* seg : *track) {
      segments.push_back(seg);
      for (const TPoint4D2* p : *seg) {
        west = std::min(west, p->Longitude);
        east = std::max(east, p->Longitude);
        south = std::min(south, p->Latitude);
        north = std::max(north, p->Latitude);
      }
      points += static_cast<std::size_t>(seg->Count());
    }
  if (points == 0) return;
  // The lines in a frame of one scale on both axes (crossings do not depend
  // on it), about three units per point along each side, so that the
  // search's buckets of three units hold a few segments each.
  const double extent = std::max({east - west, north - south, 1e-12});
  const double side = std::clamp(3 * std::sqrt(static_cast<double>(points)), 64.0, 8192.0);
  const double scale = side / extent;
  std::vector<TChartLine> lines(segments.size());
  std::vector<std::vector<char>> kept(segments.size());
  const double t = Threshold;
  const double tolerance = 1.0 / (t * t);
  for (std::size_t l = 0; l < segments.size(); ++l) {
    TGPXtrkseg& seg = *segments[l];
    lines[l].Level = static_cast<int>(l);
    lines[l].Points.reserve(static_cast<std::size_t>(seg.Count()));
    for (const TPoint4D2* p : seg) lines[l].Points.push_back({(p->Longitude - west) * scale, (north - p->Latitude) * scale});
    // The points ReducePointList keeps.
    for (TPoint4D2* p : seg) p->Level = 0;
    if (seg.Count() >= 3) ReduceRange(seg, 0, seg.Count() - 1, tolerance);
    kept[l].resize(static_cast<std::size_t>(seg.Count()));
    for (int i = 0; i < seg.Count(); ++i) kept[l][static_cast<std::size_t>(i)] = seg.Items(i)->Level != 0;
    Feedback.ProcessEvents();
  }
  const int frame = static_cast<int>(std::ceil(side)) + 1;
  KeepShortcutsApart(lines, kept, frame, frame, std::sqrt(tolerance) * scale, Feedback);
  for (std::size_t l = 0; l < segments.size(); ++l) KeepMarked(*segments[l], kept[l]);
}

void ReduceDocument(TGPX& Doc, int Threshold, TFeedback& Feedback) {
  for (TGPXtrk* track : Doc.trk) {
    for (TGPXtrkseg* seg : *track) {
      ReducePointList(*seg, Threshold);
      Feedback.ProcessEvents();
    }
  }
}

ReduceSearchResult FindReduceThreshold(const TGPX& Source, int Limit, int MaxThreshold, TFeedback& Feedback,
                                       const std::function<void(int)>& Tried, bool KeepApart) {
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
    if (KeepApart)
      ReduceDocumentApart(*copy, t, Feedback);
    else
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
