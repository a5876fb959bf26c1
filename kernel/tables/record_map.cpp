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

constexpr uint64_t kScanChunk = 4096;

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
  mScan.clear();
  mFile->Open();
  if (!mFile->IsOpen()) throw xFBL_TableError("The record map of the table is missing");
  uint8_t raw[kRecordMapHeaderBytes] = {};
  if (mFile->GetLength() >= kRecordMapHeaderBytes) {
    mFile->SetPosition(0);
    mFile->Read(raw, sizeof raw);
  }
  FBL_RecordMapHeader h = FBL_RecordMapHeader::Decode(raw, zv::StoresBigEndian(mFile->GetVolume()));
  if (h.mRecordCount > h.mMaxRecID) {
    mFile->Close();
    throw xFBL_TableError("Record map header counts more records than its highest RecID");
  }
  mHeader = h;
  mHeaderDirty = false;
}

void FBL_RecordMap::Close() {
  mScan.clear();
  if (!mFile->IsOpen()) return;
  StoreHeader();
  mFile->Flush();
  mFile->Close();
}

void FBL_RecordMap::Remove() {
  mScan.clear();
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
  return recID != 0 && recID <= mHeader.mMaxRecID && mFile->GetBit(recID);
}

REC_ID FBL_RecordMap::First() {
  return Next(0);
}

REC_ID FBL_RecordMap::Last() {
  return mHeader.mMaxRecID == 0 ? 0 : mFile->PrevSet(mHeader.mMaxRecID + 1);
}

REC_ID FBL_RecordMap::Next(REC_ID after) {
  if (after >= mHeader.mMaxRecID) return 0;
  uint64_t byte = uint64_t{after} / 8;  // the byte of RecID after + 1
  uint8_t mask = static_cast<uint8_t>(0xFF << (after % 8));
  // Most steps of a walk end in the byte already read ahead.
  if (byte >= mScanStart && byte - mScanStart < mScan.size()) {
    uint8_t bits = mScan[byte - mScanStart] & mask;
    if (bits != 0) {
      uint64_t r = byte * 8 + static_cast<uint64_t>(std::countr_zero(bits)) + 1;
      return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
    }
  }
  uint64_t stored = StoredMapBytes();
  while (byte < stored) {
    if (byte < mScanStart || byte - mScanStart >= mScan.size()) LoadScan(byte, stored);
    for (uint64_t i = byte - mScanStart; i < mScan.size(); ++i, mask = 0xFF) {
      uint8_t bits = mScan[i] & mask;
      if (bits == 0) continue;
      uint64_t r = (mScanStart + i) * 8 + static_cast<uint64_t>(std::countr_zero(bits)) + 1;
      return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
    }
    byte = mScanStart + mScan.size();
  }
  return 0;
}

void FBL_RecordMap::LoadScan(uint64_t first, uint64_t stored) {
  mScanStart = first;
  mScan.resize(std::min(stored - first, kScanChunk));
  mFile->SetPosition(kRecordMapHeaderBytes + first);
  mFile->Read(mScan.data(), mScan.size());
}

REC_ID FBL_RecordMap::Prev(REC_ID before) {
  return mFile->PrevSet(std::min<uint64_t>(before, uint64_t{mHeader.mMaxRecID} + 1));
}

uint64_t FBL_RecordMap::StoredMapBytes() {
  uint64_t length = mFile->GetLength();
  uint64_t stored = length > kRecordMapHeaderBytes ? length - kRecordMapHeaderBytes : 0;
  return std::min(stored, BytesFor(mHeader.mMaxRecID));
}

REC_ID FBL_RecordMap::FirstFree() {
  uint64_t stored = StoredMapBytes();
  uint8_t chunk[kScanChunk];
  for (uint64_t at = 0; at < stored; at += kScanChunk) {
    uint64_t n = std::min(stored - at, kScanChunk);
    mFile->SetPosition(kRecordMapHeaderBytes + at);
    mFile->Read(chunk, n);
    for (uint64_t i = 0; i < n; ++i) {
      if (chunk[i] == 0xFF) continue;
      uint64_t r = (at + i) * 8 + static_cast<uint64_t>(std::countr_one(chunk[i])) + 1;
      return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
    }
  }
  // Bytes past the end of the file are free.
  uint64_t r = stored * 8 + 1;
  return r <= mHeader.mMaxRecID ? static_cast<REC_ID>(r) : 0;
}

void FBL_RecordMap::SetAlive(REC_ID recID, bool alive) {
  zv::SetFileBit(*mFile, kRecordMapHeaderBytes, recID, alive);
  uint64_t byte = uint64_t{recID - 1} / 8;
  if (byte >= mScanStart && byte - mScanStart < mScan.size()) {
    uint8_t mask = static_cast<uint8_t>(1u << ((recID - 1) % 8));
    uint8_t& cached = mScan[byte - mScanStart];
    cached = alive ? (cached | mask) : (cached & ~mask);
  }
}

void FBL_RecordMap::Truncate(uint32_t n, uint32_t recordCount) {
  mScan.clear();
  zv::CutBitFile(*mFile, kRecordMapHeaderBytes, n);
  WriteHeader(recordCount, n);
}

std::unique_ptr<FBL_BitSet> FBL_RecordMap::SelectAll() {
  auto set = std::make_unique<FBL_BitSet>(mHeader.mMaxRecID);
  std::vector<uint8_t> bytes(StoredMapBytes());
  if (!bytes.empty()) {
    mFile->SetPosition(kRecordMapHeaderBytes);
    mFile->Read(bytes.data(), bytes.size());
    set->LoadBytes(bytes);
  }
  return set;
}
