#include "contours/ContourGeometry.h"

#include <iterator>
#include <limits>

namespace sondralis {

namespace {

// Which side of the line a→b the point c lies on: +1, −1, or 0 when the
// cross product is too small to trust its sign (the coordinates are a few
// thousand pixels at most, so their differences carry an error of about
// 1e-12 each).
int Side(const TChartPoint& a, const TChartPoint& b, const TChartPoint& c) {
  const double abx = b.X - a.X, aby = b.Y - a.Y, acx = c.X - a.X, acy = c.Y - a.Y;
  const double cross = abx * acy - aby * acx;
  const double n1 = std::fabs(abx) + std::fabs(aby), n2 = std::fabs(acx) + std::fabs(acy);
  const double bound = 1e-12 * n1 * n2 + 4e-12 * (n1 + n2);
  return cross > bound ? 1 : cross < -bound ? -1 : 0;
}

}  // namespace

bool SegmentsConflict(const TChartPoint& P1, const TChartPoint& P2, const TChartPoint& Q1, const TChartPoint& Q2) {
  constexpr double kSlack = 1e-9;
  if (std::max(P1.X, P2.X) < std::min(Q1.X, Q2.X) - kSlack || std::max(Q1.X, Q2.X) < std::min(P1.X, P2.X) - kSlack ||
      std::max(P1.Y, P2.Y) < std::min(Q1.Y, Q2.Y) - kSlack || std::max(Q1.Y, Q2.Y) < std::min(P1.Y, P2.Y) - kSlack)
    return false;
  const bool s11 = P1 == Q1, s12 = P1 == Q2, s21 = P2 == Q1, s22 = P2 == Q2;
  const int shared = s11 + s12 + s21 + s22;
  if (shared >= 2) return true;
  if (shared == 1) {
    // Two segments from one point meet again only when they run on along
    // the same line in the same direction.
    const TChartPoint& s = (s11 || s12) ? P1 : P2;
    const TChartPoint& u = (s11 || s12) ? P2 : P1;
    const TChartPoint& v = (s11 || s21) ? Q2 : Q1;
    return Side(s, u, v) == 0 && (u.X - s.X) * (v.X - s.X) + (u.Y - s.Y) * (v.Y - s.Y) > 0;
  }
  const int o1 = Side(P1, P2, Q1), o2 = Side(P1, P2, Q2);
  if (o1 * o2 > 0) return false;
  const int o3 = Side(Q1, Q2, P1), o4 = Side(Q1, Q2, P2);
  if (o3 * o4 > 0) return false;
  // A crossing, a touch, or too close to tell apart.
  return true;
}

TSegmentGrid::TSegmentGrid(int Width, int Height, double BucketSize)
    : fSize(BucketSize),
      fBucketsX(static_cast<int>(std::max(Width, 1) / BucketSize) + 1),
      fBucketsY(static_cast<int>(std::max(Height, 1) / BucketSize) + 1),
      fBuckets(static_cast<std::size_t>(fBucketsX) * static_cast<std::size_t>(fBucketsY)) {}

void TSegmentGrid::Insert(const TEntry& Entry) {
  ForBuckets(Entry.A, Entry.B, [&](std::size_t bucket) {
    fBuckets[bucket].push_back(Entry);
    return true;
  });
}

void TSegmentGrid::InsertAll(const std::vector<TEntry>& Entries) {
  if (!fStart.empty()) {
    for (const TEntry& entry : Entries) Insert(entry);
    return;
  }
  // Count each bucket's segments, then place them.
  fStart.assign(fBuckets.size() + 1, 0);
  for (const TEntry& entry : Entries)
    ForBuckets(entry.A, entry.B, [&](std::size_t bucket) {
      ++fStart[bucket + 1];
      return true;
    });
  for (std::size_t b = 1; b < fStart.size(); ++b) fStart[b] += fStart[b - 1];
  const std::size_t count = fStart.back();
  for (std::vector<double>* ends : {&fAX, &fAY, &fBX, &fBY}) ends->assign(count + kSegmentScanPadding, 0.0);
  fLine.resize(count);
  fId.resize(count);
  std::vector<std::size_t> fill(fStart.begin(), fStart.end() - 1);
  for (const TEntry& entry : Entries)
    ForBuckets(entry.A, entry.B, [&](std::size_t bucket) {
      const std::size_t at = fill[bucket]++;
      fAX[at] = entry.A.X;
      fAY[at] = entry.A.Y;
      fBX[at] = entry.B.X;
      fBY[at] = entry.B.Y;
      fLine[at] = entry.Line;
      fId[at] = entry.Id;
      return true;
    });
}

void TSegmentGrid::Erase(int Line, int Id, const TChartPoint& A, const TChartPoint& B) {
  ForBuckets(A, B, [&](std::size_t bucket) {
    if (!fStart.empty())
      for (std::size_t i = fStart[bucket]; i < fStart[bucket + 1]; ++i)
        if (fId[i] == Id && fLine[i] == Line) {
          fId[i] = -1;
          return true;
        }
    std::vector<TEntry>& entries = fBuckets[bucket];
    for (TEntry& e : entries)
      if (e.Id == Id && e.Line == Line) {
        e = entries.back();
        entries.pop_back();
        break;
      }
    return true;
  });
}

double TDepthField::MinDepthAlong(const TChartPoint& A, const TChartPoint& B) const {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  if (fW < 2 || fH < 2 || !Inside(A) || !Inside(B)) return kNaN;
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  // The segment cut where it crosses a grid line: one piece per cell.
  const double kx0 = std::floor(std::min(A.X, B.X)) + 1, kx1 = std::max(A.X, B.X);
  const double ky0 = std::floor(std::min(A.Y, B.Y)) + 1, ky1 = std::max(A.Y, B.Y);
  const std::size_t count = 2 + static_cast<std::size_t>(std::max(0.0, std::ceil(kx1 - kx0))) +
                            static_cast<std::size_t>(std::max(0.0, std::ceil(ky1 - ky0)));
  // Short segments, the usual ones, need no heap.
  double local[32];
  std::vector<double> heap;
  double* cuts = local;
  if (count > std::size(local)) {
    heap.resize(count);
    cuts = heap.data();
  }
  std::size_t n = 0;
  cuts[n++] = 0.0;
  cuts[n++] = 1.0;
  for (double k = kx0; k < kx1 && n < count; ++k) cuts[n++] = (k - A.X) / dx;
  for (double k = ky0; k < ky1 && n < count; ++k) cuts[n++] = (k - A.Y) / dy;
  std::sort(cuts, cuts + n);
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t c = 0; c + 1 < n; ++c) {
    const double t0 = cuts[c], t1 = cuts[c + 1];
    if (!(t1 > t0)) continue;
    const double tm = (t0 + t1) / 2;
    const int i = std::clamp(static_cast<int>(A.X + tm * dx), 0, fW - 2);
    const int j = std::clamp(static_cast<int>(A.Y + tm * dy), 0, fH - 2);
    const double* left = fDepth + static_cast<std::size_t>(i) * static_cast<std::size_t>(fH) + static_cast<std::size_t>(j);
    const double* right = left + fH;
    const double tl = left[0], bl = left[1], tr = right[0], br = right[1];
    if (!(tl == tl && bl == bl && tr == tr && br == br)) return kNaN;
    // Along the piece u = u0 + t·dx and v = v0 + t·dy within the cell, and
    // the bilinear depth is q0 + q1·t + q2·t².
    const double b = tr - tl, cc = bl - tl, d = tl - tr - bl + br;
    const double u0 = A.X - i, v0 = A.Y - j;
    const auto f = [&](double t) {
      const double u = u0 + t * dx, v = v0 + t * dy;
      return tl + b * u + cc * v + d * u * v;
    };
    least = std::min({least, f(t0), f(t1)});
    const double q2 = d * dx * dy, q1 = b * dx + cc * dy + d * (u0 * dy + v0 * dx);
    if (q2 > 0) {
      const double t = -q1 / (2 * q2);
      if (t > t0 && t < t1) least = std::min(least, f(t));
    }
  }
  return least;
}

}  // namespace sondralis
