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

#include "cli/CliHost.h"
#include "cli/CommandSupport.h"
#include "contours/ContourKML.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "interpolation/SampleGrid.h"
#include "model/Text.h"
#include "session/Session.h"

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
    "been made; when anything fails, nothing is written.\n"
    "\n"
    "  --size WxH       picture size in pixels (default: the window's map, %dx%d)\n"
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

// The files of a map that an input could be (the HT parts are never read).
constexpr const char* kMapFiles[] = {"depth.bmp",   "depth.jpg",   "contours.bmp", "depth.asc",
                                     "depth.prj",   "samples.csv", "contours.gpx", "contours.kml"};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

std::pair<int, int> PictureSize(const Arguments& a) {
  const auto text = a.Get("--size");
  if (!text) return {TSession::kDefaultPaneWidth, TSession::kDefaultPaneHeight};
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

// The folder the map's files are made in before they move into OUTDIR
// together; removed with everything in it unless Publish ran. An OUTDIR the
// command made itself goes too when nothing was published.
class TStagingFolder {
 public:
  // Both folders are tracked as temporary paths, so an interrupted run
  // leaves neither behind.
  explicit TStagingFolder(const fs::path& outdir) : fOutdir(outdir) {
    std::error_code ec;
    TTemporaryPaths& temporaries = TTemporaryPaths::Process();
    if (!fs::exists(outdir, ec)) {
      fMadeOutdir = !temporaries
                         .Track(TTemporaryPaths::TKind::EmptyFolder,
                                [&]() -> std::string {
                                  return fs::create_directories(outdir, ec) ? outdir.string() : std::string();
                                })
                         .empty();
      if (!fMadeOutdir)
        throw CommandFailure("can't create the output folder " + outdir.string() + ": " + ec.message());
    } else if (!fs::is_directory(outdir, ec)) {
      throw CommandFailure(outdir.string() + " is not a folder");
    }
    int error = 0;
    fPath = temporaries.Track(TTemporaryPaths::TKind::Folder, [&]() -> std::string {
      std::string pattern = (outdir / ".sondralis-map-XXXXXX").string();
      if (::mkdtemp(pattern.data())) return pattern;
      error = errno;
      return {};
    });
    if (fPath.empty()) {
      const std::string reason = std::error_code(error, std::generic_category()).message();
      Discard();
      throw CommandFailure("can't write into the output folder " + outdir.string() + ": " + reason);
    }
  }
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;
  ~TStagingFolder() { Discard(); }

  const fs::path& Path() const { return fPath; }
  std::string File(const std::string& name) const { return (fPath / name).string(); }

  // Moves every file made into OUTDIR, replacing files of the same names;
  // returns their names in order.
  std::vector<std::string> Publish() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fPath)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      std::error_code ec;
      fs::rename(fPath / name, fOutdir / name, ec);
      if (ec) throw CommandFailure("can't move " + name + " into " + fOutdir.string() + ": " + ec.message());
    }
    // It holds the map now.
    if (fMadeOutdir) TTemporaryPaths::Process().Release(fOutdir.string(), [] {});
    fMadeOutdir = false;
    return names;
  }

 private:
  void Discard() noexcept {
    TTemporaryPaths& temporaries = TTemporaryPaths::Process();
    std::error_code ec;
    try {
      if (!fPath.empty()) temporaries.Release(fPath.string(), [&] { fs::remove_all(fPath, ec); });
      // Removed only while it is empty.
      if (fMadeOutdir) temporaries.Release(fOutdir.string(), [&] { fs::remove(fOutdir, ec); });
    } catch (...) {
      // Only a failing lock gets here; the folders stay.
    }
    fPath.clear();
    fMadeOutdir = false;
  }

  fs::path fOutdir;
  fs::path fPath;
  bool fMadeOutdir = false;
};

// Writes `what` through the session's own save command, answering its save
// dialog with `path`; a failure ends the command.
template <typename Save>
void SaveThrough(CliHost& host, SaveKind kind, const std::string& path, Save save) {
  host.Outputs[kind] = path;
  const std::size_t errors = host.Errors.size();
  const bool written = save();
  host.Outputs.erase(kind);
  if (!written || host.Errors.size() != errors)
    FailWith(host, host.Errors.size() != errors ? host.Errors.back() : "",
             fs::path(path).filename().string() + ": nothing written");
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
    std::snprintf(text.data(), text.size(), kMapUsage, TSession::kDefaultPaneWidth, TSession::kDefaultPaneHeight);
    std::cout << text.data() << kLoadOptions;
    return kExitOk;
  }
  CliHost host;
  SetUpLoading(a, host, "map");
  const auto outdirText = a.Get("-d");
  if (!outdirText || outdirText->empty()) throw UsageError("map needs an output folder: -d OUTDIR");
  const auto [width, height] = PictureSize(a);
  const int radius = WholeNumberOption(a, "--radius", 0, 999, 30, "a whole number of pixels");
  const int style = WholeNumberOption(a, "--style", 2, 14, 8);
  const int threads = WholeNumberOption(a, "--threads", 1, 1024, 0);
  const int step = WholeNumberOption(a, "--step", 1, 9999, 100, "a whole number of centimetres");
  const auto shallow = ColourOption(a, "--shallow");
  const auto deep = ColourOption(a, "--deep");
  host.TrackName = a.Get("--name");
  host.ShowProgress = ::isatty(STDERR_FILENO) == 1;

  std::vector<std::string> outputs;
  for (const char* name : kMapFiles) outputs.push_back((fs::path(*outdirText) / name).string());
  RefuseInputsAsOutputs(a, outputs);

  TStagingFolder staging{fs::path(*outdirText)};
  const Clock::time_point start = Clock::now();

  TSession session(host);
  if (shallow) session.SetShallowColor(*shallow);
  if (deep) session.SetDeepColor(*deep);
  session.ResizePane(TPane::Tracks, width, height);
  session.ResizePane(TPane::HTTracks, width, height);
  session.Settings.InterpolationWidth = std::to_string(radius);
  session.Settings.InterpolatorStyle = style;
  if (threads > 0) session.Settings.InterpolateThrds = std::min(threads, session.CPUCount());
  session.Settings.IsoStep = std::to_string(step);
  if (host.TrackName) session.Settings.TrackName = *host.TrackName;

  LoadInputs(session, a, host);
  const int pointsLoaded = PointCount(session.GPXdata());
  const int tracksLoaded = session.GPXdata().trk.Count();
  const Clock::time_point loaded = Clock::now();

  // Both runs go before anything is written, so a refusal leaves no file.
  if (!session.Interpolate()) FailWith(host, "", "nothing to interpolate");
  const int trackSamples = PointCount(session.GPXdata());
  const Clock::time_point interpolated = Clock::now();
  if (!session.RunIsoMap()) FailWith(host, "", "no contour lines traced");
  const Clock::time_point traced = Clock::now();

  SaveThrough(host, SaveKind::Picture, staging.File("depth.bmp"), [&] { return !session.SaveInterpolatedImage().empty(); });
  SaveThrough(host, SaveKind::Picture, staging.File("depth.jpg"), [&] { return !session.SaveInterpolatedImage().empty(); });
  SaveThrough(host, SaveKind::Picture, staging.File("contours.bmp"), [&] { return !session.SaveIsoImage().empty(); });
  SaveThrough(host, SaveKind::ContourTracks, staging.File("contours.gpx"), [&] { return session.SaveIsoTracks(); });
  const TDepthMap& map = session.DepthMap();
  const TGridExtent extent = ViewGridExtent(session.GPXView());
  try {
    ExportContoursKML(staging.File("contours.kml"), session.IsoData(), session.MaxDepth(), session.clShallowWater(),
                      session.clDeepWater());
    // The grid of the picture: the map view the run interpolated in, which
    // nothing has moved since.
    WriteFileAtomically(staging.File("depth.prj"), std::string(kWGS84Prj) + "\n");
    WriteFileAtomically(staging.File("depth.asc"), EncodeEsriAsciiGrid(map.DepthArray, extent));
    WriteFileAtomically(staging.File("samples.csv"), EncodeSamplesCSV(map.InCoord, map.InDepth));
  } catch (const EFileError& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point written = Clock::now();

  host.HTFolder = staging.Path().string();
  const HTExportResult ht = session.CreateHTFile();
  if (ht.Outcome != HTExportOutcome::Done || ht.Files.empty())
    FailWith(host, ht.Error, "no HT file written");
  const Clock::time_point exported = Clock::now();

  const std::vector<std::string> files = staging.Publish();
  const Clock::time_point done = Clock::now();

  // Parts of an earlier map with more parts would be loaded by the unit
  // together with these; they are not ours to delete.
  std::vector<std::string> stale;
  for (int part = static_cast<int>(ht.Files.size()); part < 1000; ++part) {
    char name[16];
    std::snprintf(name, sizeof name, "%03d.ht", part);
    std::error_code ec;
    if (!fs::exists(fs::path(*outdirText) / name, ec)) break;
    stale.push_back(name);
  }

  const TMapInfo& info = session.MapInfo();
  const int samples = map.InCoord.Length();
  const int maxDepth = session.MaxDepth();
  const int levels = maxDepth > 0 ? (maxDepth + 1) / step + 1 : 0;
  std::ostringstream out;
  out << "Points loaded:   " << pointsLoaded << " in " << tracksLoaded << " tracks from " << a.Inputs.size()
      << (a.Inputs.size() == 1 ? " file\n" : " files\n")
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
      << "Contours:        " << session.IsoData().trk.Count() << " tracks, " << PointCount(session.IsoData())
      << " points (" << CountHTPoints(session.IsoData(), kHTAllowance) << " HT points)\n"
      << "HT files:        ";
  for (std::size_t i = 0; i < ht.Files.size(); ++i) out << (i ? ", " : "") << fs::path(ht.Files[i]).filename().string();
  out << "\n"
      << "Time:            load " << Fixed(Seconds(start, loaded)) << ", interpolation "
      << Fixed(Seconds(loaded, interpolated)) << ", contours " << Fixed(Seconds(interpolated, traced)) << ", files "
      << Fixed(Seconds(traced, written) + Seconds(exported, done)) << ", HT " << Fixed(Seconds(written, exported))
      << "; in all " << Fixed(Seconds(start, done)) << "\n"
      << "Wrote " << files.size() << " files into " << *outdirText << "\n";
  std::cout << out.str();
  PrintWarnings(ht.Warnings);
  if (!stale.empty()) {
    std::cerr << "sondralis-cli: note: " << *outdirText << " also holds ";
    for (std::size_t i = 0; i < stale.size(); ++i) std::cerr << (i ? ", " : "") << stale[i];
    std::cerr << " from an earlier map; the unit would load "
              << (stale.size() == 1 ? "it" : "them") << " with this one\n";
  }
  return kExitOk;
}

}  // namespace sondralis::cli
