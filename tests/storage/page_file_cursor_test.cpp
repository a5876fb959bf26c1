#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/page_file.h"
#include "tests/storage/page_file_fixture.h"

namespace {

using ztest::PageModel;

class PageCursor : public ztest::PageFileTest {};

TEST_F(PageCursor, SelectLocksOnePageAndReleaseGivesItUp) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 4);
  FBL_Cache& cache = *f->GetCache();
  FBL_LogicalPage page(*f);
  page.Select(2);
  EXPECT_TRUE(page.IsCurrent(2));
  EXPECT_EQ(page.GetPage(), f->GetPhysicalPage(2));
  EXPECT_EQ(page.GetLogicalPage(), 2u);
  uint8_t* data = page.GetData();
  page.Select(2);  // the current page keeps its block
  EXPECT_EQ(page.GetData(), data);
  FBL_BlockHandle block = cache.GetExactBlock(*f, page.GetOffset(), 1024);
  EXPECT_EQ(cache.GetBlockLocker(block), &page);
  EXPECT_EQ(page.Compare(), 0);
  page.Release();
  EXPECT_EQ(cache.GetBlockLocker(block), nullptr);
  EXPECT_EQ(page.GetData(), nullptr);
  EXPECT_FALSE(page.IsCurrent(2));
  f->Close();
  EXPECT_EQ(ztest::ErrorCode([&] { page.Select(2); }), ERR_ASSERTION_FAIL);
  v->Close();
}

TEST_F(PageCursor, ASecondCursorTakesThePageOver) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 2);
  FBL_LogicalPage a(*f), b(*f);
  a.Select(1);
  a.GetData()[100] = 0xAB;
  a.MarkDirty();
  b.Select(1);
  EXPECT_FALSE(a.IsLoaded());
  EXPECT_EQ(b.GetData()[100], 0xAB);
  EXPECT_EQ(a.GetData()[100], 0xAB);  // loaded again, now the holder
  EXPECT_FALSE(b.IsLoaded());
  f->Close();
  v->Close();
}

TEST_F(PageCursor, CompactionMovesAHeldPageUnderTheCursor) {
  auto v = NewVolume();
  v->Open();
  FBL_PageFile other(*v, kOwner, kKind, 1);
  other.Create();
  other.Open();
  for (int i = 0; i < 8; ++i) other.AppendLogicalPage();  // blocks low in the arena
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 1);
  FBL_LogicalPage page(*f);
  page.Select(1);
  uint8_t* before = page.GetData();
  other.Close();
  f->GetCache()->DropFile(other);
  f->GetCache()->Compact();
  EXPECT_NE(page.GetData(), before);
  EXPECT_TRUE(page.IsLoaded());
  EXPECT_TRUE(ztest::HasStamp(page.GetData(), 1024, m.tags[0]));
  EXPECT_EQ(f->GetCache()->CheckInvariants(), "");
  f->Close();
  v->Close();
}

TEST_F(PageCursor, LogicalCursorsFollowInsertsAndRemovals) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 5);
  FBL_LogicalPage fourth(*f), second(*f);
  fourth.Select(4);
  second.Select(2);
  Insert(*f, m, 3, 99);
  EXPECT_EQ(fourth.GetLogicalPage(), 5u);
  EXPECT_EQ(second.GetLogicalPage(), 2u);
  EXPECT_TRUE(ztest::HasStamp(fourth.GetData(), 1024, m.tags[4]));
  f->RemoveLogicalPage(2);
  EXPECT_EQ(second.GetLogicalPage(), 0u);
  EXPECT_EQ(second.GetData(), nullptr);
  EXPECT_EQ(fourth.GetLogicalPage(), 4u);
  // The last page moved into the removed one's place: its cursor let go.
  m.tags.erase(m.tags.begin() + 1);
  m.marks.erase(m.marks.begin() + 1);
  fourth.Select(4);
  EXPECT_TRUE(ztest::HasStamp(fourth.GetData(), 1024, m.tags[3]));
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

TEST_F(PageCursor, CursorsOutlivingTheFileAreDetached) {
  auto v = NewVolume();
  v->Open();
  auto page = std::make_unique<FBL_LogicalPage>(*MakeFile(*v));  // file gone at once
  EXPECT_EQ(page->GetFile(), nullptr);
  EXPECT_EQ(page->GetData(), nullptr);
  v->Close();
}

// A page whose first u32 is an integer: FromDisk and ToDisk convert it.
class WordPage : public FBL_LogicalPage {
 public:
  using FBL_LogicalPage::FBL_LogicalPage;
  ~WordPage() override { Release(); }
  void FromDisk() override {
    Swap();
    ++fromDisk;
    FBL_LogicalPage::FromDisk();
  }
  void ToDisk() override {
    Swap();
    ++toDisk;
    FBL_LogicalPage::ToDisk();
  }
  uint32_t Word() {
    uint32_t w;
    std::memcpy(&w, GetData(), 4);
    return w;
  }
  void SetWord(uint32_t w) {
    std::memcpy(GetData(), &w, 4);
    MarkDirty();
  }
  int fromDisk = 0, toDisk = 0;

 private:
  void Swap() { std::reverse(mData, mData + 4); }
};

TEST_F(PageCursor, PagesOfTheOtherByteOrderAreConvertedBothWays) {
  auto v = NewVolume(1024, FBL_ByteOrder::kBigEndian);  // big-endian
  v->Open();
  auto f = CreateOpen(*v);
  ASSERT_TRUE(f->IsSwappedVolume());
  f->AppendLogicalPage();
  WordPage page(*f);
  page.Select(1);
  EXPECT_EQ(page.fromDisk, 1);
  page.SetWord(0x01020304);
  f->Flush();  // the cache asks for disk order before writing
  EXPECT_EQ(page.toDisk, 1);
  uint8_t raw[4];
  f->ReadAt(raw, f->GetPageOffset(page.GetPage()), 4);
  EXPECT_EQ(zorder::LoadU32(raw, true), 0x01020304u);
  EXPECT_EQ(page.Word(), 0x01020304u);  // machine order again
  EXPECT_EQ(page.fromDisk, 2);
  page.Release();
  EXPECT_EQ(page.toDisk, 2);
  page.Select(1);
  EXPECT_EQ(page.Word(), 0x01020304u);
  f->Close();
  v->Close();
}

TEST_F(PageCursor, PagesOfTheMachinesOrderAreNotConverted) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  f->AppendLogicalPage();
  WordPage page(*f);
  page.Select(1);
  page.SetWord(7);
  f->Flush();
  page.Release();
  EXPECT_EQ(page.fromDisk + page.toDisk, 0);
  f->Close();
  v->Close();
}

// ---- a cache smaller than the pages in use -------------------------------------

TEST_F(PageCursor, ASmallArenaEvictsLockedPagesWithoutLosingABit) {
  auto v = NewVolume(8192);
  v->Open();
  FBL_Cache small(12 * (8192 + FBL_Cache::kHeaderBytes));
  PageModel m;
  {
    auto f = CreateOpen(*v, false, 8192);
    f->SetCache(&small);
    f->Open();
    for (uint32_t i = 0; i < 30; ++i) f->AppendLogicalPage();
    std::vector<std::unique_ptr<FBL_LogicalPage>> cursors;
    for (uint32_t l = 1; l <= 30; ++l) {
      cursors.push_back(std::make_unique<FBL_LogicalPage>(*f));
      cursors.back()->Select(l);
      ztest::StampPage(cursors.back()->GetData(), 8192, l);
      cursors.back()->MarkDirty();
      m.tags.push_back(l);
      m.marks.push_back(0);
    }
    int reloaded = 0;
    for (uint32_t l = 1; l <= 30; ++l) {
      reloaded += cursors[l - 1]->IsLoaded() ? 0 : 1;
      EXPECT_TRUE(ztest::HasStamp(cursors[l - 1]->GetData(), 8192, l)) << l;
    }
    EXPECT_GT(reloaded, 0);
    EXPECT_EQ(small.CheckInvariants(), "");
    cursors.clear();
    f->Close();
    f->Close();
    f->SetCache(FBL_MainCache());
  }
  auto f = MakeFile(*v, false, 8192);
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

}  // namespace
