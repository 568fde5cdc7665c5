#pragma once

// All-or-nothing publication of a set of files into one folder: the files
// are made in a staging folder inside the target folder and moved into it
// together once every one of them is complete. Everything about how a set
// of outputs reaches its folder lives here, whatever the files are.

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sondralis {

// A set of outputs could not be made or published; the message names the
// folder or file and the reason.
class EExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The folder the files are made in before they move into the target folder
// together, and the target folder taken for the run.
//
// While the object lives, the target folder is locked against other runs
// (an advisory lock on ".sondralis-map.lock" in it, removed at the end), so
// two runs never mix their files; a second run is told the folder is busy.
// Staging folders of runs that died ".sondralis-map-XXXXXX" are cleared
// away when the folder is taken: a publication they had begun is finished
// or undone as a whole first.
//
// Publish replaces the files of the target folder as AtomicFileWriter
// replaces one file: a symbolic link is followed and stays a link, a
// read-only file, a folder or a device is never replaced, and a replaced
// file keeps its permissions. Every target is checked before the first
// move, the old files stay until the new set is in place, and a move that
// still fails puts back everything replaced before it.
//
// Without a successful Publish, everything this object made goes when it
// does: the staging folder, the lock file, and every folder it made for a
// target folder that did not exist. All of them are tracked as temporary
// paths (TTemporaryPaths), so an interrupted run leaves none of them
// behind, and the moves of Publish happen under that registry's lock: an
// interruption waits until they are all done (or all undone).
class TStagingFolder {
 public:
  // Makes the target folder (and the folders above it) when missing, takes
  // it, clears stale staging folders away and makes the staging folder.
  // Throws EExportError.
  explicit TStagingFolder(const std::filesystem::path& Folder);
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;
  ~TStagingFolder();

  const std::filesystem::path& Path() const { return fPath; }
  const std::filesystem::path& Folder() const { return fFolder; }
  // The path of a file made in the staging folder.
  std::string File(const std::string& Name) const { return (fPath / Name).string(); }

  // Refuses (EExportError naming the file and why) a file of the target
  // folder that a file of this name could not replace.
  void CheckTargets(const std::vector<std::string>& Names) const;

  // Moves every file made into the target folder, replacing files of the
  // same names; returns their names in order. Throws EExportError, and then
  // the target folder is as it was.
  std::vector<std::string> Publish();

  // Called before each move of Publish with the file's name: lets a test
  // make a move fail after every check has passed.
  std::function<void(const std::string& Name)> BeforeMove;

 private:
  void TakeFolder();
  void Discard() noexcept;

  std::filesystem::path fFolder;
  std::filesystem::path fPath;
  std::vector<std::filesystem::path> fMadeFolders;  // outermost first
  std::string fLockPath;
  int fLock = -1;
};

// HT files of an earlier map beside a new one of `From` parts: every
// "NNN.ht" in Folder numbered From or more, in order of number. The unit
// would load them together with the new parts.
std::vector<std::string> StaleHTParts(const std::filesystem::path& Folder, int From);

}  // namespace sondralis
