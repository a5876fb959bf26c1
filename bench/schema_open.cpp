// The schema's own costs: opening a database of many tables (the schema
// read from sysItem, every table's files opened) and making a table with
// its fields (each field one schema change, one flush).
//
//   bench_schema_open [tables] [fields]     (default 200 tables, 20 fields)
//
// Phase 1 makes the database once and times each table made into it (the
// first on an empty database, the last with every other table there).
// Phase 2 closes it and times seven opens. Medians are printed. Exit status
// 1 when an open takes 50 ms or more, or a table 5 ms or more. Each table's
// processor time is printed beside its wall time: every schema change is a
// durable commit, so on a busy disk the wall time is mostly syncs.
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

namespace {

constexpr int kOpens = 7;

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
  std::vector<double> made, madeCpu;
  {
    OBL_DataBase db;
    db.Create(path, 32768, 4, FBL_ByteOrder::kDefault);
    for (uint32_t t = 0; t < tables; ++t) {
      const std::clock_t cpu = std::clock();
      made.push_back(Seconds([&] {
        OBL_BaseObject& table = db.MakeNewBaseObject("table" + std::to_string(t));
        for (uint32_t f = 0; f < fields; ++f) table.MakeNewField(FieldSpec(f));
      }));
      madeCpu.push_back(double(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
  }
  std::vector<double> opens;
  uint32_t loaded = 0;
  for (int i = 0; i < kOpens; ++i) {
    OBL_DataBase db;
    opens.push_back(Seconds([&] { db.Open(path); }));
    loaded = db.GetBaseObjectCount();
    db.Close();
  }
  std::filesystem::remove_all(dir);
  zv::StopKernel();
  if (loaded != tables) {
    std::fprintf(stderr, "opened %u tables of %u\n", loaded, tables);
    return 1;
  }
  const double table = Median(made) * 1e3;
  const double first = made.front() * 1e3, last = made.back() * 1e3;
  const double open = Median(opens) * 1e3;
  std::printf("make a table of %u fields: median %.2f ms (first %.2f, last %.2f)\n", fields, table,
              first, last);
  std::printf("  processor time: median %.2f ms (first %.2f, last %.2f)\n",
              Median(madeCpu) * 1e3, madeCpu.front() * 1e3, madeCpu.back() * 1e3);
  std::printf("open %u tables of %u fields: median of %d %.2f ms\n", tables, fields, kOpens, open);
  return open < 50.0 && table < 5.0 ? 0 : 1;
}
