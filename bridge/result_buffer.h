#pragma once

#include <cstddef>

namespace bridge {

// The library heap behind pMalloc, pRealloc and the release routine.
void* LibraryMalloc(size_t n);
void* LibraryRealloc(void* block, size_t n);
void LibraryFree(void* block);

// Capacity for `need` bytes: exact, or, in chunked mode, the next multiple of
// the chunk size above it (a whole extra chunk when need is a multiple).
size_t ResultCapacityFor(size_t need, bool chunked);

// Appends bytes to the current result and keeps it zero-terminated; length 0
// means up to the text's terminating zero.
void AppendResult(const char* text, size_t length = 0);

}  // namespace bridge
