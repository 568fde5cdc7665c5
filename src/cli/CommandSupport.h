#pragma once

// What the commands of sondralis-cli share: the option parser, the two kinds
// of failure and their exit statuses, the feedback on stderr, and the
// loading of input files into the project as "Add Files..." does it.

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "model/Feedback.h"
#include "session/Project.h"

namespace sondralis::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Wrong usage: the message, a hint to --help, exit status 2.
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
  std::map<std::string, std::vector<std::string>> Repeated;  // options that may come again -> their values
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
// `flags` those that take none, `repeatable` those of the valued ones that
// may be given more than once (their values go to Repeated, in order).
Arguments Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                const std::set<std::string>& flags = {}, const std::set<std::string>& repeatable = {});

// A whole number of centimetres from an option, or a UsageError.
int ParseCentimetres(const std::string& option, const std::string& text, bool allowNegative);

// The value of option `name` as a whole number from min to max, `fallback`
// when the option is not given; anything else is a UsageError saying
// "NAME wants WHAT from MIN to MAX".
int WholeNumberOption(const Arguments& a, const std::string& name, int min, int max, int fallback,
                      const std::string& what = "a whole number");

// The interpolation method of --method: "shepard" or "surface" (either
// letter case); nothing when the option is not given.
std::optional<TInterpolationMethod> MethodOption(const Arguments& a);
// The help text of --method, for the commands that take it.
extern const char* const kMethodOption;
// The centimetres of --tolerance, from 0 to 100, or `fallback`.
double ToleranceOption(const Arguments& a, double fallback);

// "WxH" (either letter case) as two whole numbers; nothing for other text.
std::optional<std::pair<long long, long long>> ParseWxH(const std::string& text);

// True when the two paths name one file: the same device and inode where
// both exist (so also through another spelling, a symbolic or a hard link),
// else the same absolute path with its links followed.
bool SameFile(const std::string& a, const std::string& b);

// A UsageError when one of `outputs` is one of the inputs: writing it would
// replace what is being read.
void RefuseInputsAsOutputs(const Arguments& a, const std::vector<std::string>& outputs);

// The memory this process may use: the machine's memory, or less where a
// limit (ulimit -v, ulimit -d) says so.
double UsableMemoryBytes();
// A CommandFailure, before any work, when a run that needs about `Bytes`
// cannot fit in UsableMemoryBytes(); `What` names the request ("--size
// 8192x8192").
void RefuseWhatCannotFit(double Bytes, const std::string& What);

// What a long operation reports, on stderr: the log lines with --verbose,
// and a progress bar when stderr is a terminal.
class TCliFeedback : public TFeedback {
 public:
  bool Verbose = false;
  bool ShowProgress = false;
  std::string ProgressLabel = "Working ";  // written before the bar

  void Log(const std::string& line) override;
  void SetProgress(int Position, int Max) override;
  // Takes the progress bar off the terminal line.
  void EndProgress();

 private:
  int fDrawn = -1;  // the last bar width drawn, -1 when none is shown
};

// ---- loading: the options of every command that loads files, parsed in
// one place so that the commands cannot drift apart.

// The picture size of --size, 16 to 8192 pixels a side, or the window's
// map size.
std::pair<int, int> PictureSizeOption(const Arguments& a);


// Whether a command makes a depth map, so that the options of the
// shoreline's part in it (--shore-depth, --keep-outside) mean something.
enum class TLoadUse { Tracks, Map };

// The help text of the loading options, and of the shoreline's options of
// the commands that map.
extern const char* const kLoadOptions;
extern const char* const kShoreOptions;

// Parse with the loading options added to the command's own.
Arguments ParseWithLoading(const std::vector<std::string>& args, std::set<std::string> valued,
                           std::set<std::string> flags = {});

// What the loading options ask for.
struct TLoadOptions {
  TDepthRule Rule;                  // --depth, --offset
  TCorrectionSettings Corrections;  // --depth-from, --despike, --transducer, --level, --level-table, --datum
  TShoreDepth ShoreDepth;           // --shore-depth
  bool KeepOutside = false;         // --keep-outside

  // Into the project's settings.
  void ApplyTo(TProject& Project) const;
};

// The readings loading removed from all inputs together.
struct TLoadTotals {
  long long ZeroReadings = 0;         // exactly 0 in a recording: the sounder lost the bottom
  long long ImplausibleReadings = 0;  // beyond 12000 m
};

// The loading options of a command; at least one input is needed. Wrong
// values are UsageErrors, a gauge table that cannot be read a
// CommandFailure.
TLoadOptions SetUpLoading(const Arguments& a, const char* command, TLoadUse use);
// Loads the inputs in order as "Add Files..." does, with the options'
// corrections, and ends the batch (the estimated levels, the soundings
// outside the shoreline). What a reader had to leave out and what the
// corrections did is told on stderr, one line each; the first file that
// cannot be loaded ends the command with a CommandFailure.
TLoadTotals LoadInputs(TProject& project, const Arguments& a, const TLoadOptions& loading, TCliFeedback& feedback);
// One line on stderr per warning: what was written other than asked.
void PrintWarnings(const std::vector<std::string>& warnings);

}  // namespace sondralis::cli
