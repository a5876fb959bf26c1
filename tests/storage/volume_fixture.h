// Volume tests: a fresh volume file per test and whole embedded files in
// and out of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/volume.h"
#include "tests/support/kernel_fixture.h"
#include "tests/support/raw_file.h"

namespace ztest {

class VolumeTest : public KernelTest {
 protected:
  std::string Path() const { return mDir.File("v.vdb"); }
  std::unique_ptr<FBL_DataFile> NewVolume(uint32_t segment = 1024,
                                          FBL_ByteOrder order = FBL_ByteOrder::kLittleEndian) {
    auto v = std::make_unique<FBL_DataFile>(Path());
    v->CreateVolume(segment, 1, order);
    return v;
  }
  // Creates, fills and closes an embedded file.
  static void PutFile(FBL_DataFile& v, uint32_t owner, uint16_t kind,
                      const std::vector<uint8_t>& data) {
    FBL_EmbededFile f(v, owner, kind, 0);
    f.Create();
    f.Open();
    f.SetLength(0);
    f.Write(data.data(), data.size());
    f.Close();
  }
  static std::vector<uint8_t> GetFile(FBL_DataFile& v, uint32_t owner, uint16_t kind) {
    FBL_EmbededFile f(v, owner, kind, 0);
    f.Open();
    if (!f.IsOpen()) return {};
    std::vector<uint8_t> data(f.GetLength());
    if (!data.empty()) f.Read(data.data(), data.size());
    f.Close();
    return data;
  }
};

}  // namespace ztest
