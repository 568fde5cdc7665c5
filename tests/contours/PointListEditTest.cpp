#include "contours/PointListEdit.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace sondralis {
namespace {

// (Longitude, Latitude, HBdepth) of each point, in order.
struct Coord {
  double lon, lat, depth;
};

void Fill(TPointList2& list, const std::vector<Coord>& coords) {
  for (const Coord& c : coords) {
    auto* p = new TPoint4D2;
    p->Longitude = c.lon;
    p->Latitude = c.lat;
    p->HBdepth = c.depth;
    p->Altitude = list.Count();  // the original index, to identify survivors
    list.Add(p);
  }
}

std::vector<int> Survivors(const TPointList2& list) {
  std::vector<int> out;
  for (const TPoint4D2* p : list) out.push_back(static_cast<int>(p->Altitude));
  return out;
}

bool InteriorAllMarked(const TPointList2& list) {
  for (int i = 1; i + 1 < list.Count(); ++i)
    if (list.Points(i)->Level != 1) return false;
  return true;
}

TEST(ReducePointList, DropsPointsOnTheChordAndKeepsDeviations) {
  TPointList2 collinear;
  Fill(collinear, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  ReducePointList(collinear, 1);
  EXPECT_EQ(Survivors(collinear), (std::vector<int>{0, 2}));

  // Depth is the third coordinate: 5 cm off the chord is far at t = 1.
  TPointList2 deeper;
  Fill(deeper, {{0, 0, 0}, {1, 0, 5}, {2, 0, 0}});
  ReducePointList(deeper, 1);
  EXPECT_EQ(Survivors(deeper), (std::vector<int>{0, 1, 2}));

  // A point beyond an end of the chord is measured to that end.
  TPointList2 beyond;
  Fill(beyond, {{0, 0, 0}, {-0.5, 0, 0}, {2, 0, 0}, {2.8, 0, 0}, {1, 0, 0}});
  ReducePointList(beyond, 1);  // tolerance 1: only 2.8 is farther (1.8²)
  EXPECT_EQ(Survivors(beyond), (std::vector<int>{0, 3, 4}));

  TPointList2 zigzag;
  std::vector<Coord> zz;
  for (int i = 0; i < 40; ++i) zz.push_back({i * 0.001, (i % 2) * 0.002, 300});
  Fill(zigzag, zz);
  ReducePointList(zigzag, 1000);  // tolerance 1e-6; every deviation is larger
  EXPECT_EQ(zigzag.Count(), 40);
  EXPECT_TRUE(InteriorAllMarked(zigzag));

  TPointList2 two, one, none;
  Fill(two, {{0, 0, 0}, {1, 1, 0}});
  Fill(one, {{0, 0, 0}});
  ReducePointList(two, 5);
  ReducePointList(one, 5);
  ReducePointList(none, 5);
  EXPECT_EQ(two.Count(), 2);
  EXPECT_EQ(one.Count(), 1);
  EXPECT_EQ(none.Count(), 0);
}

TEST(ReducePointList, LowestIndexWinsATie) {
  // P1 and P2 lie 1 off the chord A-B. Taking P1 first leaves P2 0.138 off
  // the chord P1-B (dropped at tolerance 0.25); taking P2 first would leave
  // P1 0.346 off A-P2 and keep both.
  TPointList2 list;
  Fill(list, {{0, 0, 0}, {2, 1, 0}, {5, 1, 0}, {10, 0, 0}});
  ReducePointList(list, 2);
  EXPECT_EQ(Survivors(list), (std::vector<int>{0, 1, 3}));

  // A closed line (last point = first): distances are taken to the start,
  // so the point farthest from it is kept first.
  TPointList2 ring;
  Fill(ring, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.001, 1, 0}, {0, 0, 0}});
  ReducePointList(ring, 1);  // (1, 1) is 2 from the start; the others < 1 from the chords
  EXPECT_EQ(Survivors(ring), (std::vector<int>{0, 2, 4}));
}

TEST(ReducePointList, RefusesAThresholdBelowOneBeforeTouchingTheList) {
  TPointList2 list;
  Fill(list, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  list.Points(1)->Level = 7;
  EXPECT_THROW(ReducePointList(list, 0), std::invalid_argument);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Points(1)->Level, 7);
  EXPECT_THROW(ReduceRange(list, 0, 3, 1.0), EListError);
}

// A larger threshold keeps a superset of the points: the property the HT
// export's bisection relies on.
TEST(ReducePointList, LargerThresholdsKeepSupersets) {
  std::mt19937 rng(1234);
  std::normal_distribution<double> step(0, 0.01);
  for (int round = 0; round < 20; ++round) {
    std::vector<Coord> walk{{8.0, 47.0, 500}};
    for (int i = 1; i < 300; ++i) walk.push_back({walk.back().lon + step(rng), walk.back().lat + step(rng), 500});
    std::set<int> previous;
    for (int t : {1, 3, 10, 30, 100, 300, 1000, 3000, 10000}) {
      TPointList2 list;
      Fill(list, walk);
      ReducePointList(list, t);
      EXPECT_TRUE(InteriorAllMarked(list));
      const std::vector<int> kept = Survivors(list);
      const std::set<int> current(kept.begin(), kept.end());
      EXPECT_TRUE(std::includes(current.begin(), current.end(), previous.begin(), previous.end()))
          << "round " << round << ", threshold " << t;
      previous = current;
    }
  }
}

// A zigzag of growing amplitude: every split keeps the point next to the
// end of its range, so a recursive descent would go as deep as the list is
// long. Run it on a thread with a small stack.
void* ReduceDeepZigzag(void* arg) {
  auto* list = static_cast<TPointList2*>(arg);
  ReducePointList(*list, 1);
  return nullptr;
}

TEST(ReducePointList, WorstCaseDepthNeedsNoCallStack) {
  const int n = 10001;
  TPointList2 list;
  std::vector<Coord> coords;
  coords.reserve(n);
  for (int k = 0; k < n; ++k) coords.push_back({k * 1.0, (k % 2 ? -1.0 : 1.0) * k, 0});
  Fill(list, coords);

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, ReduceDeepZigzag, &list), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);

  // Each chord runs through every other point and the next point off it is
  // far away, so every point stays.
  EXPECT_EQ(list.Count(), n);
  EXPECT_TRUE(InteriorAllMarked(list));
}

}  // namespace
}  // namespace sondralis
