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
// Removes every track point whose depth is exactly 0; segments stay, even
// when they become empty.
void RemoveZeroDepths(TGPX& GPX);

// The two check boxes of the Source Tracks tab.
struct SourceLoadOptions {
  bool AddDepth = false;   // cbAddDepth: ask for one depth for files without depth
  bool AddOffset = false;  // cbAddOffset: ask for a depth offset for GPX files
};

enum class SourceKind { GPX, KML, Unknown };

// The reader to use for a path, by its extension in any letter case.
SourceKind SourceKindOf(const std::string& path);

// What happened to one file.
struct SourceLoadResult {
  bool Attempted = false;      // the file existed and its reader ran
  bool Loaded = false;         // the reader read the file completely
  bool DepthApplied = false;   // a depth was entered for a KML file
  int TracksAdded = 0;
  std::vector<std::string> ReaderLog;  // the reader's own diagnostic lines
};

// Loads one GPX or KML file into GPXdata. A missing file or an unknown
// extension is reported through host.ShowError and adds nothing. The depth
// questions go through host.AskText. An answer that is not a whole number
// raises EConvertError and adds nothing of this file; so does an impossible
// date in the file.
SourceLoadResult LoadGPXFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);
SourceLoadResult LoadKMLFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);
SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host);

}  // namespace sondralis
