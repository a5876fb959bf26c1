#include "kernel/tables/record_map.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/field_types.h"
#include "platform/errors.h"

namespace {

uint64_t BytesFor(uint32_t bits) {
  return (uint64_t{bits} + 7) / 8;
}

}  // namespace

void FBL_RecordMapHeader::Encode(uint8_t out[kRecordMapHeaderBytes], bool bigEndian) const {
  zorder::StoreU32(out, mRecordCount, bigEndian);
  zorder::StoreU32(out + 4, mMaxRecID, bigEndian);
}

FBL_RecordMapHeader FBL_RecordMapHeader::Decode(const uint8_t in[kRecordMapHeaderBytes],
                                                bool bigEndian) {
  FBL_RecordMapHeader h;
  h.mRecordCount = zorder::LoadU32(in, bigEndian);
  h.mMaxRecID = zorder::LoadU32(in + 4, bigEndian);
  return h;
}

bool zv::StoresBigEndian(const FBL_DataFile& volume) {
  return volume.IsSwapped() != (std::endian::native == std::endian::big);
}

void zv::SetFileBit(FBL_BitSetFile& file, uint32_t headerBytes, uint32_t record, bool on) {
  constexpr uint64_t kGrowthStep = 4096;
  uint64_t index = headerBytes + uint64_t{record - 1} / 8;
  if (on && index >= file.GetLength()) {
    file.SetLength((index / kGrowthStep + 1) * kGrowthStep);
  }
  file.SetBit(record, on);
}

void zv::CutBitFile(FBL_BitSetFile& file, uint32_t headerBytes, uint32_t n) {
  uint64_t keep = headerBytes + BytesFor(n);
  if (file.GetLength() > keep) file.SetLength(keep);
  for (uint64_t r = uint64_t{n} + 1; r <= BytesFor(n) * 8; ++r) {
    file.SetBit(static_cast<uint32_t>(r), false);
  }
}

FBL_RecordMap::FBL_RecordMap(FBL_DataFile& volume, uint32_t tableId)
    : mFile(std::make_unique<FBL_BitSetFile>(volume, tableId, kKindRecordMap, 0,
                                             kRecordMapHeaderBytes)) {}

FBL_RecordMap::~FBL_RecordMap() = default;

bool FBL_RecordMap::Exists() {
  return mFile->Exists();
}

bool FBL_RecordMap::IsOpen() const {
  return mFile->IsOpen();
}

void FBL_RecordMap::Create() {
  mFile->Create();
  mFile->Open();
  mHeader = {};
  WriteHeader(0, 0);
  StoreHeader();
  mFile->Flush();
  mFile->Close();
}

void FBL_RecordMap::Open() {
  mBits.clear();
  mFile->Open();
  if (!mFile->IsOpen()) throw xFBL_TableError("The record map of the table is missing");
  uint8_t raw[kRecordMapHeaderBytes] = {};
  if (mFile->GetLength() >= kRecordMapHeaderBytes) {
    mFile->SetPosition(0);
    mFile->Read(raw, sizeof raw);
  }
  FBL_RecordMapHeader h = FBL_RecordMapHeader::Decode(raw, zv::StoresBigEndian(mFile->GetVolume()));
  try {
    mBits = CheckHeader(h);
  } catch (...) {
    mFile->Close();
    throw;
  }
  mHeader = h;
  mHeaderDirty = false;
}

std::vector<uint8_t> FBL_RecordMap::CheckHeader(const FBL_RecordMapHeader& h) {
  if (h.mRecordCount > h.mMaxRecID)
    throw xFBL_TableCorrupted("Record map header counts more records than its highest RecID");
  const uint64_t length = mFile->GetLength();
  const uint64_t bytes = BytesFor(h.mMaxRecID);
  if (h.mMaxRecID > 0 && length < kRecordMapHeaderBytes + bytes)
    throw xFBL_TableCorrupted("Record map: MaxRecID lies past the end of its bit map");
  std::vector<uint8_t> bits(bytes);
  if (bytes > 0) {
    mFile->SetPosition(kRecordMapHeaderBytes);
    mFile->Read(bits.data(), bytes);
    // The bits past MaxRecID in its byte do not count.
    if (h.mMaxRecID % 8 != 0) bits.back() &= static_cast<uint8_t>((1u << (h.mMaxRecID % 8)) - 1);
  }
  uint64_t alive = 0;
  for (uint8_t b : bits) alive += static_cast<uint64_t>(std::popcount(b));
  if (alive != h.mRecordCount)
    throw xFBL_TableCorrupted("Record map: RecordCount disagrees with the alive records");
  return bits;
}

void FBL_RecordMap::FitBits(uint32_t maxRecID) {
  mBits.resize(BytesFor(maxRecID), 0);
  if (maxRecID % 8 != 0) mBits.back() &= static_cast<uint8_t>((1u << (maxRecID % 8)) - 1);
}

void FBL_RecordMap::RequireOpen() const {
  if (!mFile->IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "File is not open");
}

void FBL_RecordMap::Close() {
  mBits.clear();
  if (!mFile->IsOpen()) return;
  StoreHeader();
  mFile->Flush();
  mFile->Close();
}

void FBL_RecordMap::Remove() {
  mBits.clear();
  if (mFile->IsOpen()) mFile->Close();
  if (mFile->Exists()) mFile->Remove();
  mHeader = {};
  mHeaderDirty = false;
}

void FBL_RecordMap::Flush() {
  if (!mFile->IsOpen()) return;
  StoreHeader();
  mFile->Flush();
}

void FBL_RecordMap::WriteHeader(uint32_t recordCount, uint32_t maxRecID) {
  mHeader.mRecordCount = recordCount;
  mHeader.mMaxRecID = maxRecID;
  mHeaderDirty = true;
  if (mFile->IsOpen()) FitBits(maxRecID);
}

void FBL_RecordMap::StoreHeader() {
  if (!mHeaderDirty) return;
  mHeaderDirty = false;
  uint8_t raw[kRecordMapHeaderBytes];
  mHeader.Encode(raw, zv::StoresBigEndian(mFile->GetVolume()));
  mFile->SetPosition(0);
  mFile->Write(raw, sizeof raw);
}

bool FBL_RecordMap::IsAlive(REC_ID recID) {
  RequireOpen();
  if (recID == 0 || recID > mHeader.mMaxRecID) return false;
  const uint64_t byte = uint64_t{recID - 1} / 8;
  return byte < mBits.size() && (mBits[byte] >> ((recID - 1) % 8) & 1) != 0;
}

REC_ID FBL_RecordMap::First() {
  return Next(0);
}

REC_ID FBL_RecordMap::Last() {
  const REC_ID max = mHeader.mMaxRecID;
  return max != 0 && IsAlive(max) ? max : Prev(max);
}

REC_ID FBL_RecordMap::Next(REC_ID after) {
  RequireOpen();
  if (after >= mHeader.mMaxRecID) return 0;
  uint8_t mask = static_cast<uint8_t>(0xFF << (after % 8));
  for (uint64_t i = uint64_t{after} / 8; i < mBits.size(); ++i, mask = 0xFF) {
    const uint8_t bits = mBits[i] & mask;
    if (bits == 0) continue;
    const uint64_t r = i * 8 + static_cast<uint64_t>(std::countr_zero(bits)) + 1;
    return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
  }
  return 0;
}

REC_ID FBL_RecordMap::Prev(REC_ID before) {
  RequireOpen();
  const uint64_t limit = std::min<uint64_t>(before, uint64_t{mHeader.mMaxRecID} + 1);
  if (limit <= 1) return 0;
  // Bits of RecIDs below limit: up to RecID limit - 1, bit (limit - 2).
  uint64_t i = (limit - 2) / 8;
  if (i >= mBits.size()) return 0;
  uint8_t mask = static_cast<uint8_t>(0xFF >> (7 - (limit - 2) % 8));
  for (;; mask = 0xFF) {
    const uint8_t bits = mBits[i] & mask;
    if (bits != 0) return static_cast<REC_ID>(i * 8 + 7 - std::countl_zero(bits) + 1);
    if (i == 0) return 0;
    --i;
  }
}

REC_ID FBL_RecordMap::FirstFree() {
  RequireOpen();
  for (uint64_t i = 0; i < mBits.size(); ++i) {
    if (mBits[i] == 0xFF) continue;
    const uint64_t r = i * 8 + static_cast<uint64_t>(std::countr_one(mBits[i])) + 1;
    return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
  }
  return 0;
}

void FBL_RecordMap::SetAlive(REC_ID recID, bool alive) {
  zv::SetFileBit(*mFile, kRecordMapHeaderBytes, recID, alive);
  const uint64_t byte = uint64_t{recID - 1} / 8;
  // A bit may be set before its RecID counts (the header follows).
  if (alive && byte >= mBits.size()) mBits.resize(byte + 1, 0);
  if (byte < mBits.size()) {
    const uint8_t mask = static_cast<uint8_t>(1u << ((recID - 1) % 8));
    mBits[byte] = alive ? (mBits[byte] | mask) : (mBits[byte] & ~mask);
  }
}

void FBL_RecordMap::Truncate(uint32_t n, uint32_t recordCount) {
  zv::CutBitFile(*mFile, kRecordMapHeaderBytes, n);
  WriteHeader(recordCount, n);
}

std::unique_ptr<FBL_BitSet> FBL_RecordMap::SelectAll() {
  RequireOpen();
  auto set = std::make_unique<FBL_BitSet>(mHeader.mMaxRecID);
  if (!mBits.empty()) set->LoadBytes(mBits);
  return set;
}
