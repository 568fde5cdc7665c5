#pragma once

// A lake with a known bottom, made in memory for the interpolation tests: an
// elliptical basin whose depth is an analytic function (0 on the shore), a
// survey of straight lines at an angle and a pass along the shore, readings
// with sounder noise, and the pixel grid, coverage mask and samples as an
// interpolation run would hand them over (shoreline samples first).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/HoldOut.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"

namespace sondralis::testing {

struct SyntheticLakeOptions {
  int Width = 200, Height = 140;  // pixels
  double HalfAxisEast = 600, HalfAxisNorth = 400;  // metres
  double MaxDepth = 1500;       // centimetres at the centre
  double Wave = 150;            // amplitude of the bottom's undulation, cm
  double LineSpacing = 50;      // metres between survey lines
  double LineAngle = 30;        // degrees from east
  double Noise = 5;             // sounder noise, cm (standard deviation)
  double RadiusMetres = 40;     // covered band around the tracks
};

class SyntheticLake {
 public:
  static constexpr double kLat0 = 47.2, kLon0 = 8.6;
  static constexpr double kMetresPerDegree = 111320.0;

  SyntheticLakeOptions Options;
  TPixelCoordinates Pixels;
  TBooleanArray Mask;
  TPointList Coord;  // shoreline samples, then the soundings
  TValueList Depth;
  int ShoreSamples = 0;
  std::vector<std::vector<TSounding>> Segments;  // the soundings, one list per line

  SyntheticLake(std::uint64_t Seed, SyntheticLakeOptions O) : Options(O), fRandom(Seed) {
    fKx = kMetresPerDegree * std::cos(kLat0 * M_PI / 180);
    // Pixels a little taller than wide in metres, as in the map view.
    const double pixel = 2.3 * std::max(O.HalfAxisEast / O.Width, O.HalfAxisNorth / O.Height);
    const double dLon = pixel / fKx, dLat = 0.97 * pixel / kMetresPerDegree;
    for (int x = 0; x < O.Width; ++x) Pixels.Longitudes.push_back(kLon0 + (x - 0.5 * (O.Width - 1)) * dLon);
    for (int y = 0; y < O.Height; ++y) Pixels.Latitudes.push_back(kLat0 - (y - 0.5 * (O.Height - 1)) * dLat);
    fPhase = std::uniform_real_distribution<double>(0, 6.28)(fRandom);

    // The shoreline, a sample about every pixel.
    const double step = pixel / std::max(O.HalfAxisEast, O.HalfAxisNorth);
    for (double t = 0; t < 2 * M_PI; t += step) AddSample(O.HalfAxisEast * std::cos(t), O.HalfAxisNorth * std::sin(t), 0);
    ShoreSamples = Coord.Length();

    // Lines across the lake, and a pass along the shore; a reading every 2.5 m.
    std::normal_distribution<double> noise(0, O.Noise);
    const double a = O.LineAngle * M_PI / 180, reach = std::hypot(O.HalfAxisEast, O.HalfAxisNorth);
    const auto survey = [&](auto position, double length) {
      std::vector<TSounding> segment;
      for (double s = 0; s <= length; s += 2.5) {
        const auto [e, n] = position(s);
        if (Fraction(e, n) > 0.97) {
          if (segment.size() > 1) Segments.push_back(std::move(segment));
          segment.clear();
          continue;
        }
        const double reading = std::max(1.0, TrueDepthAt(e, n) + noise(fRandom));
        segment.push_back({ToLon(e), ToLat(n), static_cast<float>(reading)});
      }
      if (segment.size() > 1) Segments.push_back(std::move(segment));
    };
    for (double c = -reach + O.LineSpacing / 2; c < reach; c += O.LineSpacing)
      survey([&](double s) { return std::pair(std::cos(a) * (s - reach) - std::sin(a) * c,
                                              std::sin(a) * (s - reach) + std::cos(a) * c); },
             2 * reach);
    survey([&](double s) { const double t = s / reach;
                           return std::pair(0.9 * O.HalfAxisEast * std::cos(t), 0.9 * O.HalfAxisNorth * std::sin(t)); },
           2 * M_PI * reach);
    for (const auto& segment : Segments)
      for (const TSounding& p : segment) {
        Coord.Add({static_cast<float>(p.Longitude), static_cast<float>(p.Latitude)});
        Depth.Add(static_cast<float>(p.Depth));
      }

    // The mask: water within the radius of a sounding.
    Mask.SetSize(O.Width, O.Height);
    const int rx = static_cast<int>(std::ceil(O.RadiusMetres / (dLon * fKx)));
    const int ry = static_cast<int>(std::ceil(O.RadiusMetres / (dLat * kMetresPerDegree)));
    for (const auto& segment : Segments)
      for (const TSounding& p : segment) {
        const int cx = static_cast<int>(std::lround((p.Longitude - Pixels.Longitudes[0]) / dLon));
        const int cy = static_cast<int>(std::lround((Pixels.Latitudes[0] - p.Latitude) / dLat));
        for (int x = std::max(cx - rx, 0); x <= std::min(cx + rx, O.Width - 1); ++x)
          for (int y = std::max(cy - ry, 0); y <= std::min(cy + ry, O.Height - 1); ++y) {
            const double e = East(Pixels.Longitudes[x]), n = North(Pixels.Latitudes[y]);
            if (std::hypot(e - East(p.Longitude), n - North(p.Latitude)) <= O.RadiusMetres && Fraction(e, n) < 1)
              Mask[x][y] = true;
          }
      }
  }

  // The true depth at a position in degrees, 0 on land.
  double TrueDepth(double Lon, double Lat) const { return TrueDepthAt(East(Lon), North(Lat)); }
  double Deepest() const {
    double d = 0;
    for (float v : Depth.Items()) d = std::max(d, static_cast<double>(v));
    return d;
  }
  int Covered() const {
    int n = 0;
    for (bool b : Mask.All()) n += b;
    return n;
  }

 private:
  double East(double Lon) const { return (Lon - kLon0) * fKx; }
  double North(double Lat) const { return (Lat - kLat0) * kMetresPerDegree; }
  double ToLon(double E) const { return kLon0 + E / fKx; }
  double ToLat(double N) const { return kLat0 + N / kMetresPerDegree; }
  double Fraction(double E, double N) const {
    return std::hypot(E / Options.HalfAxisEast, N / Options.HalfAxisNorth);
  }
  double TrueDepthAt(double E, double N) const {
    const double r = Fraction(E, N);
    if (r >= 1) return 0;
    const double bowl = 1 - r * r;
    return bowl * (Options.MaxDepth + Options.Wave * std::sin(E / 140 + fPhase) * std::cos(N / 110));
  }
  void AddSample(double E, double N, float Value) {
    Coord.Add({static_cast<float>(ToLon(E)), static_cast<float>(ToLat(N))});
    Depth.Add(Value);
  }

  std::mt19937_64 fRandom;
  double fKx = 0;
  double fPhase = 0;
};

}  // namespace sondralis::testing
