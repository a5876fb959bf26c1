// A database of every field type for the dump tests, the dump files as
// text, and the checks every dump goes through (xmllint on XML dumps).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dump/dump_service.h"
#include "sql/expressions/expression_compiler.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/text_importer.h"
#include "kernel/sets/bit_set.h"
#include "objects/links.h"
#include "tests/objects/object_fixture.h"

namespace ztest {

using Rows = std::vector<std::vector<std::string>>;

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The expected dumps kept with the tests.
inline std::string ExpectedPath(const std::string& name) {
  return std::string(ZORVANE_SOURCE_DIR) + "/tests/dump/expected/" + name;
}

// xmllint --noout over the file: "" when it is well-formed (or xmllint is
// not installed: "skip"), else what xmllint said.
inline std::string XmlLint(const std::string& path) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return "skip";
  const std::string out = path + ".lint";
  const std::string command = "xmllint --noout '" + path + "' >'" + out + "' 2>&1";
  const int status = std::system(command.c_str());
  std::string said = ReadFileText(out);
  std::remove(out.c_str());
  return status == 0 ? std::string() : said.empty() ? "failed" : said;
}

class DumpTest : public ObjectTest {
 protected:
  void SetUp() override {
    ObjectTest::SetUp();
    zv::dump::InstallDumpService();
    // Method fields calculate, as they do behind the script interface.
    zv::SetDefaultFormulaCompiler(&zsql::ExpressionCompiler());
  }

  // Every field type the tables make, in table "People" (pointing to
  // "Cities"); methods, nulls and values that need escaping. binary: with
  // the FixedBinary, VarBinary, BLOB and Picture fields and a deleted city
  // (the dumped RecIDs have a gap).
  void MakeEveryType(bool binary = true) {
    Create();
    OBL_BaseObject& cities = mDb->MakeNewBaseObject("Cities");
    AddField(cities, "Name", kTypeString, 30, kFieldIndexed | kFieldUnique);
    Add(cities, {"Zurich"});
    Add(cities, {"O'Neil Town"});
    if (binary) Add(cities, {"Deleted"});
    Add(cities, {"Caf\xE9 <&> \"x\""});
    if (binary) cities.GetStore().DeleteRecordByID(3);
    OBL_BaseObject& people = mDb->MakeNewBaseObject("People");
    AddField(people, "Flag", kTypeBoolean, 0, kFieldNullable);
    AddField(people, "Small", kTypeByte);
    AddField(people, "Short", kTypeShort, 0, kFieldIndexed);
    AddField(people, "UShort", kTypeUShort);
    AddField(people, "Medium", kTypeMedium);
    AddField(people, "UMedium", kTypeUMedium);
    AddField(people, "Long", kTypeLong, 0, kFieldNullable | kFieldUnique | kFieldIndexed);
    AddField(people, "ULong", kTypeULong);
    AddField(people, "LLong", kTypeLLong);
    AddField(people, "ULLong", kTypeULLong);
    AddField(people, "Float", kTypeFloat);
    AddField(people, "Double", kTypeDouble, 0, kFieldNullable);
    AddField(people, "Date", kTypeDate, 0, kFieldNullable);
    AddField(people, "Time", kTypeTime);
    AddField(people, "Stamp", kTypeDateTime);
    AddField(people, "Name", kTypeString, 40, kFieldNullable | kFieldIndexed | kFieldByWords);
    AddField(people, "Note", kTypeVarChar, 200, kFieldNullable);
    AddField(people, "Story", kTypeText, 0, kFieldNullable | kFieldCompressed);
    AddPointer(people, "City", cities, OBL_DeletionControl::kCascade);
    OBL_FieldSpec twice;
    twice.mName = "Twice";
    twice.mType = kTypeLong;
    twice.mMethodText = "Long * 2";
    twice.mFlags = kFieldNullable;
    people.MakeNewField(twice);
    if (binary) {
      AddField(people, "Fixed", kTypeFixedBinary, 8, kFieldNullable);
      AddField(people, "Bytes", kTypeVarBinary, 40, kFieldNullable);
      AddField(people, "Blob", kTypeBLOB, 0, kFieldNullable);
      AddField(people, "Photo", kTypePicture, 0, kFieldNullable);
    }
    AddPerson(people, {"TRUE", "1", "-2", "3", "-4", "5", "6", "7", "-8000000000",
                       "9000000000", "1.5", "2.25", "12/31/2001", "13:14:15",
                       "01/02/2003 04:05:06", "O'Neil", "back\\slash\\", "line one\nline two",
                       "1"},
              binary ? std::vector<std::string>{"AB", std::string("\0\x01\xFF", 3),
                                                std::string(17, 'x'), ""}
                     : std::vector<std::string>{});
    AddPerson(people, {"NULL", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "NULL", "NULL",
                       "00:00:00", "01/01/1970 00:00:00", "NULL", "NULL", "NULL", "NULL"},
              binary ? std::vector<std::string>{"NULL", "NULL", "NULL", "NULL"}
                     : std::vector<std::string>{});
    AddPerson(people, {"FALSE", "255", "32767", "65535", "8388607", "16777215", "-2147483648",
                       "4294967295", "9223372036854775807", "18446744073709551615", "-0.125",
                       "1e+300", "02/29/2000", "23:59:59", "12/31/1999 23:59:59",
                       "tab\there <b>&amp;</b> caf\xE9", "ctl\x01x",
                       "\xE9t\xE9 'quoted' \\", binary ? "4" : "3"},
              binary ? std::vector<std::string>{"", "<&>", "", "NULL"}
                     : std::vector<std::string>{});
  }

  // values: the stored fields in order (method fields skipped), "NULL"
  // for null; binary values set as bytes.
  void AddPerson(OBL_BaseObject& table, const std::vector<std::string>& values,
                 const std::vector<std::string>& binary) {
    std::vector<std::string> all = values;
    all.insert(all.end(), binary.begin(), binary.end());
    size_t k = 0;
    for (FBL_BaseField* f : table.GetFieldList()) {
      if (f->IsMethod()) continue;
      const std::string& v = all.at(k++);
      if (v == "NULL") {
        zv::SetEmptyValue(*f);
      } else if (auto* blob = dynamic_cast<BF_BLOB*>(f);
                 blob != nullptr && f->GetType() != kTypeText) {
        blob->SetData(v.data(), static_cast<uint32_t>(v.size()));
      } else if (auto* bin = dynamic_cast<BF_FixedBinary*>(f)) {
        bin->SetData(v.data(), static_cast<uint32_t>(v.size()));
      } else {
        f->SetString(v);
      }
    }
    table.GetStore().AddRecord();
  }

  // Every alive record of every user table, RecIDs left out, user fields
  // as text ("NULL" for null, binary values as bytes, a pointer as "#k"
  // for the k-th alive record of its target).
  Rows Contents(OBL_DataBase& db) {
    Rows rows;
    for (uint32_t i = 1; i <= db.GetBaseObjectCount(); ++i) {
      OBL_BaseObject& t = *db.GetBaseObject(i);
      rows.push_back({"table " + t.GetName()});
      OBL_ObjectTable& store = t.GetStore();
      for (bool on = store.FirstRecord(); on; on = store.NextRecord()) {
        std::vector<std::string> row;
        for (FBL_BaseField* f : t.GetFieldList()) {
          if (f->IsNull()) {
            row.push_back("NULL");
          } else if (auto* blob = dynamic_cast<BF_BLOB*>(f)) {
            const std::vector<uint8_t> data = blob->GetData();
            row.emplace_back(data.begin(), data.end());
          } else if (OBL_PointerLink* link = db.PointerLinkOf(*f)) {
            const std::vector<REC_ID> alive = Alive(*link->GetTarget());
            const auto at = std::find(alive.begin(), alive.end(), f->GetAsBits());
            row.push_back(at == alive.end() ? "none" : "#" + std::to_string(at - alive.begin()));
          } else {
            row.push_back(f->GetString());
          }
        }
        rows.push_back(row);
      }
    }
    return rows;
  }
};

}  // namespace ztest
