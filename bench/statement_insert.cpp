// bench_statement_insert: the workload's T1 (insert every row in one
// transaction) through INSERT statements with :N parameters, beside
// SQLite's prepared INSERT in one transaction, on the same rows.
//
//   bench_statement_insert [--rows N] [--dir PATH]
//
// Prints "T1-statements <zorvane s> <sqlite s> <ratio>"; both tables must
// end with the same rows (checked on a sample), else MISMATCH and status 1.
#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/workload/workload_data.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/statements/statement_executor.h"

namespace {

using workload::Person;

constexpr uint64_t kCacheBytes = 67108864;
const char* const kInsert = "INSERT INTO person VALUES (:1, :2, :3, :4, :5)";

// The row a table holds, as "id|age|score|name|city".
std::string RowText(int64_t id, int64_t age, double score, const std::string& name,
                    const std::string& city) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lld|%lld|%.6f|", static_cast<long long>(id),
                static_cast<long long>(age), score);
  return buffer + name + "|" + city;
}

// Numbers reach a statement as text, as a host's values do.
class ZorvaneSide {
 public:
  explicit ZorvaneSide(const std::string& dir) {
    zv::StartKernel(kCacheBytes);
    mDb = std::make_unique<OBL_DataBase>();
    mDb->Create((std::filesystem::path(dir) / "statements.zorvane").string(), 65536, 4,
                FBL_ByteOrder::kDefault);
    SQL_Execute(*mDb,
                "CREATE TABLE person (id Long UNIQUE, age Short INDEXED, score Double,"
                " name String(20) INDEXED, city VarChar(40))");
  }
  ~ZorvaneSide() {
    mDb->Close();
    mDb.reset();
    zv::StopKernel();
  }
  void Insert(const std::vector<Person>& people) {
    char id[16], age[8], score[32];
    SQL_Param params[5];
    for (const Person& p : people) {
      params[0].mBytes = std::string_view(id, std::to_chars(id, id + sizeof id, p.id).ptr - id);
      params[1].mBytes =
          std::string_view(age, std::to_chars(age, age + sizeof age, p.age).ptr - age);
      params[2].mBytes =
          std::string_view(score, std::to_chars(score, score + sizeof score, p.score).ptr - score);
      params[3].mBytes = p.name;
      params[4].mBytes = p.city;
      SQL_Execute(*mDb, kInsert, params);
    }
    mDb->Flush();
  }
  std::string Row(uint32_t rec) {
    OBL_BaseObject& t = *mDb->FindBaseObject("person");
    t.GetStore().GoToRecord(rec);
    return RowText(std::stoll(t.GetField("id")->GetString()),
                   std::stoll(t.GetField("age")->GetString()), t.GetField("score")->GetAsDouble(),
                   t.GetField("name")->GetString(), t.GetField("city")->GetString());
  }
  uint32_t Count() { return mDb->FindBaseObject("person")->GetStore().GetRecordCount(); }

 private:
  std::unique_ptr<OBL_DataBase> mDb;
};

class SqliteSide {
 public:
  explicit SqliteSide(const std::string& dir) {
    const std::string path = (std::filesystem::path(dir) / "statements.sqlite").string();
    std::filesystem::remove(path);
    sqlite3_open(path.c_str(), &mDb);
    for (const char* sql :
         {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=NORMAL", "PRAGMA cache_size=-65536",
          "CREATE TABLE person (id INTEGER, age INTEGER, score REAL, name TEXT,"
          " city TEXT)",
          "CREATE UNIQUE INDEX person_id ON person(id)", "CREATE INDEX person_age ON person(age)",
          "CREATE INDEX person_name ON person(name)"})
      sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr);
  }
  ~SqliteSide() { sqlite3_close(mDb); }
  void Insert(const std::vector<Person>& people) {
    sqlite3_exec(mDb, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(mDb, "INSERT INTO person VALUES (?, ?, ?, ?, ?)", -1, &s, nullptr);
    for (const Person& p : people) {
      sqlite3_bind_int(s, 1, p.id);
      sqlite3_bind_int(s, 2, p.age);
      sqlite3_bind_double(s, 3, p.score);
      sqlite3_bind_text(s, 4, p.name.data(), int(p.name.size()), SQLITE_STATIC);
      sqlite3_bind_text(s, 5, p.city.data(), int(p.city.size()), SQLITE_STATIC);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, nullptr);
  }
  std::string Row(uint32_t rec) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(mDb, "SELECT id, age, score, name, city FROM person WHERE rowid = ?", -1, &s,
                       nullptr);
    sqlite3_bind_int64(s, 1, rec);
    std::string row = "missing";
    if (sqlite3_step(s) == SQLITE_ROW) {
      auto text = [&](int c) {
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)));
      };
      row = RowText(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                    sqlite3_column_double(s, 2), text(3), text(4));
    }
    sqlite3_finalize(s);
    return row;
  }

 private:
  sqlite3* mDb = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  uint32_t rows = 1000000;
  std::string dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rows") {
      rows = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    } else if (option == "--dir") {
      dir = argv[i + 1];
    }
  }
  const bool ownDir = dir.empty();
  if (ownDir) dir = std::filesystem::temp_directory_path() / "zor-statement-insert";
  std::filesystem::create_directories(dir);
  const workload::Workload w = workload::MakeWorkload(rows);
  int status = 0;
  try {
    ZorvaneSide zorvane(dir);
    SqliteSide sqlite(dir);
    const double z = Seconds([&] { zorvane.Insert(w.people); });
    const double s = Seconds([&] { sqlite.Insert(w.people); });
    bool same = zorvane.Count() == rows;
    for (uint32_t rec : {1u, rows / 2 + 1, rows})
      same = same && zorvane.Row(rec) == sqlite.Row(rec);
    std::printf("T1-statements %.3f %.3f %.2f%s\n", z, s, z / s, same ? "" : " MISMATCH");
    status = same ? 0 : 1;
  } catch (const xFBL_Exception& e) {
    std::fprintf(stderr, "zorvane failed with error %d\n", int(e.Code));
    status = 1;
  }
  if (ownDir) std::filesystem::remove_all(dir);
  return status;
}
