#include "kernel/indexes/index_fence.h"

#include "kernel/tables/key_order.h"

namespace {

// Of pages 1..n, the last one the pair does not sort below (page 1 when it
// sorts below all); below(p) compares the pair with page p's first entry.
template <class Below>
uint32_t LastPageNotAbove(uint32_t n, Below below) {
  // Ascending keys (counters) go to the last page.
  if (!below(n)) return n;
  uint32_t lo = 1, hi = n;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo + 1) / 2;
    if (below(mid)) {
      hi = mid - 1;
    } else {
      lo = mid;
    }
  }
  return lo;
}

}  // namespace

FBL_IndexFence::FBL_IndexFence(const FBL_KeyOrder& order)
    : mOrder(order), mHasBits(order.HasKeyOrderBits()) {}

void FBL_IndexFence::Clear() {
  mValid = false;
  mKeys.clear();
  mRecIDs.clear();
  mBits.clear();
}

void FBL_IndexFence::Reset(uint32_t pages) {
  Clear();
  mKeys.resize(pages);
  mRecIDs.resize(pages);
  if (mHasBits) mBits.resize(pages);
}

void FBL_IndexFence::Set(uint32_t l, const uint8_t* key, REC_ID recID) {
  mKeys[l - 1].assign(reinterpret_cast<const char*>(key), mOrder.GetKeyLength(key));
  mRecIDs[l - 1] = recID;
  if (mHasBits) mBits[l - 1] = mOrder.KeyOrderBits(key);
}

void FBL_IndexFence::InsertPage(uint32_t l) {
  mKeys.insert(mKeys.begin() + (l - 1), std::string());
  mRecIDs.insert(mRecIDs.begin() + (l - 1), 0);
  if (mHasBits) mBits.insert(mBits.begin() + (l - 1), 0);
}

void FBL_IndexFence::RemovePage(uint32_t l) {
  mKeys.erase(mKeys.begin() + (l - 1));
  mRecIDs.erase(mRecIDs.begin() + (l - 1));
  if (mHasBits) mBits.erase(mBits.begin() + (l - 1));
}

uint32_t FBL_IndexFence::Choose(const uint8_t* key, REC_ID recID) const {
  const uint32_t n = static_cast<uint32_t>(mKeys.size());
  if (mHasBits) {
    const uint64_t bits = mOrder.KeyOrderBits(key);
    return LastPageNotAbove(n, [&](uint32_t p) {
      const uint64_t first = mBits[p - 1];
      return bits < first || (bits == first && recID < mRecIDs[p - 1]);
    });
  }
  const bool bytes = !mOrder.HasFixedKey() && mOrder.KeysCompareAsBytes();
  return LastPageNotAbove(n, [&](uint32_t p) {
    int c = mOrder.CompareKeysAs(bytes, key, reinterpret_cast<const uint8_t*>(mKeys[p - 1].data()));
    return c < 0 || (c == 0 && recID < mRecIDs[p - 1]);
  });
}
