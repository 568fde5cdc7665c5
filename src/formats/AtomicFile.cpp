#include "formats/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "model/Platform.h"

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

// Bytes gathered before they are handed to the writing thread.
constexpr std::size_t kHandBytes = 1024 * 1024;
// Bytes written before the system is asked to start putting them on the
// disk.
constexpr long long kWritebackBytes = 8 * 1024 * 1024;

// Writes all of `bytes`; 0 or the error.
int WriteAll(int fd, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
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

void TTemporaryPaths::WhileLocked(const std::function<void()>& Work) {
  std::lock_guard<std::mutex> lock(fLock);
  Work();
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

std::string ReplaceableTarget(const std::string& path) {
  if (path.empty()) throw EFileError("Can't write a file without a name");
  const std::string target = FollowLinks(path);
  // Only a missing or a regular, writable file is replaced. Renaming over a
  // device or a pipe would delete the node, and over a read-only file would
  // undo its protection: the rename needs only the folder to be writable.
  // The write bits are looked at as well as access(), which lets root write
  // anything.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0) return target;
  if (S_ISDIR(existing.st_mode)) throw EFileError("Can't write " + path + ": it is a folder");
  if (!S_ISREG(existing.st_mode))
    throw EFileError("Can't write " + path +
                     ": it is not a regular file (a device, a pipe or a socket), which is never replaced");
  if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
      ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    throw EFileError("Can't write " + path + ": the file is read-only");
  return target;
}

void KeepAttributes(const std::string& existing, const std::string& fresh) {
  struct stat old {};
  if (::stat(existing.c_str(), &old) != 0) return;
  // Owner and group first: changing them clears set-user-ID bits, which
  // chmod then restores. Only root may give a file away; anyone else keeps
  // their own file as it was, so a refusal is no error.
  if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
      ::chown(fresh.c_str(), old.st_uid, old.st_gid) != 0) {
  }
  if (::chmod(fresh.c_str(), old.st_mode & 07777) != 0)
    throw EFileError("Can't write " + fresh + ": " + Reason(errno));
}

std::string TemporaryNameBeside(const std::string& target, const std::string& tag) {
  const fs::path path(target);
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string name = path.filename().string();
  const std::string suffix = "." + tag + "-" + RandomSuffix();
  long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = 255;
  const std::size_t room = static_cast<std::size_t>(nameMax) > suffix.size() ? nameMax - suffix.size() : 0;
  if (name.size() > room) {
    std::size_t cut = room;
    // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return (path.has_parent_path() ? (folder / (name + suffix)) : fs::path(name + suffix)).string();
}

AtomicFileWriter::AtomicFileWriter(std::string path) : fPath(std::move(path)) {
  fTarget = ReplaceableTarget(fPath);
  struct stat existing {};
  const bool exists = ::stat(fTarget.c_str(), &existing) == 0;

  // The temporary goes beside the target, so the rename stays within one
  // file system and is atomic. open() with 0666 lets the kernel apply the
  // umask (and a folder's default ACL) to a new file.
  int fd = -1;
  int error = 0;
  fTempPath = TTemporaryPaths::Process().Track(TTemporaryPaths::TKind::File, [&]() -> std::string {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = TemporaryNameBeside(fTarget, "tmp");
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
  fFd = fd;
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

void AtomicFileWriter::Discard() noexcept {
  try {
    fWriting.Wait();
  } catch (...) {
    // The writes only report through fError.
  }
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
  fGathered = std::string();
  fHanded = std::string();
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

void AtomicFileWriter::WriteHanded() noexcept {
  const int error = WriteAll(fFd, fHanded);
  if (error != 0) {
    fError = error;
    return;
  }
  fWritten += static_cast<long long>(fHanded.size());
  if (fWritten - fWriteback >= kWritebackBytes) {
    // Only a request, answered in the background: the disk starts on these
    // bytes now instead of when Commit asks for all of them.
    platform::StartWriteback(fFd, fWriteback, fWritten - fWriteback);
    fWriteback = fWritten;
  }
}

void AtomicFileWriter::Hand() {
  fWriting.Wait();
  if (fError != 0) Fail("write", fError);
  fHanded.swap(fGathered);
  fGathered.clear();
  if (!fWriting.Start([this] { WriteHanded(); })) {
    // No thread to be had: the bytes are written here, as they come.
    WriteHanded();
    if (fError != 0) Fail("write", fError);
  }
}

int AtomicFileWriter::Drain() noexcept {
  try {
    fWriting.Wait();
  } catch (...) {
  }
  int error = fError;
  if (error == 0) error = WriteAll(fFd, fGathered);
  fGathered.clear();
  return error;
}

void AtomicFileWriter::Write(std::string_view bytes) {
  if (fFd < 0) throw EFileError("Can't write " + fPath + ": the file is closed");
  if (bytes.size() >= 4 * kHandBytes) {
    // A large block at once is written as it stands, without a copy.
    if (int error = Drain(); error != 0 || (error = WriteAll(fFd, bytes)) != 0) Fail("write", error);
    return;
  }
  if (fGathered.capacity() < kHandBytes) fGathered.reserve(kHandBytes + kHandBytes / 4);
  fGathered.append(bytes);
  if (fGathered.size() >= kHandBytes) Hand();
}

void AtomicFileWriter::Commit() {
  if (fFd < 0) throw EFileError("Can't write " + fPath + ": the file is closed");
  int error = Drain();
  if (error == 0 && ::fsync(fFd) != 0) error = errno;
  if (::close(fFd) != 0 && error == 0) error = errno;
  fFd = -1;
  if (error != 0) Fail("write", error);
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
