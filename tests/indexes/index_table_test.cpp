// Field indexes through an indexed table: the searches' edge cases, by-words
// keys, nulls, the consistency check on open and its rebuilds, damaged
// pages mended by a rebuild, the other byte order and encrypted pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kernel/indexes/index_kinds.h"
#include "kernel/indexes/indexer_task.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/page_cursors.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::IndexTest;
using ztest::IndexTextField;

constexpr uint16_t kByWords = kFieldIndexed | kFieldByWords;

// An index whose bulk entries vanish while `broken` is set: its builds
// never reach the table's count.
class LossyIndex : public FBL_SXNotUnique {
 public:
  LossyIndex(FBL_BaseField& field, FBL_DataFile& volume, uint32_t owner, bool& broken)
      : FBL_SXNotUnique(field, volume, owner), mBroken(broken) {}
  void AppendSorted(const uint8_t* key, REC_ID recID) override {
    if (!mBroken) FBL_SXNotUnique::AppendSorted(key, recID);
  }

 private:
  bool& mBroken;
};

class LossyFactory : public FBL_IndexFactory {
 public:
  std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) override {
    FBL_DataBase& db = field.GetTable()->GetDataBase();
    return std::make_unique<LossyIndex>(field, *db.GetIndexVolume(true),
                                        field.GetTable()->GetTableId(), mBroken);
  }
  bool mBroken = false;
};

class IndexTableTest : public IndexTest {
 protected:
  void AddValue(int32_t v) {
    F(1).SetValue(&v);
    mTable->AddRecord();
  }
  std::vector<REC_ID> Equal(uint32_t field, const std::string& key) {
    return Items(*Index(field).SelectRangeAsArray(true, K(key), K(key), true));
  }
  bool FileHolds(const std::string& suffix, const std::string& needle) {
    std::ifstream in(Path() + suffix, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    return bytes.find(needle) != std::string::npos;
  }
};

}  // namespace

TEST_F(IndexTableTest, EqualitySearchesOfTheSpecialCases) {
  CreateDb();
  MakeTable([](FBL_Table& t) {
    AddLong(t, "u", kFieldUnique);
    AddLong(t, "n", kFieldIndexed);
  });
  // An empty index finds nothing, RecID 0.
  REC_ID first = 99;
  int32_t five = 5;
  F(1).SetValue(&five);
  EXPECT_FALSE(Index(1).FindFirst(first));
  EXPECT_EQ(first, 0u);
  EXPECT_FALSE(F(1).ValueExists());
  int32_t seven = 7;
  for (int32_t u : {5, 6, 8}) {
    F(1).SetValue(&u);
    F(2).SetValue(&seven);
    mTable->AddRecord();
  }
  // A second 5 is refused and changes nothing.
  F(1).SetValue(&five);
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->AddRecord(); }), 344);
  EXPECT_EQ(mTable->GetRecordCount(), 3u);
  EXPECT_EQ(Index(1).GetEntryCount(), 3u);
  ASSERT_TRUE(mTable->GoToRecord(2));
  F(1).SetValue(&five);
  EXPECT_EQ(ztest::ErrorCode([&] { mTable->UpdateRecord(); }), 344);
  // Record 1 gives 5 up; then record 2 takes it.
  ASSERT_TRUE(mTable->GoToRecord(1));
  int32_t nine = 9;
  F(1).SetValue(&nine);
  mTable->UpdateRecord();
  ASSERT_TRUE(mTable->GoToRecord(2));
  F(1).SetValue(&five);
  mTable->UpdateRecord();
  EXPECT_EQ(Equal(1, LongKey(5)), (std::vector<REC_ID>{2}));
  EXPECT_TRUE(Equal(1, LongKey(6)).empty());
  // Three records of 7: the same RecIDs in both kinds of set.
  EXPECT_EQ(Equal(2, LongKey(7)), (std::vector<REC_ID>{1, 2, 3}));
  EXPECT_EQ(Members(*Index(2).SelectRange(true, K(LongKey(7)), K(LongKey(7)), true)),
            (std::vector<REC_ID>{1, 2, 3}));
  // A left bound beyond the last key.
  EXPECT_TRUE(Items(*Index(2).SelectRangeAsArray(false, K(LongKey(7)), nullptr, true)).empty());
  EXPECT_EQ(Index(2).GetFile().GetLogicalPageCount(), 1u);
}

TEST_F(IndexTableTest, SearchingAFieldWithoutIndexMakesItIndexed) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", 0); });
  for (int32_t v : {4, 2, 4}) AddValue(v);
  EXPECT_EQ(F(1).GetIndex(), nullptr);
  auto set = F(1).SelectKeyRangeAsArray(true, K(LongKey(4)), K(LongKey(4)), true);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(Items(*set), (std::vector<REC_ID>{1, 3}));
  EXPECT_TRUE(F(1).HasFlag(kFieldIndexed));
  EXPECT_EQ(Index(1).GetEntryCount(), 3u);
}

TEST_F(IndexTableTest, ByWordsKeysEachDistinctWordOnceAndOpensWithoutRebuilding) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddText(t, "w", kByWords); });
  Text(1).SetText("r gg r");
  mTable->AddRecord();
  Text(1).SetText("");
  mTable->AddRecord();
  Text(1).SetText("gg b");
  mTable->AddRecord();
  EXPECT_EQ(Index(1).GetEntryCount(), 4u);  // r, gg / none / gg, b
  EXPECT_EQ(Equal(1, IndexTextField::Key("gg")), (std::vector<REC_ID>{1, 3}));
  EXPECT_EQ(Equal(1, IndexTextField::Key("r")), (std::vector<REC_ID>{1}));
  // Four entries for three records: the check on open counts words, so
  // opening neither rebuilds for ever nor fails.
  for (int i = 0; i < 4; ++i) Reopen();
  EXPECT_EQ(Index(1).GetEntryCount(), 4u);
  ASSERT_TRUE(mTable->GoToRecord(1));
  Text(1).SetText("b");
  mTable->UpdateRecord();
  EXPECT_EQ(Equal(1, IndexTextField::Key("b")), (std::vector<REC_ID>{1, 3}));
  EXPECT_TRUE(Equal(1, IndexTextField::Key("r")).empty());
  EXPECT_EQ(Index(1).GetEntryCount(), 3u);
}

TEST_F(IndexTableTest, NullsHoldNoEntries) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldUnique | kFieldNullable); });
  AddValue(0);
  F(1).SetNull(true);
  mTable->AddRecord();
  F(1).SetNull(true);
  mTable->AddRecord();  // a second null is no duplicate
  AddValue(3);
  EXPECT_EQ(Index(1).GetEntryCount(), 2u);
  EXPECT_EQ(Equal(1, LongKey(0)), (std::vector<REC_ID>{1}));
  // Rebuilt from the table, the nulls stay out.
  Index(1).Rebuild();
  EXPECT_EQ(Index(1).GetEntryCount(), 2u);
  EXPECT_EQ(Equal(1, LongKey(0)), (std::vector<REC_ID>{1}));
  Reopen();
  EXPECT_EQ(Index(1).GetEntryCount(), 2u);
  ASSERT_TRUE(mTable->GoToRecord(2));
  int32_t eight = 8;
  F(1).SetValue(&eight);
  mTable->UpdateRecord();
  EXPECT_EQ(Equal(1, LongKey(8)), (std::vector<REC_ID>{2}));
  EXPECT_EQ(Index(1).GetEntryCount(), 3u);
  // An entry naming a record whose value is null (record 3) passes every
  // page check; the search whose bound meets it raises 370.
  Index(1).Insert(K(LongKey(5)), 3);
  EXPECT_EQ(ztest::ErrorCode([&] { Equal(1, LongKey(5)); }), 370);
}

TEST_F(IndexTableTest, AWrongEntryCountRebuildsAndThreeFailuresRaise371) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 100; ++v) AddValue(v % 10);
  Index(1).GetFile().SetEntryCount(55);
  Reopen();
  EXPECT_EQ(Index(1).GetEntryCount(), 100u);
  EXPECT_EQ(Equal(1, LongKey(3)).size(), 10u);

  LossyFactory lossy;
  mTable.reset();
  auto table = std::make_unique<FBL_IndexedTable>(*mDb, 1);
  table->SetIndexFactory(&lossy);
  table->AddField(zv::MakeField(kTypeLong, "n", kFieldIndexed));
  table->Open();
  FBL_BaseField& field = *table->GetField(1);
  field.DropIndex();
  lossy.mBroken = true;
  field.CreateIndex();
  EXPECT_EQ(ztest::ErrorCode([&] { field.OpenIndex(); }), 371);
  // A successful open afterwards starts the count again.
  lossy.mBroken = false;
  field.OpenIndex();
  EXPECT_EQ(field.GetIndex()->GetEntryCount(), 100u);
}

TEST_F(IndexTableTest, ADamagedPageRaises370AndARebuildMendsIt) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 3000; ++v) AddValue(v);
  {
    FBL_LogicalPage raw(Index(1).GetFile());
    raw.Select(2);
    uint8_t* d = raw.GetData();
    std::swap_ranges(d + 4, d + 8, d + 12);  // first two keys out of order
    raw.MarkDirty();
  }
  Reopen();
  int code = 0;
  for (int32_t v = 0; v < 3000 && code == 0; v += 7)
    code = ztest::ErrorCode([&] { Equal(1, LongKey(v)); });
  EXPECT_EQ(code, 370);
  EXPECT_EQ(ztest::ErrorCode([&] { Index(1).CheckPages(); }), 370);
  Index(1).Rebuild();
  Index(1).CheckPages();
  for (int32_t v = 0; v < 3000; v += 7) ASSERT_EQ(Equal(1, LongKey(v)).size(), 1u) << v;
}

// A damaged key that keeps its page's order passes the page check; the
// search whose bound it meets compares it with its record's value.
TEST_F(IndexTableTest, AKeyDamagedInOrderRaises370AndTheNextOpenRebuilds) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 100; v += 10) AddValue(v);
  {
    // Counted page: key j at 4 + 8 * j; key 5 (50, record 6) becomes 55.
    FBL_LogicalPage raw(Index(1).GetFile());
    raw.Select(1);
    const int32_t damaged = 55;
    std::memcpy(raw.GetData() + 4 + 8 * 5, &damaged, 4);
    raw.MarkDirty();
  }
  Reopen();
  Index(1).CheckPages();  // in order: no page check sees it
  EXPECT_EQ(ztest::ErrorCode([&] { Equal(1, LongKey(50)); }), 370);
  EXPECT_EQ(ztest::ErrorCode([&] { Equal(1, LongKey(60)); }), 370);
  // A search whose bounds lie away from it answers.
  EXPECT_EQ(Equal(1, LongKey(90)), std::vector<REC_ID>{10});
  Reopen();
  EXPECT_EQ(Equal(1, LongKey(50)), std::vector<REC_ID>{6});
  EXPECT_EQ(Equal(1, LongKey(55)), std::vector<REC_ID>{});
}

// A RecID damaged into another record's keeps every order and the entry
// count. The page check sees it when both entries lie on one page; an
// answer that takes both sees it otherwise, as an array (short or long)
// and as a bit set, also where no bound of the search meets it.
TEST_F(IndexTableTest, ARecIDNamedTwiceRaises370) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 3000; ++v) AddValue(v);  // record v + 1
  FBL_IndexPage& page = Index(1).GetPage();
  ASSERT_GE(page.PageCount(), 2u);
  page.Load(2);
  const REC_ID second = page.RecIDAt(0);
  const REC_ID first = second - 1;  // the last entry of page 1
  page.Release();
  // Counted pages: RecID slots run down from the page's end.
  auto setSlot = [&](uint32_t l, uint32_t slot, REC_ID r) {
    FBL_LogicalPage raw(Index(1).GetFile());
    raw.Select(l);
    std::memcpy(raw.GetData() + raw.GetPageSize() - 4 * (slot + 1), &r, 4);
    raw.MarkDirty();
  };
  auto array = [&](int32_t lo, int32_t hi) {
    return ztest::ErrorCode([&] { Index(1).SelectRangeAsArray(true, K(LongKey(lo)), K(LongKey(hi)), true); });
  };
  setSlot(2, 0, first);
  Reopen();
  Index(1).CheckPages();
  const int32_t a = int32_t(first) - 1, b = int32_t(second) - 1;
  EXPECT_EQ(array(a - 1, b + 1), 370);
  EXPECT_EQ(array(0, 2999), 370);
  EXPECT_EQ(ztest::ErrorCode([&] { Index(1).SelectRange(true, K(LongKey(0)), K(LongKey(2999)), true); }), 370);
  EXPECT_EQ(Equal(1, LongKey(b + 5)), std::vector<REC_ID>{second + 5});
  Reopen();
  EXPECT_EQ(Equal(1, LongKey(b)), std::vector<REC_ID>{second});
  EXPECT_EQ(array(0, 2999), 0);
  setSlot(1, 0, 2);  // value 0's entry names value 1's record
  Reopen();
  EXPECT_EQ(ztest::ErrorCode([&] { Index(1).CheckPages(); }), 370);
  EXPECT_EQ(array(0, 5), 370);
  // RecID 0, one past the table and a deleted record's, in a small answer
  // and in one of every record.
  Reopen();
  ASSERT_TRUE(mTable->DeleteRecordByID(3000));
  // The same answers as a set: an array up to 64 RecIDs, else bits.
  auto asSet = [&](int32_t lo, int32_t hi) {
    return ztest::ErrorCode([&] {
      Index(1).SelectRangeAsSet(true, K(LongKey(lo)), K(LongKey(hi)), true, 64, 3000);
    });
  };
  for (REC_ID bad : {REC_ID{0}, REC_ID{3001}, REC_ID{3000}}) {
    for (int32_t hi : {5, 2998}) {
      for (bool set : {false, true}) {
        setSlot(1, 0, bad);
        Reopen();
        EXPECT_EQ(set ? asSet(0, hi) : array(0, hi), 370) << bad << " " << hi << " " << set;
        Reopen();
        EXPECT_EQ(set ? asSet(0, hi) : array(0, hi), 0) << bad << " " << hi << " " << set;
      }
    }
  }
  setSlot(2, 0, first);  // a RecID named twice
  Reopen();
  EXPECT_EQ(asSet(0, 2998), 370);
}

// A set answer holds the array answer's RecIDs: in index order while they
// number at most the limit, as bits past it. Ranges that fill their pages
// and ranges over pages a deletion left a third full (whose room promises
// more than they hold), limits on either side of the count.
TEST_F(IndexTableTest, SetAnswersAgreeWithArrayAnswers) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 6000; ++v) AddValue(v % 3000);  // two records a value
  auto check = [&](const char* what) {
    for (auto [lo, hi] : {std::pair{0, 0}, {10, 40}, {100, 1300}, {0, 2999}, {2990, 3100}}) {
      const auto all = Items(*Index(1).SelectRangeAsArray(true, K(LongKey(lo)), K(LongKey(hi)), true));
      for (uint32_t limit : {0u, 1u, 64u, 500u, 1000u, 1500u, 2000u, 2500u, 5000u, UINT32_MAX}) {
        std::unique_ptr<FBL_Set> set =
            Index(1).SelectRangeAsSet(true, K(LongKey(lo)), K(LongKey(hi)), true, limit, 6000);
        SCOPED_TRACE(testing::Message() << what << " " << lo << ".." << hi << " limit " << limit);
        ASSERT_NE(set, nullptr);
        if (all.size() <= limit) {
          auto* array = dynamic_cast<FBL_ArraySet*>(set.get());
          ASSERT_NE(array, nullptr);
          EXPECT_EQ(Items(*array), all);
        } else {
          auto* bits = dynamic_cast<FBL_BitSet*>(set.get());
          ASSERT_NE(bits, nullptr);
          std::vector<REC_ID> members, sorted = all;
          for (REC_ID r = bits->NextMember(0); r != 0; r = bits->NextMember(r)) members.push_back(r);
          std::sort(sorted.begin(), sorted.end());
          EXPECT_EQ(members, sorted);
        }
      }
    }
  };
  check("full pages");
  for (REC_ID r = 1; r <= 6000; ++r) {
    if (r % 3 != 0) {
      ASSERT_TRUE(mTable->DeleteRecordByID(r));
    }
  }
  check("pages a third full");
}

TEST_F(IndexTableTest, TheOtherByteOrder) {
  CreateDb(FBL_ByteOrder::kBigEndian);
  MakeTable([](FBL_Table& t) {
    AddLong(t, "n", kFieldIndexed);
    AddLong(t, "u", kFieldUnique);
    AddText(t, "s", kFieldIndexed);
    t.AddField(zv::MakeField(kTypeByte, "b", kFieldIndexed));
  });
  for (int32_t v = 0; v < 2000; ++v) {
    int32_t n = v % 5 - 2, u = 1000 - v;
    uint8_t b = static_cast<uint8_t>(v % 3);
    F(1).SetValue(&n);
    F(2).SetValue(&u);
    Text(3).SetText(std::to_string(v % 50));
    F(4).SetValue(&b);
    mTable->AddRecord();
  }
  Reopen();
  for (uint32_t f = 1; f <= 4; ++f) Index(f).CheckPages();
  EXPECT_EQ(Equal(1, LongKey(-2)).size(), 400u);
  EXPECT_EQ(Equal(2, LongKey(-999)), (std::vector<REC_ID>{2000}));
  EXPECT_EQ(Equal(3, IndexTextField::Key("7")).size(), 40u);
  EXPECT_EQ(Equal(4, std::string(1, '\2')).size(), 666u);
  auto all = Items(*Index(2).SelectRangeAsArray(true, nullptr, nullptr, true));
  ASSERT_EQ(all.size(), 2000u);
  EXPECT_EQ(all.front(), 2000u);
  // On disk: big-endian header fields and page words.
  FBL_IndexFile& file = Index(2).GetFile();
  FBL_LogicalPage raw(file);
  raw.Select(1);
  const uint8_t* d = raw.GetData();
  uint32_t count = zorder::LoadU32(d, true);
  EXPECT_GT(count, 0u);
  EXPECT_LT(count, 512u);
  EXPECT_EQ(int32_t(zorder::LoadU32(d + 4, true)), -999);
  EXPECT_EQ(zorder::LoadU32(d + 8, true), 2000u);
}

TEST_F(IndexTableTest, EncryptedDatabasesKeepNoPlainKeys) {
  const auto key = zv::MakeEncryptionKey("index pages key");
  for (bool encrypted : {false, true}) {
    CreateDb();
    if (encrypted) {
      ASSERT_TRUE(mDb->ChangeKey(nullptr, key));
    }
    MakeTable([](FBL_Table& t) { AddText(t, "s", kFieldIndexed); });
    for (int i = 0; i < 300; ++i) {
      Text(1).SetText("Qz" + std::to_string(10000 + i));
      mTable->AddRecord();
    }
    mTable.reset();
    mDb->Close();
    EXPECT_EQ(FileHolds(".ind", "Qz10123"), !encrypted);
    mDb->Open(Path(), encrypted ? key : nullptr);
    MakeTable(mMaker);
    EXPECT_EQ(Equal(1, IndexTextField::Key("Qz10123")), (std::vector<REC_ID>{124}));
    mTable.reset();
    mDb.reset();
    std::filesystem::remove(Path() + ".vdb");
    std::filesystem::remove(Path() + ".dat");
    std::filesystem::remove(Path() + ".ind");
  }
}

TEST_F(IndexTableTest, ANewFieldNumberMovesTheIndexFile) {
  CreateDb();
  MakeTable([](FBL_Table& t) { AddLong(t, "n", kFieldIndexed); });
  for (int32_t v = 0; v < 500; ++v) AddValue(v % 50);
  const uint32_t old = F(1).GetFieldNumber();
  F(1).ChangeNumber(9);
  FBL_DataFile& volume = *mDb->GetIndexVolume(true);
  EXPECT_FALSE(FBL_IndexFile(volume, 1, static_cast<uint16_t>(old), false).Exists());
  EXPECT_TRUE(FBL_IndexFile(volume, 1, 9, false).Exists());
  EXPECT_EQ(Equal(1, LongKey(7)).size(), 10u);
  EXPECT_EQ(Index(1).GetEntryCount(), 500u);
  AddValue(7);
  EXPECT_EQ(Equal(1, LongKey(7)).size(), 11u);
}
