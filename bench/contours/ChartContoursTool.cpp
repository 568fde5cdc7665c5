// chart_contours: a developer tool for measuring the chart tracer. Reads an
// Esri ASCII depth grid (the depth.asc of `sondralis-cli map`), traces the
// chart lines at the given levels and writes them as GPX (the contour
// document, as the program writes it) or as GeoJSON (one LineString feature
// per line, its level in centimetres in "level"), then prints one line of
// figures. Built with the benchmarks, never installed.
//
//   chart_contours DEPTH.asc (--step CM | --levels CM,CM,...) -o OUT.gpx|OUT.geojson
//                  [--min-ring PX] [--smooth N] [--tolerance PX] [--repeat N]
//                  [--chart OUT.png [--width PX] [--source FILE]... [--tracks]]
//                  [--ht DIR [--ht-apart]]
//
// --chart also paints the chart of the lines over the depths, with the
// shoreline (and with --tracks the survey) of the --source files, which are
// loaded as "Add Files..." loads them.
//
// --ht writes the lines as HT files into DIR as "Create HT-File" does with
// "Reduce Waypoints" checked (reduced until they fit one file when they
// need more than 20000 entries), and the reduced lines as DIR/reduced.gpx;
// --ht-apart reduces them as the chart path does, keeping them apart.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "contours/ChartTracer.h"
#include "exports/ChartPainter.h"
#include "formats/SourceTracks.h"
#include "model/Feedback.h"
#include "formats/AtomicFile.h"
#include "formats/GPXFile.h"
#include "formats/HTConvert.h"
#include "contours/HTExport.h"
#include "interpolation/SampleGrid.h"

namespace {

using namespace sondralis;

struct TGrid {
  TDepthArray Depths;
  TGridExtent Extent;
  double NoData = -9999;
};

// The header keys GDAL writes and reads (cellsize, or dx and dy), then the
// rows from the north.
TGrid ReadAsciiGrid(const std::string& Path) {
  std::ifstream in(Path);
  if (!in) throw std::runtime_error("can't read " + Path);
  std::map<std::string, double> header;
  std::string key;
  while (header.size() < 8 && in >> key) {
    if (!key.empty() && (std::isdigit(static_cast<unsigned char>(key[0])) || key[0] == '-')) {
      // The first value of the first row: the header is over.
      in.seekg(-static_cast<std::streamoff>(key.size()), std::ios::cur);
      break;
    }
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    double value;
    if (!(in >> value)) throw std::runtime_error(Path + ": no number after " + key);
    header[key] = value;
  }
  const auto need = [&](const char* name) {
    const auto it = header.find(name);
    if (it == header.end()) throw std::runtime_error(Path + ": no " + name + " in the header");
    return it->second;
  };
  const int columns = static_cast<int>(need("ncols")), rows = static_cast<int>(need("nrows"));
  const double dx = header.count("cellsize") ? header["cellsize"] : need("dx");
  const double dy = header.count("cellsize") ? header["cellsize"] : need("dy");
  if (columns < 2 || rows < 2) throw std::runtime_error(Path + ": the grid needs at least 2 x 2 cells");
  TGrid grid;
  if (header.count("nodata_value")) grid.NoData = header["nodata_value"];
  grid.Extent.MinLon = need("xllcorner");
  grid.Extent.MinLat = need("yllcorner");
  grid.Extent.MaxLon = grid.Extent.MinLon + columns * dx;
  grid.Extent.MaxLat = grid.Extent.MinLat + rows * dy;
  grid.Depths.SetSize(columns, rows);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      double v;
      if (!(in >> v)) throw std::runtime_error(Path + ": the grid ends early, at row " + std::to_string(y + 1));
      grid.Depths[x][y] = v == grid.NoData ? kNoDepth : v;
    }
  return grid;
}

std::vector<int> ParseLevels(const std::string& Text) {
  std::vector<int> levels;
  std::stringstream in(Text);
  std::string item;
  while (std::getline(in, item, ',')) levels.push_back(std::stoi(item));
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  return levels;
}

void AppendNumber(std::string& out, double v) {
  char buffer[32];
  out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

std::string GeoJSON(const TChartContours& Contours, const TPixelCoordinates& Grid) {
  std::string out = "{\"type\":\"FeatureCollection\",\"features\":[\n";
  bool first = true;
  for (const TChartLine& line : Contours.Lines) {
    out += first ? "" : ",\n";
    first = false;
    out += "{\"type\":\"Feature\",\"properties\":{\"level\":" + std::to_string(line.Level) +
           ",\"closed\":" + (line.Closed ? "true" : "false") + "},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[";
    for (std::size_t i = 0; i < line.Points.size(); ++i) {
      double lon, lat;
      ChartPointToLonLat(Grid, line.Points[i], lon, lat);
      out += i ? ",[" : "[";
      AppendNumber(out, lon);
      out += ',';
      AppendNumber(out, lat);
      out += ']';
    }
    out += "]}}";
  }
  out += "\n]}\n";
  return out;
}

int Run(int argc, char** argv) {
  std::string input, output, levelsText, chart, htFolder;
  bool htApart = false;
  std::vector<std::string> sources;
  bool tracks = false;
  int step = 0, repeat = 1, width = 1600;
  TChartOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--step") step = std::stoi(value());
    else if (arg == "--levels") levelsText = value();
    else if (arg == "--min-ring") options.MinRing = std::stod(value());
    else if (arg == "--smooth") options.Smooth = std::stoi(value());
    else if (arg == "--tolerance") options.Tolerance = std::stod(value());
    else if (arg == "--repeat") repeat = std::max(1, std::stoi(value()));
    else if (arg == "-o") output = value();
    else if (arg == "--chart") chart = value();
    else if (arg == "--width") width = std::stoi(value());
    else if (arg == "--source") sources.push_back(value());
    else if (arg == "--tracks") tracks = true;
    else if (arg == "--ht") htFolder = value();
    else if (arg == "--ht-apart") htApart = true;
    else if (!arg.empty() && arg[0] != '-' && input.empty()) input = arg;
    else throw std::runtime_error("unknown argument " + arg);
  }
  if (input.empty() || output.empty() || (step < 1 && levelsText.empty()))
    throw std::runtime_error(
        "usage: chart_contours DEPTH.asc (--step CM | --levels CM,...) -o OUT.gpx|OUT.geojson "
        "[--min-ring PX] [--smooth N] [--tolerance PX] [--repeat N]");

  const TGrid grid = ReadAsciiGrid(input);
  double deepest = 0;
  for (double v : grid.Depths.All())
    if (v == v) deepest = std::max(deepest, v);
  const std::vector<int> levels =
      levelsText.empty() ? ChartLevels(step, static_cast<int>(std::floor(deepest))) : ParseLevels(levelsText);
  const TPixelCoordinates nodes = GridNodes(grid.Extent, grid.Depths.Width(), grid.Depths.Height());

  TSilentFeedback feedback;
  TChartContours contours;
  double best = 1e300;
  for (int r = 0; r < repeat; ++r) {
    const auto start = std::chrono::steady_clock::now();
    contours = TraceChartContours(grid.Depths, levels, options, feedback);
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }

  TGPX doc;
  AddChartContours(doc, contours, nodes);
  const bool json = output.size() >= 8 && output.compare(output.size() - 8, 8, ".geojson") == 0;
  if (json) {
    WriteFileAtomically(output, GeoJSON(contours, nodes));
  } else {
    TGPXFile writer;
    writer.GPXd = &doc;
    writer.ExportGPX(output);
  }
  if (!chart.empty()) {
    TGPX loaded;
    TSilentFeedback feedback;
    for (const std::string& source : sources) LoadSourceFile(loaded, source, {}, feedback);
    TChartContent content;
    content.Depths = &grid.Depths;
    content.Grid = &nodes;
    content.Lines = &contours.Lines;
    content.Step = step > 0 ? step : (levels.size() > 1 ? levels[1] - levels[0] : 100);
    content.MaxDepth = static_cast<int>(std::floor(deepest));
    SplitOutlines(loaded, content.Shoreline, content.Tracks);
    content.ShowTracks = tracks;
    ChartTitle(sources, loaded, content.Title, content.Subtitle);
    SaveChartPNG(chart, content, width);
  }
  std::string htFigures;
  if (!htFolder.empty()) {
    TGPX reduced;
    AddChartContours(reduced, contours, nodes);
    const auto start = std::chrono::steady_clock::now();
    TContourHTExport ht(reduced, feedback, htApart);
    if (ht.NeedsReduction()) ht.Reduce();
    const double reduceMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    THTPart part;
    int parts = 0;
    while (ht.NextPart(part, "Chart")) {
      WriteFileAtomically(htFolder + "/" + part.Name, part.Bytes);
      ++parts;
    }
    TGPXFile writer;
    writer.GPXd = &reduced;
    writer.ExportGPX(htFolder + "/reduced.gpx");
    htFigures = " ht_threshold " + std::to_string(ht.ReduceThreshold()) + " ht_reduced " +
                std::to_string(ht.ReducedCount()) + " ht_tries " + std::to_string(ht.ReduceTries()) + " ht_parts " +
                std::to_string(parts) + " ht_reduce_ms " + std::to_string(static_cast<int>(reduceMs));
  }
  long long points = 0, entries = 0;
  for (const TChartLine& line : contours.Lines) {
    points += static_cast<long long>(line.Points.size());
    entries += static_cast<long long>(line.Points.size()) + 3;
  }
  std::printf("levels %zu lines %zu points %lld traced %d rings_dropped %d ht_points %d ht_entries %lld ms %.2f%s\n",
              levels.size(), contours.Lines.size(), points, contours.PointsTraced, contours.RingsDropped,
              CountHTPoints(doc, kHTAllowance), entries, best, htFigures.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The chart's fonts need a GUI application; no screen is needed.
  std::unique_ptr<QGuiApplication> app;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--chart") {
      if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      app = std::make_unique<QGuiApplication>(argc, argv);
      break;
    }
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "chart_contours: " << e.what() << "\n";
    return 1;
  }
}
