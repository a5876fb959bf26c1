// The SQL and XML dumps byte for byte against the files kept in
// tests/dump/expected/, and their edge cases: no tables, a table without
// fields or records, kinds that write nothing, the single-table header.
// Every XML dump written here goes through xmllint.
#include <filesystem>

#include "dump/sql_dump.h"
#include "dump/xml_dump.h"
#include "dump/xml_load.h"
#include "tests/dump/dump_fixture.h"

namespace {

class DumpWriters : public ztest::DumpTest {
 protected:
  // Dumps in the kind and returns the text; an XML dump must be well-formed.
  std::string DumpText(int32_t kind) {
    const std::string path = mDir.File(kind == 1 ? "dump.sql" : "dump.xml");
    mDb->Dump(path, kind);
    std::string text = ztest::ReadFileText(path);
    if (kind == 2) {
      const std::string lint = ztest::XmlLint(path);
      EXPECT_TRUE(lint.empty() || lint == "skip") << lint;
    }
    return text;
  }

  void ExpectFile(const std::string& name, const std::string& text) {
    const std::string expected = ztest::ReadFileText(ztest::ExpectedPath(name));
    if (std::getenv("ZORVANE_WRITE_EXPECTED") != nullptr)
      ztest::WriteFileText(ztest::ExpectedPath(name), text);
    EXPECT_EQ(text, expected) << name << " differs (ZORVANE_WRITE_EXPECTED=1 rewrites it)";
  }
};

TEST_F(DumpWriters, EveryFieldTypeDumpsAsTheExpectedFiles) {
  MakeEveryType();
  ExpectFile("every_type.sql", DumpText(1));
  ExpectFile("every_type.xml", DumpText(2));
}

TEST_F(DumpWriters, EdgeCasesOfTablesAndKinds) {
  Create();
  const std::string header = "# Zorvane dump \n#" + std::string(50, '-') + "\n\n";
  EXPECT_EQ(DumpText(1), header);
  std::string xml = DumpText(2);
  EXPECT_NE(xml.find("\t\t<BaseObjectCount>0</BaseObjectCount>\n\t</DatabaseDesc>\n\n\n\n"
                     "\t<DatabaseData>\n\t</DatabaseData>\n</Database>\n"),
            std::string::npos)
      << xml;

  // Kinds other than 1 and 2 create no file; a closed database raises 327.
  for (int32_t kind : {0, 3, -1}) {
    mDb->Dump(mDir.File("none"), kind);
    EXPECT_FALSE(std::filesystem::exists(mDir.File("none"))) << kind;
  }
  OBL_DataBase closed;
  EXPECT_EQ(ztest::ErrorCode([&] { closed.Dump(mDir.File("none"), 2); }), ERR_DATABASE_NOT_OPENED);
  EXPECT_FALSE(std::filesystem::exists(mDir.File("none")));

  mDb->MakeNewBaseObject("Bare");
  OBL_BaseObject& empty = mDb->MakeNewBaseObject("Empty");
  AddField(empty, "A", kTypeLong, 0, kFieldIndexed | kFieldUnique);
  EXPECT_EQ(DumpText(1), header +
                             "#\n# Table structure for 'Bare'\n#\n\nCREATE TABLE Bare;\n\n"
                             "#\n# Dumping data for table 'Bare'\n#\n\n\n"
                             "#\n# Table structure for 'Empty'\n#\n\n"
                             "CREATE TABLE Empty (\n\tA Long NOT NULL UNIQUE INDEXED\n);\n\n"
                             "#\n# Dumping data for table 'Empty'\n#\n\n\n");
  xml = DumpText(2);
  EXPECT_NE(xml.find("\t\t<BaseObjectData Name=\"Bare\">\n\t\t\t<RecordCount>0</RecordCount>\n"
                     "\t\t</BaseObjectData>\n"),
            std::string::npos);

  // The single-table header: 41 lines, then two more line feeds.
  {
    OBL_DumpXML writer(mDir.File("table.xml"));
    writer.DumpTable(empty);
  }
  const std::string table = ztest::ReadFileText(mDir.File("table.xml"));
  const size_t end = table.find("]>\n\n\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(std::count(table.begin(), table.begin() + static_cast<long>(end), '\n'), 40);
  EXPECT_NE(table.find("<!DOCTYPE BaseObject [\n<!ELEMENT BaseObject (BaseObjectDesc, "
                       "BaseObjectData) >\n<!ELEMENT BaseObjectDesc"),
            std::string::npos);
  EXPECT_EQ(table.substr(end + 5, 28), "<BaseObjectDesc Name=\"Empty\"");
}

TEST_F(DumpWriters, HostileNamesStayWellFormedAndQuoted) {
  Create();
  const std::string names[] = {"a \"b\" <c> & 'd'", "tab\there\nline", "caf\xE9", "x\x01y"};
  OBL_BaseObject& t = mDb->MakeNewBaseObject(names[0]);
  for (size_t i = 1; i < std::size(names); ++i) AddField(t, names[i], kTypeString, 10);
  Add(t, {"\r\n", "v", "w"});
  DumpText(2);
  const std::string sql = DumpText(1);
  EXPECT_NE(sql.find("CREATE TABLE [a \"b\" <c> & 'd'] (\n\t\"tab\there\nline\" String(10,"),
            std::string::npos)
      << sql;
}

TEST_F(DumpWriters, ProgressRisesOncePerPercentOnDumpsAndLoads) {
  Create();
  OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
  AddField(t, "A", kTypeLong);
  for (int i = 0; i < 700; ++i) Add(t, {std::to_string(i)});
  // Dumps report by records, loads by 8,192-byte blocks of the document.
  auto rising = [](const std::vector<uint32_t>& seen, size_t atLeast) {
    EXPECT_GE(seen.size(), atLeast);
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_LT(seen[i], 100u);
      if (i > 0) {
        EXPECT_GT(seen[i], seen[i - 1]);
      }
    }
  };
  for (int kind : {1, 2}) {
    std::vector<uint32_t> seen;
    std::unique_ptr<OBL_Dump> writer;
    if (kind == 1) writer = std::make_unique<OBL_DumpSQL>(mDir.File("p.sql"));
    if (kind == 2) writer = std::make_unique<OBL_DumpXML>(mDir.File("p.xml"));
    writer->SetProgress([&](uint32_t percent) { seen.push_back(percent); });
    writer->Dump(*mDb);
    writer.reset();
    rising(seen, 90);
  }
  std::vector<uint32_t> seen;
  OBL_DataBase copy;
  OBL_DumpXMLParser reader(mDir.File("p.xml"), mDir.File("copy"));
  reader.SetProgress([&](uint32_t percent) { seen.push_back(percent); });
  reader.Load(copy);
  EXPECT_EQ(copy.FindBaseObject("T")->GetStore().GetRecordCount(), 700u);
  rising(seen, 5);
}

}  // namespace
