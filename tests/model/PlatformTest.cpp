// The system calls of model/Platform.h do what the file reader and the
// point storage count on, and a portable build makes none of them.

#include <gtest/gtest.h>

#include <cstring>

#include "model/Platform.h"

namespace sondralis {
namespace {

constexpr std::size_t kChunk = 2 * 1024 * 1024;

TEST(Platform, PortableBuildMapsNoPages) {
#if defined(__linux__) && !defined(SONDRALIS_PORTABLE)
  EXPECT_TRUE(platform::MapsPages());
#else
  EXPECT_FALSE(platform::MapsPages());
  EXPECT_EQ(platform::MapPages(kChunk), nullptr);
  EXPECT_EQ(platform::ReservePages(kChunk), nullptr);
#endif
  // Only a request: on any path it neither fails nor needs a real file.
  platform::StartWriteback(-1, 0, 4096);
}

// Pages moved keep their bytes; the place they left stays usable and reads
// as zeros (the reader reads the next chunk into it later); a mapping's
// tail can be given back while its head stays.
TEST(Platform, MovedPagesKeepTheirBytesAndLeaveEmptyPages) {
  if (!platform::MapsPages()) GTEST_SKIP() << "portable build: the callers use the heap";
  auto* range = static_cast<unsigned char*>(platform::ReservePages(3 * kChunk));
  ASSERT_NE(range, nullptr);
  for (std::size_t i = 0; i < kChunk; ++i) range[i] = static_cast<unsigned char>(i * 7 + 1);
  if (platform::MovePages(range, range + 2 * kChunk, kChunk)) {
    for (std::size_t i = 0; i < kChunk; i += 4093)
      ASSERT_EQ(range[2 * kChunk + i], static_cast<unsigned char>(i * 7 + 1)) << i;
    for (std::size_t i = 0; i < kChunk; i += 4093) ASSERT_EQ(range[i], 0) << i;
    range[0] = 5;
    EXPECT_EQ(range[0], 5);
  }
  EXPECT_TRUE(platform::UnmapPages(range + kChunk, 2 * kChunk));
  range[kChunk - 1] = 9;
  EXPECT_EQ(range[kChunk - 1], 9);
  EXPECT_TRUE(platform::UnmapPages(range, kChunk));

  auto* block = static_cast<unsigned char*>(platform::MapPages(kChunk));
  ASSERT_NE(block, nullptr);
  unsigned char zeros[4096] = {};
  EXPECT_EQ(std::memcmp(block + kChunk - sizeof zeros, zeros, sizeof zeros), 0);
  EXPECT_TRUE(platform::UnmapPages(block, kChunk));
}

}  // namespace
}  // namespace sondralis
