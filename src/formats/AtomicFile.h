#pragma once

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "formats/BackgroundJob.h"

namespace sondralis {

// Raised when a file cannot be created, written or renamed; the message
// names the file and the reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The temporary files and folders that exist only while an output is being
// made. A front end that can be interrupted (sondralis-cli on SIGINT or
// SIGTERM) removes them all before the process ends, so no half-made file is
// left beside an output.
//
// This is the one piece of process-wide mutable state in the core, and it
// is there only because a signal ends the whole process, whichever thread
// happens to be writing: whoever cleans up must find every temporary path
// without being handed it. Creating, renaming and removing a tracked path
// all happen under its lock, so a clean-up that holds the lock sees each
// temporary either still there (and removes it) or already settled.
class TTemporaryPaths {
 public:
  enum class TKind {
    File,         // removed with unlink
    Folder,       // removed with everything in it
    EmptyFolder,  // removed only while empty (an output folder made for the run)
  };

  // The instance every writer of the process registers with. It is never
  // destroyed, so a clean-up may still run while the process exits.
  static TTemporaryPaths& Process();

  // Runs `Create` under the lock. When it returns a path (it made that file
  // or folder), the path is tracked until Release; an empty result tracks
  // nothing. Returns what `Create` returned.
  std::string Track(TKind Kind, const std::function<std::string()>& Create);

  // Runs `Settle` (the rename or removal that ends the temporary's life)
  // under the lock and stops tracking `Path`.
  void Release(const std::string& Path, const std::function<void()>& Settle);

  // Runs `Work` under the lock without changing what is tracked: a
  // clean-up waits until it is done. Work must not call the registry.
  void WhileLocked(const std::function<void()>& Work);

  // Removes every tracked path, newest first, and forgets them. The lock is
  // handed back still held: a caller about to end the process keeps it, so
  // no thread can make a new temporary in the meantime.
  [[nodiscard]] std::unique_lock<std::mutex> RemoveAll();

  std::vector<std::string> Tracked() const;

 private:
  struct Entry {
    std::string Path;
    TKind Kind;
  };
  mutable std::mutex fLock;
  std::vector<Entry> fEntries;
};

// Writes a file so that a good file is never replaced by a half-written one:
// the bytes go to a temporary file beside the target, which is renamed over
// the target only by Commit. Destroying the writer without a successful
// Commit removes the temporary file and leaves the target untouched.
//
// A symbolic link is followed: the file it points to is replaced and the
// link stays. The target must be missing or a regular file; a folder, a
// device, a pipe or a socket is refused, and so is a read-only file. An
// existing file keeps its permission bits (and, where the process may set
// them, its owner and group); a new file gets 0666 less the umask.
//
// A large file is written by a second thread while the caller makes the
// next bytes, and the system is asked to start putting each few megabytes
// on the disk as soon as they are written, so that Commit's wait for the
// disk covers only the last of them. An error of that thread is reported
// by the next Write or by Commit.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path);  // throws EFileError
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  void Write(std::string_view bytes);  // throws EFileError
  void Commit();                       // throws EFileError

  const std::string& Path() const { return fPath; }
  // The file that is replaced: Path with its symbolic links followed.
  const std::string& TargetPath() const { return fTarget; }
  const std::string& TemporaryPath() const { return fTempPath; }

 private:
  [[noreturn]] void Fail(const std::string& what, int error);
  void Discard() noexcept;
  // Hands the gathered bytes to the writing thread or, where no thread can
  // be had, writes them here.
  void Hand();
  // Writes the bytes handed over (on the writing thread).
  void WriteHanded() noexcept;
  // Waits until every byte handed over is written, then writes what is
  // still gathered; the first error or 0.
  int Drain() noexcept;

  std::string fPath;
  std::string fTarget;
  std::string fTempPath;
  int fFd = -1;
  std::string fGathered;  // bytes not handed over yet
  std::string fHanded;    // bytes being written by the writing thread
  int fError = 0;         // the writing thread's first error
  long long fWritten = 0;    // bytes the writing thread has written
  long long fWriteback = 0;  // bytes the disk was asked to start on
  TBackgroundJob fWriting;  // last: stopped before the rest goes
};

// The whole file in one call, through AtomicFileWriter.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// The rules of AtomicFileWriter for a file about to be replaced, for
// writers that replace files in other ways (a set of files moved into a
// folder together): `path` with its symbolic links followed, which must be
// missing or a regular file that may be written. Throws EFileError naming
// `path` and the reason otherwise.
std::string ReplaceableTarget(const std::string& path);

// Gives `fresh` the permission bits of the file `existing`, and its owner
// and group where the process may set them, as AtomicFileWriter does for
// the file it replaces. Throws EFileError.
void KeepAttributes(const std::string& existing, const std::string& fresh);

// A name for a temporary file or folder beside `target`, in the same
// folder: the target's name, "." + tag + "-" and six random letters. Where
// that would be longer than the folder's file system allows, the target's
// part is shortened (at a whole UTF-8 character), so a name near the limit
// still gets a temporary.
std::string TemporaryNameBeside(const std::string& target, const std::string& tag);

}  // namespace sondralis
