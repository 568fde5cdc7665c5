#include "exports/Publication.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "formats/AtomicFile.h"

namespace sondralis {

namespace fs = std::filesystem;

TStagingFolder::TStagingFolder(const fs::path& Folder) : fFolder(Folder) {
  std::error_code ec;
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  if (!fs::exists(Folder, ec)) {
    fMadeFolder = !temporaries
                       .Track(TTemporaryPaths::TKind::EmptyFolder,
                              [&]() -> std::string {
                                return fs::create_directories(Folder, ec) ? Folder.string() : std::string();
                              })
                       .empty();
    if (!fMadeFolder) throw EExportError("can't create the output folder " + Folder.string() + ": " + ec.message());
  } else if (!fs::is_directory(Folder, ec)) {
    throw EExportError(Folder.string() + " is not a folder");
  }
  int error = 0;
  fPath = temporaries.Track(TTemporaryPaths::TKind::Folder, [&]() -> std::string {
    std::string pattern = (Folder / ".sondralis-map-XXXXXX").string();
    if (::mkdtemp(pattern.data())) return pattern;
    error = errno;
    return {};
  });
  if (fPath.empty()) {
    const std::string reason = std::error_code(error, std::generic_category()).message();
    Discard();
    throw EExportError("can't write into the output folder " + Folder.string() + ": " + reason);
  }
}

TStagingFolder::~TStagingFolder() { Discard(); }

std::vector<std::string> TStagingFolder::Publish() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fPath)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::error_code ec;
    fs::rename(fPath / name, fFolder / name, ec);
    if (ec) throw EExportError("can't move " + name + " into " + fFolder.string() + ": " + ec.message());
  }
  // It holds the files now.
  if (fMadeFolder) TTemporaryPaths::Process().Release(fFolder.string(), [] {});
  fMadeFolder = false;
  return names;
}

void TStagingFolder::Discard() noexcept {
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  std::error_code ec;
  try {
    if (!fPath.empty()) temporaries.Release(fPath.string(), [&] { fs::remove_all(fPath, ec); });
    // Removed only while it is empty.
    if (fMadeFolder) temporaries.Release(fFolder.string(), [&] { fs::remove(fFolder, ec); });
  } catch (...) {
    // Only a failing lock gets here; the folders stay.
  }
  fPath.clear();
  fMadeFolder = false;
}

std::vector<std::string> StaleHTParts(const fs::path& Folder, int From) {
  std::vector<std::string> stale;
  for (int part = std::max(From, 0); part < 1000; ++part) {
    char name[16];
    std::snprintf(name, sizeof name, "%03d.ht", part);
    std::error_code ec;
    if (!fs::exists(Folder / name, ec)) break;
    stale.push_back(name);
  }
  return stale;
}

}  // namespace sondralis
