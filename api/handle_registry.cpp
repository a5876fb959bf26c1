#include "api/handle_registry.h"

#include <algorithm>
#include <limits>
#include <new>

#include "platform/errors.h"

namespace api {

HandleRegistry& HandleRegistry::Instance() {
  static HandleRegistry registry;
  return registry;
}

// Handles stay positive so that their "%li" text reads back as a handle and
// never as a name.
int32_t HandleRegistry::NextHandle() {
  if (mLastHandle == std::numeric_limits<int32_t>::max()) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  return ++mLastHandle;
}

int32_t HandleRegistry::Register(HandleKind kind, void* object) {
  std::lock_guard lock(mMutex);
  const int32_t handle = NextHandle();
  mEntries.emplace(handle, Entry{kind, object, nullptr, 0});
  return handle;
}

void HandleRegistry::Unregister(int32_t handle) {
  std::lock_guard lock(mMutex);
  auto it = mEntries.find(handle);
  if (it == mEntries.end()) return;
  if (it->second.block) mBlockBytes -= it->second.size;
  mEntries.erase(it);
}

bool HandleRegistry::Rebind(int32_t handle, HandleKind kind, void* object) {
  std::lock_guard lock(mMutex);
  auto it = mEntries.find(handle);
  if (it == mEntries.end() || it->second.kind != kind || it->second.block) return false;
  it->second.object = object;
  return true;
}

void* HandleRegistry::Find(int32_t handle, HandleKind kind) const {
  std::lock_guard lock(mMutex);
  auto it = mEntries.find(handle);
  if (it == mEntries.end() || it->second.kind != kind) return nullptr;
  return it->second.object;
}

int32_t HandleRegistry::AllocateBlock(size_t size, HandleKind kind) {
  std::lock_guard lock(mMutex);
  if (size > mBlockLimit || size > mTotalLimit - std::min(mBlockBytes, mTotalLimit))
    throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size == 0 ? 1 : size]());
  if (!block) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  const int32_t handle = NextHandle();
  void* object = block.get();
  mEntries.emplace(handle, Entry{kind, object, std::move(block), size});
  mBlockBytes += size;
  return handle;
}

void HandleRegistry::SetBlockLimits(size_t perBlock, size_t total) {
  std::lock_guard lock(mMutex);
  mBlockLimit = perBlock;
  mTotalLimit = total;
}

size_t HandleRegistry::BlockBytes() const {
  std::lock_guard lock(mMutex);
  return mBlockBytes;
}

std::span<uint8_t> HandleRegistry::Block(int32_t handle) const {
  std::lock_guard lock(mMutex);
  auto it = mEntries.find(handle);
  if (it == mEntries.end() || !it->second.block) return {};
  return {it->second.block.get(), it->second.size};
}

bool HandleRegistry::FreeBlock(int32_t handle) {
  std::lock_guard lock(mMutex);
  auto it = mEntries.find(handle);
  if (it == mEntries.end() || !it->second.block) return false;
  mBlockBytes -= it->second.size;
  mEntries.erase(it);
  return true;
}

}  // namespace api
