#pragma once

// The system calls only Linux offers, each with the portable way of doing
// without it. Everything else in the program uses plain POSIX and the
// standard library.
//
// On Linux the program maps large blocks of memory of its own, moves pages
// it has read through to where the next bytes of a file go, and asks the
// disk to start on a file being written while more of it is made. Elsewhere, or when built with
// SONDRALIS_PORTABLE, memory comes from the heap, files are read with plain
// reads, and a written file reaches the disk by its final fsync alone; the
// results are the same to the byte, only the time and memory differ.

#include <cstddef>

namespace sondralis::platform {

// Whether the calls below do their work; false on the portable path, where
// MapPages and ReservePages give nothing and the callers use the heap.
bool MapsPages() noexcept;

// `bytes` (a multiple of 4096) of memory of its own, cleared, whose pages
// the system supplies when they are first touched. Null when none can be
// had.
void* MapPages(std::size_t bytes) noexcept;
// The same, but only address space: the pages count against no limit until
// they are touched, so a range as large as a file can be reserved for it.
void* ReservePages(std::size_t bytes) noexcept;
// Gives back pages MapPages or ReservePages gave: all of them, or the pages
// at the end (`at` and `bytes` multiples of 4096). False when they stay.
bool UnmapPages(void* at, std::size_t bytes) noexcept;
// Moves the pages of [from, from + bytes) to `to`, in the same range of
// ReservePages, without copying their bytes; `from` stays reserved, without
// pages. False (nothing changed) where the system cannot do this.
bool MovePages(void* from, void* to, std::size_t bytes) noexcept;

// Asks the system to start writing bytes [from, from + bytes) of an open
// file to the disk, without waiting for it, so that a later fsync has less
// to wait for. Does nothing where the system has no such request.
void StartWriteback(int fd, long long from, long long bytes) noexcept;

}  // namespace sondralis::platform
