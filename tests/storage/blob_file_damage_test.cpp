#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "tests/storage/blob_fixture.h"
#include "tests/support/report_facts.h"

namespace {

using namespace ztest;

// Three values in a file of 512-byte blocks: a in blocks 1..3, b in 4..6,
// c in 7.
// Reports of a value's problems, of the deleted chain and of an empty table
// are compared whole once each; the others are checked by what they state.
class BlobDamageTest : public BlobFileTest {
 protected:
  void SetUp() override {
    BlobFileTest::SetUp();
    Make(512);
    a = Put(Pattern(1000, 1));
    b = Put(Pattern(1000, 2));
    c = Put(Pattern(10, 3));
  }
  std::vector<FBL_BLOBReference> Refs() const { return {{1, a}, {2, b}, {3, c}}; }
  int ReadCode(uint32_t first) {
    return ErrorCode([&] {
      std::vector<uint8_t> buf(1000);
      mFile->ReadValue(buf.data(), 1000, first, 0);
    });
  }
  uint32_t a = 0, b = 0, c = 0;
};

TEST_F(BlobDamageTest, ASoundFileDiagnosesClean) {
  bool ok = false;
  EXPECT_EQ(Diagnose(Refs(), &ok), "");
  EXPECT_TRUE(ok);
}

TEST_F(BlobDamageTest, ANextBlockCycleIsReportedAndRaises38) {
  SetWord(b + 1, kNext, b);  // 4 -> 5 -> 4
  EXPECT_EQ(ReadCode(b), 38);
  bool ok = true;
  EXPECT_EQ(Diagnose(Refs(), &ok),
            "............Record 2 has the following problems.\n"
            "\t\t\t\t\tBlock 4 already belong to OTHER record.Probably developer forget call "
            "SetBlank() before AddRecord().\n"
            "(!) Minor problem: exists 1 orphan segments.(indicate mistake in algorithm.)\n");
  EXPECT_FALSE(ok);
  // The undamaged values still read.
  EXPECT_EQ(ReadAll(a), Pattern(1000, 1));
  EXPECT_EQ(ReadAll(c), Pattern(10, 3));
}

TEST_F(BlobDamageTest, ABlockPastTheEndIsReportedAndRaises38) {
  SetWord(a, kNext, 40);
  EXPECT_EQ(ReadCode(a), 38);
  bool ok = true;
  // A 1024-byte header area, then 7 blocks of 512: 4608; block 40 begins at
  // 1024 + 39 * 512 = 20992.
  EXPECT_TRUE(States(Diagnose(Refs(), &ok), 3,
                     {"Record 1 ", "Block 40 has beging after EOF",
                      "file length is 4608 but block beging is 20992", "exists 2 orphan"}));
  EXPECT_FALSE(ok);
  // A record whose first block lies past the end.
  std::string report = Diagnose({{9, 12}});
  EXPECT_NE(report.find("............Record 9 is after EOF.\n"), std::string::npos);
  EXPECT_EQ(ErrorCode([&] { mFile->GetValueSize(12); }), 38);
}

TEST_F(BlobDamageTest, APartialLastBlockIsPastTheEnd) {
  SetWord(a + 1, kNext, c);
  mFile->SetLength(mFile->GetLength() - 100);
  FBL_BLOBFile& f = Reopen();
  EXPECT_EQ(f.GetBlockCount(), 6u);
  EXPECT_EQ(ReadCode(c), 38);
  EXPECT_EQ(ReadCode(a), 38);
  std::string report = Diagnose(Refs());
  EXPECT_NE(report.find("............Record 3 is after EOF.\n"), std::string::npos);
  EXPECT_NE(report.find("\t\t\t\t\tBlock 7 has end after EOF file length is 4508 but block end "
                        "is 4608\n"),
            std::string::npos)
      << report;
}

TEST_F(BlobDamageTest, AWrongIndexIsReportedAndRaises38) {
  SetWord(a + 1, kIndex, 5);
  EXPECT_EQ(ReadCode(a), 38);
  // Reading only the first block's part does not walk into the damage.
  std::vector<uint8_t> part(100);
  EXPECT_EQ(ErrorCode([&] { mFile->ReadValue(part.data(), 100, a, 0); }), 0);
  bool ok = true;
  EXPECT_TRUE(States(Diagnose(Refs(), &ok), 2,
                     {"Record 1 ", "Block 2 has wrong mIndex must be 2 in fact 5"}));
  EXPECT_FALSE(ok);
}

TEST_F(BlobDamageTest, WrongFirstBlockAndByteCountsAreReported) {
  SetWord(b + 1, kFirst, a);
  SetWord(b + 2, kBytes, 600);
  EXPECT_EQ(ReadCode(b), 38);
  // 480: a 512-byte block less its 32-byte header.
  EXPECT_TRUE(States(Diagnose(Refs()), 3,
                     {"Record 2 ", "Block 5 has wrong mFirstBlock must be 4 in fact 1",
                      "Block 6 has wrong mBytesInBlock must be <= 480 in fact 600"}));
  SetWord(b + 2, kBytes, 20);
  EXPECT_EQ(ReadCode(b), 38);
  EXPECT_NE(Diagnose(Refs()).find("Block 6 has wrong mBytesInBlock must be 40 in fact 20\n"),
            std::string::npos);
}

TEST_F(BlobDamageTest, AChainEndingEarlyIsReportedAndRaises38) {
  SetWord(a + 1, kNext, 0);
  EXPECT_EQ(ReadCode(a), 38);
  EXPECT_TRUE(States(Diagnose(Refs()), 3,
                     {"Record 1 ", "Block 2 ends the chain but the value needs 3 blocks",
                      "exists 1 orphan"}));
}

TEST_F(BlobDamageTest, TwoRecordsSharingAChainAreReported) {
  std::string report = Diagnose({{1, a}, {2, a}});
  EXPECT_NE(report.find("............Record 2 has the following problems.\n"
                        "\t\t\t\t\tBlock 1 already belong to OTHER record."),
            std::string::npos);
}

TEST_F(BlobDamageTest, AReferenceToAMiddleBlockRaises38) {
  EXPECT_EQ(ReadCode(a + 1), 38);
  EXPECT_EQ(ErrorCode([&] { mFile->DeleteValue(a + 1); }), 38);
  EXPECT_EQ(ReadAll(a), Pattern(1000, 1));  // nothing was freed
}

TEST_F(BlobDamageTest, DeletingADamagedValueFreesOnlyItsSoundPart) {
  SetWord(a + 1, kNext, c);  // a's chain leads into c
  mFile->DeleteValue(a);
  EXPECT_EQ(ReadAll(c), Pattern(10, 3));
  EXPECT_EQ(Word(a + 1, kNext), 0u);  // the freed part ends the deleted chain
  bool ok = false;
  std::string report = Diagnose({{2, b}, {3, c}}, &ok);
  EXPECT_TRUE(States(report, 1, {"Minor problem: exists 1 orphan"}));
  EXPECT_TRUE(ok);
}

TEST_F(BlobDamageTest, DeletedChainProblemsAreReported) {
  mFile->DeleteValue(a);  // 1 -> 2 -> 3
  SetWord(2, kPrev, 7);
  SetWord(3, kNext, 3);
  bool ok = true;
  EXPECT_EQ(Diagnose({{2, b}, {3, c}}, &ok),
            "(!) Problem in the chain of deleted blocks:\n"
            "\t\t\t\t\tDeleted block 2 has wrong mPrevBlock must be 1 in fact 7\n"
            "\t\t\t\t\tDeleted block 3 has wrong mNextBlock \n");
  EXPECT_FALSE(ok);
}

TEST_F(BlobDamageTest, ADeletedChainLeadingIntoAValueIsNeverReused) {
  mFile->DeleteValue(a);  // 1 -> 2 -> 3
  SetWord(2, kNext, b);   // the chain runs into b
  EXPECT_NE(Diagnose({{2, b}, {3, c}}).find("\t\t\t\t\tDeleted block 2 has wrong mNextBlock \n"),
            std::string::npos);
  uint32_t d = Put(Pattern(2000, 4));  // takes 1 and 2, then abandons the chain
  EXPECT_EQ(ReadAll(b), Pattern(1000, 2));
  EXPECT_EQ(ReadAll(d), Pattern(2000, 4));
  EXPECT_EQ(mFile->GetFirstDeleted(), 0u);
  bool ok = false;
  Diagnose({{2, b}, {3, c}, {4, d}}, &ok);
  EXPECT_TRUE(ok);  // block 3 is lost, a minor problem
}

TEST_F(BlobDamageTest, ADeletedHeadOutOfRangeIsAbandoned) {
  SetWord(0, 1, 99);
  Reopen();
  EXPECT_NE(Diagnose(Refs()).find("(!) Problem in the chain of deleted blocks:\n"
                                  "\t\t\t\t\tBlock 99 has beging after EOF"),
            std::string::npos);
  uint32_t d = Put(Pattern(100, 5));
  EXPECT_EQ(d, 8u);
  EXPECT_EQ(mFile->GetFirstDeleted(), 0u);
  EXPECT_EQ(ReadAll(d), Pattern(100, 5));
}

TEST_F(BlobDamageTest, AnEmptyTableWithBlocksIsReported) {
  mFile->DeleteValue(a);
  bool ok = true;
  std::string report = Diagnose({}, &ok, true);
  EXPECT_EQ(report.rfind("(!) Table is empty but BLOB file is not.\n"
                         "(!) Table is empty but DeleteBlock is not ZERO.\n",
                         0),
            0u);
  EXPECT_FALSE(ok);
  // Not verbose: the same verdict, no text.
  std::string quiet;
  EXPECT_FALSE(mFile->Diagnose(quiet, false, true, {}));
  EXPECT_EQ(quiet, "");
}

TEST_F(BlobDamageTest, ADamagedHeaderRaises38AtOpenAndInDiagnose) {
  SetWord(0, 0, 7);
  mFile->Close();
  FBL_BLOBFile g(*mVolume, 3, 7, 0);
  EXPECT_EQ(ErrorCode([&] { g.Open(); }), 38);
  EXPECT_FALSE(g.IsOpen());
  std::string report;
  EXPECT_FALSE(g.Diagnose(report, true, false, Refs()));
  EXPECT_EQ(report.rfind("(!) BLOB file cannot be checked: ", 0), 0u);
}

TEST_F(BlobDamageTest, AFileShorterThanItsHeaderRaises38) {
  mFile->SetLength(500);
  mFile->Close();
  FBL_BLOBFile g(*mVolume, 3, 7, 0);
  EXPECT_EQ(ErrorCode([&] { g.Open(); }), 38);
}

}  // namespace
