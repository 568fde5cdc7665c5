#pragma once

#include <cstdint>
#include <vector>

#include "interpolation/ShepardKernel.h"

namespace sondralis {

// Lowest power whose far samples are bounded instead of summed: below it
// the samples far from a pixel carry too much of its weight for the bound
// to save anything, and every sample is summed.
inline constexpr int kBoundedMinPower = 6;

// What a column evaluation did, added up: pixels evaluated and sample pairs
// summed for them (the exact path counts every sample).
struct TShepardTally {
  std::uint64_t Pixels = 0;
  std::uint64_t Pairs = 0;
  std::uint64_t ExactQueries = 0;  // queries redone on the exact path
};

// The samples of an interpolator sorted into square cells, for evaluating
// Shepard's mean to a given tolerance without summing the samples far from
// a pixel: the cells are summed exactly ring by ring outward from the
// pixel's cell until a bound on the weight of everything farther makes the
// result's error smaller than the tolerance. Read-only after construction.
class TShepardCells {
 public:
  TShepardCells() = default;
  // Sorts the samples (in their frame) into cells of about a few dozen
  // samples each where the samples are, kept column after column.
  explicit TShepardCells(const TShepardSamples& Samples);

  bool Empty() const noexcept { return fSorted.Count() == 0; }
  int Columns() const noexcept { return fColumns; }
  int Rows() const noexcept { return fRows; }

  // Evaluates Count (1 to kKernelRows) queries at (Qx, Qy[r]) in the
  // samples' frame to within Tolerance (in the values' unit) of Shepard's
  // mean over all samples, writing Out[r]. Ring is where the outward search
  // starts and is left where it ended, so consecutive pixels of a column
  // start from their neighbour's ring. Queries the batched kernel cannot
  // guarantee are evaluated exactly over All, the same samples in their
  // original order (so the first sample at a query's exact position wins).
  void Evaluate(const TShepardSamples& All, int Power, double Tolerance, double Qx, const double* Qy, int Count,
                int& Ring, double* Out, TShepardTally* Tally) const;

  // The cell row a query's latitude (in the frame) falls into, clamped to
  // the grid: queries of one evaluation should lie within a cell or two.
  int CellRow(double Qy) const noexcept;

 private:
  struct TRect {
    int I0, I1, J0, J1;  // inclusive cell columns and rows
  };
  TRect Clamp(int I0, int I1, int J0, int J1) const noexcept;
  TRect Grow(const TRect& R, int By) const noexcept;
  bool Whole(const TRect& R) const noexcept;
  std::uint32_t CountIn(const TRect& R) const noexcept;
  // Distance from (Qx, Qy) to the samples outside R; +inf when none are.
  double DistanceOutside(const TRect& R, double Qx, double Qy) const noexcept;
  // R and the rectangles around it one ring at a time, with the samples
  // each holds beyond the previous one: what the tail bound counts.
  struct TRings;
  TRings RingsAround(const TRect& R) const noexcept;
  // An upper bound on Σ 1/dᵖ over the samples outside the rings' R seen
  // from (Qx, Qy).
  double TailWeight(const TRings& Rings, int Power, double Qx, double Qy) const noexcept;
  // The runs of samples of R's cells, one per cell column.
  void RangesOf(const TRect& R, std::vector<TSampleRange>& Ranges) const;
  // The runs of R's cells that are not in Inner ⊂ R.
  void RangesBetween(const TRect& Inner, const TRect& R, std::vector<TSampleRange>& Ranges) const;

  TShepardSamples fSorted;
  int fColumns = 0, fRows = 0;
  double fX0 = 0, fY0 = 0, fCell = 1;
  std::vector<std::uint32_t> fStart;  // first sample of each cell (column after column), and the count
  std::vector<std::uint32_t> fTable;  // samples in cells [0, i) × [0, j) at (i, j), (fColumns + 1) × (fRows + 1)
};

}  // namespace sondralis
