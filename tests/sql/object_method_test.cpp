// A calculated field of the object layer: its method text is kept in the
// schema and compiles again when the database opens.
#include <gtest/gtest.h>

#include <string>

#include "kernel/tables/field_types.h"
#include "objects/object_database.h"
#include "sql/expressions/expression_compiler.h"
#include "tests/objects/object_fixture.h"

namespace {

class ObjectMethodTest : public ztest::ObjectTest {};

TEST_F(ObjectMethodTest, AMethodInTheSchemaCompilesAgainAtOpen) {
  Create();
  mDb->SetFormulaCompiler(&zsql::ExpressionCompiler());
  OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
  AddField(t, "a", kTypeLong);
  AddField(t, "b", kTypeLong);
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = "c";
  fieldSpec.mType = kTypeLong;
  fieldSpec.mMethodText = "a * 2 + b";
  t.MakeNewField(fieldSpec);
  const REC_ID r = Add(t, {"20", "3"});
  EXPECT_EQ(Value(t, r, "c"), "43");

  mDb.reset();
  mDb = std::make_unique<OBL_DataBase>();
  mDb->SetFormulaCompiler(&zsql::ExpressionCompiler());
  mDb->Open(Path(), nullptr);
  OBL_BaseObject& again = Table("T");
  EXPECT_EQ(Value(again, r, "c"), "43");
  again.GetField("b")->SetString("5");
  again.GetStore().UpdateRecord();
  EXPECT_EQ(Value(again, r, "c"), "45");
}

}  // namespace
