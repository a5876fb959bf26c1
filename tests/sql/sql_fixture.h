// The SQL layer's fixture: tables with real indexes and the expression
// compiler installed, and helpers that compile and evaluate an expression
// over the table.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/indexes/index_factory.h"
#include "sql/expressions/expression_compiler.h"
#include "sql/expressions/expression_parser.h"
#include "sql/expressions/item.h"
#include "tests/support/table_fixture.h"

namespace ztest {

// A column made by name: type, flags, declared length, method text.
struct NamedColumn {
  const char* name;
  uint8_t type;
  uint16_t flags = 0;
  uint32_t length = 0;
  const char* method = "";
};

class SqlTest : public TableFixture<FBL_SecondaryIndexFactory> {
 protected:
  void MakeNamedTable(std::vector<NamedColumn> columns) {
    MakeTable([columns](FBL_Table& table) {
      table.SetFormulaCompiler(&zsql::ExpressionCompiler());
      for (const NamedColumn& c : columns) {
        auto field = zv::MakeField(c.type, c.name, c.flags, c.length);
        if (*c.method != '\0') field->SetMethodText(c.method, false);
        table.AddField(std::move(field));
      }
    });
  }
  FBL_BaseField& N(const std::string& name) {
    for (uint32_t i = 1; i <= mTable->FieldCount(); ++i) {
      if (F(i).GetName() == name) return F(i);
    }
    throw std::runtime_error("no field " + name);
  }
  // The value of text for recID as a text, "NULL" for null.
  std::string Eval(const std::string& text, REC_ID recID = 1) {
    std::unique_ptr<OBL_Item> root = zsql::CompileExpression(*mTable, text);
    std::string out;
    root->GetString(recID, out);
    return root->IsNull() ? "NULL" : out;
  }
  // The code of the compile error of text (0 when it compiles).
  int CompileError(const std::string& text) {
    return ErrorCode([&] { zsql::CompileExpression(*mTable, text); });
  }
};

}  // namespace ztest
