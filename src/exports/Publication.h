#pragma once

// All-or-nothing publication of a set of files into one folder: the files
// are made in a staging folder inside the target folder and moved into it
// together once every one of them is complete. Everything about how a set
// of outputs reaches its folder lives here.

#include <filesystem>
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
// together; removed with everything in it unless Publish ran. A target
// folder this object made itself goes too when nothing was published. Both
// folders are tracked as temporary paths (TTemporaryPaths), so an
// interrupted run leaves neither behind.
class TStagingFolder {
 public:
  // Makes the target folder when missing, and the staging folder
  // ".sondralis-map-XXXXXX" inside it. Throws EExportError.
  explicit TStagingFolder(const std::filesystem::path& Folder);
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;
  ~TStagingFolder();

  const std::filesystem::path& Path() const { return fPath; }
  const std::filesystem::path& Folder() const { return fFolder; }
  // The path of a file made in the staging folder.
  std::string File(const std::string& Name) const { return (fPath / Name).string(); }

  // Moves every file made into the target folder, replacing files of the
  // same names; returns their names in order. Throws EExportError.
  std::vector<std::string> Publish();

 private:
  void Discard() noexcept;

  std::filesystem::path fFolder;
  std::filesystem::path fPath;
  bool fMadeFolder = false;
};

// HT files of an earlier map beside a new one: "NNN.ht" from part number
// `From` on, up to the first that does not exist. The unit would load them
// together with the new parts.
std::vector<std::string> StaleHTParts(const std::filesystem::path& Folder, int From);

}  // namespace sondralis
