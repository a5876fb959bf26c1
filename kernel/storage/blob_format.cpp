#include "kernel/storage/blob_format.h"

#include <bit>
#include <cstring>

#include "kernel/storage/byte_order.h"

namespace zblob {

void FBL_BLOBFileHeader::Encode(uint8_t out[kFileHeaderBytes], bool bigEndian) const {
  std::memset(out, 0, kFileHeaderBytes);
  zorder::StoreU32(out, mBlockSize, bigEndian);
  zorder::StoreU32(out + 4, mFirstDeleted, bigEndian);
}

FBL_BLOBFileHeader FBL_BLOBFileHeader::Decode(const uint8_t in[kFileHeaderBytes], bool bigEndian) {
  FBL_BLOBFileHeader h;
  h.mBlockSize = zorder::LoadU32(in, bigEndian);
  h.mFirstDeleted = zorder::LoadU32(in + 4, bigEndian);
  return h;
}

void FBL_BLOBBlockHeader::Encode(uint8_t out[kBlockHeaderBytes], bool bigEndian) const {
  std::memset(out, 0, kBlockHeaderBytes);
  const uint32_t words[] = {mNextBlock, mFirstBlock, mIndex, mBytesInBlock, mTotalSize, mTag};
  for (size_t i = 0; i < 6; ++i) zorder::StoreU32(out + 4 * i, words[i], bigEndian);
}

FBL_BLOBBlockHeader FBL_BLOBBlockHeader::Decode(const uint8_t in[kBlockHeaderBytes],
                                                bool bigEndian) {
  FBL_BLOBBlockHeader h;
  uint32_t* words[] = {&h.mNextBlock,    &h.mFirstBlock, &h.mIndex,
                       &h.mBytesInBlock, &h.mTotalSize,  &h.mTag};
  for (size_t i = 0; i < 6; ++i) *words[i] = zorder::LoadU32(in + 4 * i, bigEndian);
  return h;
}

FBL_OldBLOBFileHeader FBL_OldBLOBFileHeader::Decode(const uint8_t in[kOldHeaderBytes]) {
  constexpr bool kMachineBig = std::endian::native == std::endian::big;
  FBL_OldBLOBFileHeader h;
  h.mBlockSize = zorder::LoadU32(in, kMachineBig);
  h.mFirstDeleted = zorder::LoadU32(in + 4, kMachineBig);
  return h;
}

uint32_t DecodeOldLink(const uint8_t in[kOldLinkBytes]) {
  return zorder::LoadU32(in, std::endian::native == std::endian::big);
}

}  // namespace zblob
