#include "cli/MapCommand.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/CommandSupport.h"
#include "exports/MapExport.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "interpolation/SampleGrid.h"
#include "model/Text.h"
#include "session/Project.h"

namespace sondralis::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMapUsage =
    "Usage: sondralis-cli map IN... -d OUTDIR [--size WxH] [--radius PX] [--style P]\n"
    "                         [--threads N] [--step CM] [--name NAME] [--depth CM]\n"
    "                         [--offset CM] [--shallow RRGGBB] [--deep RRGGBB]\n"
    "\n"
    "Does what the window does, from \"Add Files...\" to \"Create HT-File\": loads\n"
    "the files in order, fits the map to a picture of WxH pixels, interpolates\n"
    "the depth map near the depth tracks and inside the shoreline, traces a\n"
    "contour line at every step from 0 cm to the greatest depth, and writes into\n"
    "OUTDIR (made when missing):\n"
    "  depth.bmp, depth.jpg   the interpolated depth map\n"
    "  contours.bmp           the contour lines\n"
    "  depth.asc, depth.prj   the interpolated depth in centimetres, one cell per\n"
    "                         pixel, as an Esri ASCII grid in WGS 84\n"
    "  samples.csv            the samples the interpolation used (lon,lat,depth);\n"
    "                         `sondralis-cli grid` on them with the extent the\n"
    "                         summary shows gives depth.asc again\n"
    "  contours.gpx           the contour lines, each point with its depth\n"
    "  contours.kml           the contour lines for Google Earth, a folder per depth\n"
    "  000.ht, 001.ht, ...    the contour lines for the unit: copy them into a\n"
    "                         folder \"matrix\" on its SD card\n"
    "Files of the same names in OUTDIR are replaced only when the whole map has\n"
    "been made; when anything fails, nothing is written. Only an output the map\n"
    "cannot give is left out with a warning while the others are written: HT\n"
    "files without any contour line, or with lines too far apart for one file.\n"
    "OUTDIR is taken for the run: a second map into it is told it is busy. A\n"
    "symbolic link there stays a link and the file it points to is replaced; a\n"
    "read-only file or a folder in the way is refused before any work, as by\n"
    "the other commands.\n"
    "\n"
    "  --size WxH       picture size in pixels (default: the window's map, %dx%d);\n"
    "                   a size that needs more memory than the machine has (or\n"
    "                   ulimit -v allows) is refused before any work\n"
    "  --radius PX      extrapolation radius: width of the band around the depth\n"
    "                   tracks that is interpolated, 0 to 999 pixels (default 30)\n"
    "  --style P        power of the interpolator's weights, 2 (smooth) to 14\n"
    "                   (hard); default 8\n"
    "  --threads N      interpolation workers (default: one per processor)\n"
    "  --step CM        depth between contour lines, 1 to 9999 cm (default 100)\n"
    "  --name NAME      track name of the HT files (first 20 characters; default\n"
    "                   NewTrack)\n"
    "  --shallow RRGGBB colour of depth 0 (default ff0000, red)\n"
    "  --deep RRGGBB    colour of the greatest depth (default 0000ff, blue)\n"
    "\n";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

std::pair<int, int> PictureSize(const Arguments& a) {
  const auto text = a.Get("--size");
  if (!text) return {TProject::kDefaultMapWidth, TProject::kDefaultMapHeight};
  const auto size = ParseWxH(*text);
  if (!size || size->first < 16 || size->second < 16 || size->first > 8192 || size->second > 8192)
    throw UsageError("--size wants WxH, two whole numbers of pixels from 16 to 8192, not \"" + *text + "\"");
  return {static_cast<int>(size->first), static_cast<int>(size->second)};
}

// "RRGGBB" (a leading # is fine) as a colour, red in the low byte.
std::optional<TColor> ColourOption(const Arguments& a, const std::string& name) {
  const auto text = a.Get(name);
  if (!text) return std::nullopt;
  std::string hex = *text;
  if (!hex.empty() && hex.front() == '#') hex.erase(0, 1);
  unsigned r = 0, g = 0, b = 0;
  int used = 0;
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
      std::sscanf(hex.c_str(), "%2x%2x%2x%n", &r, &g, &b, &used) != 3 || used != 6)
    throw UsageError(name + " wants a colour as RRGGBB in hexadecimal, like ff0000, not \"" + *text + "\"");
  return r | (g << 8) | (b << 16);
}

int PointCount(const TGPX& doc) {
  int n = 0;
  for (TGPXtrk* track : doc.trk)
    for (TGPXtrkseg* segment : *track) n += segment->Count();
  return n;
}

// The shortest text that reads back as the same double.
std::string Digits17(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string Fixed(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

}  // namespace

int RunMap(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"-d", "--size", "--radius", "--style", "--threads", "--step", "--name", "--depth",
                                   "--offset", "--shallow", "--deep"});
  if (a.Help) {
    std::vector<char> text(4096);
    std::snprintf(text.data(), text.size(), kMapUsage, TProject::kDefaultMapWidth, TProject::kDefaultMapHeight);
    std::cout << text.data() << kLoadOptions;
    return kExitOk;
  }
  const TDepthRule rule = SetUpLoading(a, "map");
  const auto outdirText = a.Get("-d");
  if (!outdirText || outdirText->empty()) throw UsageError("map needs an output folder: -d OUTDIR");
  const auto [width, height] = PictureSize(a);
  // Pictures, masks and depths of that size, as measured with GNU time's
  // maximum resident size (about 74 bytes a pixel), with room to spare.
  RefuseWhatCannotFit(80.0 * width * height + 64.0 * 1024 * 1024,
                      "--size " + std::to_string(width) + "x" + std::to_string(height));
  const int radius = WholeNumberOption(a, "--radius", 0, 999, 30, "a whole number of pixels");
  const int style = WholeNumberOption(a, "--style", 2, 14, 8);
  const int threads = WholeNumberOption(a, "--threads", 1, 1024, 0);
  const int step = WholeNumberOption(a, "--step", 1, 9999, 100, "a whole number of centimetres");
  const auto shallow = ColourOption(a, "--shallow");
  const auto deep = ColourOption(a, "--deep");
  const std::string trackName = a.Get("--name").value_or(THTSettings{}.TrackName);

  const TExportRequest request = TExportRequest::WholeMap(*outdirText, trackName);
  RefuseInputsAsOutputs(a, request.Paths());
  // The output folder and the staging folder exist before any work, so a
  // folder that cannot be written is refused at once.
  std::optional<TMapExport> exporting;
  try {
    exporting.emplace(request);
  } catch (const EExportError& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point start = Clock::now();

  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  feedback.ShowProgress = ::isatty(STDERR_FILENO) == 1;
  TProject project;
  if (shallow) project.SetShallowColor(*shallow);
  if (deep) project.SetDeepColor(*deep);
  project.SetMapSize(width, height);
  project.SetContourMapSize(width, height);
  TProjectSettings& settings = project.Settings;
  settings.Interpolation.Radius = radius;
  settings.Interpolation.Style = style;
  if (threads > 0) settings.Interpolation.Threads = std::min(threads, project.CPUCount());
  settings.Contours.Step = step;
  settings.HT.TrackName = trackName;

  const TLoadTotals setAside = LoadInputs(project, a, rule, feedback);
  const int pointsLoaded = PointCount(project.GPXdata());
  const int tracksLoaded = project.GPXdata().trk.Count();
  const Clock::time_point loaded = Clock::now();

  // Both runs go before anything is written, so a refusal leaves no file.
  try {
    feedback.ProgressLabel = "Interpolating ";
    const bool interpolated = project.Interpolate(feedback);
    feedback.EndProgress();
    if (!interpolated) throw CommandFailure("nothing to interpolate");
  } catch (const ERunRefused& e) {
    throw CommandFailure(e.what());
  }
  const int trackSamples = PointCount(project.GPXdata());
  const Clock::time_point interpolated = Clock::now();
  try {
    feedback.ProgressLabel = "Tracing levels ";
    project.TraceContours(feedback);
    feedback.EndProgress();
  } catch (const ERunRefused& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point traced = Clock::now();

  TExportResult written;
  try {
    written = exporting->Write(project.Results(), feedback);
  } catch (const EExportError& e) {
    throw CommandFailure(e.what());
  } catch (const EFileError& e) {
    throw CommandFailure(e.what());
  } catch (const EHTConvertError& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point done = Clock::now();

  const TMapInfo& info = project.MapInfo();
  const TDepthMap& map = project.DepthMap();
  const TGridExtent extent = project.Results().Extent;
  const int samples = map.InCoord.Length();
  const int maxDepth = project.MaxDepth();
  const int levels = maxDepth > 0 ? (maxDepth + 1) / step + 1 : 0;
  std::ostringstream out;
  out << "Points loaded:   " << pointsLoaded << " in " << tracksLoaded << " tracks from " << a.Inputs.size()
      << (a.Inputs.size() == 1 ? " file\n" : " files\n")
      << "Set aside:       " << setAside.ZeroReadings << " readings of 0 cm (bottom lost), "
      << setAside.ImplausibleReadings << " beyond 12000 m\n"
      << "Max depth:       " << maxDepth << " cm\n"
      << "View:            " << info.ScreenWidth << " x " << info.ScreenHeight << " px, " << info.AreaWidth << " x "
      << info.AreaHeight << " m, " << info.ResolutionX << " x " << info.ResolutionY << " cm per pixel\n"
      << "Extent:          " << Digits17(extent.MinLon) << ',' << Digits17(extent.MinLat) << ','
      << Digits17(extent.MaxLon) << ',' << Digits17(extent.MaxLat) << "\n"
      << "Samples:         " << samples << " (" << samples - trackSamples << " on the shoreline, " << trackSamples
      << " track points)\n"
      << "Covered pixels:  " << map.CoveredPixels << "\n"
      << "Levels:          " << levels << " (0 to " << (levels > 0 ? (levels - 1) * step : 0) << " cm every " << step
      << " cm)\n"
      << "Contours:        " << project.IsoData().trk.Count() << " tracks, " << PointCount(project.IsoData())
      << " points (" << CountHTPoints(project.IsoData(), kHTAllowance) << " HT points)\n"
      << "HT files:        ";
  for (std::size_t i = 0; i < written.HTFiles.size(); ++i) out << (i ? ", " : "") << written.HTFiles[i];
  if (written.HTFiles.empty()) out << "none";
  out << "\n"
      << "Time:            load " << Fixed(Seconds(start, loaded)) << ", interpolation "
      << Fixed(Seconds(loaded, interpolated)) << ", contours " << Fixed(Seconds(interpolated, traced)) << ", files "
      << Fixed(written.Seconds) << ", HT " << Fixed(written.HTSeconds) << "; in all " << Fixed(Seconds(start, done))
      << "\n"
      << "Wrote " << written.Files.size() << " files into " << *outdirText;
  // What could not be made is said on stderr, one line each.
  for (std::size_t i = 0; i < written.NotMade.size(); ++i)
    out << (i ? ", " : "; not made: ") << written.NotMade[i].Name;
  out << "\n";
  std::cout << out.str();
  PrintWarnings(written.Warnings);
  // Parts of an earlier map with more parts would be loaded by the unit
  // together with these; they are not ours to delete.
  const std::vector<std::string>& stale = written.StaleHTParts;
  if (!stale.empty()) {
    std::cerr << "sondralis-cli: note: " << *outdirText << " also holds ";
    for (std::size_t i = 0; i < stale.size(); ++i) std::cerr << (i ? ", " : "") << stale[i];
    std::cerr << " from an earlier map; the unit would load "
              << (stale.size() == 1 ? "it" : "them") << " with this one\n";
  }
  return kExitOk;
}

}  // namespace sondralis::cli
