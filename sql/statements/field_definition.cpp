#include "sql/statements/field_definition.h"

#include <charconv>

#include "kernel/tables/field_types.h"
#include "objects/object_database.h"
#include "sql/statements/statement_errors.h"
#include "sql/statements/statement_reader.h"
#include "sql/statements/statement_targets.h"

namespace zv::sql {

namespace {

struct TypeName {
  const char* mName;
  uint8_t mCode;
};

constexpr TypeName kTypeNames[] = {
    {"Boolean", kTypeBoolean},     {"Byte", kTypeByte},       {"Short", kTypeShort},
    {"UShort", kTypeUShort},       {"Medium", kTypeMedium},   {"UMedium", kTypeUMedium},
    {"Long", kTypeLong},           {"ULong", kTypeULong},     {"LLong", kTypeLLong},
    {"ULLong", kTypeULLong},       {"BLOB", kTypeBLOB},       {"Picture", kTypePicture},
    {"Float", kTypeFloat},         {"Double", kTypeDouble},   {"ObjectPtr", kTypeObjectPtr},
    {"Date", kTypeDate},           {"Time", kTypeTime},       {"DateTime", kTypeDateTime},
    {"String", kTypeString},       {"VarChar", kTypeVarChar}, {"FixedBinary", kTypeFixedBinary},
    {"VarBinary", kTypeVarBinary}, {"Text", kTypeText},         {"LDouble", kTypeLDouble},
};

bool TakesLanguage(uint8_t type) {
  return type == kTypeString || type == kTypeText || type == kTypeVarChar;
}

// The target of an ObjectPtr: a table, or the one being created.
void ReadTarget(SQL_StatementReader& reader, OBL_DataBase& db, const std::string& newTable,
                SQL_FieldDefinition& def, int32_t missingCode) {
  const std::string name = reader.ReadName(kMaxTableName);
  if (name.empty()) StatementError(missingCode);
  if (!newTable.empty() && zv::SameName(name, newTable) && db.FindBaseObject(name) == nullptr) {
    def.mSpec.mTarget = nullptr;
    def.mSelfTarget = true;
    return;
  }
  def.mSpec.mTarget = &FindTable(db, name);
  def.mSelfTarget = false;
}

void ReadParameters(SQL_StatementReader& reader, OBL_DataBase& db, const std::string& newTable,
                    SQL_FieldDefinition& def) {
  OBL_FieldSpec& fieldSpec = def.mSpec;
  if (fieldSpec.mType == kTypeObjectPtr) {
    ReadTarget(reader, db, newTable, def, kErrStmtInvalidLength);
  } else {
    SQL_Value first;
    if (!reader.ReadValue(first) || first.mNull) StatementError(kErrStmtInvalidLength);
    const char* begin = first.mBytes.data();
    const char* end = begin + first.mBytes.size();
    auto [stop, ec] = std::from_chars(begin, end, fieldSpec.mSize);
    if (ec != std::errc() || stop != end || begin == end) StatementError(kErrStmtInvalidLength);
  }
  if (reader.TakeSymbol(',')) {
    if (!TakesLanguage(fieldSpec.mType)) StatementError(kErrSyntax);
    fieldSpec.mLanguage = reader.ReadName(kMaxFieldName);
    if (fieldSpec.mLanguage.empty()) StatementError(kErrSyntax);
  }
  if (!reader.TakeSymbol(')')) StatementError(kErrExpectedClose);
}

void ReadReferences(SQL_StatementReader& reader, OBL_DataBase& db, const std::string& newTable,
                    SQL_FieldDefinition& def) {
  if (def.mSpec.mType != kTypeObjectPtr) StatementError(kErrStmtWrongFieldType);
  ReadTarget(reader, db, newTable, def, kErrTableNotFound);
  if (!reader.TakeKeyword("on")) return;
  if (!reader.TakeKeyword("delete")) StatementError(kErrSyntax);
  if (reader.TakeKeyword("cascade")) {
    def.mSpec.mDeletionControl = OBL_DeletionControl::kCascade;
  } else if (reader.TakeKeyword("restrict")) {
    def.mSpec.mDeletionControl = OBL_DeletionControl::kRestrict;
  } else if (reader.TakeKeyword("set")) {
    if (!reader.TakeKeyword("null")) StatementError(kErrExpectedNull);
    def.mSpec.mDeletionControl = OBL_DeletionControl::kSetNull;
  } else {
    StatementError(kErrSyntax);
  }
}

// One option; false when the next word is none.
bool ReadOption(SQL_StatementReader& reader, OBL_DataBase& db, const std::string& newTable,
                SQL_FieldDefinition& def, bool& nullable) {
  OBL_FieldSpec& fieldSpec = def.mSpec;
  if (reader.TakeKeyword("method")) {
    if (!reader.TakeSymbol('(')) StatementError(kErrExpectedOpen);
    if (!reader.ReadBalanced(fieldSpec.mMethodText)) StatementError(kErrExpectedClose);
  } else if (reader.TakeKeyword("null")) {
    nullable = true;
  } else if (reader.TakeKeyword("not")) {
    if (!reader.TakeKeyword("null")) StatementError(kErrExpectedNull);
    nullable = false;
  } else if (reader.TakeKeyword("unique")) {
    fieldSpec.mFlags |= kFieldUnique;
  } else if (reader.TakeKeyword("indexed")) {
    fieldSpec.mFlags |= kFieldIndexed;
  } else if (reader.TakeKeyword("words")) {
    fieldSpec.mFlags |= kFieldByWords;
  } else if (reader.TakeKeyword("compressed")) {
    fieldSpec.mFlags |= kFieldCompressed;
  } else if (reader.TakeKeyword("references")) {
    ReadReferences(reader, db, newTable, def);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<uint8_t> DefinitionTypeCode(std::string_view name) {
  for (const TypeName& t : kTypeNames) {
    if (zv::SameName(std::string(name), t.mName)) return t.mCode;
  }
  return std::nullopt;
}

SQL_FieldDefinition ReadFieldDefinition(SQL_StatementReader& reader, OBL_DataBase& db,
                                        const std::string& newTable) {
  SQL_FieldDefinition def;
  OBL_FieldSpec& fieldSpec = def.mSpec;
  fieldSpec.mName = reader.ReadName(kMaxFieldName);
  if (fieldSpec.mName.empty()) StatementError(kErrFieldNotFound);
  const std::optional<uint8_t> type = DefinitionTypeCode(reader.ReadName(kMaxFieldName));
  if (!type) StatementError(kErrStmtWrongFieldType);
  fieldSpec.mType = *type;
  if (reader.TakeSymbol('(')) ReadParameters(reader, db, newTable, def);
  bool nullable = true;
  while (ReadOption(reader, db, newTable, def, nullable)) {
  }
  if (nullable) fieldSpec.mFlags |= kFieldNullable;
  return def;
}

}  // namespace zv::sql
