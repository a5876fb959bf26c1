// The workload through the command interface: every step is a call of the
// Zorvane function with text arguments, as a script makes it. T1 adds the
// rows with Cursor_AddRecords in batches of text, T2 to T7 and T11 read
// Database_SQLSelectRecords' text, T8 and T9 are UPDATE and DELETE. Each
// step that writes ends with Database_Flush: its changes are on disk when
// it ends, as SQLite's are after its commit and the kernel level's after
// its flush.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "platform/errors.h"
#include "zorvane/xcmd.h"

namespace workload {

namespace {

constexpr const char* kBaseName = "workload.commands";
constexpr size_t kRowsPerBatch = 10000;

// The fields of a record of text, split at tabs (views into `line`).
std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1) {
    out.push_back(line.substr(start, tab - start));
  }
  out.push_back(line.substr(start));
  return out;
}

uint64_t Number(std::string_view text) {
  return std::strtoull(std::string(text).c_str(), nullptr, 10);
}

class CommandsEngine : public Engine {
 public:
  explicit CommandsEngine(uint64_t cacheBytes) : mCacheBytes(cacheBytes) {}
  ~CommandsEngine() override {
    if (!mDb.empty()) Call({"Database_Close", mDb}, false);
    Call({"ShutDown"}, false);
  }
  const char* Name() const override { return "commands"; }

  bool Open(const std::string& dir, std::string& error) override {
    getXtable(nullptr, nullptr, nullptr, nullptr, &mRelease);
    try {
      mDir = dir;
      Call({"Init", std::to_string(mCacheBytes)});
      mDb = Call({"Database_Create", (std::filesystem::path(dir) / kBaseName).string()});
      Execute(
          "CREATE TABLE person (id Long UNIQUE, age Short INDEXED, score Double, "
          "name String(20) INDEXED, city VarChar(40))");
      return true;
    } catch (const xFBL_Exception& e) {
      error = "error " + std::to_string(e.Code);
      return false;
    }
  }

  std::optional<uint64_t> Run(int step, const Workload& w) override {
    try {
      return Engine::Run(step, w);
    } catch (const xFBL_Exception& e) {
      std::fprintf(stderr, "commands: T%d failed with error %d\n", step, int(e.Code));
      return UINT64_MAX;
    }
  }

 private:
  // The result text; "ERROR n" throws n when `check` is set.
  std::string Call(std::vector<std::string> words, bool check = true) {
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(word.data());
    char* result = nullptr;
    int32_t a = 0, b = 0;
    Zorvane(args.data(), int(args.size()), &result, &a, &b);
    std::string text = result != nullptr ? result : "";
    if (result != nullptr && mRelease != nullptr) mRelease(result);
    if (check && text.rfind("ERROR ", 0) == 0) throw xFBL_Exception(std::atoi(text.c_str() + 6));
    return text;
  }

  uint64_t Execute(const std::string& sql, std::vector<std::string> params = {}) {
    std::vector<std::string> words = {"Database_SqlExecute", mDb, sql};
    words.insert(words.end(), params.begin(), params.end());
    return Number(Call(std::move(words)));
  }

  std::string Records(const std::string& sql) {
    return Call({"Database_SQLSelectRecords", mDb, sql});
  }

  uint64_t Count(const std::string& sql) { return Number(Records(sql)); }

  void Flush() { Call({"Database_Flush", mDb}); }

  // Records from text through a writable cursor, a batch per call; line(i,
  // out) appends record i's text. Each batch is written as it is sent: a
  // text per record kept for the whole step would leave a million small
  // blocks for the allocator to gather on some later step's time.
  template <typename Line>
  void AddLines(const std::string& select, size_t count, Line line) {
    const std::string cursor = Call({"DataBase_SQLSelect", mDb, select, "1", "1", "2"});
    std::string batch;
    for (size_t i = 0; i < count; ++i) {
      if (!batch.empty()) batch += '\n';
      line(i, batch);
      if ((i + 1) % kRowsPerBatch == 0 || i + 1 == count) {
        Call({"Cursor_AddRecords", cursor, batch});
        batch.clear();
      }
    }
    Call({"Cursor_Remove", cursor});
  }

  Answer Insert(const Workload& w) override {
    char score[40];
    AddLines("SELECT id, age, score, name, city FROM person", w.people.size(),
             [&](size_t i, std::string& out) {
               const Person& p = w.people[i];
               // The shortest text that reads back as the same double.
               const std::string_view text(score, std::to_chars(score, score + sizeof score,
                                                                p.score).ptr - score);
               out += std::to_string(p.id) + '\t' + std::to_string(p.age) + '\t';
               out += text;
               out += '\t' + p.name + '\t' + p.city;
             });
    Flush();
    return w.people.size();
  }

  Answer Lookups(const Workload& w) override {
    uint64_t sum = 0;
    for (int32_t id : w.lookupIds) {
      const std::string row =
          Records("SELECT id, age, score, name, city FROM person WHERE id = " + std::to_string(id));
      if (row.empty()) continue;
      const auto f = SplitTabs(row);
      if (f.size() != 5) throw xFBL_Exception(ERR_INTERNAL, "a row of five values");
      sum += RowChecksum(int64_t(std::strtoll(std::string(f[0]).c_str(), nullptr, 10)),
                         int64_t(std::strtoll(std::string(f[1]).c_str(), nullptr, 10)),
                         std::strtod(std::string(f[2]).c_str(), nullptr), std::string(f[3]),
                         std::string(f[4]));
    }
    return sum;
  }

  Answer AgeCounts(const Workload& w) override {
    uint64_t total = 0;
    for (int32_t a : w.ageFrom) {
      total += Count("SELECT count(*) FROM person WHERE age >= " + std::to_string(a) +
                     " AND age <= " + std::to_string(a + 4));
    }
    return total;
  }

  Answer PrefixCounts(const Workload& w) override {
    uint64_t total = 0;
    for (const std::string& prefix : w.namePrefixes) {
      total += Count("SELECT count(*) FROM person WHERE name >= '" + prefix + "' AND name < '" +
                     PrefixUpperBound(prefix) + "'");
    }
    return total;
  }

  Answer ScoreCounts() override {
    uint64_t total = 0;
    for (int k = 0; k < 10; ++k) total += Count("SELECT count(*) FROM person WHERE score > 0.5");
    return total;
  }

  Answer WalkByScore() override {
    const std::string text = Records("SELECT id FROM person ORDER BY score");
    uint64_t rows = 0;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (text.compare(start, end - start, "0") != 0) ++rows;
      start = end + 1;
    }
    return rows;
  }

  Answer Groups() override {
    const std::string text = Records("SELECT age, count(*), avg(score) FROM person GROUP BY age");
    uint64_t count = 0, rows = 0;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const auto f = SplitTabs(std::string_view(text).substr(start, end - start));
      ++count;
      if (f.size() > 1) rows += Number(f[1]);
      start = end + 1;
    }
    return count * 1000000007ULL + rows;
  }

  Answer MoveCities() override {
    const uint64_t count = Execute("UPDATE person SET city = :1 WHERE age = 7", {"moved"});
    Flush();
    return count;
  }

  Answer DeleteYoung() override {
    const uint64_t count = Execute("DELETE FROM person WHERE age < 10");
    Flush();
    return count;
  }

  // Each trip points to its person's record (RecID = id: people are added
  // in id order and never renumbered).
  void MakeTrips(const Workload& w) override {
    Execute("CREATE TABLE trip (id Long, owner ObjectPtr REFERENCES person)");
    AddLines("SELECT id, owner FROM trip", w.tripOwners.size(), [&](size_t i, std::string& out) {
      out += std::to_string(i + 1) + '\t' + std::to_string(w.tripOwners[i]);
    });
    Flush();
  }

  Answer JoinTrips() override {
    const std::string row = Records(
        "SELECT count(*), sum(person.age) FROM trip, person WHERE trip.owner = person.RecID");
    const auto f = SplitTabs(row);
    if (f.size() != 2) throw xFBL_Exception(ERR_INTERNAL, "a row of two values");
    return Number(f[0]) * 1000000007ULL + uint64_t(std::strtod(std::string(f[1]).c_str(), nullptr));
  }

  Answer CloseAndMeasure() override {
    Call({"Database_Close", mDb});
    mDb.clear();
    uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(mDir)) {
      if (entry.path().filename().string().rfind(kBaseName, 0) == 0 && entry.is_regular_file()) {
        total += entry.file_size();
      }
    }
    return total;
  }

  const uint64_t mCacheBytes;
  std::string mDir;
  std::string mDb;
  ZorvaneReleaseFn mRelease = nullptr;
};

}  // namespace

std::unique_ptr<Engine> MakeCommandsEngine(uint64_t cacheBytes) {
  return std::make_unique<CommandsEngine>(cacheBytes);
}

}  // namespace workload
