// ShepardInterp: TShepardInterp, Shepard's inverse-distance weighting over
// all samples, and the sample arrays TPointList and TValueList.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "interpolation/ShepardCells.h"
#include "interpolation/ShepardKernel.h"

namespace sondralis {

class TFeedback;

// A growable array shared by reference: copies refer to the same elements,
// as the sample arrays of the run are shared with the interpolator built
// from them. A default-constructed array is a new, empty one.
template <typename T>
class TSharedArray {
 public:
  TSharedArray() : fItems(std::make_shared<std::vector<T>>()) {}

  int Length() const noexcept { return static_cast<int>(fItems->size()); }
  void Add(const T& Item) { fItems->push_back(Item); }
  void Reserve(std::size_t Count) { fItems->reserve(Count); }
  // Empties the array for every holder.
  void Clear() noexcept { fItems->clear(); }

  T& operator[](int I) noexcept { return (*fItems)[static_cast<std::size_t>(I)]; }
  const T& operator[](int I) const noexcept { return (*fItems)[static_cast<std::size_t>(I)]; }
  std::span<const T> Items() const noexcept { return *fItems; }
  bool SharesWith(const TSharedArray& Other) const noexcept { return fItems == Other.fItems; }

 private:
  std::shared_ptr<std::vector<T>> fItems;
};

// Sample positions: element 0 of a pair is the longitude (x, east positive),
// element 1 the latitude (y, north positive), in degrees.
using TPointList = TSharedArray<std::array<float, 2>>;
// Sample values, one per position; the program stores depths in centimetres.
using TValueList = TSharedArray<float>;

// Shepard's inverse-distance weighting over all samples, with no search
// radius and no neighbour limit: the value at (x, y) is
// Σ vᵢ / dᵢᵖ ÷ Σ 1 / dᵢᵖ, with dᵢ the plain Euclidean distance in degrees
// (longitude and latitude taken as equal units). The first sample, in array
// order, lying exactly at (x, y) gives its value unchanged.
//
// Read-only after construction, so any number of threads may query it at
// once. The caller must not change the two arrays while queries run.
class TShepardInterp {
 public:
  // Keeps references to the two arrays. Arrays of different length are
  // reported to the feedback, when given, with the line "coordinates and
  // values matrices missmatch."; the interpolator is built anyway, over the
  // positions that have a value. The samples are also laid out for the fast
  // kernels here, once, and sorted into cells for powers from
  // kBoundedMinPower on. Tolerance is what the workers pass to Column: 0
  // (or less) evaluates every pixel over all samples.
  TShepardInterp(const TPointList& coord, const TValueList& value, double p, TFeedback* feedback = nullptr,
                 double Tolerance = 0);

  TPointList pts;
  TValueList vals;
  int n = 0;     // number of positions given
  int ndim = 2;  // coordinate dimensions; always 2
  double pneg = 0;  // −p

  // The plain formula, kept as the reference: each distance in extended
  // precision rounded to double, each weight pow(d, −p), sums in double in
  // array order. NaN without samples.
  double interp(double xcoord, double ycoord) const;

  // The same value from the vectorised kernels (1e-13 relative of Shepard's
  // formula evaluated in long double) for whole p from 2 to 14; any other p
  // uses interp.
  double FastInterp(double xcoord, double ycoord) const;

  // The depths of one pixel column at longitude Longitude: Depths[r] for
  // every row r whose latitude is Latitudes[r] and whose Wanted[r] is set
  // (every row when Wanted is empty); the other entries are left as they
  // are. With Tolerance ≤ 0, or p below kBoundedMinPower, each is the mean
  // over all samples as FastInterp computes it (1e-13 relative of the
  // formula); otherwise each is within Tolerance (in the values' unit) of
  // the formula, summing only the samples near the pixel. The rows are
  // evaluated four at a time and each result depends only on the column, so
  // the workers' split of columns never changes a value. Tally, when given,
  // counts the pixels and the sample pairs summed.
  //
  // ExactWhere, when given, is asked about each value found to a tolerance,
  // with the interval [value − Tolerance, value + Tolerance] that holds the
  // exact value: where it answers true (a colour or a level that the
  // interval straddles, say), the value is evaluated exactly instead, so
  // what is made from the values is what the exact values make.
  using TExactWhere = std::function<bool(double Low, double High)>;
  void Column(double Longitude, std::span<const double> Latitudes, std::span<const bool> Wanted, double Tolerance,
              std::span<double> Depths, TShepardTally* Tally = nullptr, const TExactWhere& ExactWhere = {}) const;

  // Depths[c][r] for kKernelColumns pixel columns at Longitudes[c] and
  // every row r, the same values Column gives each of them with every row
  // wanted. Where every sample is summed, the columns share the part of each
  // pair's work that depends on the row only, which makes this faster than
  // a call of Column per column.
  void Columns(const std::array<double, kKernelColumns>& Longitudes, std::span<const double> Latitudes,
               double Tolerance, const std::array<std::span<double>, kKernelColumns>& Depths,
               TShepardTally* Tally = nullptr, const TExactWhere& ExactWhere = {}) const;

  // The tolerance given at construction.
  double Tolerance() const noexcept { return fTolerance; }

  // Number of samples queried: positions that have a value.
  int SampleCount() const noexcept { return fCount; }
  const TShepardSamples& Samples() const noexcept { return fSamples; }
  // The whole power the kernel uses, or 0 when it falls back to interp.
  int KernelPower() const noexcept { return fKernelPower; }

 private:
  // Sums.Sum[t] / Sums.Total[t] for the query (Qx, Qy), or the exact mean
  // where the batched kernel cannot vouch for its sums (counted in Exact).
  double FinishQuery(const TRowSums& Sums, int t, double Qx, double Qy, std::uint64_t& Exact) const;

  int fCount = 0;
  int fKernelPower = 0;
  double fTolerance = 0;
  TShepardSamples fSamples;
  TShepardCells fCells;  // for kBoundedMinPower and up
};

}  // namespace sondralis
