#include "kernel/storage/block_unit_map.h"

void FBL_BlockUnitMap::Insert(const FBL_File* file, uint64_t unit, FBL_BlockHandle handle) {
  if ((mCount + 1) * 2 > mSlots.size()) Grow();
  const uint32_t hash = Hash(file, unit);
  size_t i = hash & Mask();
  while (mSlots[i].mFile != nullptr) i = (i + 1) & Mask();
  mSlots[i] = Slot{file, unit, handle, hash};
  ++mCount;
}

void FBL_BlockUnitMap::Erase(const FBL_File* file, uint64_t unit) {
  size_t i = Home(file, unit);
  for (;; i = (i + 1) & Mask()) {
    if (mSlots[i].mFile == nullptr) return;
    if (mSlots[i].mFile == file && mSlots[i].mUnit == unit) break;
  }
  // Move back each later entry of the cluster whose home does not lie
  // cyclically in (i, j], so every entry stays reachable from its home.
  for (size_t j = (i + 1) & Mask(); mSlots[j].mFile != nullptr; j = (j + 1) & Mask()) {
    const size_t home = mSlots[j].mHash & Mask();
    const bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (reachable) continue;
    mSlots[i] = mSlots[j];
    i = j;
  }
  mSlots[i] = Slot{};
  --mCount;
}

void FBL_BlockUnitMap::Clear() {
  mSlots.assign(kInitialSlots, Slot{});
  mCount = 0;
}

void FBL_BlockUnitMap::Grow() {
  std::vector<Slot> old(mSlots.size() * 2);
  old.swap(mSlots);
  for (const Slot& s : old) {
    if (s.mFile == nullptr) continue;
    size_t i = s.mHash & Mask();
    while (mSlots[i].mFile != nullptr) i = (i + 1) & Mask();
    mSlots[i] = s;
  }
}
