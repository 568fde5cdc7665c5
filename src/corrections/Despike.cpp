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
  std::vector<double> window(width), deviation(width), scratch(width), slopes;
  slopes.reserve(width * (width - 1) / 2);
  const auto median = [](std::vector<double>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    if (v.size() % 2 == 1) return *mid;
    return (*mid + *std::max_element(v.begin(), mid)) / 2;
  };
  // The median of the window and the median absolute deviation from it.
  const auto centre = [&](double& mad) {
    std::copy(window.begin(), window.end(), scratch.begin());
    const double m = median(scratch);
    for (std::size_t j = 0; j < width; ++j) deviation[j] = std::fabs(window[j] - m);
    mad = median(deviation);
    return m;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t first = std::min(i >= k ? i - k : 0, n - width);
    std::copy_n(Depths.begin() + static_cast<std::ptrdiff_t>(first), width, window.begin());
    double mad = 0;
    double m = centre(mad);
    // On a steep slope the readings of the window spread by the slope
    // itself, and a spike of a metre hides in that spread. The same
    // readings carried along the slope to the reading judged (the median
    // of the slopes between every two of them, which a few spikes do not
    // move) spread only by the sounder's noise; the window is judged as
    // level or as sloping, whichever fits its readings more closely.
    slopes.clear();
    for (std::size_t a = 0; a < width; ++a)
      for (std::size_t b = a + 1; b < width; ++b) slopes.push_back((window[b] - window[a]) / static_cast<double>(b - a));
    const double slope = median(slopes);
    if (slope != 0) {
      for (std::size_t j = 0; j < width; ++j)
        window[j] += slope * (static_cast<double>(i) - static_cast<double>(first + j));
      double carriedMad = 0;
      const double carried = centre(carriedMad);
      if (carriedMad < mad) {
        m = carried;
        mad = carriedMad;
      }
    }
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
