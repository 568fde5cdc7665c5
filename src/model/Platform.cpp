#include "model/Platform.h"

#if defined(__linux__) && !defined(SONDRALIS_PORTABLE)
#define SONDRALIS_LINUX_CALLS 1
#include <fcntl.h>
#include <sys/mman.h>
#endif

namespace sondralis::platform {

#ifdef SONDRALIS_LINUX_CALLS

namespace {

void* Map(std::size_t bytes, int flags) noexcept {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

bool MapsPages() noexcept { return true; }

void* MapPages(std::size_t bytes) noexcept { return Map(bytes, 0); }

void* ReservePages(std::size_t bytes) noexcept { return Map(bytes, MAP_NORESERVE); }

bool UnmapPages(void* at, std::size_t bytes) noexcept { return ::munmap(at, bytes) == 0; }

bool MovePages(void* from, void* to, std::size_t bytes) noexcept {
  // MREMAP_DONTUNMAP (Linux 5.7) leaves the old place mapped and empty.
  return ::mremap(from, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP, to) != MAP_FAILED;
}

void StartWriteback(int fd, long long from, long long bytes) noexcept {
  ::sync_file_range(fd, from, bytes, SYNC_FILE_RANGE_WRITE);
}

#else

bool MapsPages() noexcept { return false; }
void* MapPages(std::size_t) noexcept { return nullptr; }
void* ReservePages(std::size_t) noexcept { return nullptr; }
bool UnmapPages(void*, std::size_t) noexcept { return false; }
bool MovePages(void*, void*, std::size_t) noexcept { return false; }
void StartWriteback(int, long long, long long) noexcept {}

#endif

}  // namespace sondralis::platform
