// Searches of a 1,000,000-entry Long index: point lookups (FindFirst) and
// range selections into array and bit sets, on a unique index and on a
// non-unique one holding the same values.
//
//   bench_index_search [benchmark flags]
//
// The table's records hold the values 0..999,999 in a scrambled order; the
// indexes are built from them before the first benchmark.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "kernel/indexes/index_factory.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"

namespace {

constexpr int32_t kRecords = 1'000'000;

struct Environment {
  Environment() {
    dir = std::filesystem::temp_directory_path() / ("zor_index_search_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    zv::StartKernel(256u << 20);
    db = std::make_unique<FBL_DataBase>();
    db->Create((dir / "db").string(), kDefaultSegmentSize, 4, FBL_ByteOrder::kDefault);
    table = std::make_unique<FBL_IndexedTable>(*db, 1);
    table->SetIndexFactory(&factory);
    table->AddField(zv::MakeField(kTypeLong, "plain", 0));
    table->AddField(zv::MakeField(kTypeLong, "unique", 0));
    table->Open();
    for (int32_t i = 0; i < kRecords; ++i) {
      int32_t v = static_cast<int32_t>((int64_t{i} * 7919) % kRecords);
      table->GetField(1)->SetValue(&v);
      table->GetField(2)->SetValue(&v);
      table->AddRecord();
    }
    table->GetField(1)->AddFlags(kFieldIndexed, true);
    table->GetField(2)->AddFlags(kFieldUnique, true);
  }
  ~Environment() {
    table.reset();
    db.reset();
    zv::StopKernel();
    std::filesystem::remove_all(dir);
  }
  FBL_BaseField& Field(int n) { return *table->GetField(n); }

  std::filesystem::path dir;
  FBL_SecondaryIndexFactory factory;
  std::unique_ptr<FBL_DataBase> db;
  std::unique_ptr<FBL_IndexedTable> table;
};

Environment& Env() {
  static Environment env;
  return env;
}

std::string Key(int32_t v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}
const uint8_t* K(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

void PointLookup(benchmark::State& state) {
  FBL_BaseField& field = Env().Field(static_cast<int>(state.range(0)));
  FBL_FieldIndex& index = *field.GetIndex();
  std::mt19937 random(1);
  std::uniform_int_distribution<int32_t> value(0, kRecords - 1);
  for (auto _ : state) {
    int32_t v = value(random);
    REC_ID r = 0;
    benchmark::DoNotOptimize(index.FindFirst(reinterpret_cast<const uint8_t*>(&v), r));
  }
}

void RangeAsArray(benchmark::State& state) {
  FBL_FieldIndex& index = *Env().Field(static_cast<int>(state.range(0))).GetIndex();
  const int32_t width = static_cast<int32_t>(state.range(1));
  std::mt19937 random(2);
  std::uniform_int_distribution<int32_t> value(0, kRecords - width);
  for (auto _ : state) {
    int32_t a = value(random);
    std::string left = Key(a), right = Key(a + width - 1);
    auto set = index.SelectRangeAsArray(true, K(left), K(right), true);
    if (set->Count() != uint32_t(width)) state.SkipWithError("wrong count");
  }
  state.SetItemsProcessed(state.iterations() * width);
}

void RangeAsBits(benchmark::State& state) {
  FBL_FieldIndex& index = *Env().Field(static_cast<int>(state.range(0))).GetIndex();
  const int32_t width = static_cast<int32_t>(state.range(1));
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> value(0, kRecords - width);
  for (auto _ : state) {
    int32_t a = value(random);
    std::string left = Key(a), right = Key(a + width - 1);
    benchmark::DoNotOptimize(index.SelectRange(true, K(left), K(right), true));
  }
  state.SetItemsProcessed(state.iterations() * width);
}

}  // namespace

// Field 1: the non-unique index, field 2: the unique one.
BENCHMARK(PointLookup)->Arg(1)->Arg(2);
BENCHMARK(RangeAsArray)->Args({1, 100})->Args({2, 100})->Args({1, 10000})->Args({2, 10000});
BENCHMARK(RangeAsBits)->Args({1, 100})->Args({2, 100})->Args({1, 10000})->Args({2, 10000});

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Env();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
