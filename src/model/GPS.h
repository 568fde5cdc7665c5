#pragma once

#include <cstdint>
#include <string>

#include "model/DateTime.h"
#include "model/List.h"

namespace sondralis {

// A point on the WGS84 globe with altitude, sonar depth and time.
class TPoint4D2 {
 public:
  TPoint4D2() = default;
  TPoint4D2(const TPoint4D2&) = default;
  TPoint4D2& operator=(const TPoint4D2&) = default;
  virtual ~TPoint4D2() = default;

  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  double Altitude = 0;   // metres (GPX ele)
  double HBdepth = 0;    // sonar depth in centimetres; 0 means no reading
  TDateTime DateTime = 0;
  std::uint8_t Level = 0;  // work marker of the polyline reduction
  bool enabled = true;

  // Copies position, altitude, depth and time; Level and enabled stay.
  void CopyFrom(const TPoint4D2& Point4D);

  // Great-circle distance in metres to (lat, lon) on a sphere with the WGS84
  // equatorial radius.
  double WGS84Distance(double lon, double lat, bool Almostnul) const;

  // Strictly inside the rectangle; the corners may come in any order.
  bool IsInBox(double E, double O, double S, double N) const;

  std::string LatitudeStr() const;   // "46.500000° N"
  std::string LongitudeStr() const;  // "8.250000° E"
  std::string Coord() const;         // LatitudeStr + ", " + LongitudeStr
};

// Latitude/longitude rectangle; a map view also keeps its scale factors here.
class TBBox {
 public:
  double N = 0;   // greatest latitude
  double S = 0;   // smallest latitude
  double E = 0;   // greatest longitude
  double O = 0;   // smallest longitude (west)
  double Rm = 0;  // scale in use: pixels per degree of latitude
  double Rx = 0;  // pixels per degree of longitude
  double Ry = 0;  // pixels per degree of latitude
  bool Complete = false;

  // Edges and Rx, Ry to 0, Complete false; Rm stays.
  void Clear();
  // Copies edges and scales; Complete stays.
  void Copy(const TBBox& BBox);
  // Widens this box to include the other one.
  void Add(const TBBox& BBox);
};

// Ordered list of points that owns them and knows its bounding box. BBox is
// a cache: CalcBBox recomputes it; nothing else does.
class TPointList2 : public TOwningList<TPoint4D2> {
 public:
  TPointList2() = default;

  TBBox BBox;
  bool filled = false;  // set by the readers when at least one item was read

  TPoint4D2* Points(int Index) const { return Items(Index); }

  bool Enabled() const noexcept { return penabled; }
  // Stores the state and writes it into every point now in the list.
  void SetEnabled(bool Value);

  // Frees every point, last index first, and empties the list.
  void ClearPointList() noexcept { FreeAll(); }

  void CalcBBox(bool Reset) { CalcBBoxFromTo(0, Count() - 1, Reset); }
  void CalcBBoxFromTo(int pFrom, int pTo, bool Reset) { BBox = BoxFromTo(pFrom, pTo, Reset); }
  // The box CalcBBoxFromTo would store, computed without storing it: a copy
  // of BBox with the edges recomputed, or with Complete false (and the old
  // edges) when the range has no usable points.
  TBBox BoxFromTo(int pFrom, int pTo, bool Reset) const;

 private:
  bool penabled = false;
};

}  // namespace sondralis
