#include "dump/sql_dump.h"

#include <cstring>

#include "kernel/tables/base_field.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/language.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/table.h"
#include "objects/base_object.h"
#include "kernel/sets/bit_set.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"

namespace zv::dump {

namespace {

bool EndsBareName(char c) {
  return static_cast<unsigned char>(c) <= ' ' || std::strchr(".,()=><*/-+%;:@#^&{}|", c) != nullptr;
}

bool IsQuotedType(uint8_t type) {
  return type == kTypeString || type == kTypeText || type == kTypeVarChar;
}

// What the statement executor calls the 64-bit integer types.
const char* SqlTypeName(uint8_t code) {
  if (code == kTypeLLong) return "LLong";
  if (code == kTypeULLong) return "ULLong";
  return DumpTypeName(code);
}

const FBL_Language* LanguageOf(const FBL_BaseField& field) {
  if (auto* s = dynamic_cast<const BF_STRING*>(&field)) return &s->GetLanguage();
  if (auto* t = dynamic_cast<const BF_TEXT*>(&field)) return &t->GetLanguage();
  return nullptr;
}

}  // namespace

const OBL_PointerLink* PointerLinkOf(const FBL_BaseField& field) {
  if (field.GetTable() == nullptr) return nullptr;
  auto* db = dynamic_cast<OBL_DataBase*>(&field.GetTable()->GetDataBase());
  return db != nullptr ? db->PointerLinkOf(field) : nullptr;
}

std::string SqlName(const std::string& name) {
  bool bare = !name.empty() && name[0] != '"' && name[0] != '\'' && name[0] != '[';
  for (size_t i = 0; bare && i < name.size(); ++i) bare = !EndsBareName(name[i]);
  if (bare) return name;
  if (name.find('"') == std::string::npos) return '"' + name + '"';
  if (name.find(']') == std::string::npos) return '[' + name + ']';
  return '\'' + name + '\'';
}

void AppendSqlQuoted(std::string& out, std::string_view text) {
  out += '\'';
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  out += '\'';
}

}  // namespace zv::dump

using namespace zv::dump;

OBL_DumpSQL::~OBL_DumpSQL() = default;

void OBL_DumpSQL::Dump(OBL_DataBase& db, int withData) {
  StartProgress(db);
  if (withData != 0) {
    Append("# Zorvane dump \n#--------------------------------------------------\n\n");
    Flush();
  }
  for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) {
    OBL_BaseObject& table = *db.GetBaseObject(i);
    DumpTableStructure(table, withData);
    DumpTableHook(table);
    if (withData == 1) DumpTableData(table, withData);
  }
  Flush();
}

void OBL_DumpSQL::CommentBlock(const std::string& text) {
  Append("#\n# ");
  Append(text);
  Append("\n#\n\n");
  Flush();
}

void OBL_DumpSQL::DumpTableStructure(OBL_BaseObject& table, int withComments) {
  if (withComments != 0) CommentBlock("Table structure for '" + table.GetName() + "'");
  Append("CREATE TABLE " + SqlName(table.GetName()) + " (\n");
  const uint32_t count = table.GetFieldCount();
  for (uint32_t i = 1; i <= count; ++i) DumpField(*table.GetField(i));
  if (count > 0) {
    Buffer().resize(Buffer().size() - 2);
    Append("\n);\n\n");
  } else {
    // A table without fields: the statement without a column list.
    Buffer().resize(Buffer().size() - 3);
    Append(";\n\n");
  }
  Flush();
}

void OBL_DumpSQL::DumpField(FBL_BaseField& field) {
  const uint8_t type = field.GetType();
  std::string& out = Buffer();
  out += '\t';
  out += SqlName(field.GetName());
  out += ' ';
  out += SqlTypeName(type);
  const FBL_Language* language = LanguageOf(field);
  const std::string suffix = language != nullptr ? ",'" + language->GetName() + "'" : "";
  // Appended piece by piece: GCC 12 at -O3 reports a false overlap in
  // "(" + text + ")".
  const auto lengthClause = [&out](uint64_t length, const std::string& tail) {
    out += '(';
    out += std::to_string(length);
    out += tail;
    out += ')';
  };
  if (auto* s = dynamic_cast<BF_STRING*>(&field)) {
    lengthClause(s->GetDeclaredLength(), suffix);
  } else if (auto* fixed = dynamic_cast<BF_FixedBinary*>(&field)) {
    // Without it the binary fields would come back at their default length.
    lengthClause(fixed->GetDeclaredLength(), "");
  } else if (auto* b = dynamic_cast<BF_BLOB*>(&field)) {
    lengthClause(b->GetSegmentSize(), suffix);
  } else if (type == kTypeObjectPtr) {
    const OBL_PointerLink* link = PointerLinkOf(field);
    OBL_BaseObject* target = link != nullptr ? link->GetTarget() : nullptr;
    out += " REFERENCES " + SqlName(target != nullptr ? target->GetName() : "") + " ON DELETE";
    switch (link != nullptr ? static_cast<int>(link->GetDeletionControl()) : -1) {
      case 0: out += " SET NULL"; break;
      case 1: out += " CASCADE"; break;
      case 2: out += " RESTRICT"; break;
      default: break;
    }
  }
  const uint16_t flags = field.GetFlags();
  if ((flags & kFieldMethod) != 0) out += " METHOD(" + field.GetMethodText() + ")";
  if ((flags & kFieldNullable) == 0) out += " NOT NULL";
  if ((flags & kFieldUnique) != 0) out += " UNIQUE";
  if ((flags & kFieldIndexed) != 0) out += " INDEXED";
  if ((flags & kFieldByWords) != 0) out += " WORDS";
  if ((flags & kFieldCompressed) != 0) out += " COMPRESSED";
  out += ",\n";
}

void OBL_DumpSQL::AppendValue(const DumpColumn& column) {
  FBL_BaseField& field = *column.mField;
  std::string& out = Buffer();
  if (field.IsNull()) {
    out += "NULL";
  } else if (IsQuotedType(field.GetType())) {
    AppendSqlQuoted(out, ValueBytes(field, column.mKind));
  } else if (column.mKind != ValueKind::kPlain) {
    const std::string bytes = ValueBytes(field, column.mKind);
    // No bytes: no hexadecimal lines, and a bare value needs one character.
    if (bytes.empty()) out += "''";
    AppendHex(out, bytes, 0);
  } else {
    // Dates and times hold blanks and colons, which end a bare value.
    const std::string text = field.GetString();
    if (text.empty() || text.find_first_of(" \t\r\n(),:;'\"") != std::string::npos) {
      AppendSqlQuoted(out, text);
    } else {
      out += text;
    }
  }
}

void OBL_DumpSQL::DumpTableData(OBL_BaseObject& table, int withComments) {
  if (withComments != 0) CommentBlock("Dumping data for table '" + table.GetName() + "'");
  std::string prefix = "INSERT INTO " + SqlName(table.GetName()) + " (";
  const std::vector<DumpColumn> fields = Columns(table, true);
  for (const DumpColumn& c : fields) prefix += SqlName(c.mField->GetName()) + ", ";
  if (!fields.empty()) prefix.resize(prefix.size() - 2);
  prefix += ") VALUES (";
  OBL_ObjectTable& store = table.GetStore();
  // No statement inserts a record without values.
  for (bool on = !fields.empty() && store.FirstRecord(); on; on = store.NextRecord()) {
    Append(prefix);
    for (const DumpColumn& c : fields) {
      AppendValue(c);
      Append(", ");
    }
    if (!fields.empty()) Buffer().resize(Buffer().size() - 2);
    Append(");\n");
    FlushWhenFull();
    RecordDone();
  }
  Append("\n");
  Flush();
}
