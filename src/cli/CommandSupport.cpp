#include "cli/CommandSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <iostream>

#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis::cli {

const char* const kLoadOptions =
    "Loading (as \"Add Files...\" in the window): only the tracks of each file are\n"
    "taken; in a GPX file with depth readings, points with a depth of exactly 0\n"
    "are dropped.\n"
    "  --depth CM    for files without depth readings (and every KML file): set\n"
    "                every point to this depth in centimetres (0 to 1200000)\n"
    "  --offset CM   add this many centimetres (may be negative) to every point\n"
    "                of every GPX file\n"
    "Readings deeper than 12000 m (1200000 cm), or higher, no lake can give:\n"
    "they are set aside, and each file that held any is named on stderr.\n";

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

std::optional<std::pair<long long, long long>> ParseWxH(const std::string& text) {
  const std::size_t x = ToLowerAscii(text).find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto w = ParseInteger(std::string_view(text).substr(0, x));
  const auto h = ParseInteger(std::string_view(text).substr(x + 1));
  if (!w || !h) return std::nullopt;
  return std::pair<long long, long long>{*w, *h};
}

Arguments Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                const std::set<std::string>& flags) {
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

TLoadTotals LoadInputs(TProject& project, const Arguments& a, const TDepthRule& rule, TCliFeedback& feedback) {
  feedback.Log(std::to_string(project.CPUCount()) + " CPUs found");
  TLoadTotals totals;
  for (const std::string& path : a.Inputs) {
    const SourceLoadResult result = project.AddFile(path, rule, feedback);
    for (const std::string& line : result.Warnings) std::cerr << line << "\n";
    if (!result.Error.empty()) throw CommandFailure(result.Error);
    totals.ZeroReadings += result.ZeroReadings;
    totals.ImplausibleReadings += result.ImplausibleReadings;
  }
  return totals;
}

TDepthRule SetUpLoading(const Arguments& a, const char* command) {
  if (a.Inputs.empty()) throw UsageError(std::string(command) + " needs at least one input file");
  TDepthRule rule;
  // Beyond the deepest water on earth every reading would be set aside.
  const auto within = [](const std::string& option, const std::string& text, int value) {
    if (!PlausibleDepth(value))
      throw UsageError(option + " wants at most 1200000 cm (12000 m) either way, not \"" + text + "\"");
    return value;
  };
  if (auto depth = a.Get("--depth")) rule.Depth = within("--depth", *depth, ParseCentimetres("--depth", *depth, false));
  if (auto offset = a.Get("--offset"))
    rule.Offset = within("--offset", *offset, ParseCentimetres("--offset", *offset, true));
  return rule;
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
