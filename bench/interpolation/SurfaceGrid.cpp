// surface_grid: the Surface depth map of a map's samples on the map's own
// grid, for scoring the method before `sondralis-cli map` can choose it.
//
//   surface_grid SAMPLES.csv DEPTH.asc -o OUT.asc [--threads N] [--cell M]
//                [--smoothing M2] [--tension T] [--tension-length M]
//                [--shore-weight W] [--max-nodes N]
//
// SAMPLES.csv and DEPTH.asc are what `sondralis-cli map` wrote into one
// folder: the samples of the run, and the depth grid whose header gives the
// pixel grid and whose cells with a value are the coverage mask. OUT.asc is
// the same grid filled by the Surface method. The report and the time of the
// interpolation alone go to stderr. A developer tool, not installed.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "formats/AtomicFile.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/SurfaceInterp.h"

namespace {

using namespace sondralis;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TAsciiGrid {
  int Columns = 0, Rows = 0;
  TGridExtent Extent;
  TBooleanArray Mask;
};

// The header of an Esri ASCII grid as EncodeEsriAsciiGrid writes it, and the
// cells holding a value.
TAsciiGrid ReadMask(const std::string& path) {
  std::istringstream in(ReadAll(path));
  TAsciiGrid g;
  double xll = NAN, yll = NAN, dx = NAN, dy = NAN, nodata = -9999;
  std::string key;
  for (int i = 0; i < 7 && in >> key; ++i) {
    double v;
    in >> v;
    if (key == "ncols") g.Columns = static_cast<int>(v);
    else if (key == "nrows") g.Rows = static_cast<int>(v);
    else if (key == "xllcorner") xll = v;
    else if (key == "yllcorner") yll = v;
    else if (key == "dx" || key == "cellsize") dx = v;
    else if (key == "dy") dy = v;
    else if (key == "NODATA_value") nodata = v;
  }
  if (std::isnan(dy)) dy = dx;
  if (g.Columns < 1 || g.Rows < 1 || !std::isfinite(xll) || !std::isfinite(yll) || !(dx > 0) || !(dy > 0))
    throw std::runtime_error(path + ": not an Esri ASCII grid with ncols, nrows, xllcorner, yllcorner, dx, dy");
  g.Extent = {xll, yll, xll + g.Columns * dx, yll + g.Rows * dy};
  g.Mask.SetSize(g.Columns, g.Rows);
  for (int y = 0; y < g.Rows; ++y)
    for (int x = 0; x < g.Columns; ++x) {
      double v;
      if (!(in >> v)) throw std::runtime_error(path + ": fewer cells than ncols × nrows");
      g.Mask[x][y] = v != nodata && std::isfinite(v);
    }
  return g;
}

double Number(int& i, int argc, char** argv) {
  if (i + 1 >= argc) throw std::runtime_error(std::string(argv[i]) + " needs a value");
  return std::stod(argv[++i]);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string samplesPath, gridPath, outPath;
    TSurfaceSettings settings;
    settings.Threads = 2;
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if (a == "-o" && i + 1 < argc) outPath = argv[++i];
      else if (a == "--threads") settings.Threads = static_cast<int>(Number(i, argc, argv));
      else if (a == "--cell") settings.CellSize = Number(i, argc, argv);
      else if (a == "--smoothing") settings.Smoothing = Number(i, argc, argv);
      else if (a == "--tension") settings.Tension = Number(i, argc, argv);
      else if (a == "--tension-length") settings.TensionLength = Number(i, argc, argv);
      else if (a == "--shore-weight") settings.ShoreWeight = Number(i, argc, argv);
      else if (a == "--max-nodes") settings.MaxNodes = static_cast<int>(Number(i, argc, argv));
      else if (samplesPath.empty()) samplesPath = a;
      else if (gridPath.empty()) gridPath = a;
      else throw std::runtime_error("unexpected argument " + a);
    }
    if (samplesPath.empty() || gridPath.empty() || outPath.empty()) {
      std::cerr << "Usage: surface_grid SAMPLES.csv DEPTH.asc -o OUT.asc [--threads N] [--cell M]\n"
                   "       [--smoothing M2] [--tension T] [--tension-length M] [--shore-weight W] [--max-nodes N]\n";
      return 2;
    }
    TPointList coord;
    TValueList depth;
    ReadSamplesCSV(ReadAll(samplesPath), samplesPath, coord, depth);
    const TAsciiGrid grid = ReadMask(gridPath);
    const TPixelCoordinates pixels = GridNodes(grid.Extent, grid.Columns, grid.Rows);

    TSilentFeedback feedback;
    TDepthArray out;
    const auto start = std::chrono::steady_clock::now();
    const TSurfaceReport r = SurfaceInterpolate(coord, depth, pixels, grid.Mask, settings, out, feedback);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr,
                 "surface: %d samples, %d blocks, lattice %d x %d at %.2f m, %d pixels, %.3f s\n",
                 coord.Length(), r.Blocks, r.LatticeColumns, r.LatticeRows, r.CellSize, r.Covered, seconds);
    WriteFileAtomically(outPath, EncodeEsriAsciiGrid(out, grid.Extent));
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "surface_grid: " << e.what() << "\n";
    return 1;
  }
}
