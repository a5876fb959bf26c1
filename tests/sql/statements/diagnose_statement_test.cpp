// DIAGNOSE writes "Diagnose report.txt" beside the database: all right on a
// healthy database, the damage named on one whose VarChar page, BLOB chain
// or index page the test breaks.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/indexes/secondary_index.h"
#include "kernel/storage/blob_file.h"
#include "kernel/storage/page_cursors.h"
#include "kernel/storage/varchar_file.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/length_field.h"
#include "tests/sql/statements/statement_fixture.h"

namespace {

class DiagnoseStatement : public ztest::StatementTest {
 protected:
  void SetUp() override {
    StatementTest::SetUp();
    Create();
    Exec("CREATE TABLE doc (n Long INDEXED, title VarChar(100), body BLOB)");
    for (int i = 0; i < 3000; ++i) {
      const std::string n = std::to_string(i);
      const std::string body = i < 5 ? std::string(3000, char('a' + i)) : "";
      Exec("INSERT INTO doc VALUES (:1, :2, :3)", {{n}, {"title " + n}, {body, body.empty()}});
    }
    Exec("CREATE TABLE other (x Long)");
  }
  std::string Report() {
    std::ifstream in(mDir.File("Diagnose report.txt"), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::string Block(const std::string& table, bool right) {
    const std::string stars(72, '*');
    return stars + "\n* BaseObject: \"" + table + "\"\n" + stars + "\n" +
           (right ? "All right.\n\n" : "Problems found.\n\n");
  }
  // The report of DIAGNOSE FIELD must begin with the table's block.
  void ExpectProblem(const std::string& field, const std::string& says) {
    for (const std::string& text : std::vector<std::string>{
             "DIAGNOSE DATABASE", "DIAGNOSE TABLE doc", "DIAGNOSE FIELD doc." + field}) {
      Exec(text);
      const std::string report = Report();
      EXPECT_EQ(report.rfind("Problems found!\n\n", 0), 0u) << text;
      EXPECT_NE(report.find(Block("doc", false)), std::string::npos) << text;
      EXPECT_NE(report.find("(!) Field \"" + field + "\""), std::string::npos) << text << report;
      EXPECT_NE(report.find(says), std::string::npos) << text << "\n" << report;
    }
    Exec("DIAGNOSE TABLE other");
    EXPECT_EQ(Report(), "All right!\n\n" + Block("other", true) +
                            "Field \"RecID\": All right.\nField \"x\": All right.\n\n\n");
  }
};

TEST_F(DiagnoseStatement, AHealthyDatabaseIsAllRight) {
  Exec("DIAGNOSE DATABASE");
  std::string report = Report();
  EXPECT_EQ(report.rfind("All right!\n\n", 0), 0u);
  EXPECT_EQ(report.find("(!)"), std::string::npos) << report;
  for (const char* table : {"doc", "other", "sysItem"})
    EXPECT_NE(report.find(Block(table, true)), std::string::npos) << table;
  Exec("diagnose table DOC;");
  EXPECT_EQ(Report(), "All right!\n\n" + Block("doc", true) + "Field \"RecID\": All right.\n" +
                          "Field \"n\": All right.\n" +
                          "Field \"title\": All right.\nField \"body\": All right.\n\n\n");
  Exec("DIAGNOSE FIELD doc.title");
  EXPECT_EQ(Report(), "All right!\n\n" + Block("doc", true) + "Field \"title\": All right.\n\n\n");
}

TEST_F(DiagnoseStatement, ADamagedVarCharPageIsNamed) {
  auto& title = dynamic_cast<FBL_LengthField&>(Field("doc", "title"));
  FBL_VarCharFile& file = *title.GetVarCharFile();
  const uint16_t count = 0xFFFF;
  file.SetPosition(file.GetPageOffset(file.GetPhysicalPage(1)) + file.GetPageSize() - 2);
  file.Write(&count, 2);
  ExpectProblem("title", "ItemCount =65535");
}

TEST_F(DiagnoseStatement, ADamagedBlobChainIsNamed) {
  auto& body = dynamic_cast<BF_BLOB&>(Field("doc", "body"));
  FBL_BLOBFile& file = body.Blobs();
  // mIndex of the first value's second block.
  const uint32_t wrong = 7;
  file.SetPosition(zblob::BlockOffset(body.GetSegmentSize(), 2) + 8);
  file.Write(&wrong, 4);
  ExpectProblem("body", "has wrong mIndex must be 2 in fact 7");
}

TEST_F(DiagnoseStatement, ADamagedIndexPageIsNamed) {
  auto& index = dynamic_cast<FBL_SecondaryIndex&>(*Field("doc", "n").GetIndex());
  {
    FBL_LogicalPage raw(index.GetFile());
    raw.Select(2);
    uint8_t* d = raw.GetData();
    std::swap_ranges(d + 4, d + 8, d + 12);  // first two keys out of order
    raw.MarkDirty();
  }
  ExpectProblem("n", "its index is damaged (error 370)");
}

}  // namespace
