#pragma once

// Douglas–Peucker thinning of a point list, in place. Points are vectors of
// (Longitude, Latitude, HBdepth) in their own units; every distance is a
// squared Euclidean distance. Each point's Level is its keep mark: 1 kept,
// 0 not (yet) kept.

#include "model/GPS.h"

namespace sondralis {

// Thins `list` with the tolerance 1 / threshold² (squared degrees): the end
// points always stay; an interior point stays when it lies farther than the
// tolerance from the chord of the points kept around it. Removed points are
// freed. Lists of fewer than three points keep all their points. Throws
// std::invalid_argument for a threshold below 1, before touching the list.
void ReducePointList(TPointList2& list, int threshold);

// Marks (Level = 1) the points to keep strictly between i0 and i1: the point
// farthest from the chord i0–i1 when its squared distance exceeds
// `tolerance`, then the same on both sides of it, left side first. Among
// equally far points the lowest index wins. Works with an explicit stack,
// so a list of any length is safe. Throws EListError for an index outside
// the list.
void ReduceRange(TPointList2& list, int i0, int i1, double tolerance);

}  // namespace sondralis
