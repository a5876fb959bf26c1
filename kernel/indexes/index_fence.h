// FBL_IndexFence: the first entry of every logical page of an index, kept
// in memory by an index cursor so that a search chooses its page without
// loading pages. Beside each key a 64-bit number orders most comparisons
// without a call: the order bits of fixed keys, the first 8 bytes of
// variable keys that compare as bytes. The cursor keeps it in step with
// every change it makes; a change it cannot follow clears it (Clear), and
// the next search reads the first entries again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_KeyOrder;

class FBL_IndexFence {
 public:
  // REQUIRES: order outlives the fence.
  explicit FBL_IndexFence(const FBL_KeyOrder& order);

  // Whether it holds the first entries of pages pages.
  bool Covers(uint32_t pages) const { return mValid && mKeys.size() == pages; }
  bool IsValid() const { return mValid; }
  void Clear();
  // Starts over with pages pages, each to be Set; valid once Validate runs.
  void Reset(uint32_t pages);
  void Validate() { mValid = true; }
  // Page l (1-based) starts with (key, recID).
  void Set(uint32_t l, const uint8_t* key, REC_ID recID);
  // A page inserted as l (its first entry Set when it gets one), or removed.
  void InsertPage(uint32_t l);
  void RemovePage(uint32_t l);
  // Of the pages held, the last whose first entry is not above (key,
  // recID); page 1 when the pair sorts below all. held: the page the
  // cursor holds (0: none), looked at first. REQUIRES: valid, pages.
  uint32_t Choose(const uint8_t* key, REC_ID recID, uint32_t held) const;

 private:
  const FBL_KeyOrder& mOrder;
  const bool mHasBits;
  const bool mFixed;
  bool mValid = false;
  std::vector<std::string> mKeys;
  std::vector<REC_ID> mRecIDs;
  std::vector<uint64_t> mBits;
};
