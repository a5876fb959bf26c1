#include "kernel/indexes/index_fence.h"

#include "kernel/tables/key_order.h"

namespace {

// Of pages 1..n, the last one the pair does not sort below (page 1 when it
// sorts below all); below(p) compares the pair with page p's first entry.
// The page held is taken when the pair lies on it.
template <class Below>
uint32_t LastPageNotAbove(uint32_t n, uint32_t held, Below below) {
  if (held != 0 && held <= n && !below(held) && (held == n || below(held + 1))) return held;
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
    : mOrder(order), mHasBits(order.HasKeyOrderBits()), mFixed(order.HasFixedKey()) {}

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
  mBits.resize(pages);
}

void FBL_IndexFence::Set(uint32_t l, const uint8_t* key, REC_ID recID) {
  mKeys[l - 1].assign(reinterpret_cast<const char*>(key), mOrder.GetKeyLength(key));
  mRecIDs[l - 1] = recID;
  if (mHasBits) {
    mBits[l - 1] = mOrder.KeyOrderBits(key);
  } else if (!mFixed) {
    mBits[l - 1] = FBL_KeyOrder::BytesPrefix(key);
  }
}

void FBL_IndexFence::InsertPage(uint32_t l) {
  mKeys.insert(mKeys.begin() + (l - 1), std::string());
  mRecIDs.insert(mRecIDs.begin() + (l - 1), 0);
  mBits.insert(mBits.begin() + (l - 1), 0);
}

void FBL_IndexFence::RemovePage(uint32_t l) {
  mKeys.erase(mKeys.begin() + (l - 1));
  mRecIDs.erase(mRecIDs.begin() + (l - 1));
  mBits.erase(mBits.begin() + (l - 1));
}

uint32_t FBL_IndexFence::Choose(const uint8_t* key, REC_ID recID, uint32_t held) const {
  const uint32_t n = static_cast<uint32_t>(mKeys.size());
  auto first = [&](uint32_t p) { return reinterpret_cast<const uint8_t*>(mKeys[p - 1].data()); };
  if (mHasBits) {
    const uint64_t bits = mOrder.KeyOrderBits(key);
    return LastPageNotAbove(n, held, [&](uint32_t p) {
      const uint64_t other = mBits[p - 1];
      return bits < other || (bits == other && recID < mRecIDs[p - 1]);
    });
  }
  if (!mFixed && mOrder.KeysCompareAsBytes()) {
    const uint64_t prefix = FBL_KeyOrder::BytesPrefix(key);
    return LastPageNotAbove(n, held, [&](uint32_t p) {
      int c = FBL_KeyOrder::CompareAsBytes(key, prefix, first(p), mBits[p - 1]);
      return c < 0 || (c == 0 && recID < mRecIDs[p - 1]);
    });
  }
  return LastPageNotAbove(n, held, [&](uint32_t p) {
    int c = mOrder.CompareKeys(key, first(p));
    return c < 0 || (c == 0 && recID < mRecIDs[p - 1]);
  });
}
