// Building an index over existing records: 1,000,000 Long values and
// 1,000,000 12-letter strings (String(20)), against SQLite's CREATE INDEX on
// the same values in a table of the same rows.
//
//   bench_index_build [records]       (default 1,000,000)
//
// Zorvane: the records are added and flushed first; the time is that of
// making the field indexed (the build: walk, sort, append) plus the flush
// of the index pages. SQLite: rows inserted in one transaction, then the
// time of CREATE INDEX (its own transaction). The values come from the
// workload's xorshift64 stream. Best of three runs; each index is checked
// to hold every record. Exit status 1 when a build is not 2 times faster.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/numeric_fields.h"
#include "platform/env.h"

namespace {

constexpr int kRuns = 3;

struct Data {
  std::vector<int32_t> longs;
  std::vector<std::string> names;
};

Data MakeData(uint32_t n) {
  Data d;
  uint64_t x = 88172645463325252ULL;
  for (uint32_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    d.longs.push_back(static_cast<int32_t>(x >> 16));
    std::string name(12, 'a');
    uint64_t v = x;
    for (char& c : name) {
      c = static_cast<char>('a' + v % 26);
      v /= 26;
    }
    d.names.push_back(name);
  }
  return d;
}

struct Times {
  double longs = 1e30;
  double names = 1e30;
};

void RunZorvane(const std::string& dir, const Data& d, Times& best) {
  FBL_DataBase db;
  db.Create(dir + "/z", kDefaultSegmentSize, 4, FBL_ByteOrder::kDefault);
  FBL_SecondaryIndexFactory factory;
  {
    FBL_IndexedTable table(db, 1);
    table.SetName("t");
    table.SetIndexFactory(&factory);
    auto& l = static_cast<BF_LONG&>(table.AddField(zv::MakeField(kTypeLong, "l", 0)));
    FBL_BaseField& s = table.AddField(zv::MakeField(kTypeString, "s", 0, 20));
    table.Open();
    for (size_t i = 0; i < d.longs.size(); ++i) {
      l.Set(d.longs[i]);
      s.SetString(d.names[i]);
      table.AddRecord(false);
    }
    table.Flush();
    for (FBL_BaseField* field : {static_cast<FBL_BaseField*>(&l), &s}) {
      double t = Seconds([&] {
        field->AddFlags(kFieldIndexed, false);
        table.Flush();
      });
      if (field->GetIndex() == nullptr || field->GetIndex()->GetEntryCount() != d.longs.size()) {
        std::fprintf(stderr, "zorvane: the index of %s misses records\n", field->GetName().c_str());
        std::exit(2);
      }
      double& slot = field == &l ? best.longs : best.names;
      slot = std::min(slot, t);
    }
  }
  db.Close();
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

void RunSqlite(const std::string& dir, const Data& d, Times& best) {
  sqlite3* db = nullptr;
  Check(sqlite3_open((dir + "/s.db").c_str(), &db), db);
  Check(sqlite3_exec(db,
                     "PRAGMA journal_mode=DELETE; PRAGMA synchronous=NORMAL;"
                     "PRAGMA cache_size=-65536; CREATE TABLE t(l INTEGER, s TEXT)",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?)", -1, &insert, nullptr), db);
  for (size_t i = 0; i < d.longs.size(); ++i) {
    sqlite3_bind_int(insert, 1, d.longs[i]);
    sqlite3_bind_text(insert, 2, d.names[i].data(), int(d.names[i].size()), SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  best.longs =
      std::min(best.longs, Seconds([&] {
                 Check(sqlite3_exec(db, "CREATE INDEX tl ON t(l)", nullptr, nullptr, nullptr), db);
               }));
  best.names =
      std::min(best.names, Seconds([&] {
                 Check(sqlite3_exec(db, "CREATE INDEX ts ON t(s)", nullptr, nullptr, nullptr), db);
               }));
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  if (n == 0) return 2;
  const Data data = MakeData(n);
  zv::StartKernel(64u << 20);
  Times zorvane, sqlite;
  for (int run = 0; run < kRuns; ++run) {
    std::string dir = platform::Env::Default()->CreateTempDirectory();
    RunZorvane(dir, data, zorvane);
    RunSqlite(dir, data, sqlite);
    std::filesystem::remove_all(dir);
  }
  zv::StopKernel();
  std::printf("%u records, best of %d runs          Zorvane     SQLite   SQLite/Zorvane\n", n,
              kRuns);
  std::printf("index over Long values           %9.3f s %9.3f s %9.2fx\n", zorvane.longs,
              sqlite.longs, sqlite.longs / zorvane.longs);
  std::printf("index over 12-letter strings     %9.3f s %9.3f s %9.2fx\n", zorvane.names,
              sqlite.names, sqlite.names / zorvane.names);
  bool ok = sqlite.longs >= 2 * zorvane.longs && sqlite.names >= 2 * zorvane.names;
  std::printf("%s\n",
              ok ? "both builds at least 2x faster" : "BOUND MISSED: a build is not 2x faster");
  return ok ? 0 : 1;
}
