// OBL_DataBase: the database as the rest of the system sees it, the
// kernel's file set plus its schema: tables (OBL_BaseObject), their fields,
// the links between tables and the database-wide settings, all kept as
// items of the schema tables (system_tables.h).
//
// Lifecycle:
//   closed --Create--> open: files made, schema tables made and the
//     dictionary filled, the Database item stored.
//   closed --Open--> open: schema tables attached, the schema loaded from
//     sysItem (format 400) or converted from the structure stream of an
//     older format (format_convert.cpp).
//   open --Close--> closed: links, tables and keys dropped, files closed.
// Keys given while closed (SetEncryption, SetStructureEncryption) are
// used by the next Open.
//
// Commit points: every schema change (a table, field, link, key or setting
// made, changed or removed) writes its items and ends in one Flush, which
// writes every table's files back; nothing of a change is written by a
// later one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kernel/indexes/index_factory.h"
#include "kernel/storage/database.h"
#include "objects/base_object.h"
#include "objects/cursor_interface.h"

class FBL_FormulaCompiler;
class FBL_FileStream;
class FBL_SecondaryIndex;
class OBL_BinRelation;
class OBL_Link;
class OBL_PointerLink;
class OBL_Relation;
class OBL_SysItem;
struct OBL_ItemSnapshot;
class F_ObjectPTR;

// The dump layer's entry points, registered by that layer (objects/ never
// reaches it directly). Kinds: 1 SQL, 2 XML.
class OBL_DumpService {
 public:
  virtual ~OBL_DumpService() = default;
  virtual void Dump(OBL_DataBase& db, const std::string& path, int32_t kind) = 0;
  virtual void LoadDump(OBL_DataBase& db, const std::string& path, int32_t kind,
                        const std::string& newDatabase) = 0;
};

namespace zv {

// Not owned; null: Dump and LoadDump do nothing.
void SetDumpService(OBL_DumpService* service);
// The formula compiler every table of every database gets (not owned; null:
// method texts are kept as text only).
void SetDefaultFormulaCompiler(FBL_FormulaCompiler* compiler);

// The check value stored for a key ("EncryptedExample"): its two check
// words as 16 hexadecimal digits; empty for no key.
std::string KeyCheckValue(const FBL_EncryptionKeyRef& key);

}  // namespace zv

class OBL_DataBase : public FBL_DataBase {
 public:
  explicit OBL_DataBase(platform::Env* env = nullptr);
  ~OBL_DataBase() override;

  using FBL_DataBase::Open;
  // Opens with the data key given by SetEncryption (none: no key).
  void Open(const std::string& path);
  void Close() override;
  void ClearFiles() override;
  // Format 400: LoadSchema; older formats: ConvertStructure.
  void LoadStructure() override;

  // Creates with the data key given by SetEncryption, if any.
  void Create(const std::string& path, uint32_t segmentSize, uint32_t mode,
              FBL_ByteOrder byteOrder) override;
  // The structure stream (owner 1, kind 2 of the structure volume) that
  // files of formats below 400 keep their schema in
  // (structure_stream.cpp).
  void WriteStructureStream() override;
  void ReadStructureStream() override;
  virtual void LoadSchema();
  // Writes every item of the schema that differs from what is stored.
  virtual void StoreSchema();
  virtual bool IsEncrypted();
  virtual bool IsStructureEncrypted();

  // ---- keys (database_keys.cpp) ------------------------------------------------
  // Closed: the key the next Create or Open uses. Open without a key: every
  // table's and index's files are enciphered with it. Open with that key:
  // nothing; with another: 326.
  virtual void SetEncryption(const std::string& key);
  // oldKey must be the database's key (326); an empty newKey deciphers.
  // Tables with keys of their own keep them; every table must have its
  // keys given (326).
  virtual void ChangeEncryption(const std::string& oldKey, const std::string& newKey);
  // Closed: the structure key the next Open uses. Open with a structure
  // not enciphered: enciphers it; with that key: nothing; else 328.
  virtual void SetStructureEncryption(const std::string& key);
  // oldKey must be the structure's key (328; empty for none); an empty
  // newKey deciphers.
  virtual void ChangeStructureEncryption(const std::string& oldKey, const std::string& newKey);
  // A table's own key: for a table waiting for it, gives it (326 when its
  // check value differs); for a table with a key, 326 unless it is that
  // key; for a table without one, enciphers it with the key.
  void SetTableEncryption(OBL_BaseObject& table, const std::string& key);
  // oldKey: the table's own key, or for a table without one empty or the
  // database's key (326 otherwise); an empty newKey: the database's key.
  void ChangeTableEncryption(OBL_BaseObject& table, const std::string& oldKey,
                             const std::string& newKey);
  // The same for a table's own field.
  void SetFieldEncryption(OBL_BaseObject& table, FBL_BaseField& field, const std::string& key);
  void ChangeFieldEncryption(OBL_BaseObject& table, FBL_BaseField& field,
                             const std::string& oldKey, const std::string& newKey);

  // ---- older formats (format_convert.cpp) ------------------------------------
  // Reads the structure of a file of an older format (1, 18, 289, 292, 384,
  // 390 or 393; others 321) from its stream, runs the format's steps and
  // writes it as format 400 (checkOnly, or a read-only file: reads only).
  virtual void ConvertFrom(uint16_t format, bool checkOnly = false);
  // Writes the schema the way a file of an older format keeps it: the
  // structure stream, sysItem emptied (below 289: no schema tables at all),
  // every header marked with the format. What the converters read; for
  // tests and tools. The database should be closed next.
  void SaveAsFormat(uint16_t format);

  // ---- schema tables ----------------------------------------------------------
  // Builds sysItemDescription and sysItem; fill: a new dictionary.
  virtual void CreateSystemTables(bool fill);
  OBL_SysItem& GetSysItem() const;
  // The Database item (0 until stored).
  REC_ID GetDatabaseItem() const { return mDatabaseItem; }
  bool HasSystemTables() const { return mSysItem != nullptr; }

  // ---- maintenance -------------------------------------------------------------
  virtual void Reindex();
  // DefragmentTables, then the volumes.
  virtual void Defragment();
  virtual void DefragmentTables();
  // Every table's report block; true when every table is all right.
  virtual bool Diagnose(std::string& report, bool verbose);
  virtual void Dump(const std::string& path, int32_t kind);
  virtual void LoadDump(const std::string& path, int32_t kind, const std::string& newDatabase);

  // ---- tables ------------------------------------------------------------------
  // Case-insensitive over every table, the schema tables included; null
  // when none matches.
  OBL_BaseObject* FindBaseObject(const std::string& name) const;
  // Raises 501 for a name in use.
  OBL_BaseObject& MakeNewBaseObject(const std::string& name, OBL_BaseObject* parent = nullptr,
                                    uint8_t inheritanceType = 0, bool abstract = false);
  // Makes the table and lets addFields give it its fields, all as one
  // schema change: one commit, after which the table is whole; after an
  // error (raised again) or a crash before that commit it is absent.
  OBL_BaseObject& MakeNewBaseObject(const std::string& name,
                                    const std::function<void(OBL_BaseObject&)>& addFields);
  // A table with a negative ID, never stored.
  OBL_BaseObject& MakeTemporaryBaseObject(const std::string& name);
  // Drops the table's files, items and links (501 while it has children).
  void RemoveBaseObject(OBL_BaseObject& table);
  // The user tables (1-based), temporary ones excluded.
  uint32_t GetBaseObjectCount() const { return static_cast<uint32_t>(mTables.size()); }
  OBL_BaseObject* GetBaseObject(uint32_t position) const;
  // The schema tables, then the user tables.
  std::vector<OBL_BaseObject*> GetAllBaseObjects() const;
  int32_t NextBaseObjectID();
  void RecomputeBaseObjectLastID();
  int32_t GetBaseObjectLastID() const { return mBaseObjectLastID; }

  // ---- settings ------------------------------------------------------------------
  // Kept with the database (items "DateFormat", "DateSep", "TimeSep").
  void SetDateFormat(uint8_t order, char dateSeparator, char timeSeparator);
  uint32_t GetTimeOut() const { return mTimeOut; }
  void SetTimeOut(uint32_t timeOut);
  // Not owned; given to every table (the current ones too).
  void SetFormulaCompiler(FBL_FormulaCompiler* compiler);
  FBL_FormulaCompiler* GetFormulaCompiler() const { return mCompiler; }
  FBL_IndexFactory& GetIndexFactory() { return mIndexFactory; }

  // ---- links ---------------------------------------------------------------------
  const std::vector<std::unique_ptr<OBL_Link>>& GetLinks() const { return mLinks; }
  OBL_Link* FindLink(const std::string& name) const;
  // The links involving a table.
  std::vector<OBL_Link*> LinksOf(const OBL_BaseObject& table) const;
  OBL_PointerLink* PointerLinkOf(const FBL_BaseField& field) const;
  // Pointer links whose target is the table.
  std::vector<OBL_PointerLink*> PointersTo(const OBL_BaseObject& table) const;
  // A binary relation between two stored tables (502 for a name in use).
  OBL_BinRelation& MakeBinRelation(const std::string& name, OBL_BaseObject& left,
                                   uint16_t leftType, OBL_DeletionControl leftControl,
                                   OBL_BaseObject& right, uint16_t rightType,
                                   OBL_DeletionControl rightControl);
  // Takes a link (a relational link of a query, say); never stored.
  OBL_Link& AdoptLink(std::unique_ptr<OBL_Link> link);
  // A relation that still links records raises 551 and stays.
  void DropLink(OBL_Link& link);

  // What loaders (the structure stream, a dump) make: a table or a
  // relation taken as it is (files opened, nothing stored).
  OBL_BaseObject& AddLoadedTable(std::unique_ptr<OBL_BaseObject> table);
  OBL_BinRelation& AddLoadedRelation(std::unique_ptr<OBL_BinRelation> relation);
  // The link objects of pointer fields (base_object.cpp and the loader).
  OBL_PointerLink& AddPointerLink(OBL_BaseObject& table, F_ObjectPTR& field,
                                  OBL_BaseObject* target, OBL_DeletionControl control);
  void RemovePointerLink(const FBL_BaseField& field);
  // Schema changes of a read-only database raise 301.
  void RequireWritable() const;
  // Prepares a table made by this database (index factory, compiler).
  void Prepare(OBL_BaseObject& table);
  // Gives a field about to join a table the ciphers of its own key (null:
  // it follows the table's).
  void PrepareField(OBL_BaseObject& table, FBL_BaseField& field, const FBL_EncryptionKeyRef& key);
  // Gives a relation's branch index the ciphers of its table's files.
  void EncipherIndex(OBL_BaseObject& table, FBL_SecondaryIndex& index);
  // A link file number no relation over the tables uses yet.
  uint16_t NewRelationNumber() const;

  // ---- cursors -------------------------------------------------------------------
  // A cursor registers on construction and unregisters when destroyed;
  // dropping a table or closing the database tells the registered ones.
  void RegisterCursor(OBL_I_Cursor& cursor);
  void UnregisterCursor(OBL_I_Cursor& cursor);
  size_t GetCursorCount() const { return mCursors.size(); }

 protected:
  void OnOpen(bool newDatabase) override;
  void SaveStructure() override;
  void ConvertStructure(uint16_t formatVersion) override;

 private:
  friend class OBL_BaseObject;
  // Writes the Database item's settings when they changed since last
  // written.
  void StoreDatabaseItem(bool always);
  // Forgets every item RecID (sysItem was emptied).
  void ForgetItems();
  // Writes back every table's files, then every cache and volume.
  void FlushAllFiles();
  // A schema change's commit point: what Flush writes, less the files of
  // the tables the change left alone (table: the one it changed, or null).
  void CommitChange(OBL_BaseObject* table);
  void StoreLinkItems();
  void LoadTables(const OBL_ItemSnapshot& items, REC_ID databaseItem);
  void LoadLinks(const OBL_ItemSnapshot& items, REC_ID databaseItem);
  void CheckDataKeyOnLoad(const OBL_ItemSnapshot& items, REC_ID databaseItem);
  void DropTables();
  // Tells every registered cursor that table (null: every table) goes.
  void LetCursorsGo(const OBL_BaseObject* table);
  // Opens a table whose keys have all been given.
  void OpenWhenKeysGiven(OBL_BaseObject& table);
  // Brings the branch indexes of the table's relations to its ciphers.
  void ReencipherRelations(OBL_BaseObject& table);
  // The structure key enciphers the texts of sysItem.
  void ApplyStructureCiphers();
  std::string ItemsState() const;

  std::unique_ptr<OBL_SysItem> mSysItem;
  std::vector<std::unique_ptr<OBL_BaseObject>> mTables;
  std::vector<std::unique_ptr<OBL_BaseObject>> mTemporary;
  std::vector<std::unique_ptr<OBL_Link>> mLinks;
  // Not owned; capacity 10 to start, doubled as cursors come.
  std::vector<OBL_I_Cursor*> mCursors;
  REC_ID mDatabaseItem = 0;
  uint32_t mTimeOut = 0;
  int32_t mBaseObjectLastID = 0;
  uint32_t mFieldLastID = 0;
  int32_t mTemporaryLastID = 0;
  // What the Database item holds, as last written or read.
  std::string mStoredSettings;
  // Keys given while closed.
  FBL_EncryptionKeyRef mPendingKey;
  std::string mPendingKeyText;
  FBL_EncryptionKeyRef mStructureKey;
  FBL_SecondaryIndexFactory mIndexFactory;
  FBL_FormulaCompiler* mCompiler = nullptr;
  // A conversion re-reads the files: the structure is not written
  // meanwhile.
  bool mSuppressStore = false;
  bool mConverting = false;
};
