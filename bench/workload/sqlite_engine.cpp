// The workload on SQLite: the peer every figure is measured against.
#include <sqlite3.h>

#include <filesystem>

#include "engine.h"

namespace workload {

namespace {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &mStatement, nullptr); }
  ~Statement() { sqlite3_finalize(mStatement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return mStatement; }
  bool Step() { return sqlite3_step(mStatement) == SQLITE_ROW; }
  void Reset() {
    sqlite3_reset(mStatement);
    sqlite3_clear_bindings(mStatement);
  }

 private:
  sqlite3_stmt* mStatement = nullptr;
};

std::string Text(sqlite3_stmt* s, int column) {
  const auto* text = sqlite3_column_text(s, column);
  return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
}

class SqliteEngine : public Engine {
 public:
  explicit SqliteEngine(uint64_t cacheBytes) : mCacheBytes(cacheBytes) {}
  ~SqliteEngine() override { Close(); }
  const char* Name() const override { return "sqlite"; }

  bool Open(const std::string& dir, std::string& error) override {
    mPath = (std::filesystem::path(dir) / "workload.sqlite").string();
    std::filesystem::remove(mPath);
    if (sqlite3_open(mPath.c_str(), &mDb) != SQLITE_OK) {
      error = sqlite3_errmsg(mDb);
      return false;
    }
    Exec("PRAGMA journal_mode=DELETE");
    Exec("PRAGMA synchronous=NORMAL");
    Exec(("PRAGMA cache_size=-" + std::to_string(mCacheBytes / 1024)).c_str());
    Exec(workload::kSqlitePersonTable);
    return true;
  }

 private:
  void Exec(const char* sql) { sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr); }

  void Close() {
    if (mDb != nullptr) sqlite3_close(mDb);
    mDb = nullptr;
  }

  Answer Insert(const Workload& w) override {
    Exec("BEGIN");
    Statement insert(mDb, "INSERT INTO person VALUES (?, ?, ?, ?, ?)");
    for (const Person& p : w.people) {
      sqlite3_bind_int(insert.get(), 1, p.id);
      sqlite3_bind_int(insert.get(), 2, p.age);
      sqlite3_bind_double(insert.get(), 3, p.score);
      sqlite3_bind_text(insert.get(), 4, p.name.data(), int(p.name.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert.get(), 5, p.city.data(), int(p.city.size()), SQLITE_STATIC);
      sqlite3_step(insert.get());
      insert.Reset();
    }
    Exec("COMMIT");
    return w.people.size();
  }

  Answer Lookups(const Workload& w) override {
    Statement select(mDb, "SELECT id, age, score, name, city FROM person WHERE id = ?");
    uint64_t sum = 0;
    for (int32_t id : w.lookupIds) {
      sqlite3_bind_int(select.get(), 1, id);
      if (select.Step()) {
        sqlite3_stmt* s = select.get();
        sum += RowChecksum(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                           sqlite3_column_double(s, 2), Text(s, 3), Text(s, 4));
      }
      select.Reset();
    }
    return sum;
  }

  Answer AgeCounts(const Workload& w) override {
    Statement count(mDb, "SELECT count(*) FROM person WHERE age BETWEEN ? AND ?");
    uint64_t total = 0;
    for (int32_t a : w.ageFrom) {
      sqlite3_bind_int(count.get(), 1, a);
      sqlite3_bind_int(count.get(), 2, a + 4);
      if (count.Step()) total += uint64_t(sqlite3_column_int64(count.get(), 0));
      count.Reset();
    }
    return total;
  }

  Answer PrefixCounts(const Workload& w) override {
    Statement count(mDb, "SELECT count(*) FROM person WHERE name >= ? AND name < ?");
    uint64_t total = 0;
    for (const std::string& prefix : w.namePrefixes) {
      const std::string bound = PrefixUpperBound(prefix);
      sqlite3_bind_text(count.get(), 1, prefix.data(), int(prefix.size()), SQLITE_STATIC);
      sqlite3_bind_text(count.get(), 2, bound.data(), int(bound.size()), SQLITE_STATIC);
      if (count.Step()) total += uint64_t(sqlite3_column_int64(count.get(), 0));
      count.Reset();
    }
    return total;
  }

  Answer ScoreCounts() override {
    Statement count(mDb, "SELECT count(*) FROM person WHERE score > 0.5");
    uint64_t total = 0;
    for (int k = 0; k < 10; ++k) {
      if (count.Step()) total += uint64_t(sqlite3_column_int64(count.get(), 0));
      count.Reset();
    }
    return total;
  }

  Answer WalkByScore() override {
    Statement walk(mDb, "SELECT id FROM person ORDER BY score");
    uint64_t rows = 0;
    while (walk.Step()) ++rows;
    return rows;
  }

  // Groups and rows counted; the averages are part of the work, not the answer.
  Answer Groups() override {
    Statement groups(mDb, "SELECT age, count(*), avg(score) FROM person GROUP BY age");
    uint64_t count = 0, rows = 0;
    while (groups.Step()) {
      ++count;
      rows += uint64_t(sqlite3_column_int64(groups.get(), 1));
    }
    return count * 1000000007ULL + rows;
  }

  // The answer: joined rows, and the sum of their people's ages.
  Answer JoinTrips() override {
    Statement join(
        mDb, "SELECT count(*), sum(person.age) FROM trip, person WHERE trip.owner = person.id");
    uint64_t answer = 0;
    if (join.Step()) {
      answer = uint64_t(sqlite3_column_int64(join.get(), 0)) * 1000000007ULL +
               uint64_t(sqlite3_column_int64(join.get(), 1));
    }
    return answer;
  }

  void MakeTrips(const Workload& w) override {
    Exec("CREATE TABLE trip (id INTEGER, owner INTEGER)");
    Exec("BEGIN");
    Statement insert(mDb, "INSERT INTO trip VALUES (?, ?)");
    for (size_t i = 0; i < w.tripOwners.size(); ++i) {
      sqlite3_bind_int(insert.get(), 1, int(i + 1));
      sqlite3_bind_int(insert.get(), 2, w.tripOwners[i]);
      sqlite3_step(insert.get());
      insert.Reset();
    }
    Exec("COMMIT");
  }

  Answer MoveCities() override { return Changes("UPDATE person SET city = 'moved' WHERE age = 7"); }
  Answer DeleteYoung() override { return Changes("DELETE FROM person WHERE age < 10"); }

  uint64_t Changes(const char* sql) {
    Exec(sql);
    return uint64_t(sqlite3_changes(mDb));
  }

  Answer CloseAndMeasure() override {
    Close();
    std::error_code ec;
    const auto size = std::filesystem::file_size(mPath, ec);
    return ec ? 0 : uint64_t(size);
  }

  const uint64_t mCacheBytes;
  sqlite3* mDb = nullptr;
  std::string mPath;
};

}  // namespace

std::unique_ptr<Engine> MakeSqliteEngine(uint64_t cacheBytes) {
  return std::make_unique<SqliteEngine>(cacheBytes);
}

}  // namespace workload
