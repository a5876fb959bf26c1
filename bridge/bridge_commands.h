// Pure parts of the bridge's own commands, separated for testing.
#pragma once

#include <cstdint>
#include <string>

namespace bridge {

constexpr uint32_t kDefaultCacheBytes = 3145728;
constexpr uint32_t kMinimumCacheBytes = 102400;

// The main cache size Init starts with: the request (or the default), raised
// to the minimum, then capped at an eighth of physical memory; the cap wins.
uint32_t InitCacheSize(bool requested, uint32_t requestedBytes, uint64_t physicalBytes);

// A backslash before every apostrophe and, for patterns, before ( ) . ? [ ].
std::string EscapeText(const char* text, bool forPattern);

}  // namespace bridge
