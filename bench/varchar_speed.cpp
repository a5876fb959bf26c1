// VarChar storage against SQLite: 1,000,000 texts of 10 to 40 bytes
// written in record order into a VarChar(40) file and read back, beside
// SQLite inserting them into one text column (one transaction) and
// selecting them all. Each phase includes making its writes durable
// (flush and close for the VarChar file, commit for SQLite).
//
// Usage: bench_varchar_speed [count]
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_texts.h"
#include "bench/bench_timing.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_file.h"
#include "kernel/storage/volume.h"
#include "platform/env.h"
#include "platform/errors.h"

namespace {

struct Figures {
  double write = 0;
  double read = 0;
  uint64_t bytes = 0;
};

Figures RunZorvane(const std::string& dir, const std::vector<std::string>& texts) {
  Figures out;
  std::string path = dir + "/varchar.vdb";
  auto volume = std::make_unique<FBL_DataFile>(path);
  volume->CreateVolume(32768, 1, FBL_ByteOrder::kLittleEndian);
  volume->Open();
  auto ref = std::make_unique<FBL_ULongFile>(*volume, 1, 9, 1);
  auto file = std::make_unique<FBL_VarCharFile>(*volume, 1, 8, 1, 40);
  file->SetRefFile(ref.get());
  ref->Create();
  file->Create();
  auto start = BenchClock::now();
  file->Open();
  uint32_t id = 0;
  for (const auto& t : texts) file->WriteValue(++id, t.data(), static_cast<uint32_t>(t.size()));
  file->Close();
  volume->Close();
  out.write = SecondsSince(start);

  volume->Open();
  start = BenchClock::now();
  file->Open();
  char buffer[64];
  uint32_t count = file->GetRecordCount();
  for (uint32_t r = 1; r <= count; ++r) out.bytes += file->ReadValue(r, buffer, sizeof buffer);
  file->Close();
  out.read = SecondsSince(start);
  file.reset();
  ref.reset();
  volume->Close();
  return out;
}

Figures RunSqlite(const std::string& dir, const std::vector<std::string>& texts) {
  Figures out;
  std::string path = dir + "/varchar.sqlite";
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "CREATE TABLE t (v TEXT)", nullptr, nullptr, nullptr);
  auto start = BenchClock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t (v) VALUES (?)", -1, &insert, nullptr);
  for (const auto& t : texts) {
    sqlite3_bind_text(insert, 1, t.data(), static_cast<int>(t.size()), SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  out.write = SecondsSince(start);

  start = BenchClock::now();
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "SELECT v FROM t", -1, &select, nullptr);
  while (sqlite3_step(select) == SQLITE_ROW) out.bytes += sqlite3_column_bytes(select, 0);
  sqlite3_finalize(select);
  out.read = SecondsSince(start);
  sqlite3_close(db);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t count = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  std::string dir = platform::Env::Default()->CreateTempDirectory();
  zv::StartKernel(64u << 20);
  auto texts = MakeBenchTexts(count);
  Figures z;
  try {
    z = RunZorvane(dir, texts);
  } catch (const xFBL_Exception& e) {
    std::fprintf(stderr, "zorvane failed with %d\n", e.Code);
    return 1;
  }
  Figures s = RunSqlite(dir, texts);
  zv::StopKernel();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  if (z.bytes != s.bytes) {
    std::fprintf(stderr, "read back %llu bytes, sqlite %llu\n",
                 static_cast<unsigned long long>(z.bytes),
                 static_cast<unsigned long long>(s.bytes));
    return 1;
  }
  std::printf("%u VarChar(40) values of 10..40 bytes, record order\n", count);
  std::printf("%-8s %10s %10s %8s\n", "phase", "zorvane s", "sqlite s", "ratio");
  std::printf("%-8s %10.3f %10.3f %8.2f\n", "write", z.write, s.write, z.write / s.write);
  std::printf("%-8s %10.3f %10.3f %8.2f\n", "read", z.read, s.read, z.read / s.read);
  return 0;
}
