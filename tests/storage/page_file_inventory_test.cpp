#include <gtest/gtest.h>

#include <random>

#include "kernel/storage/page_file.h"
#include "tests/storage/page_file_fixture.h"

namespace {

using zpage::kContinuationMark;
using zpage::kHeadMark;
using ztest::ErrorCode;
using ztest::PageModel;

constexpr uint32_t kHead = kHeadMark | kContinuationMark;

class InventoryGrowth : public ztest::PageFileTest {};

TEST_F(InventoryGrowth, AddInventoryPageMovesTheFirstDataPageToTheEnd) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 3);
  f->GetInventory().SetEntry(1, f->GetInventory().GetEntry(1) | kHead);
  m.marks[0] = kHead;
  f->AddInventoryPage();
  EXPECT_EQ(f->GetInventoryPageCount(), 2u);
  EXPECT_EQ(f->GetPageCount(), 5u);
  EXPECT_EQ(f->GetPhysicalPage(1), 5u);  // was physical 2, now the last
  EXPECT_TRUE(f->IsHeaderDirty());
  ExpectMatches(*f, m);
  f->Close();
  f->Open();
  EXPECT_EQ(f->GetInventoryPageCount(), 2u);
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

TEST_F(InventoryGrowth, ThousandsOfPagesInsertedInTheMiddleKeepTheirOrder) {
  auto v = NewVolume(8192);
  v->Open();
  PageModel m;
  {
    auto f = CreateOpen(*v);
    Append(*f, m, 10);
    for (uint32_t i = 0; i < 2000; ++i)
      Insert(*f, m, static_cast<uint32_t>(m.tags.size()) / 2 + 1, 10000 + i);
    EXPECT_EQ(f->GetInventoryPageCount(), 8u);  // 2010 entries, 256 a page
    ExpectMatches(*f, m);
    f->Close();
  }
  auto f = MakeFile(*v);
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

// Pages removed a third of the way in until few are left: inventory pages
// no longer needed are given up, down to the one an empty file keeps.
TEST_F(InventoryGrowth, RemovingPagesGivesUpInventoryPages) {
  struct Case {
    uint32_t appended, kept, inventoryBefore;
  };
  for (const Case& c : {Case{600, 200, 3}, Case{2, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << c.appended << " down to " << c.kept);
    auto v = NewVolume();
    v->Open();
    auto f = CreateOpen(*v);
    PageModel m;
    Append(*f, m, c.appended);
    EXPECT_EQ(f->GetInventoryPageCount(), c.inventoryBefore);
    while (m.tags.size() > c.kept) {
      uint32_t l = static_cast<uint32_t>(m.tags.size()) / 3 + 1;
      ASSERT_TRUE(f->RemoveLogicalPage(l));
      m.tags.erase(m.tags.begin() + (l - 1));
      m.marks.erase(m.marks.begin() + (l - 1));
    }
    EXPECT_EQ(f->GetInventoryPageCount(), 1u);
    EXPECT_EQ(f->GetPageCount(), c.kept + 1);
    EXPECT_EQ(f->GetLength(), 1024u + (c.kept + 1) * 1024u);
    ExpectMatches(*f, m);
    f->Close();
    f->Open();
    EXPECT_EQ(f->GetInventoryPageCount(), 1u);
    ExpectMatches(*f, m);
    f->Close();
    v->Close();
  }
}

// ---- group marks ---------------------------------------------------------------

class InventoryMarks : public ztest::PageFileTest {
 protected:
  // Pages tagged 1..n with the given marks.
  std::unique_ptr<FBL_PageFile> Build(FBL_DataFile& v, PageModel& m,
                                      const std::vector<uint32_t>& marks) {
    auto f = CreateOpen(v);
    for (uint32_t i = 0; i < marks.size(); ++i) Insert(*f, m, i + 1, i + 1, marks[i]);
    return f;
  }
  std::vector<uint32_t> Marks(FBL_PageFile& f) {
    std::vector<uint32_t> out;
    for (uint32_t l = 1; l <= f.GetLogicalPageCount(); ++l)
      out.push_back(zpage::EntryMarks(f.GetInventory().GetEntry(l)));
    return out;
  }
};

// Removing a head passes the mark on to the next page; a group left with
// one page is no group; a group of three keeps its head when its last page
// goes.
TEST_F(InventoryMarks, RemovalsKeepGroupsWellFormed) {
  using Row = std::vector<uint32_t>;
  struct Step {
    uint32_t remove;
    Row after;
  };
  struct Case {
    Row before;
    std::vector<Step> steps;
  };
  const uint32_t kCont = kContinuationMark;
  const Case cases[] = {
      {{0, kHead, kCont, kCont, 0}, {{2, {0, kHead, kCont, 0}}, {2, {0, 0, 0}}}},
      {{kHead, kCont, kHead, kCont, kCont},
       {{5, {kHead, kCont, kHead, kCont}}, {2, {0, kHead, kCont}}, {3, {0, 0}}}},
  };
  for (const Case& c : cases) {
    auto v = NewVolume();
    v->Open();
    PageModel m;
    auto f = Build(*v, m, c.before);
    for (const Step& step : c.steps) {
      f->RemoveLogicalPage(step.remove);
      EXPECT_EQ(Marks(*f), step.after) << "after removing " << step.remove;
    }
    f->Close();
    v->Close();
  }
}

// The same removal on a vector of marks.
void ModelRemove(PageModel& m, size_t i) {
  auto& v = m.marks;
  size_t n = v.size();
  auto head = [&](size_t k) { return k < n && (v[k] & kHeadMark) != 0; };
  auto cont = [&](size_t k) { return k < n && v[k] == kContinuationMark; };
  if (head(i) && cont(i + 1)) {
    v[i + 1] = cont(i + 2) ? kHead : 0;
  } else if (cont(i) && !cont(i + 1) && i > 0 && head(i - 1)) {
    v[i - 1] = 0;
  }
  v.erase(v.begin() + static_cast<long>(i));
  m.tags.erase(m.tags.begin() + static_cast<long>(i));
}

// Every continuation follows a head or continuation, every head leads one.
void ExpectWellFormed(const PageModel& m) {
  const auto& v = m.marks;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == kContinuationMark) {
      EXPECT_TRUE(i > 0 && v[i - 1] != 0) << i;
    }
    if (v[i] & kHeadMark) {
      EXPECT_TRUE(i + 1 < v.size() && v[i + 1] == kContinuationMark) << i;
    }
  }
}

class InventoryModel : public ztest::PageFileTest, public ::testing::WithParamInterface<int> {};

TEST_P(InventoryModel, RandomInsertsAndRemovalsMatchAVector) {
  auto v = NewVolume(
      4096, GetParam() % 2 == 0 ? FBL_ByteOrder::kLittleEndian : FBL_ByteOrder::kBigEndian);
  v->Open();
  std::mt19937 rng(GetParam());
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 250);
  uint32_t tag = 50000;
  for (int step = 0; step < 500; ++step) {
    uint32_t n = static_cast<uint32_t>(m.tags.size());
    bool grow = n < 120 || (n < 700 && rng() % 100 < 55);
    if (grow) {
      // A place that does not split a group.
      uint32_t l = rng() % (n + 1) + 1;
      while (l <= n && m.marks[l - 1] == kContinuationMark) ++l;
      uint32_t size = rng() % 3 == 0 ? 2 + rng() % 3 : 1;
      for (uint32_t k = 0; k < size; ++k)
        Insert(*f, m, l + k, tag++, size == 1 ? 0 : k == 0 ? kHead : kContinuationMark);
    } else {
      uint32_t l = rng() % n + 1;
      ASSERT_TRUE(f->RemoveLogicalPage(l));
      ModelRemove(m, l - 1);
    }
    ExpectWellFormed(m);
    ExpectMatches(*f, m, step % 50 == 0);
    ASSERT_FALSE(HasFailure()) << "step " << step;
  }
  f->Close();
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

INSTANTIATE_TEST_SUITE_P(Seeds, InventoryModel, ::testing::Values(1, 2, 3));

TEST_F(InventoryMarks, EntriesOutsideTheInventoryRaise) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  EXPECT_EQ(ErrorCode([&] { f->GetInventory().GetEntry(0); }), 348);
  EXPECT_EQ(ErrorCode([&] { f->GetInventory().GetEntry(257); }), 348);
  EXPECT_EQ(ErrorCode([&] { f->InsertLogicalPage(2); }), ERR_WRONG_PARAMETER);
  f->Close();
  EXPECT_EQ(ErrorCode([&] { f->AppendLogicalPage(); }), ERR_ASSERTION_FAIL);
  v->Close();
}

}  // namespace
