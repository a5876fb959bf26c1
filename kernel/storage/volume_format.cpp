#include "kernel/storage/volume_format.h"

#include <algorithm>
#include <array>

#include "kernel/storage/byte_order.h"

using zorder::LoadU16;
using zorder::LoadU32;
using zorder::LoadU64;
using zorder::StoreU16;
using zorder::StoreU32;
using zorder::StoreU64;

namespace {

// The ten u32 words of the header from offset 4, in order.
template <typename Header>
auto HeaderWords(Header& h) {
  return std::array{&h.mVersion,      &h.mSegmentSize,       &h.mMapSegments, &h.mLiveFiles,
                    &h.mTableSegment, &h.mStorageMode,       &h.mKeyCheck1,   &h.mKeyCheck2,
                    &h.mOpenFlag,     &h.mStructureEncrypted};
}

}  // namespace

void FBL_VolumeHeader::Encode(uint8_t out[kVolumeHeaderBytes]) const {
  bool big = IsBigEndian();
  out[0] = mReserved;
  out[1] = mByteOrder;
  StoreU16(out + 2, mTableFormat, big);
  auto words = HeaderWords(*this);
  for (size_t i = 0; i < words.size(); ++i) StoreU32(out + 4 + 4 * i, *words[i], big);
}

FBL_VolumeHeader FBL_VolumeHeader::Decode(const uint8_t in[kVolumeHeaderBytes]) {
  FBL_VolumeHeader h;
  h.mReserved = in[0];
  h.mByteOrder = in[1];
  bool big = h.IsBigEndian();
  h.mTableFormat = LoadU16(in + 2, big);
  auto words = HeaderWords(h);
  for (size_t i = 0; i < words.size(); ++i) *words[i] = LoadU32(in + 4 + 4 * i, big);
  return h;
}

void FBL_FileEntry::Encode(uint8_t out[kFileEntryBytes], bool bigEndian) const {
  StoreU32(out, mFirstSegment, bigEndian);
  StoreU32(out + 4, mSegmentCount, bigEndian);
  StoreU64(out + 8, mLength, bigEndian);
  StoreU32(out + 16, mOwnerId, bigEndian);
  StoreU16(out + 20, mKind, bigEndian);
  StoreU16(out + 22, mSubIndex, bigEndian);
}

FBL_FileEntry FBL_FileEntry::Decode(const uint8_t in[kFileEntryBytes], bool bigEndian) {
  FBL_FileEntry e;
  e.mFirstSegment = LoadU32(in, bigEndian);
  e.mSegmentCount = LoadU32(in + 4, bigEndian);
  e.mLength = LoadU64(in + 8, bigEndian);
  e.mOwnerId = LoadU32(in + 16, bigEndian);
  e.mKind = LoadU16(in + 20, bigEndian);
  e.mSubIndex = LoadU16(in + 22, bigEndian);
  return e;
}

FBL_FileEntry FBL_FileEntry::DecodeOld(const uint8_t in[kOldFileEntryBytes], bool bigEndian) {
  FBL_FileEntry e;
  e.mFirstSegment = LoadU32(in, bigEndian);
  e.mSegmentCount = LoadU32(in + 4, bigEndian);
  e.mLength = LoadU32(in + 8, bigEndian);
  e.mOwnerId = LoadU32(in + 12, bigEndian);
  e.mKind = LoadU16(in + 16, bigEndian);
  e.mSubIndex = LoadU16(in + 18, bigEndian);
  return e;
}

uint32_t zv::NormalizeSegmentSize(uint32_t requested) {
  return std::clamp<uint32_t>(requested & ~uint32_t{1023}, kMinSegmentSize, kMaxSegmentSize);
}
