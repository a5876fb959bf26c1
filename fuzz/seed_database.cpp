#include "fuzz/seed_database.h"

#include <string>

#include "kernel/indexes/index_factory.h"
#include "kernel/storage/database.h"
#include "kernel/storage/encryption_key.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/indexed_table.h"

namespace zfuzz {

void AddFields(FBL_Table& table) {
  table.AddField(zv::MakeField(kTypeLong, "id", kFieldIndexed | kFieldUnique));
  table.AddField(zv::MakeField(kTypeDouble, "price", kFieldIndexed | kFieldNullable));
  table.AddField(zv::MakeField(kTypeFloat, "weight", kFieldIndexed));
  table.AddField(zv::MakeField(kTypeString, "code", kFieldIndexed | kFieldNullable, 12));
  table.AddField(zv::MakeField(kTypeVarChar, "name", kFieldIndexed, 200));
  table.AddField(zv::MakeField(kTypeText, "notes", kFieldIndexed | kFieldByWords));
  table.AddField(zv::MakeField(kTypeBLOB, "data", kFieldNullable | kFieldCompressed));
  table.AddField(zv::MakeField(kTypeDate, "day", 0));
}

void MakeSeedDatabase(const std::string& base, uint8_t byteOrder, bool keyed) {
  FBL_DataBase db;
  db.Create(base, 1024, 1, byteOrder == 1 ? FBL_ByteOrder::kBigEndian : FBL_ByteOrder::kDefault);
  if (keyed) db.ChangeKey(nullptr, zv::MakeEncryptionKey(kSeedKey));
  FBL_SecondaryIndexFactory indexes;
  {
    FBL_IndexedTable table(db, kTableId);
    table.SetIndexFactory(&indexes);
    AddFields(table);
    table.Open();
    for (int i = 1; i <= 40; ++i) {
      const std::string n = std::to_string(i);
      table.GetField(1)->SetString(n);
      table.GetField(2)->SetString(i % 7 == 0 ? "" : std::to_string(i * 1.25));
      if (i % 7 == 0) table.GetField(2)->SetNull(true);
      table.GetField(3)->SetString(std::to_string(100 - i));
      table.GetField(4)->SetString("C" + n);
      if (i % 5 == 0) table.GetField(4)->SetNull(true);
      table.GetField(5)->SetString("name " + std::string(size_t(i % 13), 'x') + n);
      table.GetField(6)->SetString("some words " + n + " and more words\ttab");
      table.GetField(7)->SetString(std::string(size_t(i * 37 % 600), char('a' + i % 26)));
      if (i % 3 == 0) table.GetField(7)->SetNull(true);
      table.GetField(8)->SetString("3/" + std::to_string(1 + i % 28) + "/2024");
      table.AddRecord();
    }
    for (REC_ID r : {3u, 10u, 11u, 40u}) {
      if (table.GoToRecord(r)) table.DeleteRecord();
    }
    table.Flush();
  }
  db.Close();
}

}  // namespace zfuzz
