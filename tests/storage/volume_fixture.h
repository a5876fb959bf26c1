// Helpers for volume tests: raw access to a closed volume file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/volume.h"
#include "platform/env.h"
#include "tests/storage/kernel_fixture.h"

namespace ztest {

// Reads and patches bytes of a file that is not open.
class RawFile {
 public:
  explicit RawFile(std::string path) : mPath(std::move(path)) {}
  std::vector<uint8_t> Read(uint64_t offset, size_t n) const {
    auto f = platform::Env::Default()->OpenFile(mPath, platform::OpenMode::kReadOnly);
    std::vector<uint8_t> data(n);
    data.resize(f->ReadAt(offset, data.data(), n));
    return data;
  }
  void Write(uint64_t offset, const std::vector<uint8_t>& data) const {
    auto f = platform::Env::Default()->OpenFile(mPath, platform::OpenMode::kReadWrite);
    f->WriteAt(offset, data.data(), data.size());
  }
  uint32_t U32(uint64_t offset, bool big = false) const {
    return zorder::LoadU32(Read(offset, 4).data(), big);
  }
  void SetU32(uint64_t offset, uint32_t value, bool big = false) const {
    std::vector<uint8_t> b(4);
    zorder::StoreU32(b.data(), value, big);
    Write(offset, b);
  }
  uint64_t Size() const {
    uint64_t size = 0;
    platform::Env::Default()->GetFileSize(mPath, &size);
    return size;
  }
  void Truncate(uint64_t size) const {
    auto f = platform::Env::Default()->OpenFile(mPath, platform::OpenMode::kReadWrite);
    f->SetLength(size);
  }

 private:
  std::string mPath;
};

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> data(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

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
