#include "cli/Commands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/CommandSupport.h"
#include "cli/MapCommand.h"
#include "cli/ValidateCommand.h"
#include "formats/AtomicFile.h"
#include "formats/SourceTracks.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/SurfaceInterp.h"
#include "model/DateTime.h"
#include "model/GPX.h"
#include "model/Numbers.h"
#include "model/Text.h"
#include "session/Project.h"

namespace sondralis::cli {

namespace {

constexpr const char* kMainUsage =
    "Usage: sondralis-cli COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Turns echo-sounder recordings (GPX with depth readings, or soundings as CSV\n"
    "or XYZ) and shorelines (GPX or KML) into files for Humminbird units.\n"
    "\n"
    "Commands:\n"
    "  info FILE...                 what each file holds, one JSON line per file\n"
    "  convert IN... -o OUT.gpx     load the files as \"Add Files...\" does and save\n"
    "                               their tracks as one GPX file\n"
    "  ht IN... -o OUT.ht           load the files and write their tracks as an HT\n"
    "                               track file for the unit\n"
    "  map IN... -d OUTDIR          the window's whole job: load, interpolate the\n"
    "                               depth map, trace its contour lines and write\n"
    "                               pictures, grids, contours and HT files; IN may\n"
    "                               be a project file (.sondralis) of the window\n"
    "  grid SAMPLES.csv -o OUT.asc  Shepard interpolation of depth samples on a\n"
    "                               regular grid, as an Esri ASCII grid\n"
    "  validate IN...               how good the depth map is: held-out soundings\n"
    "                               against maps made without them\n"
    "  levels IN...                 the water level of each survey session,\n"
    "                               estimated where their tracks cross, one JSON\n"
    "                               line per session\n"
    "\n"
    "  sondralis-cli COMMAND --help   options of a command\n"
    "  sondralis-cli --version        the version\n"
    "\n"
    "Exit status: 0 success, 1 failure (one line on stderr names the file and\n"
    "the reason), 2 wrong usage.\n";

constexpr const char* kInfoUsage =
    "Usage: sondralis-cli info FILE...\n"
    "\n"
    "Reads each GPX or KML file on its own and prints one JSON object per file:\n"
    "  {\"file\":\"...\", \"loaded\":true, \"waypoints\":0, \"routes\":0, \"route_points\":0,\n"
    "   \"tracks\":1, \"segments\":4, \"track_points\":14299, \"max_depth_cm\":1948,\n"
    "   \"unreadable_depths\":0, \"skipped_points\":0, \"skipped_placemarks\":0}\n"
    "with \"error\":\"...\" added when the file could not be read. The counts are\n"
    "those of the file itself, waypoints and routes included; the last three\n"
    "count depths that are no number (read as 0), points left out for a missing\n"
    "or impossible position, and KML placemarks that are no point or line, each\n"
    "also told on stderr.\n"
    "Exit status 1 when any file could not be read.\n";

constexpr const char* kConvertUsage =
    "Usage: sondralis-cli convert IN... -o OUT.gpx [loading options]\n"
    "\n"
    "Loads the files in order and writes all their tracks as one GPX 1.1 file,\n"
    "depths included. OUT.gpx is replaced only when it is written completely.\n"
    "\n";

constexpr const char* kHtUsage =
    "Usage: sondralis-cli ht IN... -o OUT.ht [--name NAME] [loading options]\n"
    "\n"
    "Loads the files in order and writes all their tracks as one Humminbird HT\n"
    "track file (at most 20000 entries, segment markers included). Copy it into\n"
    "a folder \"matrix\" on the unit's SD card.\n"
    "  --name NAME   track name shown on the unit (first 20 characters;\n"
    "                default NewTrack)\n"
    "\n";

constexpr const char* kGridUsage =
    "Usage: sondralis-cli grid SAMPLES.csv --extent MINLON,MINLAT,MAXLON,MAXLAT\n"
    "                          --size WxH [--power P] [--threads N] -o OUT.asc\n"
    "                          [--method M] [--tolerance CM]\n"
    "\n"
    "Interpolates the depth samples of SAMPLES.csv (header line lon,lat,depth;\n"
    "degrees and centimetres, read as 32-bit floats) with Shepard's inverse\n"
    "distance weighting over all samples, as the depth map does (or with its\n"
    "surface method, fitted over the whole grid), at every node of a W x H\n"
    "grid over the extent. Node (i, j) is the centre of cell (i, j),\n"
    "row 0 at the north. Writes OUT.asc, an Esri ASCII grid whose values keep\n"
    "17 significant digits, and beside it a .prj file declaring WGS 84.\n"
    "  --power P        the power of Shepard's distance weights, 2 to 14\n"
    "                   (default 8)\n"
    "  --threads N      worker threads (default: one per processor)\n";
// After the --method text.
constexpr const char* kGridUsageTail =
    "                   Samples of depth 0 or less are shoreline to the surface.\n"
    "  --tolerance CM   Shepard at power 6 or more: each node within CM of the\n"
    "                   sum over all samples, far samples bounded instead of\n"
    "                   summed (default 0: every sample summed)\n"
    "--extent lies within -180..180 and -90..90 degrees. A size that needs more\n"
    "memory than the machine has (or ulimit -v allows) is refused before any\n"
    "work; on a terminal a bar shows the interpolation's progress. OUT.asc and\n"
    "its .prj are replaced together, only when both are complete.\n";

constexpr const char* kLevelsUsage =
    "Usage: sondralis-cli levels IN... [loading options]\n"
    "\n"
    "Loads the files in order, with the corrections asked for, and estimates the\n"
    "water level of each survey session (a file, or a day of a file whose points\n"
    "carry times) from the places where tracks of different sessions cross, the\n"
    "first session fixed at 0. Makes no map and changes no file; prints one JSON\n"
    "line per session, in load order:\n"
    "  {\"session\": \"lake.gpx 2026-06-14\", \"offset_cm\": -29.8, \"crossings\": 161,\n"
    "   \"overlaps\": 0, \"residual_cm\": 17.1, \"std_error_cm\": 1.2,\n"
    "   \"estimated\": true, \"reference\": null}\n"
    "offset_cm is what --level auto adds to the session's readings (a day the\n"
    "water stood 30 cm higher than on the first gets about -30); crossings the\n"
    "places it rests on; overlaps how many of them are no crossings but places\n"
    "where a session that crosses the others rarely has readings near theirs\n"
    "(compared over 15 m around); residual_cm the root mean square of the\n"
    "disagreement left there; std_error_cm how far off the offset may be.\n"
    "Sessions that cross each other but none linked to the first are levelled\n"
    "to the first of them, named in \"reference\"; a session whose tracks meet\n"
    "no other's has \"offset_cm\": null and \"estimated\": false.\n"
    "The offsets can be given back by hand with --level FILE=CM.\n"
    "IN may be a project file (.sondralis) of the window: its files load with\n"
    "their corrections and the levels applied to them, and the offsets are what\n"
    "is left between them.\n"
    "\n";

// Grids larger than this are refused rather than exhausting memory.
constexpr long long kMaxGridNodes = 16LL * 1024 * 1024;
// Memory a grid needs per node (the depths, their text) and besides, as
// measured with GNU time's maximum resident size, with room to spare.
constexpr double kGridBytesPerNode = 48;
constexpr double kBaseBytes = 64.0 * 1024 * 1024;

std::string JsonString(const std::string& text) {
  // Paths from the command line need not be UTF-8; a round trip through
  // UTF-16 turns stray bytes into replacement characters.
  const std::string utf8 = Utf16ToUtf8(Utf8ToUtf16(text));
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

struct FileCounts {
  int Waypoints = 0, Routes = 0, RoutePoints = 0, Tracks = 0, Segments = 0, TrackPoints = 0;
};

FileCounts Count(const TGPX& doc) {
  FileCounts c;
  c.Waypoints = doc.wpt.Count();
  c.Routes = doc.rte.Count();
  for (TGPXrte* r : doc.rte) c.RoutePoints += r->Count();
  c.Tracks = doc.trk.Count();
  for (TGPXtrk* t : doc.trk) {
    c.Segments += t->Count();
    for (TGPXtrkseg* s : *t) c.TrackPoints += s->Count();
  }
  return c;
}

int RunInfo(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {});
  if (a.Help) {
    std::cout << kInfoUsage;
    return kExitOk;
  }
  if (a.Inputs.empty()) throw UsageError("info needs at least one file");
  int status = kExitOk;
  for (const std::string& path : a.Inputs) {
    TGPX doc;
    const SourceReadResult read = ReadSourceDocument(path, doc);
    const bool loaded = read.Loaded;
    const std::string& error = read.Error;
    const FileCounts c = Count(doc);
    std::ostringstream line;
    line << "{\"file\":" << JsonString(path) << ", \"loaded\":" << (loaded ? "true" : "false")
         << ", \"waypoints\":" << c.Waypoints << ", \"routes\":" << c.Routes << ", \"route_points\":" << c.RoutePoints
         << ", \"tracks\":" << c.Tracks << ", \"segments\":" << c.Segments << ", \"track_points\":" << c.TrackPoints
         << ", \"max_depth_cm\":" << GetMaxDepth(doc) << ", \"unreadable_depths\":" << read.UnreadableDepths
         << ", \"skipped_points\":" << read.SkippedPoints << ", \"skipped_placemarks\":" << read.SkippedPlacemarks;
    if (!error.empty()) line << ", \"error\":" << JsonString(error);
    line << "}";
    std::cout << line.str() << "\n";
    for (const std::string& warning : read.Warnings) std::cerr << warning << "\n";
    if (!loaded) {
      std::cerr << "sondralis-cli: " << error << "\n";
      status = kExitFailure;
    }
  }
  return status;
}

// The file named by -o, which must not be one of the inputs.
std::string OutputOption(const Arguments& a, const char* command) {
  const auto out = a.Get("-o");
  if (!out || out->empty()) throw UsageError(std::string(command) + " needs an output file: -o FILE");
  RefuseInputsAsOutputs(a, {*out});
  return *out;
}

int RunConvert(const std::vector<std::string>& args) {
  const Arguments a = ParseWithLoading(args, {"-o"});
  if (a.Help) {
    std::cout << kConvertUsage << kLoadOptions;
    return kExitOk;
  }
  const TLoadOptions loading = SetUpLoading(a, "convert", TLoadUse::Tracks);
  const std::string out = OutputOption(a, "convert");
  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  TProject project;
  project.DrawMaps = false;
  LoadInputs(project, a, loading, feedback);
  try {
    project.Export(TExportRequest::OneFile(TOutput::SourceTracks, out), feedback);
  } catch (const std::exception& e) {
    throw CommandFailure(e.what());
  }
  return kExitOk;
}

int RunHt(const std::vector<std::string>& args) {
  const Arguments a = ParseWithLoading(args, {"-o", "--name"});
  if (a.Help) {
    std::cout << kHtUsage << kLoadOptions;
    return kExitOk;
  }
  const TLoadOptions loading = SetUpLoading(a, "ht", TLoadUse::Tracks);
  const std::string out = OutputOption(a, "ht");
  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  TProject project;
  project.DrawMaps = false;
  LoadInputs(project, a, loading, feedback);
  TExportRequest request = TExportRequest::OneFile(TOutput::SourceHT, out);
  request.TrackName = a.Get("--name").value_or(project.Settings.HT.TrackName);
  try {
    PrintWarnings(project.Export(request, feedback).Warnings);
  } catch (const std::exception& e) {
    throw CommandFailure(AboutFile(out, e.what()));
  }
  return kExitOk;
}

// A number in JSON with one decimal, as the log lines write it.
std::string JsonCm(double cm) { return FormatFixed(std::round(cm * 10) / 10 + 0.0, 1); }

int RunLevels(const std::vector<std::string>& args) {
  const Arguments a = ParseWithLoading(args, {});
  if (a.Help) {
    std::cout << kLevelsUsage << kLoadOptions;
    return kExitOk;
  }
  const TLoadOptions loading = SetUpLoading(a, "levels", TLoadUse::Tracks);
  if (loading.Corrections.AutoLevel)
    throw UsageError("levels estimates the levels and applies none: --level auto is for the commands that load");
  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  TProject project;
  project.DrawMaps = false;
  if (std::optional<TProjectFile> projectFile = ProjectInput(a)) {
    // The levels left between the project's files as it loads them, with
    // their corrections and the levels applied to them before.
    if (ChangesCorrections(loading)) {
      loading.ApplyTo(project);
      projectFile->Settings.Corrections = project.Settings.Corrections;
      ForgetInputCorrections(*projectFile);
    }
    TLoadTotals setAside;
    LoadProject(project, *projectFile, a.Inputs.front(), feedback, setAside);
  } else {
    LoadInputs(project, a, loading, feedback);
  }
  const TProjectLevels levels = project.EstimateLevels(feedback);
  std::ostringstream out;
  for (const TSessionLevel& s : levels.Estimate.Sessions) {
    out << "{\"session\": " << JsonString(s.Name) << ", \"offset_cm\": " << (s.Estimated ? JsonCm(s.OffsetCm) : "null")
        << ", \"crossings\": " << s.Crossings << ", \"overlaps\": " << s.Overlaps << ", \"residual_cm\": " << JsonCm(s.ResidualCm)
        << ", \"std_error_cm\": " << JsonCm(s.StdErrorCm) << ", \"estimated\": " << (s.Estimated ? "true" : "false")
        << ", \"reference\": " << (s.Reference.empty() ? std::string("null") : JsonString(s.Reference)) << "}\n";
    if (!s.Estimated && !a.Verbose) std::cerr << DescribeSessionLevel(s, TLevelEstimateOptions{}) << "\n";
  }
  std::cout << out.str();
  return kExitOk;
}

TGridExtent ParseExtent(const std::string& text) {
  double v[4];
  std::string_view rest = text;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = rest.find(',');
    const auto number = ParseNumber(rest.substr(0, comma));
    if (!number || !std::isfinite(*number) || (i < 3) == (comma == std::string_view::npos))
      throw UsageError("--extent wants MINLON,MINLAT,MAXLON,MAXLAT in degrees, not \"" + text + "\"");
    v[i] = *number;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  if (!(v[0] < v[2]) || !(v[1] < v[3])) throw UsageError("--extent needs MINLON < MAXLON and MINLAT < MAXLAT");
  // Positions on the globe only: no grid GIS programs read lies beyond.
  if (v[0] < -180 || v[2] > 180 || v[1] < -90 || v[3] > 90)
    throw UsageError("--extent must lie within -180 to 180 degrees of longitude and -90 to 90 of latitude, not \"" +
                     text + "\"");
  return {v[0], v[1], v[2], v[3]};
}

std::pair<int, int> ParseSize(const std::string& text) {
  const auto size = ParseWxH(text);
  if (!size || size->first < 1 || size->second < 1 || size->first > INT_MAX || size->second > INT_MAX)
    throw UsageError("--size wants WxH, two whole numbers of nodes, not \"" + text + "\"");
  if (size->first * size->second > kMaxGridNodes)
    throw UsageError("--size " + text + " is too large: at most 16777216 nodes");
  return {static_cast<int>(size->first), static_cast<int>(size->second)};
}

int RunGrid(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"-o", "--extent", "--size", "--power", "--threads", "--method", "--tolerance"});
  if (a.Help) {
    std::cout << kGridUsage << kMethodOption << kGridUsageTail;
    return kExitOk;
  }
  if (a.Inputs.size() != 1) throw UsageError("grid needs exactly one samples file");
  const auto out = a.Get("-o");
  if (!out || out->empty()) throw UsageError("grid needs an output file: -o OUT.asc");
  if (ToLowerAscii(std::filesystem::path(*out).extension().string()) == ".prj")
    throw UsageError("grid writes the projection beside the grid as a .prj file: -o wants the grid's name, not " +
                     *out);
  const auto extentText = a.Get("--extent");
  if (!extentText) throw UsageError("grid needs --extent MINLON,MINLAT,MAXLON,MAXLAT");
  const auto sizeText = a.Get("--size");
  if (!sizeText) throw UsageError("grid needs --size WxH");
  const TGridExtent extent = ParseExtent(*extentText);
  const auto [columns, rows] = ParseSize(*sizeText);
  const int power = WholeNumberOption(a, "--power", kKernelMinPower, kKernelMaxPower, 8);
  const int threads = WholeNumberOption(a, "--threads", 1, 1024, TProject::GetCPUCount());
  const TInterpolationMethod method = MethodOption(a).value_or(TInterpolationMethod::Shepard);
  const double tolerance = ToleranceOption(a, 0);

  const std::string& input = a.Inputs.front();
  const std::string prj = std::filesystem::path(*out).replace_extension(".prj").string();
  RefuseInputsAsOutputs(a, {*out, prj});
  // Both outputs must be replaceable before any work: the projection is
  // published only with its grid.
  for (const std::string& target : {*out, prj}) {
    try {
      ReplaceableTarget(target);
    } catch (const EFileError& e) {
      throw CommandFailure(e.what());
    }
  }
  RefuseWhatCannotFit(kGridBytesPerNode * static_cast<double>(columns) * rows + kBaseBytes, "--size " + *sizeText);
  std::error_code ec;
  if (std::filesystem::is_directory(input, ec)) throw CommandFailure(input + " is a directory");
  std::ifstream in(input, std::ios::binary);
  if (!in) throw CommandFailure(input + ": cannot be read");
  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  feedback.ShowProgress = ::isatty(STDERR_FILENO) == 1;
  TPointList coord;
  TValueList depth;
  try {
    ReadSamplesCSV(in, input, coord, depth);
    if (coord.Length() == 0) throw EGridError(input + ": no samples");
    feedback.ProgressLabel = "Interpolating ";
    TDepthArray grid;
    if (method == TInterpolationMethod::Surface) {
      TSurfaceSettings surface;
      surface.Threads = threads;
      SurfaceInterpolate(coord, depth, GridNodes(extent, columns, rows), TBooleanArray(), surface, grid, feedback);
    } else {
      grid = GridSamples(coord, depth, extent, columns, rows, power, threads, feedback, tolerance);
    }
    feedback.EndProgress();
    AtomicFileWriter asc(*out);
    asc.Write(EncodeEsriAsciiGrid(grid, extent));
    AtomicFileWriter projection(prj);
    projection.Write(std::string(kWGS84Prj) + "\n");
    // Both complete before either replaces a file; the grid goes first, so
    // the projection never stands beside another grid.
    asc.Commit();
    projection.Commit();
  } catch (const EGridError& e) {
    feedback.EndProgress();
    throw CommandFailure(e.what());
  } catch (const ESurfaceError& e) {
    feedback.EndProgress();
    throw CommandFailure(input + ": " + e.what());
  } catch (const EFileError& e) {
    feedback.EndProgress();
    throw CommandFailure(e.what());
  }
  return kExitOk;
}

// The command itself; RunCli adds the check of standard output.
int RunCommand(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << kMainUsage;
    return kExitUsage;
  }
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (command == "--version") {
      std::cout << "sondralis-cli " << SONDRALIS_VERSION << "\n";
      return kExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
      std::cout << kMainUsage;
      return kExitOk;
    }
    if (command == "info") return RunInfo(rest);
    if (command == "convert") return RunConvert(rest);
    if (command == "ht") return RunHt(rest);
    if (command == "map") return RunMap(rest);
    if (command == "grid") return RunGrid(rest);
    if (command == "validate") return RunValidate(rest);
    if (command == "levels") return RunLevels(rest);
    throw UsageError("unknown command " + command);
  } catch (const UsageError& e) {
    std::cerr << "sondralis-cli: " << e.what() << "\n(see sondralis-cli --help)\n";
    return kExitUsage;
  } catch (const CommandFailure& e) {
    std::cerr << "sondralis-cli: " << e.what() << "\n";
    return kExitFailure;
  } catch (const std::exception& e) {
    std::cerr << "sondralis-cli: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
  const int status = RunCommand(args);
  // What the command printed is its result: when it did not all reach
  // standard output (a full disk, a closed descriptor), the command failed.
  std::cout.flush();
  const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout);
  if (!failed) return status;
  const int error = errno;
  std::cerr << "sondralis-cli: can't write to standard output: " << std::strerror(error) << "\n";
  return status == kExitOk ? kExitFailure : status;
}

}  // namespace sondralis::cli
