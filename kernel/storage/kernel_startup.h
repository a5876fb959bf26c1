// Kernel start-up and stop: the two process-wide page caches.
//
// Lifecycle: stopped -> StartKernel -> running -> StopKernel -> stopped.
// While running, the volume cache (small, for volume headers, segment maps
// and tables of files) and the main cache (everything else) exist; files
// made while stopped have no cache and raise 306 on cached access.
#pragma once

#include <cstdint>

class FBL_Cache;

// Arena bytes of the volume cache: 32 blocks of 1 KB with their headers.
inline constexpr uint64_t kVolumeCacheBytes = 34944;
inline constexpr uint32_t kVolumeCacheWriteBlock = 1024;
inline constexpr uint64_t kMinMainCacheBytes = 102400;

namespace zv {

// The main cache size for a request: 0 means an eighth of the physical
// memory, a smaller request is raised to kMinMainCacheBytes, and no more
// than an eighth of the physical memory is ever used.
uint64_t KernelCacheSize(uint64_t cacheBytes, uint64_t physicalBytes);

// Creates both caches unless they exist; returns the main cache's size.
uint64_t StartKernel(uint64_t cacheBytes);
// Writes back every dirty block (a failing write is lost), then destroys
// both caches. Safe to call when stopped.
void StopKernel();

}  // namespace zv

// Null while the kernel is stopped.
FBL_Cache* FBL_MainCache();
FBL_Cache* FBL_VolumeCache();
