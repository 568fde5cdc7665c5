#pragma once

// Geometry shared by the editing of chart lines (smoothing, thinning): a
// test whether two segments cross or touch, a grid of buckets that finds the
// segments near a proposed one, and the depth between the grid's nodes.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "contours/ChartTracer.h"
#include "contours/SegmentScan.h"
#include "interpolation/CommonTypes.h"

namespace sondralis {

// True when segments P1→P2 and Q1→Q2 cross or touch anywhere but at an end
// point they share. Cases too close to call in floating point count as
// touching, so an edit checked with it errs on the side of being refused.
bool SegmentsConflict(const TChartPoint& P1, const TChartPoint& P2, const TChartPoint& Q1, const TChartPoint& Q2);

// The segments of a set of lines in buckets of a few pixels over the grid:
// each segment sits in every bucket it passes, so all segments that could
// meet a proposed one are found in the buckets that one passes. A segment is
// known by its line and the number its owner gave it (the vertex it begins
// at); its owner takes it out before changing it.
class TSegmentGrid {
 public:
  struct TEntry {
    TChartPoint A, B;
    std::int32_t Line;
    std::int32_t Id;
  };

  // Buckets of BucketSize × BucketSize pixels: about the length of the
  // segments to be held works best.
  TSegmentGrid(int Width, int Height, double BucketSize);

  void Insert(const TEntry& Entry);
  // Puts a whole set of segments into a grid still empty, in one block,
  // bucket after bucket: quicker to fill and to search than one by one.
  // Segments inserted later go into each bucket's own list, as Insert does.
  void InsertAll(const std::vector<TEntry>& Entries);
  // Takes out the segment (Line, Id) that runs from A to B.
  void Erase(int Line, int Id, const TChartPoint& A, const TChartPoint& B);

  // The column of buckets that X falls in, and how many there are: a
  // segment's search, insertion and erasure touch only the columns its X
  // range falls in, so work on segments of disjoint columns may run at once.
  int Column(double X) const {
    const double b = std::floor(X / fSize);
    return b < 0 ? 0 : b >= fBucketsX ? fBucketsX - 1 : static_cast<int>(b);
  }
  int Columns() const { return fBucketsX; }

  // The first segment that A→B conflicts with, leaving out those for which
  // Ignore(line, id) is true; none when there is none.
  template <typename IgnoreFn>
  std::optional<TEntry> FindConflict(const TChartPoint& A, const TChartPoint& B, IgnoreFn Ignore) const {
    const double dx = B.X - A.X, dy = B.Y - A.Y;
    // A segment with both ends clearly on one side of A→B's line cannot
    // meet it; most neighbours are turned away here.
    const double margin = 1e-9 * (std::fabs(dx) + std::fabs(dy) + 1);
    std::optional<TEntry> found;
    const auto search = [&](const TEntry* e, const TEntry* end) {
      for (; e != end; ++e) {
        const double c1 = dx * (e->A.Y - A.Y) - dy * (e->A.X - A.X);
        const double c2 = dx * (e->B.Y - A.Y) - dy * (e->B.X - A.X);
        if ((c1 > margin && c2 > margin) || (c1 < -margin && c2 < -margin)) continue;
        if (Ignore(e->Line, e->Id) || !SegmentsConflict(A, B, e->A, e->B)) continue;
        found = *e;
        return false;
      }
      return true;
    };
    // The block of InsertAll goes through the vectorised first filter a
    // chunk at a time; only the segments it lets pass are looked at here.
    const auto searchPacked = [&](std::size_t begin, std::size_t end) {
      constexpr std::size_t kChunk = 64;
      std::uint32_t across[kChunk];
      for (std::size_t chunk = begin; chunk < end; chunk += kChunk) {
        const std::size_t n = std::min(kChunk, end - chunk);
        const std::size_t kept = SegmentsMayMeet(fAX.data() + chunk, fAY.data() + chunk, fBX.data() + chunk,
                                                 fBY.data() + chunk, n, A, B, margin, across);
        for (std::size_t k = 0; k < kept; ++k) {
          const std::size_t i = chunk + across[k];
          if (fId[i] < 0 || Ignore(fLine[i], fId[i])) continue;
          const TChartPoint a{fAX[i], fAY[i]}, b{fBX[i], fBY[i]};
          if (!SegmentsConflict(A, B, a, b)) continue;
          found = TEntry{a, b, fLine[i], fId[i]};
          return false;
        }
      }
      return true;
    };
    ForBuckets(A, B, [&](std::size_t bucket) {
      if (!fStart.empty() && !searchPacked(fStart[bucket], fStart[bucket + 1])) return false;
      const std::vector<TEntry>& more = fBuckets[bucket];
      return search(more.data(), more.data() + more.size());
    });
    return found;
  }

 private:
  // Calls Fn(bucket) for every bucket the segment A→B passes, until Fn
  // returns false.
  template <typename Fn>
  void ForBuckets(const TChartPoint& A, const TChartPoint& B, Fn fn) const;

  double fSize;  // pixels per bucket side
  int fBucketsX, fBucketsY;
  // The segments of InsertAll, bucket after bucket, one array per field:
  // bucket b holds entries fStart[b] .. fStart[b + 1], in the order they
  // were given; an erased one keeps its place with Id −1. The coordinates
  // are kSegmentScanPadding longer, for the vectorised filter. fStart stays
  // empty until InsertAll.
  std::vector<std::size_t> fStart;
  std::vector<double> fAX, fAY, fBX, fBY;
  std::vector<std::int32_t> fLine, fId;
  std::vector<std::vector<TEntry>> fBuckets;  // segments inserted one by one
};

// The depths between the nodes of a grid: the bilinear interpolation of the
// four nodes around a point.
class TDepthField {
 public:
  explicit TDepthField(const TDepthArray& Depths)
      : fDepth(Depths.All().data()), fW(Depths.Width()), fH(Depths.Height()) {}

  // The least depth along the segment A→B, exactly (a parabola within each
  // cell); NaN when the segment passes a cell with an uncovered node or
  // leaves the grid.
  double MinDepthAlong(const TChartPoint& A, const TChartPoint& B) const;

 private:
  bool Inside(const TChartPoint& P) const { return P.X >= 0 && P.Y >= 0 && P.X <= fW - 1 && P.Y <= fH - 1; }
  const double* fDepth;
  int fW, fH;
};

template <typename Fn>
void TSegmentGrid::ForBuckets(const TChartPoint& A, const TChartPoint& B, Fn fn) const {
  // A little slack on every side keeps the buckets of a segment that runs
  // along a bucket border.
  constexpr double kSlack = 1e-6;
  const double size = fSize;
  const auto bucket = [size](double v, int count) {
    const double b = std::floor(v / size);
    return b < 0 ? 0 : b >= count ? count - 1 : static_cast<int>(b);
  };
  const double x0 = std::min(A.X, B.X), x1 = std::max(A.X, B.X);
  const int bx0 = bucket(x0 - kSlack, fBucketsX), bx1 = bucket(x1 + kSlack, fBucketsX);
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  for (int bx = bx0; bx <= bx1; ++bx) {
    double ya = A.Y, yb = B.Y;
    if (bx0 != bx1 && dx != 0) {
      // The part of the segment within this column of buckets.
      const double sx0 = std::max(x0, bx * size), sx1 = std::min(x1, (bx + 1) * size);
      ya = A.Y + (sx0 - A.X) / dx * dy;
      yb = A.Y + (sx1 - A.X) / dx * dy;
    }
    const int by0 = bucket(std::min(ya, yb) - kSlack, fBucketsY), by1 = bucket(std::max(ya, yb) + kSlack, fBucketsY);
    for (int by = by0; by <= by1; ++by)
      if (!fn(static_cast<std::size_t>(bx) * static_cast<std::size_t>(fBucketsY) + static_cast<std::size_t>(by)))
        return;
  }
}

}  // namespace sondralis
