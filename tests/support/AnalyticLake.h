#pragma once

// A depth grid like a run's, of a bottom known in closed form: a map view
// over the example lake's latitude with the view's cell shape (a degree of
// longitude is C times a degree of latitude in pixels), its grid extent
// taken as the run takes it, and the depth of every node from a function of
// the node's position in metres east and north of the centre. The metres
// come from GDAL's transformation into a Lambert azimuthal equal-area
// projection centred on the lake, independent of the exports' own geodesy,
// so areas and volumes summed in those metres are the true ones.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <ogr_spatialref.h>

#include "exports/ExportGrid.h"
#include "interpolation/SampleGrid.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis::testing {

class AnalyticLake {
 public:
  static constexpr double kLat = 47.216, kLon = 8.642;

  // Columns × Rows cells of CellMetres north-south; Depth(east, north) in
  // centimetres, NaN where the cell is not covered.
  AnalyticLake(int Columns, int Rows, double CellMetres, const std::function<double(double, double)>& Depth) {
    // The view: Rm pixels per degree of latitude, centred on the lake.
    const double rm = 111200.0 / CellMetres;
    View.Resize(Columns, Rows);
    View.BBox.Rm = rm;
    View.BBox.O = kLon - Columns / 2.0 / (rm * View.Aspect());
    View.BBox.S = kLat - Rows / 2.0 / rm;
    View.BBox.E = kLon + Columns / 2.0 / (rm * View.Aspect());
    View.BBox.N = kLat + Rows / 2.0 / rm;
    View.BBox.Complete = true;
    Grid.Extent = ViewGridExtent(View);
    Grid.Depth.SetSize(Columns, Rows);
    Grid.Mask.SetSize(Columns, Rows);

    std::vector<double> x, y;
    for (int i = 0; i < Columns; ++i)
      for (int j = 0; j < Rows; ++j) {
        x.push_back(Grid.Longitude(i));
        y.push_back(Grid.Latitude(j));
      }
    ToMetres(x, y);
    East.SetSize(Columns, Rows);
    North.SetSize(Columns, Rows);
    std::size_t k = 0;
    for (int i = 0; i < Columns; ++i)
      for (int j = 0; j < Rows; ++j, ++k) {
        East[i][static_cast<std::size_t>(j)] = x[k];
        North[i][static_cast<std::size_t>(j)] = y[k];
        const double d = Depth(x[k], y[k]);
        Grid.Depth[i][static_cast<std::size_t>(j)] = d;
        Grid.Mask[i][static_cast<std::size_t>(j)] = std::isfinite(d);
      }
  }

  // The picture of a run: each covered cell in its colour on the depth
  // ramp, black elsewhere.
  TCanvas Picture(int MaxDepth, TColor Shallow = 255, TColor Deep = 16711680) const {
    TCanvas picture(Grid.Columns(), Grid.Rows());
    for (int y = 0; y < Grid.Rows(); ++y)
      for (int x = 0; x < Grid.Columns(); ++x)
        picture.SetPixel(x, y, Grid.Covered(x, y) ? BlendColors(Shallow, Deep, Grid.Depth[x][static_cast<std::size_t>(y)] / MaxDepth) : 0);
    return picture;
  }

  // Longitude and latitude (in place) to metres east and north of the
  // centre.
  static void ToMetres(std::vector<double>& Lon, std::vector<double>& Lat) { Transform(Lon, Lat, false); }
  // Metres east and north (in place) to longitude and latitude.
  static void ToDegrees(std::vector<double>& East, std::vector<double>& North) { Transform(East, North, true); }

  // A circle of Radius metres about the centre as a ring of N points.
  static TGeoLine Circle(double Radius, int N = 720, double EastOffset = 0, double NorthOffset = 0) {
    std::vector<double> x, y;
    for (int i = 0; i < N; ++i) {
      x.push_back(EastOffset + Radius * std::cos(2 * std::numbers::pi * i / N));
      y.push_back(NorthOffset + Radius * std::sin(2 * std::numbers::pi * i / N));
    }
    ToDegrees(x, y);
    TGeoLine ring;
    for (int i = 0; i < N; ++i) ring.push_back({x[static_cast<std::size_t>(i)], y[static_cast<std::size_t>(i)]});
    return ring;
  }

  TGPXDraw View;
  TExportGrid Grid;
  TPixelArray<double> East, North;  // metres of each node

 private:
  static void Transform(std::vector<double>& A, std::vector<double>& B, bool Inverse) {
    OGRSpatialReference wgs84, laea;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    // The centre kLat, kLon.
    laea.importFromProj4("+proj=laea +lat_0=47.216 +lon_0=8.642 +ellps=WGS84 +units=m +no_defs");
    laea.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> t(
        Inverse ? OGRCreateCoordinateTransformation(&laea, &wgs84) : OGRCreateCoordinateTransformation(&wgs84, &laea));
    ASSERT_TRUE(t);
    ASSERT_TRUE(t->Transform(A.size(), A.data(), B.data()));
  }
};

}  // namespace sondralis::testing
