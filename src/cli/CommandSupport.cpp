#include "cli/CommandSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <iostream>

#include "interpolation/ShoreSamples.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis::cli {

const char* const kLoadOptions =
    "Loading (as \"Add Files...\" in the window): only the tracks of each file are\n"
    "taken; in a GPX or soundings file with depth readings, points with a depth\n"
    "of exactly 0 are dropped. Soundings files (.csv, .xyz) have a header line\n"
    "naming their columns: lon (long, longitude, x), lat (latitude, y), depth (z)\n"
    "in metres (\"depth_cm\" or \"depth (cm)\" for centimetres, \"depth_ft\" for\n"
    "feet), and an optional time; each file is one track.\n"
    "  --depth CM    for files without depth readings (and every KML file): set\n"
    "                every point to this depth in centimetres (0 to 1200000)\n"
    "  --offset CM   add this many centimetres (may be negative) to every point\n"
    "                of every GPX or soundings file\n"
    "Corrections of the readings, applied in this order, each told on stderr\n"
    "with its counts (none by default):\n"
    "  --depth-from ele    a GPX file without depth readings takes -ele x 100 as\n"
    "                      its depths in cm (sonar tools that write the depth as\n"
    "                      a negative elevation in metres)\n"
    "  --despike           remove spikes: readings that differ from the median of\n"
    "                      the 7 around them (carried along the bottom's slope\n"
    "                      where that fits them better) by more than 1.5 times\n"
    "                      their median deviation and more than 50 cm\n"
    "  --transducer CM     the transducer's depth below the surface, added to\n"
    "                      every reading (0 to 10000)\n"
    "  --level FILE=CM     the water level of one input file, added to its\n"
    "                      readings: a day the water stood 30 cm higher takes\n"
    "                      -30 (repeatable; FILE as given or its name)\n"
    "  --level-table LEVELS.csv [--datum CM]\n"
    "                      correct each reading by the lake's level at its time\n"
    "                      (time,level_cm lines with ISO 8601 times, interpolated)\n"
    "                      relative to the datum (default: the table's lowest\n"
    "                      level); a file with a reading outside the table's\n"
    "                      times is refused\n"
    "  --level auto        estimate the level of each session (a file, or a day\n"
    "                      of a file whose points carry times) where tracks of\n"
    "                      different sessions cross, the first fixed at 0, and\n"
    "                      apply it (see the command levels); sessions that\n"
    "                      cross none linked to the first are levelled to the\n"
    "                      first of those they cross\n"
    "Soundings outside the shoreline are counted and told on stderr.\n"
    "Readings deeper than 12000 m (1200000 cm), or higher, no lake can give:\n"
    "they are set aside, and each file that held any is named on stderr.\n";

const char* const kShoreOptions =
    "The shoreline's part in the map:\n"
    "  --shore-depth CM|none  the depth of the shoreline's samples (default 0);\n"
    "                      none: the shoreline bounds the map but adds no samples\n"
    "  --keep-outside      map the soundings outside the shoreline too, in a band\n"
    "                      around them as for tracks without a shoreline\n";

namespace {

const std::set<std::string> kLoadValued = {"--depth", "--offset",      "--depth-from", "--transducer",
                                           "--level", "--level-table", "--datum",      "--shore-depth"};
const std::set<std::string> kLoadFlags = {"--despike", "--keep-outside"};
const std::set<std::string> kLoadRepeatable = {"--level"};

// A number of centimetres from an option, within the bounds, or a
// UsageError.
double DecimalCentimetres(const std::string& option, const std::string& text, double min, double max) {
  const auto v = ParseNumber(text);
  if (!v || !(*v >= min) || !(*v <= max))
    throw UsageError(option + " wants a number of centimetres from " + FormatNumber(min) + " to " + FormatNumber(max) +
                     ", not \"" + text + "\"");
  return *v;
}

// The input a --level FILE names: the path as given, or the file name of
// exactly one input.
std::string InputNamed(const Arguments& a, const std::string& file) {
  for (const std::string& in : a.Inputs)
    if (in == file) return in;
  std::vector<std::string> named;
  for (const std::string& in : a.Inputs)
    if (std::filesystem::path(in).filename().string() == file) named.push_back(in);
  if (named.size() == 1) return named.front();
  if (named.empty()) throw UsageError("--level names " + file + ", which is not one of the input files");
  throw UsageError("--level names " + file + ", which is the name of several input files; give its path");
}

}  // namespace

int WholeNumberOption(const Arguments& a, const std::string& name, int min, int max, int fallback,
                      const std::string& what) {
  const auto text = a.Get(name);
  if (!text) return fallback;
  const auto v = ParseInteger(*text);
  if (!v || *v < min || *v > max)
    throw UsageError(name + " wants " + what + " from " + std::to_string(min) + " to " + std::to_string(max) +
                     ", not \"" + *text + "\"");
  return static_cast<int>(*v);
}

const char* const kMethodOption =
    "  --method M       how the depths between the soundings are found: shepard\n"
    "                   (inverse-distance weighting, the default) or surface (a\n"
    "                   smooth surface through block medians of the soundings,\n"
    "                   closer to the true bottom where lines lie far apart)\n";

std::optional<TInterpolationMethod> MethodOption(const Arguments& a) {
  const auto text = a.Get("--method");
  if (!text) return std::nullopt;
  const std::string name = ToLowerAscii(*text);
  if (name == "shepard") return TInterpolationMethod::Shepard;
  if (name == "surface") return TInterpolationMethod::Surface;
  throw UsageError("--method wants shepard or surface, not \"" + *text + "\"");
}

double ToleranceOption(const Arguments& a, double fallback) {
  const auto text = a.Get("--tolerance");
  if (!text) return fallback;
  const auto v = ParseNumber(*text);
  if (!v || !(*v >= 0 && *v <= 100))
    throw UsageError("--tolerance wants centimetres from 0 to 100, not \"" + *text + "\"");
  return *v;
}

std::optional<std::pair<long long, long long>> ParseWxH(const std::string& text) {
  const std::size_t x = ToLowerAscii(text).find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto w = ParseInteger(std::string_view(text).substr(0, x));
  const auto h = ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h) return std::nullopt;
  return std::pair<long long, long long>{*w, *h};
}

Arguments Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                const std::set<std::string>& flags, const std::set<std::string>& repeatable) {
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
    if (repeatable.count(name)) {
      out.Repeated[name].push_back(value);
      continue;
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

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  const bool aExists = ::stat(a.c_str(), &sa) == 0;
  const bool bExists = ::stat(b.c_str(), &sb) == 0;
  if (aExists && bExists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (aExists != bExists) return false;
  std::error_code ea, eb;
  const std::filesystem::path pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
  const std::filesystem::path pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
  return !ea && !eb && pa == pb;
}

void RefuseInputsAsOutputs(const Arguments& a, const std::vector<std::string>& outputs) {
  for (const std::string& out : outputs)
    for (const std::string& in : a.Inputs)
      if (SameFile(in, out))
        throw UsageError(out == in ? out + " is both an input and the output; write to another file"
                                   : out + " is the input " + in + "; write to another file");
}

Arguments ParseWithLoading(const std::vector<std::string>& args, std::set<std::string> valued,
                           std::set<std::string> flags) {
  valued.insert(kLoadValued.begin(), kLoadValued.end());
  flags.insert(kLoadFlags.begin(), kLoadFlags.end());
  return Parse(args, valued, flags, kLoadRepeatable);
}

std::pair<int, int> PictureSizeOption(const Arguments& a) {
  const auto text = a.Get("--size");
  if (!text) return {TProject::kDefaultMapWidth, TProject::kDefaultMapHeight};
  const auto size = ParseWxH(*text);
  if (!size || size->first < 16 || size->second < 16 || size->first > 8192 || size->second > 8192)
    throw UsageError("--size wants WxH, two whole numbers of pixels from 16 to 8192, not \"" + *text + "\"");
  return {static_cast<int>(size->first), static_cast<int>(size->second)};
}

TLoadOptions SetUpLoading(const Arguments& a, const char* command, TLoadUse use) {
  if (a.Inputs.empty()) throw UsageError(std::string(command) + " needs at least one input file");
  TLoadOptions o;
  // Beyond the deepest water on earth every reading would be set aside.
  const auto within = [](const std::string& option, const std::string& text, int value) {
    if (!PlausibleDepth(value))
      throw UsageError(option + " wants at most 1200000 cm (12000 m) either way, not \"" + text + "\"");
    return value;
  };
  if (auto depth = a.Get("--depth")) o.Rule.Depth = within("--depth", *depth, ParseCentimetres("--depth", *depth, false));
  if (auto offset = a.Get("--offset"))
    o.Rule.Offset = within("--offset", *offset, ParseCentimetres("--offset", *offset, true));

  TCorrectionSettings& c = o.Corrections;
  if (auto from = a.Get("--depth-from")) {
    if (ToLowerAscii(*from) != "ele") throw UsageError("--depth-from knows only ele, not \"" + *from + "\"");
    c.DepthFromElevation = true;
  }
  c.Despike = a.Flags.count("--despike") > 0;
  if (auto cm = a.Get("--transducer")) c.TransducerCm = DecimalCentimetres("--transducer", *cm, 0, 10000);
  if (auto it = a.Repeated.find("--level"); it != a.Repeated.end()) {
    for (const std::string& level : it->second) {
      if (ToLowerAscii(level) == "auto") {
        c.AutoLevel = true;
        continue;
      }
      const std::size_t eq = level.rfind('=');
      if (eq == std::string::npos || eq == 0) throw UsageError("--level wants FILE=CM or auto, not \"" + level + "\"");
      const std::string input = InputNamed(a, level.substr(0, eq));
      if (c.LevelsCm.count(input)) throw UsageError("--level gives " + input + " two water levels");
      c.LevelsCm[input] = DecimalCentimetres("--level " + level.substr(0, eq), level.substr(eq + 1), -100000, 100000);
    }
  }
  if (c.AutoLevel && !c.LevelsCm.empty())
    throw UsageError("--level auto estimates the level of every file; it cannot be combined with --level FILE=CM");
  const auto table = a.Get("--level-table");
  if (table && !c.LevelsCm.empty())
    throw UsageError("--level FILE=CM and --level-table both set water levels; give one of them");
  if (auto datum = a.Get("--datum")) {
    if (!table) throw UsageError("--datum is the datum of a gauge table: give --level-table too");
    c.DatumCm = DecimalCentimetres("--datum", *datum, -1e6, 1e6);
  }

  const auto shore = a.Get("--shore-depth");
  const bool keepOutside = a.Flags.count("--keep-outside") > 0;
  if (use != TLoadUse::Map && (shore || keepOutside))
    throw UsageError(std::string(shore ? "--shore-depth" : "--keep-outside") + " changes a depth map, and " + command +
                     " makes none");
  if (shore) {
    const std::optional<TShoreDepth> depth = ParseShoreDepth(*shore);
    if (!depth) throw UsageError("--shore-depth: " + ShoreDepthError(*shore));
    o.ShoreDepth = *depth;
  }
  o.KeepOutside = keepOutside;
  // Last: a table that cannot be read is a failure of the file, not of the
  // command line.
  if (table) {
    try {
      c.LevelTable = TLevelTable::Read(*table);
      c.LevelTablePath = *table;
    } catch (const std::exception& e) {
      throw CommandFailure(e.what());
    }
  }
  return o;
}

void TLoadOptions::ApplyTo(TProject& Project) const {
  Project.Settings.Corrections = Corrections;
  Project.Settings.Interpolation.ShoreDepth = ShoreDepth;
  Project.Settings.Interpolation.KeepOutside = KeepOutside;
}

TLoadTotals LoadInputs(TProject& project, const Arguments& a, const TLoadOptions& loading, TCliFeedback& feedback) {
  loading.ApplyTo(project);
  feedback.Log(std::to_string(project.CPUCount()) + " CPUs found");
  TLoadTotals totals;
  for (const std::string& path : a.Inputs) {
    const SourceLoadResult result = project.AddFile(path, loading.Rule, feedback);
    for (const std::string& line : result.Warnings) std::cerr << line << "\n";
    if (!result.Error.empty()) throw CommandFailure(result.Error);
    totals.ZeroReadings += result.ZeroReadings;
    totals.ImplausibleReadings += result.ImplausibleReadings;
    // With --verbose the log has told them already.
    if (!feedback.Verbose)
      for (const std::string& line : result.Notes) std::cerr << line << "\n";
  }
  const std::vector<std::string> told = project.FinishLoading(feedback);
  if (!feedback.Verbose)
    for (const std::string& line : told) std::cerr << line << "\n";
  return totals;
}

double UsableMemoryBytes() {
  double usable = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGE_SIZE));
  if (!(usable > 0)) usable = 1e300;  // unknown: no refusal on this ground
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit {};
    if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      usable = std::min(usable, static_cast<double>(limit.rlim_cur));
  }
  return usable;
}

void RefuseWhatCannotFit(double Bytes, const std::string& What) {
  const double usable = UsableMemoryBytes();
  if (Bytes <= usable) return;
  const auto mb = [](double bytes) { return std::to_string(static_cast<long long>(bytes / (1024 * 1024))) + " MB"; };
  throw CommandFailure(What + " needs about " + mb(Bytes) + " of memory, more than the " + mb(usable) +
                       " this process may use; ask for a smaller size");
}

void PrintWarnings(const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) std::cerr << "sondralis-cli: warning: " << w << "\n";
}

void TCliFeedback::Log(const std::string& line) {
  if (Verbose) std::cerr << line << "\n";
}

void TCliFeedback::SetProgress(int Position, int Max) {
  if (!ShowProgress) return;
  constexpr int kWidth = 40;
  const int filled = Max > 0 ? std::clamp(Position, 0, Max) * kWidth / Max : 0;
  if (filled == fDrawn) return;  // redraw only when the bar grows
  fDrawn = filled;
  std::cerr << "\r" << ProgressLabel << '[' << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << ']' << std::flush;
}

void TCliFeedback::EndProgress() {
  if (fDrawn >= 0) std::cerr << "\r\033[K" << std::flush;
  fDrawn = -1;
}

}  // namespace sondralis::cli
