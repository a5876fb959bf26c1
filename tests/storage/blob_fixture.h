// Helpers for BLOB file tests: a volume with one BLOB file, and raw access
// to the block headers through the open file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/database.h"
#include "tests/storage/volume_fixture.h"

namespace ztest {

class BlobFileTest : public VolumeTest {
 protected:
  // A created and opened BLOB file in a fresh volume.
  FBL_BLOBFile& Make(uint32_t blockSize = 1024,
                     FBL_ByteOrder order = FBL_ByteOrder::kLittleEndian) {
    mVolume = NewVolume(kDefaultSegmentSize, order);
    return Reopen(blockSize);
  }
  // A new object for the same file, opened (the old one is closed first).
  FBL_BLOBFile& Reopen(uint32_t blockSize = 1024) {
    if (mFile) mFile->Close();
    mFile.reset();
    mFile = std::make_unique<FBL_BLOBFile>(*mVolume, 3, 7, 0, blockSize);
    mFile->Create();
    mFile->Open();
    return *mFile;
  }
  bool Big() const { return mVolume->GetHeader().IsBigEndian(); }
  uint64_t BlockOffset(uint32_t block) const {
    return zblob::BlockOffset(mFile->GetBlockSize(), block);
  }
  // Word w (0..7) of block's header; block 0 is the file header.
  uint32_t Word(uint32_t block, uint32_t w) {
    uint8_t b[4];
    mFile->SetPosition((block == 0 ? 0 : BlockOffset(block)) + 4 * w);
    mFile->Read(b, 4);
    return zorder::LoadU32(b, Big());
  }
  void SetWord(uint32_t block, uint32_t w, uint32_t value) {
    uint8_t b[4];
    zorder::StoreU32(b, value, Big());
    mFile->SetPosition((block == 0 ? 0 : BlockOffset(block)) + 4 * w);
    mFile->Write(b, 4);
  }
  std::vector<uint8_t> ReadAll(uint32_t first) {
    std::vector<uint8_t> data(mFile->GetValueSize(first));
    mFile->ReadValue(data.data(), static_cast<uint32_t>(data.size()), first, 0);
    return data;
  }
  uint32_t Put(const std::vector<uint8_t>& data) {
    return mFile->WriteValue(data.data(), static_cast<uint32_t>(data.size()), 0, 0);
  }
  std::string Diagnose(const std::vector<FBL_BLOBReference>& refs, bool* ok = nullptr,
                       bool tableEmpty = false) {
    std::string report;
    bool result = mFile->Diagnose(report, true, tableEmpty, refs);
    if (ok != nullptr) *ok = result;
    return report;
  }

  void TearDown() override {
    mFile.reset();
    mVolume.reset();
    VolumeTest::TearDown();
  }

  std::unique_ptr<FBL_DataFile> mVolume;
  std::unique_ptr<FBL_BLOBFile> mFile;
};

// Word numbers of a block header.
enum : uint32_t { kNext = 0, kFirst = 1, kPrev = 1, kIndex = 2, kBytes = 3, kTotal = 4, kTag = 5 };

}  // namespace ztest
