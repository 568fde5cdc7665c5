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
                const std::set<std::string>& flags = {});

// A whole number of centimetres from an option, or a UsageError.
int ParseCentimetres(const std::string& option, const std::string& text, bool allowNegative);

// The value of option `name` as a whole number from min to max, `fallback`
// when the option is not given; anything else is a UsageError saying
// "NAME wants WHAT from MIN to MAX".
int WholeNumberOption(const Arguments& a, const std::string& name, int min, int max, int fallback,
                      const std::string& what = "a whole number");

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

// The help text of the loading options --depth and --offset.
extern const char* const kLoadOptions;

// The depth rule of --depth and --offset; at least one input is needed.
TDepthRule SetUpLoading(const Arguments& a, const char* command);
// The readings loading removed from all inputs together.
struct TLoadTotals {
  long long ZeroReadings = 0;         // exactly 0 in a recording: the sounder lost the bottom
  long long ImplausibleReadings = 0;  // beyond 12000 m
};
// Loads the inputs in order as "Add Files..." does; what a reader had to
// leave out is told on stderr, one line per kind; the first file that
// cannot be loaded ends the command with a CommandFailure.
TLoadTotals LoadInputs(TProject& project, const Arguments& a, const TDepthRule& rule, TCliFeedback& feedback);
// One line on stderr per warning: what was written other than asked.
void PrintWarnings(const std::vector<std::string>& warnings);

}  // namespace sondralis::cli
