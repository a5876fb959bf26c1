#include "dump/dump_writer.h"

#include "kernel/tables/base_field.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"

OBL_Dump::OBL_Dump(const std::string& path, platform::Env* env) {
  mBuffer.reserve(1024);
  mFile = (env != nullptr ? env : platform::Env::Default())->CreateFile(path);
}

OBL_Dump::~OBL_Dump() = default;

void OBL_Dump::Flush() {
  WriteDirect(mBuffer);
  mBuffer.clear();
}

void OBL_Dump::WriteDirect(std::string_view text) {
  if (text.empty()) return;
  mFile->WriteAt(mEnd, text.data(), text.size());
  mEnd += text.size();
}

void OBL_Dump::StartProgress(const OBL_DataBase& db) {
  if (!mProgress) return;
  uint64_t total = 0;
  for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i)
    total += db.GetBaseObject(i)->GetStore().GetRecordCount();
  mSteps.emplace(total);
  mDone = 0;
}

namespace zv::dump {

const char* DumpTypeName(uint8_t code) {
  if (code == 11 || code == 16 || code == kTypeRecID) return "";
  return zv::TypeName(code);
}

ValueKind KindOf(const FBL_BaseField& field) {
  if (dynamic_cast<const BF_BLOB*>(&field) != nullptr) return ValueKind::kBlob;
  if (dynamic_cast<const BF_FixedBinary*>(&field) != nullptr) return ValueKind::kBinary;
  return ValueKind::kPlain;
}

std::vector<DumpColumn> Columns(const OBL_BaseObject& table, bool withMethods) {
  std::vector<DumpColumn> columns;
  for (FBL_BaseField* field : table.GetFieldList()) {
    if (withMethods || !field->IsMethod()) columns.push_back({field, KindOf(*field)});
  }
  return columns;
}

std::string ValueBytes(FBL_BaseField& field, ValueKind kind) {
  if (kind == ValueKind::kBlob) {
    const std::vector<uint8_t> data = static_cast<BF_BLOB&>(field).GetData();
    return std::string(data.begin(), data.end());
  }
  return field.GetString();
}

void AppendHex(std::string& out, std::string_view bytes, uint32_t level) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::string indent(level == 0 ? 0 : level + 1, '\t');
  for (size_t i = 0; i < bytes.size(); i += 16) {
    out += indent;
    const size_t end = std::min(bytes.size(), i + 16);
    for (size_t k = i; k < end; ++k) {
      const auto b = static_cast<uint8_t>(bytes[k]);
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
      out += k + 1 == end ? '\n' : ' ';
    }
  }
}

}  // namespace zv::dump
