// Reading a calculated field: a Long column c = "a * 2 + b" over two Long
// columns of 1,000,000 records, each record's c read in turn and summed,
// against SQLite's "SELECT sum(a * 2 + b) FROM t" over the same values.
//
//   bench_calculated_field [records]       (default 1,000,000)
//
// Both databases are files in a temporary directory, loaded once and then
// read from a warm cache: one read of each first, then three timed runs of
// each, whose median is printed. Exit status 1 when reading takes Zorvane
// longer than SQLite, 2 when the sums differ.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/table.h"
#include "platform/env.h"
#include "sql/expressions/expression_compiler.h"

namespace {

constexpr int kRuns = 3;

int32_t A(uint32_t i) {
  return static_cast<int32_t>(i * 2654435761u % 100000) - 50000;
}
int32_t B(uint32_t i) {
  return static_cast<int32_t>(i % 997);
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

class ZorvaneSide {
 public:
  ZorvaneSide(const std::string& dir, uint32_t n) {
    mDb.Create(dir + "/z", 32768, 4, FBL_ByteOrder::kDefault);
    mTable = std::make_unique<FBL_Table>(mDb, 1);
    mTable->SetFormulaCompiler(&zsql::ExpressionCompiler());
    FBL_BaseField& a = mTable->AddField(zv::MakeField(kTypeLong, "a", 0));
    FBL_BaseField& b = mTable->AddField(zv::MakeField(kTypeLong, "b", 0));
    auto c = zv::MakeField(kTypeLong, "c", 0);
    c->SetMethodText("a * 2 + b", false);
    mField = &mTable->AddField(std::move(c));
    mTable->Open();
    for (uint32_t i = 1; i <= n; ++i) {
      a.SetFromBits(static_cast<uint64_t>(A(i)), true);
      b.SetFromBits(static_cast<uint64_t>(B(i)), true);
      mTable->AddRecord(false);
    }
    mTable->Flush();
  }
  ~ZorvaneSide() {
    mTable.reset();
    mDb.Close();
  }
  int64_t Sum() {
    int64_t sum = 0;
    const REC_ID last = mTable->GetMaxRecID();
    for (REC_ID r = 1; r <= last; ++r) {
      mField->ReadRecord(r);
      sum += static_cast<int32_t>(mField->GetAsBits());
    }
    return sum;
  }

 private:
  FBL_DataBase mDb;
  std::unique_ptr<FBL_Table> mTable;
  FBL_BaseField* mField = nullptr;
};

class SqliteSide {
 public:
  SqliteSide(const std::string& dir, uint32_t n) {
    Check(sqlite3_open((dir + "/s.db").c_str(), &mDb), mDb);
    Check(sqlite3_exec(mDb, "PRAGMA cache_size=-262144", nullptr, nullptr, nullptr), mDb);
    Check(sqlite3_exec(mDb, "CREATE TABLE t(a INTEGER, b INTEGER); BEGIN", nullptr, nullptr,
                       nullptr),
          mDb);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(mDb, "INSERT INTO t VALUES(?, ?)", -1, &insert, nullptr), mDb);
    for (uint32_t i = 1; i <= n; ++i) {
      sqlite3_bind_int(insert, 1, A(i));
      sqlite3_bind_int(insert, 2, B(i));
      Check(sqlite3_step(insert), mDb);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, nullptr), mDb);
  }
  ~SqliteSide() { sqlite3_close(mDb); }
  int64_t Sum() {
    sqlite3_stmt* select = nullptr;
    Check(sqlite3_prepare_v2(mDb, "SELECT sum(a * 2 + b) FROM t", -1, &select, nullptr), mDb);
    Check(sqlite3_step(select), mDb);
    const int64_t sum = sqlite3_column_int64(select, 0);
    sqlite3_finalize(select);
    return sum;
  }

 private:
  sqlite3* mDb = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  zv::StartKernel(256u << 20);
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  int status = 0;
  {
    ZorvaneSide zorvane(dir, n);
    SqliteSide sqlite(dir, n);
    const int64_t sum = zorvane.Sum();
    if (sqlite.Sum() != sum) {
      std::fprintf(stderr, "the sums differ: %lld and %lld\n", static_cast<long long>(sum),
                   static_cast<long long>(sqlite.Sum()));
      status = 2;
    } else {
      std::vector<double> z, s;
      for (int run = 0; run < kRuns; ++run) {
        z.push_back(Seconds([&] { zorvane.Sum(); }));
        s.push_back(Seconds([&] { sqlite.Sum(); }));
      }
      const double zt = Median(z), st = Median(s);
      std::printf("%u records, median of %d runs   Zorvane %.3f s   SQLite %.3f s   ratio %.2f\n",
                  n, kRuns, zt, st, zt / st);
      if (zt > st) status = 1;
    }
  }
  zv::StopKernel();
  std::filesystem::remove_all(dir);
  if (status != 2)
    std::printf("%s\n", status == 0 ? "reading the calculated field at most as long as SQLite's sum"
                                    : "BOUND MISSED: reading takes longer than SQLite's sum");
  return status;
}
