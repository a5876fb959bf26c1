#include "dump/xml_dump.h"

#include <cstdio>

#include "kernel/storage/volume.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/language.h"
#include "kernel/tables/string_fields.h"
#include "objects/base_object.h"
#include "kernel/sets/bit_set.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"

namespace {

constexpr const char kXmlDeclaration[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\" ?>\n"
    "\n";

constexpr const char kDatabaseDoctype[] =
    "<!DOCTYPE Database [\n"
    "<!ELEMENT Database (DatabaseDesc, DatabaseData) >\n"
    "<!ATTLIST Database\n"
    "\tName\tID\t#REQUIRED\n"
    ">\n"
    "<!ELEMENT DatabaseDesc (DateFormat, DateSeparator, TimeSeparator, BaseObjectCount, "
    "BaseObjectDesc*) >\n"
    "<!ELEMENT DatabaseData (BaseObjectData*) >\n";

constexpr const char kTableDoctype[] =
    "<!DOCTYPE BaseObject [\n"
    "<!ELEMENT BaseObject (BaseObjectDesc, BaseObjectData) >\n";

// Lines 10 to 46 of both headers, and the two extra line feeds.
constexpr const char kDoctypeRest[] =
    "<!ELEMENT BaseObjectDesc (FieldCount, FieldDesc*) >\n"
    "<!ATTLIST BaseObjectDesc\n"
    "\tName\tID\t#REQUIRED\n"
    ">\n"
    "<!ELEMENT FieldDesc (Type, Indexed, Unique, Nullable, IndexByWords, Compressed, Target?, "
    "DeletionControl?, MaxLength?, Language?, SegmentSize?, Method?) >\n"
    "<!ATTLIST FieldDesc\n"
    "\tName\tID\t#REQUIRED\n"
    ">\n"
    "<!ELEMENT Name (#PCDATA)>\n"
    "<!ELEMENT DateFormat (#PCDATA)>\n"
    "<!ELEMENT DateSeparator (#PCDATA)>\n"
    "<!ELEMENT TimeSeparator (#PCDATA)>\n"
    "<!ELEMENT BaseObjectCount (#PCDATA)>\n"
    "<!ELEMENT FieldCount (#PCDATA)>\n"
    "<!ELEMENT Type (#PCDATA)>\n"
    "<!ELEMENT Indexed (#PCDATA)>\n"
    "<!ELEMENT Unique (#PCDATA)>\n"
    "<!ELEMENT Nullable (#PCDATA)>\n"
    "<!ELEMENT IndexByWords (#PCDATA)>\n"
    "<!ELEMENT Compressed (#PCDATA)>\n"
    "<!ELEMENT Target (#PCDATA)>\n"
    "<!ELEMENT DeletionControl (#PCDATA)>\n"
    "<!ELEMENT MaxLength (#PCDATA)>\n"
    "<!ELEMENT Language (#PCDATA)>\n"
    "<!ELEMENT SegmentSize (#PCDATA)>\n"
    "<!ELEMENT Method (#PCDATA)>\n"
    "<!ELEMENT BaseObjectData (RecordCount, IsPointedByObjectPTR, Record*) >\n"
    "<!ATTLIST BaseObjectData\n"
    "\tName\tCDATA \t#REQUIRED\n"
    ">\n"
    "<!ELEMENT RecordCount (#PCDATA)>\n"
    "<!ELEMENT Record (Field*) >\n"
    "<!ELEMENT Field (#PCDATA) >\n"
    "<!ATTLIST Field\n"
    "\tName\tCDATA \t#REQUIRED\n"
    ">\n"
    "]>\n"
    "\n"
    "\n";

constexpr uint16_t kMaxIndent = 10;

// Characters XML 1.0 admits in no form.
bool Unrepresentable(unsigned char c) {
  return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

const FBL_Language* LanguageOf(const FBL_BaseField& field) {
  if (auto* s = dynamic_cast<const BF_STRING*>(&field)) return &s->GetLanguage();
  if (auto* t = dynamic_cast<const BF_TEXT*>(&field)) return &t->GetLanguage();
  return nullptr;
}

bool HasLength(uint8_t type) {
  return type == kTypeString || type == kTypeVarChar || type == kTypeFixedBinary ||
         type == kTypeVarBinary;
}

}  // namespace

namespace zv::dump {

bool AppendXmlText(std::string& out, std::string_view text) {
  for (char c : text) {
    if (Unrepresentable(static_cast<unsigned char>(c))) return false;
  }
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return true;
}

void AppendXmlAttribute(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += Unrepresentable(static_cast<unsigned char>(c)) ? '?' : c;
    }
  }
}

}  // namespace zv::dump

using namespace zv::dump;

OBL_DumpXML::~OBL_DumpXML() = default;

void OBL_DumpXML::Indent(uint16_t level) {
  Buffer().append(std::min(level, kMaxIndent), '\t');
}

void OBL_DumpXML::Open(const char* tag, const std::string* name) {
  Indent(mLevel);
  Append("<");
  Append(tag);
  if (name != nullptr) {
    Append(" Name=\"");
    AppendXmlAttribute(Buffer(), *name);
    Append("\"");
  }
  Append(">\n");
  FlushWhenFull();
}

void OBL_DumpXML::Close(const char* tag) {
  Indent(mLevel);
  Append("</");
  Append(tag);
  Append(">\n");
  FlushWhenFull();
}

void OBL_DumpXML::Value(const char* tag, std::string_view value) {
  Indent(mLevel);
  Append("<");
  Append(tag);
  Append(">");
  if (!AppendXmlText(Buffer(), value)) {
    // Names, languages and method texts are never binary; what XML cannot
    // carry is dropped rather than making the document ill-formed.
    std::string kept;
    for (char c : value) {
      if (!Unrepresentable(static_cast<unsigned char>(c))) kept += c;
    }
    AppendXmlText(Buffer(), kept);
  }
  Append("</");
  Append(tag);
  Append(">\n");
}

void OBL_DumpXML::Signed(const char* tag, long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%li", value);
  Value(tag, text);
}

void OBL_DumpXML::Unsigned(const char* tag, unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%lu", value);
  Value(tag, text);
}

void OBL_DumpXML::Dump(OBL_DataBase& db) {
  Append(kXmlDeclaration);
  Append(kDatabaseDoctype);
  Append(kDoctypeRest);
  Flush();
  const std::string name = db.GetName();
  mLevel = 0;
  Open("Database", &name);
  mLevel = 1;
  DatabaseDesc(db);
  Append("\n\n\n");
  StartProgress(db);
  Open("DatabaseData", nullptr);
  mLevel = 2;
  for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) BaseObjectData(*db.GetBaseObject(i));
  mLevel = 1;
  Close("DatabaseData");
  mLevel = 0;
  Close("Database");
  Flush();
}

void OBL_DumpXML::DumpTable(OBL_BaseObject& table) {
  Append(kXmlDeclaration);
  Append(kTableDoctype);
  Append(kDoctypeRest);
  Flush();
  BaseObjectDesc(table);
  Flush();
}

void OBL_DumpXML::DatabaseDesc(OBL_DataBase& db) {
  const std::string name = db.GetName();
  Open("DatabaseDesc", &name);
  ++mLevel;
  const FBL_DateSettings& dates = db.GetDateSettings();
  Signed("DatabaseMode", static_cast<long>(db.GetStorageMode()));
  Signed("DatabaseSegment", static_cast<long>(db.GetRecordVolume()->GetSegmentSize()));
  Signed("SchemaVersion", db.GetSchemaVersion());
  Signed("DateFormat", dates.mDateOrder);
  Value("DateSeparator", std::string_view(&dates.mDateSeparator, 1));
  Value("TimeSeparator", std::string_view(&dates.mTimeSeparator, 1));
  Unsigned("BaseObjectCount", db.GetBaseObjectCount());
  for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) BaseObjectDesc(*db.GetBaseObject(i));
  --mLevel;
  Close("DatabaseDesc");
}

void OBL_DumpXML::BaseObjectDesc(OBL_BaseObject& table) {
  Open("BaseObjectDesc", &table.GetName());
  ++mLevel;
  Unsigned("FieldCount", table.GetFieldCount());
  for (FBL_BaseField* field : table.GetFieldList()) FieldDesc(*field);
  --mLevel;
  Close("BaseObjectDesc");
}

void OBL_DumpXML::FieldDesc(FBL_BaseField& field) {
  Open("FieldDesc", &field.GetName());
  ++mLevel;
  const uint8_t type = field.GetType();
  Value("Type", DumpTypeName(type));
  Value("Indexed", field.HasFlag(kFieldIndexed) ? "1" : "0");
  Value("Unique", field.HasFlag(kFieldUnique) ? "1" : "0");
  Value("Nullable", field.HasFlag(kFieldNullable) ? "1" : "0");
  Value("IndexByWords", field.HasFlag(kFieldByWords) ? "1" : "0");
  Value("Compressed", field.HasFlag(kFieldCompressed) ? "1" : "0");
  if (type == kTypeObjectPtr) {
    const OBL_PointerLink* link = PointerLinkOf(field);
    const OBL_BaseObject* target = link != nullptr ? link->GetTarget() : nullptr;
    Value("Target", target != nullptr ? target->GetName() : std::string());
    Signed("DeletionControl", link != nullptr ? static_cast<long>(link->GetDeletionControl()) : 0);
  }
  if (HasLength(type)) {
    Unsigned("MaxLength", static_cast<const FBL_LengthField&>(field).GetDeclaredLength());
  }
  if (const FBL_Language* language = LanguageOf(field)) Value("Language", language->GetName());
  if (auto* blob = dynamic_cast<BF_BLOB*>(&field)) {
    Signed("SegmentSize", static_cast<long>(blob->GetSegmentSize()));
  }
  if (field.IsMethod()) Value("Method", field.GetMethodText());
  --mLevel;
  Close("FieldDesc");
}

void OBL_DumpXML::BaseObjectData(OBL_BaseObject& table) {
  Open("BaseObjectData", &table.GetName());
  ++mLevel;
  OBL_ObjectTable& store = table.GetStore();
  Unsigned("RecordCount", store.GetRecordCount());
  Flush();
  const std::vector<DumpColumn> columns = Columns(table, false);
  for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
    Record(table, columns);
    RecordDone();
  }
  --mLevel;
  Close("BaseObjectData");
}

void OBL_DumpXML::Record(OBL_BaseObject& table, const std::vector<DumpColumn>& columns) {
  Open("Record", nullptr);
  ++mLevel;
  Indent(mLevel);
  Append("<f n=\"RecID\">");
  Append(std::to_string(table.GetStore().GetCurrentRecID()));
  Append("</f>\n");
  for (const DumpColumn& column : columns) {
    if (!column.mField->IsNull()) FieldLine(column);
  }
  --mLevel;
  Close("Record");
}

void OBL_DumpXML::FieldLine(const DumpColumn& column) {
  FBL_BaseField& field = *column.mField;
  std::string& out = Buffer();
  Indent(mLevel);
  out += "<f n=\"";
  AppendXmlAttribute(out, field.GetName());
  out += '"';
  const std::string bytes = ValueBytes(field, column.mKind);
  bool hex = column.mKind == ValueKind::kBlob ||
             (column.mKind == ValueKind::kBinary && !bytes.empty());
  if (!hex) {
    out += '>';
    if (!AppendXmlText(out, bytes)) {
      out.pop_back();
      out += " x=\"1\"";
      hex = true;
    }
  }
  if (hex) {
    out += ">\n";
    AppendHex(out, bytes, mLevel);
    out += '\n';
    Indent(mLevel);
  }
  out += "</f>\n";
  FlushWhenFull();
}
