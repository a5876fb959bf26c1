// The workload on Zorvane's kernel layers: an indexed table with its
// fields, index searches through the fields, record sets counted, records
// visited with GoToRecord. T6 and T7 wait for cursors and the SQL layer.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/numeric_fields.h"
#include "platform/errors.h"

namespace workload {

namespace {

constexpr uint64_t kCacheBytes = 67108864;
constexpr const char* kBaseName = "workload.zorvane";

class ZorvaneEngine : public Engine {
 public:
  ~ZorvaneEngine() override {
    try {
      Close();
    } catch (const xFBL_Exception&) {
    }
  }
  const char* Name() const override { return "zorvane"; }

  bool Open(const std::string& dir, std::string& error) override {
    try {
      zv::StartKernel(kCacheBytes);
      mDir = dir;
      RemoveFiles();
      mDb = std::make_unique<FBL_DataBase>();
      mDb->Create((std::filesystem::path(dir) / kBaseName).string(), kDefaultSegmentSize, 4,
                  FBL_ByteOrder::kDefault);
      mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
      mTable->SetName("person");
      mTable->SetIndexFactory(&mFactory);
      mId = &Add<BF_LONG>(kTypeLong, "id", kFieldUnique);
      mAge = &Add<BF_SHORT>(kTypeShort, "age", kFieldIndexed);
      mScore = &Add<BF_DOUBLE>(kTypeDouble, "score", 0);
      mName = &Add<FBL_BaseField>(kTypeString, "name", kFieldIndexed, 20);
      mCity = &Add<FBL_BaseField>(kTypeVarChar, "city", 0, 40);
      mTable->Open();
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
      std::fprintf(stderr, "zorvane: T%d failed with error %d\n", step, int(e.Code));
      return UINT64_MAX;
    }
  }

 private:
  template <class Field>
  Field& Add(uint8_t type, const char* name, uint16_t flags, uint32_t length = 0) {
    auto field = zv::MakeField(type, name, flags, length);
    if (!field) throw xFBL_Exception(ERR_CANNOT_CREATE_FIELD);
    return static_cast<Field&>(mTable->AddField(std::move(field)));
  }

  Answer Insert(const Workload& w) override {
    for (const Person& p : w.people) {
      mId->Set(p.id);
      mAge->Set(p.age);
      mScore->Set(p.score);
      mName->SetString(p.name);
      mCity->SetString(p.city);
      mTable->AddRecord();
    }
    mTable->Flush();
    return w.people.size();
  }

  Answer Lookups(const Workload& w) override {
    uint64_t sum = 0;
    FBL_FieldIndex* index = mId->GetIndex();
    for (int32_t id : w.lookupIds) {
      REC_ID r = 0;
      // A Long's key is its 4 bytes in machine order.
      if (!index->FindFirst(reinterpret_cast<const uint8_t*>(&id), r) || !mTable->GoToRecord(r))
        continue;
      sum += RowChecksum(mId->Get(), mAge->Get(), mScore->Get(), mName->GetString(),
                         mCity->GetString());
    }
    return sum;
  }

  Answer AgeCounts(const Workload& w) override {
    uint64_t total = 0;
    for (int32_t a : w.ageFrom) {
      int16_t from = int16_t(a), to = int16_t(a + 4);
      total += mAge->FindRange(&from, true, &to, true)->Count();
    }
    return total;
  }

  Answer PrefixCounts(const Workload& w) override {
    uint64_t total = 0;
    std::vector<char> left(mName->GetBufferSize() + 1), right(left.size());
    for (const std::string& prefix : w.namePrefixes) {
      const std::string bound = PrefixUpperBound(prefix);
      std::fill(left.begin(), left.end(), 0);
      std::fill(right.begin(), right.end(), 0);
      prefix.copy(left.data(), left.size() - 1);
      bound.copy(right.data(), right.size() - 1);
      // A few dozen records each: an array set, not a bit set of every RecID.
      total += mName->FindRangeAsSet(left.data(), true, right.data(), false)->Count();
    }
    return total;
  }

  // No index on the score: every alive record's value is read.
  Answer ScoreCounts() override {
    uint64_t total = 0;
    for (int k = 0; k < 10; ++k) {
      std::unique_ptr<FBL_BitSet> alive = mTable->SelectAllRecords();
      for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
        mScore->LoadRecord(r);
        if (mScore->Get() > 0.5) ++total;
      }
    }
    return total;
  }

  Answer MoveCities() override {
    int16_t seven = 7;
    std::unique_ptr<FBL_BitSet> found = mAge->FindValue(&seven);
    uint64_t count = 0;
    for (REC_ID r = found->NextMember(0); r != 0; r = found->NextMember(r)) {
      if (!mTable->GoToRecord(r)) continue;
      mCity->SetString("moved");
      mTable->UpdateRecord();
      ++count;
    }
    mTable->Flush();
    return count;
  }

  Answer DeleteYoung() override {
    int16_t ten = 10;
    std::unique_ptr<FBL_BitSet> found = mAge->FindRange(nullptr, false, &ten, false);
    uint64_t count = 0;
    for (REC_ID r = found->NextMember(0); r != 0; r = found->NextMember(r)) {
      if (mTable->GoToRecord(r) && mTable->DeleteRecord()) ++count;
    }
    mTable->Flush();
    return count;
  }

  Answer CloseAndMeasure() override {
    Close();
    uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(mDir)) {
      if (entry.path().filename().string().rfind(kBaseName, 0) == 0 && entry.is_regular_file()) {
        total += entry.file_size();
      }
    }
    return total;
  }

  void Close() {
    mTable.reset();
    if (mDb) mDb->Close();
    mDb.reset();
  }

  void RemoveFiles() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(mDir, ec)) {
      if (entry.path().filename().string().rfind(kBaseName, 0) == 0) {
        std::filesystem::remove(entry.path(), ec);
      }
    }
  }

  std::string mDir;
  FBL_SecondaryIndexFactory mFactory;
  std::unique_ptr<FBL_DataBase> mDb;
  std::unique_ptr<FBL_IndexedTable> mTable;
  BF_LONG* mId = nullptr;
  BF_SHORT* mAge = nullptr;
  BF_DOUBLE* mScore = nullptr;
  FBL_BaseField* mName = nullptr;
  FBL_BaseField* mCity = nullptr;
};

}  // namespace

std::unique_ptr<Engine> MakeZorvaneEngine() {
  return std::make_unique<ZorvaneEngine>();
}

}  // namespace workload
