#include "formats/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sondralis {

AtomicFileWriter::AtomicFileWriter(std::string path) : fPath(std::move(path)) {
  if (fPath.empty()) throw EFileError("Can't write a file without a name");
  fTempPath = fPath + ".tmp-XXXXXX";
  const int fd = ::mkstemp(fTempPath.data());
  if (fd < 0) {
    const int error = errno;
    fTempPath.clear();
    Fail("create", error);
  }
  // mkstemp creates the file readable by its owner only; give it the usual
  // permissions of a new file (0666 minus the umask).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  fFile = ::fdopen(fd, "wb");
  if (!fFile) {
    const int error = errno;
    ::close(fd);
    Fail("create", error);
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fFile) std::fclose(fFile);
  if (!fCommitted && !fTempPath.empty()) ::unlink(fTempPath.c_str());
}

void AtomicFileWriter::Fail(const std::string& what, int error) {
  throw EFileError("Can't " + what + " " + fPath + ": " + std::strerror(error));
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
  if (::rename(fTempPath.c_str(), fPath.c_str()) != 0) Fail("replace", errno);
  fCommitted = true;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFileWriter writer(path);
  writer.Write(bytes);
  writer.Commit();
}

}  // namespace sondralis
