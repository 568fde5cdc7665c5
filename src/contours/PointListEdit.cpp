// PointListEdit: Douglas–Peucker reduction of a point list.

#include "contours/PointListEdit.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sondralis {

namespace {

struct Vec3 {
  double x, y, z;
};

Vec3 Coordinates(const TPoint4D2& p) { return {p.Longitude, p.Latitude, p.HBdepth}; }
Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

void ReduceRange(TPointList2& list, int i0, int i1, double tolerance) {
  if (i0 + 1 >= i1) return;
  list.Items(i0);  // range check of both ends
  list.Items(i1);
  const auto points = list.begin();

  // Ranges still to examine; the top is examined next. Pushing the right
  // half before the left one examines the ranges in the order a recursive
  // left-then-right descent would.
  std::vector<std::pair<int, int>> pending;
  pending.emplace_back(i0, i1);
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    if (from + 1 >= to) continue;

    const Vec3 a = Coordinates(*points[from]);
    const Vec3 b = Coordinates(*points[to]);
    const Vec3 v = b - a;
    const double c2 = Dot(v, v);
    double farthest = 0;
    int index = -1;
    for (int k = from + 1; k < to; ++k) {
      const Vec3 p = Coordinates(*points[k]);
      const Vec3 w = p - a;
      const double c1 = Dot(w, v);
      double distance;
      if (c1 <= 0) {
        distance = Dot(w, w);
      } else if (c1 > c2) {
        const Vec3 d = p - b;
        distance = Dot(d, d);
      } else {
        const double r = c1 / c2;
        const Vec3 d = p - Vec3{a.x + r * v.x, a.y + r * v.y, a.z + r * v.z};
        distance = Dot(d, d);
      }
      // Strictly larger: the lowest index wins among equal distances.
      if (distance > farthest) {
        farthest = distance;
        index = k;
      }
    }
    if (index >= 0 && farthest > tolerance) {
      points[index]->Level = 1;
      pending.emplace_back(index, to);
      pending.emplace_back(from, index);
    }
  }
}

void ReducePointList(TPointList2& list, int threshold) {
  if (threshold < 1) throw std::invalid_argument("The reduce threshold must be at least 1, not " + std::to_string(threshold));
  const double t = threshold;
  const double tolerance = 1.0 / (t * t);
  for (TPoint4D2* p : list) p->Level = 0;
  const int count = list.Count();
  if (count < 3) return;
  ReduceRange(list, 0, count - 1, tolerance);

  // Keep both end points whatever their mark; free the unmarked interior
  // points and rebuild the list in one pass instead of erasing one by one.
  std::vector<TPoint4D2*> kept;
  kept.reserve(static_cast<std::size_t>(count));
  kept.push_back(list.Items(0));
  for (int i = 1; i < count - 1; ++i) {
    TPoint4D2* p = list.Items(i);
    if (p->Level != 0)
      kept.push_back(p);
    else
      delete p;
  }
  kept.push_back(list.Items(count - 1));
  list.Clear();
  list.Reserve(static_cast<int>(kept.size()));
  for (TPoint4D2* p : kept) list.Add(p);
}

}  // namespace sondralis
