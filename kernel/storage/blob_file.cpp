#include "kernel/storage/blob_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

using zblob::FBL_BLOBBlockHeader;
using zblob::FBL_BLOBFileHeader;
using zblob::kBlockHeaderBytes;

namespace {

// Runs of consecutive blocks move in transfers of about this size.
constexpr uint32_t kRunBytes = 256 * 1024;

}  // namespace

FBL_BLOBFile::FBL_BLOBFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
                           uint32_t blockSize)
    : FBL_EmbededFile(volume, ownerId, kind, subIndex), mBlockSize(blockSize) {}

FBL_BLOBFile::~FBL_BLOBFile() = default;

void FBL_BLOBFile::Bad(const char* what, uint64_t number) const {
  std::string message = std::string("BLOB file: ") + what + " " + std::to_string(number);
  throw xFBL_Exception(zblob::kErrBadBlob, message.c_str());
}

void FBL_BLOBFile::RequireOpen() const {
  if (!IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "BLOB file is not open");
}

void FBL_BLOBFile::SetBlockSize(uint32_t blockSize) {
  if (IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "BLOB file is open");
  mBlockSize = blockSize;
}

// ---- file ----------------------------------------------------------------

void FBL_BLOBFile::Create() {
  if (Exists()) return;
  if (!zblob::ValidBlockSize(mBlockSize))
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "BLOB block size out of range");
  FBL_EmbededFile::Create();
  Open();  // a file of length 0 receives its header
  Close();
}

void FBL_BLOBFile::Open() {
  if (IsOpen()) {
    FBL_EmbededFile::Open();
    return;
  }
  FBL_EmbededFile::Open();
  if (!IsOpen()) return;
  try {
    LoadHeader();
  } catch (...) {
    Close();
    throw;
  }
}

void FBL_BLOBFile::Close() {
  // Nothing of a closed BLOB file stays dirty: a later write-back would
  // have to open it again from inside the cache.
  if (mOpenCount == 1) Flush();
  FBL_EmbededFile::Close();
}

void FBL_BLOBFile::LoadHeader() {
  mBigEndian = GetVolume().GetHeader().IsBigEndian();
  uint64_t length = GetLength();
  if (length == 0) {  // placed, never written
    if (!zblob::ValidBlockSize(mBlockSize))
      throw xFBL_Exception(ERR_WRONG_PARAMETER, "BLOB block size out of range");
    mHeader = FBL_BLOBFileHeader{mBlockSize, 0};
    mBlockCount = 0;
    if (GetVolume().IsReadOnly()) return;
    WriteFileHeader();
    SetLength(zblob::kHeaderArea);
    Flush();
    return;
  }
  if (length < zblob::kHeaderArea) Bad("file is shorter than its header, length", length);
  uint8_t raw[zblob::kFileHeaderBytes];
  ReadBytes(0, raw, sizeof raw);
  FBL_BLOBFileHeader header = FBL_BLOBFileHeader::Decode(raw, mBigEndian);
  if (!zblob::ValidBlockSize(header.mBlockSize)) Bad("bad block size", header.mBlockSize);
  mHeader = header;
  mBlockSize = header.mBlockSize;
  mBlockCount = zblob::BlocksInLength(mBlockSize, length);
}

bool FBL_BLOBFile::IsEmpty() {
  return GetLength() <= zblob::kHeaderArea;
}

void FBL_BLOBFile::Reset() {
  FBL_EmbededFile::Reset();
  mHeader = FBL_BLOBFileHeader{};
  mBlockCount = 0;
}

void FBL_BLOBFile::WriteFileHeader() {
  uint8_t raw[zblob::kFileHeaderBytes];
  mHeader.Encode(raw, mBigEndian);
  WriteBytes(0, raw, sizeof raw);
}

void FBL_BLOBFile::ReadBytes(uint64_t offset, void* buffer, uint64_t count) {
  if (RequireCache().Read(*this, offset, buffer, count) < count)
    Bad("file ends inside its blocks, at offset", offset);
}

void FBL_BLOBFile::WriteBytes(uint64_t offset, const void* buffer, uint64_t count) {
  SetPosition(offset);
  Write(buffer, count);
}

uint8_t* FBL_BLOBFile::Scratch(uint64_t bytes) {
  if (mScratch.size() < bytes) mScratch.resize(bytes);
  return mScratch.data();
}

uint32_t FBL_BLOBFile::RunBlocks() const {
  return std::max<uint32_t>(1, kRunBytes / mBlockSize);
}

// ---- blocks and chains ------------------------------------------------------

void FBL_BLOBFile::CheckBlockNumber(uint32_t block, const char* what) const {
  if (block == 0 || block > mBlockCount) Bad(what, block);
}

FBL_BLOBBlockHeader FBL_BLOBFile::ReadBlockHeader(uint32_t block) {
  CheckBlockNumber(block, "block number out of range:");
  uint8_t raw[kBlockHeaderBytes];
  ReadBytes(zblob::BlockOffset(mBlockSize, block), raw, sizeof raw);
  return FBL_BLOBBlockHeader::Decode(raw, mBigEndian);
}

void FBL_BLOBFile::WriteBlockHeader(uint32_t block, const FBL_BLOBBlockHeader& header) {
  uint8_t raw[kBlockHeaderBytes];
  header.Encode(raw, mBigEndian);
  WriteBytes(zblob::BlockOffset(mBlockSize, block), raw, sizeof raw);
}

FBL_BLOBFile::ChainPos FBL_BLOBFile::ReadFirst(uint32_t first) {
  CheckBlockNumber(first, "first block of a value out of range:");
  ChainPos pos{first, ReadBlockHeader(first)};
  if (pos.mHeader.mIndex != 1) Bad("not the first block of a value (mIndex), block", first);
  if (pos.mHeader.mFirstBlock != first) Bad("wrong mFirstBlock in block", first);
  if (pos.mHeader.mBytesInBlock > GetDataBytesPerBlock())
    Bad("wrong mBytesInBlock in block", first);
  // A size whose chain cannot fit in the file never sizes a buffer.
  if (BlocksOf(pos.mHeader.mTotalSize) > mBlockCount)
    Bad("total size larger than the file holds, block", first);
  return pos;
}

void FBL_BLOBFile::CheckLink(const ChainPos& prev, uint32_t first, const ChainPos& next) const {
  if (prev.mHeader.mBytesInBlock != GetDataBytesPerBlock())
    Bad("a block inside a chain is not full, block", prev.mBlock);
  if (next.mHeader.mIndex != prev.mHeader.mIndex + 1) Bad("wrong mIndex in block", next.mBlock);
  if (next.mHeader.mFirstBlock != first) Bad("wrong mFirstBlock in block", next.mBlock);
  if (next.mHeader.mBytesInBlock > GetDataBytesPerBlock())
    Bad("wrong mBytesInBlock in block", next.mBlock);
}

FBL_BLOBFile::ChainPos FBL_BLOBFile::Next(const ChainPos& pos, uint32_t first) {
  uint32_t next = pos.mHeader.mNextBlock;
  if (next == 0) Bad("the chain ends early, after block", pos.mBlock);
  if (next > mBlockCount) Bad("mNextBlock past the end of the file in block", pos.mBlock);
  ChainPos n{next, ReadBlockHeader(next)};
  CheckLink(pos, first, n);
  return n;
}

FBL_BLOBFile::ChainPos FBL_BLOBFile::Seek(const ChainPos& start, uint32_t first, uint32_t index) {
  // Each step raises mIndex by exactly one, so the walk ends.
  ChainPos pos = start;
  while (pos.mHeader.mIndex < index) pos = Next(pos, first);
  return pos;
}

// ---- values -------------------------------------------------------------------

uint32_t FBL_BLOBFile::GetValueSize(uint32_t first) {
  RequireOpen();
  return first == 0 ? 0 : ReadFirst(first).mHeader.mTotalSize;
}

uint32_t FBL_BLOBFile::GetValueTag(uint32_t first) {
  RequireOpen();
  return first == 0 ? 0 : ReadFirst(first).mHeader.mTag;
}

void FBL_BLOBFile::SetValueTag(uint32_t first, uint32_t value) {
  RequireOpen();
  ChainPos head = ReadFirst(first);
  head.mHeader.mTag = value;
  WriteBlockHeader(first, head.mHeader);
}

void FBL_BLOBFile::ReadValue(void* buffer, uint32_t count, uint32_t first, uint32_t offset) {
  RequireOpen();
  if (count == 0 || first == 0) return;
  if (buffer == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "No buffer for a BLOB value");
  ChainPos head = ReadFirst(first);
  uint32_t total = head.mHeader.mTotalSize;
  if (offset > total) Bad("read past the end of a value, at offset", offset);
  if (offset == total) return;
  if (uint64_t{offset} + count > total)
    Bad("read past the end of a value, up to byte", uint64_t{offset} + count);
  uint32_t cap = GetDataBytesPerBlock();
  uint32_t index = offset / cap + 1;
  ChainPos pos = Seek(head, first, index);
  CopyOut(static_cast<uint8_t*>(buffer), count, first, pos, offset - (index - 1) * cap);
}

void FBL_BLOBFile::CopyOut(uint8_t* out, uint32_t count, uint32_t first, ChainPos pos,
                           uint32_t within) {
  // Blocks of a chain usually follow each other on disk: read runs of them
  // in one transfer, checking each header, and fall back to single blocks
  // (doubling again) when the chain jumps.
  const uint32_t cap = GetDataBytesPerBlock();
  const uint32_t runLimit = RunBlocks();
  uint32_t run = runLimit;
  uint32_t done = 0;
  for (;;) {
    uint64_t need = (uint64_t{within} + (count - done) + cap - 1) / cap;
    auto k = static_cast<uint32_t>(
        std::min<uint64_t>({need, run, uint64_t{mBlockCount} - pos.mBlock + 1}));
    uint8_t* data = Scratch(uint64_t{k} * mBlockSize);
    ReadBytes(zblob::BlockOffset(mBlockSize, pos.mBlock), data, uint64_t{k} * mBlockSize);
    uint32_t used = 0;
    for (;;) {
      const uint8_t* block = data + uint64_t{used} * mBlockSize;
      if (within > pos.mHeader.mBytesInBlock) Bad("value data ends early in block", pos.mBlock);
      uint32_t n = std::min(count - done, pos.mHeader.mBytesInBlock - within);
      std::memcpy(out + done, block + kBlockHeaderBytes + within, n);
      done += n;
      within = 0;
      ++used;
      if (done == count) return;
      if (used == k || pos.mHeader.mNextBlock != pos.mBlock + 1) break;
      ChainPos next{pos.mBlock + 1, FBL_BLOBBlockHeader::Decode(block + mBlockSize, mBigEndian)};
      CheckLink(pos, first, next);
      pos = next;
    }
    run = used < k ? used : std::min(runLimit, run * 2);
    pos = Next(pos, first);
  }
}

uint32_t FBL_BLOBFile::WriteValue(const void* buffer, uint32_t count, uint32_t first,
                                  uint32_t offset) {
  RequireOpen();
  if (uint64_t{offset} + count > UINT32_MAX)
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "A BLOB value is at most 4 GB");
  const auto* in = static_cast<const uint8_t*>(buffer);
  if (count > 0 && in == nullptr)
    throw xFBL_Exception(ERR_ASSERTION_NULL, "No buffer for a BLOB value");
  if (first == 0) {
    if (offset != 0) Bad("write past the end of a value, at offset", offset);
    return NewValue(in, count);
  }
  ChainPos head = ReadFirst(first);
  if (offset > head.mHeader.mTotalSize) Bad("write past the end of a value, at offset", offset);
  if (count == 0) return first;
  if (offset + count > head.mHeader.mTotalSize) {
    head.mHeader.mTotalSize = offset + count;
    WriteBlockHeader(first, head.mHeader);
  }
  // The block where writing starts; at the end of a full block that block,
  // so that a value ending there grows into a new one.
  uint32_t cap = GetDataBytesPerBlock();
  uint32_t index = offset == 0 ? 1 : (offset - 1) / cap + 1;
  ChainPos pos = Seek(head, first, index);
  Fill(in, count, first, pos, offset - (index - 1) * cap);
  return first;
}

uint32_t FBL_BLOBFile::NewValue(const uint8_t* in, uint32_t count) {
  if (mHeader.mFirstDeleted == 0) return AppendBlocks(nullptr, 0, in, count);
  ChainPos pos = TakeBlock(nullptr, 0);
  pos.mHeader.mTotalSize = count;
  WriteBlockHeader(pos.mBlock, pos.mHeader);
  if (count > 0) Fill(in, count, pos.mBlock, pos, 0);
  return pos.mBlock;
}

void FBL_BLOBFile::Fill(const uint8_t* in, uint32_t count, uint32_t first, ChainPos pos,
                        uint32_t within) {
  const uint32_t cap = GetDataBytesPerBlock();
  uint32_t done = 0;
  for (;;) {
    if (within > pos.mHeader.mBytesInBlock) Bad("value data ends early in block", pos.mBlock);
    uint32_t n = std::min(count - done, cap - within);
    if (n > 0) {
      WriteBytes(zblob::BlockOffset(mBlockSize, pos.mBlock) + kBlockHeaderBytes + within, in + done,
                 n);
      if (within + n > pos.mHeader.mBytesInBlock) {
        pos.mHeader.mBytesInBlock = within + n;
        WriteBlockHeader(pos.mBlock, pos.mHeader);
      }
      done += n;
    }
    within = 0;
    if (done == count) return;
    if (pos.mHeader.mNextBlock != 0) {
      pos = Next(pos, first);
    } else if (mHeader.mFirstDeleted == 0) {
      AppendBlocks(&pos, first, in + done, count - done);
      return;
    } else {
      pos = TakeBlock(&pos, first);
    }
  }
}

FBL_BLOBFile::ChainPos FBL_BLOBFile::TakeBlock(ChainPos* prev, uint32_t first) {
  uint32_t block = PopDeleted();
  const bool grow = block == 0;
  if (grow) {
    if (mBlockCount == UINT32_MAX) throw xFBL_Exception(ERR_WRONG_PARAMETER, "BLOB file is full");
    block = mBlockCount + 1;
  }
  ChainPos pos{block, FBL_BLOBBlockHeader{}};
  pos.mHeader.mFirstBlock = prev != nullptr ? first : block;
  pos.mHeader.mIndex = prev != nullptr ? prev->mHeader.mIndex + 1 : 1;
  if (grow) {  // the whole block, so the file holds it
    uint8_t* raw = Scratch(mBlockSize);
    std::memset(raw, 0, mBlockSize);
    pos.mHeader.Encode(raw, mBigEndian);
    WriteBytes(zblob::BlockOffset(mBlockSize, block), raw, mBlockSize);
    ++mBlockCount;
  } else {
    WriteBlockHeader(block, pos.mHeader);
  }
  if (prev != nullptr) {
    prev->mHeader.mNextBlock = block;
    WriteBlockHeader(prev->mBlock, prev->mHeader);
  }
  return pos;
}

uint32_t FBL_BLOBFile::PopDeleted() {
  uint32_t d = mHeader.mFirstDeleted;
  if (d == 0) return 0;
  bool sound = d <= mBlockCount;
  FBL_BLOBBlockHeader h;
  if (sound) {
    h = ReadBlockHeader(d);
    sound = h.IsDeleted() && h.mNextBlock != d && h.mNextBlock <= mBlockCount;
  }
  // A block of the chain that is in use marks a damaged chain: what
  // follows is abandoned rather than handed out twice.
  uint32_t next = sound ? h.mNextBlock : 0;
  FBL_BLOBBlockHeader nextHeader;
  if (next != 0) {
    nextHeader = ReadBlockHeader(next);
    if (!nextHeader.IsDeleted()) next = 0;
  }
  mHeader.mFirstDeleted = next;
  WriteFileHeader();
  if (next != 0 && nextHeader.PrevBlock() != 0) {  // the new head has no predecessor
    nextHeader.SetPrevBlock(0);
    WriteBlockHeader(next, nextHeader);
  }
  return sound ? d : 0;
}

uint32_t FBL_BLOBFile::AppendBlocks(ChainPos* prev, uint32_t first, const uint8_t* in,
                                    uint32_t count) {
  const uint32_t cap = GetDataBytesPerBlock();
  const uint32_t total = BlocksOf(count);
  if (uint64_t{mBlockCount} + total > UINT32_MAX)
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "BLOB file is full");
  const uint32_t base = mBlockCount + 1;
  const uint32_t valueFirst = prev != nullptr ? first : base;
  const uint32_t index = prev != nullptr ? prev->mHeader.mIndex + 1 : 1;
  const uint32_t runLimit = RunBlocks();
  uint32_t done = 0;
  for (uint32_t made = 0; made < total;) {
    uint32_t k = std::min(runLimit, total - made);
    uint8_t* raw = Scratch(uint64_t{k} * mBlockSize);
    std::memset(raw, 0, uint64_t{k} * mBlockSize);
    for (uint32_t i = 0; i < k; ++i) {
      uint32_t j = made + i;  // place in the new run of blocks
      uint32_t n = std::min(cap, count - done);
      FBL_BLOBBlockHeader h;
      h.mNextBlock = j + 1 < total ? base + j + 1 : 0;
      h.mFirstBlock = valueFirst;
      h.mIndex = index + j;
      h.mBytesInBlock = n;
      h.mTotalSize = (prev == nullptr && j == 0) ? count : 0;
      uint8_t* block = raw + uint64_t{i} * mBlockSize;
      h.Encode(block, mBigEndian);
      if (n > 0) std::memcpy(block + kBlockHeaderBytes, in + done, n);
      done += n;
    }
    WriteBytes(zblob::BlockOffset(mBlockSize, base + made), raw, uint64_t{k} * mBlockSize);
    made += k;
    mBlockCount += k;
  }
  // Linked last: an interrupted append leaves unreachable blocks, not a
  // broken chain.
  if (prev != nullptr) {
    prev->mHeader.mNextBlock = base;
    WriteBlockHeader(prev->mBlock, prev->mHeader);
  }
  return base;
}

void FBL_BLOBFile::DeleteValue(uint32_t first) {
  RequireOpen();
  if (first == 0) return;
  ChainPos pos = ReadFirst(first);
  const uint32_t n = BlocksOf(pos.mHeader.mTotalSize);
  std::vector<uint32_t> chain{first};
  while (chain.size() < n && pos.mHeader.mNextBlock != 0) {
    try {
      pos = Next(pos, first);
    } catch (const xFBL_Exception& e) {
      if (e.Code != zblob::kErrBadBlob) throw;
      break;  // what follows may belong to another value
    }
    chain.push_back(pos.mBlock);
  }
  uint32_t oldHead = mHeader.mFirstDeleted;
  FBL_BLOBBlockHeader oldHeadHeader;
  if (oldHead != 0) {
    if (oldHead <= mBlockCount) oldHeadHeader = ReadBlockHeader(oldHead);
    if (oldHead > mBlockCount || !oldHeadHeader.IsDeleted()) oldHead = 0;  // damaged: dropped
  }
  for (size_t i = 0; i < chain.size(); ++i) {
    FBL_BLOBBlockHeader h;
    h.mNextBlock = i + 1 < chain.size() ? chain[i + 1] : oldHead;
    h.SetPrevBlock(i > 0 ? chain[i - 1] : 0);
    WriteBlockHeader(chain[i], h);
  }
  if (oldHead != 0) {
    oldHeadHeader.SetPrevBlock(chain.back());
    WriteBlockHeader(oldHead, oldHeadHeader);
  }
  mHeader.mFirstDeleted = first;
  WriteFileHeader();
  TrimTail();
}

void FBL_BLOBFile::TrimTail() {
  RequireOpen();
  uint32_t count = mBlockCount;
  while (count > 0 && UnlinkDeleted(count)) --count;
  if (count == mBlockCount) return;
  WriteFileHeader();
  mBlockCount = count;
  SetLength(zblob::BlockOffset(mBlockSize, count + 1));
}

bool FBL_BLOBFile::UnlinkDeleted(uint32_t block) {
  // Only a block whose neighbours confirm its place in the chain leaves;
  // links that point at or past it are damage, so trimming stops there.
  FBL_BLOBBlockHeader h = ReadBlockHeader(block);
  if (!h.IsDeleted()) return false;
  const uint32_t prev = h.PrevBlock();
  const uint32_t next = h.mNextBlock;
  if (next >= block) return false;
  FBL_BLOBBlockHeader nextHeader;
  if (next != 0) {
    nextHeader = ReadBlockHeader(next);
    if (!nextHeader.IsDeleted()) return false;
  }
  if (mHeader.mFirstDeleted == block) {
    mHeader.mFirstDeleted = next;
  } else {
    if (prev == 0 || prev >= block) return false;
    FBL_BLOBBlockHeader prevHeader = ReadBlockHeader(prev);
    if (!prevHeader.IsDeleted() || prevHeader.mNextBlock != block) return false;
    prevHeader.mNextBlock = next;
    WriteBlockHeader(prev, prevHeader);
  }
  if (next != 0) {
    nextHeader.SetPrevBlock(mHeader.mFirstDeleted == next ? 0 : prev);
    WriteBlockHeader(next, nextHeader);
  }
  return true;
}
