#include "exports/SoundingDistance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace sondralis {

namespace {

// The soundings sorted into square buckets of the local plane, so that a
// cell's nearest sounding is found among the buckets around it. Tracks are
// lines, so buckets of about the mean spacing hold a few points each along
// the tracks and none between them.
class TBuckets {
 public:
  TBuckets(const TLocalPlane& Plane, std::span<const std::array<float, 2>> Soundings) {
    fPoints.reserve(Soundings.size());
    double minX = std::numeric_limits<double>::infinity(), minY = minX, maxX = -minX, maxY = -minX;
    for (const auto& s : Soundings) {
      const double x = Plane.X(s[0]), y = Plane.Y(s[1]);
      fPoints.push_back({x, y});
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
    const double n = static_cast<double>(fPoints.size());
    const double w = maxX - minX, h = maxY - minY;
    // At most 4096 buckets a side, however thin the survey.
    fSize = std::max({std::sqrt(std::max(w * h, 1.0) / n), w / 4096, h / 4096, 1e-3});
    fMinX = minX;
    fMinY = minY;
    fNx = static_cast<int>(w / fSize) + 1;
    fNy = static_cast<int>(h / fSize) + 1;
    std::vector<int> bucketOf(fPoints.size());
    fStart.assign(static_cast<std::size_t>(fNx) * static_cast<std::size_t>(fNy) + 1, 0);
    for (std::size_t i = 0; i < fPoints.size(); ++i) {
      bucketOf[i] = Bucket(BucketX(fPoints[i][0]), BucketY(fPoints[i][1]));
      ++fStart[static_cast<std::size_t>(bucketOf[i]) + 1];
    }
    for (std::size_t b = 1; b < fStart.size(); ++b) fStart[b] += fStart[b - 1];
    fSorted.resize(fPoints.size());
    std::vector<int> fill(fStart.begin(), fStart.end() - 1);
    for (std::size_t i = 0; i < fPoints.size(); ++i)
      fSorted[static_cast<std::size_t>(fill[static_cast<std::size_t>(bucketOf[i])]++)] = fPoints[i];
  }

  // The squared distance from (x, y) to the nearest point. Hint is a squared
  // distance known not to be exceeded (from a point near by), or infinity.
  double Nearest2(double x, double y, double Hint) const {
    double best = Hint;
    const int bx = BucketX(x), by = BucketY(y);
    for (int r = 0;; ++r) {
      // Every point of ring r lies at least (r − 1) buckets away.
      const double gap = (r - 1) * fSize;
      if (gap > 0 && gap * gap >= best) break;
      ScanRing(bx, by, r, x, y, best);
      // Every bucket has been looked at.
      if (bx - r <= 0 && by - r <= 0 && bx + r >= fNx - 1 && by + r >= fNy - 1) break;
    }
    return best;
  }

 private:
  int BucketX(double x) const { return static_cast<int>(std::floor((x - fMinX) / fSize)); }
  int BucketY(double y) const { return static_cast<int>(std::floor((y - fMinY) / fSize)); }
  int Bucket(int ix, int iy) const {
    return std::clamp(iy, 0, fNy - 1) * fNx + std::clamp(ix, 0, fNx - 1);
  }

  void ScanBucket(int ix, int iy, double x, double y, double& best) const {
    if (ix < 0 || iy < 0 || ix >= fNx || iy >= fNy) return;
    const auto b = static_cast<std::size_t>(iy * fNx + ix);
    for (int i = fStart[b]; i < fStart[b + 1]; ++i) {
      const auto& p = fSorted[static_cast<std::size_t>(i)];
      const double dx = p[0] - x, dy = p[1] - y;
      best = std::min(best, dx * dx + dy * dy);
    }
  }

  void ScanRing(int bx, int by, int r, double x, double y, double& best) const {
    if (r == 0) return ScanBucket(bx, by, x, y, best);
    const int x0 = std::max(bx - r, 0), x1 = std::min(bx + r, fNx - 1);
    const int y0 = std::max(by - r + 1, 0), y1 = std::min(by + r - 1, fNy - 1);
    if (by - r >= 0 && by - r < fNy)
      for (int ix = x0; ix <= x1; ++ix) ScanBucket(ix, by - r, x, y, best);
    if (by + r >= 0 && by + r < fNy)
      for (int ix = x0; ix <= x1; ++ix) ScanBucket(ix, by + r, x, y, best);
    if (bx - r >= 0 && bx - r < fNx)
      for (int iy = y0; iy <= y1; ++iy) ScanBucket(bx - r, iy, x, y, best);
    if (bx + r >= 0 && bx + r < fNx)
      for (int iy = y0; iy <= y1; ++iy) ScanBucket(bx + r, iy, x, y, best);
  }

  std::vector<std::array<double, 2>> fPoints;
  std::vector<std::array<double, 2>> fSorted;
  std::vector<int> fStart;
  double fSize = 1, fMinX = 0, fMinY = 0;
  int fNx = 1, fNy = 1;
};

}  // namespace

TDistanceArray NearestSoundingDistances(const TExportGrid& Grid, std::span<const std::array<float, 2>> Soundings,
                                        TFeedback& Feedback) {
  Grid.Check();
  const int columns = Grid.Columns(), rows = Grid.Rows();
  TDistanceArray distances(columns, rows);
  distances.Fill(std::numeric_limits<float>::quiet_NaN());
  if (Soundings.empty()) return distances;

  const TLocalPlane plane(Grid.Extent);
  const TBuckets buckets(plane, Soundings);
  std::vector<double> rowY(static_cast<std::size_t>(rows));
  for (int y = 0; y < rows; ++y) rowY[static_cast<std::size_t>(y)] = plane.Y(Grid.Latitude(y));
  for (int x = 0; x < columns; ++x) {
    if (Feedback.Canceled()) throw TCanceled{};
    const double cx = plane.X(Grid.Longitude(x));
    auto column = distances[x];
    // The nearest distance of the cell above bounds this one's by the
    // step between them, which keeps the search to a ring or two.
    double previous = std::numeric_limits<double>::infinity();
    double previousY = 0;
    for (int y = 0; y < rows; ++y) {
      if (!Grid.Covered(x, y)) {
        previous = std::numeric_limits<double>::infinity();
        continue;
      }
      const double cy = rowY[static_cast<std::size_t>(y)];
      double hint = std::numeric_limits<double>::infinity();
      if (std::isfinite(previous)) {
        const double bound = previous + std::fabs(cy - previousY);
        hint = bound * bound * (1 + 1e-12);
      }
      const double d = std::sqrt(buckets.Nearest2(cx, cy, hint));
      column[static_cast<std::size_t>(y)] = static_cast<float>(d);
      previous = d;
      previousY = cy;
    }
  }
  return distances;
}

}  // namespace sondralis
