#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "model/GPS.h"
#include "support/DecimalCommaLocale.h"

namespace sondralis {
namespace {

TPoint4D2* NewPoint(double lat, double lon) {
  auto* p = new TPoint4D2;
  p->Latitude = lat;
  p->Longitude = lon;
  return p;
}

TEST(Point, NewPointAndCopyKeepMarkers) {
  TPoint4D2 p;
  EXPECT_EQ(p.Latitude, 0);
  EXPECT_EQ(p.HBdepth, 0);
  EXPECT_EQ(p.Level, 0);
  EXPECT_TRUE(p.enabled);

  TPoint4D2 src;
  src.Latitude = 1;
  src.Longitude = 2;
  src.Altitude = 3;
  src.HBdepth = 4;
  src.DateTime = 5;
  src.Level = 1;
  src.enabled = false;
  p.Level = 0;
  p.CopyFrom(src);
  EXPECT_EQ(p.Altitude, 3);
  EXPECT_EQ(p.HBdepth, 4);
  EXPECT_EQ(p.DateTime, 5);
  EXPECT_EQ(p.Level, 0) << "Level is a work marker and is not copied";
  EXPECT_TRUE(p.enabled) << "enabled is not copied";
}

TEST(Point, DistanceIsNeverNaN) {
  TPoint4D2 origin;
  EXPECT_EQ(origin.WGS84Distance(0, 0, false), 0);
  EXPECT_NEAR(origin.WGS84Distance(1, 0, false), 111319.49, 0.01);

  // Nearly coincident points: rounding can push the cosine argument past 1.
  TPoint4D2 p;
  p.Latitude = 47.123456789;
  p.Longitude = 8.987654321;
  for (double d : {1e-12, 1e-10, 1e-9, 1e-8}) {
    const double dist = p.WGS84Distance(p.Longitude + d, p.Latitude - d, false);
    EXPECT_FALSE(std::isnan(dist)) << d;
    EXPECT_GE(dist, 0);
    EXPECT_LT(dist, 0.01);
  }
  // Nearly antipodal points: argument near -1, distance near pi * R.
  TPoint4D2 q;
  q.Latitude = 30.000000001;
  q.Longitude = 10;
  const double far = q.WGS84Distance(-170, -30, false);
  EXPECT_FALSE(std::isnan(far));
  EXPECT_NEAR(far, M_PI * 6378137.0, 1.0);
  // With Almostnul the 8-decimal test turns tiny distances into 0.
  EXPECT_EQ(p.WGS84Distance(p.Longitude + 1e-9, p.Latitude, true), 0);
}

TEST(Point, IsInBoxIsStrictInAnyCornerOrder) {
  TPoint4D2 p;
  p.Latitude = 46.5;
  p.Longitude = 8.5;
  EXPECT_TRUE(p.IsInBox(9, 8, 46, 47));
  EXPECT_TRUE(p.IsInBox(8, 9, 47, 46));
  EXPECT_TRUE(p.IsInBox(8, 9, 46, 47));
  EXPECT_FALSE(p.IsInBox(8.5, 8, 46, 47)) << "on the east edge";
  EXPECT_FALSE(p.IsInBox(9, 8, 46.5, 47)) << "on the south edge";
  EXPECT_FALSE(p.IsInBox(9, 8, 47, 48));
}

TEST(Point, TextPropertiesUseAPointWhateverTheLocale) {
  testing::DecimalCommaLocale comma;
  TPoint4D2 p;
  p.Latitude = 46.5;
  p.Longitude = -0.5;
  EXPECT_EQ(p.LatitudeStr(), "46.500000° N");
  EXPECT_EQ(p.LongitudeStr(), "0.500000° W");
  EXPECT_EQ(p.Coord(), "46.500000° N, 0.500000° W");
  p.Latitude = 0;
  p.Longitude = 8.25;
  EXPECT_EQ(p.LatitudeStr(), "0.000000° N");
  EXPECT_EQ(p.LongitudeStr(), "8.250000° E");
  p.Latitude = -33.9;
  EXPECT_EQ(p.LatitudeStr(), "33.900000° S");
  // Make sure the locale switch itself worked, or the test proves nothing.
  std::ostringstream os;
  os << 1.5;
  EXPECT_EQ(os.str(), "1,5");
}

TEST(BBox, AddCopyAndClear) {
  TBBox a, b;
  b.N = 47;
  b.S = 46;
  b.E = 9;
  b.O = 8;
  b.Rm = 5;
  a.Add(b);  // into an incomplete box: a copy
  EXPECT_TRUE(a.Complete);
  EXPECT_EQ(a.N, 47);
  EXPECT_EQ(a.Rm, 5);

  TBBox c;
  c.N = 48;
  c.S = 45;
  c.E = 8.5;
  c.O = 7;
  a.Add(c);
  EXPECT_EQ(a.N, 48);
  EXPECT_EQ(a.S, 45);
  EXPECT_EQ(a.E, 9);
  EXPECT_EQ(a.O, 7);

  // A box touching the prime meridian never completes through Add.
  TBBox d, e;
  e.N = 1;
  e.S = -1;
  e.E = 1;
  e.O = 0;
  d.Add(e);
  EXPECT_FALSE(d.Complete);
  d.Add(e);
  EXPECT_FALSE(d.Complete);
  // And Add never resets Complete.
  a.Add(e);
  EXPECT_TRUE(a.Complete);

  a.Clear();
  EXPECT_FALSE(a.Complete);
  EXPECT_EQ(a.N, 0);
  EXPECT_EQ(a.Rm, 5) << "Clear keeps the scale in use";
}

TEST(PointList, CalcBBox) {
  TPointList2 list;
  EXPECT_FALSE(list.Enabled()) << "a bare list starts disabled";
  list.Add(NewPoint(46.1, 8.1));
  list.CalcBBox(true);
  EXPECT_FALSE(list.BBox.Complete) << "one point has no extent";

  list.Add(NewPoint(46.3, 8.0));
  list.CalcBBox(true);
  ASSERT_TRUE(list.BBox.Complete);
  EXPECT_EQ(list.BBox.N, 46.3);
  EXPECT_EQ(list.BBox.S, 46.1);
  EXPECT_EQ(list.BBox.E, 8.1);
  EXPECT_EQ(list.BBox.O, 8.0);

  // Without Reset the existing edges are widened, not replaced.
  list.BBox.N = 50;
  list.CalcBBox(false);
  EXPECT_EQ(list.BBox.N, 50);
  EXPECT_EQ(list.BBox.S, 46.1);

  // Disabled points are left out, the seed included.
  list.Add(NewPoint(10, 10));
  list.Points(2)->enabled = false;
  list.Points(0)->enabled = false;
  list.Add(NewPoint(46.2, 8.05));
  list.CalcBBox(true);
  ASSERT_TRUE(list.BBox.Complete);
  EXPECT_EQ(list.BBox.N, 46.3);
  EXPECT_EQ(list.BBox.S, 46.2);
  EXPECT_EQ(list.BBox.E, 8.05);

  list.SetEnabled(true);
  EXPECT_TRUE(list.Points(2)->enabled);
  EXPECT_TRUE(list.Enabled());
}

TEST(PointList, OwnershipAndIndexErrors) {
  TPointList2 a;
  a.Add(NewPoint(1, 1));
  a.Add(NewPoint(2, 2));
  a.Add(NewPoint(3, 3));
  EXPECT_THROW(a.Points(3), EListError);
  EXPECT_THROW(a.Points(-1), EListError);
  EXPECT_THROW(a.Delete(3), EListError);
  EXPECT_THROW(a.Insert(5, nullptr), EListError);

  // Moving a point with the reference-only operations leaves one owner.
  TPointList2 b;
  TPoint4D2* moved = a.Points(0);
  a.Delete(0);
  b.Insert(0, moved);
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(b.IndexOf(moved), 0);
  EXPECT_EQ(a.IndexOf(moved), -1);

  a.FreeAndDelete(0);
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a.Points(0)->Latitude, 3);

  a.Add(NewPoint(0, 5));
  a.Sort([](const TPoint4D2* x, const TPoint4D2* y) { return x->Latitude < y->Latitude ? -1 : x->Latitude > y->Latitude; });
  EXPECT_EQ(a.Points(0)->Latitude, 0);
  a.ClearPointList();
  EXPECT_EQ(a.Count(), 0);
}

}  // namespace
}  // namespace sondralis
