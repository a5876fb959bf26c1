// Dumping and loading the workload's person table (bench-workload.md):
// the SQL dump against SQLite's own dump of the same table made through
// its C API the way its shell's .dump does (one INSERT per row, values
// formatted by sqlite3_mprintf), and the XML dump and load.
//
//   bench_dump_speed [--rows N] [--only sql|xml|load] [--runs K]
//
// The table is filled once on each side (not timed); each figure is the
// median of the runs (three by default). --only keeps one measurement (the
// load still needs one XML dump, untimed), for profiling. Exit status 1
// when the SQL dump takes longer than SQLite's, or the XML dump or load
// more than 3 s per million rows.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "bench/workload/workload_data.h"
#include "dump/dump_service.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/env.h"

namespace {

struct Options {
  uint32_t rows = 1000000;
  int runs = 3;
  std::string only;
  bool Wants(const char* part) const { return only.empty() || only == part; }
};

bool ParseOptions(int argc, char** argv, Options& options) {
  const bool taken =
      ParseNamedOptions(argc, argv, [&](const std::string& arg, const std::string& value) {
        if (arg == "--rows") {
          options.rows = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg == "--runs") {
          options.runs = std::max(1, std::atoi(value.c_str()));
        } else if (arg == "--only" && (value == "sql" || value == "xml" || value == "load")) {
          options.only = value;
        } else {
          return false;
        }
        return true;
      });
  return taken && options.rows > 0;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

FBL_BaseField& Add(OBL_BaseObject& table, const char* name, uint8_t type, uint32_t size,
                   uint16_t flags) {
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = name;
  fieldSpec.mType = type;
  fieldSpec.mSize = size;
  fieldSpec.mFlags = flags;
  return table.MakeNewField(fieldSpec);
}

void FillZorvane(OBL_DataBase& db, const workload::Workload& w) {
  OBL_BaseObject& person = db.MakeNewBaseObject("person");
  FBL_BaseField& id = Add(person, "id", kTypeLong, 0, kFieldUnique | kFieldIndexed);
  FBL_BaseField& age = Add(person, "age", kTypeShort, 0, kFieldIndexed);
  FBL_BaseField& score = Add(person, "score", kTypeDouble, 0, 0);
  FBL_BaseField& name = Add(person, "name", kTypeString, 20, kFieldIndexed);
  FBL_BaseField& city = Add(person, "city", kTypeVarChar, 40, 0);
  OBL_ObjectTable& store = person.GetStore();
  for (const workload::Person& p : w.people) {
    id.SetValue(&p.id);
    age.SetValue(&p.age);
    score.SetValue(&p.score);
    name.SetString(p.name);
    city.SetString(p.city);
    store.AddRecord();
  }
  db.Flush();
}

void FillSqlite(sqlite3* db, const workload::Workload& w) {
  Check(sqlite3_exec(db, workload::kSqlitePersonTable, nullptr, nullptr, nullptr), db);
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  Check(sqlite3_prepare_v2(db, "INSERT INTO person VALUES(?,?,?,?,?)", -1, &insert, nullptr), db);
  for (const workload::Person& p : w.people) {
    sqlite3_bind_int(insert, 1, p.id);
    sqlite3_bind_int(insert, 2, p.age);
    sqlite3_bind_double(insert, 3, p.score);
    sqlite3_bind_text(insert, 4, p.name.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 5, p.city.c_str(), -1, SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
}

// What the shell's .dump writes for the table: its schema, then one
// INSERT per row with every value formatted by its storage class.
void DumpSqlite(sqlite3* db, const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "w");
  std::fputs("PRAGMA foreign_keys=OFF;\nBEGIN TRANSACTION;\n", out);
  sqlite3_stmt* schema = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE tbl_name='person'", -1, &schema,
                           nullptr),
        db);
  while (sqlite3_step(schema) == SQLITE_ROW)
    std::fprintf(out, "%s;\n", reinterpret_cast<const char*>(sqlite3_column_text(schema, 0)));
  sqlite3_finalize(schema);
  sqlite3_stmt* rows = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT * FROM person", -1, &rows, nullptr), db);
  const int n = sqlite3_column_count(rows);
  std::string line;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    line = "INSERT INTO person VALUES(";
    for (int c = 0; c < n; ++c) {
      char* value = nullptr;
      switch (sqlite3_column_type(rows, c)) {
        case SQLITE_INTEGER:
          value = sqlite3_mprintf("%lld", sqlite3_column_int64(rows, c));
          break;
        case SQLITE_FLOAT:
          value = sqlite3_mprintf("%!.15g", sqlite3_column_double(rows, c));
          break;
        case SQLITE_TEXT:
          value =
              sqlite3_mprintf("%Q", reinterpret_cast<const char*>(sqlite3_column_text(rows, c)));
          break;
        default:
          value = sqlite3_mprintf("NULL");
          break;
      }
      line += value;
      sqlite3_free(value);
      line += c + 1 < n ? "," : ");\n";
    }
    std::fwrite(line.data(), 1, line.size(), out);
  }
  sqlite3_finalize(rows);
  std::fputs("COMMIT;\n", out);
  std::fclose(out);
}

// Wall-clock and processor seconds of one run (the machine is shared:
// the processor time tells what the work itself took).
struct Timing {
  std::vector<double> wall, cpu;
  void Run(const std::function<void()>& work) {
    const std::clock_t start = std::clock();
    wall.push_back(Seconds(work));
    cpu.push_back(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
  }
  double Wall() const { return Median(wall); }
  double Cpu() const { return Median(cpu); }
};

uint64_t FileSize(const std::string& path) {
  return std::filesystem::file_size(path);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: bench_dump_speed [--rows N] [--only sql|xml|load] [--runs K]\n");
    return 2;
  }
  const uint32_t rows = options.rows;
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  zv::StartKernel(64u << 20);
  zv::dump::InstallDumpService();
  const workload::Workload w = workload::MakeWorkload(rows);

  Timing sql, lite, xml, load;
  uint32_t loaded = 0;
  {
    OBL_DataBase db;
    db.Create(dir + "/z", 32768, 4, FBL_ByteOrder::kDefault);
    FillZorvane(db, w);
    sqlite3* lt = nullptr;
    if (options.Wants("sql")) {
      Check(sqlite3_open((dir + "/s.db").c_str(), &lt), lt);
      sqlite3_exec(lt, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
      FillSqlite(lt, w);
    }
    for (int run = 0; run < options.runs; ++run) {
      if (options.Wants("sql")) {
        sql.Run([&] { db.Dump(dir + "/z.sql", 1); });
        lite.Run([&] { DumpSqlite(lt, dir + "/s.sql"); });
      }
      if (options.Wants("xml")) xml.Run([&] { db.Dump(dir + "/z.xml", 2); });
    }
    if (options.only == "load") db.Dump(dir + "/z.xml", 2);
    if (lt != nullptr) sqlite3_close(lt);
  }
  for (const char* file : {"z.sql", "s.sql", "z.xml"}) {
    if (std::filesystem::exists(dir + "/" + file))
      std::printf("file %s: %llu bytes\n", file,
                  static_cast<unsigned long long>(FileSize(dir + "/" + file)));
  }
  for (int run = 0; options.Wants("load") && run < options.runs; ++run) {
    OBL_DataBase copy;
    const std::string path = dir + "/copy" + std::to_string(run);
    load.Run([&] { copy.LoadDump(dir + "/z.xml", 2, path); });
    loaded = copy.FindBaseObject("person")->GetStore().GetRecordCount();
  }
  std::filesystem::remove_all(dir);
  zv::StopKernel();

  const double perMillion = 1e6 / rows;
  bool ok = true;
  std::printf("rows %u, median of %d runs, seconds wall (processor)\n", rows, options.runs);
  if (options.Wants("sql")) {
    std::printf("SQL dump   %.3f (%.3f)   SQLite dump %.3f (%.3f)   ratio %.2f (%.2f)\n",
                sql.Wall(), sql.Cpu(), lite.Wall(), lite.Cpu(), sql.Wall() / lite.Wall(),
                sql.Cpu() / lite.Cpu());
    ok = ok && sql.Wall() <= lite.Wall();
  }
  if (options.Wants("xml")) {
    std::printf("XML dump   %.3f (%.3f)   per million %.3f (%.3f)\n", xml.Wall(), xml.Cpu(),
                xml.Wall() * perMillion, xml.Cpu() * perMillion);
    ok = ok && xml.Wall() * perMillion <= 3.0;
  }
  if (options.Wants("load")) {
    std::printf("XML load   %.3f (%.3f)   per million %.3f (%.3f)   %u records\n", load.Wall(),
                load.Cpu(), load.Wall() * perMillion, load.Cpu() * perMillion, loaded);
    ok = ok && loaded == rows && load.Wall() * perMillion <= 3.0;
  }
  return ok ? 0 : 1;
}
