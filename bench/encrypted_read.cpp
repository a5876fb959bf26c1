// Sequential reading of a 64 MiB embedded file, plain and encrypted under a
// key, through a cold page cache each time: once with the volume in the
// OS's file cache (memory speed) and once with the OS asked to drop it
// first (disk speed). The encrypted read should cost at most 3 times the
// plain one; the cipher in software is the limit.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/blowfish.h"
#include "kernel/storage/database.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "platform/env.h"

namespace {

constexpr uint64_t kFileBytes = 64ull << 20;
constexpr size_t kChunk = 1 << 20;
constexpr uint64_t kCacheBytes = 16ull << 20;

void SetCipher(FBL_EmbededFile& file, const FBL_EncryptionKeyRef& key) {
  if (!key) return;
  file.SetEncryption(std::make_shared<FBL_BlowfishEncryption>(key), false);
  file.SetEncryption(std::make_shared<FBL_BlowfishDecryption>(key), true);
}

void WriteFile(FBL_DataBase& db, uint16_t sub, const FBL_EncryptionKeyRef& key) {
  FBL_EmbededFile file(*db.GetRecordVolume(), 9, 300, sub);
  file.Create();
  SetCipher(file, key);
  file.Open();
  std::vector<uint8_t> chunk(kChunk);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = uint8_t(i * 131 + sub);
  file.SetPosition(0);
  for (uint64_t done = 0; done < kFileBytes; done += kChunk) file.Write(chunk.data(), kChunk);
  file.Close();
}

// Asks the OS to forget the cached pages of a file.
void DropOsCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

double ReadSeconds(const std::string& base, const FBL_EncryptionKeyRef& dbKey, uint16_t sub,
                   const FBL_EncryptionKeyRef& fileKey, bool cold) {
  if (cold) DropOsCache(base + ".dat");
  zv::StartKernel(kCacheBytes);
  double seconds = 0;
  {
    FBL_DataBase db;
    db.Open(base, dbKey);
    FBL_EmbededFile file(*db.GetRecordVolume(), 9, 300, sub);
    SetCipher(file, fileKey);
    file.Open();
    std::vector<uint8_t> chunk(kChunk);
    const auto start = std::chrono::steady_clock::now();
    file.SetPosition(0);
    for (uint64_t done = 0; done < kFileBytes; done += kChunk) file.Read(chunk.data(), kChunk);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    file.Close();
  }
  zv::StopKernel();
  return seconds;
}

}  // namespace

int main() {
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  const std::string base = dir + "/encrypted_read";
  const auto key = zv::MakeEncryptionKey("benchmark key");
  zv::StartKernel(kCacheBytes);
  {
    FBL_DataBase db;
    db.Create(base, 32768, 4, FBL_ByteOrder::kDefault);
    db.ChangeKey(nullptr, key);
    WriteFile(db, 1, nullptr);
    WriteFile(db, 2, key);
  }
  zv::StopKernel();
  const double mb = double(kFileBytes) / (1 << 20);
  bool ok = true;
  for (bool cold : {false, true}) {
    double plain = 1e9, encrypted = 1e9;
    for (int run = 0; run < 3; ++run) {
      plain = std::min(plain, ReadSeconds(base, key, 1, nullptr, cold));
      encrypted = std::min(encrypted, ReadSeconds(base, key, 2, key, cold));
    }
    const double ratio = encrypted / plain;
    std::printf("%s: plain %8.1f MB/s, encrypted %7.1f MB/s, time ratio %.2f (bound 3) %s\n",
                cold ? "volume not in the OS cache" : "volume in the OS cache    ", mb / plain,
                mb / encrypted, ratio, ratio <= 3 ? "ok" : "MISSED");
    ok = ok && ratio <= 3;
  }
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
