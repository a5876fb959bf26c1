#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "kernel/storage/page_defragmenter.h"
#include "kernel/storage/page_file.h"
#include "tests/support/fault_env.h"
#include "tests/storage/page_file_fixture.h"
#include "tests/storage/test_cipher.h"

namespace {

using zpage::kContinuationMark;
using zpage::kHeadMark;
using ztest::ErrorCode;
using ztest::PageModel;

class PageDefrag : public ztest::PageFileTest {
 protected:
  // Descending pages with a group among them: out of order.
  static void Scramble(FBL_PageFile& f, PageModel& m, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Insert(f, m, 1, 20000 + i);
    Insert(f, m, 3, 1, kHeadMark | kContinuationMark);
    Insert(f, m, 4, 2, kContinuationMark);
  }
  static void ExpectInOrder(FBL_PageFile& f) {
    for (uint32_t l = 1; l <= f.GetLogicalPageCount(); ++l)
      ASSERT_EQ(f.GetPhysicalPage(l), f.GetInventoryPageCount() + l) << l;
  }
  static size_t Temporaries(FBL_DataFile& v) {
    size_t n = 0;
    for (const auto& e : v.ReadFileTable()) n += e.mKind == 0xFFFF ? 1 : 0;
    return n;
  }
};

TEST_F(PageDefrag, RewritesPagesInLogicalOrderKeepingEveryByte) {
  auto v = NewVolume();
  v->Open();
  PageModel m;
  {
    auto f = CreateOpen(*v);
    Scramble(*f, m, 600);
    ASSERT_TRUE(f->IsOutOfOrder());
    uint64_t length = f->GetLength();
    f->Defragment();
    EXPECT_TRUE(f->IsOpen());
    EXPECT_FALSE(f->IsOutOfOrder());
    EXPECT_EQ(f->GetLength(), length);
    ExpectInOrder(*f);
    ExpectMatches(*f, m);
    EXPECT_EQ(Temporaries(*v), 0u);
    size_t live = 0;
    for (const auto& e : v->ReadFileTable()) live += e.IsFree() ? 0 : 1;
    EXPECT_EQ(live, 2u);
    Insert(*f, m, 2, 4242);  // still a working file
    f->Close();
  }
  v->Close();
  v->Open();
  auto f = MakeFile(*v);
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

TEST_F(PageDefrag, PagesInsertedInTheMiddleComeBackInOrder) {
  auto v = NewVolume(8192, FBL_ByteOrder::kBigEndian);
  v->Open();
  auto f = CreateOpen(*v, true);
  PageModel m;
  Append(*f, m, 10);
  for (uint32_t i = 0; i < 1500; ++i)
    Insert(*f, m, static_cast<uint32_t>(m.tags.size()) / 2 + 1, 30000 + i);
  f->Close();  // Defragment opens and closes by itself
  f->Defragment();
  f->Open();
  ExpectInOrder(*f);
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

TEST_F(PageDefrag, AFileInOrderIsLeftAlone) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  PageModel m;
  Append(*f, m, 50);
  int32_t index = f->GetIndex();
  f->Defragment();
  EXPECT_EQ(f->GetIndex(), index);
  ExpectMatches(*f, m);
  f->Close();
  auto missing = MakeFile(*v, false);
  missing->SetId(kOwner, kKind, 9);
  missing->Defragment();  // no such file: nothing happens
  EXPECT_FALSE(missing->IsOpen());
  v->Close();
}

TEST_F(PageDefrag, AnEncryptedFileStaysEncrypted) {
  auto v = NewVolume();
  v->Open();
  auto cipher = std::make_shared<ztest::XorCipher>(0x5A);
  PageModel m;
  {
    auto f = MakeFile(*v);
    f->SetEncryption(cipher, true);
    f->SetEncryption(cipher, false);
    f->Create();
    f->Open();
    Scramble(*f, m, 40);
    f->Defragment();
    ExpectInOrder(*f);
    f->Close();
  }
  auto f = MakeFile(*v);
  f->SetEncryption(cipher, true);
  f->SetEncryption(cipher, false);
  f->Open();
  ExpectMatches(*f, m);
  std::vector<uint8_t> raw(1024);
  f->ReadAt(raw.data(), f->GetPageOffset(f->GetPhysicalPage(1)), raw.size());
  EXPECT_FALSE(ztest::HasStamp(raw.data(), 1024, m.tags[0]));
  f->Close();
  v->Close();
}

TEST_F(PageDefrag, TheTaskHasItsName) {
  auto v = NewVolume();
  v->Open();
  auto f = CreateOpen(*v);
  FBL_EmbededFile copy(*v, 1, 0xFFFF, 0);
  FBL_PageDefragmenter task(*f, copy);
  EXPECT_EQ(task.GetName(), "Page defragmentation");
  f->Close();
  v->Close();
}

// A defragmentation of this file takes 17 writes: each of them fails once.
class PageDefragFault : public PageDefrag, public ::testing::WithParamInterface<int> {};

TEST_P(PageDefragFault, AFailedWriteLeavesTheFileAsItWas) {
  ztest::FaultEnv env;
  auto v = std::make_unique<FBL_DataFile>(Path(), &env);
  v->CreateVolume(1024, 1, FBL_ByteOrder::kLittleEndian);
  v->Open();
  PageModel m;
  auto f = CreateOpen(*v);
  Scramble(*f, m, 80);
  f->Flush();
  env.FailWrite(static_cast<uint64_t>(GetParam()), EIO);
  EXPECT_EQ(ErrorCode([&] { f->Defragment(); }), EIO);
  env.Reset();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
  v->Open();
  // A write failing while the old storage is freed leaves it behind as a
  // temporary file, never under the page file's identity.
  EXPECT_LE(Temporaries(*v), 1u);
  f->Open();
  ExpectMatches(*f, m);
  f->Close();
  v->Close();
}

INSTANTIATE_TEST_SUITE_P(NthWrite, PageDefragFault, ::testing::Range(1, 18));

}  // namespace
