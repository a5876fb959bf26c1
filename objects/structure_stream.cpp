// The structure stream: how files of the formats below 400 keep their
// schema, an embedded file of the structure volume (owner 1, kind 2).
// Integers are in the volume's byte order; a string is a u32 length and
// its bytes.
//
//   database  u32 count of tables without a parent, their table blocks,
//             u32 count of stored relations, their link blocks
//   table     string name, u32 ID, string parent name, u16 InheritanceType,
//             u16 Abstract, u32 count of its own fields, their field
//             blocks, u32 count of child tables, their table blocks
//   field     string name, u32 type, u32 flags, u32 declared length,
//             string language, u32 segment size, u32 compression level,
//             string method text, string target table, u32 deletion control
//   link      string name, u32 link type, u32 file number, u32 branch
//             count, per branch: string table, u32 relation type, u32
//             deletion control
//
// Reading checks every count against what the stream can hold and bounds
// the nesting of child tables; a bad block raises 321.
#include <algorithm>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/file_stream.h"
#include "kernel/storage/volume.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/language.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/record_map.h"
#include "kernel/tables/string_fields.h"
#include "objects/bin_relation.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kStreamOwner = 1;
constexpr uint16_t kKindStructureStream = 2;
// Child tables nest at most this deep.
constexpr uint32_t kMaxDepth = 64;
constexpr uint32_t kMaxFields = 65535;

[[noreturn]] void Bad(const std::string& what) {
  throw xFBL_CantReadDomain(("Structure stream: " + what).c_str());
}

void WriteU16(FBL_FileStream& stream, uint16_t value) {
  uint8_t raw[2];
  zorder::StoreU16(raw, value, zv::StoresBigEndian(stream.GetVolume()));
  stream.Write(raw, sizeof raw);
}

uint16_t ReadU16(FBL_FileStream& stream) {
  uint8_t raw[2];
  stream.Read(raw, sizeof raw);
  return zorder::LoadU16(raw, zv::StoresBigEndian(stream.GetVolume()));
}

// A count that the rest of the stream can hold (each item takes at least
// minBytes).
uint32_t ReadCount(FBL_FileStream& stream, uint32_t minBytes, uint32_t limit, const char* what) {
  const uint32_t count = stream.ReadU32();
  const uint64_t left = stream.GetLength() - stream.GetPosition();
  if (count > limit || uint64_t{count} * minBytes > left) Bad(std::string("bad count of ") + what);
  return count;
}

std::string LanguageOf(const FBL_BaseField& field) {
  if (const auto* text = dynamic_cast<const BF_STRING*>(&field)) return text->GetLanguage().GetName();
  if (const auto* text = dynamic_cast<const BF_TEXT*>(&field)) return text->GetLanguage().GetName();
  return {};
}

void WriteField(FBL_FileStream& stream, OBL_DataBase& db, const FBL_BaseField& field) {
  stream.WriteString(field.GetName());
  stream.WriteU32(field.GetType());
  stream.WriteU32(field.GetFlags());
  const auto* sized = dynamic_cast<const FBL_LengthField*>(&field);
  stream.WriteU32(sized ? sized->GetDeclaredLength() : 0);
  stream.WriteString(LanguageOf(field));
  const auto* blob = dynamic_cast<const BF_BLOB*>(&field);
  stream.WriteU32(blob ? blob->GetSegmentSize() : 0);
  stream.WriteU32(blob ? blob->GetCompressionLevel() : 0);
  stream.WriteString(field.GetMethodText());
  const OBL_PointerLink* link = db.PointerLinkOf(field);
  stream.WriteString(link && link->GetTarget() ? link->GetTarget()->GetName() : std::string());
  stream.WriteU32(link ? static_cast<uint32_t>(link->GetDeletionControl()) : 0);
}

struct PendingPointer {
  OBL_BaseObject* mTable;
  F_ObjectPTR* mField;
  std::string mTarget;
  uint32_t mControl;
};

class StreamReader {
 public:
  StreamReader(OBL_DataBase& db, FBL_FileStream& stream) : mDb(db), mStream(stream) {}

  void Read() {
    const uint32_t tables = ReadCount(mStream, 16, UINT32_MAX, "tables");
    for (uint32_t i = 0; i < tables; ++i) ReadTable(nullptr, 0);
    const uint32_t links = ReadCount(mStream, 16, UINT32_MAX, "links");
    for (uint32_t i = 0; i < links; ++i) ReadLink();
    for (const PendingPointer& p : mPointers) {
      OBL_BaseObject* target = p.mTarget.empty() ? nullptr : mDb.FindBaseObject(p.mTarget);
      if (target != nullptr && target->IsSystem()) target = nullptr;
      mDb.AddPointerLink(*p.mTable, *p.mField, target,
                         p.mControl <= 2 ? static_cast<OBL_DeletionControl>(p.mControl)
                                         : OBL_DeletionControl::kSetNull);
      p.mField->SetTargetTable(target ? &target->GetStore() : nullptr, false);
    }
  }

 private:
  void ReadTable(OBL_BaseObject* parent, uint32_t depth) {
    if (depth > kMaxDepth) Bad("child tables nest too deep");
    std::string name, parentName;
    mStream.ReadString(name);
    const uint32_t id = mStream.ReadU32();
    mStream.ReadString(parentName);
    const uint16_t inheritance = ReadU16(mStream);
    const uint16_t abstract = ReadU16(mStream);
    if (name.empty() || mDb.FindBaseObject(name) != nullptr) Bad("empty or repeated table name");
    if (id >= static_cast<uint32_t>(kSysItemID)) Bad("bad table ID");
    for (uint32_t i = 1; i <= mDb.GetBaseObjectCount(); ++i) {
      if (static_cast<uint32_t>(mDb.GetBaseObject(i)->GetID()) == id) Bad("repeated table ID");
    }
    if (parentName != (parent ? parent->GetName() : std::string())) Bad("a child names another parent");
    auto made = std::make_unique<OBL_BaseObject>(mDb, name, static_cast<int32_t>(id), parent,
                                                 static_cast<uint8_t>(inheritance));
    made->SetAbstract(abstract != 0, false);
    const uint32_t fields = ReadCount(mStream, 36, kMaxFields, "fields");
    for (uint32_t i = 0; i < fields; ++i) ReadField(*made);
    OBL_BaseObject& table = mDb.AddLoadedTable(std::move(made));
    const uint32_t children = ReadCount(mStream, 16, UINT32_MAX, "child tables");
    for (uint32_t i = 0; i < children; ++i) ReadTable(&table, depth + 1);
  }

  void ReadField(OBL_BaseObject& table) {
    std::string name, language, method, target;
    mStream.ReadString(name);
    const uint32_t type = mStream.ReadU32();
    const uint32_t flags = mStream.ReadU32();
    const uint32_t length = mStream.ReadU32();
    mStream.ReadString(language);
    const uint32_t segment = mStream.ReadU32();
    const uint32_t level = mStream.ReadU32();
    mStream.ReadString(method);
    mStream.ReadString(target);
    const uint32_t control = mStream.ReadU32();
    if (type > UINT8_MAX || type == kTypeRecID || type == kTypeTablePtr || flags > UINT16_MAX ||
        length > UINT16_MAX)
      Bad("bad field \"" + name + "\"");
    if (name.empty() || table.GetField(name) != nullptr) Bad("empty or repeated field name");
    std::unique_ptr<FBL_BaseField> field =
        zv::MakeField(static_cast<uint8_t>(type), name,
                      static_cast<uint16_t>(flags & ~kFieldMethod), length, language);
    if (!field) Bad("field \"" + name + "\" of an unknown type");
    if (auto* blob = dynamic_cast<BF_BLOB*>(field.get())) {
      if (segment != 0) blob->SetSegmentSize(segment, false);
      if (level <= 9) blob->SetCompressionLevel(static_cast<uint16_t>(level), false);
    }
    if ((flags & kFieldMethod) && !method.empty()) field->SetMethodText(method, false);
    FBL_BaseField& added = table.AdoptLoadedField(std::move(field), 0);
    if (added.GetType() == kTypeObjectPtr)
      mPointers.push_back(PendingPointer{&table, &static_cast<F_ObjectPTR&>(added), target, control});
  }

  void ReadLink() {
    std::string name;
    mStream.ReadString(name);
    const uint32_t type = mStream.ReadU32();
    const uint32_t number = mStream.ReadU32();
    const uint32_t branches = ReadCount(mStream, 12, 2, "branches");
    if (type != static_cast<uint32_t>(OBL_LinkType::kBinRelation) || branches != 2 || number == 0 ||
        number > UINT16_MAX || name.empty())
      Bad("bad relation \"" + name + "\"");
    auto relation = std::make_unique<OBL_BinRelation>(mDb, name, static_cast<uint16_t>(number));
    for (uint32_t b = 0; b < branches; ++b) {
      std::string tableName;
      mStream.ReadString(tableName);
      const uint32_t relType = mStream.ReadU32();
      const uint32_t control = mStream.ReadU32();
      OBL_BaseObject* table = mDb.FindBaseObject(tableName);
      if (table == nullptr || table->IsSystem() || relType > UINT16_MAX || control > 2)
        Bad("bad branch of \"" + name + "\"");
      relation->AddBranch(*table, static_cast<uint16_t>(relType),
                          static_cast<OBL_DeletionControl>(control));
    }
    mDb.AddLoadedRelation(std::move(relation));
  }

  OBL_DataBase& mDb;
  FBL_FileStream& mStream;
  std::vector<PendingPointer> mPointers;
};

}  // namespace

void OBL_BaseObject::WriteToStream(FBL_FileStream& stream) const {
  stream.WriteString(GetName());
  stream.WriteU32(static_cast<uint32_t>(mID));
  stream.WriteString(mParent ? mParent->GetName() : std::string());
  WriteU16(stream, mInheritanceType);
  WriteU16(stream, mAbstract ? 1 : 0);
  stream.WriteU32(GetOwnFieldCount());
  for (const OwnField& own : mFields) WriteField(stream, mDataBase, *own.mField);
  stream.WriteU32(static_cast<uint32_t>(mChildren.size()));
  for (const OBL_BaseObject* child : mChildren) child->WriteToStream(stream);
}

void OBL_BinRelation::WriteToStream(FBL_FileStream& stream) const {
  stream.WriteString(GetName());
  stream.WriteU32(static_cast<uint32_t>(GetLinkType()));
  stream.WriteU32(mNumber);
  stream.WriteU32(GetBranchCount());
  for (const OBL_RelationBranch& b : mBranches) {
    stream.WriteString(b.mTable->GetName());
    stream.WriteU32(b.mRelType);
    stream.WriteU32(static_cast<uint32_t>(b.mControl));
  }
}

void OBL_DataBase::WriteStructureStream() {
  FBL_FileStream stream(*GetStructureVolume(), kStreamOwner, kKindStructureStream, 0);
  stream.Remove();
  stream.Create();
  stream.Open();
  try {
    std::vector<OBL_BaseObject*> roots;
    for (auto& table : mTables) {
      if (table->GetParent() == nullptr) roots.push_back(table.get());
    }
    stream.WriteU32(static_cast<uint32_t>(roots.size()));
    for (OBL_BaseObject* table : roots) table->WriteToStream(stream);
    std::vector<OBL_Link*> links;
    for (auto& link : mLinks) {
      if (!link->IsSystem() && !link->IsInternal()) links.push_back(link.get());
    }
    stream.WriteU32(static_cast<uint32_t>(links.size()));
    for (OBL_Link* link : links) link->WriteToStream(stream);
    stream.Flush();
  } catch (...) {
    stream.Close();
    throw;
  }
  stream.Close();
}

void OBL_DataBase::ReadStructureStream() {
  FBL_FileStream stream(*GetStructureVolume(), kStreamOwner, kKindStructureStream, 0);
  if (!stream.Exists()) Bad("the structure stream is missing");
  stream.Open();
  try {
    StreamReader(*this, stream).Read();
  } catch (const xFBL_Exception& e) {
    stream.Close();
    // A stream that ends early is as damaged as one with a bad count.
    if (e.Code == ERR_ASSERTION_FAIL || e.Code == -39) Bad("it ends early");
    throw;
  }
  stream.Close();
  for (auto& table : mTables) table->OpenFiles();
  for (auto& link : mLinks) {
    if (auto* relation = dynamic_cast<OBL_BinRelation*>(link.get())) relation->Open();
  }
  int32_t last = 0;
  for (auto& table : mTables) last = std::max(last, table->GetID());
  mBaseObjectLastID = std::max(mBaseObjectLastID, last);
}

OBL_BaseObject& OBL_DataBase::AddLoadedTable(std::unique_ptr<OBL_BaseObject> table) {
  mTables.push_back(std::move(table));
  return *mTables.back();
}

OBL_BinRelation& OBL_DataBase::AddLoadedRelation(std::unique_ptr<OBL_BinRelation> relation) {
  OBL_BinRelation& added = *relation;
  mLinks.push_back(std::move(relation));
  return added;
}
