// Raw access to files outside the engine: reading and patching the bytes
// of a closed file, and reproducible filler data.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kernel/storage/byte_order.h"
#include "platform/env.h"

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

// Bytes that depend only on n and seed.
inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> data(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

}  // namespace ztest
