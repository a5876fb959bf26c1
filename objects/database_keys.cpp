// The keys of a database: the data key (every user table's files and
// indexes), the structure key (the texts of the schema), and the keys of
// single tables and fields.
//
// Check values: the kernel keeps the data key's two check words in the
// volume headers and refuses a wrong key at open (325). The schema keeps
// each key's check value ("EncryptedExample", "EncStructExample"): the
// data key's is checked again when the schema loads (326), a table's or a
// field's when its key is given (326), the structure key's when the schema
// is read (328). A table with a key of its own, or with a field that has
// one, stays locked (files closed, 326 on every record access) until every
// such key is given.
//
// Each change converts the files it concerns in place (indexes are built
// anew; a relation's branch indexes are converted), writes the items that
// changed and ends in one Flush.
#include "kernel/indexes/secondary_index.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/blowfish.h"
#include "kernel/tables/base_field.h"
#include "objects/bin_relation.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/schema_dictionary.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

FBL_EncryptionKeyRef KeyOf(const std::string& text) {
  return zv::MakeEncryptionKey(text.c_str());
}

bool SameKey(const FBL_EncryptionKeyRef& a, const FBL_EncryptionKeyRef& b) {
  return zv::KeyCheckValue(a) == zv::KeyCheckValue(b);
}

}  // namespace

void OBL_DataBase::Create(const std::string& path, uint32_t segmentSize, uint32_t mode,
                          FBL_ByteOrder byteOrder) {
  FBL_DataBase::Create(path, segmentSize, mode, byteOrder);
  if (mPendingKey) ChangeEncryption({}, mPendingKeyText);
}

// ---- the data key ------------------------------------------------------------------

void OBL_DataBase::SetEncryption(const std::string& key) {
  if (!IsOpen()) {
    mPendingKey = KeyOf(key);
    mPendingKeyText = key;
    return;
  }
  const FBL_EncryptionKeyRef given = KeyOf(key);
  if (GetEncryptionKey()) {
    if (!SameKey(GetEncryptionKey(), given)) throw xFBL_WrongEncryptionKey();
    return;
  }
  if (given) ChangeEncryption({}, key);
}

void OBL_DataBase::ChangeEncryption(const std::string& oldKey, const std::string& newKey) {
  RequireWritable();
  const FBL_EncryptionKeyRef from = KeyOf(oldKey);
  const FBL_EncryptionKeyRef to = KeyOf(newKey);
  if (!CheckKey(from)) throw xFBL_WrongEncryptionKey();
  for (auto& table : mTables) {
    if (table->IsLocked()) throw xFBL_WrongEncryptionKey("Every table's keys must be given first");
  }
  ChangeKey(from, to);
  for (auto& table : mTables) {
    table->GetStore().ApplyFileCiphers();
    ReencipherRelations(*table);
  }
  for (auto& table : mTemporary) table->GetStore().ApplyFileCiphers();
  StoreSchema();
  Flush();
}

void OBL_DataBase::ReencipherRelations(OBL_BaseObject& table) {
  for (OBL_Link* link : LinksOf(table)) {
    if (auto* relation = dynamic_cast<OBL_BinRelation*>(link)) relation->Reencipher();
  }
}

// ---- the structure key ---------------------------------------------------------------

void OBL_DataBase::ApplyStructureCiphers() {
  const bool on = GetStructureVolume()->GetHeader().mStructureEncrypted == 1 && mStructureKey;
  for (FBL_BaseField* column : mSysItem->TextColumns()) {
    if (on) {
      column->SetOwnCiphers(FBL_FileCiphers::Of(mStructureKey));
    } else {
      column->SetOwnCiphers(FBL_FileCiphers{});
    }
  }
}

void OBL_DataBase::SetStructureEncryption(const std::string& key) {
  const FBL_EncryptionKeyRef given = KeyOf(key);
  if (!IsOpen()) {
    mStructureKey = given;
    SetStructureCipher(given ? std::make_shared<FBL_BlowfishDecryption>(given) : nullptr);
    return;
  }
  if (GetStructureVolume()->GetHeader().mStructureEncrypted == 1) {
    if (!SameKey(mStructureKey, given)) throw xFBL_WrongStructureEncryptionKey();
    return;
  }
  if (given) ChangeStructureEncryption({}, key);
}

void OBL_DataBase::ChangeStructureEncryption(const std::string& oldKey,
                                             const std::string& newKey) {
  RequireWritable();
  const FBL_EncryptionKeyRef from = KeyOf(oldKey);
  const FBL_EncryptionKeyRef to = KeyOf(newKey);
  const bool enciphered = GetStructureVolume()->GetHeader().mStructureEncrypted == 1;
  if (enciphered ? !SameKey(from, mStructureKey) : from != nullptr)
    throw xFBL_WrongStructureEncryptionKey();
  mStructureKey = to;
  SetStructureCipher(to ? std::make_shared<FBL_BlowfishDecryption>(to) : nullptr);
  GetStructureVolume()->SetStructureEncrypted(to != nullptr);
  ApplyStructureCiphers();
  mSysItem->GetStore().ApplyFileCiphers();
  OBL_SysItem& sys = *mSysItem;
  if (mDatabaseItem == 0) StoreDatabaseItem(true);
  if (to) {
    sys.SetText(kPropEncStructExample, mDatabaseItem, zv::KeyCheckValue(to));
  } else {
    sys.DeleteItem(kPropEncStructExample, mDatabaseItem);
  }
  StoreDatabaseItem(true);
  Flush();
}

// ---- tables and fields -------------------------------------------------------------------

void OBL_DataBase::OpenWhenKeysGiven(OBL_BaseObject& table) {
  if (!table.IsLocked() || table.WaitsForKeys()) return;
  table.SetLocked(false);
  table.OpenFiles();
  ReencipherRelations(table);
}

void OBL_DataBase::SetTableEncryption(OBL_BaseObject& table, const std::string& key) {
  const FBL_EncryptionKeyRef given = KeyOf(key);
  if (table.IsLocked() && !table.GetStoredExample().empty() && !table.GetOwnKey()) {
    if (zv::KeyCheckValue(given) != table.GetStoredExample()) throw xFBL_WrongEncryptionKey();
    table.SetOwnKeyRef(given);
    table.GetStore().SetOwnCiphers(FBL_FileCiphers::Of(given));
    OpenWhenKeysGiven(table);
    return;
  }
  if (table.GetOwnKey()) {
    if (!SameKey(table.GetOwnKey(), given)) throw xFBL_WrongEncryptionKey();
    return;
  }
  if (given) ChangeTableEncryption(table, {}, key);
}

void OBL_DataBase::ChangeTableEncryption(OBL_BaseObject& table, const std::string& oldKey,
                                         const std::string& newKey) {
  if (table.IsSystem()) throw xFBL_Exception(ERR_WRONG_PARAMETER, "The schema tables have no key");
  if (!table.IsTemporary()) RequireWritable();
  table.RequireUnlocked();
  const FBL_EncryptionKeyRef from = KeyOf(oldKey);
  const FBL_EncryptionKeyRef to = KeyOf(newKey);
  const bool right = table.GetOwnKey() ? SameKey(from, table.GetOwnKey())
                                       : (!from || SameKey(from, GetEncryptionKey()));
  if (!right) throw xFBL_WrongEncryptionKey();
  table.SetOwnKeyRef(to);
  table.SetStoredExample(zv::KeyCheckValue(to));
  if (to) {
    table.GetStore().SetOwnCiphers(FBL_FileCiphers::Of(to));
  } else {
    table.GetStore().ClearOwnCiphers();
  }
  table.GetStore().ApplyFileCiphers();
  ReencipherRelations(table);
  if (table.GetItemID() != 0) table.StoreItems();
  if (!table.IsTemporary()) Flush();
}

void OBL_DataBase::SetFieldEncryption(OBL_BaseObject& table, FBL_BaseField& field,
                                      const std::string& key) {
  OBL_BaseObject::OwnField& own = table.RequireOwn(field);
  const FBL_EncryptionKeyRef given = KeyOf(key);
  if (table.IsLocked() && !own.mStoredExample.empty() && !own.mKey) {
    if (zv::KeyCheckValue(given) != own.mStoredExample) throw xFBL_WrongEncryptionKey();
    own.mKey = given;
    field.SetOwnCiphers(FBL_FileCiphers::Of(given));
    OpenWhenKeysGiven(table);
    return;
  }
  if (own.mKey) {
    if (!SameKey(own.mKey, given)) throw xFBL_WrongEncryptionKey();
    return;
  }
  if (given) ChangeFieldEncryption(table, field, {}, key);
}

void OBL_DataBase::ChangeFieldEncryption(OBL_BaseObject& table, FBL_BaseField& field,
                                         const std::string& oldKey, const std::string& newKey) {
  if (table.IsSystem()) throw xFBL_Exception(ERR_WRONG_PARAMETER, "The schema tables have no key");
  if (!table.IsTemporary()) RequireWritable();
  table.RequireUnlocked();
  OBL_BaseObject::OwnField& own = table.RequireOwn(field);
  const FBL_EncryptionKeyRef from = KeyOf(oldKey);
  const FBL_EncryptionKeyRef to = KeyOf(newKey);
  const FBL_EncryptionKeyRef tableKey = table.GetOwnKey() ? table.GetOwnKey() : GetEncryptionKey();
  const bool right = own.mKey ? SameKey(from, own.mKey) : (!from || SameKey(from, tableKey));
  if (!right) throw xFBL_WrongEncryptionKey();
  own.mKey = to;
  own.mStoredExample = zv::KeyCheckValue(to);
  if (to) {
    field.SetOwnCiphers(FBL_FileCiphers::Of(to));
  } else {
    field.ClearOwnCiphers();
  }
  table.GetStore().ApplyFileCiphers();
  if (table.GetItemID() != 0) {
    table.StoreField(own);
    Flush();
  }
}
