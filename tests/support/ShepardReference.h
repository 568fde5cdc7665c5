#pragma once

// Shepard's mean evaluated in long double, the yardstick of the kernels:
// differences of the 32-bit sample positions and a double query are exact
// in long double, and its exponent range holds any power of a distance
// between doubles, so this is the formula to about 1e-18.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "interpolation/ShepardInterp.h"

namespace sondralis::testing {

struct TSample {
  float X, Y, V;
};

inline TShepardInterp MakeInterp(const std::vector<TSample>& samples, double p, double tolerance = 0) {
  TPointList pts;
  TValueList vals;
  for (const TSample& s : samples) {
    pts.Add({s.X, s.Y});
    vals.Add(s.V);
  }
  return TShepardInterp(pts, vals, p, nullptr, tolerance);
}

// The first sample at exactly (x, y) gives its value.
inline long double LongDoubleShepard(const std::vector<TSample>& samples, int p, double x, double y) {
  long double total = 0, sum = 0;
  for (const TSample& s : samples) {
    const long double dx = static_cast<long double>(x) - s.X, dy = static_cast<long double>(y) - s.Y;
    if (dx == 0 && dy == 0) return s.V;
    const long double w = 1 / std::pow(dx * dx + dy * dy, static_cast<long double>(p) / 2);
    total += w;
    sum += w * s.V;
  }
  if (samples.empty()) return std::numeric_limits<long double>::quiet_NaN();
  return sum / total;
}

// A survey of a small lake: Lines boat tracks across a box of Size degrees
// at (8.5, 46.2), a reading every Step degrees with a little GPS jitter, a
// depth that varies smoothly and a few shore readings of 0.
inline std::vector<TSample> SurveyCloud(std::mt19937_64& random, int Lines, double Size, double Step) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::normal_distribution<double> jitter(0, Step / 4);
  std::vector<TSample> samples;
  for (int line = 0; line < Lines; ++line) {
    const double x0 = 8.5 + Size * unit(random), y0 = 46.2 + Size * unit(random);
    const double x1 = 8.5 + Size * unit(random), y1 = 46.2 + Size * unit(random);
    const int steps = std::max(2, static_cast<int>(std::hypot(x1 - x0, y1 - y0) / Step));
    for (int k = 0; k <= steps; ++k) {
      const double t = static_cast<double>(k) / steps;
      const double x = x0 + t * (x1 - x0) + jitter(random), y = y0 + t * (y1 - y0) + jitter(random);
      const double depth = 1500 + 900 * std::sin(40 * (x - 8.5) / Size) * std::cos(30 * (y - 46.2) / Size);
      samples.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(depth)});
    }
  }
  for (int k = 0; k < 4 * Lines; ++k)
    samples.push_back({static_cast<float>(8.5 + Size * unit(random)), static_cast<float>(46.2 + Size * unit(random)), 0});
  return samples;
}

}  // namespace sondralis::testing
