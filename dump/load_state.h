// What the XML loader keeps while it reads a document (xml_load.h), and
// the schema steps it takes at the ends of DatabaseDesc, BaseObjectData
// and DatabaseData (load_schema.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class FBL_BaseField;
class OBL_BaseObject;
class OBL_DataBase;

namespace zv::dump {

// The codes of the elements whose text or start matters.
enum class ElementCode : uint8_t {
  kNone = 0,
  kDatabaseDesc = 2,
  kDatabaseData = 3,
  kDatabaseMode = 4,
  kDatabaseSegment = 5,
  kSchemaVersion = 6,
  kDateFormat = 7,
  kDateSeparator = 8,
  kTimeSeparator = 9,
  kBaseObjectDesc = 10,
  kFieldDesc = 11,
  kType = 13,
  kIndexed = 14,
  kUnique = 15,
  kNullable = 16,
  kIndexByWords = 17,
  kCompressed = 18,
  kMaxLength = 19,
  kLanguage = 20,
  kSegmentSize = 21,
  kCompressionLevel = 22,
  kTarget = 23,
  kDeletionControl = 24,
  kMethod = 25,
  kBaseObjectData = 26,
  kRecord = 27,
  kRecordCount = 28,
  kRecordField = 29,
};

// How a record field's text reaches the field (SetFromXmlText).
enum class ValueForm : uint8_t { kText, kBlob, kBinary };

struct FieldDescriptor {
  std::string mName;
  std::string mType;
  // MaxLength, SegmentSize or Target.
  std::string mFirst;
  // Language or DeletionControl.
  std::string mSecond;
  std::string mMethod;
  bool mIndexed = false;
  bool mUnique = false;
  bool mNullable = false;
  bool mByWords = false;
  bool mCompressed = false;
  uint8_t mTypeCode = 0;
  FBL_BaseField* mField = nullptr;
  ValueForm mForm = ValueForm::kText;
  // "__RDB_KEY" for the "RecID" descriptor, "<name>_RDB_PTR" for a pointer.
  FBL_BaseField* mLinkField = nullptr;
  // Indexed and Unique of a field of a new table, set once the records
  // are in.
  uint16_t mDeferredFlags = 0;
};

struct TableDescriptor {
  std::string mName;
  // A deque: descriptors stay where they are while more are appended.
  std::deque<FieldDescriptor> mFields;
  OBL_BaseObject* mTable = nullptr;
  bool mCreated = false;
  bool mPointed = false;
  bool mLinksPrepared = false;
  // The stored fields a Record blanks first (temporary fields included).
  std::vector<FBL_BaseField*> mStored;
  // Where the search for the next record field starts: fields come in
  // descriptor order.
  size_t mNextField = 0;
  // The last record field name that matched no descriptor ("RecID" of a
  // table no pointer targets, in every record).
  std::string mMissedField;
  bool mMissed = false;
};

struct LoadState {
  OBL_DataBase* mDb = nullptr;
  std::string mNewDatabase;
  int32_t mMode = 0;
  int32_t mSegment = 0;
  std::deque<TableDescriptor> mTables;
  ElementCode mCode = ElementCode::kNone;
  bool mInRecord = false;
  TableDescriptor* mTable = nullptr;
  FieldDescriptor* mField = nullptr;
  // The current record field is written in the hexadecimal form (x="1").
  bool mHexValue = false;
  std::string mText;
  bool mTemporaryFields = false;
  bool mCreatedDatabase = false;
  bool mSchemaBuilt = false;
  // Files of the new database that did not exist before the load.
  std::vector<std::string> mCreatedFiles;
};

// Case-insensitive, as table and field names compare; null when none.
TableDescriptor* FindTableDescriptor(LoadState& state, const std::string& name);
FieldDescriptor* FindFieldDescriptor(TableDescriptor& table, const std::string& name);
// The same for the field of a record: the one after the last found first.
FieldDescriptor* FindRecordField(TableDescriptor& table, const std::string& name);

// End of DatabaseDesc: creates the described tables that do not exist
// with their fields; tables that exist only match fields by name.
void BuildSchema(LoadState& state);
// Start of BaseObjectData: the temporary link fields of the table.
void PrepareLinks(LoadState& state, TableDescriptor& table);
// End of DatabaseData: pointers re-pointed, then FinishFields.
void ResolveLinks(LoadState& state);
// Removes every temporary field and gives the fields of new tables their
// Indexed and Unique flags (their indexes built in bulk). quiet: after a
// failure (errors here are swallowed, the first one counts).
void FinishFields(LoadState& state, bool quiet);

}  // namespace zv::dump
