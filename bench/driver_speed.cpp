// bench_driver_speed: the workload's T2 (point lookups reading all five
// fields) and a walk of the whole table, through the database-driver
// interface (a connection object, bound queries, cursor objects), beside
// SQLite's C API doing the same (prepared statement, step, column_text).
//
//   bench_driver_speed [--rows N] [--dir PATH]
//
// Prints "T2-driver" and "walk-driver" lines: <zorvane s> <sqlite s>
// <ratio>; both sides must find the same rows, else MISMATCH and status 1.
#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "api/api_layer.h"
#include "api/zdk_database.h"
#include "bench/bench_timing.h"
#include "bench/workload/workload_data.h"
#include "zorvane/dbdriver.h"

namespace {

using workload::Person;

constexpr uint32_t kCacheBytes = 67108864;
const char* const kColumns = "SELECT id, age, score, name, city FROM person";
const char* const kLookup = "SELECT id, age, score, name, city FROM person WHERE id = :1";
// The bytes read, kept so that no read is left out; the texts of a number
// differ between the engines, so only the rows are compared.
size_t gBytesRead = 0;

BindValue Bind(const std::string& text) {
  return BindValue{text.data(), static_cast<uint32_t>(text.size()), 0};
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_driver_speed: %s\n", what.c_str());
  std::exit(1);
}

class DriverSide {
 public:
  explicit DriverSide(const std::string& path, const std::vector<Person>& people) {
    api::ZDK_Start(kCacheBytes);
    api::ZDK_DataBase& db = api::NewDataBase();
    db.Create(path, 65536, 4);
    db.Close();
    api::DeleteDataBase(db);
    mConnection = newdbconnectionref();
    std::vector<std::string> words = {"", path, "", "", std::to_string(kCacheBytes)};
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    if (!mConnection->Connect(args.data(), static_cast<int32_t>(args.size())))
      Fail(mConnection->GetErrorMessage());
    Exec("CREATE TABLE person (id Long UNIQUE, age Short INDEXED, score Double,"
         " name String(20) INDEXED, city VarChar(40))", {});
    for (const Person& p : people) {
      char score[32];
      std::snprintf(score, sizeof score, "%.6f", p.score);
      const std::string id = std::to_string(p.id), age = std::to_string(p.age);
      Exec("INSERT INTO person VALUES (:1, :2, :3, :4, :5)",
           {Bind(id), Bind(age), Bind(score), Bind(p.name), Bind(p.city)});
    }
  }
  ~DriverSide() {
    releasedbconnectionref(mConnection);
    api::ZDK_Stop();
  }

  // Rows found; every field of each is read.
  size_t Lookups(const std::vector<int32_t>& ids) {
    size_t rows = 0;
    for (const int32_t id : ids) {
      const std::string key = std::to_string(id);
      const BindValue bind = Bind(key);
      DBCursor* cursor = mConnection->SqlQuery(kLookup, &bind, 1, true);
      if (cursor == nullptr) Fail(mConnection->GetErrorMessage());
      if (cursor->GetRecordCount() != 0) {
        gBytesRead += RowBytes(*cursor);
        ++rows;
      }
      mConnection->DeleteCursor(cursor->GetId());
    }
    return rows;
  }

  size_t Walk() {
    size_t rows = 0;
    DBCursor* cursor = mConnection->SqlQuery(kColumns, nullptr, 0, true);
    if (cursor == nullptr) Fail(mConnection->GetErrorMessage());
    for (cursor->First(); !cursor->IsEOF(); cursor->Next()) {
      gBytesRead += RowBytes(*cursor);
      ++rows;
    }
    mConnection->DeleteCursor(cursor->GetId());
    return rows;
  }

 private:
  static size_t RowBytes(DBCursor& cursor) {
    size_t bytes = 0;
    for (uint16_t f = 1; f <= 5; ++f) {
      uint32_t length = 0;
      cursor.GetFieldData(f, &length);
      bytes += length;
    }
    return bytes;
  }

  void Exec(const char* text, std::vector<BindValue> binds) {
    uint32_t affected = 0;
    if (!mConnection->SqlExecute(text, binds.data(), static_cast<int32_t>(binds.size()), &affected))
      Fail(mConnection->GetErrorMessage());
  }

  DBConnection* mConnection = nullptr;
};

class SqliteSide {
 public:
  SqliteSide(const std::string& path, const std::vector<Person>& people) {
    if (sqlite3_open(path.c_str(), &mDb) != SQLITE_OK) Fail("cannot open the SQLite file");
    Exec("PRAGMA journal_mode=DELETE");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA cache_size=-65536");
    Exec(workload::kSqlitePersonTable);
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare("INSERT INTO person VALUES (?, ?, ?, ?, ?)");
    for (const Person& p : people) {
      sqlite3_bind_int(insert, 1, p.id);
      sqlite3_bind_int(insert, 2, p.age);
      sqlite3_bind_double(insert, 3, p.score);
      sqlite3_bind_text(insert, 4, p.name.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 5, p.city.c_str(), -1, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) Fail(sqlite3_errmsg(mDb));
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }
  ~SqliteSide() { sqlite3_close(mDb); }

  size_t Lookups(const std::vector<int32_t>& ids) {
    sqlite3_stmt* select = Prepare((std::string(kColumns) + " WHERE id = ?").c_str());
    size_t rows = 0;
    for (const int32_t id : ids) {
      sqlite3_bind_int(select, 1, id);
      while (sqlite3_step(select) == SQLITE_ROW) {
        gBytesRead += RowBytes(select);
        ++rows;
      }
      sqlite3_reset(select);
    }
    sqlite3_finalize(select);
    return rows;
  }

  size_t Walk() {
    sqlite3_stmt* select = Prepare(kColumns);
    size_t rows = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      gBytesRead += RowBytes(select);
      ++rows;
    }
    sqlite3_finalize(select);
    return rows;
  }

 private:
  static size_t RowBytes(sqlite3_stmt* select) {
    size_t bytes = 0;
    for (int c = 0; c < 5; ++c) {
      sqlite3_column_text(select, c);
      bytes += static_cast<size_t>(sqlite3_column_bytes(select, c));
    }
    return bytes;
  }
  void Exec(const char* text) {
    if (sqlite3_exec(mDb, text, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(mDb));
  }
  sqlite3_stmt* Prepare(const char* text) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(mDb, text, -1, &statement, nullptr) != SQLITE_OK)
      Fail(sqlite3_errmsg(mDb));
    return statement;
  }

  sqlite3* mDb = nullptr;
};

bool Report(const char* step, double zorvane, double sqlite, size_t zorvaneRows,
            size_t sqliteRows) {
  std::printf("%s %.3f %.3f %.2f%s\n", step, zorvane, sqlite, zorvane / sqlite,
              zorvaneRows == sqliteRows ? "" : " MISMATCH");
  return zorvaneRows == sqliteRows;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t rows = 1000000;
  std::string dir = std::filesystem::temp_directory_path().string();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rows") == 0) {
      std::from_chars(argv[i + 1], argv[i + 1] + std::strlen(argv[i + 1]), rows);
    } else if (std::strcmp(argv[i], "--dir") == 0) {
      dir = argv[i + 1];
    }
  }
  const auto folder = std::filesystem::path(dir) / ("zor_driver_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const workload::Workload work = workload::MakeWorkload(rows);
  bool same = true;
  {
    DriverSide driver((folder / "driver.vdb").string(), work.people);
    SqliteSide sqlite((folder / "driver.sqlite").string(), work.people);
    size_t zRows = 0, sRows = 0;
    const double zT2 = Seconds([&] { zRows = driver.Lookups(work.lookupIds); });
    const double sT2 = Seconds([&] { sRows = sqlite.Lookups(work.lookupIds); });
    same &= Report("T2-driver", zT2, sT2, zRows, sRows);
    const double zWalk = Seconds([&] { zRows = driver.Walk(); });
    const double sWalk = Seconds([&] { sRows = sqlite.Walk(); });
    same &= Report("walk-driver", zWalk, sWalk, zRows, sRows);
  }
  std::filesystem::remove_all(folder);
  return same ? 0 : 1;
}
