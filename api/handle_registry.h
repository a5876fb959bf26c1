// Handles are what scripts hold in place of objects: positive 32-bit numbers,
// never 0 and never reused while the process lives, so a stale handle can
// never name a newer object. A handle that is unknown or names an object of
// another kind is refused before any pointer is formed.
//
// Memory blocks (script buffers, picture bitmaps) are owned by the registry
// with their size, so every access through a block handle is bounds-checked.
// A script sizes them, so one block and all blocks together have ceilings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

namespace api {

enum class HandleKind : uint8_t { Database, Table, Field, Cursor, MemoryBlock, Bitmap };

class HandleRegistry {
 public:
  static HandleRegistry& Instance();

  // Registers an object the caller keeps owning; it must Unregister it
  // before destroying it.
  int32_t Register(HandleKind kind, void* object);
  void Unregister(int32_t handle);
  // Points a registered handle of that kind at another object (a wrapper
  // replaced by one of another class); false when it is not one.
  bool Rebind(int32_t handle, HandleKind kind, void* object);
  // The object, or null when the handle is unknown or of another kind.
  void* Find(int32_t handle, HandleKind kind) const;

  static constexpr size_t kDefaultBlockLimit = size_t{256} << 20;
  static constexpr size_t kDefaultTotalLimit = size_t{1} << 30;

  // A zero-filled block of `size` bytes owned by the registry (kind
  // MemoryBlock or Bitmap). Throws 311 when the memory cannot be had or the
  // block would pass either ceiling.
  int32_t AllocateBlock(size_t size, HandleKind kind = HandleKind::MemoryBlock);
  // The ceilings of one block and of all blocks together, in bytes. Blocks
  // already held stay when a ceiling is lowered below them.
  void SetBlockLimits(size_t perBlock, size_t total);
  // Bytes held by all blocks now.
  size_t BlockBytes() const;
  // The block's bytes; an empty span with a null data pointer when the
  // handle is not a block. Valid until the block is freed.
  std::span<uint8_t> Block(int32_t handle) const;
  // Frees a block of either block kind; false when the handle is not one.
  bool FreeBlock(int32_t handle);

 private:
  struct Entry {
    HandleKind kind;
    void* object;
    std::unique_ptr<uint8_t[]> block;
    size_t size;
  };

  int32_t NextHandle();

  mutable std::mutex mMutex;  // the threading model: kernel/storage/sync_objects.h
  std::unordered_map<int32_t, Entry> mEntries;
  int32_t mLastHandle = 0;
  size_t mBlockLimit = kDefaultBlockLimit;
  size_t mTotalLimit = kDefaultTotalLimit;
  size_t mBlockBytes = 0;
};

}  // namespace api
