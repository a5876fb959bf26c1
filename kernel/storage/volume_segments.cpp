// Segments of a volume: the map of links, chains, allocation and release,
// moving segments, and the data transfers of embedded files.
#include <algorithm>
#include <vector>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kLinkBytes = 4;
// Links read at once when scanning the map.
constexpr uint32_t kScanLinks = 256;

const uint8_t* Zeros() {
  static const uint8_t zeros[kMaxSegmentSize] = {};
  return zeros;
}

}  // namespace

uint32_t FBL_DataFile::MapCapacity() const {
  return static_cast<uint32_t>(std::min<uint64_t>(
      uint64_t{mHeader.mMapSegments} * (mHeader.mSegmentSize / kLinkBytes), kLastSegment - 1));
}

uint64_t FBL_DataFile::SegmentOffset(uint32_t segment) const {
  return kVolumeHeaderArea + uint64_t{segment - 1} * mHeader.mSegmentSize;
}

// Highest segment number usable now: present in the file and described by
// the map.
uint32_t FBL_DataFile::SegmentLimit() {
  return std::min(GetSegmentCount(), MapCapacity());
}

void FBL_DataFile::CheckDataSegment(uint32_t segment) {
  if (segment <= mHeader.mMapSegments || segment > SegmentLimit())
    Corrupt("segment number out of range");
}

void FBL_DataFile::CheckEntry(const FBL_FileEntry& entry) {
  if (entry.IsFree()) return;
  CheckDataSegment(entry.mFirstSegment);
  uint32_t limit = SegmentLimit();
  if (entry.mSegmentCount == 0 || entry.mSegmentCount > limit - mHeader.mMapSegments)
    Corrupt("bad segment count in the table of files");
  if (entry.mLength > uint64_t{entry.mSegmentCount} * mHeader.mSegmentSize)
    Corrupt("file is longer than its segments");
}

// Walks the whole chain: every link must name a data segment and the chain
// must end. Segments past the count are tolerated (an interrupted run can
// link a segment before it counts it); a cycle never ends and is reported.
void FBL_DataFile::CheckChain(const FBL_FileEntry& entry) {
  uint32_t segment = entry.mFirstSegment;
  for (uint32_t k = 1; k < entry.mSegmentCount; ++k) {
    segment = GetLink(segment);
    if (segment == kLastSegment) Corrupt("chain is shorter than its segment count");
    CheckDataSegment(segment);
  }
  uint32_t limit = SegmentLimit();
  for (uint32_t extra = 0; (segment = GetLink(segment)) != kLastSegment; ++extra) {
    if (extra >= limit) Corrupt("cycle in a segment chain");
    CheckDataSegment(segment);
  }
}

uint32_t FBL_DataFile::GetLink(uint32_t segment) {
  if (segment == 0 || segment > MapCapacity()) Corrupt("link number out of range");
  uint8_t raw[kLinkBytes];
  SetPosition(kVolumeHeaderArea + uint64_t{segment - 1} * kLinkBytes);
  try {
    Read(raw, sizeof raw);
  } catch (const xFBL_Exception& e) {
    if (e.Code != kErrEndOfFile) throw;
    Corrupt("segment map is truncated");
  }
  return zorder::LoadU32(raw, mSwap);
}

void FBL_DataFile::SetLink(uint32_t segment, uint32_t value) {
  if (segment == 0 || segment > MapCapacity()) Corrupt("link number out of range");
  uint8_t raw[kLinkBytes];
  zorder::StoreU32(raw, value, mSwap);
  SetPosition(kVolumeHeaderArea + uint64_t{segment - 1} * kLinkBytes);
  Write(raw, sizeof raw);
}

uint32_t FBL_DataFile::FindLink(uint32_t value, uint32_t from) {
  uint32_t capacity = MapCapacity();
  uint8_t raw[kScanLinks * kLinkBytes];
  for (uint32_t at = std::max<uint32_t>(from, 1); at <= capacity;) {
    uint32_t n = std::min(kScanLinks, capacity - at + 1);
    SetPosition(kVolumeHeaderArea + uint64_t{at - 1} * kLinkBytes);
    Read(raw, uint64_t{n} * kLinkBytes);
    for (uint32_t i = 0; i < n; ++i) {
      if (zorder::LoadU32(raw + i * kLinkBytes, mSwap) == value) return at + i;
    }
    at += n;
  }
  return 0;
}

void FBL_DataFile::ZeroSegment(uint32_t segment) {
  if (segment >= mFreshFrom && segment <= GetSegmentCount()) return;
  WriteAt(Zeros(), SegmentOffset(segment), mHeader.mSegmentSize);
}

uint64_t FBL_DataFile::WriteAt(const void* buffer, uint64_t offset, uint64_t count) {
  const uint32_t s = mHeader.mSegmentSize;
  if (count > 0 && mFreshFrom != kLastSegment && s != 0 && offset + count > SegmentOffset(mFreshFrom)) {
    const uint64_t last = (offset + count - 1 - kVolumeHeaderArea) / s + 1;
    mFreshFrom = static_cast<uint32_t>(std::min<uint64_t>(last + 1, kLastSegment));
  }
  return FBL_FileWin::WriteAt(buffer, offset, count);
}

// Grown bytes read as zeros (the journal or the file system sees to it).
void FBL_DataFile::SetLength(uint64_t length) {
  const uint32_t before = GetSegmentCount();
  FBL_FileWin::SetLength(length);
  if (GetSegmentCount() > before) mFreshFrom = std::min(mFreshFrom, before + 1);
}

// An eighth of the volume, within 8 to 256 segments.
uint32_t FBL_DataFile::GrowthSlack() {
  return std::clamp<uint32_t>(GetSegmentCount() / 8, 8, 256);
}

// The lowest free segment, growing the map when it is full and the file
// when the segment lies past its end.
uint32_t FBL_DataFile::TakeFreeSegment(bool extend) {
  uint32_t s = FindLink(0, std::max(mLowestFree, mHeader.mMapSegments + 1));
  if (s == 0) {
    AddMapSegment();
    s = FindLink(0, (mHeader.mSegmentSize / kLinkBytes) * (mHeader.mMapSegments - 1) + 1);
    if (s == 0) Corrupt("no free segment after growing the map");
  }
  if (extend && s > GetSegmentCount()) {
    const uint32_t end = std::max(s, std::min(s + GrowthSlack(), MapCapacity()));
    SetLength(SegmentOffset(end) + mHeader.mSegmentSize);
  }
  mLowestFree = s + 1;
  return s;
}

void FBL_DataFile::FreeChain(uint32_t first, uint32_t newLink, uint32_t count) {
  CheckDataSegment(first);
  uint32_t next = GetLink(first);
  SetLink(first, newLink);
  uint32_t lowest = newLink == 0 ? first : kLastSegment;
  uint32_t limit = SegmentLimit();
  for (uint32_t steps = 1; steps < count && next != kLastSegment && next != 0; ++steps) {
    if (steps > limit) Corrupt("cycle in a segment chain");
    CheckDataSegment(next);
    uint32_t after = GetLink(next);
    SetLink(next, 0);
    lowest = std::min(lowest, next);
    next = after;
  }
  mLowestFree = std::min(mLowestFree, lowest);
}

void FBL_DataFile::AddSegments(FBL_EmbededFile& file, uint32_t count, bool zeroFill) {
  GrowChain(file, count, zeroFill);
  WriteEntry(static_cast<uint32_t>(file.mIndex), file.mEntry);
  FlushStructuresAfter(file.mEntry);
}

// Appends count free segments to the file's chain; the volume is extended
// once, at the end, to hold the highest of them.
void FBL_DataFile::GrowChain(FBL_EmbededFile& file, uint32_t count, bool zeroFill) {
  FBL_FileEntry& entry = file.mEntry;
  if (count == 0) return;
  GetSegment(file, entry.mSegmentCount);  // the whole chain is known from here
  uint32_t highest = 0;
  for (uint32_t i = 0; i < count; ++i) {
    // Growing the map may move the chain's last segment: the chain in
    // memory follows the move.
    uint32_t s = TakeFreeSegment(false);
    if (zeroFill) ZeroSegment(s);
    SetLink(s, kLastSegment);
    SetLink(file.mChain.back(), s);
    ++entry.mSegmentCount;
    file.mChain.push_back(s);
    highest = std::max(highest, s);
  }
  if (highest > GetSegmentCount())
    SetLength(SegmentOffset(highest) + mHeader.mSegmentSize);
}

void FBL_DataFile::AddMapSegment() {
  uint32_t capacity = MapCapacity();
  uint32_t s = mHeader.mSegmentSize;
  if (uint64_t{capacity} + 1 > kLastSegment / s) Corrupt("volume cannot grow further");
  uint64_t length = kVolumeHeaderArea + (uint64_t{capacity} + 1) * s;
  if (GetLength() < length) SetLength(length);
  uint32_t m = mHeader.mMapSegments;
  // The first data segment moves to the end; its place, zeroed, extends the
  // map, which must already count it to hold the moved segment's link.
  mHeader.mMapSegments = m + 1;
  MoveSegment(m + 1, capacity + 1, true, m + 1);
  WriteHeader();
  FBL_FileWin::Flush();
}

void FBL_DataFile::MoveSegment(uint32_t from, uint32_t to, bool zeroOld, uint32_t newLink) {
  uint32_t s = mHeader.mSegmentSize;
  // Cached table blocks written after the copy would land in the old place.
  mTable->Flush();
  std::vector<uint8_t> data(s);
  if (ReadAt(data.data(), SegmentOffset(from), s) < s) Corrupt("segment is truncated");
  WriteAt(data.data(), SegmentOffset(to), s);
  if (zeroOld) ZeroSegment(from);
  SetLink(to, GetLink(from));
  SetLink(from, newLink);
  // Everything in memory that names `from` first, then the one reference
  // on disk: the header, an entry, or the chain's previous segment.
  for (FBL_EmbededFile* file : mOpenFiles) {
    if (file->mEntry.mFirstSegment == from) file->mEntry.mFirstSegment = to;
    std::replace(file->mChain.begin(), file->mChain.end(), from, to);
  }
  bool fixed = false;
  if (mHeader.mTableSegment == from) {
    mHeader.mTableSegment = to;
    WriteHeader();
  }
  uint32_t n = EntryCount();
  for (uint32_t i = 0; i < n && !fixed; ++i) {
    FBL_FileEntry e = ReadEntry(i);
    if (e.IsFree() || e.mFirstSegment != from) continue;
    e.mFirstSegment = to;
    WriteEntry(i, e);
    fixed = true;
  }
  for (uint32_t p = 1; !fixed && (p = FindLink(from, p)) != 0; ++p) {
    if (p == from) continue;
    SetLink(p, to);
    fixed = true;
  }
  FlushStructures();
}

void FBL_DataFile::TrimTail() {
  uint32_t n = GetSegmentCount();
  if (n == 0) Corrupt("volume has no segments");
  uint32_t keep = std::min(n, MapCapacity());
  while (keep > mHeader.mMapSegments && GetLink(keep) == 0) --keep;
  if (keep < n) SetLength(SegmentOffset(keep + 1));
  mLowestFree = std::min(mLowestFree, keep + 1);
}

void FBL_DataFile::Compact() {
  if (!IsOpen()) throw xFBL_DatabaseIsNotOpened();
  TrimTail();
  uint32_t n = GetSegmentCount();
  for (uint32_t i = FindLink(0, mHeader.mMapSegments + 1); i != 0 && i < n;
       i = FindLink(0, i + 1)) {
    MoveSegment(n, i, false, 0);
    SetLength(SegmentOffset(n));
    TrimTail();
    n = GetSegmentCount();
  }
  mLowestFree = mHeader.mMapSegments + 1;
  FlushStructures();
}

uint32_t FBL_DataFile::GetSegment(FBL_EmbededFile& file, uint32_t k) {
  const FBL_FileEntry& entry = file.mEntry;
  if (k == 0 || k > entry.mSegmentCount) Corrupt("segment index beyond the chain");
  std::vector<uint32_t>& chain = file.mChain;
  if (chain.empty()) {
    CheckDataSegment(entry.mFirstSegment);
    chain.push_back(entry.mFirstSegment);
  }
  while (chain.size() < k) {
    uint32_t segment = GetLink(chain.back());
    if (segment == kLastSegment)
      throw xFBL_Exception(ERR_ASSERTION_FAIL, "Segment chain ends early");
    CheckDataSegment(segment);
    chain.push_back(segment);
  }
  return chain[k - 1];
}

void FBL_DataFile::ResizeFile(FBL_EmbededFile& file, uint64_t length, bool zeroFill) {
  uint32_t s = mHeader.mSegmentSize;
  uint64_t needed = length == 0 ? 1 : (length - 1) / s + 1;
  if (needed > kLastSegment / s) throw xFBL_DataFileError("File is too long for its volume");
  FBL_FileEntry& entry = file.mEntry;
  uint32_t k = static_cast<uint32_t>(needed);
  uint64_t oldLength = entry.mLength;
  if (k > entry.mSegmentCount) {
    GrowChain(file, k - entry.mSegmentCount, false);
  } else if (k < entry.mSegmentCount) {
    uint32_t last = GetSegment(file, k);
    FreeChain(last, kLastSegment, entry.mSegmentCount - k + 1);
    entry.mSegmentCount = k;
    file.mChain.resize(std::min<size_t>(file.mChain.size(), k));
  }
  entry.mLength = length;
  WriteEntry(static_cast<uint32_t>(file.mIndex), entry);
  // Reused segments hold old bytes: grown bytes must read as zeros.
  if (zeroFill && length > oldLength) WriteZeros(file, oldLength, length);
  FlushStructuresAfter(entry);
}

uint64_t FBL_DataFile::Transfer(FBL_EmbededFile& file, void* buffer, uint64_t offset,
                                uint64_t count, bool write) {
  uint32_t s = mHeader.mSegmentSize;
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  uint64_t k = offset / s + 1;
  uint64_t within = offset % s;
  while (done < count) {
    if (k > file.mEntry.mSegmentCount) Corrupt("chain ends before the data");
    uint32_t segment = GetSegment(file, static_cast<uint32_t>(k));
    uint64_t n = std::min<uint64_t>(count - done, s - within);
    // Consecutive segments of the chain move in one transfer.
    uint32_t last = segment;
    while (done + n < count && k + 1 <= file.mEntry.mSegmentCount &&
           GetSegment(file, static_cast<uint32_t>(k + 1)) == last + 1) {
      ++k;
      ++last;
      n += std::min<uint64_t>(count - done - n, s);
    }
    uint64_t at = SegmentOffset(segment) + within;
    if (write) {
      WriteAt(bytes + done, at, n);
    } else if (ReadAt(bytes + done, at, n) < n) {
      Corrupt("volume is truncated");
    }
    done += n;
    within = 0;
    ++k;
  }
  return done;
}

void FBL_DataFile::WriteZeros(FBL_EmbededFile& file, uint64_t from, uint64_t to) {
  while (from < to) {
    uint64_t n = std::min<uint64_t>(to - from, kMaxSegmentSize);
    Transfer(file, const_cast<uint8_t*>(Zeros()), from, n, true);
    from += n;
  }
}

uint64_t FBL_DataFile::ReadFileData(FBL_EmbededFile& file, void* buffer, uint64_t offset,
                                    uint64_t count) {
  if (!file.IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Embedded file is not open");
  uint64_t length = file.mEntry.mLength;
  if (offset >= length) return 0;
  return Transfer(file, buffer, offset, std::min(count, length - offset), false);
}

uint64_t FBL_DataFile::WriteFileData(FBL_EmbededFile& file, const void* buffer, uint64_t offset,
                                     uint64_t count) {
  if (!file.IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Embedded file is not open");
  if (count == 0) return 0;
  if (offset > UINT64_MAX - count) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  uint64_t oldLength = file.mEntry.mLength;
  if (offset + count > oldLength) {
    ResizeFile(file, offset + count, false);
    // The gap before the data is part of the file now: zeros, not old bytes.
    if (offset > oldLength) WriteZeros(file, oldLength, offset);
  }
  return Transfer(file, const_cast<void*>(buffer), offset, count, true);
}
