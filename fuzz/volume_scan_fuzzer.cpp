// libFuzzer target: a database volume made of the fuzzer's bytes is opened
// and read through the kernel's public operations: every embedded file of
// its volumes, then the table of the seed's schema (records, values, index
// searches). Damage must come back as an xFBL_Exception; a crash, a
// sanitizer report, another exception, a hang or a huge allocation is a
// finding. Inputs start from the seeds of fuzz_seeds.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/seed_database.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/indexed_table.h"

namespace {

constexpr uint64_t kMaxFileBytes = uint64_t{4} << 20;  // read of one embedded file
constexpr uint32_t kMaxRecordSteps = 100000;
constexpr uint32_t kSearchedFields = 5;  // the numeric and string fields

void ReadEveryFile(FBL_DataFile& volume) {
  std::vector<FBL_FileEntry> entries;
  if (!zfuzz::Answered([&] { entries = volume.ReadFileTable(); })) return;
  std::vector<uint8_t> buffer(64 * 1024);
  for (const FBL_FileEntry& e : entries) {
    if (e.IsFree()) continue;
    zfuzz::Answered([&] {
      FBL_EmbededFile file(volume, e.mOwnerId, e.mKind, e.mSubIndex);
      file.Open();
      if (!file.IsOpen()) return;
      const uint64_t length = std::min(file.GetLength(), kMaxFileBytes);
      for (uint64_t at = 0; at < length; at += buffer.size()) {
        file.SetPosition(at);
        file.Read(buffer.data(), std::min<uint64_t>(buffer.size(), length - at));
      }
      file.Close();
    });
  }
}

void WalkRecords(FBL_Table& table) {
  uint32_t steps = 0;
  for (bool on = table.FirstRecord(); on && steps < kMaxRecordSteps; on = table.NextRecord()) {
    ++steps;
    for (uint32_t f = 1; f <= table.FieldCount(); ++f) {
      FBL_BaseField& field = *table.GetField(f);
      if (!field.IsNull()) field.GetString(256);
    }
  }
  table.LastRecord();
  table.PrevRecord();
}

// Searches with the current record's values (or blank ones).
void Search(FBL_Table& table) {
  for (uint32_t f = 1; f <= std::min(table.FieldCount(), kSearchedFields); ++f) {
    FBL_BaseField& field = *table.GetField(f);
    std::vector<uint8_t> value(field.GetBufferSize() + 1);
    field.GetValue(value.data());
    field.FindValue(value.data());
    field.FindValueAsSet(value.data());
    field.FindRange(value.data(), true, nullptr, false);
    field.FindRangeAsSet(nullptr, false, value.data(), true);
  }
  table.SelectAllRecords();
}

void ScanTable(FBL_DataBase& db) {
  FBL_SecondaryIndexFactory indexes;
  FBL_IndexedTable table(db, zfuzz::kTableId);
  table.SetIndexFactory(&indexes);
  zfuzz::AddFields(table);
  table.Open();
  table.GetRecordCount();
  WalkRecords(table);
  Search(table);
}

bool OpenDatabase(FBL_DataBase& db, const std::string& base) {
  try {
    db.Open(base, nullptr);
    return true;
  } catch (const xFBL_Exception& e) {
    if (e.Code != ERR_WRONG_PASSWORD) return false;
  }
  return zfuzz::Answered([&] { db.Open(base, zv::MakeEncryptionKey(zfuzz::kSeedKey)); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zv::StartKernel(uint64_t{4} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string base = zfuzz::ScratchFolder() + "/db";
  for (const char* extension : {".dat", ".ind", ".blb"}) std::remove((base + extension).c_str());
  zfuzz::WriteFileBytes(base + ".vdb", data, size);
  FBL_DataBase db;
  zfuzz::Answered([&] {
    if (!OpenDatabase(db, base)) return;
    std::vector<FBL_DataFile*> volumes = {db.GetStructureVolume(), db.GetRecordVolume(),
                                          db.GetIndexVolume(false)};
    for (size_t i = 0; i < volumes.size(); ++i) {
      if (volumes[i] != nullptr &&
          std::find(volumes.begin(), volumes.begin() + i, volumes[i]) == volumes.begin() + i)
        ReadEveryFile(*volumes[i]);
    }
    zfuzz::Answered([&] { ScanTable(db); });
    db.Close();
  });
  return 0;
}
