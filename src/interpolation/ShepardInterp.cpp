#include "interpolation/ShepardInterp.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/Feedback.h"

namespace sondralis {

TShepardInterp::TShepardInterp(const TPointList& coord, const TValueList& value, double p, TFeedback* feedback)
    : pts(coord), vals(value), n(coord.Length()), ndim(2), pneg(-p) {
  if (coord.Length() != value.Length() && feedback) feedback->Log("coordinates and values matrices missmatch.");
  // Values beyond the positions, or positions without a value, take no part.
  fCount = std::min(n, value.Length());
  if (p == std::floor(p) && p >= kKernelMinPower && p <= kKernelMaxPower) fKernelPower = static_cast<int>(p);
  if (fKernelPower != 0) fSamples = TShepardSamples(pts.Items(), vals.Items(), static_cast<std::size_t>(fCount));
}

double TShepardInterp::interp(double xcoord, double ycoord) const {
  double sum = 0;
  double total = 0;
  for (int i = 0; i < fCount; ++i) {
    const auto& pt = pts[i];
    const long double dx = static_cast<long double>(xcoord) - pt[0];
    const long double dy = static_cast<long double>(ycoord) - pt[1];
    const double d = static_cast<double>(std::sqrt(dx * dx + dy * dy));
    if (d == 0.0) return vals[i];
    const double w = std::pow(d, pneg);
    total += w;
    sum += w * vals[i];
  }
  if (fCount == 0) return std::numeric_limits<double>::quiet_NaN();
  return sum / total;
}

double TShepardInterp::FastInterp(double xcoord, double ycoord) const {
  if (fKernelPower == 0) return interp(xcoord, ycoord);
  return ShepardKernel(fSamples, fKernelPower, xcoord, ycoord);
}

}  // namespace sondralis
