#pragma once

// Counts the live heap bytes of a test or benchmark program, as the
// allocator hands them out (so with its rounding), by replacing the global
// operator new and delete. Include it in exactly one file of the program.
// The counter is process-wide because the operators it counts are.

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace sondralis::testing {

inline std::atomic<long long> gLiveHeapBytes{0};

inline long long LiveHeapBytes() { return gLiveHeapBytes.load(std::memory_order_relaxed); }

}  // namespace sondralis::testing

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  sondralis::testing::gLiveHeapBytes.fetch_add(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
  return p;
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept {
  if (!p) return;
  sondralis::testing::gLiveHeapBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
