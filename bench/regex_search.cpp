// A search by regular expression over short texts: a String(40) column of
// 1,000,000 texts of 10 to 40 lower-case letters, searched with the field's
// FindByRegExpr, against SQLite's "SELECT count(*) FROM t WHERE s REGEXP ?"
// over the same texts, its REGEXP function backed by the same compiled
// patterns (compiled once per statement, kept as the argument's aux data).
//
//   bench_regex_search [records]       (default 1,000,000)
//
// Both databases are files in a temporary directory, loaded once and then
// searched from a warm cache: one search of each pattern first, then three
// timed runs of each, whose median is printed. Exit status 1 when a search
// takes Zorvane longer than SQLite, 2 when the two find different counts.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_texts.h"
#include "bench/bench_timing.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/table.h"
#include "platform/env.h"
#include "platform/errors.h"
#include "regex/pattern.h"

namespace {

constexpr int kRuns = 3;
constexpr uint16_t kLength = 40;

// A literal with a class, an anchored alternation, and a case-insensitive
// counted repetition with an end anchor.
const char* const kPatterns[] = {
    "qu[aeiou]{2}z",
    "^[[:alpha:]]{2}(ab|cd|ef)",
    "(?i)X[AEIOU]{3}Y$",
};

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

void Regexp(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* pattern = static_cast<zregex::Pattern*>(sqlite3_get_auxdata(context, 0));
  if (pattern == nullptr) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const std::string_view source(text ? text : "", sqlite3_value_bytes(argv[0]));
    try {
      pattern = new zregex::Pattern(source, false, nullptr);
    } catch (const xFBL_Exception&) {
      sqlite3_result_error(context, "bad regular expression", -1);
      return;
    }
    sqlite3_set_auxdata(context, 0, pattern,
                        [](void* p) { delete static_cast<zregex::Pattern*>(p); });
    // SQLite frees it at once when it cannot keep it.
    pattern = static_cast<zregex::Pattern*>(sqlite3_get_auxdata(context, 0));
    if (pattern == nullptr) {
      sqlite3_result_error_nomem(context);
      return;
    }
  }
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return;  // NULL
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  sqlite3_result_int(context, pattern->Search(text, sqlite3_value_bytes(argv[1])) ? 1 : 0);
}

class ZorvaneSide {
 public:
  ZorvaneSide(const std::string& dir, const std::vector<std::string>& texts) {
    mDb.Create(dir + "/z", 32768, 4, FBL_ByteOrder::kDefault);
    mTable = std::make_unique<FBL_Table>(mDb, 1);
    mField =
        &static_cast<BF_STRING&>(mTable->AddField(zv::MakeField(kTypeString, "s", 0, kLength)));
    mTable->Open();
    for (const auto& t : texts) {
      mField->SetString(t);
      mTable->AddRecord(false);
    }
    mTable->Flush();
  }
  ~ZorvaneSide() {
    mTable.reset();
    mDb.Close();
  }
  uint32_t Search(const char* pattern) { return mField->FindByRegExpr(pattern, true)->Count(); }

 private:
  FBL_DataBase mDb;
  std::unique_ptr<FBL_Table> mTable;
  BF_STRING* mField = nullptr;
};

class SqliteSide {
 public:
  SqliteSide(const std::string& dir, const std::vector<std::string>& texts) {
    Check(sqlite3_open((dir + "/s.db").c_str(), &mDb), mDb);
    Check(sqlite3_exec(mDb, "PRAGMA cache_size=-262144", nullptr, nullptr, nullptr), mDb);
    Check(sqlite3_create_function(mDb, "regexp", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                  Regexp, nullptr, nullptr),
          mDb);
    Check(sqlite3_exec(mDb, "CREATE TABLE t(s TEXT); BEGIN", nullptr, nullptr, nullptr), mDb);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(mDb, "INSERT INTO t VALUES(?)", -1, &insert, nullptr), mDb);
    for (const auto& t : texts) {
      sqlite3_bind_text(insert, 1, t.data(), static_cast<int>(t.size()), SQLITE_STATIC);
      Check(sqlite3_step(insert), mDb);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, nullptr), mDb);
  }
  ~SqliteSide() { sqlite3_close(mDb); }
  uint32_t Search(const char* pattern) {
    sqlite3_stmt* select = nullptr;
    Check(sqlite3_prepare_v2(mDb, "SELECT count(*) FROM t WHERE s REGEXP ?", -1, &select, nullptr),
          mDb);
    sqlite3_bind_text(select, 1, pattern, -1, SQLITE_STATIC);
    Check(sqlite3_step(select), mDb);
    const auto count = static_cast<uint32_t>(sqlite3_column_int64(select, 0));
    sqlite3_finalize(select);
    return count;
  }

 private:
  sqlite3* mDb = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  zv::StartKernel(256u << 20);
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  const std::vector<std::string> texts = MakeBenchTexts(n);
  int status = 0;
  {
    ZorvaneSide zorvane(dir, texts);
    SqliteSide sqlite(dir, texts);
    std::printf("%u texts, median of %d runs      matches    Zorvane     SQLite   SQLite/Zorvane\n",
                n, kRuns);
    for (const char* pattern : kPatterns) {
      const uint32_t found = zorvane.Search(pattern);
      if (sqlite.Search(pattern) != found) {
        std::fprintf(stderr, "/%s/: the counts differ\n", pattern);
        status = 2;
        break;
      }
      std::vector<double> z, s;
      for (int run = 0; run < kRuns; ++run) {
        z.push_back(Seconds([&] { zorvane.Search(pattern); }));
        s.push_back(Seconds([&] { sqlite.Search(pattern); }));
      }
      const double zt = Median(z), st = Median(s);
      std::printf("%-30s %9u %9.3f s %9.3f s %9.2fx\n", pattern, found, zt, st, st / zt);
      if (zt > st) status = 1;
    }
  }
  zv::StopKernel();
  std::filesystem::remove_all(dir);
  if (status != 2)
    std::printf("%s\n", status == 0 ? "every search at most as long as SQLite's"
                                    : "BOUND MISSED: a search takes longer than SQLite's");
  return status;
}
