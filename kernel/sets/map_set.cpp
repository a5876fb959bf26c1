#include "kernel/sets/map_set.h"

FBL_MapSet::FBL_MapSet(uint32_t capacity) {
  mPairs.reserve(capacity);
}

FBL_MapSet::~FBL_MapSet() = default;

void FBL_MapSet::Append(REC_ID left, REC_ID right) {
  mPairs.push_back({left, right});
}

FBL_RecPair FBL_MapSet::GetPair(uint32_t position) const {
  return position >= 1 && position <= mPairs.size() ? mPairs[position - 1] : FBL_RecPair{0, 0};
}

std::optional<FBL_RecPair> FBL_MapSet::CheckDuplicates() {
  for (size_t i = 1; i < mPairs.size(); ++i) {
    if (mPairs[i].mLeft == mPairs[i - 1].mLeft) {
      mHasDuplicates = true;
      return mPairs[i - 1];
    }
  }
  mHasDuplicates = false;
  return std::nullopt;
}
