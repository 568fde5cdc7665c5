#pragma once

// The first filter of the search for segments that meet a proposed one,
// vectorised: a whole bucket of segments, held as four arrays of end
// coordinates, is tested against the proposed segment at once, and only
// the few that might meet it are looked at one by one.

#include <cstddef>
#include <cstdint>

#include "contours/ChartTracer.h"

namespace sondralis {

// How many doubles past the end of a range SegmentsMayMeet may read (and
// ignore): the arrays must be that much longer than the last range.
inline constexpr std::size_t kSegmentScanPadding = 16;

// Writes to Out the indices i < N of the segments (AX[i], AY[i]) →
// (BX[i], BY[i]) that may conflict with P → Q (SegmentsConflict) and returns
// how many there are. Left out are segments with both ends beyond Margin on
// one side of P → Q's line (the cross product (Q − P) × (end − P), computed
// as plain products and differences, exactly as the scalar search does),
// and those with P and Q on one side of their own line beyond twice the
// bound SegmentsConflict trusts: it would find no conflict with them either.
// Out has room for N indices.
std::size_t SegmentsMayMeet(const double* AX, const double* AY, const double* BX, const double* BY, std::size_t N,
                            const TChartPoint& P, const TChartPoint& Q, double Margin, std::uint32_t* Out);

}  // namespace sondralis
