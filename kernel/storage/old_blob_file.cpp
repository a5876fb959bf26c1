#include "kernel/storage/old_blob_file.h"

#include <algorithm>
#include <string>

#include "kernel/storage/blob_format.h"
#include "kernel/storage/page_cache.h"
#include "platform/errors.h"

void FBL_oldBLOBFile::Bad(const char* what, uint64_t number) const {
  std::string message = std::string("Old BLOB file: ") + what + " " + std::to_string(number);
  throw xFBL_Exception(zblob::kErrBadBlob, message.c_str());
}

void FBL_oldBLOBFile::Open() {
  if (IsOpen()) {
    FBL_EmbededFile::Open();
    return;
  }
  FBL_EmbededFile::Open();
  if (!IsOpen()) return;
  try {
    uint64_t length = GetLength();
    if (length < zblob::kHeaderArea) Bad("file is shorter than its header, length", length);
    uint8_t raw[zblob::kOldHeaderBytes];
    if (RequireCache().Read(*this, 0, raw, sizeof raw) < sizeof raw) Bad("unreadable header", 0);
    zblob::FBL_OldBLOBFileHeader header = zblob::FBL_OldBLOBFileHeader::Decode(raw);
    if (header.mBlockSize <= zblob::kOldLinkBytes || header.mBlockSize > zblob::kMaxBlockSize)
      Bad("bad block size", header.mBlockSize);
    mBlockSize = header.mBlockSize;
    mFirstDeleted = header.mFirstDeleted;
    mBlockCount = zblob::BlocksInLength(mBlockSize, length);
  } catch (...) {
    Close();
    throw;
  }
}

bool FBL_oldBLOBFile::IsEmpty() {
  return GetLength() == zblob::kHeaderArea;
}

std::vector<uint8_t> FBL_oldBLOBFile::ReadChain(uint32_t first, uint64_t maxBytes, bool exact) {
  if (!IsOpen()) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Old BLOB file is not open");
  std::vector<uint8_t> data;
  const uint32_t room = mBlockSize - zblob::kOldLinkBytes;
  std::vector<uint8_t> block(mBlockSize);
  // A chain visits each block at most once, so it has at most as many
  // blocks as the file.
  uint32_t steps = 0;
  for (uint32_t b = first; b != 0 && data.size() < maxBytes; ++steps) {
    if (b > mBlockCount) Bad("block number out of range:", b);
    if (steps == mBlockCount) Bad("the chain loops, at block", b);
    uint64_t at = zblob::BlockOffset(mBlockSize, b);
    if (RequireCache().Read(*this, at, block.data(), mBlockSize) < mBlockSize)
      Bad("file ends inside block", b);
    uint64_t n = std::min<uint64_t>(room, maxBytes - data.size());
    data.insert(data.end(), block.begin() + zblob::kOldLinkBytes,
                block.begin() + zblob::kOldLinkBytes + static_cast<ptrdiff_t>(n));
    b = zblob::DecodeOldLink(block.data());
  }
  if (exact && data.size() < maxBytes)
    Bad("the chain ends early, short by", maxBytes - data.size());
  return data;
}

uint32_t FBL_oldBLOBFile::CopyValue(uint32_t first, uint32_t size, FBL_BLOBFile& target) {
  if (first == 0) return 0;
  std::vector<uint8_t> data = ReadChain(first, size, true);
  return target.WriteValue(data.data(), size, 0, 0);
}
