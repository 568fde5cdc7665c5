#include "corrections/Despike.h"

#include <algorithm>
#include <cmath>

#include "corrections/Readings.h"

namespace sondralis {

std::vector<bool> FindSpikes(std::span<const double> Depths, const TDespikeOptions& Options) {
  const std::size_t n = Depths.size();
  std::vector<bool> spike(n);
  if (n < 3) return spike;
  const std::size_t k = static_cast<std::size_t>(std::max(1, Options.K));
  const std::size_t width = std::min(n, 2 * k + 1);
  std::vector<double> window(width), deviation(width);
  const auto median = [](std::vector<double>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    if (v.size() % 2 == 1) return *mid;
    return (*mid + *std::max_element(v.begin(), mid)) / 2;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t first = std::min(i >= k ? i - k : 0, n - width);
    std::copy_n(Depths.begin() + static_cast<std::ptrdiff_t>(first), width, window.begin());
    const double m = median(window);
    for (std::size_t j = 0; j < width; ++j) deviation[j] = std::fabs(Depths[first + j] - m);
    const double mad = median(deviation);
    spike[i] = std::fabs(Depths[i] - m) > std::max(Options.T * mad, Options.A);
  }
  return spike;
}

TDespikeResult Despike(TGPX& Doc, const TDespikeOptions& Options) {
  TDespikeResult out;
  std::vector<double> depths;
  ForEachRecording(Doc, [&](TGPXtrkseg& segment) {
    depths.clear();
    for (const TPoint4D2* p : segment)
      if (p->HBdepth != 0) depths.push_back(p->HBdepth);
    out.Readings += static_cast<long long>(depths.size());
    const std::vector<bool> spike = FindSpikes(depths, Options);
    if (std::none_of(spike.begin(), spike.end(), [](bool s) { return s; })) return;
    std::size_t reading = 0;
    out.Removed += segment.FreeWhere([&](const TPoint4D2* p) { return p->HBdepth != 0 && spike[reading++]; });
  });
  if (out.Removed > 0) Doc.Selection.Clear();
  return out;
}

}  // namespace sondralis
