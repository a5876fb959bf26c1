// The entries of a SELECT's FROM list: a table, or an alias standing for
// one (OBL_Psevdonim). Field references reach a table through its entry,
// so an aliased table is named by its alias only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "objects/base_object.h"

class FBL_BaseField;

class SQL_FromEntry {
 public:
  // REQUIRES: table outlives the entry.
  explicit SQL_FromEntry(OBL_BaseObject& table) : mTable(table) {}
  virtual ~SQL_FromEntry() = default;
  SQL_FromEntry(const SQL_FromEntry&) = delete;
  SQL_FromEntry& operator=(const SQL_FromEntry&) = delete;

  // The name field references use: the table's, or the alias.
  virtual const std::string& GetName() const { return mTable.GetName(); }
  virtual uint32_t GetFieldCount(OBL_FieldSelection which = OBL_FieldSelection::kAll) const {
    return mTable.GetFieldCount(which);
  }
  virtual std::vector<FBL_BaseField*> GetFieldList(
      OBL_FieldSelection which = OBL_FieldSelection::kAll) const {
    return mTable.GetFieldList(which);
  }
  virtual FBL_BaseField* GetField(uint32_t index) const { return mTable.GetField(index); }
  virtual FBL_BaseField* GetField(const std::string& name) const { return mTable.GetField(name); }

  OBL_BaseObject& GetTable() const { return mTable; }
  virtual bool IsAlias() const { return false; }

 private:
  OBL_BaseObject& mTable;
};

class OBL_Psevdonim : public SQL_FromEntry {
 public:
  OBL_Psevdonim(OBL_BaseObject& table, std::string alias)
      : SQL_FromEntry(table), mAlias(std::move(alias)) {}

  const std::string& GetName() const override { return mAlias; }
  bool IsAlias() const override { return true; }

 private:
  std::string mAlias;
};
