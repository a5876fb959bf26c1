// A schema change cut short at each write in turn, by an I/O error or by a
// crash (every later write lost): the database opens again afterwards, with
// the change whole or absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>

#include "kernel/tables/field_types.h"
#include "tests/objects/object_fixture.h"
#include "tests/support/fault_env.h"

namespace {

// The change (by index) and the cut: a crash, or else an I/O error.
class SchemaFaultTest : public ztest::ObjectTest,
                        public ::testing::WithParamInterface<std::tuple<int, bool>> {
 protected:
  void SaveFiles(const std::string& to) { CopyFiles(Path(), to); }
  void RestoreFiles(const std::string& from) { CopyFiles(from, Path()); }
  static void CopyFiles(const std::string& from, const std::string& to) {
    for (const char* ext : {".vdb", ".dat", ".ind", ".blb"}) {
      std::filesystem::remove(to + ext);
      if (std::filesystem::exists(from + ext)) std::filesystem::copy_file(from + ext, to + ext);
    }
  }
  // What the table holds that the change must leave alone.
  std::string Contents() {
    OBL_BaseObject& t = Table("T");
    std::string s = std::to_string(t.GetStore().GetRecordCount()) + ":";
    for (REC_ID r : Alive(t)) {
      s += Value(t, r, "name") + "/";
      s += std::to_string(static_cast<int64_t>(t.GetField("n")->GetAsDouble())) + ";";
    }
    return s;
  }
};

struct SchemaChange {
  const char* mName;
  void (*mRun)(OBL_DataBase& db);
  // Whether the change shows in the reopened database: 1 whole, 0 absent,
  // -1 half done.
  int (*mState)(OBL_DataBase& db);
};

OBL_BaseObject& TableT(OBL_DataBase& db) {
  return *db.FindBaseObject("T");
}

// A table made with its fields as one change (as CREATE TABLE makes it).
constexpr uint8_t kNewTableTypes[] = {kTypeLong, kTypeVarChar, kTypeText, kTypeDate, kTypeString};

const SchemaChange kChanges[] = {
    {"new field",
     [](OBL_DataBase& db) {
       OBL_FieldSpec fieldSpec;
       fieldSpec.mName = "extra";
       fieldSpec.mType = kTypeVarChar;
       fieldSpec.mSize = 30;
       fieldSpec.mFlags = kFieldIndexed;
       TableT(db).MakeNewField(fieldSpec);
     },
     [](OBL_DataBase& db) {
       FBL_BaseField* f = TableT(db).GetField("extra");
       if (f == nullptr) return TableT(db).GetFieldCount() == 3 ? 0 : -1;
       return f->GetType() == kTypeVarChar && TableT(db).GetFieldCount() == 4 ? 1 : -1;
     }},
    {"new table", [](OBL_DataBase& db) { db.MakeNewBaseObject("U"); },
     [](OBL_DataBase& db) { return db.FindBaseObject("U") != nullptr ? 1 : 0; }},
    {"removed field", [](OBL_DataBase& db) { TableT(db).RemoveField(*TableT(db).GetField("gone")); },
     [](OBL_DataBase& db) {
       const bool there = TableT(db).GetField("gone") != nullptr;
       return TableT(db).GetFieldCount() == (there ? 3u : 2u) ? (there ? 0 : 1) : -1;
     }},
    {"renamed field", [](OBL_DataBase& db) { TableT(db).RenameField(*TableT(db).GetField("gone"), "kept"); },
     [](OBL_DataBase& db) {
       const bool old = TableT(db).GetField("gone") != nullptr;
       const bool now = TableT(db).GetField("kept") != nullptr;
       return old != now ? (now ? 1 : 0) : -1;
     }},
    {"new table with fields",
     [](OBL_DataBase& db) {
       db.MakeNewBaseObject("U", [](OBL_BaseObject& u) {
         for (uint8_t i = 0; i < std::size(kNewTableTypes); ++i) {
           OBL_FieldSpec fieldSpec;
           fieldSpec.mName = "f" + std::to_string(i);
           fieldSpec.mType = kNewTableTypes[i];
           fieldSpec.mSize = fieldSpec.mType == kTypeVarChar || fieldSpec.mType == kTypeString ? 20 : 0;
           fieldSpec.mFlags = i % 2 == 1 ? kFieldIndexed : 0;
           u.MakeNewField(fieldSpec);
         }
       });
     },
     [](OBL_DataBase& db) {
       OBL_BaseObject* u = db.FindBaseObject("U");
       if (u == nullptr) return 0;
       if (u->GetFieldCount() != std::size(kNewTableTypes)) return -1;
       for (uint8_t i = 0; i < std::size(kNewTableTypes); ++i) {
         FBL_BaseField* f = u->GetField("f" + std::to_string(i));
         if (f == nullptr || f->GetType() != kNewTableTypes[i]) return -1;
       }
       return 1;
     }},
    {"type change",
     [](OBL_DataBase& db) {
       TableT(db).ChangeFieldType(*TableT(db).GetField("n"), kTypeDouble);
     },
     [](OBL_DataBase& db) {
       const uint8_t type = TableT(db).GetField("n")->GetType();
       return type == kTypeDouble ? 1 : (type == kTypeLong ? 0 : -1);
     }},
};

TEST_P(SchemaFaultTest, AChangeCutShortIsWholeOrAbsent) {
  const auto [changeIndex, crash] = GetParam();
  const std::string pristine = mDir.File("pristine");
  Create();
  OBL_BaseObject& t = mDb->MakeNewBaseObject("T");
  AddField(t, "name", kTypeVarChar, 30, kFieldIndexed);
  AddField(t, "n", kTypeLong);
  AddField(t, "gone", kTypeLong, 0, kFieldIndexed);
  for (int i = 0; i < 40; ++i) Add(t, {"row" + std::to_string(i), std::to_string(i), "7"});
  const std::string contents = Contents();
  mDb.reset();
  SaveFiles(pristine);
  const SchemaChange& change = kChanges[changeIndex];
  for (uint64_t nth = 1;; ++nth) {
    ASSERT_LT(nth, 2000u) << change.mName << " never ends without an error";
    RestoreFiles(pristine);
    ztest::FaultEnv env;
    Reopen({}, &env);
    const uint64_t before = env.writes();
    if (crash) {
      env.CrashAfterWrites(nth);
    } else {
      env.FailWrite(nth, EIO);
    }
    const int code = ztest::ErrorCode([&] { change.mRun(*mDb); });
    const bool fired = env.writes() >= before + nth;
    mDb.reset();  // a close that fails too is what a crash leaves
    env.Reset();
    if (code == 0 && !fired) break;  // every write of the change was tried
    SCOPED_TRACE(std::string(change.mName) + (crash ? ", crash after write " : ", write ") +
                 std::to_string(nth));
    ASSERT_EQ(ztest::ErrorCode([&] { Reopen(); }), 0);
    EXPECT_NE(change.mState(*mDb), -1);
    EXPECT_EQ(Contents(), contents);
    std::string report;
    EXPECT_TRUE(mDb->Diagnose(report, false)) << report;
    mDb.reset();
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, SchemaFaultTest,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kChanges))),
                                            ::testing::Bool()));

}  // namespace
