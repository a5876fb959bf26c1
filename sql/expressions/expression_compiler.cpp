#include "sql/expressions/expression_compiler.h"

#include <string>
#include <utility>

#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"
#include "sql/expressions/expression_error.h"
#include "sql/expressions/expression_parser.h"
#include "sql/expressions/item.h"

OBL_MethodFormula::OBL_MethodFormula(std::unique_ptr<OBL_Item> root) : mRoot(std::move(root)) {}

OBL_MethodFormula::~OBL_MethodFormula() = default;

bool OBL_MethodFormula::Evaluate(REC_ID recID, FBL_BaseField& target) {
  // A value of the BLOB-stored types would be a chain written on each read.
  const uint8_t type = target.GetType();
  if (type == kTypeText || type == kTypeBLOB || type == kTypePicture) return true;
  OBL_Item& root = *mRoot;
  const bool isText = root.GetResultType() == OBL_ResultType::kString;
  switch (isText ? FBL_BaseField::ValueClass::kOther : target.GetValueClass()) {
    case FBL_BaseField::ValueClass::kSigned:
    case FBL_BaseField::ValueClass::kUnsigned:
      if (root.GetResultType() == OBL_ResultType::kInteger) {
        const int64_t value = root.GetLongLong(recID);
        if (root.IsNull()) return true;
        target.SetFromBits(static_cast<uint64_t>(value), true);
        return false;
      }
      [[fallthrough]];
    case FBL_BaseField::ValueClass::kFloating: {
      const double value = root.GetDouble(recID);
      if (root.IsNull()) return true;
      target.SetFromDouble(value);
      return false;
    }
    case FBL_BaseField::ValueClass::kBinary:
    case FBL_BaseField::ValueClass::kOther:
      break;
  }
  std::string text;
  root.GetString(recID, text);
  if (root.IsNull()) return true;
  target.SetString(text.c_str());
  return false;
}

bool OBL_MethodFormula::Uses(const FBL_BaseField& field) const {
  return mRoot->DependsOn(field);
}

std::unique_ptr<FBL_MethodFormula> OBL_ExpressionCompiler::Compile(const std::string& text,
                                                                   FBL_Table& table,
                                                                   FBL_BaseField& /*field*/) {
  // Names are looked up once every field is there: the kernel compiles
  // again as the table opens.
  if (!table.IsOpened()) return nullptr;
  try {
    return std::make_unique<OBL_MethodFormula>(zsql::CompileExpression(table, text));
  } catch (const xOBL_ExpressionError&) {
    return nullptr;
  }
}

OBL_ExpressionCompiler& zsql::ExpressionCompiler() {
  static OBL_ExpressionCompiler compiler;
  return compiler;
}
