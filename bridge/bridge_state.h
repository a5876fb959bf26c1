// Process-wide state of the host bridge. Commands arrive one at a time on
// the host's thread, so the state has no locks; nested calls are not made
// (the threading model: kernel/storage/sync_objects.h).
//
// Per call: Dispatch sets CurrentBlock and clears ErrorCode; the result text
// lives in CurrentBlock->ReturnValue, grown by PrepareSpace_mc, and belongs
// to the host once the call returns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zorvane/xcmd.h"

namespace bridge {

extern CommandBlock* CurrentBlock;
// 1 or more: handle checks and the error trace; 2 or more: every command traced.
extern uint16_t DebugLevel;
extern int32_t ErrorCode;

// Result buffer of the current call.
extern size_t ResultLength;
extern size_t ResultCapacity;
// While set, the buffer grows in whole chunks (long multi-record results).
extern bool ResultChunked;
constexpr size_t ResultChunkSize = 8192;

// Switches chunked growth on for its lifetime and restores the previous
// setting, also when the command fails.
class ChunkedResultScope {
 public:
  ChunkedResultScope() : mSaved(ResultChunked) { ResultChunked = true; }
  ~ChunkedResultScope() { ResultChunked = mSaved; }
  ChunkedResultScope(const ChunkedResultScope&) = delete;
  ChunkedResultScope& operator=(const ChunkedResultScope&) = delete;

 private:
  bool mSaved;
};

}  // namespace bridge
