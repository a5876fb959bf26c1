// Parsing SELECT statements: the workload's six statements (with literal
// arguments) and a statement of 1,000 OR-ed conditions, each parsed into a
// fresh statement against the workload's person table.
//
//   bench_select_parse [benchmark flags]
//
// Budgets: each workload statement under 20 us; the 1,000 ORs under 2 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_types.h"
#include "objects/object_database.h"
#include "platform/env.h"
#include "sql/parser/select_parser.h"

namespace {

const char* const kStatements[] = {
    "SELECT id, age, score, name, city FROM person WHERE id = 4242",
    "SELECT count(*) FROM person WHERE age BETWEEN 17 AND 21",
    "SELECT count(*) FROM person WHERE name >= 'abc' AND name < 'abd'",
    "SELECT count(*) FROM person WHERE score > 0.5",
    "SELECT id FROM person ORDER BY score",
    "SELECT age, count(*), avg(score) FROM person GROUP BY age",
};

// The workload's schema in a database of a temporary folder.
struct Database {
  Database() : dir(platform::Env::Default()->CreateTempDirectory()) {
    zv::StartKernel(8u << 20);
    db = std::make_unique<OBL_DataBase>();
    db->Create(dir + "/db", 8192, 4, FBL_ByteOrder::kDefault);
    OBL_BaseObject& person = db->MakeNewBaseObject("person");
    const std::pair<const char*, uint8_t> fields[] = {{"id", kTypeLong},
                                                      {"age", kTypeShort},
                                                      {"score", kTypeDouble},
                                                      {"name", kTypeString},
                                                      {"city", kTypeVarChar}};
    for (const auto& [name, type] : fields) {
      OBL_FieldSpec spec;
      spec.mName = name;
      spec.mType = type;
      spec.mSize = type == kTypeString ? 20 : type == kTypeVarChar ? 40 : 0;
      person.MakeNewField(spec);
    }
  }
  ~Database() {
    db.reset();
    zv::StopKernel();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
  std::unique_ptr<OBL_DataBase> db;
};

Database& Db() {
  static Database database;
  return database;
}

void Parse(benchmark::State& state, const std::string& text) {
  OBL_DataBase& db = *Db().db;
  for (auto _ : state) {
    OBL_Parser parser(db);
    if (parser.Parse(text) != 0) state.SkipWithError("the statement did not parse");
    benchmark::DoNotOptimize(parser.GetStatement().GetSelectList().data());
  }
}

void Workload(benchmark::State& state) {
  Parse(state, kStatements[state.range(0)]);
}

void ThousandOrs(benchmark::State& state) {
  std::string text = "SELECT id FROM person WHERE age = 0";
  for (int i = 1; i < 1000; ++i) text += " OR age = " + std::to_string(i);
  Parse(state, text);
}

}  // namespace

BENCHMARK(Workload)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK(ThousandOrs)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Db();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
