// The schema's own costs: opening a database of many tables (the schema
// read from sysItem, every table's files opened) and making a table with
// its fields in a database that already holds them.
//
//   bench_schema_open [tables] [fields]     (default 200 tables, 20 fields)
//
// Phase 1 makes the tables, each by one CREATE TABLE statement. Phase 2
// makes kMore tables more, taking turns between the two ways a user makes
// one: a CREATE TABLE statement through SQL_Execute (one commit) and the
// object-layer calls, MakeNewBaseObject then MakeNewField per field (a
// commit per schema change). Phase 3 closes the database and times seven
// opens. Medians are printed, processor time beside wall time: every commit
// syncs, so on a busy disk the wall time is mostly syncs. Exit status 1
// when an open takes 50 ms or more, or a table made by statement 5 ms or
// more.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_types.h"
#include "objects/object_database.h"
#include "platform/env.h"
#include "sql/statements/statement_executor.h"

namespace {

constexpr int kOpens = 7;
constexpr uint32_t kMore = 15;

// A mix of the common kinds: fixed numbers, texts (some indexed), dates.
OBL_FieldSpec FieldSpec(uint32_t i) {
  static constexpr uint8_t kTypes[] = {kTypeLong,   kTypeVarChar, kTypeDouble, kTypeString,
                                       kTypeDate,   kTypeShort,   kTypeText,   kTypeBoolean,
                                       kTypeLLong,  kTypeDateTime};
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = "field" + std::to_string(i);
  fieldSpec.mType = kTypes[i % std::size(kTypes)];
  fieldSpec.mSize = fieldSpec.mType == kTypeVarChar || fieldSpec.mType == kTypeString ? 40 : 0;
  if (i % 4 == 1) fieldSpec.mFlags = kFieldIndexed;
  return fieldSpec;
}

// The same table as a statement: NOT NULL as the object layer's fields.
std::string CreateStatement(const std::string& name, uint32_t fields) {
  std::string text = "CREATE TABLE " + name + " (";
  for (uint32_t f = 0; f < fields; ++f) {
    const OBL_FieldSpec fieldSpec = FieldSpec(f);
    if (f > 0) text += ", ";
    // The statements' name of LLong is not the type's display name.
    text += fieldSpec.mName + ' ' +
            (fieldSpec.mType == kTypeLLong ? "LLong" : zv::TypeName(fieldSpec.mType));
    if (fieldSpec.mSize != 0) text += '(' + std::to_string(fieldSpec.mSize) + ')';
    text += " NOT NULL";
    if (fieldSpec.mFlags & kFieldIndexed) text += " INDEXED";
  }
  return text + ')';
}

// Wall and processor seconds of one table made.
struct Timing {
  std::vector<double> mWall, mCpu;
  void Take(const std::function<void()>& work) {
    const std::clock_t cpu = std::clock();
    mWall.push_back(Seconds(work));
    mCpu.push_back(double(std::clock() - cpu) / CLOCKS_PER_SEC);
  }
  void Print(const char* what, uint32_t fields) const {
    std::printf("%s, %u fields: median %.2f ms wall, %.2f ms processor (of %zu)\n", what, fields,
                Median(mWall) * 1e3, Median(mCpu) * 1e3, mWall.size());
  }
};

}  // namespace

int main(int argc, char** argv) {
  const uint32_t tables = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 200;
  const uint32_t fields = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20;
  if (tables == 0 || fields == 0) {
    std::fprintf(stderr, "usage: bench_schema_open [tables] [fields]\n");
    return 2;
  }
  zv::StartKernel(64u << 20);
  const std::string dir = platform::Env::Default()->CreateTempDirectory();
  const std::string path = dir + "/schema";
  Timing first, bySql, byCalls;
  {
    OBL_DataBase db;
    db.Create(path, 32768, 4, FBL_ByteOrder::kDefault);
    for (uint32_t t = 0; t < tables; ++t) {
      const std::string text = CreateStatement("table" + std::to_string(t), fields);
      first.Take([&] { SQL_Execute(db, text); });
    }
    for (uint32_t t = 0; t < kMore; ++t) {
      const std::string text = CreateStatement("sql" + std::to_string(t), fields);
      bySql.Take([&] { SQL_Execute(db, text); });
      byCalls.Take([&] {
        OBL_BaseObject& table = db.MakeNewBaseObject("calls" + std::to_string(t));
        for (uint32_t f = 0; f < fields; ++f) table.MakeNewField(FieldSpec(f));
      });
    }
  }
  Timing opens;
  uint32_t loaded = 0;
  for (int i = 0; i < kOpens; ++i) {
    OBL_DataBase db;
    opens.Take([&] { db.Open(path); });
    loaded = db.GetBaseObjectCount();
    db.Close();
  }
  std::filesystem::remove_all(dir);
  zv::StopKernel();
  if (loaded != tables + 2 * kMore) {
    std::fprintf(stderr, "opened %u tables of %u\n", loaded, tables + 2 * kMore);
    return 1;
  }
  const double open = Median(opens.mWall) * 1e3;
  std::printf("%u tables made by CREATE TABLE: first %.2f ms, last %.2f ms wall\n", tables,
              first.mWall.front() * 1e3, first.mWall.back() * 1e3);
  bySql.Print("a table by CREATE TABLE beside them", fields);
  byCalls.Print("a table by object-layer calls beside them", fields);
  std::printf("open %u tables of %u fields: median of %d %.2f ms wall, %.2f ms processor\n",
              loaded, fields, kOpens, open, Median(opens.mCpu) * 1e3);
  const double table = Median(bySql.mWall) * 1e3;
  return open < 50.0 && table < 5.0 ? 0 : 1;
}
