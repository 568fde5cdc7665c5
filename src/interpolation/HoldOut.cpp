#include "interpolation/HoldOut.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace sondralis {

namespace {

// The index of the node of Nodes (evenly spaced, ascending or descending)
// nearest to V, or nothing when V lies more than half a spacing beyond the
// first or the last node. A single node takes only its own position.
std::optional<std::size_t> NearestNode(const std::vector<double>& Nodes, double V) {
  if (Nodes.empty() || !std::isfinite(V)) return std::nullopt;
  if (Nodes.size() == 1) return Nodes[0] == V ? std::optional<std::size_t>(0) : std::nullopt;
  const bool ascending = Nodes.front() < Nodes.back();
  const auto before = [&](double a, double b) { return ascending ? a < b : a > b; };
  std::size_t i = static_cast<std::size_t>(std::lower_bound(Nodes.begin(), Nodes.end(), V, before) - Nodes.begin());
  if (i == Nodes.size() || (i > 0 && std::fabs(Nodes[i - 1] - V) <= std::fabs(Nodes[i] - V))) --i;
  const double half = 0.5 * std::fabs(Nodes.back() - Nodes.front()) / static_cast<double>(Nodes.size() - 1);
  if (std::fabs(Nodes[i] - V) > half * (1 + 1e-9)) return std::nullopt;
  return i;
}

}  // namespace

std::optional<std::pair<int, int>> NearestPixel(const TPixelCoordinates& Pixels, double Longitude, double Latitude) {
  const auto x = NearestNode(Pixels.Longitudes, Longitude);
  const auto y = NearestNode(Pixels.Latitudes, Latitude);
  if (!x || !y) return std::nullopt;
  return std::pair<int, int>(static_cast<int>(*x), static_cast<int>(*y));
}

std::vector<int> AssignFolds(std::span<const int> SegmentSizes, int Folds) {
  std::vector<int> fold(SegmentSizes.size(), 0);
  if (Folds < 1) return fold;
  std::vector<std::size_t> order(SegmentSizes.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return SegmentSizes[a] > SegmentSizes[b]; });
  std::vector<long long> load(static_cast<std::size_t>(Folds), 0);
  for (std::size_t s : order) {
    const auto lightest = std::min_element(load.begin(), load.end());
    fold[s] = static_cast<int>(lightest - load.begin());
    *lightest += SegmentSizes[s];
  }
  return fold;
}

THoldOutScore ScoreErrors(std::vector<double> Errors) {
  THoldOutScore score;
  score.Count = static_cast<int>(Errors.size());
  if (Errors.empty()) return score;
  double squares = 0;
  for (double& e : Errors) {
    squares += e * e;
    e = std::fabs(e);
  }
  std::sort(Errors.begin(), Errors.end());
  const std::size_t n = Errors.size();
  score.Rms = std::sqrt(squares / static_cast<double>(n));
  score.MedianAbs = n % 2 ? Errors[n / 2] : 0.5 * (Errors[n / 2 - 1] + Errors[n / 2]);
  // Nearest rank: the smallest error that at least 95 % of the errors do not exceed.
  const std::size_t rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
  score.P95Abs = Errors[std::max<std::size_t>(rank, 1) - 1];
  return score;
}

THoldOutScore HoldOutScore(const std::vector<std::vector<TSounding>>& Segments, const TPixelCoordinates& Pixels,
                           int Folds, const TMapWithout& MapWithout, TFeedback& Feedback) {
  if (Folds < 2) throw std::invalid_argument("A hold-out needs at least 2 folds.");
  std::vector<int> sizes;
  for (const auto& segment : Segments) sizes.push_back(static_cast<int>(segment.size()));
  const std::vector<int> fold = AssignFolds(sizes, Folds);

  std::vector<double> errors;
  int used = 0;
  for (int k = 0; k < Folds; ++k) {
    if (Feedback.Canceled()) throw TCanceled();
    Feedback.SetProgress(k, Folds);
    std::vector<bool> leftOut(Segments.size());
    bool any = false;
    for (std::size_t s = 0; s < Segments.size(); ++s)
      if (fold[s] == k && !Segments[s].empty()) leftOut[s] = any = true;
    if (!any) continue;
    ++used;
    const TDepthArray map = MapWithout(leftOut);
    if (map.Width() != static_cast<int>(Pixels.Longitudes.size()) ||
        map.Height() != static_cast<int>(Pixels.Latitudes.size()))
      throw std::invalid_argument("The map made without a fold is not the size of the pixel grid.");
    for (std::size_t s = 0; s < Segments.size(); ++s) {
      if (!leftOut[s]) continue;
      for (const TSounding& p : Segments[s]) {
        const auto pixel = NearestPixel(Pixels, p.Longitude, p.Latitude);
        if (!pixel) continue;
        const double depth = map[pixel->first][static_cast<std::size_t>(pixel->second)];
        if (std::isfinite(depth)) errors.push_back(depth - p.Depth);
      }
    }
  }
  if (Feedback.Canceled()) throw TCanceled();
  Feedback.SetProgress(Folds, Folds);
  THoldOutScore score = ScoreErrors(std::move(errors));
  score.Folds = used;
  return score;
}

}  // namespace sondralis
