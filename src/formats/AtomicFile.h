#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sondralis {

// Raised when a file cannot be created, written or renamed; the message
// names the file and the reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a file so that a good file is never replaced by a half-written one:
// the bytes go to a temporary file beside the target, which is renamed over
// the target only by Commit. Destroying the writer without a successful
// Commit removes the temporary file and leaves the target untouched.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path);  // throws EFileError
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  void Write(std::string_view bytes);  // throws EFileError
  void Commit();                       // throws EFileError

  const std::string& Path() const { return fPath; }
  const std::string& TemporaryPath() const { return fTempPath; }

 private:
  [[noreturn]] void Fail(const std::string& what, int error);

  std::string fPath;
  std::string fTempPath;
  std::FILE* fFile = nullptr;
  bool fCommitted = false;
};

// The whole file in one call, through AtomicFileWriter.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace sondralis
