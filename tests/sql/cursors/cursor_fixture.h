// Cursors over an object-layer database: helpers that open a cursor on a
// statement and read its rows as text, and a random source for the model
// tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "kernel/indexes/key_sorter.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_types.h"
#include "sql/cursors/cursor.h"
#include "tests/objects/object_fixture.h"

namespace ztest {

using Rows = std::vector<std::vector<std::string>>;
using Tuples = std::vector<std::vector<REC_ID>>;

class CursorTest : public ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    Create();
  }
  void TearDown() override {
    FBL_SetSorterBudget(0);
    ObjectTest::TearDown();
  }

  // A cursor executed on text; fails the test when the text does not parse.
  std::unique_ptr<OBL_Cursor> Open(const std::string& text, uint8_t lockMode = 1,
                                   uint8_t direction = 2) {
    auto cursor = std::make_unique<OBL_Cursor>(*mDb, 0, lockMode, direction);
    cursor->SetSQL(text);
    EXPECT_EQ(cursor->GetError(), 0) << text;
    EXPECT_TRUE(cursor->Execute()) << text << " error " << cursor->GetError();
    return cursor;
  }

  static std::string Text(FBL_BaseField* field) {
    if (field == nullptr) return "<none>";
    return field->IsNull() ? "NULL" : field->GetString();
  }

  // Every row from the first, as text (the cursor must allow random moves).
  static Rows ReadRows(OBL_Cursor& cursor) {
    Rows rows;
    for (bool more = cursor.FirstRecord(); more; more = cursor.NextRecord()) {
      std::vector<std::string> row;
      for (uint32_t c = 1; c <= cursor.GetColumnCount(); ++c) row.push_back(Text(cursor.GetColumn(c)));
      rows.push_back(row);
    }
    return rows;
  }

  // Every row's RecIDs, one per FROM table.
  static Tuples ReadTuples(OBL_Cursor& cursor, uint32_t tables) {
    Tuples tuples;
    for (bool more = cursor.FirstRecord(); more; more = cursor.NextRecord()) {
      std::vector<REC_ID> tuple;
      for (uint32_t t = 1; t <= tables; ++t) tuple.push_back(cursor.GetRecID(t));
      tuples.push_back(tuple);
    }
    return tuples;
  }

  std::mt19937 mRandom{20261208};
  int Draw(int low, int high) { return std::uniform_int_distribution<int>(low, high)(mRandom); }
};

}  // namespace ztest
