#pragma once

// The project file (.sondralis): the input files of a depth map with the
// rule each was loaded with, and every setting of the run, as a small JSON
// file. Paths are kept relative to the project file, so a folder holding a
// season's trips and their project can be moved or shared as a whole.
//
// The window's File > Save Project... and Open Project... and
// `sondralis-cli map PROJECT.sondralis` use the same functions, so a map
// made in one is made the same way in the other.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/ColorInterpolate.h"
#include "model/Feedback.h"
#include "formats/SourceTracks.h"
#include "session/Project.h"

namespace sondralis {

// A project file that cannot be read: the message names the file and what
// is wrong with it.
class EProjectFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kProjectExtension = ".sondralis";

// The settings a project starts from: the project's own, with the
// tolerance the window and `map` use.
inline TProjectSettings DefaultProjectSettings() {
  TProjectSettings s;
  s.Interpolation.Tolerance = kMapTolerance;
  return s;
}

// What a project file holds.
struct TProjectFile {
  // The files in load order, each with its rule; absolute paths once read.
  std::vector<TProjectInput> Inputs;
  TProjectSettings Settings = DefaultProjectSettings();
  TColor Shallow = clRed;
  TColor Deep = clBlue;
  // The size of the map the depth picture was made on (the window's Source
  // Tracks map), when the project knows it; sondralis-cli map makes its
  // picture that size unless told otherwise.
  std::optional<std::pair<int, int>> PictureSize;

  // Equal when they name the same files with the same rules, settings,
  // colours and size.
  bool operator==(const TProjectFile& Other) const;
};

// The project's files, rules, settings, colours and map size. The number of
// workers is left out: it belongs to the machine, not to the map.
TProjectFile ProjectFileOf(const TProject& Project);

// The file's text: paths relative to ProjectPath's folder where they can be.
std::string ProjectFileText(const TProjectFile& File, const std::string& ProjectPath);
// Writes the file through the atomic writer (EFileError).
void WriteProjectFile(const std::string& Path, const TProjectFile& File);
// Reads a project file; relative paths become absolute ones beside it.
// EProjectFileError for anything that is no project file or holds a value
// out of its range; keys it does not know are ignored, so an older program
// reads a newer file's settings as far as it knows them.
TProjectFile ReadProjectFile(const std::string& Path);
TProjectFile ParseProjectFile(const std::string& Text, const std::string& ProjectPath);

// True for a path that names a project file (by its extension, any case).
bool IsProjectFile(const std::string& Path);

// What opening a project did.
struct TProjectOpenResult {
  std::vector<std::string> Missing;         // inputs that are not where the project says
  std::vector<SourceLoadResult> Loaded;     // the others, in order, as AddFile reported them
  std::vector<std::string> Notes;           // what ending the batch told (levels, soundings outside)
  // One line per missing file, for a warning dialog or stderr.
  std::vector<std::string> MissingLines(const std::string& ProjectPath) const;
};

// Starts the project over with the file's settings and colours, then loads
// every input that exists with its rule; the missing ones are named in the
// result and the rest load. A file that exists but cannot be read is
// reported in its SourceLoadResult and the next one follows.
TProjectOpenResult OpenProjectFile(TProject& Project, const TProjectFile& File, TFeedback& Feedback);

// The project's files read ahead, in the order of File.Inputs: null for a
// file that is missing.
using TProjectReading = std::vector<std::unique_ptr<TSourceFile>>;
// Reads every input of the project that exists, each with the read rule it
// was loaded with: the slow part of opening a project, which changes
// nothing and may run on another thread. Throws TCanceled between files
// when Feedback is cancelled.
TProjectReading ReadProjectInputs(const TProjectFile& File, TFeedback& Feedback);
// OpenProjectFile with the files read ahead by ReadProjectInputs.
TProjectOpenResult OpenProjectFile(TProject& Project, const TProjectFile& File, TProjectReading& Read,
                                   TFeedback& Feedback);

}  // namespace sondralis
