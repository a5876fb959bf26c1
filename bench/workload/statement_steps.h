// T1, T8 and T9 through SQL statements with :N parameters, the way a script
// runs them, on a database of their own whose person table goes through
// the same steps as SQLite's: filled by T1's INSERTs, changed by T8's
// UPDATE, then T9's DELETE. Numbers reach the statements as text, as a
// host's values do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "workload_data.h"

class OBL_DataBase;

namespace workload {

class StatementSteps {
 public:
  // Creates the database (files "statements.zorvane*" in dir) and its
  // person table. REQUIRES: the kernel is started.
  explicit StatementSteps(const std::string& dir);
  // Closes the database and removes its files.
  ~StatementSteps();
  StatementSteps(const StatementSteps&) = delete;
  StatementSteps& operator=(const StatementSteps&) = delete;

  // The answers are those of the kernel-level steps: rows inserted, rows
  // updated, rows deleted.
  uint64_t Insert(const Workload& w);
  uint64_t MoveCities();
  uint64_t DeleteYoung();

 private:
  std::string mDir;
  std::unique_ptr<OBL_DataBase> mDb;
};

}  // namespace workload
