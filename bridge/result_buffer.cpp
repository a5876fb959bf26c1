#include "bridge/result_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "bridge/bridge_state.h"
#include "platform/errors.h"

namespace bridge {

size_t ResultLength = 0;
size_t ResultCapacity = 0;
bool ResultChunked = false;

void* LibraryMalloc(size_t n) {
  return std::malloc(n == 0 ? 1 : n);
}

void* LibraryRealloc(void* block, size_t n) {
  return std::realloc(block, n == 0 ? 1 : n);
}

void LibraryFree(void* block) {
  std::free(block);
}

size_t ResultCapacityFor(size_t need, bool chunked) {
  if (!chunked) return need;
  return need + ResultChunkSize - (need % ResultChunkSize);
}

void AppendResult(const char* text, size_t length) {
  if (text == nullptr) return;
  if (length == 0) length = std::strlen(text);
  char* at = PrepareSpace_mc(length);
  std::memcpy(at, text, length);
  at[length] = '\0';
  ResultLength += length;
}

}  // namespace bridge

using namespace bridge;

extern "C" {

ZORVANE_EXPORT void* (*pMalloc)(size_t) = LibraryMalloc;
ZORVANE_EXPORT void* (*pRealloc)(void*, size_t) = LibraryRealloc;
ZORVANE_EXPORT char* (*PrepareSpace)(size_t) = PrepareSpace_mc;

// Returns where the next n bytes of result text go, with room for a zero
// after them. Throws 311 when the buffer cannot grow; the text written so far
// stays valid then.
ZORVANE_EXPORT char* PrepareSpace_mc(size_t n) {
  CommandBlock* block = CurrentBlock;
  if (block == nullptr) throw xFBL_Exception(ERR_INTERNAL);
  constexpr size_t kLimit = std::numeric_limits<size_t>::max() / 2;
  if (block->ReturnValue == nullptr) ResultLength = 0;
  if (n > kLimit || ResultLength > kLimit - n) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  const size_t need = ResultLength + n + 1;
  if (block->ReturnValue == nullptr) {
    const size_t capacity = ResultCapacityFor(need, ResultChunked);
    char* text = static_cast<char*>(pMalloc(capacity));
    if (text == nullptr) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
    ResultCapacity = capacity;
    block->ReturnValue = text;
  } else if (need > ResultCapacity) {
    const size_t capacity = ResultCapacityFor(need, ResultChunked);
    char* text = static_cast<char*>(pRealloc(block->ReturnValue, capacity));
    if (text == nullptr) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
    ResultCapacity = capacity;
    block->ReturnValue = text;
  }
  return block->ReturnValue + ResultLength;
}

}  // extern "C"
