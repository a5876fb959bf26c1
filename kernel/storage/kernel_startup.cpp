#include "kernel/storage/kernel_startup.h"

#include <algorithm>
#include <memory>

#include "kernel/storage/page_cache.h"
#include "platform/errors.h"
#include "platform/memory.h"

namespace {

std::unique_ptr<FBL_Cache> gVolumeCache;
std::unique_ptr<FBL_Cache> gMainCache;

void FlushQuietly(FBL_Cache* cache) {
  if (cache == nullptr) return;
  try {
    cache->FlushAll();
  } catch (const xFBL_Exception&) {
    // Nothing above can act on it any more.
  }
}

}  // namespace

uint64_t zv::KernelCacheSize(uint64_t cacheBytes, uint64_t physicalBytes) {
  uint64_t eighth = physicalBytes / 8;
  if (cacheBytes == 0) cacheBytes = eighth;
  if (cacheBytes < kMinMainCacheBytes) cacheBytes = kMinMainCacheBytes;
  return std::min(eighth, cacheBytes);
}

uint64_t zv::StartKernel(uint64_t cacheBytes) {
  if (gMainCache) return gMainCache->GetSize();
  uint64_t size = zv::KernelCacheSize(cacheBytes, platform::PhysicalMemorySize());
  auto volumeCache = std::make_unique<FBL_Cache>(kVolumeCacheBytes);
  volumeCache->SetWriteBlockSize(kVolumeCacheWriteBlock);
  auto mainCache = std::make_unique<FBL_Cache>(size);
  gVolumeCache = std::move(volumeCache);
  gMainCache = std::move(mainCache);
  return size;
}

void zv::StopKernel() {
  // Main-cache write-backs update volume structures, so the main cache goes
  // first.
  FlushQuietly(gMainCache.get());
  FlushQuietly(gVolumeCache.get());
  gMainCache.reset();
  gVolumeCache.reset();
}

FBL_Cache* FBL_MainCache() {
  return gMainCache.get();
}
FBL_Cache* FBL_VolumeCache() {
  return gVolumeCache.get();
}
