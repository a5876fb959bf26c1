// A record set kept as a list of RecIDs, for small results and for keeping
// an order. Items stay in the order they were appended until the set is
// sorted (ascending RecID); every append clears the sorted flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "kernel/sets/record_set.h"

class FBL_BitSet;

class FBL_ArraySet : public FBL_Set {
 public:
  // Empty, with room for exactly `capacity` items.
  explicit FBL_ArraySet(uint32_t capacity = 0);
  // The members of bitSet in ascending order, with capacity exactly their
  // count.
  explicit FBL_ArraySet(const FBL_BitSet& bitSet);
  ~FBL_ArraySet() override;

  uint32_t Count() const override { return static_cast<uint32_t>(mItems.size()); }
  std::unique_ptr<FBL_SetIterator> MakeIterator() const override;

  uint32_t GetCapacity() const { return static_cast<uint32_t>(mItems.capacity()); }
  bool IsSorted() const { return mSorted; }
  std::span<const REC_ID> GetItems() const { return mItems; }
  // The item at a 1-based position, 0 when out of range.
  REC_ID GetItem(uint32_t position) const;

  // When the array is full, the capacity doubles (or becomes 100 from 0).
  void Append(REC_ID recID);
  void Append(std::span<const REC_ID> items);
  // count RecIDs stored in machine order, the first at `first` and each
  // next one `stride` bytes on (negative: towards lower addresses).
  void AppendStored(const uint8_t* first, uint32_t count, std::ptrdiff_t stride);

  // Ascending RecID order; nothing to do once sorted.
  void Sort();
  bool Contains(REC_ID recID) const;
  // Keeps the first n items; a set never grows this way.
  void SetCount(uint32_t n);
  // Removes up to n items from a 1-based position, moving the rest down.
  void RemoveAt(uint32_t position, uint32_t n);

  // New sorted sets holding each RecID once. Array set operands are sorted
  // in place first; a bit set operand is taken in ascending order. A null
  // operand yields no set.
  static std::unique_ptr<FBL_ArraySet> MakeIntersection(FBL_Set* a, FBL_Set* b);
  static std::unique_ptr<FBL_ArraySet> MakeUnion(FBL_Set* a, FBL_Set* b);

 private:
  void Reserve(size_t needed);
  // Capacity for `more` items beyond the count, doubling as Append does.
  void RoomFor(size_t more);

  std::vector<REC_ID> mItems;
  bool mSorted = false;
};

namespace zv {

// `set` as an array set: the set itself when it is one, else an array set
// built from it and kept in `holder`. REQUIRES: set is a bit set or an
// array set.
FBL_ArraySet& AsArraySet(FBL_Set& set, std::unique_ptr<FBL_ArraySet>& holder);

}  // namespace zv
