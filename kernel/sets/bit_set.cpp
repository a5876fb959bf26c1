#include "kernel/sets/bit_set.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "kernel/sets/array_set.h"
#include "kernel/sets/set_iterator.h"
#include "platform/errors.h"

// Bit b of a 64-bit word is bit b % 8 of byte b / 8 only on a little-endian
// machine; the buffer format depends on it.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint64_t kLowHalf = 0xFFFFFFFFull;

uint32_t WordCount32(REC_ID size) {
  if (size == 0) return 0;
  uint64_t bytes = (uint64_t{size} + 7) / 8;
  return static_cast<uint32_t>(bytes / 4 + 1);
}

// Left unset: callers fill every word.
std::unique_ptr<uint64_t[]> AllocateWords(uint32_t count) {
  if (count == 0) return nullptr;
  std::unique_ptr<uint64_t[]> words(new (std::nothrow) uint64_t[count]);
  if (!words) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  return words;
}

// The words [begin, end) between the first and the last non-zero word,
// found by scanning from both ends; {0, 0} when all are zero.
struct Stretch {
  uint32_t begin = 0;
  uint32_t end = 0;
  bool Empty() const { return begin >= end; }
};

Stretch FindStretch(const uint64_t* words, uint32_t count) {
  Stretch s{0, count};
  while (s.begin < s.end && words[s.begin] == 0) ++s.begin;
  while (s.end > s.begin && words[s.end - 1] == 0) --s.end;
  return s.Empty() ? Stretch{} : s;
}

// Counting is worth the processor's population count instruction where it
// has one; the loader picks the variant.
[[gnu::target_clones("popcnt", "default")]] uint32_t PopCount(const uint64_t* words,
                                                              uint32_t count) {
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) total += std::popcount(words[i]);
  return total;
}

// The word holding the n-th member, with n reduced to the member's rank in
// it; count when there are fewer than n members. REQUIRES: n >= 1.
[[gnu::target_clones("popcnt", "default")]] uint32_t FindNthWord(const uint64_t* words,
                                                                 uint32_t count, uint32_t& n) {
  uint32_t i = 0;
  for (; i < count; ++i) {
    uint32_t inWord = std::popcount(words[i]);
    if (n <= inWord) break;
    n -= inWord;
  }
  return i;
}

// Mask of bits from..63 of a word.
uint64_t MaskFrom(uint32_t from) {
  return ~uint64_t{0} << from;
}
// Mask of bits 0..to of a word.
uint64_t MaskTo(uint32_t to) {
  return ~uint64_t{0} >> (63 - to);
}

}  // namespace

FBL_BitSet::FBL_BitSet(REC_ID size, NoFill)
    : mSize(size), mWordCount32(WordCount32(size)), mWords(AllocateWords(StorageWords())) {}

FBL_BitSet::FBL_BitSet(REC_ID size) : FBL_BitSet(size, kNoFill) {
  std::fill_n(mWords.get(), StorageWords(), 0);
}

FBL_BitSet::FBL_BitSet(REC_ID size, const FBL_ArraySet& arraySet) : FBL_BitSet(size) {
  for (REC_ID recID : arraySet.GetItems()) Include(recID);
}

FBL_BitSet::~FBL_BitSet() = default;

std::unique_ptr<FBL_SetIterator> FBL_BitSet::MakeIterator() const {
  return std::make_unique<FBL_BitSetIterator>(*this);
}

void FBL_BitSet::LoadBytes(std::span<const uint8_t> bytes) {
  if (!mWords) return;
  size_t storage = size_t{StorageWords()} * 8;
  size_t n = std::min(bytes.size(), GetBufferSize());
  auto* dest = reinterpret_cast<uint8_t*>(mWords.get());
  if (n > 0) std::memcpy(dest, bytes.data(), n);
  std::memset(dest + n, 0, storage - n);
  ClearPastSize();
}

void FBL_BitSet::ClearPastSize() {
  if (!mWords) return;
  uint32_t last = mSize / 64;  // the word holding bit `size`, past the last RecID
  mWords[last] &= ~MaskFrom(mSize % 64);
  std::fill(mWords.get() + last + 1, mWords.get() + StorageWords(), 0);
}

bool FBL_BitSet::IsEmpty() const {
  return FindStretch(mWords.get(), StorageWords()).Empty();
}

uint32_t FBL_BitSet::Count() const {
  return PopCount(mWords.get(), StorageWords());
}

void FBL_BitSet::Exclude(REC_ID recID) {
  if (recID == 0 || recID > mSize) return;
  mWords[(recID - 1) / 64] &= ~(uint64_t{1} << ((recID - 1) % 64));
}

bool FBL_BitSet::IsMember(REC_ID recID) const {
  if (recID == 0 || recID > mSize) return false;
  return (mWords[(recID - 1) / 64] >> ((recID - 1) % 64)) & 1;
}

void FBL_BitSet::IncludeRange(REC_ID from, REC_ID to) {
  from = std::max<REC_ID>(from, 1);
  to = std::min(to, mSize);
  if (to < from) return;
  uint32_t first = (from - 1) / 64, last = (to - 1) / 64;
  uint64_t head = MaskFrom((from - 1) % 64), tail = MaskTo((to - 1) % 64);
  if (first == last) {
    mWords[first] |= head & tail;
    return;
  }
  mWords[first] |= head;
  std::fill(mWords.get() + first + 1, mWords.get() + last, ~uint64_t{0});
  mWords[last] |= tail;
}

REC_ID FBL_BitSet::GetNth(uint32_t n) const {
  if (n == 0) return 0;
  uint32_t i = FindNthWord(mWords.get(), StorageWords(), n);
  if (i == StorageWords()) return 0;
  uint64_t word = mWords[i];
  for (uint32_t k = 1; k < n; ++k) word &= word - 1;  // drop the lower members
  return static_cast<REC_ID>(uint64_t{i} * 64 + std::countr_zero(word) + 1);
}

REC_ID FBL_BitSet::NextMember(REC_ID after) const {
  if (after >= mSize) return 0;
  const uint64_t* words = mWords.get();
  uint32_t i = after / 64;  // bit `after` is RecID after + 1
  uint64_t word = words[i] & MaskFrom(after % 64);
  for (uint32_t n = StorageWords(); word == 0;) {
    if (++i == n) return 0;
    word = words[i];
  }
  return static_cast<REC_ID>(uint64_t{i} * 64 + std::countr_zero(word) + 1);
}

REC_ID FBL_BitSet::PrevMember(REC_ID before) const {
  if (before <= 1 || mSize == 0) return 0;
  REC_ID bit = std::min<REC_ID>(before - 1, mSize) - 1;  // highest candidate bit
  const uint64_t* words = mWords.get();
  uint32_t i = bit / 64;
  uint64_t word = words[i] & MaskTo(bit % 64);
  while (word == 0) {
    if (i == 0) return 0;
    word = words[--i];
  }
  return static_cast<REC_ID>(uint64_t{i} * 64 + 63 - std::countl_zero(word) + 1);
}

template <class Op>
void FBL_BitSet::Combine(const FBL_BitSet& other, Op op) {
  uint32_t shared32 = std::min(mWordCount32, other.mWordCount32);
  uint64_t* words = mWords.get();
  const uint64_t* others = other.mWords.get();
  uint32_t full = shared32 / 2;
  for (uint32_t i = 0; i < full; ++i) words[i] = op(words[i], others[i]);
  if (shared32 % 2 != 0) {
    // Only the low half is shared; the high half is the receiver's own.
    uint64_t merged = op(words[full], others[full]);
    words[full] = (merged & kLowHalf) | (words[full] & ~kLowHalf);
  }
  ClearPastSize();
}

void FBL_BitSet::Union(const FBL_Set& other) {
  std::unique_ptr<FBL_BitSet> holder;
  Combine(AsBitSet(other, mSize, holder), [](uint64_t r, uint64_t o) { return r | o; });
}

void FBL_BitSet::Intersection(const FBL_Set& other) {
  std::unique_ptr<FBL_BitSet> holder;
  Combine(AsBitSet(other, mSize, holder), [](uint64_t r, uint64_t o) { return r & o; });
}

void FBL_BitSet::Difference(const FBL_Set& other) {
  std::unique_ptr<FBL_BitSet> holder;
  Combine(AsBitSet(other, mSize, holder), [](uint64_t r, uint64_t o) { return r & ~o; });
}

void FBL_BitSet::Invert() {
  for (uint32_t i = 0, n = StorageWords(); i < n; ++i) mWords[i] = ~mWords[i];
  ClearPastSize();
}

// Both results only touch the stretch of words where their operands have
// members, so sparse sets combine quickly; the rest is zero-filled.
std::unique_ptr<FBL_BitSet> FBL_BitSet::MakeUnion(const FBL_BitSet& a, const FBL_BitSet& b) {
  const FBL_BitSet& big = a.mWordCount32 >= b.mWordCount32 ? a : b;
  const FBL_BitSet& small = &big == &a ? b : a;
  std::unique_ptr<FBL_BitSet> result(new FBL_BitSet(std::max(a.mSize, b.mSize), kNoFill));
  uint32_t n = result->StorageWords(), nSmall = small.StorageWords();
  const uint64_t *x = big.mWords.get(), *y = small.mWords.get();
  Stretch sx = FindStretch(x, n), sy = FindStretch(y, nSmall);
  Stretch s = sx.Empty()   ? sy
              : sy.Empty() ? sx
                           : Stretch{std::min(sx.begin, sy.begin), std::max(sx.end, sy.end)};
  uint64_t* out = result->mWords.get();
  uint32_t both = std::clamp(nSmall, s.begin, s.end);
  std::fill(out, out + s.begin, 0);
  for (uint32_t i = s.begin; i < both; ++i) out[i] = x[i] | y[i];
  std::copy(x + both, x + s.end, out + both);
  std::fill(out + s.end, out + n, 0);
  return result;
}

std::unique_ptr<FBL_BitSet> FBL_BitSet::MakeIntersection(const FBL_BitSet& a, const FBL_BitSet& b) {
  std::unique_ptr<FBL_BitSet> result(new FBL_BitSet(std::min(a.mSize, b.mSize), kNoFill));
  uint32_t n = result->StorageWords();
  const uint64_t *x = a.mWords.get(), *y = b.mWords.get();
  Stretch sx = FindStretch(x, n), sy = FindStretch(y, n);
  Stretch s{std::max(sx.begin, sy.begin), std::min(sx.end, sy.end)};
  if (s.Empty()) s = Stretch{};
  uint64_t* out = result->mWords.get();
  std::fill(out, out + s.begin, 0);
  for (uint32_t i = s.begin; i < s.end; ++i) out[i] = x[i] & y[i];
  std::fill(out + s.end, out + n, 0);
  result->ClearPastSize();
  return result;
}

std::unique_ptr<FBL_BitSet> FBL_BitSet::MakeUnion(const FBL_Set& a, const FBL_Set& b,
                                                  REC_ID maxRecID) {
  std::unique_ptr<FBL_BitSet> holdA, holdB;
  return MakeUnion(AsBitSet(a, maxRecID, holdA), AsBitSet(b, maxRecID, holdB));
}

std::unique_ptr<FBL_BitSet> FBL_BitSet::MakeIntersection(const FBL_Set& a, const FBL_Set& b,
                                                         REC_ID maxRecID) {
  std::unique_ptr<FBL_BitSet> holdA, holdB;
  return MakeIntersection(AsBitSet(a, maxRecID, holdA), AsBitSet(b, maxRecID, holdB));
}

const FBL_BitSet& AsBitSet(const FBL_Set& set, REC_ID maxRecID,
                           std::unique_ptr<FBL_BitSet>& holder) {
  if (auto* bitSet = dynamic_cast<const FBL_BitSet*>(&set)) return *bitSet;
  auto* arraySet = dynamic_cast<const FBL_ArraySet*>(&set);
  if (!arraySet) throw xFBL_Exception(ERR_ASSERTION_FAIL);
  holder = std::make_unique<FBL_BitSet>(maxRecID, *arraySet);
  return *holder;
}
