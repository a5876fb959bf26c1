// Random adds, updates and deletes against an in-memory model, and record
// maps and value files damaged on disk.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_locks.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::TableTest;

const std::vector<ztest::Column> kModelTable = {
    {kTypeLong, kFieldNullable}, {kTypeDouble, 0}, {kTypeShort, 0}, {kTypeBoolean, kFieldNullable}};

struct Row {
  std::optional<int32_t> l;
  double d;
  int16_t s;
  std::optional<bool> b;
  bool operator==(const Row&) const = default;
};

class Model {
 public:
  REC_ID NextRecID() const {
    REC_ID r = 1;
    for (auto& [id, row] : mRows) {
      if (id != r) break;
      ++r;
    }
    return r;
  }
  void Put(REC_ID r, const Row& row) {
    mRows[r] = row;
    mMax = std::max(mMax, r);
  }
  void Erase(REC_ID r) {
    mRows.erase(r);
    if (r == mMax) mMax = mRows.empty() ? 0 : mRows.rbegin()->first;
  }
  std::map<REC_ID, Row> mRows;
  REC_ID mMax = 0;
};

Row RandomRow(std::mt19937& rng) {
  Row row;
  if (rng() % 5 != 0) row.l = static_cast<int32_t>(rng());
  row.d = static_cast<double>(static_cast<int32_t>(rng())) / 7.0;
  row.s = static_cast<int16_t>(rng());
  if (rng() % 4 != 0) row.b = rng() % 2 == 0;
  return row;
}

void Store(FBL_Table& t, const Row& row) {
  auto& l = static_cast<BF_LONG&>(*t.GetField(1));
  if (row.l) {
    l.Set(*row.l);
  } else {
    l.SetNull(true);
  }
  static_cast<BF_DOUBLE&>(*t.GetField(2)).Set(row.d);
  static_cast<BF_SHORT&>(*t.GetField(3)).Set(row.s);
  auto& b = static_cast<BF_BOOL&>(*t.GetField(4));
  if (row.b) {
    b.Set(*row.b);
  } else {
    b.SetNull(true);
  }
}

Row Load(FBL_Table& t) {
  Row row;
  auto& l = static_cast<BF_LONG&>(*t.GetField(1));
  if (!l.IsNull()) row.l = l.Get();
  row.d = static_cast<BF_DOUBLE&>(*t.GetField(2)).Get();
  row.s = static_cast<BF_SHORT&>(*t.GetField(3)).Get();
  auto& b = static_cast<BF_BOOL&>(*t.GetField(4));
  if (!b.IsNull()) row.b = b.Get();
  return row;
}

void CheckAll(FBL_Table& t, const Model& m) {
  ASSERT_EQ(t.GetRecordCount(), m.mRows.size());
  ASSERT_EQ(t.GetMaxRecID(), m.mMax);
  auto it = m.mRows.begin();
  for (bool ok = t.FirstRecord(); ok; ok = t.NextRecord(), ++it) {
    ASSERT_NE(it, m.mRows.end());
    ASSERT_EQ(t.GetCurrentRecID(), it->first);
    ASSERT_TRUE(Load(t) == it->second) << "record " << it->first;
  }
  ASSERT_EQ(it, m.mRows.end());
  auto nulls = t.GetField(1)->SelectNulls();
  uint32_t expectedNulls = 0;
  for (auto& [id, row] : m.mRows) {
    expectedNulls += !row.l;
    ASSERT_EQ(nulls->IsMember(id), !row.l) << id;
  }
  ASSERT_EQ(nulls->Count(), expectedNulls);
}

// A random alive RecID of the model.
REC_ID Pick(std::mt19937& rng, const Model& m) {
  auto it = m.mRows.begin();
  std::advance(it, rng() % m.mRows.size());
  return it->first;
}

}  // namespace

TEST_F(TableTest, RandomChangesMatchTheModel) {
  for (FBL_ByteOrder order : {FBL_ByteOrder::kDefault, FBL_ByteOrder::kBigEndian}) {
    CreateDb(order);
    MakeTable(kModelTable);
    std::mt19937 rng(2024 + static_cast<int>(order));
    Model m;
    for (int step = 1; step <= 10000; ++step) {
      uint32_t op = rng() % 10;
      if (m.mRows.empty() || op < 5) {
        Row row = RandomRow(rng);
        Store(*mTable, row);
        REC_ID expected = m.NextRecID();
        ASSERT_EQ(mTable->AddRecord(), expected) << "step " << step;
        m.Put(expected, row);
      } else if (op < 7) {
        REC_ID r = Pick(rng, m);
        ASSERT_TRUE(mTable->GoToRecord(r));
        Row row = RandomRow(rng);
        Store(*mTable, row);
        mTable->UpdateRecord();
        m.Put(r, row);
      } else {
        // Deletes favour the top records so the files shrink often.
        REC_ID r = rng() % 3 == 0 ? m.mMax : Pick(rng, m);
        ASSERT_TRUE(mTable->GoToRecord(r));
        ASSERT_TRUE(mTable->DeleteRecord());
        m.Erase(r);
        auto next = m.mRows.upper_bound(r);
        REC_ID current = next != m.mRows.end() ? next->first : m.mMax;
        ASSERT_EQ(mTable->GetCurrentRecID(), current) << "step " << step;
      }
      ASSERT_EQ(mTable->GetRecordCount(), m.mRows.size()) << "step " << step;
      ASSERT_EQ(mTable->GetMaxRecID(), m.mMax) << "step " << step;
      if (step % 1000 == 0) {
        Reopen();
        CheckAll(*mTable, m);
      }
    }
    mTable.reset();
    mDb.reset();
    for (const char* ext : {".vdb", ".dat", ".ind"}) std::remove((Path() + ext).c_str());
  }
}

// ---- damaged files ----------------------------------------------------------------------

namespace {

void WriteHeader(FBL_DataBase& db, uint32_t count, uint32_t max) {
  FBL_BitSetFile map(*db.GetRecordVolume(), 1, kKindRecordMap, 0, 8);
  map.Open();
  uint8_t raw[8];
  zorder::StoreU32(raw, count, false);
  zorder::StoreU32(raw + 4, max, false);
  map.SetPosition(0);
  map.Write(raw, 8);
  map.Flush();
  map.Close();
}

}  // namespace

TEST_F(TableTest, HeaderCountingMoreRecordsThanItsHighestRecIDIsAnError) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  mTable->AddRecord();
  mTable.reset();
  WriteHeader(*mDb, 5, 1);
  EXPECT_EQ(ztest::ErrorCode([&] { MakeTable({{kTypeLong, 0}}); }), 302);
}

TEST_F(TableTest, MapShorterThanItsHeaderReadsTheMissingRecordsAsFree) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  for (int i = 1; i <= 3; ++i) {
    static_cast<BF_LONG&>(F(1)).Set(i);
    mTable->AddRecord();
  }
  mTable.reset();
  WriteHeader(*mDb, 40, 100000);  // the bit map still holds one byte
  MakeTable({{kTypeLong, 0}});
  EXPECT_EQ(mTable->GetRecordCount(), 40u);
  EXPECT_EQ(mTable->SelectAllRecords()->Count(), 3u);
  EXPECT_TRUE(mTable->LastRecord());
  EXPECT_EQ(mTable->GetCurrentRecID(), 3u);
  EXPECT_FALSE(mTable->GoToRecord(50000));
  EXPECT_EQ(mTable->AddRecord(), 4u);  // the first free one
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), 3);
}

TEST_F(TableTest, ValueFileShorterThanMaxRecIDReadsZeros) {
  CreateDb();
  MakeTable({{kTypeLong, 0}, {kTypeDateTime, 0}});
  for (int i = 1; i <= 3; ++i) {
    static_cast<BF_LONG&>(F(1)).Set(i);
    F(2).SetString("1/1/2000 1:1:1");
    mTable->AddRecord();
  }
  mTable.reset();
  for (uint16_t number : {1, 2}) {
    FBL_EmbededFile values(*mDb->GetRecordVolume(), 1, kKindValues, number);
    values.Open();
    values.SetLength(number == 1 ? 6 : 12);  // record 2 half there, record 3 gone
    values.Close();
  }
  MakeTable({{kTypeLong, 0}, {kTypeDateTime, 0}});
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), 0);
  EXPECT_EQ(static_cast<BF_DateTime&>(F(2)).Get(), 0);
  ASSERT_TRUE(mTable->GoToRecord(2));
  EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), 2);  // its bytes 4..5 are there
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(F(2).GetString(), "01/01/2000 01:01:01");
  static_cast<BF_LONG&>(F(1)).Set(9);
  ASSERT_TRUE(mTable->GoToRecord(3));
  static_cast<BF_LONG&>(F(1)).Set(33);
  F(1).WriteRecord(3);
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(static_cast<BF_LONG&>(F(1)).Get(), 33);
}

TEST_F(TableTest, HugeMaxRecIDFromDiskCostsNoMemory) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  mTable->AddRecord();
  mTable.reset();
  WriteHeader(*mDb, 1, 0xFFFFFFF0u);
  MakeTable({{kTypeLong, 0}});
  EXPECT_TRUE(mTable->LockRecord(1, FBL_LockKind::kWrite, 3));
  EXPECT_TRUE(mTable->IsRecordLocked(1));
  EXPECT_FALSE(mTable->IsRecordLocked(0xFFFFFFF0u));
  EXPECT_TRUE(mTable->CanModifyRecord(0xFFFFFFF0u));
  EXPECT_EQ(mTable->AddRecord(), 2u);
  EXPECT_TRUE(mTable->LastRecord());
  EXPECT_EQ(mTable->GetCurrentRecID(), 2u);
}
