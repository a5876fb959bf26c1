#include "statement_steps.h"

#include <charconv>
#include <filesystem>

#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/statements/statement_executor.h"

namespace workload {

namespace {

constexpr const char* kBaseName = "statements.zorvane";

void RemoveFiles(const std::string& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().filename().string().rfind(kBaseName, 0) == 0) {
      std::filesystem::remove(entry.path(), ec);
    }
  }
}

// The decimal text of a number in buffer.
template <class Number, size_t N>
std::string_view Text(char (&buffer)[N], Number value) {
  return std::string_view(buffer, std::to_chars(buffer, buffer + N, value).ptr - buffer);
}

}  // namespace

StatementSteps::StatementSteps(const std::string& dir) : mDir(dir) {
  RemoveFiles(dir);
  mDb = std::make_unique<OBL_DataBase>();
  mDb->Create((std::filesystem::path(dir) / kBaseName).string(), kDefaultSegmentSize, 4,
              FBL_ByteOrder::kDefault);
  SQL_Execute(*mDb,
              "CREATE TABLE person (id Long UNIQUE, age Short INDEXED, score Double,"
              " name String(20) INDEXED, city VarChar(40))");
}

StatementSteps::~StatementSteps() {
  try {
    mDb->Close();
  } catch (const xFBL_Exception&) {
  }
  mDb.reset();
  RemoveFiles(mDir);
}

uint64_t StatementSteps::Insert(const Workload& w) {
  char id[16], age[8], score[32];
  SQL_Param params[5];
  for (const Person& p : w.people) {
    params[0].mBytes = Text(id, p.id);
    params[1].mBytes = Text(age, p.age);
    params[2].mBytes = Text(score, p.score);
    params[3].mBytes = p.name;
    params[4].mBytes = p.city;
    SQL_Execute(*mDb, "INSERT INTO person VALUES (:1, :2, :3, :4, :5)", params);
  }
  OBL_ObjectTable& person = mDb->FindBaseObject("person")->GetStore();
  person.Flush();
  return person.GetRecordCount();
}

uint64_t StatementSteps::MoveCities() {
  const SQL_Param params[] = {{"moved"}, {"7"}};
  const uint32_t count = SQL_Execute(*mDb, "UPDATE person SET city = :1 WHERE age = :2", params);
  mDb->FindBaseObject("person")->GetStore().Flush();
  return count;
}

uint64_t StatementSteps::DeleteYoung() {
  const SQL_Param params[] = {{"10"}};
  const uint32_t count = SQL_Execute(*mDb, "DELETE FROM person WHERE age < :1", params);
  mDb->FindBaseObject("person")->GetStore().Flush();
  return count;
}

}  // namespace workload
