// The schema dictionary: the 83 kinds of items the schema is made of, as
// the records of sysItemDescription hold them (Kind, ColumnName,
// ColumnType, and the owning kind through ParentPtr).
//
// Kinds are negative: -1 to -10 the top-level kinds (no value, no owner),
// -100 and below the properties, grouped by owner (-1xx Database, -2xx
// BaseObject, -3xx Field, -4xx Link, -5xx LinkBranch, ...). The numbers
// are part of the stored format.
#pragma once

#include <cstdint>
#include <span>

enum OBL_ItemKind : int32_t {
  kItemDatabase = -1,
  kItemBaseObject = -2,
  kItemField = -3,
  kItemLink = -4,
  kItemLinkBranch = -5,

  kPropDateFormat = -100,
  kPropDateSep = -101,
  kPropTimeSep = -102,
  kPropDbEncrypted = -106,
  kPropStructureEncrypted = -107,
  kPropTimeOut = -108,
  kPropBaseObjectLastID = -110,
  kPropFieldLastID = -111,
  kPropDbEncryptedExample = -112,
  kPropEncStructExample = -113,

  kPropTableName = -200,
  kPropTableEncrypted = -201,
  kPropBaseObjectID = -202,
  kPropParent = -203,
  kPropInheritanceType = -204,
  kPropAbstract = -205,
  kPropTableEncryptedExample = -206,

  kPropFieldName = -301,
  kPropFieldEncrypted = -302,
  kPropType = -303,
  kPropIndexed = -305,
  kPropUnique = -306,
  kPropNullable = -307,
  kPropByWords = -308,
  kPropCompressed = -309,
  kPropMethod = -310,
  kPropMaxLength = -320,
  kPropLanguage = -321,
  kPropSegment = -322,
  kPropCompression = -323,
  kPropMethodText = -325,
  kPropFieldEncryptedExample = -332,

  kPropLinkName = -400,
  kPropLinkType = -401,
  kPropTarget = -402,
  kPropDeletionControl = -403,

  kPropBranchName = -500,
  kPropRelType = -501,
  kPropBranchDeletionControl = -502,
};

struct OBL_DictionaryEntry {
  int32_t mKind;
  const char* mColumnName;
  uint8_t mColumnType;
  // 1-based index of the owner's entry; 0 for none.
  uint8_t mOwner;
};

inline constexpr uint32_t kDictionarySize = 83;

namespace zv {

// The dictionary in the order its records are added.
std::span<const OBL_DictionaryEntry> SchemaDictionary();

}  // namespace zv
