// Random command sequences against a model: tables and fields made through
// the external function, records added, updated, deleted and visited by
// RecID, every value read back as the commands give it. Records are
// written through the table wrapper that the table handle names, through
// cursors and through UPDATE with parameter values; SELECT cursors are
// walked, moved at random and read as text.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "api/zdk_database.h"
#include "bridge_test_support.h"
#include "tests/support/test_dir.h"

using bridge_test::Cmd;

namespace {

struct ModelField {
  std::string name;
  std::string type;   // "Long", "String" or "Double"
  std::string blank;  // what a record added before the field holds
};

struct ModelTable {
  std::string name;
  std::vector<ModelField> fields;
  std::map<uint32_t, std::vector<std::string>> records;  // RecID -> texts
};

class Driver {
 public:
  explicit Driver(uint32_t seed) : mRandom(seed) {}

  std::string RandomValue(const std::string& type) {
    if (type == "Long") return std::to_string(Pick(-100000, 100000));
    if (type == "Double") return std::to_string(Pick(-5000, 5000)) + ".5";
    std::string text;
    const int n = Pick(0, 12);
    for (int i = 0; i < n; ++i) text += char('a' + Pick(0, 25));
    return text;
  }
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(mRandom); }

 private:
  std::mt19937 mRandom;
};

api::ZDK_BaseObject& Wrapper(const std::string& handle) {
  api::ZDK_BaseObject* table = api::FindBaseObject(std::stoi(handle));
  if (table == nullptr) throw std::runtime_error("no table " + handle);
  return *table;
}

}  // namespace

TEST(ObjectModel, RandomSequencesAgreeWithTheModel) {
  ztest::TempDir dir;
  const std::string path = dir.File("model.vdb");
  ASSERT_EQ(Cmd({"Init"}), "");
  std::string db = Cmd({"Database_Create", path});
  std::vector<ModelTable> tables;
  Driver driver(20261208);

  auto tableRef = [&](size_t i) { return Cmd({"Database_GetBaseObjectRef", db, tables[i].name}); };
  auto fieldRef = [&](const std::string& t, const std::string& name) {
    return Cmd({"BaseObject_GetFieldRef", t, name});
  };
  int visited = 0;
  // A record as a cursor over "RecID, fields..." gives it.
  auto rowText = [&](const ModelTable& model, uint32_t recID) {
    std::string text = std::to_string(recID);
    for (const std::string& v : model.records.at(recID)) text += "\t" + v;
    return text;
  };
  // Every record through a random-access cursor: walked, then read at
  // random positions and all at once; the rows come in any order.
  auto checkBySelect = [&](size_t i, int step) {
    const ModelTable& model = tables[i];
    std::string list = "RecID";
    for (const ModelField& f : model.fields) list += ", " + f.name;
    const std::string c =
        Cmd({"DataBase_SQLSelect", db, "SELECT " + list + " FROM " + model.name, "1", "1", "2"});
    ASSERT_EQ(c.rfind("ERROR", 0), std::string::npos) << c;
    ASSERT_EQ(Cmd({"Cursor_GetRecordCount", c}), std::to_string(model.records.size()));
    std::vector<std::string> rows;
    for (bool more = Cmd({"Cursor_FirstRecord", c}) == "TRUE"; more;
         more = Cmd({"Cursor_NextRecord", c}) == "TRUE") {
      rows.push_back(Cmd({"Cursor_GetRecord", c}));
    }
    ASSERT_EQ(rows.size(), model.records.size()) << "step " << step;
    std::string all;
    for (const std::string& row : rows) {
      const uint32_t recID = uint32_t(std::stoul(row.substr(0, row.find('\t'))));
      ASSERT_EQ(model.records.count(recID), 1u) << "step " << step << " row " << row;
      EXPECT_EQ(row, rowText(model, recID)) << "step " << step;
      all += (all.empty() ? "" : "\n") + row;
      ++visited;
    }
    for (int k = 0; k < 3 && !rows.empty(); ++k) {
      const int n = driver.Pick(1, int(rows.size()));
      EXPECT_EQ(Cmd({"Cursor_GetRecord", c, std::to_string(n)}), rows[size_t(n) - 1]);
      EXPECT_EQ(Cmd({"Cursor_GetPosition", c}), std::to_string(n));
    }
    EXPECT_EQ(Cmd({"Cursor_GetRecords", c}), all) << "step " << step;
    EXPECT_EQ(Cmd({"Cursor_GoToRecord", c, std::to_string(rows.size() + 1)}), "FALSE");
    EXPECT_EQ(Cmd({"Cursor_Remove", c}), "");
  };
  // One value changed through a cursor walked to the record.
  auto updateByCursor = [&](size_t i, uint32_t recID, size_t f, const std::string& value) {
    const ModelTable& model = tables[i];
    const std::string& name = model.fields[f].name;
    const std::string c = Cmd(
        {"DataBase_SQLSelect", db, "SELECT RecID, " + name + " FROM " + model.name, "1", "1", "2"});
    bool found = Cmd({"Cursor_FirstRecord", c}) == "TRUE";
    while (found && Cmd({"Cursor_GetField", c, "1"}) != std::to_string(recID)) {
      found = Cmd({"Cursor_NextRecord", c}) == "TRUE";
    }
    ASSERT_TRUE(found) << recID;
    ASSERT_EQ(Cmd({"Cursor_SetField", c, name, value}), "");
    ASSERT_EQ(Cmd({"Cursor_UpdateRecord", c}), "TRUE");
    ASSERT_EQ(Cmd({"Cursor_Remove", c}), "");
  };
  // Every value of the current record, read through Field_GetValue.
  auto checkRecord = [&](size_t i, uint32_t recID, int step) {
    ++visited;
    const std::string t = tableRef(i);
    const auto& values = tables[i].records.at(recID);
    for (size_t f = 0; f < tables[i].fields.size(); ++f) {
      EXPECT_EQ(Cmd({"Field_GetValue", fieldRef(t, tables[i].fields[f].name)}), values[f])
          << "step " << step << " table " << tables[i].name << " record " << recID;
    }
  };

  for (int step = 0; step < 1500; ++step) {
    const int op = driver.Pick(0, 99);
    if (tables.empty() || (op < 3 && tables.size() < 3)) {
      ModelTable table{"T" + std::to_string(tables.size()), {}, {}};
      ASSERT_NE(Cmd({"Database_MakeNewBaseObject", db, table.name}).rfind("ERROR", 0), 0u);
      tables.push_back(table);
      continue;
    }
    const size_t i = size_t(driver.Pick(0, int(tables.size()) - 1));
    ModelTable& model = tables[i];
    const std::string t = tableRef(i);
    api::ZDK_BaseObject& wrapper = Wrapper(t);
    if (op < 10 || model.fields.empty()) {
      static const char* kTypes[] = {"Long", "String", "Double"};
      const std::string type = kTypes[driver.Pick(0, 2)];
      ModelField field{"F" + std::to_string(step), type, type == "String" ? "" : "0"};
      ASSERT_NE(Cmd({"BaseObject_MakeNewField", t, field.name, type, "16"}).rfind("ERROR", 0), 0u);
      for (auto& [recID, values] : model.records) values.push_back(field.blank);
      model.fields.push_back(field);
    } else if (op < 45) {
      std::vector<std::string> values;
      for (const ModelField& f : model.fields) {
        values.push_back(driver.RandomValue(f.type));
        ASSERT_EQ(Cmd({"Field_SetValue", fieldRef(t, f.name), values.back()}), "");
      }
      const uint32_t recID = wrapper.AddRecord();
      ASSERT_NE(recID, 0u);
      ASSERT_EQ(model.records.count(recID), 0u) << "RecID " << recID << " was alive";
      model.records[recID] = values;
    } else if (op < 60 && !model.records.empty()) {
      auto it = std::next(model.records.begin(), driver.Pick(0, int(model.records.size()) - 1));
      ASSERT_TRUE(wrapper.GoToRecord(it->first));
      const size_t f = size_t(driver.Pick(0, int(model.fields.size()) - 1));
      it->second[f] = driver.RandomValue(model.fields[f].type);
      ASSERT_EQ(Cmd({"Field_SetValue", fieldRef(t, model.fields[f].name), it->second[f]}), "");
      wrapper.UpdateRecord();
    } else if (op < 72 && !model.records.empty()) {
      auto it = std::next(model.records.begin(), driver.Pick(0, int(model.records.size()) - 1));
      ASSERT_TRUE(wrapper.GoToRecord(it->first));
      ASSERT_TRUE(wrapper.DeleteRecord());
      model.records.erase(it);
    } else if (op < 78) {
      checkBySelect(i, step);
    } else if (op < 84 && !model.records.empty()) {
      auto it = std::next(model.records.begin(), driver.Pick(0, int(model.records.size()) - 1));
      const size_t f = size_t(driver.Pick(0, int(model.fields.size()) - 1));
      const std::string value = driver.RandomValue(model.fields[f].type);
      // UPDATE with the value as a parameter, over every record whose
      // Long field g holds the chosen record's value; else the cursor.
      const size_t g = size_t(driver.Pick(0, int(model.fields.size()) - 1));
      if (model.fields[g].type == "Long") {
        const std::string key = it->second[g];
        uint32_t matching = 0;
        for (auto& [recID, values] : model.records) {
          if (values[g] != key) continue;
          values[f] = value;
          ++matching;
        }
        ASSERT_EQ(Cmd({"Database_SqlExecute", db,
                       "UPDATE " + model.name + " SET " + model.fields[f].name + " = :1 WHERE " +
                           model.fields[g].name + " = " + key,
                       value}),
                  std::to_string(matching))
            << "step " << step;
      } else {
        it->second[f] = value;
        updateByCursor(i, it->first, f, value);
      }
    } else if (op < 97) {
      const uint32_t highest = model.records.empty() ? 0 : model.records.rbegin()->first;
      const uint32_t recID = uint32_t(driver.Pick(1, int(highest) + 2));
      const bool alive = model.records.count(recID) != 0;
      ASSERT_EQ(wrapper.GoToRecord(recID), alive) << "step " << step << " RecID " << recID;
      if (alive) checkRecord(i, recID, step);
      EXPECT_EQ(Cmd({"BaseObject_GetRecordCount", t}), std::to_string(model.records.size()));
    } else {
      // Close and reopen: handles change, names and records stay.
      ASSERT_EQ(Cmd({"Database_Close", db}), "");
      db = Cmd({"Database_Open", path});
      ASSERT_EQ(Cmd({"Database_GetBaseObjectCount", db}), std::to_string(tables.size()));
    }
  }
  // Everything once more, after a last reopen.
  ASSERT_EQ(Cmd({"Database_Close", db}), "");
  db = Cmd({"Database_Open", path});
  for (size_t i = 0; i < tables.size(); ++i) {
    api::ZDK_BaseObject& wrapper = Wrapper(tableRef(i));
    EXPECT_EQ(wrapper.GetFieldCount(), tables[i].fields.size());
    for (const auto& [recID, values] : tables[i].records) {
      ASSERT_TRUE(wrapper.GoToRecord(recID));
      checkRecord(i, recID, -1);
    }
    checkBySelect(i, -1);
  }
  EXPECT_GT(visited, 500);  // the sequence reached records, not only misses
  EXPECT_EQ(Cmd({"ShutDown"}), "");
}
