// plain_grid SAMPLES.csv MINLON MINLAT MAXLON MAXLAT W H P OUT.asc
//
// The reference for scripts/bench-grid.sh: the same grid as
// `sondralis-cli grid`, every node computed with the plain Shepard formula
// (the one the kernel is tested against) instead of the vectorised kernel.
// Slow on purpose; rows are shared between the processor's cores.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "formats/AtomicFile.h"
#include "interpolation/SampleGrid.h"

int main(int argc, char** argv) {
  using namespace sondralis;
  if (argc != 10) {
    std::cerr << "usage: plain_grid SAMPLES.csv MINLON MINLAT MAXLON MAXLAT W H P OUT.asc\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  TPointList coord;
  TValueList depth;
  ReadSamplesCSV(text.str(), argv[1], coord, depth);
  const TGridExtent extent{std::stod(argv[2]), std::stod(argv[3]), std::stod(argv[4]), std::stod(argv[5])};
  const int w = std::stoi(argv[6]), h = std::stoi(argv[7]);
  const TShepardInterp interp(coord, depth, std::stod(argv[8]));
  TDepthArray grid(w, h);
  const double dx = extent.CellWidth(w), dy = extent.CellHeight(h);
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int x = static_cast<int>(t); x < w; x += static_cast<int>(threads))
        for (int y = 0; y < h; ++y) grid[x][y] = interp.interp(extent.MinLon + (x + 0.5) * dx, extent.MaxLat - (y + 0.5) * dy);
    });
  for (auto& th : pool) th.join();
  WriteFileAtomically(argv[9], EncodeEsriAsciiGrid(grid, extent));
  return 0;
}
