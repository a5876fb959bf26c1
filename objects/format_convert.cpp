// Files of the formats before 400 keep their schema in the structure
// stream (structure_stream.cpp), not in sysItem; those before 289 have no
// schema tables at all. Opening such a file reads the stream, runs the
// steps of its format and, when the file can be written, stores the schema
// in sysItem and marks every header 400 in one flush:
//
//   1, 18      schema tables made with a new dictionary; 18: re-indexed
//   289, 292,  sysItem emptied, the dictionary filled anew
//   390
//   384        sysItem emptied
//   393        sysItem emptied, the dictionary synchronised, every index
//              built anew
//
// A read-only file, or a check-only conversion, is read and left as it is:
// until it is closed its headers keep the older format.
#include <algorithm>
#include <iterator>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/file_stream.h"
#include "objects/links.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "objects/system_tables.h"
#include "platform/errors.h"

namespace {

constexpr uint16_t kOlderFormats[] = {1, 18, 289, 292, 384, 390, 393};
// The first format whose files have schema tables.
constexpr uint16_t kFirstSchemaTablesFormat = 289;

bool IsOlderFormat(uint16_t format) {
  return std::find(std::begin(kOlderFormats), std::end(kOlderFormats), format) !=
         std::end(kOlderFormats);
}

}  // namespace

void OBL_DataBase::ConvertStructure(uint16_t formatVersion) {
  ConvertFrom(formatVersion, IsReadOnly());
}

void OBL_DataBase::ConvertFrom(uint16_t format, bool checkOnly) {
  if (!IsOpen()) throw xFBL_DatabaseIsNotOpened();
  if (!IsOlderFormat(format) || GetStructureVersion() != format)
    throw xFBL_CantReadDomain("The file is not of that format");
  if (!mTables.empty()) throw xFBL_Exception(ERR_WRONG_PARAMETER, "The schema is loaded already");
  // Nothing is written while the stream is read.
  mSuppressStore = true;
  mConverting = true;
  SetWrittenFormat(format);
  try {
    ReadStructureStream();
  } catch (...) {
    mConverting = false;
    throw;
  }
  mConverting = false;
  if (checkOnly || IsReadOnly()) return;
  if (!mSysItem) {
    CreateSystemTables(true);
  } else {
    mSysItem->Clear();
    OBL_SysItemDescription& dictionary = mSysItem->GetDescriptions();
    if (format == 393) {
      dictionary.Synchronise();
    } else if (format != 384) {
      dictionary.GetStore().DeleteAllRecordsRaw();
      dictionary.Fill();
    }
  }
  ForgetItems();
  mSuppressStore = false;
  SetWrittenFormat(400);
  StoreSchema();
  FBL_FileStream stream(*GetStructureVolume(), 1, 2, 0);  // the structure stream
  if (stream.Exists()) stream.Remove();
  if (format == 18 || format == 393) Reindex();
  // The commit point: the schema items and the 400 headers together.
  Flush();
}

void OBL_DataBase::SaveAsFormat(uint16_t format) {
  RequireWritable();
  if (!IsOlderFormat(format)) throw xFBL_Exception(ERR_WRONG_PARAMETER, "Not an older format");
  WriteStructureStream();
  if (format < kFirstSchemaTablesFormat) {
    std::erase_if(mLinks, [](const auto& link) { return link->IsSystem(); });
    for (OBL_BaseObject* table : {static_cast<OBL_BaseObject*>(&mSysItem->GetDescriptions()),
                                  static_cast<OBL_BaseObject*>(mSysItem.get())}) {
      table->GetStore().CloseFiles();
      table->GetStore().DropFiles();
    }
    mSysItem.reset();
  } else {
    mSysItem->Clear();
  }
  ForgetItems();
  // From here on the schema is the stream's until the file is closed.
  mSuppressStore = true;
  SetWrittenFormat(format);
  Flush();
}
