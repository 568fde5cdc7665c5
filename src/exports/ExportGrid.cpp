#include "exports/ExportGrid.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace sondralis {

namespace {

// WGS 84.
constexpr double kA = 6378137.0;
constexpr double kF = 1 / 298.257223563;
constexpr double kE2 = kF * (2 - kF);
const double kE = std::sqrt(kE2);

constexpr double Radians(double Degrees) { return Degrees * std::numbers::pi / 180; }

// The northing of the ellipsoid's equal-area cylindrical projection, in
// units of the semi-major axis: q(φ)/2, whose difference between two
// parallels times a·Δλ is the area between them.
double EqualAreaNorthing(double Lat) noexcept {
  const double s = std::sin(Radians(Lat));
  const double es = kE * s;
  return (1 - kE2) / 2 * (s / (1 - es * es) + std::atanh(es) / kE);
}

}  // namespace

void TExportGrid::Check() const {
  if (Columns() < 1 || Rows() < 1) throw std::invalid_argument("the depth grid has no cells");
  if (!Mask.Empty() && (Mask.Width() != Columns() || Mask.Height() != Rows()))
    throw std::invalid_argument("the coverage mask is " + std::to_string(Mask.Width()) + " x " +
                                std::to_string(Mask.Height()) + " cells, the depth grid " +
                                std::to_string(Columns()) + " x " + std::to_string(Rows()));
  const TGridExtent& e = Extent;
  if (!(e.MinLon < e.MaxLon) || !(e.MinLat < e.MaxLat) || e.MinLon < -180 || e.MaxLon > 180 || e.MinLat < -90 ||
      e.MaxLat > 90)
    throw std::invalid_argument("the depth grid's extent is empty or not on the globe");
}

std::span<const std::array<float, 2>> TExportSamples::Soundings() const noexcept {
  const auto all = Coord.Items().first(static_cast<std::size_t>(Count()));
  const std::size_t shore = ShoreCount < 0 ? 0 : static_cast<std::size_t>(ShoreCount);
  return shore >= all.size() ? all.last(0) : all.subspan(shore);
}

std::vector<TGeoLine> ShorelineRings(const TGPX& Doc) {
  std::vector<TGeoLine> rings;
  for (const TGPXtrk* track : Doc.trk)
    for (const TGPXtrkseg* segment : *track) {
      if (segment->Count() < 3) continue;
      bool depthFree = true;
      for (const TPoint4D2* p : *segment)
        if (p->HBdepth != 0 && !std::isnan(p->HBdepth)) depthFree = false;
      if (!depthFree) continue;
      TGeoLine ring;
      ring.reserve(static_cast<std::size_t>(segment->Count()));
      for (const TPoint4D2* p : *segment) ring.push_back({p->Longitude, p->Latitude});
      rings.push_back(std::move(ring));
    }
  return rings;
}

std::string MetresText(double Centimetres, int Decimals) {
  char buffer[64];
  const double metres = Centimetres / 100;
  // No "-0.0" for a depth that rounds to nothing.
  const double shown = std::fabs(metres) < 0.5 * std::pow(10.0, -Decimals) ? 0.0 : metres;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, shown, std::chars_format::fixed, Decimals);
  return std::string(buffer, result.ptr);
}

std::string ShortestText(double Value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value);
  return std::string(buffer, result.ptr);
}

bool InsideRing(const TGeoLine& Ring, TLonLat P) noexcept {
  bool inside = false;
  const std::size_t n = Ring.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const TLonLat& a = Ring[i];
    const TLonLat& b = Ring[j];
    if ((a.Lat > P.Lat) != (b.Lat > P.Lat) && P.Lon < a.Lon + (P.Lat - a.Lat) * (b.Lon - a.Lon) / (b.Lat - a.Lat))
      inside = !inside;
  }
  return inside;
}

namespace geodesy {

double MetresPerDegreeLatitude(double Lat) noexcept {
  const double s = std::sin(Radians(Lat));
  const double w = 1 - kE2 * s * s;
  return Radians(kA * (1 - kE2) / (w * std::sqrt(w)));
}

double MetresPerDegreeLongitude(double Lat) noexcept {
  const double s = std::sin(Radians(Lat));
  return Radians(kA * std::cos(Radians(Lat)) / std::sqrt(1 - kE2 * s * s));
}

double QuadrangleArea(double Lat1, double Lat2, double DLon) noexcept {
  return std::fabs(kA * Radians(DLon) * kA * (EqualAreaNorthing(Lat2) - EqualAreaNorthing(Lat1)));
}

double RingArea(const TGeoLine& Ring) noexcept {
  if (Ring.size() < 3) return 0;
  // Relative to the first vertex, so the sum keeps its digits.
  const double lon0 = Ring.front().Lon, y0 = EqualAreaNorthing(Ring.front().Lat);
  double twice = 0;
  double px = 0, py = 0;
  for (std::size_t i = 1; i <= Ring.size(); ++i) {
    const TLonLat& p = Ring[i % Ring.size()];
    const double x = Radians(p.Lon - lon0), y = EqualAreaNorthing(p.Lat) - y0;
    twice += px * y - x * py;
    px = x;
    py = y;
  }
  return std::fabs(twice) / 2 * kA * kA;
}

double WaterArea(const std::vector<TGeoLine>& Rings) {
  double area = 0;
  for (std::size_t i = 0; i < Rings.size(); ++i) {
    if (Rings[i].size() < 3) continue;
    int around = 0;
    for (std::size_t k = 0; k < Rings.size(); ++k)
      if (k != i && Rings[k].size() >= 3 && InsideRing(Rings[k], Rings[i].front())) ++around;
    area += (around % 2 == 0 ? 1 : -1) * RingArea(Rings[i]);
  }
  return area;
}

}  // namespace geodesy

TLocalPlane::TLocalPlane(double Lon0_, double Lat0_) noexcept
    : Lon0(Lon0_),
      Lat0(Lat0_),
      MetresPerLon(geodesy::MetresPerDegreeLongitude(Lat0_)),
      MetresPerLat(geodesy::MetresPerDegreeLatitude(Lat0_)) {}

}  // namespace sondralis
