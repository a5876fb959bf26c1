// Adding records and walking them: a table of four fixed fields (Long,
// Short, Double, Date), no indexes, against SQLite with the same four
// columns in one transaction through a prepared statement.
//
//   bench_table_speed [records]       (default 1,000,000)
//
// Phase 1 adds every record (Zorvane: AddRecord, then Flush; SQLite: one
// transaction of INSERTs, then COMMIT). Phase 2 walks them all and sums
// the Long field (Zorvane: FirstRecord/NextRecord; SQLite: SELECT sum(l)).
// Each run uses fresh files in a temporary directory; the best of three runs
// is printed. Exit status 1 when a phase is not at least twice as fast.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_timing.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/table.h"
#include "platform/env.h"

namespace {

constexpr int kRuns = 3;

// The values of record i, the same on both sides.
int32_t LongOf(uint32_t i) {
  return static_cast<int32_t>(i * 7u + 3u);
}
int16_t ShortOf(uint32_t i) {
  return static_cast<int16_t>(i);
}
double DoubleOf(uint32_t i) {
  return i * 0.5;
}
int32_t DateOf(uint32_t i) {
  return static_cast<int32_t>((2000 + i % 20) << 9 | 1 << 5 | 1);
}

struct Times {
  double add = 1e30;
  double walk = 1e30;
};

int64_t RunZorvane(const std::string& dir, uint32_t n, Times& best) {
  FBL_DataBase db;
  db.Create(dir + "/z", 32768, 4, FBL_ByteOrder::kDefault);
  int64_t sum = 0;
  {
    FBL_Table table(db, 1);
    auto& l = static_cast<BF_LONG&>(table.AddField(zv::MakeField(kTypeLong, "l", 0)));
    auto& s = static_cast<BF_SHORT&>(table.AddField(zv::MakeField(kTypeShort, "s", 0)));
    auto& d = static_cast<BF_DOUBLE&>(table.AddField(zv::MakeField(kTypeDouble, "d", 0)));
    auto& t = static_cast<BF_DATE&>(table.AddField(zv::MakeField(kTypeDate, "t", 0)));
    table.Open();
    best.add = std::min(best.add, Seconds([&] {
                          for (uint32_t i = 0; i < n; ++i) {
                            l.Set(LongOf(i));
                            s.Set(ShortOf(i));
                            d.Set(DoubleOf(i));
                            t.Set(DateOf(i));
                            table.AddRecord(false);
                          }
                          table.Flush();
                        }));
    best.walk = std::min(best.walk, Seconds([&] {
                           for (bool ok = table.FirstRecord(); ok; ok = table.NextRecord())
                             sum += l.Get();
                         }));
  }
  db.Close();
  return sum;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

int64_t RunSqlite(const std::string& dir, uint32_t n, Times& best) {
  sqlite3* db = nullptr;
  Check(sqlite3_open((dir + "/s.db").c_str(), &db), db);
  Check(sqlite3_exec(db, "CREATE TABLE t(l INTEGER, s INTEGER, d REAL, t INTEGER)", nullptr,
                     nullptr, nullptr),
        db);
  best.add = std::min(
      best.add, Seconds([&] {
        sqlite3_stmt* insert = nullptr;
        Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
        Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &insert, nullptr), db);
        for (uint32_t i = 0; i < n; ++i) {
          sqlite3_bind_int(insert, 1, LongOf(i));
          sqlite3_bind_int(insert, 2, ShortOf(i));
          sqlite3_bind_double(insert, 3, DoubleOf(i));
          sqlite3_bind_int(insert, 4, DateOf(i));
          Check(sqlite3_step(insert), db);
          sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
      }));
  int64_t sum = 0;
  best.walk =
      std::min(best.walk, Seconds([&] {
                 sqlite3_stmt* select = nullptr;
                 Check(sqlite3_prepare_v2(db, "SELECT sum(l) FROM t", -1, &select, nullptr), db);
                 Check(sqlite3_step(select), db);
                 sum = sqlite3_column_int64(select, 0);
                 sqlite3_finalize(select);
               }));
  sqlite3_close(db);
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  zv::StartKernel(64u << 20);
  Times zorvane, sqlite;
  int64_t zsum = 0, ssum = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::string dir = platform::Env::Default()->CreateTempDirectory();
    zsum = RunZorvane(dir, n, zorvane);
    ssum = RunSqlite(dir, n, sqlite);
    std::filesystem::remove_all(dir);
  }
  zv::StopKernel();
  if (zsum != ssum) {
    std::fprintf(stderr, "sums differ: %lld and %lld\n", static_cast<long long>(zsum),
                 static_cast<long long>(ssum));
    return 2;
  }
  std::printf("%u records, best of %d runs      Zorvane     SQLite   SQLite/Zorvane\n", n, kRuns);
  std::printf("add (then flush / commit)    %9.3f s %9.3f s %9.2fx\n", zorvane.add, sqlite.add,
              sqlite.add / zorvane.add);
  std::printf("walk and sum the Long field  %9.3f s %9.3f s %9.2fx\n", zorvane.walk, sqlite.walk,
              sqlite.walk / zorvane.walk);
  bool ok = sqlite.add >= 2 * zorvane.add && sqlite.walk >= 2 * zorvane.walk;
  std::printf("%s\n",
              ok ? "both phases at least 2x faster" : "BOUND MISSED: a phase is not 2x faster");
  return ok ? 0 : 1;
}
