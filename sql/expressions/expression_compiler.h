// The expression layer behind the kernel's formula seam: a calculated
// field's text compiles into an item tree (OBL_MethodFormula) that the
// field evaluates on every read, in the field's own type.
//
// Install one compiler on a table (FBL_Table::SetFormulaCompiler) before
// its fields are added or the table opens; the kernel then compiles each
// calculated field's stored text as the table opens.
#pragma once

#include <memory>
#include <string>

#include "kernel/tables/field_descriptor.h"

class OBL_Item;

class OBL_MethodFormula : public FBL_MethodFormula {
 public:
  explicit OBL_MethodFormula(std::unique_ptr<OBL_Item> root);
  ~OBL_MethodFormula() override;

  // A text expression gives the target its text (which the target parses);
  // otherwise integer targets take GetLongLong (GetDouble when the
  // expression is floating point, truncated toward zero), floating ones
  // GetDouble, the others the text. Text, BLOB and Picture targets read
  // as NULL: their values live in chains that a read must not write.
  bool Evaluate(REC_ID recID, FBL_BaseField& target) override;
  bool Uses(const FBL_BaseField& field) const override;
  OBL_Item& GetRoot() const { return *mRoot; }

 private:
  std::unique_ptr<OBL_Item> mRoot;
};

class OBL_ExpressionCompiler : public FBL_FormulaCompiler {
 public:
  // Null for a text that does not compile (the field then reads as NULL;
  // zsql::CompileExpression tells why), and before the table is open (the
  // kernel compiles each calculated field again as the table opens, once
  // every field it may name is there).
  std::unique_ptr<FBL_MethodFormula> Compile(const std::string& text, FBL_Table& table,
                                             FBL_BaseField& field) override;
};

namespace zsql {

// The compiler for every table of the process (it keeps no state).
OBL_ExpressionCompiler& ExpressionCompiler();

}  // namespace zsql
