// UPDATE, DELETE and INSERT ... SELECT through the cursor seam, run on a
// stand-in cursor that shows what the statements ask for (it answers
// "SELECT list FROM table" with every record, and understands two WHERE
// forms, "RecID > n" and "field = :k", the parameter compared as a value),
// and then on the real cursors.
#include <memory>
#include <string>
#include <vector>

#include "kernel/tables/field_types.h"
#include "sql/statements/statement_cursor.h"
#include "tests/sql/statements/statement_fixture.h"

namespace {

using ztest::Rows;

struct SeenRequest {
  std::string mSelect;
  std::vector<std::string> mParams;
  int mLockMode = 0;
};
SeenRequest gSeen;

std::string Trim(std::string s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '[')) s.erase(s.begin());
  while (!s.empty() && (s.back() == ' ' || s.back() == ']')) s.pop_back();
  return s;
}

class StandInCursor : public SQL_RowCursor {
 public:
  StandInCursor(OBL_BaseObject& table, std::vector<FBL_BaseField*> columns,
                std::vector<REC_ID> rows)
      : mTable(table), mColumns(std::move(columns)), mRows(std::move(rows)) {}
  uint32_t GetRecordCount() override { return static_cast<uint32_t>(mRows.size()); }
  bool FirstRecord() override {
    mAt = 0;
    return Load();
  }
  bool NextRecord() override {
    ++mAt;
    return Load();
  }
  FBL_BaseField* GetColumn(uint32_t column) override {
    return column >= 1 && column <= mColumns.size() ? mColumns[column - 1] : nullptr;
  }
  uint32_t GetColumnCount() override { return static_cast<uint32_t>(mColumns.size()); }
  void UpdateRecord() override { mTable.GetStore().UpdateRecord(); }
  void UpdateAllRecords() override {
    ++gUpdateAll;
    std::vector<std::string> values;
    std::vector<bool> nulls;
    for (FBL_BaseField* f : mColumns) {
      nulls.push_back(f->IsNull());
      values.push_back(f->GetString());
    }
    for (REC_ID r : mRows) {
      mTable.GetStore().GoToRecord(r);
      for (size_t i = 0; i < mColumns.size(); ++i) {
        if (nulls[i]) {
          mColumns[i]->SetNull(true);
        } else {
          mColumns[i]->SetString(values[i]);
        }
      }
      mTable.GetStore().UpdateRecord();
    }
  }
  static int gUpdateAll;

 private:
  bool Load() {
    if (mAt >= mRows.size()) return false;
    return mTable.GetStore().GoToRecord(mRows[mAt]);
  }
  OBL_BaseObject& mTable;
  std::vector<FBL_BaseField*> mColumns;
  std::vector<REC_ID> mRows;
  size_t mAt = 0;
};
int StandInCursor::gUpdateAll = 0;

std::unique_ptr<SQL_RowCursor> OpenStandIn(OBL_DataBase& db, const SQL_CursorRequest& request) {
  gSeen.mSelect = request.mSelect;
  gSeen.mParams.clear();
  for (const SQL_Param& p : request.mParams) gSeen.mParams.emplace_back(p.mBytes);
  gSeen.mLockMode = request.mLockMode;
  const std::string& text = request.mSelect;
  const size_t from = text.find(" FROM ");
  const size_t where = text.find(" WHERE ");
  OBL_BaseObject& table = *db.FindBaseObject(Trim(text.substr(from + 6, where - from - 6)));
  std::vector<FBL_BaseField*> columns;
  std::string list = text.substr(7, from - 7) + ",";
  for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1)
    columns.push_back(table.GetField(Trim(list.substr(at, comma - at))));
  std::vector<REC_ID> rows;
  OBL_ObjectTable& store = table.GetStore();
  const std::string condition = where == std::string::npos ? "" : text.substr(where + 7);
  for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
    const REC_ID r = store.GetCurrentRecID();
    bool keep = true;
    if (condition.rfind("RecID > ", 0) == 0) {
      keep = r > std::stoul(condition.substr(8));
    } else if (!condition.empty()) {
      const size_t eq = condition.find(" = :");
      const size_t k = std::stoul(condition.substr(eq + 4));
      keep = table.GetField(condition.substr(0, eq))->GetString() == request.mParams[k - 1].mBytes;
    }
    if (keep) rows.push_back(r);
  }
  return std::make_unique<StandInCursor>(table, columns, rows);
}

class CursorStatements : public ztest::StatementTest {
 protected:
  void SetUp() override {
    StatementTest::SetUp();
    zv::sql::SetStatementCursorOpener(OpenStandIn);
    StandInCursor::gUpdateAll = 0;
    Create();
    Exec("CREATE TABLE t (a Long, b String(30))");
    for (int i = 1; i <= 5; ++i)
      Exec("INSERT INTO t VALUES (:1, :2)", {{std::to_string(i)}, {"b" + std::to_string(i)}});
  }
  void TearDown() override {
    zv::sql::SetStatementCursorOpener(nullptr);
    StatementTest::TearDown();
  }
  Rows Model(int upTo = 5) {
    Rows rows;
    for (int i = 1; i <= upTo; ++i) rows.push_back({std::to_string(i), "b" + std::to_string(i)});
    return rows;
  }
};

TEST_F(CursorStatements, UpdateSetsOneRowOrAllRowsAndCountsThem) {
  Rows model = Model();
  EXPECT_EQ(Exec("UPDATE t SET b = :1 WHERE RecID > 4", {{"it's \\ \"x\""}}), 1u);
  EXPECT_EQ(gSeen.mSelect, "SELECT [b] FROM [t] WHERE RecID > 4");
  EXPECT_EQ(gSeen.mLockMode, 3);
  model[4][1] = "it's \\ \"x\"";
  EXPECT_EQ(Contents("t"), model);
  EXPECT_EQ(StandInCursor::gUpdateAll, 0);

  // A field named twice is set once, to its last value.
  EXPECT_EQ(Exec("update T set A = 1, b = NULL, a = -1 where RecID > 2;"), 3u);
  EXPECT_EQ(gSeen.mSelect, "SELECT [a],[b] FROM [t] WHERE RecID > 2");
  EXPECT_EQ(StandInCursor::gUpdateAll, 1);
  for (size_t i = 2; i < 5; ++i) model[i] = {"-1", "NULL"};
  EXPECT_EQ(Contents("t"), model);

  EXPECT_EQ(Exec("UPDATE t SET a = 0 WHERE RecID > 99"), 0u);
  EXPECT_EQ(Contents("t"), model);
  EXPECT_EQ(Exec("UPDATE t SET a = 0"), 5u);
  EXPECT_EQ(gSeen.mSelect, "SELECT [a] FROM [t]");
  for (auto& row : model) row[0] = "0";
  EXPECT_EQ(Contents("t"), model);
}

TEST_F(CursorStatements, WhereTextStaysAsWrittenAndParametersStayValues) {
  const Rows model = Model();
  const std::string injected = "b1' OR '1' = '1";
  EXPECT_EQ(Exec("UPDATE t SET b = :1 WHERE b = :2", {{"hit"}, {injected}}), 0u);
  EXPECT_EQ(gSeen.mSelect, "SELECT [b] FROM [t] WHERE b = :2");
  EXPECT_EQ(gSeen.mParams, (std::vector<std::string>{"hit", injected}));
  EXPECT_EQ(Contents("t"), model);
  EXPECT_EQ(Exec("DELETE FROM t WHERE b = :1", {{injected}}), 0u);
  EXPECT_EQ(gSeen.mSelect, "SELECT RecID FROM [t] WHERE b = :1");
  EXPECT_EQ(Contents("t"), model);
  EXPECT_EQ(Exec("DELETE FROM t WHERE b = :1", {{"b2"}}), 1u);
  EXPECT_EQ(Contents("t"), (Rows{model[0], model[2], model[3], model[4]}));
}

TEST_F(CursorStatements, DeleteCountsTheRecordsReallyDeleted) {
  EXPECT_EQ(Exec("DELETE FROM t WHERE RecID > 3"), 2u);
  EXPECT_EQ(gSeen.mLockMode, 3);
  EXPECT_EQ(Contents("t"), Model(3));
  EXPECT_EQ(Exec("DELETE FROM t WHERE RecID > 99"), 0u);
  // Every record: deleted at once.
  EXPECT_EQ(Exec("DELETE FROM t WHERE RecID > 0"), 3u);
  EXPECT_EQ(Contents("t").size(), 0u);
  EXPECT_EQ(Exec("DELETE FROM t"), 0u);
  for (int i = 1; i <= 4; ++i) Exec("INSERT INTO t (a) VALUES (:1)", {{std::to_string(i)}});
  EXPECT_EQ(Exec("DELETE FROM t;"), 4u);
  EXPECT_EQ(Table("t").GetStore().GetRecordCount(), 0u);
}

TEST_F(CursorStatements, ADeleteRefusedByRestrictIsAnErrorAndDeletesNothing) {
  Exec("CREATE TABLE town (name String(10), mayor ObjectPtr REFERENCES t ON DELETE RESTRICT)");
  Exec("INSERT INTO town VALUES ('Oslo', 2)");
  const Rows model = Model();
  EXPECT_EQ(Code("DELETE FROM t"), 502);
  EXPECT_EQ(Code("DELETE FROM t WHERE RecID > 0"), 502);
  EXPECT_EQ(Code("DELETE FROM t WHERE RecID > 1"), 502);
  EXPECT_EQ(Contents("t"), model);
  // Records no pointer holds go.
  EXPECT_EQ(Exec("DELETE FROM t WHERE RecID > 2"), 3u);
  EXPECT_EQ(Contents("t"), Model(2));
}

TEST_F(CursorStatements, InsertSelectCopiesColumnsInOrder) {
  Exec("CREATE TABLE copy (x String(30), y Long, z Long)");
  Exec("INSERT INTO copy (y, x) SELECT a, b FROM t;");
  EXPECT_EQ(gSeen.mSelect, "SELECT a, b FROM t");
  EXPECT_EQ(gSeen.mLockMode, 2);
  Rows model;
  for (int i = 1; i <= 5; ++i)
    model.push_back({"b" + std::to_string(i), std::to_string(i), "NULL"});
  EXPECT_EQ(Contents("copy"), model);
  // Without a field list the table's fields take the columns in order.
  Exec("INSERT INTO copy SELECT b FROM t WHERE RecID > 4");
  model.push_back({"b5", "NULL", "NULL"});
  EXPECT_EQ(Contents("copy"), model);
}

// The same statements on real cursors, WHERE evaluated by the engine.
class QueryCursorStatements : public ztest::StatementTest {
 protected:
  void SetUp() override {
    StatementTest::SetUp();
    Create();
    Exec("CREATE TABLE t (a Long UNIQUE, b String(30))");
    for (int i = 1; i <= 5; ++i)
      Exec("INSERT INTO t VALUES (:1, :2)", {{std::to_string(i)}, {"b" + std::to_string(i)}});
  }
};

TEST_F(QueryCursorStatements, UpdateDeleteAndInsertSelectChangeWhatTheQuerySelects) {
  Rows model;
  for (int i = 1; i <= 5; ++i) model.push_back({std::to_string(i), "b" + std::to_string(i)});
  EXPECT_EQ(Exec("UPDATE t SET b = 'one' WHERE a = 1"), 1u);
  model[0][1] = "one";
  EXPECT_EQ(Exec("UPDATE t SET b = :1 WHERE a >= 4", {{"it's \\ x"}}), 2u);
  model[3][1] = model[4][1] = "it's \\ x";
  EXPECT_EQ(Exec("UPDATE t SET b = 'none' WHERE a > 99"), 0u);
  EXPECT_EQ(Contents("t"), model);

  // Two rows cannot both take a = 7: nothing changes.
  EXPECT_EQ(Code("UPDATE t SET a = 7 WHERE a > 3"), 344);
  EXPECT_EQ(Code("UPDATE t SET a = 7 WHERE nosuch > 3"), 616);
  EXPECT_EQ(Contents("t"), model);

  Exec("CREATE TABLE copy (x String(30), y Long)");
  Exec("INSERT INTO copy (y, x) SELECT a, b FROM t WHERE a <= 2");
  EXPECT_EQ(Contents("copy"), (Rows{{"one", "1"}, {"b2", "2"}}));

  Exec("CREATE TABLE town (name String(10), mayor ObjectPtr REFERENCES t ON DELETE RESTRICT)");
  Exec("INSERT INTO town VALUES ('Oslo', 2)");
  EXPECT_EQ(Code("DELETE FROM t WHERE a < 3"), 502);
  EXPECT_EQ(Contents("t"), model);
  EXPECT_EQ(Exec("DELETE FROM t WHERE a > 2 AND a < 5"), 2u);
  EXPECT_EQ(Exec("DELETE FROM t WHERE a > 2 AND a < 5"), 0u);
  EXPECT_EQ(Contents("t"), (Rows{model[0], model[1], model[4]}));
}

}  // namespace
