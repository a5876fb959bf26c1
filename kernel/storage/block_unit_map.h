// FBL_BlockUnitMap: which cached block holds a given kilobyte of a file. Every
// unit a block covers has an entry, so a lookup is one hash probe instead of
// a walk down an ordered tree whose nodes are scattered over the heap.
// Open addressing with linear probing; erasure shifts later entries back, so
// no tombstones build up. Grows by doubling while more than half full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/storage/block_locker.h"

class FBL_File;

class FBL_BlockUnitMap {
 public:
  FBL_BlockUnitMap() : mSlots(kInitialSlots) {}

  FBL_BlockHandle Find(const FBL_File* file, uint64_t unit) const {
    for (size_t i = Home(file, unit);; i = (i + 1) & Mask()) {
      const Slot& s = mSlots[i];
      if (s.mFile == file && s.mUnit == unit) return s.mHandle;
      if (s.mFile == nullptr) return kNoBlock;
    }
  }
  // REQUIRES: (file, unit) has no entry.
  void Insert(const FBL_File* file, uint64_t unit, FBL_BlockHandle handle);
  // Does nothing when (file, unit) has no entry.
  void Erase(const FBL_File* file, uint64_t unit);
  void Clear();
  size_t Size() const { return mCount; }

 private:
  struct Slot {
    const FBL_File* mFile = nullptr;  // null = empty
    uint64_t mUnit = 0;
    FBL_BlockHandle mHandle = kNoBlock;
    // Home() before the mask (the table never has 2^32 slots), kept where
    // the slot has room so that erasing and growing need not hash again.
    uint32_t mHash = 0;
  };
  static constexpr size_t kInitialSlots = 1024;

  size_t Mask() const { return mSlots.size() - 1; }
  // The units of one aligned group of kGroup share a hashed start and lie
  // side by side: a block's units take a line or two, not one miss each.
  size_t Home(const FBL_File* file, uint64_t unit) const { return Hash(file, unit) & Mask(); }
  static uint32_t Hash(const FBL_File* file, uint64_t unit) {
    uint64_t h = unit / kGroup + reinterpret_cast<uintptr_t>(file) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h * kGroup + unit % kGroup);
  }
  static constexpr uint64_t kGroup = 4;
  void Grow();

  std::vector<Slot> mSlots;  // a power of two
  size_t mCount = 0;
};
