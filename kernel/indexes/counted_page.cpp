#include "kernel/indexes/counted_page.h"

#include <algorithm>
#include <cstring>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/indexes/index_file.h"
#include "kernel/storage/byte_order.h"
#include "platform/errors.h"

using namespace zindex;

using zorder::LoadNative;
using zorder::StoreNative;

namespace {

// A page is full past this share of its size.
constexpr uint32_t kFillPercent = 80;
// The counts are u16.
constexpr uint32_t kMaxCount = 0xFFFF;
// A search among more keys fetches the key area ahead.
constexpr uint32_t kPrefetchKeys = 16;
// Words of the parses a cursor keeps (two for each key).
constexpr size_t kKeptWords = size_t{1} << 22;
// Words a kept parse has room for beyond its own: a page that gains a few
// keys keeps its parses in place.
constexpr uint32_t kKeptSlack = 16;

// FBL_KeyOrder::BytesPrefix of the key at off, read as one word where the
// page goes on for 8 bytes after its length byte.
uint64_t PrefixAt(const uint8_t* page, uint32_t off, uint32_t size) {
  const uint32_t length = page[off];
  if (off + 9 > size) return FBL_KeyOrder::BytesPrefix(page + off);
  const uint64_t word = zorder::LoadU64(page + off + 1, true);
  return length >= 8 ? word : word & ~(UINT64_MAX >> (8 * length));
}

}  // namespace

FBL_CountedPage::FBL_CountedPage(FBL_IndexFile& file, const FBL_KeyOrder& order)
    : FBL_CountedPage(file, order, PageLayout::kCounted) {}

FBL_CountedPage::FBL_CountedPage(FBL_IndexFile& file, const FBL_KeyOrder& order,
                                 PageLayout layout)
    : FBL_IndexPage(file, order, layout), mKeySize(order.GetMaxKeySize()) {}

uint32_t FBL_CountedPage::KeyLengthAt(const uint8_t*, uint32_t) const {
  return mKeySize;
}

uint32_t FBL_CountedPage::StoredKeyArea(const uint8_t* page) const {
  return LoadNative<uint16_t>(page) * (mKeySize + 4);
}

void FBL_CountedPage::SetKeyArea(uint8_t*, uint32_t, uint32_t) {}

uint32_t FBL_CountedPage::MaxEntries() const {
  return std::min((Size() - HeaderBytes()) / 4, kMaxCount);
}

// ---- reading ------------------------------------------------------------------------

void FBL_CountedPage::Forget() {
  if (mParsed && mParsedStamp != 0 && mParsedStamp == mIndexFile.PageStamp(mPage) &&
      Size() <= UINT16_MAX) {
    if (mPage >= mKept.size()) mKept.resize(size_t{mPage} + 256);
    if (mKept[mPage].stamp != mParsedStamp) {
      const uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
      const uint32_t words = 2 * (keys + 1);
      if (words > mKept[mPage].room) {
        if (mKeptPool.size() > kKeptWords) {
          ForgetKept();
          mKept.resize(size_t{mPage} + 256);
        }
        mKept[mPage].at = static_cast<uint32_t>(mKeptPool.size());
        mKept[mPage].room = words + kKeptSlack;
        mKeptPool.resize(mKeptPool.size() + words + kKeptSlack);
      }
      Kept& kept = mKept[mPage];
      std::copy(mKeyOff.begin(), mKeyOff.end(), mKeptPool.begin() + kept.at);
      std::copy(mFirstSlot.begin(), mFirstSlot.end(), mKeptPool.begin() + kept.at + keys + 1);
      kept.keys = keys;
      kept.stamp = mParsedStamp;
    }
  }
  mParsed = false;
}

void FBL_CountedPage::ForgetKept() {
  mKept.clear();
  mKeptPool.clear();
}

void FBL_CountedPage::Parse() {
  if (mParsed) return;
  const uint8_t* d = Page();
  uint64_t stamp = mIndexFile.PageStamp(mPage);
  if (mParsed) {
    // Parsed by the page's first check just now.
    mParsedStamp = stamp;
    return;
  }
  if (mPage < mKept.size() && mKept[mPage].stamp != 0) {
    Kept& kept = mKept[mPage];
    if (stamp != 0 && kept.stamp == stamp) {
      const uint16_t* from = mKeptPool.data() + kept.at;
      mKeyOff.assign(from, from + kept.keys + 1);
      mFirstSlot.assign(from + kept.keys + 1, from + 2 * (kept.keys + 1));
      mParsedStamp = stamp;
      mParsed = true;
      return;
    }
    kept.stamp = 0;
  }
  uint32_t keys = LoadNative<uint16_t>(d);
  uint32_t recIDs = LoadNative<uint16_t>(d + 2);
  uint32_t area = StoredKeyArea(d);
  uint32_t header = HeaderBytes();
  if (uint64_t{header} + area + uint64_t{recIDs} * 4 > Size()) Corrupt("counts beyond the page");
  mKeyOff.resize(keys + 1);
  mFirstSlot.resize(keys + 1);
  // The walk is the page's longest chain of dependent loads: the key area
  // is fetched at once (a page just read in is rarely in the CPU's caches)
  // and the key length is read in line, not through the virtual hook.
  for (uint32_t off = header; off < header + area; off += 64) __builtin_prefetch(d + off);
  if (FixedKeys()) {
    WalkKeys(d, keys, recIDs, header + area, [this](const uint8_t*, uint32_t) { return mKeySize; });
  } else {
    WalkKeys(d, keys, recIDs, header + area, LengthByteKey);
  }
  mParsedStamp = stamp;
  mParsed = true;
}

template <class Length>
void FBL_CountedPage::WalkKeys(const uint8_t* d, uint32_t keys, uint32_t recIDs, uint32_t end,
                               Length length) {
  uint32_t off = HeaderBytes();
  uint64_t slots = 0;
  for (uint32_t j = 0; j < keys; ++j) {
    if (off >= end) Corrupt("key entries beyond the key area");
    const uint32_t bytes = length(d, off);
    if (off + bytes + 4 > end) Corrupt("key entries beyond the key area");
    const uint32_t count = LoadNative<uint32_t>(d + off + bytes);
    if (count == 0) Corrupt("a key without RecIDs");
    mKeyOff[j] = off;
    mFirstSlot[j] = static_cast<uint32_t>(slots);
    slots += count;
    if (slots > recIDs) Corrupt("key counts beyond the RecID count");
    off += bytes + 4;
  }
  if (off != end || slots != recIDs) Corrupt("key counts and RecID count disagree");
  mKeyOff[keys] = off;
  mFirstSlot[keys] = recIDs;
}

uint32_t FBL_CountedPage::Count() {
  const uint8_t* d = Page();
  uint32_t n = LoadNative<uint16_t>(d + 2);
  if (HeaderBytes() + uint64_t{n} * 4 > Size()) Corrupt("RecID count beyond the page");
  return n;
}

uint32_t FBL_CountedPage::KeyCount() {
  Parse();
  return static_cast<uint32_t>(mKeyOff.size() - 1);
}

uint32_t FBL_CountedPage::KeyOfSlot(uint32_t slot) {
  Parse();
  if (slot >= mFirstSlot.back()) Corrupt("a slot beyond the RecIDs");
  auto it = std::upper_bound(mFirstSlot.begin(), mFirstSlot.end(), slot);
  return static_cast<uint32_t>(it - mFirstSlot.begin()) - 1;
}

uint32_t FBL_CountedPage::CountAt(const uint8_t* page, uint32_t j) const {
  return LoadNative<uint32_t>(page + mKeyOff[j] + KeyLengthAt(page, mKeyOff[j]));
}

void FBL_CountedPage::SetCountAt(uint8_t* page, uint32_t j, uint32_t count) {
  StoreNative<uint32_t>(page + mKeyOff[j] + KeyLengthAt(page, mKeyOff[j]), count);
}

const uint8_t* FBL_CountedPage::KeyAt(uint32_t i) {
  if (!mParsed && (i == 0 || FixedKeys())) {
    // The first and last keys of a checked page, without parsing it.
    const uint8_t* d = Page();
    uint32_t n = LoadNative<uint16_t>(d + 2);
    uint32_t keys = LoadNative<uint16_t>(d);
    if (!mParsed && keys > 0 && i < n) {
      if (i == 0) return d + HeaderBytes();
      if (i == n - 1) return d + HeaderBytes() + (keys - 1) * (mKeySize + 4);
    }
  }
  uint32_t j = KeyOfSlot(i);
  return Page() + mKeyOff[j];
}

REC_ID FBL_CountedPage::RecIDAt(uint32_t i) {
  uint32_t n = Count();
  if (i >= n) Corrupt("a slot beyond the RecIDs");
  return LoadNative<uint32_t>(Page() + Size() - 4 * (i + 1));
}

uint32_t FBL_CountedPage::UsedSize() {
  Parse();
  return mKeyOff.back() + mFirstSlot.back() * 4;
}

uint32_t FBL_CountedPage::FreeSpace() {
  return Size() - UsedSize();
}

uint32_t FBL_CountedPage::Search(const uint8_t* key, REC_ID recID, bool& found) {
  Parse();
  found = false;
  const uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  const bool bytes = KeysAsBytes();
  if (keys > kPrefetchKeys) {
    // The search reads keys all over the key area: its lines and the
    // offsets are fetched at once rather than one miss after another.
    for (uint32_t off = HeaderBytes(); off < mKeyOff[keys]; off += 64) __builtin_prefetch(d + off);
    const auto* offsets = reinterpret_cast<const uint8_t*>(mKeyOff.data());
    for (size_t b = 0; b < 4 * size_t{keys}; b += 64) __builtin_prefetch(offsets + b);
  }
  // Keys as bytes compare by their first 8 bytes without a call.
  const uint64_t prefix = bytes ? FBL_KeyOrder::BytesPrefix(key) : 0;
  auto below = [&](uint32_t j) {
    const uint8_t* k = d + mKeyOff[j];
    if (!bytes) return mOrder.CompareKeys(k, key) < 0;
    return FBL_KeyOrder::CompareAsBytes(k, PrefixAt(d, mKeyOff[j], Size()), key, prefix) < 0;
  };
  uint32_t lo = 0;
  uint32_t hi = keys;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (below(mid)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == keys || CompareKeysAs(bytes, d + mKeyOff[lo], key) != 0) return mFirstSlot[lo];
  uint32_t a = mFirstSlot[lo];
  uint32_t b = mFirstSlot[lo + 1];
  // Records added in RecID order go after the key's last RecID.
  if (LoadNative<uint32_t>(d + Size() - 4 * b) < recID) return b;
  while (a < b) {
    uint32_t mid = (a + b) / 2;
    if (LoadNative<uint32_t>(d + Size() - 4 * (mid + 1)) < recID) {
      a = mid + 1;
    } else {
      b = mid;
    }
  }
  found = a < mFirstSlot[lo + 1] && LoadNative<uint32_t>(d + Size() - 4 * (a + 1)) == recID;
  return a;
}

bool FBL_CountedPage::IsKeyLocked() {
  if (mLogical == 0) return false;
  return zpage::EntryMarks(mIndexFile.GetInventory().GetEntry(mLogical)) != 0;
}

uint32_t FBL_CountedPage::EntrySize(const uint8_t* key, uint32_t at) {
  Parse();
  uint32_t n = mFirstSlot.back();
  if ((at < n && SameKey(KeyAt(at), key)) || (at > 0 && SameKey(KeyAt(at - 1), key))) return 4;
  return KeyLength(key) + 8;
}

bool FBL_CountedPage::HasRoomFor(const uint8_t* key, uint32_t at) {
  if (Count() >= MaxEntries()) return false;
  if (uint64_t{UsedSize()} * 100 > uint64_t{Size()} * kFillPercent) return false;
  return FreeSpace() >= EntrySize(key, at);
}

// ---- changing -----------------------------------------------------------------------

void FBL_CountedPage::SetCounts(uint8_t* page, uint32_t keys, uint32_t recIDs) {
  StoreNative<uint16_t>(page, static_cast<uint16_t>(keys));
  StoreNative<uint16_t>(page + 2, static_cast<uint16_t>(recIDs));
}

void FBL_CountedPage::Insert(uint32_t at, const uint8_t* key, REC_ID recID) {
  Parse();
  uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  uint32_t n = mFirstSlot.back();
  if (at > n || n >= MaxEntries()) Corrupt("insertion beyond the page");
  uint32_t j;
  bool newKey = false;
  if (at < n && SameKey(d + mKeyOff[KeyOfSlot(at)], key)) {
    j = KeyOfSlot(at);
  } else if (at > 0 && SameKey(d + mKeyOff[KeyOfSlot(at - 1)], key)) {
    j = KeyOfSlot(at - 1);
  } else {
    j = at < n ? KeyOfSlot(at) : keys;
    if (mFirstSlot[j] != at) Corrupt("a new key inside another key's RecIDs");
    newKey = true;
  }
  uint32_t length = KeyLength(key);
  uint32_t grow = newKey ? length + 4 : 0;
  uint32_t end = mKeyOff.back();
  if (uint64_t{end} + grow + (uint64_t{n} + 1) * 4 > Size()) Corrupt("an entry beyond the page");
  uint32_t off = mKeyOff[j];
  if (newKey) {
    std::memmove(d + off + grow, d + off, end - off);
    std::memcpy(d + off, key, length);
    StoreNative<uint32_t>(d + off + length, 1);
    keys += 1;
  } else {
    SetCountAt(d, j, CountAt(d, j) + 1);
  }
  uint8_t* low = d + Size() - 4 * (n + 1);
  std::memmove(low, low + 4, 4 * (n - at));
  StoreNative<uint32_t>(d + Size() - 4 * (at + 1), recID);
  SetCounts(d, keys, n + 1);
  SetKeyArea(d, end + grow - HeaderBytes(), off - HeaderBytes());
  if (newKey) {
    mKeyOff.insert(mKeyOff.begin() + j, off);
    mFirstSlot.insert(mFirstSlot.begin() + j, at);
  }
  for (size_t k = j + 1; k < mKeyOff.size(); ++k) {
    mKeyOff[k] += grow;
    mFirstSlot[k] += 1;
  }
  Changed();
}

// Insert at the end, without searching for the key: the same bytes.
bool FBL_CountedPage::AppendLast(const uint8_t* key, REC_ID recID, bool same) {
  Parse();
  uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  uint32_t n = mFirstSlot.back();
  uint32_t end = mKeyOff.back();
  if (same && keys == 0) return false;
  uint32_t length = same ? 0 : KeyLength(key);
  uint32_t grow = same ? 0 : length + 4;
  uint64_t used = uint64_t{end} + uint64_t{n} * 4;
  if (n >= MaxEntries() || used * 100 > uint64_t{Size()} * kFillPercent || used + grow + 4 > Size())
    return false;
  uint32_t off;
  if (same) {
    off = mKeyOff[keys - 1];
    SetCountAt(d, keys - 1, CountAt(d, keys - 1) + 1);
  } else {
    off = end;
    std::memcpy(d + off, key, length);
    StoreNative<uint32_t>(d + off + length, 1);
    mKeyOff.back() = off;
    mKeyOff.push_back(end + grow);
    mFirstSlot.push_back(n);
    keys += 1;
  }
  mKeyOff.back() = end + grow;
  mFirstSlot.back() = n + 1;
  StoreNative<uint32_t>(d + Size() - 4 * (n + 1), recID);
  SetCounts(d, keys, n + 1);
  SetKeyArea(d, end + grow - HeaderBytes(), off - HeaderBytes());
  Changed();
  return true;
}

// The first key keeps the RecIDs from `from` on, the keys after it move
// whole; the work offset names the last key, as the last insert left it.
bool FBL_CountedPage::TailImage(uint32_t from, std::vector<uint8_t>& image) {
  Parse();
  const uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  uint32_t n = mFirstSlot.back();
  if (from == 0 || from >= n) return false;
  uint32_t j = KeyOfSlot(from);
  uint32_t header = HeaderBytes();
  uint32_t length = KeyLengthAt(d, mKeyOff[j]);
  uint32_t rest = mKeyOff[keys] - mKeyOff[j + 1];
  image.assign(Size(), 0);
  uint8_t* out = image.data();
  std::memcpy(out + header, d + mKeyOff[j], length);
  StoreNative<uint32_t>(out + header + length, mFirstSlot[j + 1] - from);
  std::memcpy(out + header + length + 4, d + mKeyOff[j + 1], rest);
  std::memcpy(out + Size() - 4 * (n - from), d + Size() - 4 * n, 4 * size_t{n - from});
  SetCounts(out, keys - j, n - from);
  uint32_t last = j + 1 == keys ? 0 : length + 4 + (mKeyOff[keys - 1] - mKeyOff[j + 1]);
  SetKeyArea(out, length + 4 + rest, last);
  return true;
}

// ---- sharing with a neighbour -------------------------------------------------------

// A neighbour at nine tenths of the fill limit or above gains little: the
// page splits instead.
uint32_t FBL_CountedPage::ShareCut(uint32_t otherUsed, bool toNext) {
  const uint64_t limit = uint64_t{Size()} * kFillPercent / 100;
  if (uint64_t{otherUsed} * 10 >= limit * 9) return 0;
  Parse();
  const uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  const uint32_t header = HeaderBytes();
  const uint64_t used = UsedSize();
  const uint64_t entries = used - header;
  auto gapAfter = [&](uint64_t moved) {
    const uint64_t a = used - moved, b = uint64_t{otherUsed} + moved;
    return a > b ? a - b : b - a;
  };
  uint32_t best = 0;
  uint64_t bestGap = gapAfter(0);
  for (uint32_t j = 1; j < keys; ++j) {
    const uint64_t below = (mKeyOff[j] - header) + uint64_t{mFirstSlot[j]} * 4;
    const uint64_t gap = gapAfter(toNext ? entries - below : below);
    if (gap < bestGap) {
      bestGap = gap;
      best = j;
    }
  }
  return best == 0 ? 0 : mFirstSlot[best];
}

FBL_CountedPage::KeyRange FBL_CountedPage::WholePage(const uint8_t* page) const {
  const uint32_t header = HeaderBytes();
  return KeyRange{page,
                  header,
                  header + StoredKeyArea(page),
                  0,
                  LoadNative<uint16_t>(page + 2),
                  LoadNative<uint16_t>(page)};
}

void FBL_CountedPage::Compose(const KeyRange& a, const KeyRange& b, uint8_t* out) {
  const uint32_t header = HeaderBytes();
  const uint32_t aKeys = a.keyEnd - a.keyBegin, bKeys = b.keyEnd - b.keyBegin;
  const uint32_t aSlots = a.slotEnd - a.slotBegin, bSlots = b.slotEnd - b.slotBegin;
  if (uint64_t{header} + aKeys + bKeys + 4 * (uint64_t{aSlots} + bSlots) > Size() ||
      aSlots + bSlots > MaxEntries() || a.keys + b.keys > kMaxCount)
    Corrupt("shared entries beyond the page");
  std::memset(out, 0, Size());
  std::memcpy(out + header, a.page + a.keyBegin, aKeys);
  std::memcpy(out + header + aKeys, b.page + b.keyBegin, bKeys);
  // Slot s lies at the page's end minus 4 * (s + 1).
  std::memcpy(out + Size() - 4 * aSlots, a.page + Size() - 4 * a.slotEnd, 4 * size_t{aSlots});
  std::memcpy(out + Size() - 4 * (aSlots + bSlots), b.page + Size() - 4 * b.slotEnd,
              4 * size_t{bSlots});
  SetCounts(out, a.keys + b.keys, aSlots + bSlots);
  SetKeyArea(out, aKeys + bKeys, 0);
}

void FBL_CountedPage::ShareWith(uint32_t other, uint32_t cut, bool toNext) {
  Parse();
  const uint32_t l = mLogical;
  const uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  const uint32_t n = mFirstSlot.back();
  const uint32_t j = cut < n ? KeyOfSlot(cut) : keys;
  if (j == 0 || j == keys || mFirstSlot[j] != cut) Corrupt("a share inside a key");
  const std::vector<uint8_t> mine(Page(), Page() + Size());
  const KeyRange head{mine.data(), HeaderBytes(), mKeyOff[j], 0, cut, j};
  const KeyRange tail{mine.data(), mKeyOff[j], mKeyOff[keys], cut, n, keys - j};
  const KeyRange none{mine.data(), 0, 0, 0, 0, 0};
  std::vector<uint8_t> out(Size());
  Select(other);
  uint8_t* d = Page();
  if (toNext) {
    Compose(tail, WholePage(d), out.data());
  } else {
    Compose(WholePage(d), head, out.data());
  }
  std::memcpy(d, out.data(), Size());
  MarkDirty();
  Select(l);
  if (toNext) {
    KeepFirst(cut);
    return;
  }
  Compose(tail, none, out.data());
  std::memcpy(Page(), out.data(), Size());
  MarkDirty();
}

void FBL_CountedPage::Remove(uint32_t at) {
  Parse();
  uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  uint32_t n = mFirstSlot.back();
  if (at >= n) Corrupt("removal beyond the page");
  uint32_t j = KeyOfSlot(at);
  uint8_t* low = d + Size() - 4 * n;
  std::memmove(low + 4, low, 4 * (n - at - 1));
  StoreNative<uint32_t>(low, 0);
  uint32_t end = mKeyOff.back();
  uint32_t off = mKeyOff[j];
  uint32_t count = CountAt(d, j);
  uint32_t shrink = 0;
  if (count > 1) {
    SetCountAt(d, j, count - 1);
  } else {
    shrink = mKeyOff[j + 1] - off;
    std::memmove(d + off, d + off + shrink, end - off - shrink);
    std::memset(d + end - shrink, 0, shrink);
    end -= shrink;
    keys -= 1;
  }
  SetCounts(d, keys, n - 1);
  SetKeyArea(d, end - HeaderBytes(), off - HeaderBytes());
  for (size_t k = j + 1; k < mKeyOff.size(); ++k) {
    mKeyOff[k] -= shrink;
    mFirstSlot[k] -= 1;
  }
  if (shrink != 0) {
    mKeyOff.erase(mKeyOff.begin() + j);
    mFirstSlot.erase(mFirstSlot.begin() + j);
  }
  Changed();
}

void FBL_CountedPage::KeepFirst(uint32_t keep) {
  Parse();
  uint8_t* d = Page();
  uint32_t n = mFirstSlot.back();
  if (keep >= n) return;
  uint32_t end = mKeyOff.back();
  uint32_t keys = 0;
  uint32_t areaEnd = HeaderBytes();
  if (keep > 0) {
    uint32_t j = KeyOfSlot(keep - 1);
    SetCountAt(d, j, keep - mFirstSlot[j]);
    keys = j + 1;
    areaEnd = mKeyOff[j + 1];
  }
  std::memset(d + areaEnd, 0, end - areaEnd);
  std::memset(d + Size() - 4 * n, 0, 4 * (n - keep));
  SetCounts(d, keys, keep);
  SetKeyArea(d, areaEnd - HeaderBytes(), 0);
  MarkDirty();
}

void FBL_CountedPage::InitPage() {
  std::memset(GetData(), 0, Size());
  MarkDirty();
}

uint32_t FBL_CountedPage::SplitPoint() {
  Parse();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  uint32_t n = mFirstSlot.back();
  if (keys <= 1) return n / 2;
  // The key boundary nearest the middle of the page's bytes.
  uint32_t header = HeaderBytes();
  uint64_t total = UsedSize() - header;
  uint32_t best = mFirstSlot[1];
  uint64_t bestGap = UINT64_MAX;
  for (uint32_t j = 1; j < keys; ++j) {
    uint64_t below = (mKeyOff[j] - header) + uint64_t{mFirstSlot[j]} * 4;
    uint64_t gap = below * 2 > total ? below * 2 - total : total - below * 2;
    if (gap < bestGap) {
      bestGap = gap;
      best = mFirstSlot[j];
    }
  }
  return best;
}

void FBL_CountedPage::Check() {
  Parse();
  const uint8_t* d = Page();
  uint32_t keys = static_cast<uint32_t>(mKeyOff.size() - 1);
  for (uint32_t j = 0; j < keys; ++j) {
    if (j > 0 && mOrder.CompareKeys(d + mKeyOff[j - 1], d + mKeyOff[j]) >= 0)
      Corrupt("keys out of order");
    REC_ID previous = 0;
    for (uint32_t s = mFirstSlot[j]; s < mFirstSlot[j + 1]; ++s) {
      REC_ID r = LoadNative<uint32_t>(d + Size() - 4 * (s + 1));
      if (r <= previous) Corrupt("RecIDs of a key out of order");
      previous = r;
    }
  }
}

void FBL_CountedPage::CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward) {
  uint32_t n = Count();
  if (!forward || from > n || count > n - from) {
    FBL_IndexPage::CopyRecIDs(set, from, count, forward);
    return;
  }
  if (count == 0) return;
  // Slots run downwards from the page's end: forward order is reversed memory.
  set.AppendStored(Page() + Size() - 4 * (from + 1), count, -4);
}

void FBL_CountedPage::MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) {
  uint32_t n = Count();
  if (from > n || count > n - from) Corrupt("entries beyond the page");
  // Slot s lies 4 * (s + 1) bytes before the page's end.
  const uint8_t* end = Page() + Size();
  for (uint32_t s = from; s < from + count; ++s) set.Include(LoadNative<uint32_t>(end - 4 * (s + 1)));
}
