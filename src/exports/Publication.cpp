#include "exports/Publication.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "formats/AtomicFile.h"

namespace sondralis {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = ".sondralis-map.lock";
constexpr const char* kStagingPrefix = ".sondralis-map-";
constexpr std::size_t kStagingNameLength = 15 + 6;  // the prefix and mkdtemp's six letters
// Names in the staging folder that are no output.
constexpr const char* kInternalPrefix = ".sondralis-";
constexpr const char* kJournalName = ".sondralis-journal";

std::string Reason(int error) { return std::strerror(error); }

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Puts a file's bytes on the disk; false when that fails.
bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

// Removes a file, or a folder with everything in it.
void RemovePath(const std::string& path) {
  std::error_code ec;
  if (IsFolder(path)) fs::remove_all(path, ec);
  else ::unlink(path.c_str());
}

// One output of a publication: Source moves to Target; an old Target waits
// as Backup until the whole set is in place.
struct TMove {
  std::string Name;
  std::string Source;
  std::string Target;
  std::string Backup;  // empty when there was no old file
};

// The journal of a publication, written before its first move so that a
// run that dies while moving can be finished, or undone, by the next run:
// the moves ("move", source, target, backup), "end", and "rollback" once
// the moves are being undone; fields end with NUL, which no path holds.
void WriteJournal(const fs::path& Path, const std::vector<TMove>& Moves) {
  std::string text;
  const auto field = [&](const std::string& value) {
    text += value;
    text += '\0';
  };
  for (const TMove& m : Moves) {
    field("move");
    field(m.Source);
    field(m.Target);
    field(m.Backup);
  }
  field("end");
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int error = fd < 0 ? errno : 0;
  for (std::size_t at = 0; error == 0 && at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : EIO;
    else at += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (fd >= 0 && ::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    // The journal's name in its folder reaches the disk too.
    const int folder = ::open(Path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  if (error != 0) throw EExportError("can't publish into " + Path.parent_path().parent_path().string() + ": " + Reason(error));
}

void NoteRollback(const fs::path& Path) noexcept {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  static constexpr char kRollback[] = "rollback";
  if (::write(fd, kRollback, sizeof kRollback) == static_cast<ssize_t>(sizeof kRollback)) ::fsync(fd);
  ::close(fd);
}

struct TJournal {
  std::vector<TMove> Moves;
  bool Complete = false;
  bool Rollback = false;
};

TJournal ReadJournal(const fs::path& Path) {
  TJournal journal;
  std::string text;
  if (FILE* f = std::fopen(Path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
  }
  std::vector<std::string> fields;
  for (std::size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
    fields.push_back(text.substr(at, end - at));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == "move" && i + 3 < fields.size()) {
      journal.Moves.push_back({"", fields[i + 1], fields[i + 2], fields[i + 3]});
      i += 3;
    } else if (fields[i] == "end") {
      journal.Complete = true;
    } else if (fields[i] == "rollback") {
      journal.Rollback = true;
    }
  }
  return journal;
}

// Puts back what a move replaced, or takes away what it added.
void Undo(const TMove& m) noexcept {
  if (!m.Backup.empty()) {
    if (Exists(m.Backup)) ::rename(m.Backup.c_str(), m.Target.c_str());
  } else if (!Exists(m.Source)) {
    RemovePath(m.Target);
  }
}

// A staging folder of a run that died: a publication it had begun is
// finished (every new file complete, as the journal comes after them) or,
// when it was being undone, undone.
void SettleStaleStaging(const fs::path& Staging) noexcept {
  const TJournal journal = ReadJournal(Staging / kJournalName);
  // Without the whole journal no file was moved yet.
  if (!journal.Complete) return;
  for (const TMove& m : journal.Moves) {
    if (journal.Rollback) {
      Undo(m);
      if (Exists(m.Source)) RemovePath(m.Source);
      continue;
    }
    if (Exists(m.Source)) ::rename(m.Source.c_str(), m.Target.c_str());
    if (!m.Backup.empty()) RemovePath(m.Backup);
  }
}

// Who holds the lock, as written into the lock file.
std::string LockHolder(int fd) {
  char buffer[32] = {};
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  std::string holder(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!holder.empty() && !std::isdigit(static_cast<unsigned char>(holder.back()))) holder.pop_back();
  return holder.find_first_not_of("0123456789") == std::string::npos ? holder : std::string();
}

}  // namespace

TStagingFolder::TStagingFolder(const fs::path& Folder) : fFolder(Folder) {
  if (!fFolder.has_filename() && fFolder.has_parent_path()) fFolder = fFolder.parent_path();
  try {
    TakeFolder();
  } catch (...) {
    Discard();
    throw;
  }
}

TStagingFolder::~TStagingFolder() { Discard(); }

void TStagingFolder::TakeFolder() {
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  std::error_code ec;

  // The folder, and the folders above it that are missing, each made by
  // this run and so removed again unless something is published.
  std::vector<fs::path> missing;
  for (fs::path p = fFolder; !p.empty(); p = p.parent_path()) {
    const fs::file_status status = fs::status(p, ec);
    if (fs::exists(status)) {
      if (!fs::is_directory(status))
        throw EExportError(p == fFolder ? fFolder.string() + " is not a folder"
                                        : "can't create the output folder " + fFolder.string() + ": " + p.string() +
                                              " is not a folder");
      break;
    }
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto p = missing.rbegin(); p != missing.rend(); ++p) {
    int error = 0;
    const std::string made = temporaries.Track(TTemporaryPaths::TKind::EmptyFolder, [&]() -> std::string {
      if (::mkdir(p->c_str(), 0777) == 0) return p->string();
      error = errno;
      return {};
    });
    if (made.empty()) throw EExportError("can't create the output folder " + fFolder.string() + ": " + Reason(error));
    fMadeFolders.push_back(*p);
  }

  // The lock. A run that ends removes the lock file while holding it, so a
  // file locked here may have been removed just before: then it is locked
  // again under its name.
  fLockPath = (fFolder / kLockName).string();
  for (int attempt = 0;; ++attempt) {
    int error = 0;
    bool busy = false, removed = false;
    std::string holder;
    const std::string locked = temporaries.Track(TTemporaryPaths::TKind::File, [&]() -> std::string {
      const int fd = ::open(fLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) {
        error = errno;
        return {};
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        busy = error == EWOULDBLOCK;
        if (busy) holder = LockHolder(fd);
        ::close(fd);
        return {};
      }
      struct stat mine {}, named {};
      if (::fstat(fd, &mine) != 0 || ::stat(fLockPath.c_str(), &named) != 0 || mine.st_dev != named.st_dev ||
          mine.st_ino != named.st_ino) {
        removed = true;
        ::close(fd);
        return {};
      }
      // Who holds it, for the message another run gives.
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // Only the message of another run lacks the number.
      }
      fLock = fd;
      return fLockPath;
    });
    if (!locked.empty()) break;
    if (busy)
      throw EExportError(fFolder.string() + " is busy: another run" + (holder.empty() ? "" : " (process " + holder + ")") +
                         " is writing a map into it; try again when it has finished");
    if (removed && attempt < 100) continue;
    throw EExportError("can't write into the output folder " + fFolder.string() + ": " + Reason(error));
  }

  // Staging folders of runs that died. No live run has one here: it would
  // hold the lock.
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(fFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == kStagingNameLength && name.rfind(kStagingPrefix, 0) == 0 && IsFolder(it->path().string()))
      stale.push_back(it->path());
  }
  for (const fs::path& folder : stale) {
    SettleStaleStaging(folder);
    fs::remove_all(folder, ec);
  }

  int error = 0;
  fPath = temporaries.Track(TTemporaryPaths::TKind::Folder, [&]() -> std::string {
    std::string pattern = (fFolder / (std::string(kStagingPrefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data())) return pattern;
    error = errno;
    return {};
  });
  if (fPath.empty()) throw EExportError("can't write into the output folder " + fFolder.string() + ": " + Reason(error));
}

void TStagingFolder::CheckTargets(const std::vector<std::string>& Names) const {
  for (const std::string& name : Names) {
    try {
      ReplaceableTarget((fFolder / name).string());
    } catch (const EFileError& e) {
      throw EExportError(e.what());
    }
  }
}

std::vector<std::string> TStagingFolder::Publish() {
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fPath)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kInternalPrefix, 0) != 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());

  // Every target is checked, and every new file put where it can replace
  // its target by a rename, before anything moves.
  std::vector<TMove> moves;
  std::vector<std::string> outside;  // temporaries beside files that links point to
  const auto forget = [&](bool remove) {
    for (const std::string& path : outside)
      temporaries.Release(path, [&] {
        if (remove) RemovePath(path);
      });
    outside.clear();
  };
  try {
    for (const std::string& name : names) {
      TMove m;
      m.Name = name;
      m.Source = File(name);
      const std::string place = (fFolder / name).string();
      if (IsFolder(m.Source)) {
        // An output that is a folder replaces a folder, or nothing.
        if (Exists(place) && !IsFolder(place)) throw EExportError("Can't write " + place + ": it is not a folder");
        m.Target = place;
        if (Exists(place)) m.Backup = TemporaryNameBeside(m.Source, "old");
        moves.push_back(m);
        continue;
      }
      try {
        m.Target = ReplaceableTarget(place);
      } catch (const EFileError& e) {
        throw EExportError(e.what());
      }
      const bool existed = Exists(m.Target);
      if (m.Target != place) {
        // A link's file may lie on another file system: the new file waits
        // beside it, and so does the old one.
        std::error_code ec;
        const std::string copy = temporaries.Track(TTemporaryPaths::TKind::File, [&]() -> std::string {
          const std::string path = TemporaryNameBeside(m.Target, "tmp");
          if (!fs::copy_file(m.Source, path, ec)) return std::string();
          if (!SyncFile(path)) ec = std::error_code(errno, std::generic_category());
          return path;
        });
        if (!copy.empty()) outside.push_back(copy);
        if (copy.empty() || ec) throw EExportError("Can't write " + place + ": " + ec.message());
        m.Source = copy;
        if (existed)
          m.Backup = outside.emplace_back(temporaries.Track(TTemporaryPaths::TKind::File, [&] {
            return TemporaryNameBeside(m.Target, "old");
          }));
      } else if (existed) {
        m.Backup = TemporaryNameBeside(m.Source, "old");
      }
      if (existed) {
        try {
          KeepAttributes(m.Target, m.Source);
        } catch (const EFileError& e) {
          throw EExportError(e.what());
        }
      }
      moves.push_back(m);
    }
    WriteJournal(fPath / kJournalName, moves);
  } catch (...) {
    forget(true);
    throw;
  }

  // The moves, all of them or none: an interruption waits for them.
  std::string failure;
  temporaries.WhileLocked([&] {
    std::size_t done = 0;
    for (; done < moves.size(); ++done) {
      const TMove& m = moves[done];
      if (BeforeMove) BeforeMove(m.Name);
      // The old file stays under its name until the new one replaces it in
      // one step; only where no second name can be given to it (a folder,
      // a file system without links) does it move aside first.
      if (!m.Backup.empty() && ::link(m.Target.c_str(), m.Backup.c_str()) != 0 &&
          ::rename(m.Target.c_str(), m.Backup.c_str()) != 0) {
        failure = "can't replace " + m.Target + ": " + Reason(errno);
        break;
      }
      if (::rename(m.Source.c_str(), m.Target.c_str()) != 0) {
        failure = "can't move " + m.Name + " into " + fFolder.string() + ": " + Reason(errno);
        break;
      }
    }
    if (failure.empty()) return;
    NoteRollback(fPath / kJournalName);
    for (std::size_t i = std::min(done + 1, moves.size()); i-- > 0;) Undo(moves[i]);
  });
  for (const TMove& m : moves)
    if (!m.Backup.empty() && failure.empty()) RemovePath(m.Backup);
  forget(true);
  if (!failure.empty()) throw EExportError(failure + "; nothing in " + fFolder.string() + " was changed");

  // The folders made for the files hold them now.
  for (const fs::path& folder : fMadeFolders) temporaries.Release(folder.string(), [] {});
  fMadeFolders.clear();
  return names;
}

void TStagingFolder::Discard() noexcept {
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  std::error_code ec;
  try {
    if (!fPath.empty()) temporaries.Release(fPath.string(), [&] { fs::remove_all(fPath, ec); });
    if (fLock >= 0)
      temporaries.Release(fLockPath, [&] {
        // Removed while still held: a run that locked it meanwhile sees
        // that its file is gone and locks the new one.
        ::unlink(fLockPath.c_str());
        ::close(fLock);
      });
    // Removed only while empty, the innermost first.
    for (auto folder = fMadeFolders.rbegin(); folder != fMadeFolders.rend(); ++folder)
      temporaries.Release(folder->string(), [&] { ::rmdir(folder->c_str()); });
  } catch (...) {
    // Only a failing lock gets here; the folders stay.
  }
  fPath.clear();
  fLock = -1;
  fMadeFolders.clear();
}

std::vector<std::string> StaleHTParts(const fs::path& Folder, int From) {
  std::vector<std::pair<int, std::string>> parts;
  std::error_code ec;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    // "NNN.ht", as the unit reads it: any letter case of the extension.
    if (name.size() != 6 || name[3] != '.' || std::tolower(static_cast<unsigned char>(name[4])) != 'h' ||
        std::tolower(static_cast<unsigned char>(name[5])) != 't' ||
        !std::all_of(name.begin(), name.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    const int number = std::stoi(name.substr(0, 3));
    if (number >= From) parts.emplace_back(number, name);
  }
  std::sort(parts.begin(), parts.end());
  std::vector<std::string> stale;
  for (auto& [number, name] : parts) stale.push_back(std::move(name));
  return stale;
}

}  // namespace sondralis
