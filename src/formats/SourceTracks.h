#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/Feedback.h"
#include "model/GPX.h"

namespace sondralis {

// Loading of source tracks as "Add Files..." does it: each file is read into
// a document of its own, the depth rules are applied to that document alone,
// and copies of its tracks are appended to the application's document.
// Waypoints, routes and metadata of a source file are dropped.

// The largest trunc(HBdepth) over all track points, starting from 0.
int GetMaxDepth(const TGPX& GPX);
// Sets the depth of every track point.
void ApplyDepth(TGPX& GPX, int Value);
// Adds Value to the depth of every track point.
void AddDepthOffset(TGPX& GPX, int Value);
// Removes every track point whose depth is exactly 0 (the sounder lost the
// bottom); segments stay, even when they become empty. Returns how many
// points went. Only a file that holds depth readings gets this: an outline
// saved on its own (a shoreline or island, all depths 0) is loaded whole.
long long RemoveZeroDepths(TGPX& GPX);

// The deepest reading any lake on earth can give, in centimetres (12 000 m;
// the deepest ocean trench is under 11 000 m). A reading beyond it either
// way, or one that is no finite number, is a fault of the recording: left
// in, it would stretch the colour ramp and the contour levels to millions
// of centimetres.
inline constexpr double kDeepestReading = 1200000;
// Whether a depth can be a reading of real water.
inline bool PlausibleDepth(double Depth) { return Depth >= -kDeepestReading && Depth <= kDeepestReading; }
// Removes every track point whose depth is not plausible; segments stay.
// Returns how many points went and, in First, the first depth removed.
long long SetAsideImplausibleDepths(TGPX& GPX, double* First = nullptr);

// How a file's depths are set while it is loaded: the window asks for the
// values when its check boxes say so, sondralis-cli takes --depth and
// --offset.
struct TDepthRule {
  // For a file without depth readings (every KML file, a GPX file whose
  // greatest depth is 0): every point gets this depth; a negative value
  // gives 0.
  std::optional<int> Depth;
  // Added to every point of a GPX file, whatever its depths.
  std::optional<int> Offset;

  bool operator==(const TDepthRule&) const = default;
};

// GPX, KML, or soundings as text (CSV or XYZ: one track of depth readings).
enum class SourceKind { GPX, KML, Soundings, Unknown };

// The reader to use for a path, by its extension in any letter case: .gpx,
// .kml, .csv or .xyz.
SourceKind SourceKindOf(const std::string& path);

// Whether the files of a kind hold depth readings as recorded (GPX and
// soundings), as against outlines drawn without depth (KML).
inline bool HoldsReadings(SourceKind Kind) { return Kind == SourceKind::GPX || Kind == SourceKind::Soundings; }

struct TElevationDepths {
  long long Converted = 0;  // points whose depth is now -ele x 100
  long long Left = 0;       // points without a negative elevation, left without depth
};

// For a file whose depths a sonar tool wrote as a negative <ele> in metres:
// every track point with a negative elevation gets the depth -ele x 100 cm.
// Does nothing to a document that has depth readings already (Converted
// and Left both 0).
TElevationDepths DepthFromElevation(TGPX& Doc);

// How a file is read beside what its format says.
struct TReadRule {
  // A GPX file without depth readings takes its depths from its negative
  // elevations (DepthFromElevation), before anything looks at its depths.
  bool DepthFromElevation = false;
};

// What reading one file on its own gave.
struct SourceReadResult {
  bool Attempted = false;  // the file existed and its reader ran
  bool Loaded = false;     // the reader read the file completely
  std::string Error;       // why it was not loaded, naming the file
  std::vector<std::string> ReaderLog;  // the reader's own diagnostic lines
  // What the reader had to leave out: depths that are no number, points
  // without a usable position, placemarks that are no point or line; and
  // the warning lines that say so, one per kind.
  long long UnreadableDepths = 0;
  long long SkippedPoints = 0;
  long long SkippedPlacemarks = 0;
  std::vector<std::string> Warnings;
};

// Reads a GPX, KML or soundings file, chosen by its extension, into Doc as it is: no
// depth rules, waypoints and routes included. Problems of the file (missing,
// unknown extension, not readable) come back in Error and never as an
// exception; what the reader took in before failing stays in Doc.
SourceReadResult ReadSourceDocument(const std::string& path, TGPX& Doc);

// The reason a reader gives in its log for not loading a file.
std::string ReaderReason(const std::vector<std::string>& ReaderLog);
// "path: reason", unless the reason names the file already.
std::string AboutFile(const std::string& path, const std::string& reason);

// What happened to one file.
struct SourceLoadResult {
  bool Attempted = false;      // the file existed and its reader ran
  bool Loaded = false;         // the reader read the file completely
  bool DepthApplied = false;   // a depth was entered for a KML file
  int TracksAdded = 0;
  std::string Error;           // why the file was not loaded, naming it
  std::vector<std::string> ReaderLog;  // the reader's own diagnostic lines
  std::vector<std::string> Warnings;   // what the reader left out, one line per kind
  // What loading did to the readings, one line per correction with its
  // counts ("lake.gpx: 143 spikes removed of 14299 readings"); the project
  // fills them (TProject::AddFile).
  std::vector<std::string> Notes;
  long long ZeroReadings = 0;          // readings of exactly 0 removed from a recording
  long long ImplausibleReadings = 0;   // readings beyond kDeepestReading set aside, the rule's included
};

// One source file read on its own, before its tracks join the loaded ones.
struct TSourceFile {
  std::string Path;
  SourceKind Kind = SourceKind::Unknown;
  TGPX Doc;          // its tracks, depths as read, zero readings removed
  int MaxDepth = 0;  // GetMaxDepth of a GPX or soundings file as read; 0 for KML
  TElevationDepths FromElevation;  // what the read rule's DepthFromElevation did
  SourceLoadResult Result;

  // The file has no depth reading, so a depth rule's Depth applies to it.
  bool WithoutDepth() const noexcept { return Kind == SourceKind::KML || MaxDepth == 0; }
};

// The first steps of "Add Files..." for one file: a missing file, a folder,
// an unknown extension or a file the reader cannot read gives false and the
// reason in File.Result.Error, and nothing else happens. A GPX file logs
// "LoadGPXFile: Trying to open " + path and, after reading (and the read
// rule), "LoadGPXFile: GetMaxDepth is " + d; when d is not 0 it logs
// "LoadGPXFile: Track has valid depth readings" and "LoadGPXFile: Removing
// all 0m readings" and removes them (RemoveZeroDepths), logging how many
// went. A soundings file loses its zero readings the same way, without
// these lines. Readings no lake can give are set aside before d is taken
// (SetAsideImplausibleDepths), with a warning. What the reader had to leave
// out is logged, one line per kind, and kept in File.Result.Warnings.
bool ReadSourceFile(const std::string& path, TSourceFile& File, TFeedback& Feedback, const TReadRule& Rule = {});

// The last steps: the rule's Depth for a file without depth readings, its
// Offset for a GPX or soundings file, then the file's tracks move to the end
// of GPXdata. A depth or an offset that puts readings beyond kDeepestReading
// sets them aside, with a warning. Returns File.Result with TracksAdded and
// DepthApplied set.
SourceLoadResult AddSourceFile(TGPX& GPXdata, TSourceFile& File, const TDepthRule& Rule);

// Both: loads one GPX, KML or soundings file into GPXdata with the rule.
SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const TDepthRule& Rule, TFeedback& Feedback);

}  // namespace sondralis
