#pragma once

#include <string>
#include <vector>

#include "model/GPX.h"
#include "model/Host.h"

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
// bottom) from the segments that hold depth readings; segments stay, even
// when they become empty. A segment without any reading is an outline
// (shoreline or island, as "Save Tracks..." writes them beside the
// recordings) and keeps its points.
void RemoveZeroDepths(TGPX& GPX);

// The two check boxes of the Source Tracks tab.
struct SourceLoadOptions {
  bool AddDepth = false;   // cbAddDepth: ask for one depth for files without depth
  bool AddOffset = false;  // cbAddOffset: ask for a depth offset for GPX files
};

enum class SourceKind { GPX, KML, Unknown };

// The reader to use for a path, by its extension in any letter case.
SourceKind SourceKindOf(const std::string& path);

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

// Reads a GPX or KML file, chosen by its extension, into Doc as it is: no
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
  std::string Error;           // the message shown when the file was not loaded
  std::vector<std::string> ReaderLog;  // the reader's own diagnostic lines
  std::vector<std::string> Warnings;   // what the reader left out, as shown
};

// Loads one GPX or KML file into GPXdata. A missing file, an unknown
// extension or a file the reader cannot read is reported through
// host.ShowError, with the file's name and the reason, and adds nothing;
// nothing is asked for it. Values the reader had to leave out of a file it
// read are logged and shown with host.ShowLoadWarnings right after reading. The depth questions are host.AskDepthToApply and
// host.AskDepthOffset. An answer that is not a whole number raises
// EConvertError and adds nothing of this file.
SourceLoadResult LoadGPXFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);
SourceLoadResult LoadKMLFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);
SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);

}  // namespace sondralis
