#include <charconv>
#include <unordered_map>

#include "dump/load_state.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"

namespace zv::dump {

namespace {

constexpr const char kRecIDName[] = "RecID";
constexpr const char kKeyFieldName[] = "__RDB_KEY";
constexpr const char kPointerSuffix[] = "_RDB_PTR";

// A decimal number; 0 for anything else.
uint32_t ParseUnsigned(const std::string& text) {
  uint32_t value = 0;
  const char* begin = text.data();
  while (begin < text.data() + text.size() && (*begin == ' ' || *begin == '\t')) ++begin;
  std::from_chars(begin, text.data() + text.size(), value);
  return value;
}

bool TakesLanguage(uint8_t type) {
  return type == kTypeString || type == kTypeText || type == kTypeVarChar;
}

bool TakesSize(uint8_t type) {
  return type == kTypeSound || type == kTypePicture || type == kTypeMovie || type == kTypeBLOB ||
         type == kTypeFixedBinary || type == kTypeVarBinary;
}

void MakeField(LoadState& state, OBL_BaseObject& table, FieldDescriptor& fd) {
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = fd.mName;
  // The writer's names and the short forms ("LDouble") both read back.
  fieldSpec.mType = zv::TypeCodeOfName(fd.mType.c_str()).value_or(0);
  fd.mTypeCode = fieldSpec.mType;
  if (TakesLanguage(fieldSpec.mType)) {
    fieldSpec.mSize = ParseUnsigned(fd.mFirst);
    fieldSpec.mLanguage = fd.mSecond;
  } else if (fieldSpec.mType == kTypeObjectPtr) {
    if (TableDescriptor* target = FindTableDescriptor(state, fd.mFirst)) {
      fieldSpec.mTarget = target->mTable;
      target->mPointed = true;
    }
    fieldSpec.mDeletionControl = static_cast<OBL_DeletionControl>(ParseUnsigned(fd.mSecond) & 3);
  } else if (TakesSize(fieldSpec.mType)) {
    fieldSpec.mSize = ParseUnsigned(fd.mFirst);
  }
  fieldSpec.mMethodText = fd.mMethod;
  // Indexes of a new table are built once its records are in
  // (FinishFields): one bulk build instead of an insertion per record.
  uint16_t flags = 0;
  if (fd.mNullable) flags |= kFieldNullable;
  if (fd.mByWords) flags |= kFieldByWords;
  if (fd.mCompressed) flags |= kFieldCompressed;
  fd.mDeferredFlags =
      static_cast<uint16_t>((fd.mIndexed ? kFieldIndexed : 0) | (fd.mUnique ? kFieldUnique : 0));
  fieldSpec.mFlags = flags;
  fd.mField = &table.MakeNewField(fieldSpec);
}

FBL_BaseField& MakeTemporaryField(LoadState& state, OBL_BaseObject& table,
                                  const std::string& name) {
  OBL_FieldSpec fieldSpec;
  fieldSpec.mName = name;
  fieldSpec.mType = kTypeULong;
  FBL_BaseField& field = table.MakeNewField(fieldSpec);
  state.mTemporaryFields = true;
  return field;
}

// The pointer takes, in every record, the record of target whose key is
// the dumped pointer; records whose dumped pointer matches none keep it
// blank.
void Repoint(OBL_BaseObject& table, FieldDescriptor& pointer, OBL_BaseObject& target,
             FBL_BaseField& key) {
  std::unordered_map<uint64_t, REC_ID> loaded;
  OBL_ObjectTable& targets = target.GetStore();
  for (bool on = targets.FirstRecord(); on; on = targets.NextRecord())
    loaded.emplace(key.GetAsBits(), targets.GetCurrentRecID());
  OBL_ObjectTable& store = table.GetStore();
  for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
    const uint64_t dumped = pointer.mLinkField->GetAsBits();
    auto found = loaded.find(dumped);
    if (dumped == 0 || found == loaded.end()) continue;
    pointer.mField->SetFromBits(found->second, false);
    store.UpdateRecord();
  }
}

}  // namespace

TableDescriptor* FindTableDescriptor(LoadState& state, const std::string& name) {
  for (TableDescriptor& t : state.mTables) {
    if (zv::SameName(t.mName, name)) return &t;
  }
  return nullptr;
}

FieldDescriptor* FindFieldDescriptor(TableDescriptor& table, const std::string& name) {
  for (FieldDescriptor& f : table.mFields) {
    if (zv::SameName(f.mName, name)) return &f;
  }
  return nullptr;
}

FieldDescriptor* FindRecordField(TableDescriptor& table, const std::string& name) {
  if (table.mMissed && table.mMissedField == name) return nullptr;
  const size_t n = table.mFields.size();
  size_t i = table.mNextField;
  for (size_t k = 0; k < n; ++k, ++i) {
    if (i >= n) i = 0;
    if (table.mFields[i].mName == name) {
      table.mNextField = i + 1;
      return &table.mFields[i];
    }
  }
  FieldDescriptor* found = FindFieldDescriptor(table, name);
  if (found == nullptr) {
    table.mMissedField = name;
    table.mMissed = true;
  }
  return found;
}

void BuildSchema(LoadState& state) {
  OBL_DataBase& db = *state.mDb;
  for (TableDescriptor& t : state.mTables) {
    t.mTable = db.FindBaseObject(t.mName);
    if (t.mTable == nullptr) {
      t.mTable = &db.MakeNewBaseObject(t.mName);
      t.mCreated = true;
    }
  }
  for (TableDescriptor& t : state.mTables) {
    for (FieldDescriptor& fd : t.mFields) {
      if (t.mCreated) {
        MakeField(state, *t.mTable, fd);
      } else {
        fd.mField = t.mTable->GetField(fd.mName);
        fd.mTypeCode = fd.mField != nullptr ? fd.mField->GetType() : 0;
      }
      if (dynamic_cast<BF_BLOB*>(fd.mField) != nullptr) fd.mForm = ValueForm::kBlob;
      if (dynamic_cast<BF_FixedBinary*>(fd.mField) != nullptr) fd.mForm = ValueForm::kBinary;
    }
  }
  state.mSchemaBuilt = true;
  db.Flush();
}

void PrepareLinks(LoadState& state, TableDescriptor& table) {
  if (table.mLinksPrepared || table.mTable == nullptr) return;
  table.mLinksPrepared = true;
  table.mMissed = false;
  if (table.mPointed && FindFieldDescriptor(table, kRecIDName) == nullptr) {
    FieldDescriptor& recID = table.mFields.emplace_back();
    recID.mName = kRecIDName;
    recID.mLinkField = &MakeTemporaryField(state, *table.mTable, kKeyFieldName);
  }
  for (FieldDescriptor& fd : table.mFields) {
    if (fd.mTypeCode != kTypeObjectPtr || fd.mField == nullptr || !table.mCreated) continue;
    fd.mLinkField = &MakeTemporaryField(state, *table.mTable, fd.mName + kPointerSuffix);
  }
  table.mStored = table.mTable->GetFieldList(OBL_FieldSelection::kStored);
}

void ResolveLinks(LoadState& state) {
  for (TableDescriptor& t : state.mTables) {
    for (FieldDescriptor& fd : t.mFields) {
      if (fd.mTypeCode != kTypeObjectPtr || fd.mLinkField == nullptr) continue;
      TableDescriptor* target = FindTableDescriptor(state, fd.mFirst);
      FieldDescriptor* key = target != nullptr ? FindFieldDescriptor(*target, kRecIDName) : nullptr;
      if (key != nullptr && key->mLinkField != nullptr)
        Repoint(*t.mTable, fd, *target->mTable, *key->mLinkField);
    }
  }
  FinishFields(state, false);
  state.mDb->Flush();
}

void FinishFields(LoadState& state, bool quiet) {
  auto step = [quiet](auto&& work) {
    if (!quiet) return work();
    try {
      work();
    } catch (...) {
      // After a failure: the first error is the one reported.
    }
  };
  for (TableDescriptor& t : state.mTables) {
    for (FieldDescriptor& fd : t.mFields) {
      if (fd.mLinkField != nullptr) {
        FBL_BaseField* temporary = fd.mLinkField;
        fd.mLinkField = nullptr;
        step([&] { t.mTable->RemoveField(*temporary); });
      }
      if (fd.mDeferredFlags != 0 && fd.mField != nullptr) {
        const uint16_t flags = fd.mDeferredFlags;
        fd.mDeferredFlags = 0;
        step([&] { fd.mField->AddFlags(flags, true); });
      }
    }
  }
  state.mTemporaryFields = false;
}

}  // namespace zv::dump
