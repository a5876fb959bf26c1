// Many small durable changes: one record added and flushed, n times, into a
// table of five fields with three indexes (a unique Long, a Short, a
// String) and a VarChar, against SQLite doing the same as n transactions of
// one INSERT each (rollback journal, synchronous=NORMAL, as the workload's
// SQLite runs).
//
//   bench_small_flushes [count]       (default 10,000)
//
// Prints "synced <zorvane s> <sqlite s> <ratio>": every flush syncs (the
// default). Then "bulk <zorvane s> <sqlite s> <ratio>": Zorvane's bulk-load
// setting against SQLite with synchronous=OFF. Each figure is the median
// of three runs on fresh files in a temporary directory.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/workload/workload_data.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/numeric_fields.h"
#include "platform/errors.h"

namespace {

constexpr int kRuns = 3;
constexpr uint64_t kCacheBytes = 64u << 20;

// The values of record i, the same on both sides.
struct Row {
  int32_t id;
  int16_t age;
  double score;
  std::string name, city;
};
Row RowOf(uint32_t i) {
  return Row{static_cast<int32_t>(i * 7u + 3u), static_cast<int16_t>(i % 90), i * 0.001,
             "name " + std::to_string(i % 1000), "city " + std::to_string(i % 50)};
}

template <class Field>
Field& Add(FBL_Table& table, uint8_t type, const char* name, uint16_t flags, uint32_t length = 0) {
  return static_cast<Field&>(table.AddField(zv::MakeField(type, name, flags, length)));
}

double RunZorvane(const std::string& dir, uint32_t n, bool bulk) {
  FBL_DataBase db;
  db.Create(dir + "/z", kDefaultSegmentSize, 4, FBL_ByteOrder::kDefault);
  db.SetBulkLoad(bulk);
  double seconds = 0;
  {
    FBL_SecondaryIndexFactory factory;
    FBL_IndexedTable table(db, 1);
    table.SetIndexFactory(&factory);
    auto& id = Add<BF_LONG>(table, kTypeLong, "id", kFieldUnique);
    auto& age = Add<BF_SHORT>(table, kTypeShort, "age", kFieldIndexed);
    auto& score = Add<BF_DOUBLE>(table, kTypeDouble, "score", 0);
    auto& name = Add<FBL_BaseField>(table, kTypeString, "name", kFieldIndexed, 20);
    auto& city = Add<FBL_BaseField>(table, kTypeVarChar, "city", 0, 40);
    table.Open();
    table.Flush();
    seconds = Seconds([&] {
      for (uint32_t i = 0; i < n; ++i) {
        const Row r = RowOf(i);
        id.Set(r.id);
        age.Set(r.age);
        score.Set(r.score);
        name.SetString(r.name);
        city.SetString(r.city);
        table.AddRecord();
        table.Flush();
      }
    });
    if (table.GetRecordCount() != n) {
      std::fprintf(stderr, "zorvane holds %u records, not %u\n", table.GetRecordCount(), n);
      std::exit(1);
    }
  }
  db.Close();
  return seconds;
}

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, message != nullptr ? message : "");
    std::exit(1);
  }
}

double RunSqlite(const std::string& dir, uint32_t n, bool bulk) {
  sqlite3* db = nullptr;
  if (sqlite3_open((dir + "/s.sqlite").c_str(), &db) != SQLITE_OK) std::exit(1);
  Exec(db, "PRAGMA journal_mode=DELETE");
  Exec(db, bulk ? "PRAGMA synchronous=OFF" : "PRAGMA synchronous=NORMAL");
  Exec(db, "PRAGMA cache_size=-65536");
  Exec(db, workload::kSqlitePersonTable);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO person VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr);
  const double seconds = Seconds([&] {
    for (uint32_t i = 0; i < n; ++i) {
      const Row r = RowOf(i);
      sqlite3_bind_int(insert, 1, r.id);
      sqlite3_bind_int(insert, 2, r.age);
      sqlite3_bind_double(insert, 3, r.score);
      sqlite3_bind_text(insert, 4, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 5, r.city.data(), static_cast<int>(r.city.size()), SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
      }
      sqlite3_reset(insert);
    }
  });
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 10000;
  if (n == 0) {
    std::fputs("usage: bench_small_flushes [count]\n", stderr);
    return 2;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "zorXXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 2;
  const std::string dir = pattern;
  try {
    zv::StartKernel(kCacheBytes);
    for (bool bulk : {false, true}) {
      std::vector<double> z, s;
      // Alternately, so that the machine's load falls on both alike.
      for (int run = 0; run < kRuns; ++run) {
        for (const auto& e : std::filesystem::directory_iterator(dir))
          std::filesystem::remove(e.path());
        z.push_back(RunZorvane(dir, n, bulk));
        s.push_back(RunSqlite(dir, n, bulk));
      }
      const double zm = Median(z), sm = Median(s);
      std::printf("%s %.3f %.3f %.2f\n", bulk ? "bulk" : "synced", zm, sm, sm > 0 ? zm / sm : 0.0);
    }
    zv::StopKernel();
  } catch (const xFBL_Exception& e) {
    std::fprintf(stderr, "zorvane: error %d\n", static_cast<int>(e.Code));
    std::filesystem::remove_all(dir);
    return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
