#include "kernel/storage/small_files.h"

#include <algorithm>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kScanChunk = 4096;

void RequireOpen(const FBL_File& file) {
  if (!file.IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "File is not open");
}

}  // namespace

// ---- arrays of u32 ------------------------------------------------------------

uint32_t FBL_ULongFile::Get(uint32_t index) {
  RequireOpen(*this);
  if (index == 0 || index > GetCount()) return 0;
  uint8_t raw[4];
  SetPosition(uint64_t{index - 1} * 4);
  Read(raw, sizeof raw);
  return zorder::LoadU32(raw, GetVolume().IsSwapped());
}

void FBL_ULongFile::Set(uint32_t index, uint32_t value) {
  RequireOpen(*this);
  if (index == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  if (index - 1 > GetCount()) SetLength(uint64_t{index - 1} * 4);
  uint8_t raw[4];
  zorder::StoreU32(raw, value, GetVolume().IsSwapped());
  SetPosition(uint64_t{index - 1} * 4);
  Write(raw, sizeof raw);
}

void FBL_ULongFile::TruncateTo(uint32_t n) {
  if (GetLength() > uint64_t{n} * 4) SetLength(uint64_t{n} * 4);
}

FBL_SM::FBL_SM(FBL_DataFile& volume, uint32_t ownerId, uint16_t subIndex)
    : FBL_ULongFile(volume, ownerId, kKindSM, subIndex) {
  SetCacheBudget(51200);
}

void FBL_SM::Create(uint32_t count) {
  Rehome();
  FBL_EmbededFile::Create();
  Open();
  SetLength(uint64_t{count} * 4);
  mCount = count;
}

void FBL_SM::Open() {
  FBL_ULongFile::Open();
  mCount = static_cast<uint32_t>(std::min<uint64_t>(GetLength() >> 2, UINT32_MAX));
}

// ---- bit sets ---------------------------------------------------------------------

FBL_BitSetFile::FBL_BitSetFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind,
                               uint16_t subIndex, uint32_t headerBytes)
    : FBL_EmbededFile(volume, ownerId, kind, subIndex), mHeaderBytes(headerBytes) {}

void FBL_BitSetFile::Reset() {
  FBL_EmbededFile::Reset();
  mCachedIndex = UINT64_MAX;
}

void FBL_BitSetFile::SetLength(uint64_t length) {
  FBL_EmbededFile::SetLength(length);
  if (mCachedIndex != UINT64_MAX && mCachedIndex >= length) mCachedIndex = UINT64_MAX;
}

uint8_t FBL_BitSetFile::ByteAt(uint64_t index) {
  if (index >= GetLength()) return 0;
  if (index == mCachedIndex) return mCachedByte;
  SetPosition(index);
  Read(&mCachedByte, 1);
  mCachedIndex = index;
  return mCachedByte;
}

void FBL_BitSetFile::SetBit(uint32_t record, bool on) {
  RequireOpen(*this);
  if (record == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  uint64_t index = mHeaderBytes + uint64_t{record - 1} / 8;
  if (index >= GetLength()) {
    if (!on) return;
    SetLength(index + 1);  // grown bytes are zeros
  }
  uint8_t mask = static_cast<uint8_t>(1u << ((record - 1) % 8));
  uint8_t byte = ByteAt(index);
  byte = on ? (byte | mask) : (byte & ~mask);
  SetPosition(index);
  Write(&byte, 1);
  mCachedIndex = index;
  mCachedByte = byte;
}

bool FBL_BitSetFile::GetBit(uint32_t record) {
  RequireOpen(*this);
  if (record == 0) return false;
  uint64_t index = mHeaderBytes + uint64_t{record - 1} / 8;
  return (ByteAt(index) >> ((record - 1) % 8) & 1) != 0;
}

uint64_t FBL_BitSetFile::Scan(uint64_t from, uint64_t to, bool up) {
  uint8_t chunk[kScanChunk];
  while (from < to) {
    uint64_t n = std::min<uint64_t>(to - from, kScanChunk);
    uint64_t start = up ? from : to - n;
    SetPosition(start);
    Read(chunk, n);
    for (uint64_t i = 0; i < n; ++i) {
      uint64_t at = up ? i : n - 1 - i;
      if (chunk[at] != 0) return start + at;
    }
    if (up) {
      from += n;
    } else {
      to -= n;
    }
  }
  return UINT64_MAX;
}

namespace {

// Record number of bit `bit` of byte `index` past a header of h bytes.
uint32_t RecordOf(uint64_t index, uint32_t h, int bit) {
  return static_cast<uint32_t>((index - h) * 8 + static_cast<uint64_t>(bit) + 1);
}

}  // namespace

uint32_t FBL_BitSetFile::NextSet(uint32_t after) {
  RequireOpen(*this);
  uint64_t length = std::min<uint64_t>(GetLength(), mHeaderBytes + uint64_t{UINT32_MAX} / 8);
  uint64_t index = mHeaderBytes + uint64_t{after} / 8;  // byte of record after + 1
  if (index >= length) return 0;
  uint8_t byte = ByteAt(index) & static_cast<uint8_t>(0xFF << (after % 8));
  if (byte == 0) {
    index = Scan(index + 1, length, true);
    if (index == UINT64_MAX) return 0;
    byte = ByteAt(index);
  }
  for (int bit = 0; bit < 8; ++bit) {
    if (byte >> bit & 1) return RecordOf(index, mHeaderBytes, bit);
  }
  return 0;
}

uint32_t FBL_BitSetFile::PrevSet(uint32_t before) {
  RequireOpen(*this);
  if (before <= 1) return 0;
  uint64_t length = GetLength();
  uint64_t index = mHeaderBytes + uint64_t{before - 2} / 8;  // byte of record before - 1
  uint8_t byte = 0;
  if (index < length) {
    int keep = static_cast<int>((before - 2) % 8) + 1;  // bits at or below before - 1
    byte = ByteAt(index) & static_cast<uint8_t>(0xFF >> (8 - keep));
  } else {
    index = length;
  }
  if (byte == 0) {
    if (index <= mHeaderBytes) return 0;
    index = Scan(mHeaderBytes, index, false);
    if (index == UINT64_MAX) return 0;
    byte = ByteAt(index);
  }
  for (int bit = 7; bit >= 0; --bit) {
    if (byte >> bit & 1) return RecordOf(index, mHeaderBytes, bit);
  }
  return 0;
}

uint32_t FBL_BitSetFile::FirstSet() {
  return NextSet(0);
}

uint32_t FBL_BitSetFile::LastSet() {
  return PrevSet(UINT32_MAX);
}
