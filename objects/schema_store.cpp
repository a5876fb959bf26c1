// Writing the schema into sysItem and reading it back.
//
// The item tree (kinds in schema_dictionary.h):
//   Database (-1, no parent): DateFormat, DateSep, TimeSep, Encrypted,
//     EncryptedExample (with a data key only), StructureEncrypted,
//     BaseObjectLastID, FieldLastID, TimeOut
//   BaseObject (-2) per stored user table: Name, BaseObjectID, Encrypted,
//     EncryptedExample (an own key only), Parent, InheritanceType, Abstract
//   Field (-3) per own field: Name, Type, Encrypted, EncryptedExample (an
//     own key only), Indexed, Unique, Nullable, ByWords, Compressed,
//     Method, MethodText (TextValue), then by type MaxLength, Language,
//     Segment, Compression, Target, DeletionControl
//   Link (-4) per stored relation: LinkType, Name (Value: its file
//     number), LinkBranch (-5) per branch: Name, RelType, DeletionControl
//
// Order: tables load in BaseObjectID order (IDs only grow, so a parent
// comes before its children); fields and branches in RecID order of their
// items, which the writers keep ascending with the fields' order.
#include <algorithm>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/language.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "objects/base_object.h"
#include "objects/bin_relation.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

// The type's own properties, and which types have each.
struct TypeProperty {
  int32_t mKind;
  bool (*mApplies)(uint8_t type);
};

bool HasLength(uint8_t t) {
  return t == kTypeString || t == kTypeVarChar || t == kTypeFixedBinary || t == kTypeVarBinary;
}
bool HasLanguage(uint8_t t) {
  return t == kTypeString || t == kTypeVarChar || t == kTypeText;
}
bool HasSegment(uint8_t t) {
  return t == kTypeBLOB || t == kTypeText || t == kTypePicture;
}
bool HasCompression(uint8_t t) {
  return t == kTypePicture;
}
bool IsPointer(uint8_t t) {
  return t == kTypeObjectPtr;
}

constexpr TypeProperty kTypeProperties[] = {
    {kPropMaxLength, HasLength},       {kPropLanguage, HasLanguage},
    {kPropSegment, HasSegment},        {kPropCompression, HasCompression},
    {kPropTarget, IsPointer},          {kPropDeletionControl, IsPointer},
};

struct FlagProperty {
  int32_t mKind;
  uint16_t mFlag;
};
constexpr FlagProperty kFlagProperties[] = {
    {kPropIndexed, kFieldIndexed},   {kPropUnique, kFieldUnique},
    {kPropNullable, kFieldNullable}, {kPropByWords, kFieldByWords},
    {kPropCompressed, kFieldCompressed},
};

std::string LanguageName(const FBL_BaseField& field) {
  if (const auto* text = dynamic_cast<const BF_STRING*>(&field)) return text->GetLanguage().GetName();
  if (const auto* text = dynamic_cast<const BF_TEXT*>(&field)) return text->GetLanguage().GetName();
  return {};
}

[[noreturn]] void Damaged(const std::string& what) {
  throw xFBL_CantReadDomain(what.c_str());
}

}  // namespace

// ---- a table's items ---------------------------------------------------------------

void OBL_BaseObject::StoreItems() {
  if (IsTemporary() || IsSystem()) return;
  OBL_SysItem& sys = mDataBase.GetSysItem();
  const bool fresh = mItem == 0;
  if (fresh) {
    mItem = sys.NewItem(kItemBaseObject, mDataBase.GetDatabaseItem());
    for (OwnField& own : mFields) own.mItem = 0;
  }
  sys.Put(kPropTableName, mItem, GetName(), fresh);
  sys.PutInteger(kPropBaseObjectID, mItem, mID, fresh);
  sys.PutInteger(kPropTableEncrypted, mItem, mKey || mDataBase.GetEncryptionKey(), fresh);
  if (mKey) {
    sys.Put(kPropTableEncryptedExample, mItem, zv::KeyCheckValue(mKey), fresh);
  } else if (!fresh) {
    sys.DeleteItem(kPropTableEncryptedExample, mItem);
  }
  sys.Put(kPropParent, mItem, mParent ? mParent->GetName() : std::string(), fresh);
  sys.PutInteger(kPropInheritanceType, mItem, mInheritanceType, fresh);
  sys.PutInteger(kPropAbstract, mItem, mAbstract, fresh);
  for (OwnField& own : mFields) StoreField(own);
  KeepFieldItemsInOrder();
}

void OBL_BaseObject::StoreField(OwnField& own) {
  OBL_SysItem& sys = mDataBase.GetSysItem();
  const FBL_BaseField& field = *own.mField;
  const bool fresh = own.mItem == 0;
  if (fresh) own.mItem = sys.NewItem(kItemField, mItem);
  const REC_ID item = own.mItem;
  const uint8_t type = field.GetType();
  sys.Put(kPropFieldName, item, field.GetName(), fresh);
  sys.PutInteger(kPropType, item, type, fresh);
  sys.PutInteger(kPropFieldEncrypted, item, own.mKey || mKey || mDataBase.GetEncryptionKey(),
                 fresh);
  if (own.mKey) {
    sys.Put(kPropFieldEncryptedExample, item, zv::KeyCheckValue(own.mKey), fresh);
  } else if (!fresh) {
    sys.DeleteItem(kPropFieldEncryptedExample, item);
  }
  for (const FlagProperty& flag : kFlagProperties)
    sys.PutInteger(flag.mKind, item, field.HasFlag(flag.mFlag), fresh);
  sys.PutInteger(kPropMethod, item, field.IsMethod(), fresh);
  sys.PutLongText(kPropMethodText, item, field.GetMethodText(), fresh);
  for (const TypeProperty& property : kTypeProperties) {
    if (!property.mApplies(type)) {
      if (!fresh) sys.DeleteItem(property.mKind, item);
      continue;
    }
    switch (property.mKind) {
      case kPropMaxLength:
        sys.PutInteger(property.mKind, item,
                       static_cast<const FBL_LengthField&>(field).GetDeclaredLength(), fresh);
        break;
      case kPropLanguage:
        sys.Put(property.mKind, item, LanguageName(field), fresh);
        break;
      case kPropSegment:
        sys.PutInteger(property.mKind, item, static_cast<const BF_BLOB&>(field).GetSegmentSize(),
                       fresh);
        break;
      case kPropCompression:
        sys.PutInteger(property.mKind, item,
                       static_cast<const BF_BLOB&>(field).GetCompressionLevel(), fresh);
        break;
      case kPropTarget: {
        const OBL_PointerLink* link = mDataBase.PointerLinkOf(field);
        const OBL_BaseObject* target = link ? link->GetTarget() : nullptr;
        sys.Put(property.mKind, item, target ? target->GetName() : std::string(), fresh);
        break;
      }
      default: {
        const OBL_PointerLink* link = mDataBase.PointerLinkOf(field);
        sys.PutInteger(property.mKind, item,
                       static_cast<int64_t>(link ? link->GetDeletionControl()
                                                 : OBL_DeletionControl::kSetNull),
                       fresh);
        break;
      }
    }
  }
}

void OBL_BaseObject::KeepFieldItemsInOrder() {
  REC_ID last = 0;
  bool ordered = true;
  for (const OwnField& own : mFields) {
    if (own.mItem <= last) ordered = false;
    last = own.mItem;
  }
  if (ordered) return;
  // Written again together, the items take ascending RecIDs.
  OBL_SysItem& sys = mDataBase.GetSysItem();
  for (OwnField& own : mFields) {
    sys.DeleteItemTree(own.mItem);
    own.mItem = 0;
  }
  for (OwnField& own : mFields) StoreField(own);
}

OBL_BaseObject::OwnField& OBL_BaseObject::FollowReplacement(FBL_BaseField& now) {
  if (OwnField* own = FindOwn(now)) return *own;
  for (OwnField& own : mFields) {
    if (own.mField->GetFieldNumber() == now.GetFieldNumber()) {
      own.mField = &now;
      return own;
    }
  }
  throw xFBL_Exception(ERR_ASSERTION_FAIL, "A replaced field is not one of the table's");
}

void OBL_BaseObject::StoreReferencesToName() {
  OBL_SysItem& sys = mDataBase.GetSysItem();
  for (OBL_BaseObject* child : mChildren) {
    if (child->Stored()) sys.SetText(kPropParent, child->mItem, GetName());
  }
  for (OBL_PointerLink* link : mDataBase.PointersTo(*this)) {
    OBL_BaseObject& table = link->GetTable();
    OwnField* own = table.FindOwn(link->GetField());
    if (table.Stored() && own != nullptr && own->mItem != 0)
      sys.SetText(kPropTarget, own->mItem, GetName());
  }
  for (OBL_Link* link : mDataBase.LinksOf(*this)) {
    if (dynamic_cast<OBL_Relation*>(link) != nullptr) link->StoreItems();
  }
}

void OBL_BaseObject::OnSchemaChange(FBL_SchemaChange change, FBL_BaseField* field) {
  OwnField* own = nullptr;
  if (field != nullptr) {
    const bool replaced =
        change == FBL_SchemaChange::kFieldType || change == FBL_SchemaChange::kFieldLength;
    own = replaced ? &FollowReplacement(*field) : FindOwn(*field);
    // The implicit fields keep no items.
    if (own == nullptr) return;
  }
  if (change == FBL_SchemaChange::kFieldTarget) {
    if (OBL_PointerLink* link = mDataBase.PointerLinkOf(*field)) {
      FBL_Table* target = static_cast<BF_TablePTR*>(field)->GetTargetTable();
      link->SetTarget(target ? &static_cast<OBL_ObjectTable*>(target)->GetOwner() : nullptr);
    }
  }
  if (!Stored()) return;
  mDataBase.RequireWritable();
  OBL_SysItem& sys = mDataBase.GetSysItem();
  if (own == nullptr) {
    sys.SetText(kPropTableName, mItem, GetName());
    StoreReferencesToName();
  } else {
    StoreField(*own);
  }
  Commit();
}

// ---- the Database item -------------------------------------------------------------

std::string OBL_DataBase::ItemsState() const {
  const FBL_DateSettings& d = GetDateSettings();
  return std::to_string(d.mDateOrder) + '|' + d.mDateSeparator + d.mTimeSeparator + '|' +
         zv::KeyCheckValue(GetEncryptionKey()) + '|' + std::to_string(mBaseObjectLastID) + '|' +
         std::to_string(mFieldLastID) + '|' + std::to_string(mTimeOut) + '|' +
         std::to_string(GetStructureVolume() ? GetStructureVolume()->GetHeader().mStructureEncrypted
                                             : 0);
}

void OBL_DataBase::StoreDatabaseItem(bool always) {
  if (!mSysItem || IsReadOnly() || mSuppressStore) return;
  const std::string state = ItemsState();
  if (!always && mDatabaseItem != 0 && state == mStoredSettings) return;
  OBL_SysItem& sys = *mSysItem;
  const bool fresh = mDatabaseItem == 0;
  if (fresh) mDatabaseItem = sys.NewItem(kItemDatabase, 0);
  const REC_ID item = mDatabaseItem;
  const FBL_DateSettings& d = GetDateSettings();
  sys.PutInteger(kPropDateFormat, item, d.mDateOrder, fresh);
  sys.Put(kPropDateSep, item, std::string(1, d.mDateSeparator), fresh);
  sys.Put(kPropTimeSep, item, std::string(1, d.mTimeSeparator), fresh);
  sys.PutInteger(kPropDbEncrypted, item, GetEncryptionKey() != nullptr, fresh);
  if (GetEncryptionKey()) {
    sys.Put(kPropDbEncryptedExample, item, zv::KeyCheckValue(GetEncryptionKey()), fresh);
  } else if (!fresh) {
    sys.DeleteItem(kPropDbEncryptedExample, item);
  }
  sys.PutInteger(kPropStructureEncrypted, item, IsStructureEncrypted(), fresh);
  sys.PutInteger(kPropBaseObjectLastID, item, mBaseObjectLastID, fresh);
  sys.PutInteger(kPropFieldLastID, item, mFieldLastID, fresh);
  sys.PutInteger(kPropTimeOut, item, mTimeOut, fresh);
  mStoredSettings = state;
}

void OBL_DataBase::StoreLinkItems() {
  for (auto& link : mLinks) {
    if (!link->IsSystem() && !link->IsInternal()) link->StoreItems();
  }
}

void OBL_DataBase::ForgetItems() {
  mDatabaseItem = 0;
  mStoredSettings.clear();
  for (auto& table : mTables) {
    table->mItem = 0;
    for (auto& own : table->mFields) own.mItem = 0;
  }
  for (auto& link : mLinks) link->SetItemID(0);
}

void OBL_DataBase::StoreSchema() {
  RequireWritable();
  StoreDatabaseItem(true);
  for (auto& table : mTables) table->StoreItems();
  StoreLinkItems();
  FlushAllFiles();
}

// ---- loading ----------------------------------------------------------------------

void OBL_DataBase::LoadSchema() {
  const bool enciphered = GetStructureVolume()->GetHeader().mStructureEncrypted == 1;
  OBL_ItemSnapshot items;
  try {
    items = GetSysItem().TakeSnapshot();
  } catch (const xFBL_Exception&) {
    if (enciphered) throw xFBL_WrongStructureEncryptionKey();
    throw;
  }
  const OBL_ItemSnapshot::Item* database = items.Find(0, kItemDatabase);
  mDatabaseItem = database != nullptr ? database->mRecID : 0;
  if (enciphered && items.Text(mDatabaseItem, kPropEncStructExample) != zv::KeyCheckValue(mStructureKey))
    throw xFBL_WrongStructureEncryptionKey();
  if (mDatabaseItem != 0) {
    FBL_DateSettings settings = GetDateSettings();
    const int64_t order = items.Integer(mDatabaseItem, kPropDateFormat);
    settings.mDateOrder = order >= 0 && order <= 2 ? static_cast<uint8_t>(order) : 0;
    const std::string dateSep = items.Text(mDatabaseItem, kPropDateSep);
    const std::string timeSep = items.Text(mDatabaseItem, kPropTimeSep);
    if (!dateSep.empty()) settings.mDateSeparator = dateSep[0];
    if (!timeSep.empty()) settings.mTimeSeparator = timeSep[0];
    SetDateSettings(settings);
  }
  CheckDataKeyOnLoad(items, mDatabaseItem);
  mBaseObjectLastID = static_cast<int32_t>(items.Integer(mDatabaseItem, kPropBaseObjectLastID));
  mFieldLastID = static_cast<uint32_t>(items.Integer(mDatabaseItem, kPropFieldLastID));
  mTimeOut = static_cast<uint32_t>(items.Integer(mDatabaseItem, kPropTimeOut));
  LoadTables(items, mDatabaseItem);
  LoadLinks(items, mDatabaseItem);
  mStoredSettings = ItemsState();
  if (mBaseObjectLastID == 0 && !mTables.empty()) RecomputeBaseObjectLastID();
}

void OBL_DataBase::CheckDataKeyOnLoad(const OBL_ItemSnapshot& items, REC_ID databaseItem) {
  const FBL_EncryptionKeyRef& key = GetEncryptionKey();
  if (!key) return;
  if (items.Integer(databaseItem, kPropDbEncrypted) == 0) throw xFBL_WrongEncryptionKey();
  const OBL_ItemSnapshot::Item* example = items.Find(databaseItem, kPropDbEncryptedExample);
  if (example != nullptr && example->mValue != zv::KeyCheckValue(key))
    throw xFBL_WrongEncryptionKey();
}

namespace {

// A field as its items describe it.
std::unique_ptr<FBL_BaseField> LoadField(OBL_SysItem& sys, const OBL_ItemSnapshot& items,
                                         REC_ID item, const std::string& table) {
  const std::string name = items.Text(item, kPropFieldName);
  const OBL_ItemSnapshot::Item* typeItem = items.Find(item, kPropType);
  if (typeItem == nullptr) Damaged("Field \"" + name + "\" of \"" + table + "\" has no Type item");
  const int64_t type = items.Integer(item, kPropType);
  uint16_t flags = 0;
  for (const FlagProperty& flag : kFlagProperties) {
    if (items.Integer(item, flag.mKind) != 0) flags |= flag.mFlag;
  }
  const int64_t length = items.Integer(item, kPropMaxLength);
  if (length < 0 || length > UINT16_MAX)
    Damaged("Field \"" + name + "\" of \"" + table + "\" has a bad MaxLength");
  std::unique_ptr<FBL_BaseField> field;
  if (type > 0 && type <= UINT8_MAX && type != kTypeRecID) {
    field = zv::MakeField(static_cast<uint8_t>(type), name, flags, static_cast<uint32_t>(length),
                          items.Text(item, kPropLanguage));
  }
  if (!field) {
    Damaged("Field \"" + name + "\" of \"" + table + "\" has the unknown type " +
            std::to_string(type));
  }
  if (HasSegment(field->GetType())) {
    const int64_t segment = items.Integer(item, kPropSegment);
    if (segment > 0 && segment <= UINT32_MAX)
      static_cast<BF_BLOB&>(*field).SetSegmentSize(static_cast<uint32_t>(segment), false);
    if (items.Find(item, kPropCompression) != nullptr) {
      const int64_t level = items.Integer(item, kPropCompression);
      if (level >= 0 && level <= 9)
        static_cast<BF_BLOB&>(*field).SetCompressionLevel(static_cast<uint16_t>(level), false);
    }
  }
  if (items.Integer(item, kPropMethod) != 0)
    field->SetMethodText(sys.GetLongText(kPropMethodText, item), false);
  return field;
}

}  // namespace

void OBL_DataBase::LoadTables(const OBL_ItemSnapshot& items, REC_ID databaseItem) {
  struct Pointer {
    OBL_BaseObject* mTable;
    F_ObjectPTR* mField;
    std::string mTarget;
    int64_t mControl;
  };
  std::vector<Pointer> pointers;
  std::vector<const OBL_ItemSnapshot::Item*> tableItems = items.All(databaseItem, kItemBaseObject);
  std::stable_sort(tableItems.begin(), tableItems.end(), [&](auto* a, auto* b) {
    return items.Integer(a->mRecID, kPropBaseObjectID) < items.Integer(b->mRecID, kPropBaseObjectID);
  });
  for (const OBL_ItemSnapshot::Item* t : tableItems) {
    const REC_ID item = t->mRecID;
    const std::string name = items.Text(item, kPropTableName);
    const int64_t id = items.Integer(item, kPropBaseObjectID);
    if (name.empty() || FindBaseObject(name) != nullptr)
      Damaged("A table item has an empty or repeated name \"" + name + "\"");
    if (id < 0 || id >= kSysItemID) Damaged("Table \"" + name + "\" has a bad BaseObjectID");
    for (auto& other : mTables) {
      if (other->GetID() == id) Damaged("Table \"" + name + "\" repeats a BaseObjectID");
    }
    const std::string parentName = items.Text(item, kPropParent);
    OBL_BaseObject* parent = nullptr;
    if (!parentName.empty()) {
      parent = FindBaseObject(parentName);
      if (parent == nullptr || parent->IsSystem())
        Damaged("Table \"" + name + "\" names a missing parent \"" + parentName + "\"");
    }
    const int64_t inheritance = items.Integer(item, kPropInheritanceType);
    auto table = std::make_unique<OBL_BaseObject>(
        *this, name, static_cast<int32_t>(id), parent,
        static_cast<uint8_t>(inheritance >= 0 && inheritance <= 255 ? inheritance : 0));
    table->mAbstract = items.Integer(item, kPropAbstract) != 0;
    table->mItem = item;
    table->mStoredExample = items.Text(item, kPropTableEncryptedExample);
    if (!table->mStoredExample.empty()) table->mLocked = true;
    for (const OBL_ItemSnapshot::Item* f : items.All(item, kItemField)) {
      std::unique_ptr<FBL_BaseField> made = LoadField(*mSysItem, items, f->mRecID, name);
      const std::string example = items.Text(f->mRecID, kPropFieldEncryptedExample);
      if (!example.empty()) table->mLocked = true;
      PrepareField(*table, *made, nullptr);
      FBL_BaseField& field = table->AdoptLoadedField(std::move(made), f->mRecID);
      table->mFields.back().mStoredExample = example;
      if (field.GetType() == kTypeObjectPtr) {
        pointers.push_back(Pointer{table.get(), &static_cast<F_ObjectPTR&>(field),
                                   items.Text(f->mRecID, kPropTarget),
                                   items.Integer(f->mRecID, kPropDeletionControl)});
      }
    }
    mTables.push_back(std::move(table));
  }
  // Targets may be tables loaded after the pointer's own.
  for (const Pointer& p : pointers) {
    OBL_BaseObject* target = p.mTarget.empty() ? nullptr : FindBaseObject(p.mTarget);
    if (target != nullptr && target->IsSystem()) target = nullptr;
    const auto control = p.mControl >= 0 && p.mControl <= 2
                             ? static_cast<OBL_DeletionControl>(p.mControl)
                             : OBL_DeletionControl::kSetNull;
    AddPointerLink(*p.mTable, *p.mField, target, control);
    p.mField->SetTargetTable(target ? &target->GetStore() : nullptr, false);
  }
  for (auto& table : mTables) table->OpenFiles();
}

void OBL_DataBase::LoadLinks(const OBL_ItemSnapshot& items, REC_ID databaseItem) {
  for (const OBL_ItemSnapshot::Item* l : items.All(databaseItem, kItemLink)) {
    const REC_ID item = l->mRecID;
    if (items.Integer(item, kPropLinkType) != static_cast<int64_t>(OBL_LinkType::kBinRelation))
      continue;  // only binary relations are stored
    const std::string name = items.Text(item, kPropLinkName);
    const int64_t number = std::strtoll(l->mValue.c_str(), nullptr, 10);
    if (number <= 0 || number > UINT16_MAX) Damaged("Relation \"" + name + "\" has no file number");
    std::vector<OBL_RelationBranch> branches;
    for (const OBL_ItemSnapshot::Item* b : items.All(item, kItemLinkBranch)) {
      const std::string table = items.Text(b->mRecID, kPropBranchName);
      OBL_BaseObject* branchTable = FindBaseObject(table);
      if (branchTable == nullptr || branchTable->IsSystem())
        Damaged("Relation \"" + name + "\" names a missing table \"" + table + "\"");
      const int64_t relType = items.Integer(b->mRecID, kPropRelType);
      const int64_t control = items.Integer(b->mRecID, kPropBranchDeletionControl);
      branches.push_back(OBL_RelationBranch{
          branchTable, static_cast<uint16_t>(relType >= 0 && relType <= UINT16_MAX ? relType : 0),
          control >= 0 && control <= 2 ? static_cast<OBL_DeletionControl>(control)
                                       : OBL_DeletionControl::kSetNull});
    }
    if (branches.size() != 2) Damaged("Relation \"" + name + "\" does not have two branches");
    auto relation = std::make_unique<OBL_BinRelation>(*this, name, static_cast<uint16_t>(number));
    for (const OBL_RelationBranch& b : branches)
      relation->AddBranch(*b.mTable, b.mRelType, b.mControl);
    relation->SetItemID(item);
    relation->Open();
    mLinks.push_back(std::move(relation));
  }
}
