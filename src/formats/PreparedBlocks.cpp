#include "formats/PreparedBlocks.h"

#include <new>
#include <utility>

#include "model/Platform.h"

namespace sondralis {

namespace {

// A block with every page touched, or null when none can be had.
void* MakeBlock() noexcept {
  void* block = nullptr;
  try {
    block = TPointStore::MapBlock();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  constexpr std::size_t kPage = 4096;
  auto* bytes = static_cast<volatile char*>(block);
  for (std::size_t i = 0; i < TPointStore::kBlockBytes; i += kPage) bytes[i] = 0;
  return block;
}

}  // namespace

TPreparedBlocks::~TPreparedBlocks() {
  try {
    fJob.Wait();
  } catch (...) {
    // The job throws nothing.
  }
  if (fReady) platform::UnmapPages(fReady, TPointStore::kBlockBytes);
}

void* TPreparedBlocks::TakeBlock() {
  fJob.Wait();
  void* block = std::exchange(fReady, nullptr);
  if (!block) block = TPointStore::MapBlock();
  // Without a thread the blocks are simply made when they are asked for.
  fJob.Start([this] { fReady = MakeBlock(); });
  return block;
}

}  // namespace sondralis
