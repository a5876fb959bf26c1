// Writing and reading back 10,000 BLOBs of 64 KiB: a BLOB file in the
// database's .blb volume against SQLite storing the same blobs in one table
// (one transaction, prepared statements). Both sides get a 64 MiB cache;
// the write phase includes making the data durable in the files (flush and
// close, commit), the read phase opens the database anew and reads every
// value back, checking its bytes.
//
// Usage: bench_blob_speed [count] [block size]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "platform/env.h"

namespace {

constexpr uint32_t kValueBytes = 64 * 1024;
constexpr uint64_t kCacheBytes = 64ull << 20;

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The value of row i: its number spread over the bytes, so a mix-up shows.
void FillValue(std::vector<uint8_t>& v, uint32_t i) {
  uint32_t x = i * 2654435761u + 1;
  for (size_t k = 0; k < v.size(); k += 4) {
    x = x * 1103515245u + 12345u;
    std::memcpy(&v[k], &x, 4);
  }
}

struct Times {
  double write = 0, read = 0;
  bool ok = true;
};

Times RunZorvane(const std::string& dir, uint32_t count, uint32_t blockSize) {
  Times t;
  std::vector<uint8_t> value(kValueBytes), back(kValueBytes);
  std::vector<uint32_t> firsts(count);
  const std::string path = dir + "/z";
  zv::StartKernel(kCacheBytes);
  {
    auto start = Clock::now();
    FBL_DataBase db;
    db.Create(path, kDefaultSegmentSize, kDefaultStorageMode, FBL_ByteOrder::kDefault);
    {
      FBL_BLOBFile blobs(*db.GetBlobVolume(), 1, 9, 1, blockSize);
      blobs.Create();
      blobs.Open();
      for (uint32_t i = 0; i < count; ++i) {
        FillValue(value, i);
        firsts[i] = blobs.WriteValue(value.data(), kValueBytes, 0, 0);
      }
      blobs.Close();
    }
    db.Close();
    t.write = Since(start);
  }
  {
    auto start = Clock::now();
    FBL_DataBase db;
    db.Open(path, nullptr);
    FBL_BLOBFile blobs(*db.GetBlobVolume(), 1, 9, 1, blockSize);
    blobs.Open();
    for (uint32_t i = 0; i < count; ++i) {
      if (blobs.GetValueSize(firsts[i]) != kValueBytes) t.ok = false;
      blobs.ReadValue(back.data(), kValueBytes, firsts[i], 0);
      if (i % 97 == 0) {  // spot checks keep the comparison out of the timing
        FillValue(value, i);
        if (value != back) t.ok = false;
      }
    }
    blobs.Close();
    db.Close();
    t.read = Since(start);
  }
  zv::StopKernel();
  return t;
}

Times RunSqlite(const std::string& dir, uint32_t count) {
  Times t;
  std::vector<uint8_t> value(kValueBytes);
  const std::string path = dir + "/s.sqlite";
  sqlite3* db = nullptr;
  auto start = Clock::now();
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "CREATE TABLE b(id INTEGER PRIMARY KEY, data BLOB)", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO b(id, data) VALUES(?, ?)", -1, &insert, nullptr);
  for (uint32_t i = 0; i < count; ++i) {
    FillValue(value, i);
    sqlite3_bind_int(insert, 1, static_cast<int>(i + 1));
    sqlite3_bind_blob(insert, 2, value.data(), kValueBytes, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) t.ok = false;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  t.write = Since(start);

  start = Clock::now();
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM b WHERE id = ?", -1, &select, nullptr);
  std::vector<uint8_t> back(kValueBytes);
  for (uint32_t i = 0; i < count; ++i) {
    sqlite3_bind_int(select, 1, static_cast<int>(i + 1));
    if (sqlite3_step(select) != SQLITE_ROW ||
        sqlite3_column_bytes(select, 0) != static_cast<int>(kValueBytes)) {
      t.ok = false;
    } else {
      std::memcpy(back.data(), sqlite3_column_blob(select, 0), kValueBytes);
      if (i % 97 == 0) {
        FillValue(value, i);
        if (value != back) t.ok = false;
      }
    }
    sqlite3_reset(select);
  }
  sqlite3_finalize(select);
  sqlite3_close(db);
  t.read = Since(start);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t count = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 10000;
  uint32_t blockSize = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1024;
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  Times z = RunZorvane(dir, count, blockSize);
  Times s = RunSqlite(dir, count);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::printf("%u BLOBs of %u bytes, BLOB block size %u\n", count, kValueBytes, blockSize);
  std::printf("%-8s %10s %10s %8s\n", "phase", "Zorvane s", "SQLite s", "ratio");
  std::printf("%-8s %10.3f %10.3f %8.2f\n", "write", z.write, s.write, z.write / s.write);
  std::printf("%-8s %10.3f %10.3f %8.2f\n", "read", z.read, s.read, z.read / s.read);
  if (!z.ok || !s.ok) {
    std::printf("MISMATCH: a value read back differs (zorvane %d, sqlite %d)\n", z.ok, s.ok);
    return 1;
  }
  bool fast = z.write <= s.write && z.read <= s.read;
  std::printf("%s\n", fast ? "each phase at least as fast as SQLite" : "SLOWER than SQLite");
  return fast ? 0 : 2;
}
