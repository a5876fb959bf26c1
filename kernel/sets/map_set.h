// Pairs of RecIDs (left, right) of two tables, as joins produce them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "kernel/sets/rec_id.h"

struct FBL_RecPair {
  REC_ID mLeft;
  REC_ID mRight;

  bool operator==(const FBL_RecPair&) const = default;
};

class FBL_MapSet {
 public:
  explicit FBL_MapSet(uint32_t capacity = 0);
  FBL_MapSet(const FBL_MapSet&) = delete;
  FBL_MapSet& operator=(const FBL_MapSet&) = delete;
  virtual ~FBL_MapSet();

  uint32_t Count() const { return static_cast<uint32_t>(mPairs.size()); }
  void Append(REC_ID left, REC_ID right);
  // The pair at a 1-based position, {0, 0} when out of range.
  FBL_RecPair GetPair(uint32_t position) const;
  std::span<const FBL_RecPair> GetPairs() const { return mPairs; }

  // Scans the pairs in order for two consecutive ones with the same left
  // RecID. When found, sets the flag and returns the first of the two;
  // otherwise clears the flag.
  std::optional<FBL_RecPair> CheckDuplicates();
  bool HasDuplicates() const { return mHasDuplicates; }

 private:
  std::vector<FBL_RecPair> mPairs;
  bool mHasDuplicates = false;
};
