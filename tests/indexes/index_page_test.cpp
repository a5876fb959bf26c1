// Index pages alone: the byte layouts, splits and runs, merging, the
// search and range primitives, and damaged pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <type_traits>

#include "kernel/indexes/addressed_page.h"
#include "kernel/indexes/counted_page.h"
#include "kernel/indexes/index_file.h"
#include "kernel/indexes/string_page.h"
#include "kernel/indexes/unique_page.h"
#include "kernel/storage/byte_order.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::IndexTest;
using ztest::IndexTextField;

uint32_t U32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t U16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

class IndexPageTest : public IndexTest {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    CreateDb();
    MakeTable([](FBL_Table& t) {
      AddLong(t, "n", 0);
      AddText(t, "s", 0);
      t.AddField(zv::MakeField(kTypeByte, "b", 0));
    });
    mFile = std::make_unique<FBL_IndexFile>(*mDb->GetIndexVolume(true), 99, 1, false);
    mFile->Create();
    mFile->Open();
  }
  void TearDown() override {
    mFile.reset();
    IndexTest::TearDown();
  }
  std::unique_ptr<FBL_IndexFile> mFile;
};

}  // namespace

TEST_F(IndexPageTest, UniquePagesKeepAscendingInsertsFullAndSplitOthersInHalf) {
  FBL_UniquePage page(*mFile, F(1));
  EXPECT_EQ(page.FindFirst(K(LongKey(1))), 0u);
  ASSERT_TRUE(page.InsertEntry(K(LongKey(1)), 10, true));
  EXPECT_EQ(mFile->GetLogicalPageCount(), 1u);
  const uint32_t per = (mFile->GetPageSize() - 4) / 8;
  for (int32_t v = 2; v <= int32_t(per) * 3; ++v) page.InsertEntry(K(LongKey(2 * v)), 10 + v, true);
  // Ascending inserts leave every page full.
  ASSERT_EQ(mFile->GetLogicalPageCount(), 3u);
  for (uint32_t p = 1; p <= 3; ++p) {
    page.Load(p);
    EXPECT_EQ(page.Count(), per) << p;
  }
  // One after a full page that another page follows splits it in half.
  page.InsertEntry(K(LongKey(2 * int32_t(per) + 1)), 7, true);
  ASSERT_EQ(mFile->GetLogicalPageCount(), 4u);
  page.Load(1);
  EXPECT_EQ(page.Count(), per / 2);
  page.Load(2);
  EXPECT_EQ(page.Count(), per - per / 2 + 1);
  page.CheckAll();
  // Layout: the count, then the key and its RecID.
  page.Load(1);
  const uint8_t* d = page.GetData();
  EXPECT_EQ(U32(d), page.Count());
  EXPECT_EQ(int32_t(U32(d + 4)), 1);
  EXPECT_EQ(U32(d + 8), 10u);
  EXPECT_EQ(ztest::ErrorCode([&] { page.InsertEntry(K(LongKey(14)), 500, true); }), 344);
  EXPECT_EQ(page.FindFirst(K(LongKey(14))), 17u);
  // A key that starts a page is refused whatever the RecID: it is found
  // from the page before, after that page's last entry.
  for (uint32_t p = 2; p <= mFile->GetLogicalPageCount(); ++p) {
    page.Load(p);
    uint8_t first[4];
    std::memcpy(first, page.KeyAt(0), sizeof first);
    for (REC_ID r : {REC_ID{1}, REC_ID{100000}})
      EXPECT_EQ(ztest::ErrorCode([&] { page.InsertEntry(first, r, true); }), 344) << p;
  }
  page.CheckAll();
  EXPECT_EQ(page.FirstRecID(), 10u);
  EXPECT_EQ(page.LastRecID(), 10u + per * 3);
}

TEST_F(IndexPageTest, CountedPageLayoutKeepsKeysApartFromRecIDs) {
  FBL_CountedPage page(*mFile, F(1));
  page.InsertEntry(K(LongKey(5)), 3, false);
  page.InsertEntry(K(LongKey(7)), 2, false);
  page.InsertEntry(K(LongKey(5)), 1, false);
  EXPECT_FALSE(page.InsertEntry(K(LongKey(5)), 1, false));  // there already
  page.Load(1);
  const uint8_t* d = page.GetData();
  const uint32_t size = mFile->GetPageSize();
  EXPECT_EQ(U16(d), 2u);
  EXPECT_EQ(U16(d + 2), 3u);
  EXPECT_EQ(int32_t(U32(d + 4)), 5);
  EXPECT_EQ(U32(d + 8), 2u);
  EXPECT_EQ(int32_t(U32(d + 12)), 7);
  EXPECT_EQ(U32(d + 16), 1u);
  EXPECT_EQ(U32(d + size - 4), 1u);
  EXPECT_EQ(U32(d + size - 8), 3u);
  EXPECT_EQ(U32(d + size - 12), 2u);
  EXPECT_EQ(page.CompareWithPage(K(LongKey(1)), 0), -10);
  EXPECT_EQ(page.CompareWithPage(K(LongKey(9)), 0), 10);
  EXPECT_EQ(page.CompareWithPage(K(LongKey(5)), 2), 0);
  bool found = false;
  EXPECT_EQ(page.Search(K(LongKey(5)), 3, found), 1u);
  EXPECT_TRUE(found);
  EXPECT_EQ(page.Search(K(LongKey(6)), 0, found), 2u);
  EXPECT_FALSE(found);
  // Removing the last RecID of a key removes the key.
  EXPECT_TRUE(page.RemoveEntry(K(LongKey(7)), 2));
  page.Load(1);
  EXPECT_EQ(page.KeyCount(), 1u);
  EXPECT_FALSE(page.RemoveEntry(K(LongKey(7)), 2));
}

TEST_F(IndexPageTest, OneValueForAllRecordsSpreadsOverARunOfPages) {
  FBL_CountedPage page(*mFile, F(1));
  const REC_ID n = 5000;
  // RecIDs descending split the run's pages in half. Ascending (records
  // added) before another key's page leave every page of the run but its
  // first (split from a page of one key, unmarked) and its last full.
  uint32_t pages = 0;
  for (bool ascending : {false, true}) {
    if (ascending) {
      page.Release();
      page.ForgetFence();
      mFile->Close();
      mFile->Remove();
      mFile->Create();
      mFile->Open();
      page.InsertEntry(K(LongKey(43)), n + 1, false);
    }
    for (REC_ID i = 1; i <= n; ++i)
      page.InsertEntry(K(LongKey(42)), ascending ? i : n + 1 - i, false);
    pages = mFile->GetLogicalPageCount() - (ascending ? 1 : 0);
    FBL_InventoryPage& inventory = mFile->GetInventory();
    ASSERT_GE(pages, 3u);
    page.Load(2);
    const uint32_t full = page.Count();
    if (ascending) {
      EXPECT_GT(full * 4, page.MaxEntries() * 3);
    }
    REC_ID expected = 1;
    for (uint32_t p = 1; p <= pages; ++p) {
      uint32_t marks = zpage::EntryMarks(inventory.GetEntry(p));
      EXPECT_EQ(marks, p == 1 ? zpage::kMarkBits : zpage::kContinuationMark) << p;
      page.Load(p);
      EXPECT_EQ(page.KeyCount(), 1u);
      if (ascending && p > 1 && p < pages) {
        EXPECT_EQ(page.Count(), full) << p;
      }
      // The smallest RecID of each page is its last 4 bytes.
      EXPECT_EQ(U32(page.GetData() + mFile->GetPageSize() - 4), expected);
      expected += page.Count();
    }
    EXPECT_EQ(expected, n + 1);
    if (ascending) {
      ASSERT_TRUE(page.RemoveEntry(K(LongKey(43)), n + 1));
    }
    ASSERT_EQ(mFile->GetLogicalPageCount(), pages);
  }
  FBL_InventoryPage& inventory = mFile->GetInventory();
  // Another key never joins a page of the run.
  page.InsertEntry(K(LongKey(43)), 7, false);
  page.InsertEntry(K(LongKey(41)), 7, false);
  EXPECT_EQ(mFile->GetLogicalPageCount(), pages + 2);
  page.Load(1);
  EXPECT_EQ(page.KeyCount(), 1u);
  EXPECT_EQ(zpage::EntryMarks(inventory.GetEntry(1)), 0u);
  page.CheckAll();
  // Emptying the run clears its marks as its pages go.
  for (REC_ID r = 1; r <= n; ++r) ASSERT_TRUE(page.RemoveEntry(K(LongKey(42)), r)) << r;
  EXPECT_EQ(mFile->GetLogicalPageCount(), 2u);
  EXPECT_EQ(zpage::EntryMarks(inventory.GetEntry(1)), 0u);
  EXPECT_EQ(zpage::EntryMarks(inventory.GetEntry(2)), 0u);
}

TEST_F(IndexPageTest, StringPagesWalkVariableKeys) {
  IndexTextField& field = Text(2);
  FBL_StringPage page(*mFile, field);
  page.InsertEntry(K(IndexTextField::Key("ab")), 4, false);
  page.InsertEntry(K(IndexTextField::Key("c")), 1, false);
  const std::string longest(255, 'z');
  page.InsertEntry(K(IndexTextField::Key(longest)), 9, false);
  page.Load(1);
  const uint8_t* d = page.GetData();
  EXPECT_EQ(U16(d), 3u);
  EXPECT_EQ(U16(d + 2), 3u);
  EXPECT_EQ(U16(d + 6), (2 + 5) + (1 + 5) + (255 + 5));
  EXPECT_EQ(d[8], 2);
  EXPECT_EQ(std::memcmp(d + 9, "ab", 2), 0);
  EXPECT_EQ(U32(d + 11), 1u);
  EXPECT_EQ(d[15], 1);
  EXPECT_EQ(d[21], 255);
  EXPECT_EQ(page.FindFirst(K(IndexTextField::Key(longest))), 9u);
  // A key of more than 255 bytes of text is cut to 255.
  EXPECT_EQ(page.FindFirst(K(IndexTextField::Key(longest + "zz"))), 9u);
  // Many keys split the pages at key boundaries.
  for (int i = 0; i < 2000; ++i)
    page.InsertEntry(K(IndexTextField::Key("k" + std::to_string(i))), i + 10, false);
  EXPECT_GT(mFile->GetLogicalPageCount(), 1u);
  page.CheckAll();
  for (uint32_t p = 1; p <= mFile->GetLogicalPageCount(); ++p) {
    page.Load(p);
    EXPECT_LE(page.UsedSize(), mFile->GetPageSize());
  }
}

TEST_F(IndexPageTest, RandomInsertsShareKeysWithNeighboursBeforeSplitting) {
  // Keys compared as bytes, most of them by their first 8 bytes.
  IndexTextField& field = Text(2);
  field.mBytes = true;
  FBL_StringPage page(*mFile, field);
  std::vector<std::string> keys;
  for (int i = 0; i < 20000; ++i) {
    const int v = i * 7919 % 100003;
    keys.push_back(IndexTextField::Key((v % 3 ? "key of " : "k") + std::to_string(v)));
  }
  std::shuffle(keys.begin(), keys.end(), std::mt19937(11));
  for (size_t i = 0; i < keys.size(); ++i) page.InsertEntry(K(keys[i]), REC_ID(i + 1), false);
  page.CheckAll();
  for (size_t i = 0; i < keys.size(); i += 97) ASSERT_EQ(page.FindFirst(K(keys[i])), REC_ID(i + 1));
  // Pages that split only when full hold about 0.7 of the 0.8 of a page
  // they may fill.
  const uint32_t pages = mFile->GetLogicalPageCount();
  uint64_t used = 0;
  for (uint32_t p = 1; p <= pages; ++p) {
    page.Load(p);
    used += page.UsedSize();
  }
  EXPECT_GT(used, uint64_t{pages} * mFile->GetPageSize() * 62 / 100) << pages;
  field.mBytes = false;
}

TEST_F(IndexPageTest, AddressedPagesGroupRecIDsByValue) {
  FBL_BaseField& byte = F(3);
  mFile->Close();
  mFile = std::make_unique<FBL_IndexFile>(*mDb->GetIndexVolume(true), 99, 2, true);
  mFile->Create();
  mFile->Open();
  FBL_AdressedPage page(*mFile, byte);
  uint8_t v3 = 3, v9 = 9, v5 = 5;
  const uint32_t per = (mFile->GetPageSize() - 8) / 4;
  for (REC_ID r = 1; r <= per + 10; ++r) page.InsertEntry(&v9, r, false);
  page.InsertEntry(&v3, 500, false);
  page.InsertEntry(&v5, 7, false);
  EXPECT_EQ(mFile->GetValuePages(9), 2u);
  EXPECT_EQ(mFile->GetValuePages(3), 1u);
  EXPECT_EQ(mFile->FirstPageOfValue(9), 3u);
  page.Load(3);
  EXPECT_EQ(page.GetSecondCounter(), 2u);
  EXPECT_EQ(U32(page.GetData() + 8), 1u);
  EXPECT_EQ(page.FindFirst(&v5), 7u);
  uint8_t v4 = 4;
  EXPECT_EQ(page.FindFirst(&v4), 0u);
  FBL_IndexPosition from, to;
  ASSERT_TRUE(page.ResolveRange(true, &v5, &v9, true, from, to));
  FBL_ArraySet set(0);
  page.CollectRange(from, to, &set, nullptr);
  ASSERT_EQ(set.Count(), per + 11);
  EXPECT_EQ(set.GetItem(1), 7u);
  EXPECT_EQ(set.GetItem(2), 1u);
  // A left bound beyond the last key is an empty range.
  uint8_t v200 = 200;
  EXPECT_FALSE(page.ResolveRange(true, &v200, nullptr, true, from, to));
  for (REC_ID r = 1; r <= per + 10; ++r) page.RemoveEntry(&v9, r);
  EXPECT_EQ(mFile->GetValuePages(9), 0u);
  EXPECT_EQ(mFile->GetLogicalPageCount(), 2u);
}

TEST_F(IndexPageTest, SplitMergeAndRecIDWalks) {
  FBL_UniquePage page(*mFile, F(1));
  for (int32_t v = 1; v <= 100; ++v) page.InsertEntry(K(LongKey(v * 2)), v, true);
  page.Load(1);
  EXPECT_EQ(page.Split(K(LongKey(3)), 0), 1);
  EXPECT_EQ(page.GetLogicalPage(), 1u);
  EXPECT_EQ(page.Count(), 50u);
  page.Load(2);
  EXPECT_EQ(page.Split(K(LongKey(190)), 0), 2);
  EXPECT_EQ(page.GetLogicalPage(), 3u);
  page.Load(2);
  page.MergeInto(1);
  EXPECT_EQ(mFile->GetLogicalPageCount(), 2u);
  page.Load(1);
  EXPECT_EQ(page.Count(), 75u);
  FBL_ArraySet back(0);
  page.CopyRecIDs(back, 74, 3, false);
  EXPECT_EQ(ztest::IndexTest::Items(back), (std::vector<REC_ID>{75, 74, 73}));
  FBL_BitSet bits(60);
  page.MarkRecIDs(bits, 55, 10);  // RecIDs 56..65, those above 60 skipped
  EXPECT_EQ(bits.Count(), 5u);
  std::vector<uint32_t> rank;
  page.NumberRecords(rank, 1);
  EXPECT_EQ(rank[1], 1u);
  EXPECT_EQ(rank[100], 100u);
  page.CheckAll();
}

TEST_F(IndexPageTest, ParsesKeptOfLeftPagesGiveWayToChangesMadeElsewhere) {
  IndexTextField& field = Text(2);
  auto key = [](int i) { return IndexTextField::Key("k" + std::to_string(i)); };
  FBL_StringPage a(*mFile, field);
  FBL_StringPage b(*mFile, field);
  for (int i = 1000; i < 1300; ++i) a.InsertEntry(K(key(i)), REC_ID(i), false);
  const uint32_t last = mFile->GetLogicalPageCount();
  ASSERT_GT(last, 1u);
  EXPECT_EQ(a.FindFirst(K(key(1000))), 1000u);
  a.Load(last);
  // Every key offset of page 1 moves, through the other cursor.
  b.InsertEntry(K(key(1)), 1, false);
  EXPECT_EQ(a.FindFirst(K(key(1000))), 1000u);
  EXPECT_EQ(a.FindFirst(K(key(1))), 1u);
  a.Load(last);
  b.RemoveEntry(K(key(1)), 1);
  b.RemoveEntry(K(key(1000)), 1000);
  EXPECT_EQ(a.FindFirst(K(key(1000))), 0u);
  EXPECT_EQ(a.FindFirst(K(key(1001))), 1001u);
  a.CheckAll();
}

TEST_F(IndexPageTest, DamagedPagesRaise370) {
  {
    FBL_CountedPage page(*mFile, F(1));
    for (int32_t v = 1; v <= 50; ++v) page.InsertEntry(K(LongKey(v)), v, false);
  }
  mFile->Close();
  auto damage = [&](const std::function<void(uint8_t*)>& edit) {
    mFile->Open();
    {
      FBL_LogicalPage raw(*mFile);
      raw.Select(1);
      edit(raw.GetData());
      raw.MarkDirty();
    }
    mFile->Close();
    mFile->Open();
    FBL_CountedPage page(*mFile, F(1));
    int code = ztest::ErrorCode([&] { page.FindFirst(K(LongKey(3))); });
    mFile->Close();
    return code;
  };
  // Keys out of order.
  EXPECT_EQ(damage([](uint8_t* d) { std::swap_ranges(d + 4, d + 8, d + 12); }), 370);
  EXPECT_EQ(damage([](uint8_t* d) { std::swap_ranges(d + 4, d + 8, d + 12); }), 0);
  // A RecID count beyond the page.
  EXPECT_EQ(damage([](uint8_t* d) { d[2] = 0xFF, d[3] = 0xFF; }), 370);
}

namespace {

// Appends entries (ascending) to one file and inserts them one by one into
// another; both must hold the very same pages and run marks, and each page
// the bytes its entries make on a page of their own (split pages included).
template <class Page>
void ExpectAppendsBuildTheSamePages(FBL_IndexFile& singleFile, FBL_IndexFile& bulkFile,
                                    FBL_IndexFile& scratchFile, FBL_BaseField& field,
                                    const std::vector<std::pair<std::string, REC_ID>>& entries) {
  Page single(singleFile, field);
  Page bulk(bulkFile, field);
  for (const auto& [key, r] : entries) {
    const auto* k = reinterpret_cast<const uint8_t*>(key.data());
    single.InsertEntry(k, r, false);
    bulk.AppendEntry(k, r, false);
  }
  ASSERT_EQ(singleFile.GetLogicalPageCount(), bulkFile.GetLogicalPageCount());
  for (uint32_t p = 1; p <= singleFile.GetLogicalPageCount(); ++p) {
    single.Load(p);
    bulk.Load(p);
    ASSERT_EQ(std::memcmp(single.GetData(), bulk.GetData(), singleFile.GetPageSize()), 0) << p;
    EXPECT_EQ(singleFile.GetInventory().GetEntry(p) & zpage::kMarkBits,
              bulkFile.GetInventory().GetEntry(p) & zpage::kMarkBits);
  }
  bulk.CheckAll();
  for (uint32_t p = 1; p <= bulkFile.GetLogicalPageCount(); ++p) {
    std::vector<std::pair<std::string, REC_ID>> own;
    bulk.Load(p);
    for (uint32_t i = 0; i < bulk.Count(); ++i) {
      const uint8_t* key = bulk.KeyAt(i);
      own.emplace_back(std::string(reinterpret_cast<const char*>(key), field.GetKeyLength(key)),
                       bulk.RecIDAt(i));
    }
    scratchFile.Close();
    scratchFile.Remove();
    scratchFile.Create();
    scratchFile.Open();
    Page alone(scratchFile, field);
    for (const auto& [key, r] : own)
      alone.InsertEntry(reinterpret_cast<const uint8_t*>(key.data()), r, false);
    ASSERT_EQ(scratchFile.GetLogicalPageCount(), 1u) << p;
    alone.Load(1);
    std::vector<uint8_t> a(alone.GetData(), alone.GetData() + bulkFile.GetPageSize());
    bulk.Load(p);
    std::vector<uint8_t> b(bulk.GetData(), bulk.GetData() + bulkFile.GetPageSize());
    if constexpr (std::is_same_v<Page, FBL_StringPage>) {
      // A split leaves 0 as the key last worked on of the page it cuts.
      a[4] = a[5] = b[4] = b[5] = 0;
    }
    ASSERT_EQ(a, b) << p;
  }
}

}  // namespace

TEST_F(IndexPageTest, BulkAppendingBuildsThePagesSingleInsertsBuild) {
  auto other = std::make_unique<FBL_IndexFile>(*mDb->GetIndexVolume(true), 99, 3, false);
  other->Create();
  other->Open();
  FBL_IndexFile scratch(*mDb->GetIndexVolume(true), 99, 4, false);
  scratch.Create();
  scratch.Open();
  auto renew = [](FBL_IndexFile& file) {
    file.Close();
    file.Remove();
    file.Create();
    file.Open();
  };
  // Texts: runs of one key, keys equal but for their case, long and short
  // keys; compared through the field, caseless, and as bytes.
  std::vector<std::pair<std::string, REC_ID>> texts;
  for (REC_ID r = 1; r <= 5000; ++r) {
    std::string text = r % 5 == 0 ? "Same" : std::string(1 + r % 40, char('a' + r % 7));
    if (r % 11 == 0) text[0] = char(std::toupper(text[0]));
    texts.emplace_back(IndexTextField::Key(text), r);
  }
  IndexTextField& field = Text(2);
  for (int mode = 0; mode < 3; ++mode) {
    field.mCaseless = mode == 1;
    field.mBytes = mode == 2;
    std::stable_sort(texts.begin(), texts.end(), [&](const auto& a, const auto& b) {
      int c = field.CompareKeys(K(a.first), K(b.first));
      return c != 0 ? c < 0 : a.second < b.second;
    });
    ExpectAppendsBuildTheSamePages<FBL_StringPage>(*mFile, *other, scratch, field, texts);
    renew(*mFile);
    renew(*other);
  }
  field.mCaseless = field.mBytes = false;

  std::vector<std::pair<int32_t, REC_ID>> entries;
  for (REC_ID r = 1; r <= 6000; ++r) entries.emplace_back(int32_t(r % 7 == 0 ? 5 : r / 3), r);
  std::sort(entries.begin(), entries.end());
  std::vector<std::pair<std::string, REC_ID>> longs;
  for (auto [v, r] : entries) longs.emplace_back(LongKey(v), r);
  ExpectAppendsBuildTheSamePages<FBL_CountedPage>(*mFile, *other, scratch, F(1), longs);
  // Inserts in another order hold the same entries in the same order.
  std::shuffle(entries.begin(), entries.end(), std::mt19937(7));
  mFile->Close();
  mFile->Remove();
  mFile->Create();
  mFile->Open();
  FBL_CountedPage single(*mFile, F(1));
  FBL_CountedPage bulk(*other, F(1));
  for (auto [v, r] : entries) single.InsertEntry(K(LongKey(v)), r, false);
  FBL_IndexPosition from, to;
  FBL_ArraySet a(0), b(0);
  ASSERT_TRUE(single.ResolveRange(true, nullptr, nullptr, true, from, to));
  single.CollectRange(from, to, &a, nullptr);
  ASSERT_TRUE(bulk.ResolveRange(true, nullptr, nullptr, true, from, to));
  bulk.CollectRange(from, to, &b, nullptr);
  EXPECT_EQ(Items(a), Items(b));
  EXPECT_EQ(a.Count(), 6000u);
  single.CheckAll();
}
