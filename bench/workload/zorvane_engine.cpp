// The workload on Zorvane: an object-layer database whose person table's
// store (an indexed table) takes the kernel-level steps: index searches
// through the fields, record sets counted, records visited with
// GoToRecord. T6, T7 and T11 run SELECT statements through cursors. The
// statements steps run on a database of their own (statement_steps.h).
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/task.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/numeric_fields.h"
#include "objects/delete_records.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"
#include "statement_steps.h"

namespace workload {

namespace {

constexpr const char* kBaseName = "workload.zorvane";

class ZorvaneEngine : public Engine {
 public:
  explicit ZorvaneEngine(uint64_t cacheBytes) : mCacheBytes(cacheBytes) {}
  ~ZorvaneEngine() override {
    try {
      Close();
    } catch (const xFBL_Exception&) {
    }
  }
  const char* Name() const override { return "zorvane"; }

  bool Open(const std::string& dir, std::string& error) override {
    try {
      zv::StartKernel(mCacheBytes);
      mDir = dir;
      RemoveFiles();
      mDb = std::make_unique<OBL_DataBase>();
      mDb->Create((std::filesystem::path(dir) / kBaseName).string(), kDefaultSegmentSize, 4,
                  FBL_ByteOrder::kDefault);
      mPerson = &mDb->MakeNewBaseObject("person");
      mTable = &mPerson->GetStore();
      mId = &Add<BF_LONG>(*mPerson, kTypeLong, "id", kFieldUnique);
      mAge = &Add<BF_SHORT>(*mPerson, kTypeShort, "age", kFieldIndexed);
      mScore = &Add<BF_DOUBLE>(*mPerson, kTypeDouble, "score", 0);
      mName = &Add<FBL_BaseField>(*mPerson, kTypeString, "name", kFieldIndexed, 20);
      mCity = &Add<FBL_BaseField>(*mPerson, kTypeVarChar, "city", 0, 40);
      return true;
    } catch (const xFBL_Exception& e) {
      error = "error " + std::to_string(e.Code);
      return false;
    }
  }

  // The statements' database is made before its first step, untimed.
  void Prepare(int step, const Workload& w) override {
    Engine::Prepare(step, w);
    if (step > kStatements && !mStatements) mStatements = std::make_unique<StatementSteps>(mDir);
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
  static Field& Add(OBL_BaseObject& table, uint8_t type, const char* name, uint16_t flags,
                    uint32_t length = 0) {
    OBL_FieldSpec fieldSpec;
    fieldSpec.mName = name;
    fieldSpec.mType = type;
    fieldSpec.mSize = length;
    fieldSpec.mFlags = flags;
    return static_cast<Field&>(table.MakeNewField(fieldSpec));
  }

  // A forward-only read-only cursor, executed.
  std::unique_ptr<OBL_Cursor> Select(const char* sql) {
    auto cursor = std::make_unique<OBL_Cursor>(*mDb, 0, 2, 1);
    cursor->SetSQL(sql);
    if (!cursor->Execute()) throw xFBL_Exception(cursor->GetError());
    return cursor;
  }

  Answer WalkByScore() override {
    auto cursor = Select("SELECT id FROM person ORDER BY score");
    uint64_t rows = 0;
    FBL_BaseField* id = cursor->GetColumn(1);
    for (bool more = cursor->GetCurrentPosition() == 1; more; more = cursor->NextRecord()) {
      if (id->GetAsBits() != 0) ++rows;
    }
    return rows;
  }

  Answer Groups() override {
    auto cursor = Select("SELECT age, count(*), avg(score) FROM person GROUP BY age");
    uint64_t count = 0, rows = 0;
    for (bool more = cursor->GetCurrentPosition() == 1; more; more = cursor->NextRecord()) {
      ++count;
      rows += cursor->GetColumn(2)->GetAsBits();
    }
    return count * 1000000007ULL + rows;
  }

  // Each trip points to its person's record (RecID = id: people are added in
  // id order and never renumbered).
  void MakeTrips(const Workload& w) override {
    OBL_BaseObject& trip = mDb->MakeNewBaseObject("trip");
    auto& id = Add<BF_LONG>(trip, kTypeLong, "id", 0);
    OBL_FieldSpec fieldSpec;
    fieldSpec.mName = "owner";
    fieldSpec.mType = kTypeObjectPtr;
    fieldSpec.mTarget = mPerson;
    FBL_BaseField& owner = trip.MakeNewField(fieldSpec);
    for (size_t i = 0; i < w.tripOwners.size(); ++i) {
      id.Set(int32_t(i + 1));
      owner.SetFromBits(uint64_t(w.tripOwners[i]), false);
      trip.GetStore().AddRecord();
    }
    trip.GetStore().Flush();
  }

  Answer JoinTrips() override {
    auto cursor = Select(
        "SELECT count(*), sum(person.age) FROM trip, person WHERE trip.owner = person.RecID");
    return cursor->GetColumn(1)->GetAsBits() * 1000000007ULL +
           uint64_t(cursor->GetColumn(2)->GetAsDouble());
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

  // One deletion of the whole set, as DELETE ... WHERE does (the object
  // layer plans it once, with what each deletion takes along).
  Answer DeleteYoung() override {
    int16_t ten = 10;
    std::unique_ptr<FBL_BitSet> found = mAge->FindRange(nullptr, false, &ten, false);
    OBL_DeleteRecords task(*mPerson, *found);
    if (!zv::RunTask(task)) throw xFBL_Exception(ERR_TABLE, "The deletion stopped");
    mTable->Flush();
    return task.GetDeleted();
  }

  Answer InsertStatements(const Workload& w) override { return mStatements->Insert(w); }
  Answer MoveCitiesStatements() override { return mStatements->MoveCities(); }
  Answer DeleteYoungStatements() override { return mStatements->DeleteYoung(); }

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
    mTable = nullptr;
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

  const uint64_t mCacheBytes;
  std::string mDir;
  std::unique_ptr<OBL_DataBase> mDb;
  OBL_BaseObject* mPerson = nullptr;
  FBL_IndexedTable* mTable = nullptr;
  BF_LONG* mId = nullptr;
  BF_SHORT* mAge = nullptr;
  BF_DOUBLE* mScore = nullptr;
  FBL_BaseField* mName = nullptr;
  FBL_BaseField* mCity = nullptr;
  std::unique_ptr<StatementSteps> mStatements;
};

}  // namespace

std::unique_ptr<Engine> MakeZorvaneEngine(uint64_t cacheBytes) {
  return std::make_unique<ZorvaneEngine>(cacheBytes);
}

}  // namespace workload
