// Helpers for VarChar file tests: a volume with a VarChar file and its
// RefFile, values by record id, and raw access to a page's table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_file.h"
#include "tests/storage/volume_fixture.h"

namespace ztest {

class VarCharTest : public VolumeTest {
 protected:
  static constexpr uint32_t kOwner = 7;
  static constexpr uint16_t kKind = 8;
  static constexpr uint16_t kRefKind = 9;

  void TearDown() override {
    mFile.reset();
    mRef.reset();
    if (mVolume) mVolume->Close();
    mVolume.reset();
    VolumeTest::TearDown();
  }

  // A new volume with an open file.
  FBL_VarCharFile& Start(uint32_t maxLength, FBL_ByteOrder order = FBL_ByteOrder::kLittleEndian,
                         uint32_t segment = 1024) {
    mVolume = NewVolume(segment, order);
    mVolume->Open();
    Attach(maxLength);
    mRef->Create();
    mFile->Create();
    mFile->Open();
    return *mFile;
  }
  void Attach(uint32_t maxLength) {
    mRef = std::make_unique<FBL_ULongFile>(*mVolume, kOwner, kRefKind, 1);
    mFile = std::make_unique<FBL_VarCharFile>(*mVolume, kOwner, kKind, 1, maxLength);
    mFile->SetRefFile(mRef.get());
  }
  // Closes file and volume, then opens them again.
  FBL_VarCharFile& Reopen() {
    uint32_t maxLength = mFile->GetMaxLength();
    mFile->Close();
    mFile.reset();
    mRef.reset();
    mVolume->Close();
    mVolume->Open();
    Attach(maxLength);
    mFile->Open();
    return *mFile;
  }
  // Closes everything, leaving the volume file for raw access.
  void CloseAll() {
    mFile->Close();
    mVolume->Close();
  }
  void OpenAll() {
    mVolume->Open();
    mFile->Open();
  }

  static void Write(FBL_VarCharFile& f, uint32_t recId, const std::string& text) {
    f.WriteValue(recId, text.data(), static_cast<uint32_t>(text.size()));
  }
  static std::string Read(FBL_VarCharFile& f, uint32_t recId) {
    std::string text(f.GetMaxItemBytes(), '\0');
    text.resize(f.ReadValue(recId, text.data(), static_cast<uint32_t>(text.size())));
    return text;
  }
  // A value of length n whose bytes depend on seed.
  static std::string Value(uint32_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (uint32_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (seed * 7 + i) % 26);
    return s;
  }
  static bool AllRight(FBL_VarCharFile& f, std::string* report = nullptr) {
    std::string text;
    bool ok = f.Diagnose(text, true);
    if (report != nullptr) *report = text;
    return ok;
  }

  // Writes bytes at offset of the embedded file of kind (the VarChar file
  // or its RefFile) behind the objects' back, then opens the file again.
  void Patch(uint16_t kind, uint64_t offset, const std::vector<uint8_t>& bytes) {
    uint32_t maxLength = mFile->GetMaxLength();
    mFile.reset();
    mRef.reset();
    {
      FBL_EmbededFile raw(*mVolume, kOwner, kind, 1);
      raw.Open();
      raw.SetPosition(offset);
      raw.Write(bytes.data(), bytes.size());
      raw.Close();
    }
    Attach(maxLength);
    mFile->Open();
  }
  static std::vector<uint8_t> U16(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  }
  static std::vector<uint8_t> U32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
  }

  std::unique_ptr<FBL_DataFile> mVolume;
  std::unique_ptr<FBL_ULongFile> mRef;
  std::unique_ptr<FBL_VarCharFile> mFile;
};

}  // namespace ztest
