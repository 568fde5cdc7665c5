#include "formats/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace sondralis {

namespace {

namespace fs = std::filesystem;

// Links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinks = 40;

std::string Reason(int error) { return std::strerror(error); }

// `path` with the symbolic links of its last component followed, also when
// the last link points to a file that does not exist yet (it will be made
// there). Links in the folders above need no following: the temporary file
// goes into the same folder as the target either way.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) return current;
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) throw EFileError("Can't write " + path + ": " + ec.message());
    current = next.is_absolute() ? next.string() : (fs::path(current).parent_path() / next).string();
  }
  throw EFileError("Can't write " + path + ": " + Reason(ELOOP));
}

// Six random letters and digits for a temporary file's name.
std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[pick(random)];
  return suffix;
}

void RemovePath(const std::string& path, TTemporaryPaths::TKind kind) noexcept {
  switch (kind) {
    case TTemporaryPaths::TKind::File:
      ::unlink(path.c_str());
      break;
    case TTemporaryPaths::TKind::Folder: {
      std::error_code ec;
      fs::remove_all(path, ec);
      break;
    }
    case TTemporaryPaths::TKind::EmptyFolder:
      ::rmdir(path.c_str());
      break;
  }
}

}  // namespace

TTemporaryPaths& TTemporaryPaths::Process() {
  // Never destroyed: a signal may arrive while static objects are being
  // destroyed at exit, and the clean-up must still find a live registry.
  static TTemporaryPaths* const paths = new TTemporaryPaths;
  return *paths;
}

std::string TTemporaryPaths::Track(TKind Kind, const std::function<std::string()>& Create) {
  std::lock_guard<std::mutex> lock(fLock);
  std::string path = Create();
  if (!path.empty()) fEntries.push_back({path, Kind});
  return path;
}

void TTemporaryPaths::Release(const std::string& Path, const std::function<void()>& Settle) {
  std::lock_guard<std::mutex> lock(fLock);
  Settle();
  const auto it = std::find_if(fEntries.rbegin(), fEntries.rend(), [&](const Entry& e) { return e.Path == Path; });
  if (it != fEntries.rend()) fEntries.erase(std::next(it).base());
}

std::unique_lock<std::mutex> TTemporaryPaths::RemoveAll() {
  std::unique_lock<std::mutex> lock(fLock);
  for (auto it = fEntries.rbegin(); it != fEntries.rend(); ++it) RemovePath(it->Path, it->Kind);
  fEntries.clear();
  return lock;
}

std::vector<std::string> TTemporaryPaths::Tracked() const {
  std::lock_guard<std::mutex> lock(fLock);
  std::vector<std::string> paths;
  for (const Entry& e : fEntries) paths.push_back(e.Path);
  return paths;
}

AtomicFileWriter::AtomicFileWriter(std::string path) : fPath(std::move(path)) {
  if (fPath.empty()) throw EFileError("Can't write a file without a name");
  fTarget = FollowLinks(fPath);

  // Only a missing or a regular, writable file is replaced. Renaming over a
  // device or a pipe would delete the node, and over a read-only file would
  // undo its protection: the rename needs only the folder to be writable.
  // The write bits are looked at as well as access(), which lets root write
  // anything.
  struct stat existing {};
  const bool exists = ::stat(fTarget.c_str(), &existing) == 0;
  if (exists) {
    if (S_ISDIR(existing.st_mode)) throw EFileError("Can't write " + fPath + ": it is a folder");
    if (!S_ISREG(existing.st_mode))
      throw EFileError("Can't write " + fPath +
                       ": it is not a regular file (a device, a pipe or a socket), which is never replaced");
    if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        ::faccessat(AT_FDCWD, fTarget.c_str(), W_OK, AT_EACCESS) != 0)
      throw EFileError("Can't write " + fPath + ": the file is read-only");
  }

  // The temporary goes beside the target, so the rename stays within one
  // file system and is atomic. open() with 0666 lets the kernel apply the
  // umask (and a folder's default ACL) to a new file.
  int fd = -1;
  int error = 0;
  fTempPath = TTemporaryPaths::Process().Track(TTemporaryPaths::TKind::File, [&]() -> std::string {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = fTarget + ".tmp-" + RandomSuffix();
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) return name;
      error = errno;
      if (error != EEXIST) break;
    }
    return {};
  });
  if (fd < 0) Fail("create", error);

  if (exists) {
    // Owner and group first: changing them clears set-user-ID bits, which
    // fchmod then restores. Only root may give a file away; anyone else
    // keeps their own file as it was, so a refusal is no error.
    if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Not allowed: the new file belongs to us, as any file we make does.
    }
    if (::fchmod(fd, existing.st_mode & 07777) != 0) {
      error = errno;
      ::close(fd);
      Fail("write", error);
    }
  }
  fFile = ::fdopen(fd, "wb");
  if (!fFile) {
    error = errno;
    ::close(fd);
    Fail("create", error);
  }
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

void AtomicFileWriter::Discard() noexcept {
  if (fFile) std::fclose(fFile);
  fFile = nullptr;
  if (fTempPath.empty()) return;
  try {
    TTemporaryPaths::Process().Release(fTempPath, [&] { ::unlink(fTempPath.c_str()); });
  } catch (...) {
    ::unlink(fTempPath.c_str());
  }
  fTempPath.clear();
}

void AtomicFileWriter::Fail(const std::string& what, int error) {
  Discard();
  throw EFileError("Can't " + what + " " + fPath + ": " + Reason(error));
}

void AtomicFileWriter::Write(std::string_view bytes) {
  if (!fFile) throw EFileError("Can't write " + fPath + ": the file is closed");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), fFile) != bytes.size()) Fail("write", errno);
}

void AtomicFileWriter::Commit() {
  if (!fFile) throw EFileError("Can't write " + fPath + ": the file is closed");
  std::FILE* file = fFile;
  fFile = nullptr;
  const bool flushed = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
  const int error = errno;
  if (std::fclose(file) != 0 || !flushed) Fail("write", flushed ? errno : error);
  int renameError = 0;
  TTemporaryPaths::Process().Release(fTempPath, [&] {
    if (::rename(fTempPath.c_str(), fTarget.c_str()) == 0) return;
    renameError = errno;
    ::unlink(fTempPath.c_str());
  });
  fTempPath.clear();
  if (renameError != 0) Fail("replace", renameError);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFileWriter writer(path);
  writer.Write(bytes);
  writer.Commit();
}

}  // namespace sondralis
