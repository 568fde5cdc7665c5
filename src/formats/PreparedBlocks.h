#pragma once

#include "formats/BackgroundJob.h"
#include "model/GPS.h"

namespace sondralis {

// Large blocks of point storage made ready ahead. The system clears every
// fresh page when it is first touched, and on a virtual machine that costs
// as much as reading the points that fill it. While a reader fills one
// block, the next is mapped and touched on another thread, so the reading
// finds its pages already there.
class TPreparedBlocks final : public TBlockSource {
 public:
  TPreparedBlocks() = default;
  ~TPreparedBlocks() override;

  void* TakeBlock() override;

 private:
  void* fReady = nullptr;  // the next block, once the job has made it
  TBackgroundJob fJob;     // last: stopped before the block it makes goes
};

}  // namespace sondralis
