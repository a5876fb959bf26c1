// A database of the object layer per test, with statements run on it and
// the contents of its tables as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/object_table.h"
#include "sql/statements/statement_executor.h"
#include "tests/objects/object_fixture.h"
#include "tests/support/error_code.h"

namespace ztest {

using Rows = std::vector<std::vector<std::string>>;

class StatementTest : public ObjectTest {
 protected:
  uint32_t Exec(const std::string& text, const std::vector<SQL_Param>& params = {}) {
    return SQL_Execute(*mDb, text, params);
  }
  int Code(const std::string& text, const std::vector<SQL_Param>& params = {}) {
    return ErrorCode([&] { Exec(text, params); });
  }
  // Every alive record of the table, its user fields as text ("NULL" for
  // null), in RecID order.
  Rows Contents(const std::string& table) {
    OBL_BaseObject& t = Table(table);
    Rows rows;
    OBL_ObjectTable& store = t.GetStore();
    for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
      std::vector<std::string> row;
      for (FBL_BaseField* f : t.GetFieldList())
        row.push_back(f->IsNull() ? "NULL" : f->GetString());
      rows.push_back(row);
    }
    return rows;
  }
};

}  // namespace ztest
