#include "kernel/tables/record_map.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "kernel/indexes/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume.h"
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

bool StoresBigEndian(const FBL_DataFile& volume) {
  return volume.IsSwapped() != (std::endian::native == std::endian::big);
}

void CutBitFile(FBL_BitSetFile& file, uint32_t headerBytes, uint32_t n) {
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
  mFile->Flush();
  mFile->Close();
}

void FBL_RecordMap::Open() {
  mFile->Open();
  if (!mFile->IsOpen()) throw xFBL_TableError("The record map of the table is missing");
  uint8_t raw[kRecordMapHeaderBytes] = {};
  if (mFile->GetLength() >= kRecordMapHeaderBytes) {
    mFile->SetPosition(0);
    mFile->Read(raw, sizeof raw);
  }
  FBL_RecordMapHeader h = FBL_RecordMapHeader::Decode(raw, StoresBigEndian(mFile->GetVolume()));
  if (h.mRecordCount > h.mMaxRecID) {
    mFile->Close();
    throw xFBL_TableError("Record map header counts more records than its highest RecID");
  }
  mHeader = h;
}

void FBL_RecordMap::Close() {
  if (!mFile->IsOpen()) return;
  mFile->Flush();
  mFile->Close();
}

void FBL_RecordMap::Remove() {
  if (mFile->IsOpen()) mFile->Close();
  if (mFile->Exists()) mFile->Remove();
  mHeader = {};
}

void FBL_RecordMap::Flush() {
  if (mFile->IsOpen()) mFile->Flush();
}

void FBL_RecordMap::WriteHeader(uint32_t recordCount, uint32_t maxRecID) {
  mHeader.mRecordCount = recordCount;
  mHeader.mMaxRecID = maxRecID;
  uint8_t raw[kRecordMapHeaderBytes];
  mHeader.Encode(raw, StoresBigEndian(mFile->GetVolume()));
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
  REC_ID r = mFile->NextSet(after);
  return r <= mHeader.mMaxRecID ? r : 0;
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
  mFile->SetBit(recID, alive);
}

void FBL_RecordMap::Truncate(uint32_t n, uint32_t recordCount) {
  CutBitFile(*mFile, kRecordMapHeaderBytes, n);
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
