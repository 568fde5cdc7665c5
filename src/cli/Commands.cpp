#include "cli/Commands.h"

#include <algorithm>
#include <climits>
#include <cmath>
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

#include "cli/CliHost.h"
#include "formats/AtomicFile.h"
#include "formats/SourceTracks.h"
#include "interpolation/SampleGrid.h"
#include "model/DateTime.h"
#include "model/GPX.h"
#include "model/Text.h"
#include "session/Session.h"

namespace sondralis::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kMainUsage =
    "Usage: sondralis-cli COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Turns echo-sounder recordings (GPX with depth readings) and shorelines\n"
    "(GPX or KML) into files for Humminbird units.\n"
    "\n"
    "Commands:\n"
    "  info FILE...                 what each file holds, one JSON line per file\n"
    "  convert IN... -o OUT.gpx     load the files as \"Add Files...\" does and save\n"
    "                               their tracks as one GPX file\n"
    "  ht IN... -o OUT.ht           load the files and write their tracks as an HT\n"
    "                               track file for the unit\n"
    "  map IN... [OUTPUTS]          load the files, interpolate the depth map and\n"
    "                               trace its contour lines, as the window does;\n"
    "                               save the pictures, the contours and HT files\n"
    "  grid SAMPLES.csv -o OUT.asc  Shepard interpolation of depth samples on a\n"
    "                               regular grid, as an Esri ASCII grid\n"
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
    "   \"tracks\":1, \"segments\":4, \"track_points\":14239, \"max_depth_cm\":1862}\n"
    "with \"error\":\"...\" added when the file could not be read. The counts are\n"
    "those of the file itself, waypoints and routes included.\n"
    "Exit status 1 when any file could not be read.\n";

constexpr const char* kLoadOptions =
    "Loading (as \"Add Files...\" in the window): only the tracks of each file are\n"
    "taken; in a GPX file with depth readings, points with a depth of exactly 0\n"
    "are dropped.\n"
    "  --depth CM    for files without depth readings (and every KML file): set\n"
    "                every point to this depth in centimetres (0 or more)\n"
    "  --offset CM   add this many centimetres (may be negative) to every point\n"
    "                of every GPX file\n";

constexpr const char* kConvertUsage =
    "Usage: sondralis-cli convert IN... -o OUT.gpx [--depth CM] [--offset CM]\n"
    "\n"
    "Loads the files in order and writes all their tracks as one GPX 1.1 file,\n"
    "depths included. OUT.gpx is replaced only when it is written completely.\n"
    "\n";

constexpr const char* kHtUsage =
    "Usage: sondralis-cli ht IN... -o OUT.ht [--name NAME] [--depth CM] [--offset CM]\n"
    "\n"
    "Loads the files in order and writes all their tracks as one Humminbird HT\n"
    "track file (at most 20000 points). Copy it into a folder \"matrix\" on the\n"
    "unit's SD card.\n"
    "  --name NAME   track name shown on the unit (first 20 characters;\n"
    "                default NewTrack)\n"
    "\n";

constexpr const char* kMapUsage =
    "Usage: sondralis-cli map IN... [--size WxH] [--radius PX] [--style P] [--threads N]\n"
    "                         [--step CM] [--image FILE] [--iso-image FILE]\n"
    "                         [--contours FILE.gpx] [--ht-dir DIR [--name NAME] [--reduce]]\n"
    "\n"
    "Loads the files in order, fits the map to a picture of WxH pixels (default\n"
    "800x600), interpolates the depth map within PX pixels of the depth tracks\n"
    "(default 30) and traces a contour line every CM centimetres (default 100),\n"
    "exactly as the window's \"Interpolate\" and \"ISO Map\" do. Prints the map's\n"
    "information (depth, area, size, resolution) and the contour counts.\n"
    "  --style P        power of the interpolator's weights, 2 (smooth) to 14\n"
    "                   (hard); default 8\n"
    "  --threads N      workers, at most one per processor (default: one per\n"
    "                   processor)\n"
    "  --image FILE     the interpolated picture, .bmp or .jpg\n"
    "  --iso-image FILE the contour picture, .bmp or .jpg\n"
    "  --contours FILE  the contour lines as GPX, each point with its depth\n"
    "  --ht-dir DIR     the contour lines as HT files 000.ht, 001.ht, ... in DIR\n"
    "  --name NAME      their track name (default NewTrack)\n"
    "  --reduce         thin the contours to fit one HT file instead of several\n"
    "\n";

constexpr const char* kGridUsage =
    "Usage: sondralis-cli grid SAMPLES.csv --extent MINLON,MINLAT,MAXLON,MAXLAT\n"
    "                          --size WxH [--power P] [--threads N] -o OUT.asc\n"
    "\n"
    "Interpolates the depth samples of SAMPLES.csv (header line lon,lat,depth;\n"
    "degrees and centimetres, read as 32-bit floats) with Shepard's inverse\n"
    "distance weighting over all samples, as the depth map does, at every node\n"
    "of a W x H grid over the extent. Node (i, j) is the centre of cell (i, j),\n"
    "row 0 at the north. Writes OUT.asc, an Esri ASCII grid whose values keep\n"
    "17 significant digits, and beside it a .prj file declaring WGS 84.\n"
    "  --power P     the power of the distance weights, 2 to 14 (default 8)\n"
    "  --threads N   worker threads (default: one per processor)\n";

// Grids larger than this are refused rather than exhausting memory.
constexpr long long kMaxGridNodes = 16LL * 1024 * 1024;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure that ends the command: one line on stderr, exit status 1.
class CommandFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Arguments {
  std::vector<std::string> Inputs;
  std::map<std::string, std::string> Values;  // option name -> value
  std::set<std::string> Flags;  // options without a value that were given
  bool Help = false;
  bool Verbose = false;

  std::optional<std::string> Get(const std::string& name) const {
    auto it = Values.find(name);
    if (it == Values.end()) return std::nullopt;
    return it->second;
  }
};

// Parses "IN... [options]"; `valued` lists the options that take a value,
// `flags` those that take none.
Arguments Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                const std::set<std::string>& flags = {}) {
  Arguments out;
  bool onlyFiles = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
      out.Inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      onlyFiles = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      out.Help = true;
      continue;
    }
    if (a == "--verbose" || a == "-v") {
      out.Verbose = true;
      continue;
    }
    if (flags.count(a)) {
      out.Flags.insert(a);
      continue;
    }
    std::string name = a, value;
    bool hasValue = false;
    if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    if (!valued.count(name)) throw UsageError("unknown option " + name);
    if (!hasValue) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    if (out.Values.count(name)) throw UsageError(name + " given twice");
    out.Values[name] = value;
  }
  return out;
}

int ParseCentimetres(const std::string& option, const std::string& text, bool allowNegative) {
  const auto v = ParseInteger(text);
  if (!v || *v > INT_MAX || *v < INT_MIN || (!allowNegative && *v < 0))
    throw UsageError(option + " wants a whole number of centimetres" + (allowNegative ? "" : ", 0 or more") +
                     ", not \"" + text + "\"");
  return static_cast<int>(*v);
}

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
         << ", \"max_depth_cm\":" << GetMaxDepth(doc);
    if (!error.empty()) line << ", \"error\":" << JsonString(error);
    line << "}";
    std::cout << line.str() << "\n";
    if (!loaded) {
      std::cerr << "sondralis-cli: " << error << "\n";
      status = kExitFailure;
    }
  }
  return status;
}

// Loads the inputs in order as "Add Files..." does; the first problem ends
// the command.
void LoadInputs(TSession& session, const Arguments& a, CliHost& host) {
  session.Settings.AddDepth = host.Depth.has_value();
  session.Settings.AddOffset = host.Offset.has_value();
  for (const std::string& path : a.Inputs) {
    session.AddFiles({path});
    if (!host.Errors.empty()) throw CommandFailure(host.Errors.front());
  }
}

// Reads --depth and --offset into the host.
void SetUpLoading(const Arguments& a, CliHost& host, const char* command) {
  if (a.Inputs.empty()) throw UsageError(std::string(command) + " needs at least one input file");
  host.Verbose = a.Verbose;
  if (auto depth = a.Get("--depth")) {
    ParseCentimetres("--depth", *depth, false);
    host.Depth = depth;
  }
  if (auto offset = a.Get("--offset")) {
    ParseCentimetres("--offset", *offset, true);
    host.Offset = offset;
  }
}

// The file named by -o, answering the save dialog of `kind`.
void SetUpOutput(const Arguments& a, CliHost& host, const char* command, SaveKind kind) {
  const auto out = a.Get("-o");
  if (!out || out->empty()) throw UsageError(std::string(command) + " needs an output file: -o FILE");
  host.Outputs[kind] = *out;
}

// The failure of a command that wrote nothing: the error shown, or `fallback`.
[[noreturn]] void FailWith(const CliHost& host, const std::string& error, const std::string& fallback) {
  throw CommandFailure(!error.empty() ? error : host.Errors.empty() ? fallback : host.Errors.front());
}

int RunConvert(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"-o", "--depth", "--offset"});
  if (a.Help) {
    std::cout << kConvertUsage << kLoadOptions;
    return kExitOk;
  }
  CliHost host;
  SetUpLoading(a, host, "convert");
  SetUpOutput(a, host, "convert", SaveKind::SourceTracks);
  TSession session(host);
  LoadInputs(session, a, host);
  if (!session.SaveTracks()) FailWith(host, "", host.Outputs[SaveKind::SourceTracks] + ": nothing written");
  return kExitOk;
}

int RunHt(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"-o", "--depth", "--offset", "--name"});
  if (a.Help) {
    std::cout << kHtUsage << kLoadOptions;
    return kExitOk;
  }
  CliHost host;
  SetUpLoading(a, host, "ht");
  SetUpOutput(a, host, "ht", SaveKind::HTSourceTracks);
  host.TrackName = a.Get("--name");
  TSession session(host);
  LoadInputs(session, a, host);
  const HTExportResult result = session.SaveAsHTFile();
  const std::string& out = host.Outputs[SaveKind::HTSourceTracks];
  if (result.Outcome != HTExportOutcome::Done || result.Files.empty())
    FailWith(host, result.Error.empty() ? "" : AboutFile(out, result.Error), AboutFile(out, "nothing written"));
  return kExitOk;
}

// A picture size "WxH" in pixels.
std::pair<int, int> ParsePictureSize(const std::string& text) {
  const std::size_t x = ToLowerAscii(text).find('x');
  const auto w = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(0, x));
  const auto h = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h || *w < 16 || *h < 16 || *w > 8192 || *h > 8192)
    throw UsageError("--size wants WxH, two whole numbers of pixels from 16 to 8192, not \"" + text + "\"");
  return {static_cast<int>(*w), static_cast<int>(*h)};
}

int RunMap(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"--depth", "--offset", "--size", "--radius", "--style", "--threads", "--step",
                                   "--image", "--iso-image", "--contours", "--ht-dir", "--name"},
                            {"--reduce"});
  if (a.Help) {
    std::cout << kMapUsage << kLoadOptions;
    return kExitOk;
  }
  CliHost host;
  SetUpLoading(a, host, "map");
  TSession session(host);
  if (const auto size = a.Get("--size")) {
    const auto [w, h] = ParsePictureSize(*size);
    session.ResizePane(TPane::Tracks, w, h);
    session.ResizePane(TPane::HTTracks, w, h);
  }
  if (const auto radius = a.Get("--radius")) session.Settings.InterpolationWidth = *radius;
  if (const auto style = a.Get("--style")) {
    const auto v = ParseInteger(*style);
    if (!v || *v < 2 || *v > 14) throw UsageError("--style wants a whole number from 2 to 14, not \"" + *style + "\"");
    session.Settings.InterpolatorStyle = static_cast<int>(*v);
  }
  if (const auto threads = a.Get("--threads")) {
    const auto v = ParseInteger(*threads);
    if (!v || *v < 1 || *v > 1024)
      throw UsageError("--threads wants a whole number from 1 to 1024, not \"" + *threads + "\"");
    session.Settings.InterpolateThrds = static_cast<int>(*v);
  }
  if (const auto step = a.Get("--step")) session.Settings.IsoStep = *step;
  if (const auto name = a.Get("--name")) session.Settings.TrackName = *name;
  session.Settings.ReduceWaypoints = a.Flags.count("--reduce") > 0;

  LoadInputs(session, a, host);
  // Both runs go first, so a refusal leaves no output behind.
  if (!session.Interpolate()) FailWith(host, "", "there are no tracks to interpolate");
  if (!session.RunIsoMap()) FailWith(host, "", "no contour lines traced");
  if (const auto image = a.Get("--image")) {
    host.Outputs[SaveKind::Picture] = *image;
    if (session.SaveInterpolatedImage().empty()) FailWith(host, "", AboutFile(*image, "nothing written"));
  }
  if (const auto image = a.Get("--iso-image")) {
    host.Outputs[SaveKind::Picture] = *image;
    if (session.SaveIsoImage().empty()) FailWith(host, "", AboutFile(*image, "nothing written"));
  }
  if (const auto contours = a.Get("--contours")) {
    host.Outputs[SaveKind::ContourTracks] = *contours;
    if (!session.SaveIsoTracks()) FailWith(host, "", AboutFile(*contours, "nothing written"));
  }
  if (const auto folder = a.Get("--ht-dir")) {
    host.HTFolder = *folder;
    const HTExportResult result = session.CreateHTFile();
    if (result.Outcome != HTExportOutcome::Done) FailWith(host, result.Error, AboutFile(*folder, "nothing written"));
  }

  const TMapInfo& info = session.MapInfo();
  std::cout << info.MaxDepthText << "\n"
            << info.AreaText << "\n"
            << info.ScreenSizeText << "\n"
            << info.ResolutionText << "\n"
            << session.LabelText(TLabel::NumIsoTracks) << "\n"
            << session.LabelText(TLabel::GeneratedPoints) << "\n";
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
  return {v[0], v[1], v[2], v[3]};
}

std::pair<int, int> ParseSize(const std::string& text) {
  const std::size_t x = ToLowerAscii(text).find('x');
  const auto w = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(0, x));
  const auto h = x == std::string::npos ? std::nullopt : ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h || *w < 1 || *h < 1 || *w > INT_MAX || *h > INT_MAX)
    throw UsageError("--size wants WxH, two whole numbers of nodes, not \"" + text + "\"");
  if (*w * *h > kMaxGridNodes) throw UsageError("--size " + text + " is too large: at most 16777216 nodes");
  return {static_cast<int>(*w), static_cast<int>(*h)};
}

int RunGrid(const std::vector<std::string>& args) {
  const Arguments a = Parse(args, {"-o", "--extent", "--size", "--power", "--threads"});
  if (a.Help) {
    std::cout << kGridUsage;
    return kExitOk;
  }
  if (a.Inputs.size() != 1) throw UsageError("grid needs exactly one samples file");
  const auto out = a.Get("-o");
  if (!out || out->empty()) throw UsageError("grid needs an output file: -o OUT.asc");
  const auto extentText = a.Get("--extent");
  if (!extentText) throw UsageError("grid needs --extent MINLON,MINLAT,MAXLON,MAXLAT");
  const auto sizeText = a.Get("--size");
  if (!sizeText) throw UsageError("grid needs --size WxH");
  const TGridExtent extent = ParseExtent(*extentText);
  const auto [columns, rows] = ParseSize(*sizeText);
  int power = 8;
  if (const auto p = a.Get("--power")) {
    const auto v = ParseInteger(*p);
    if (!v || *v < kKernelMinPower || *v > kKernelMaxPower)
      throw UsageError("--power wants a whole number from 2 to 14, not \"" + *p + "\"");
    power = static_cast<int>(*v);
  }
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (const auto t = a.Get("--threads")) {
    const auto v = ParseInteger(*t);
    if (!v || *v < 1 || *v > 1024) throw UsageError("--threads wants a whole number from 1 to 1024, not \"" + *t + "\"");
    threads = static_cast<int>(*v);
  }

  const std::string& input = a.Inputs.front();
  std::ifstream in(input, std::ios::binary);
  if (!in) throw CommandFailure(input + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  CliHost host;
  host.Verbose = a.Verbose;
  TPointList coord;
  TValueList depth;
  try {
    ReadSamplesCSV(text.str(), input, coord, depth);
    if (coord.Length() == 0) throw EGridError(input + ": no samples");
    const TDepthArray grid = GridSamples(coord, depth, extent, columns, rows, power, threads, host);
    // The projection goes first, so a complete grid never lacks it.
    WriteFileAtomically(std::filesystem::path(*out).replace_extension(".prj").string(), std::string(kWGS84Prj) + "\n");
    WriteFileAtomically(*out, EncodeEsriAsciiGrid(grid, extent));
  } catch (const EGridError& e) {
    throw CommandFailure(e.what());
  } catch (const EFileError& e) {
    throw CommandFailure(e.what());
  }
  return kExitOk;
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
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

}  // namespace sondralis::cli
