#include "kernel/indexes/index_factory.h"

#include "kernel/indexes/index_kinds.h"
#include "kernel/storage/blowfish.h"
#include "kernel/storage/database.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

std::unique_ptr<FBL_FieldIndex> FBL_SecondaryIndexFactory::MakeIndex(FBL_BaseField& field) {
  FBL_Table* table = field.GetTable();
  if (table == nullptr) return nullptr;
  switch (field.GetType()) {
    case kTypeBoolean:
    case kTypeSound:
    case kTypePicture:
    case kTypeMovie:
    case kTypeBLOB:
      return nullptr;
    default:
      break;
  }
  FBL_DataBase& db = table->GetDataBase();
  FBL_DataFile* volume = db.GetIndexVolume(true);
  if (volume == nullptr) throw xFBL_DatabaseIsNotOpened();
  const uint32_t owner = table->GetTableId();
  const bool unique = field.HasFlag(kFieldUnique);
  std::unique_ptr<FBL_SecondaryIndex> index;
  if (field.GetType() == kTypeByte) {
    index = std::make_unique<FBL_SXOnBYTE>(field, *volume, owner, unique);
  } else if (!field.HasFixedKey()) {
    index = std::make_unique<FBL_SXString>(field, *volume, owner, unique);
  } else if (unique) {
    index = std::make_unique<FBL_SXUnique>(field, *volume, owner);
  } else {
    index = std::make_unique<FBL_SXNotUnique>(field, *volume, owner);
  }
  const FBL_FileCiphers ciphers = field.GetFileCiphers();
  if (ciphers.IsSet()) index->SetEncryption(ciphers.mEncryptor, ciphers.mDecryptor);
  return index;
}
