// Delimited text import and export: every field type through tab and comma
// files and back, the format's edge cases as files in and files out, long
// records, and an import that a unique value ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/storage/file_win.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/text_exporter.h"
#include "kernel/tables/text_importer.h"
#include "tests/support/raw_file.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::Column;
using ztest::ErrorCode;
using Value = std::optional<std::string>;  // nullopt: null
using Row = std::vector<Value>;

FBL_TextFormat Format(char fieldDelimiter, char recordDelimiter = '\n') {
  FBL_TextFormat format;
  format.mFieldDelimiter = fieldDelimiter;
  format.mRecordDelimiter = recordDelimiter;
  return format;
}

class TextImportExportTest : public ztest::TableTest {
 protected:
  std::string FilePath() const { return mDir.File("data.txt"); }
  std::string ReadFile() {
    ztest::RawFile raw(FilePath());
    std::vector<uint8_t> bytes = raw.Read(0, raw.Size());
    return {bytes.begin(), bytes.end()};
  }
  void WriteFile(const std::string& bytes) {
    platform::Env::Default()->CreateFile(FilePath())->WriteAt(0, bytes.data(), bytes.size());
  }

  std::vector<FBL_BaseField*> AllFields(FBL_Table& table) {
    std::vector<FBL_BaseField*> fields;
    for (uint32_t i = 1; i <= table.FieldCount(); ++i) fields.push_back(table.GetField(i));
    return fields;
  }
  void AddRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      for (uint32_t i = 0; i < row.size(); ++i) {
        if (row[i]) {
          F(i + 1).SetString(*row[i]);
        } else {
          F(i + 1).SetNull(true);
        }
      }
      mTable->AddRecord();
    }
  }
  // Every record of table, field by field (null as nullopt).
  static std::vector<Row> Rows(FBL_Table& table) {
    std::vector<Row> rows;
    for (bool more = table.FirstRecord(); more; more = table.NextRecord()) {
      Row row;
      for (uint32_t i = 1; i <= table.FieldCount(); ++i) {
        FBL_BaseField& f = *table.GetField(i);
        row.push_back(f.IsNull() ? Value() : Value(f.GetString()));
      }
      rows.push_back(row);
    }
    return rows;
  }
  void Export(FBL_TextFormat format, const FBL_Set* set = nullptr) {
    FBL_FileWin file(FilePath());
    FBL_TextExporter exporter(*mTable, file, AllFields(*mTable), set, format);
    ASSERT_TRUE(zv::RunTask(exporter));
  }
  // Imports the file into table; targets are field positions by column
  // (0: skip the column), all fields in order when empty.
  uint32_t Import(FBL_Table& table, FBL_TextFormat format, std::vector<uint32_t> targets = {}) {
    std::vector<FBL_BaseField*> columns;
    if (targets.empty()) columns = AllFields(table);
    for (uint32_t t : targets) columns.push_back(t == 0 ? nullptr : table.GetField(t));
    FBL_FileWin file(FilePath());
    FBL_TextImporter importer(table, file, columns, format);
    EXPECT_TRUE(zv::RunTask(importer));
    return importer.GetImportedCount();
  }
};

// ---- every type, there and back ------------------------------------------------

struct TypeCase {
  uint8_t type;
  uint32_t length;
  std::vector<std::string> values;  // texts as the type gives them back
};

// Texts that survive a file of either format: quotes, the comma, a carriage
// return (the system's line break).
const std::vector<std::string> kPlainTexts = {"plain", "He said \"hi\"", "a,b", "one\rtwo",
                                              "\"", "x\"\"y", " spaced "};
// Texts only the quoted format carries: the tab and the record delimiter.
const std::vector<std::string> kQuotedOnlyTexts = {"tab\there", "line\nbreak", "\",\"\n\""};

std::vector<TypeCase> TypeCases(bool quoting) {
  std::vector<std::string> texts = kPlainTexts;
  if (quoting) texts.insert(texts.end(), kQuotedOnlyTexts.begin(), kQuotedOnlyTexts.end());
  return {
      {kTypeBoolean, 0, {"1", "0"}},
      {kTypeByte, 0, {"255", "7"}},
      {kTypeShort, 0, {"-32768", "12"}},
      {kTypeUShort, 0, {"65535", "3"}},
      {kTypeMedium, 0, {"-8388608", "8388607"}},
      {kTypeUMedium, 0, {"16777215", "1"}},
      {kTypeLong, 0, {"-2147483648", "2147483647"}},
      {kTypeULong, 0, {"4294967295", "9"}},
      {kTypeLLong, 0, {"-9223372036854775808", "42"}},
      {kTypeULLong, 0, {"18446744073709551615", "5"}},
      {kTypeFloat, 0, {"-1.5", "3.25E+30", "1.5E-20"}},
      {kTypeDouble, 0, {"0.125", "-1.25E+300", "1E-300"}},
      {kTypeDate, 0, {"02/29/2004", "12/31/1999"}},
      {kTypeTime, 0, {"13:05:09", "00:00:01"}},
      {kTypeDateTime, 0, {"02/29/2004 13:05:09", "01/01/2000 00:00:00"}},
      {kTypeObjectPtr, 0, {"17", "1"}},
      {kTypeString, 40, texts},
      {kTypeVarChar, 60, texts},
      {kTypeText, 0, texts},
      {kTypeFixedBinary, 40, texts},
      {kTypeVarBinary, 60, texts},
      {kTypeBLOB, 0, texts},
      {kTypePicture, 0, texts},
  };
}

TEST_F(TextImportExportTest, EveryTypeGoesThroughTabAndCommaFilesAndBack) {
  for (char delimiter : {'\t', ','}) {
    SCOPED_TRACE(delimiter == ',' ? "comma" : "tab");
    CreateDb();
    const std::vector<TypeCase> cases = TypeCases(delimiter == ',');
    std::vector<Column> columns;
    for (const TypeCase& c : cases) columns.emplace_back(c.type, kFieldNullable, c.length);
    MakeTable(columns);
    // Row k takes each type's value k (cycling), and every 5th row is null
    // throughout; random rows cross the read and write buffers' ends.
    std::mt19937 random(7);
    std::vector<Row> rows;
    for (uint32_t k = 0; k < 3000; ++k) {
      Row row;
      for (const TypeCase& c : cases) {
        if (k % 5 == 4) {
          row.push_back(std::nullopt);
        } else {
          row.push_back(c.values[(k + random() % 2) % c.values.size()]);
        }
      }
      rows.push_back(row);
    }
    AddRows(rows);
    const std::vector<Row> written = Rows(*mTable);
    for (uint32_t i = 0; i < cases.size(); ++i) {
      SCOPED_TRACE(zv::TypeName(cases[i].type));
      EXPECT_EQ(written[0][i], rows[0][i]) << "the type's own text form";
    }
    Export(Format(delimiter));

    auto owned = std::make_unique<FBL_IndexedTable>(*mDb, 2);
    FBL_IndexedTable& copy = *owned;
    copy.SetIndexFactory(&mFactory);
    int n = 0;
    for (const Column& c : columns) {
      copy.AddField(zv::MakeField(c.type, "g" + std::to_string(++n), c.flags, c.length));
    }
    copy.Open();
    EXPECT_EQ(Import(copy, Format(delimiter)), rows.size());
    EXPECT_EQ(Rows(copy), written);
    // Tables go before their database.
    owned.reset();
    mTable.reset();
    mDb->Close();
    mDb.reset();
    std::filesystem::remove_all(mDir.path());
    std::filesystem::create_directory(mDir.path());
  }
}

// ---- files in ---------------------------------------------------------------------

struct ImportCase {
  const char* what;
  FBL_TextFormat format;
  std::vector<Column> columns;
  std::string file;
  std::vector<Row> expected;
  std::vector<uint32_t> targets = {};
};

const Value kNull = std::nullopt;
const uint16_t kNullable = kFieldNullable;

const std::vector<ImportCase> kImportCases = {
    {"quoted value with doubled quotes", Format(','), {{kTypeString, 0, 30}},
     "\"He said \"\"hi\"\"\"\n", {{"He said \"hi\""}}},
    {"tab: quotes are data", Format('\t'), {{kTypeString, 0, 30}}, "He said \"hi\"\n",
     {{"He said \"hi\""}}},
    {"vertical tab becomes a carriage return", Format('\t'), {{kTypeVarChar, 0, 30}},
     "a\x0B" "b\n\"c\x0B\"\n", {{"a\rb"}, {"\"c\r\""}}},
    {"vertical tab inside quotes too", Format(','), {{kTypeText}}, "\"a\x0B,b\"\n",
     {{"a\r,b"}}},
    {"cut to the field's length", Format('\t'), {{kTypeString, 0, 5}}, "abcdefgh\n",
     {{"abcde"}}},
    {"empty column is null", Format('\t'),
     {{kTypeLong, kNullable}, {kTypeLong, kNullable}, {kTypeText}, {kTypeVarChar, kNullable, 9}},
     "\t5\t\t\n7\t\tt\tv\n", {{kNull, "5", kNull, kNull}, {"7", kNull, "t", "v"}}},
    {"empty quoted column is null", Format(','), {{kTypeDouble, kNullable}, {kTypeDate, kNullable}},
     "\"\",\"\"\n", {{kNull, kNull}}},
    {"empty value in a field that cannot be null", Format('\t'),
     {{kTypeLong}, {kTypeString, 0, 5}}, "3\tx\n\t\n", {{"3", "x"}, {"0", ""}}},
    {"quotes undone before the cut", Format(','), {{kTypeString, 0, 5}}, "\"a\"\"bcdef\"\n",
     {{"a\"bcd"}}},
    {"Float and Double are never cut", Format('\t'), {{kTypeFloat}, {kTypeDouble}},
     "0.00000000000000012345\t0.000000000000000000001234567\n",
     {{"1.2345E-16", "1.234567E-21"}}},
    {"last record without its delimiter", Format('\t'), {{kTypeLong}}, "1\n2", {{"1"}, {"2"}}},
    {"file ends inside a quoted value", Format(','), {{kTypeString, 0, 9}, {kTypeString, 0, 9}},
     "\"x\",\"ab,c", {{"x", "ab,c"}}},
    {"file ends after a doubled quote", Format(','), {{kTypeString, 0, 9}}, "\"ab\"\"",
     {{"ab\""}}},
    {"file ends in an opening quote", Format(','), {{kTypeString, kNullable, 9}}, "\"",
     {{kNull}}},
    {"delimiters and line breaks inside quotes", Format(','),
     {{kTypeVarChar, 0, 20}, {kTypeLong}}, "\"a,b\nc\",2\n\"\"\"\",3\n",
     {{"a,b\nc", "2"}, {"\"", "3"}}},
    {"lone quote inside a quoted value is kept", Format(','), {{kTypeString, 0, 9}, {kTypeLong}},
     "\"a\"b\",1\n", {{"a\"b", "1"}}},
    {"unquoted comma value keeps its quotes", Format(','), {{kTypeString, 0, 9}, {kTypeLong}},
     "a\"b,1\n", {{"a\"b", "1"}}},
    {"missing columns are empty, extra ones ignored", Format('\t'),
     {{kTypeLong, kNullable}, {kTypeLong, kNullable}}, "7\n1\t2\t3\n",
     {{"7", kNull}, {"1", "2"}}},
    {"columns without a field are skipped", Format('\t'), {{kTypeLong}, {kTypeLong}},
     "1\t2\t3\n", {{"3", "1"}}, {2, 0, 1}},
    {"any delimiters", Format(';', '|'), {{kTypeString, 0, 9}, {kTypeString, 0, 9}},
     "a;b|c\nd;e|", {{"a", "b"}, {"c\nd", "e"}}},
    {"numbers that do not parse become 0", Format('\t'), {{kTypeLong}, {kTypeDouble}},
     "abc\tx1\n", {{"0", "0"}}},
    {"empty line is a record of empty values", Format('\t'), {{kTypeLong, kNullable}}, "1\n\n2\n",
     {{"1"}, {kNull}, {"2"}}},
    {"empty file", Format(','), {{kTypeLong}}, "", {}},
};

TEST_F(TextImportExportTest, ImportEdgeCases) {
  for (const ImportCase& c : kImportCases) {
    SCOPED_TRACE(c.what);
    CreateDb();
    MakeTable(c.columns);
    WriteFile(c.file);
    EXPECT_EQ(Import(*mTable, c.format, c.targets), c.expected.size());
    EXPECT_EQ(Rows(*mTable), c.expected);
    mTable.reset();
    mDb->Close();
    mDb.reset();
    std::filesystem::remove(Path());
  }
}

// ---- files out --------------------------------------------------------------------

struct ExportCase {
  const char* what;
  FBL_TextFormat format;
  std::vector<Column> columns;
  std::vector<Row> rows;
  std::string expected;
};

const std::vector<ExportCase> kExportCases = {
    {"comma: quoted, inner quotes doubled", Format(','), {{kTypeString, 0, 30}, {kTypeLong}},
     {{"He said \"hi\"", "5"}}, "\"He said \"\"hi\"\"\",\"5\"\n"},
    {"tab: nothing quoted", Format('\t'), {{kTypeString, 0, 30}, {kTypeLong}},
     {{"He said \"hi\"", "5"}}, "He said \"hi\"\t5\n"},
    {"null values are empty", Format(','), {{kTypeLong, kNullable}, {kTypeText}, {kTypeLong}},
     {{kNull, kNull, "1"}}, "\"\",\"\",\"1\"\n"},
    {"null values are empty, tab", Format('\t'), {{kTypeLong, kNullable}, {kTypeText}},
     {{kNull, kNull}, {"2", "t"}}, "\t\n2\tt\n"},
    {"any delimiters", Format(';', '|'), {{kTypeShort}, {kTypeDouble}}, {{"1", "0.5"}, {"2", "-3"}},
     "1;0.5|2;-3|"},
    {"line breaks written as they are", Format('\t'), {{kTypeVarChar, 0, 20}}, {{"a\rb\nc"}},
     "a\rb\nc\n"},
    {"empty table", Format(','), {{kTypeLong}}, {}, ""},
};

TEST_F(TextImportExportTest, ExportEdgeCases) {
  for (const ExportCase& c : kExportCases) {
    SCOPED_TRACE(c.what);
    CreateDb();
    MakeTable(c.columns);
    AddRows(c.rows);
    Export(c.format);
    EXPECT_EQ(ReadFile(), c.expected);
    mTable.reset();
    mDb->Close();
    mDb.reset();
    std::filesystem::remove(Path());
  }
}

TEST_F(TextImportExportTest, ExportWritesWholeValuesIntoANewOrTruncatedFile) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 60000}, {kTypeText}, {kTypeLong}});
  // Values longer than the room left, one longer than the whole buffer
  // (quoting doubles its 25000 quotes), a Text as large as the buffer.
  const std::vector<std::string> values = {std::string(15000, 'v'), std::string(25000, '"'),
                                           std::string(7, 'w')};
  const std::string text(FBL_Exporter::kWriteBufferSize, 't');
  std::string expected, quoted;
  for (uint32_t k = 0; k < 30; ++k) {
    const std::string& v = values[k % values.size()];
    F(1).SetString(v);
    F(2).SetString(k == 3 ? text : "x");
    F(3).SetString(std::to_string(k));
    mTable->AddRecord();
    expected += v + "\t" + (k == 3 ? text : "x") + "\t" + std::to_string(k) + "\n";
    quoted += "\"" + (k % 3 == 1 ? std::string(50000, '"') : v) + "\",\"" + (k == 3 ? text : "x") +
              "\",\"" + std::to_string(k) + "\"\n";
  }
  // A longer file is there: none of its bytes may stay.
  WriteFile(std::string(3 * expected.size(), '#'));
  Export(Format('\t'));
  EXPECT_EQ(ReadFile(), expected);
  std::filesystem::remove(FilePath());
  Export(Format(','));
  EXPECT_EQ(ReadFile(), quoted);

  // A Text larger than the buffer: 311, and the task is over.
  F(2).SetString(text + "t");
  REC_ID big = mTable->AddRecord();
  FBL_FileWin file(FilePath());
  FBL_TextExporter exporter(*mTable, file, AllFields(*mTable), nullptr, Format('\t'));
  EXPECT_EQ(ErrorCode([&] { zv::RunTask(exporter); }), 311);
  EXPECT_EQ(exporter.GetState(), FBL_TaskState::kDone);
  EXPECT_FALSE(file.IsOpen());

  // A set in another order is written in ascending RecIDs; deleted records
  // of the set are passed over.
  FBL_ArraySet set(4);
  for (REC_ID r : {5u, 2u, big, 9u}) set.Append(r);
  ASSERT_TRUE(mTable->GoToRecord(big));
  ASSERT_TRUE(mTable->DeleteRecord());
  std::vector<FBL_BaseField*> last = {&F(3)};
  FBL_TextExporter some(*mTable, file, last, &set, Format(','), "Some");
  EXPECT_EQ(some.GetName(), "Some");
  ASSERT_TRUE(zv::RunTask(some));
  EXPECT_EQ(some.GetExportedCount(), 3u);
  EXPECT_EQ(ReadFile(), "\"1\"\n\"4\"\n\"8\"\n");
}

// ---- long records, progress, a unique value ------------------------------------------

TEST_F(TextImportExportTest, TenMegabyteRecordGrowsTheBuffer) {
  CreateDb();
  MakeTable({{kTypeLong}, {kTypeText}});
  std::string big(10u << 20, 'b');
  for (size_t i = 0; i < big.size(); i += 4099) big[i] = '\x0B';
  WriteFile("1\tsmall\n2\t" + big + "\n3\tafter");
  FBL_FileWin file(FilePath());
  FBL_TextImporter importer(*mTable, file, AllFields(*mTable), Format('\t'));
  EXPECT_EQ(importer.GetName(), "Import");
  ASSERT_TRUE(zv::RunTask(importer));
  EXPECT_EQ(importer.GetImportedCount(), 3u);
  EXPECT_GE(importer.GetBufferSize(), big.size());
  for (char& c : big) c = c == '\x0B' ? '\r' : c;
  ASSERT_TRUE(mTable->GoToRecord(2));
  std::vector<uint8_t> data = As<BF_TEXT>(2).GetData();
  EXPECT_TRUE(std::string(data.begin(), data.end()) == big);
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(F(2).GetString(), "after");
}

class ProgressLog : public FBL_TaskListener {
 public:
  void OnProgress(FBL_Task& task, uint32_t percent) override {
    mPercents.push_back(percent);
    if (percent >= mStopAt) task.Stop();
  }
  std::vector<uint32_t> mPercents;
  uint32_t mStopAt = 101;
};

TEST_F(TextImportExportTest, UniqueValueEndsTheImportAndProgressRises) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldUnique}, {kTypeVarChar, 0, 20}});
  // 100,000 records; the one at 60,001 repeats a value.
  std::string lines;
  for (uint32_t k = 1; k <= 100000; ++k) {
    lines += std::to_string(k == 60001 ? 17 : k) + "\tname" + std::to_string(k) + "\n";
  }
  WriteFile(lines);
  FBL_FileWin file(FilePath());
  ProgressLog log;
  FBL_TextImporter importer(*mTable, file, AllFields(*mTable), Format('\t'), "Load");
  importer.SetListener(&log);
  EXPECT_EQ(ErrorCode([&] { zv::RunTask(importer); }), 344);
  EXPECT_EQ(importer.GetState(), FBL_TaskState::kDone);
  EXPECT_EQ(importer.GetImportedCount(), 60000u);
  EXPECT_EQ(mTable->GetRecordCount(), 60000u);
  ASSERT_TRUE(mTable->GoToRecord(60000));
  EXPECT_EQ(F(2).GetString(), "name60000");
  EXPECT_FALSE(log.mPercents.empty());
  EXPECT_TRUE(std::is_sorted(log.mPercents.begin(), log.mPercents.end()));
  EXPECT_LT(log.mPercents.back(), 100u);

  // Export: progress rises to 100 exactly once, at the end.
  ProgressLog exportLog;
  FBL_TextExporter exporter(*mTable, file, AllFields(*mTable), nullptr, Format(','));
  EXPECT_EQ(exporter.GetName(), "Export");
  exporter.SetListener(&exportLog);
  ASSERT_TRUE(zv::RunTask(exporter));
  EXPECT_EQ(exporter.GetExportedCount(), 60000u);
  EXPECT_TRUE(std::is_sorted(exportLog.mPercents.begin(), exportLog.mPercents.end()));
  EXPECT_EQ(exportLog.mPercents.back(), 100u);
  EXPECT_EQ(std::count(exportLog.mPercents.begin(), exportLog.mPercents.end(), 100u), 1);

  // A stopped import ends early and reports no success.
  mTable->DeleteAllRecords();
  ProgressLog stopping;
  stopping.mStopAt = 30;
  FBL_TextImporter stopped(*mTable, file, AllFields(*mTable), Format(','));
  stopped.SetListener(&stopping);
  EXPECT_FALSE(zv::RunTask(stopped));
  EXPECT_EQ(stopping.mPercents.back(), 30u);
  EXPECT_EQ(mTable->GetRecordCount(), stopped.GetImportedCount());
  EXPECT_LT(stopped.GetImportedCount(), 60000u);
}

}  // namespace
