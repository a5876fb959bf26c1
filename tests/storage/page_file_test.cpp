#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/page_file.h"
#include "tests/storage/page_file_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::PageModel;
using ztest::RawFile;

class PageFileLayout : public ztest::PageFileTest {};

TEST_F(PageFileLayout, CreateMakesTheHeaderAndOneInventoryPage) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  EXPECT_EQ(f->GetLength(), 2048u);
  EXPECT_EQ(f->GetInventoryPageCount(), 1u);
  EXPECT_EQ(f->GetPageCount(), 1u);
  EXPECT_EQ(f->GetLogicalPageCount(), 0u);
  uint8_t count[2];
  ASSERT_EQ(f->ReadAt(count, 0, 2), 2u);
  EXPECT_EQ(count[0] | count[1] << 8, 1);
  f->Close();
  f->Create();  // exists: nothing happens
  f->Open();
  EXPECT_EQ(f->GetPageCount(), 1u);
  f->Close();
  v->Close();
}

TEST_F(PageFileLayout, PagesSitAfterTheHeaderAndReopenEqual) {
  auto v = NewVolume();
  v->Open();
  PageModel m;
  {
    auto f = CreateOpen(*v, false, 2048);
    Append(*f, m, 5);
    EXPECT_EQ(f->GetPageOffset(3), 1024u + 2 * 2048u);
    f->Close();
  }
  auto f = MakeFile(*v, false, 2048);
  f->Open();
  EXPECT_EQ(f->GetLength(), 1024u + 6 * 2048u);
  ExpectMatches(*f, m);
  // Raw bytes: logical page 1 is physical page 2 and carries its stamp.
  std::vector<uint8_t> raw(2048);
  ASSERT_EQ(f->ReadAt(raw.data(), f->GetPageOffset(f->GetPhysicalPage(1)), 2048), 2048u);
  EXPECT_TRUE(ztest::HasStamp(raw.data(), 2048, m.tags[0]));
  f->Close();
  v->Close();
}

TEST_F(PageFileLayout, BigEndianVolumeStoresEntriesBigEndianAndReopensEqual) {
  auto v = NewVolume(1024, FBL_ByteOrder::kBigEndian);
  v->Open();
  PageModel m;
  {
    auto f = CreateOpen(*v, true);
    Append(*f, m, 300);  // two inventory pages
    Insert(*f, m, 10, 77, zpage::kHeadMark | zpage::kContinuationMark);
    Insert(*f, m, 11, 78, zpage::kContinuationMark);
    f->Close();
  }
  v->Close();
  v->Open();
  auto f = MakeFile(*v, true);
  f->Open();
  EXPECT_TRUE(f->IsBigEndianVolume());
  EXPECT_EQ(f->GetInventoryPageCount(), 2u);
  ExpectMatches(*f, m);
  uint8_t raw[4];
  ASSERT_EQ(f->ReadAt(raw, 0, 2), 2u);
  EXPECT_EQ(raw[0] << 8 | raw[1], 2);  // M, big-endian
  ASSERT_EQ(f->ReadAt(raw, 1024 + 4 * 9, 4), 4u);
  uint32_t entry = zorder::LoadU32(raw, true);
  EXPECT_EQ(entry, f->GetInventory().GetEntry(10));
  EXPECT_EQ(zpage::EntryMarks(entry), zpage::kHeadMark | zpage::kContinuationMark);
  f->Close();
  v->Close();
}

TEST_F(PageFileLayout, HeaderAndInventoryBlocksAreOnePage) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  EXPECT_EQ(f->GetCachePageLimit(0), 1024);
  EXPECT_EQ(f->GetCachePageLimit(1024), 1024);
  EXPECT_EQ(f->GetCachePageLimit(2048), -1);
  f->SetBulkRange(0, 1 << 20);
  uint64_t start = 0, end = 0, budget = 0;
  f->GetCacheSettings(start, end, budget);
  EXPECT_EQ(start, 2048u);
  EXPECT_EQ(end, uint64_t{1} << 20);
  f->Close();
  v->Close();
}

TEST_F(PageFileLayout, AFileOfLengthZeroOpensWithNoPagesAndGrows) {
  auto v = NewVolume();
  v->Open();
  FBL_EmbededFile plain(*v, kOwner, kKind, 0);
  plain.Create();
  PageModel m;
  {
    auto f = MakeFile(*v);
    f->Open();
    EXPECT_EQ(f->GetPageCount(), 0u);
    Append(*f, m, 3);
    EXPECT_EQ(f->GetInventoryPageCount(), 1u);
    f->Close();
  }
  auto f = MakeFile(*v);
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

TEST_F(PageFileLayout, RemoveFreesTheFile) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 4);
  f->Close();
  f->Remove();
  EXPECT_FALSE(f->Exists());
  EXPECT_EQ(v->ReadFileTable().size(), 1u);
  v->Close();
}

// ---- kinds of page files -------------------------------------------------------

// A kind of file that keeps its page size at offset 4 of its header and
// records page moves.
class SizedPageFile : public FBL_PageFile {
 public:
  SizedPageFile(FBL_DataFile& v, uint32_t pageSize)
      : FBL_PageFile(v, 7, 41, 0, false, 1024, pageSize) {}
  void LoadHeader() override {
    FBL_PageFile::LoadHeader();
    SetPageSize(ReadHeaderU32(4, 4));
  }
  void SaveHeader() override {
    FBL_PageFile::SaveHeader();
    WriteHeaderU32(4, 4, GetPageSize());
  }
  void PageMoved(uint32_t from, uint32_t to) override { moves.push_back({from, to}); }
  std::vector<std::pair<uint32_t, uint32_t>> moves;
};

class PageFileKinds : public ztest::PageFileTest {};

TEST_F(PageFileKinds, AKindReadsItsPageSizeFromItsHeader) {
  auto v = NewVolume();
  v->Open();
  {
    SizedPageFile f(*v, 4096);
    f.Create();
    f.Open();
    f.AppendLogicalPage();
    f.Close();
  }
  SizedPageFile f(*v, 1024);  // the header knows better
  f.Open();
  EXPECT_EQ(f.GetPageSize(), 4096u);
  EXPECT_EQ(f.GetLogicalPageCount(), 1u);
  f.Close();
  FBL_EmbededFile plain(*v, 7, 41, 0);
  plain.Open();
  uint8_t bad[4] = {0x10, 0, 0, 0};  // 16 bytes: not a page size
  plain.WriteAt(bad, 4, 4);
  plain.Close();
  SizedPageFile g(*v, 1024);
  EXPECT_EQ(ErrorCode([&] { g.Open(); }), 348);
  v->Close();
}

TEST_F(PageFileKinds, MovedPagesAreReported) {
  auto v = NewVolume();
  v->Open();
  SizedPageFile f(*v, 1024);
  f.Create();
  f.Open();
  for (int i = 0; i < 4; ++i) f.AppendLogicalPage();
  f.AddInventoryPage();  // the first data page goes to the end
  using Move = std::pair<uint32_t, uint32_t>;
  EXPECT_EQ(f.moves, (std::vector<Move>{{2, 6}}));
  // Physical 3 leaves and the last page fills its place; then the second
  // inventory page is not needed and the last page takes its place too.
  f.RemoveLogicalPage(2);
  EXPECT_EQ(f.moves, (std::vector<Move>{{2, 6}, {6, 3}, {5, 2}}));
  EXPECT_EQ(f.GetInventoryPageCount(), 1u);
  EXPECT_EQ(f.GetPageCount(), 4u);
  f.Close();
  v->Close();
}

// ---- removing pages ------------------------------------------------------------

class PageFileZeroing : public ztest::PageFileTest {
 protected:
  void TearDown() override {
    FBL_SetPageZeroing(true);
    PageFileTest::TearDown();
  }
  // Removes the last page of a four-page file whose segments sit between
  // other files' segments, and returns the bytes left at its place.
  std::vector<uint8_t> LeftoverOfLastPage(bool zeroing) {
    FBL_SetPageZeroing(zeroing);
    auto v = NewVolume(1024);
    v->Open();
    PageModel m;
    uint64_t at = 0;
    {
      auto f = CreateOpen(*v);
      Append(*f, m, 4);
      f->Flush();
      PutFile(*v, 99, 3, ztest::Pattern(4096, 5));  // segments after the page file
      uint32_t last = f->GetPageCount();
      uint64_t offset = f->GetPageOffset(last);
      at = 1024 + uint64_t{v->GetSegment(*f, static_cast<uint32_t>(offset / 1024) + 1) - 1} * 1024;
      EXPECT_TRUE(f->RemoveLogicalPage(4));
      EXPECT_EQ(f->GetPageCount(), last - 1);
      EXPECT_EQ(f->GetLength(), offset);
      m.tags.pop_back();
      m.marks.pop_back();
      ExpectMatches(*f, m);
      f->Close();
    }
    v->Close();
    return RawFile(Path()).Read(at, 1024);
  }
};

// With zeroing on, the removed page's place reads zeros; with it off, the
// old bytes stay.
TEST_F(PageFileZeroing, RemovingTheLastPageWritesZerosFirstUnlessSwitchedOff) {
  EXPECT_TRUE(FBL_GetPageZeroing());
  for (bool zeroing : {true, false}) {
    SCOPED_TRACE(zeroing);
    auto left = LeftoverOfLastPage(zeroing);
    ASSERT_EQ(left.size(), 1024u);
    if (zeroing) {
      EXPECT_EQ(std::count(left.begin(), left.end(), 0), 1024);
    } else {
      EXPECT_TRUE(ztest::HasStamp(left.data(), 1024, 1003));
    }
  }
}

TEST_F(PageFileZeroing, RemovingAMiddlePageMovesTheLastIntoItsPlace) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 6);
  uint32_t hole = f->GetPhysicalPage(2);
  uint32_t lastOwner = 6;  // appended in order: logical 6 is the last page
  EXPECT_TRUE(f->RemoveLogicalPage(2));
  m.tags.erase(m.tags.begin() + 1);
  m.marks.erase(m.marks.begin() + 1);
  EXPECT_EQ(f->GetPhysicalPage(lastOwner - 1), hole);
  ExpectMatches(*f, m);
  EXPECT_FALSE(f->RemoveLogicalPage(0));
  EXPECT_FALSE(f->RemoveLogicalPage(6));
  f->Close();
  v->Close();
}

// ---- the out-of-order test -----------------------------------------------------

class PageFileOrder : public ztest::PageFileTest {};

// Pages appended, then some inserted at one place, newest first: the
// file is out of order when many logical neighbours descend.
TEST_F(PageFileOrder, ManyDescentsAreOutOfOrder) {
  struct Case {
    uint32_t appended, insertAt, inserted;
    bool outOfOrder;
  };
  const Case cases[] = {
      {0, 1, 20, true},     // strictly descending
      {1, 0, 0, false},     // one page
      {100, 0, 0, false},   // ascending
      {100, 50, 1, false},  // the newest page in the middle: one descent
      {10, 5, 30, true},    // pages inserted in the middle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.appended << " appended, " << c.inserted << " at "
                                    << c.insertAt);
    auto v = NewVolume();
    v->Open();
    auto f = CreateOpen(*v);
    PageModel m;
    Append(*f, m, c.appended);
    for (uint32_t i = 0; i < c.inserted; ++i) Insert(*f, m, c.insertAt, 500 + i);
    EXPECT_EQ(f->IsOutOfOrder(), c.outOfOrder);
    f->Close();
    v->Close();
  }
}

// ---- damaged files -------------------------------------------------------------

class PageFileDamage : public ztest::PageFileTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool Index() const { return GetParam(); }
  int32_t BadPage() const { return Index() ? 372 : 348; }
  // A closed file of 20 stamped pages.
  PageModel Build(FBL_DataFile& v) {
    PageModel m;
    auto f = CreateOpen(v, Index());
    Append(*f, m, 20);
    f->Close();
    return m;
  }
  // Raw bytes of the closed page file, written past the cache.
  void Patch(FBL_DataFile& v, uint64_t offset, const std::vector<uint8_t>& bytes) {
    FBL_EmbededFile plain(v, kOwner, kKind, 0);
    plain.Open();
    plain.WriteAt(bytes.data(), offset, bytes.size());
    plain.Close();
  }
  void PatchEntry(FBL_DataFile& v, uint32_t l, uint32_t entry) {
    std::vector<uint8_t> b(4);
    zorder::StoreU32(b.data(), entry, false);
    Patch(v, 1024 + 4 * (l - 1), b);
  }
};

TEST_P(PageFileDamage, AnEntryOfZeroRaisesTheFilesCode) {
  auto v = NewVolume();
  v->Open();
  Build(*v);
  PatchEntry(*v, 3, 0);
  auto f = MakeFile(*v, Index());
  f->Open();
  FBL_LogicalPage page(*f);
  EXPECT_EQ(ErrorCode([&] { page.Select(3); }), BadPage());
  EXPECT_FALSE(page.IsLoaded());
  page.Select(4);  // the others still read
  EXPECT_TRUE(ztest::HasStamp(page.GetData(), 1024, 1003));
  EXPECT_EQ(ErrorCode([&] { f->IsOutOfOrder(); }), BadPage());
  EXPECT_EQ(ErrorCode([&] { f->Defragment(); }), BadPage());
  EXPECT_EQ(ErrorCode([&] { f->RemoveLogicalPage(3); }), BadPage());
  f->Close();
  v->Close();
}

TEST_P(PageFileDamage, AnEntryBeyondTheFileOrOnTheInventoryRaises) {
  auto v = NewVolume();
  v->Open();
  Build(*v);
  PatchEntry(*v, 5, 22);                    // N is 21
  PatchEntry(*v, 6, 1 | zpage::kHeadMark);  // the inventory page itself
  PatchEntry(*v, 7, zpage::kPageMask);
  auto f = MakeFile(*v, Index());
  f->Open();
  FBL_LogicalPage page(*f);
  for (uint32_t l : {5u, 6u, 7u, 21u, 0u})
    EXPECT_EQ(ErrorCode([&] { page.Select(l); }), BadPage()) << l;
  FBL_PhysicalPage physical(*f);
  EXPECT_EQ(ErrorCode([&] { physical.Select(22); }), BadPage());
  EXPECT_EQ(ErrorCode([&] { physical.Select(0); }), BadPage());
  f->Close();
  v->Close();
}

TEST_P(PageFileDamage, ABadHeaderOrLengthRefusesToOpen) {
  auto v = NewVolume();
  v->Open();
  Build(*v);
  Patch(*v, 0, {0x40, 0});  // M = 64 > N
  auto f = MakeFile(*v, Index());
  EXPECT_EQ(ErrorCode([&] { f->Open(); }), BadPage());
  EXPECT_FALSE(f->IsOpen());
  Patch(*v, 0, {0, 0});  // M = 0: 21 pages the inventory cannot describe
  EXPECT_EQ(ErrorCode([&] { f->Open(); }), BadPage());
  Patch(*v, 0, {1, 0});
  {
    FBL_EmbededFile plain(*v, kOwner, kKind, 0);
    plain.Open();
    plain.SetLength(500);  // shorter than the header
    plain.Close();
  }
  auto g = MakeFile(*v, Index());
  EXPECT_EQ(ErrorCode([&] { g->Open(); }), BadPage());
  EXPECT_TRUE(v->IsOpen());
  v->Close();
}

TEST_P(PageFileDamage, RandomDamageNeverCrashes) {
  auto v = NewVolume();
  v->Open();
  PageModel m = Build(*v);
  std::mt19937 rng(Index() ? 3 : 4);
  for (int round = 0; round < 40; ++round) {
    std::vector<uint8_t> junk(1 + rng() % 12);
    for (auto& b : junk) b = static_cast<uint8_t>(rng());
    uint64_t at = rng() % 3 == 0 ? rng() % 4 : 1024 + rng() % 100;
    Patch(*v, at, junk);
    auto f = MakeFile(*v, Index());
    int code = ErrorCode([&] {
      f->Open();
      FBL_LogicalPage page(*f);
      for (uint32_t l = 1; l <= f->GetLogicalPageCount(); ++l) {
        page.Select(l);
        ASSERT_NE(page.GetData(), nullptr);
      }
      f->IsOutOfOrder();
    });
    EXPECT_TRUE(code == 0 || code == BadPage()) << code;
    f->Close();
  }
  v->Close();
}

INSTANTIATE_TEST_SUITE_P(IndexOrNot, PageFileDamage, ::testing::Bool());

}  // namespace
