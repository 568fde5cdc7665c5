#pragma once

// What the exports read of a finished map: the run's depth grid with its
// coverage mask and geographic rectangle, the samples it was made from, the
// shoreline, and the lengths and areas on the ground that GIS users and
// limnologists expect in metres.

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/ShepardInterp.h"
#include "model/GPX.h"

namespace sondralis {

// A position in degrees.
struct TLonLat {
  double Lon = 0;
  double Lat = 0;
};
// A line or ring of positions; a ring's last point need not repeat its first.
using TGeoLine = std::vector<TLonLat>;

// The depth grid of a run. One cell per pixel of the picture it was made in:
// column x, row y (row 0 at the north) covers longitudes MinLon + x·dx to
// MinLon + (x + 1)·dx and latitudes MaxLat − (y + 1)·dy to MaxLat − y·dy of
// Extent, the rectangle depth.asc states; the run interpolated each cell at
// its centre, the node GridNodes gives. The extent is kept rather than the
// nodes so that every export states the same numbers as depth.asc to the
// last bit.
struct TExportGrid {
  TDepthArray Depth;   // centimetres, [column][row]; NaN where nothing was interpolated
  TBooleanArray Mask;  // the coverage mask; empty when every finite depth counts
  TGridExtent Extent;

  int Columns() const noexcept { return Depth.Width(); }
  int Rows() const noexcept { return Depth.Height(); }
  double CellWidth() const noexcept { return Extent.CellWidth(Columns()); }   // degrees
  double CellHeight() const noexcept { return Extent.CellHeight(Rows()); }    // degrees
  // A cell with a depth: inside the mask and finite.
  bool Covered(int X, int Y) const noexcept {
    const auto y = static_cast<std::size_t>(Y);
    return std::isfinite(Depth[X][y]) && (Mask.Empty() || Mask[X][y]);
  }
  // The centre of column X and of row Y, as GridNodes places the nodes.
  double Longitude(int X) const noexcept { return Extent.MinLon + (X + 0.5) * CellWidth(); }
  double Latitude(int Y) const noexcept { return Extent.MaxLat - (Y + 0.5) * CellHeight(); }
  // Where a position falls, in cells: cell centres at whole numbers.
  double ColumnOf(double Lon) const noexcept { return (Lon - Extent.MinLon) / CellWidth() - 0.5; }
  double RowOf(double Lat) const noexcept { return (Extent.MaxLat - Lat) / CellHeight() - 0.5; }

  // Throws std::invalid_argument, naming the fault, for a grid without
  // cells, a mask of another size, or an extent that is empty or not on the
  // globe.
  void Check() const;
};

// The samples of a run in the order the run collects them: the shoreline's
// depth-0 samples first, then the soundings (the track points). Copies share
// the arrays, as the run's sample arrays are shared.
struct TExportSamples {
  TPointList Coord;
  TValueList Depth;
  int ShoreCount = 0;

  int Count() const noexcept { return Coord.Length() < Depth.Length() ? Coord.Length() : Depth.Length(); }
  // The positions measured by the sounder.
  std::span<const std::array<float, 2>> Soundings() const noexcept;
};

// The outlines without any depth reading (shoreline and islands, as the
// coverage mask takes them): every track segment of at least three points
// none of which carries a depth.
std::vector<TGeoLine> ShorelineRings(const TGPX& Doc);

// Centimetres as metres with Decimals decimals and a decimal point whatever
// the locale ("14.2" for 1420 at one decimal).
std::string MetresText(double Centimetres, int Decimals);
// The shortest decimal text that reads back as Value, with a point.
std::string ShortestText(double Value);

// Whether P lies inside the ring (crossings along its parallel, odd inside).
bool InsideRing(const TGeoLine& Ring, TLonLat P) noexcept;

// Lengths and areas on the WGS 84 ellipsoid.
namespace geodesy {

// Metres along the meridian and along the parallel per degree, at Lat.
double MetresPerDegreeLatitude(double Lat) noexcept;
double MetresPerDegreeLongitude(double Lat) noexcept;
// The area in m² of the quadrangle between two parallels spanning DLon
// degrees of longitude: exact on the ellipsoid.
double QuadrangleArea(double Lat1, double Lat2, double DLon) noexcept;
// The area in m² a ring encloses, whichever way it turns: its vertices in
// the ellipsoid's equal-area cylindrical projection, by the shoelace
// formula (its edges taken as straight there, which they nearly are at the
// length of a shoreline's edges).
double RingArea(const TGeoLine& Ring) noexcept;
// The surface of water the rings enclose: a ring inside an even number of
// others (the lake) adds its area, one inside an odd number (an island)
// takes it away.
double WaterArea(const std::vector<TGeoLine>& Rings);

}  // namespace geodesy

// A plane in metres around a latitude (x east, y north), for distances and
// slopes over a survey: scaled at one latitude, so a distance δ degrees of
// latitude away from it is off by about tan(latitude)·δ (in radians) of its
// length, 2·10⁻⁴ a kilometre away at 47°.
struct TLocalPlane {
  TLocalPlane(double Lon0, double Lat0) noexcept;
  explicit TLocalPlane(const TGridExtent& Extent) noexcept
      : TLocalPlane((Extent.MinLon + Extent.MaxLon) / 2, (Extent.MinLat + Extent.MaxLat) / 2) {}
  double X(double Lon) const noexcept { return (Lon - Lon0) * MetresPerLon; }
  double Y(double Lat) const noexcept { return (Lat - Lat0) * MetresPerLat; }

  double Lon0 = 0, Lat0 = 0;
  double MetresPerLon = 0, MetresPerLat = 0;
};

}  // namespace sondralis
