// Import of delimited text (delimited_format.h) as new records.
//
// FBL_Importer holds the file, the target fields and the task machinery;
// FBL_TextImporter adds the format, read by an FBL_DelimitedReader. Each
// record of the file becomes one record of the table: column k's value goes
// to the k-th target field (a column without one is skipped), a column the
// record lacks counts as empty, values past the last column are ignored.
//
// A value is cut to its field's maximum text length after its quotes are
// undone (Float and Double values are never cut); an empty value makes the
// field null (a field that cannot be null gets its type's empty value, a
// Text no data); a Text field takes the whole value with SetData, any other
// field parses it with SetString. Fields of the table that are no target
// are emptied once, so that no record inherits another's values.
//
// A record the table refuses (a unique value taken: 344) ends the import
// with that error; the records added before it stay.
//
// Progress: the share of the file's bytes read, reported when the
// percentage changes; 100 once the task succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/task.h"
#include "kernel/tables/delimited_format.h"

class FBL_BaseField;
class FBL_DelimitedReader;
class FBL_File;
class FBL_Table;

class FBL_Importer : public FBL_Task {
 public:
  // REQUIRES: the table is open; table and file outlive the task; columns
  // are the table's own fields (null: the column is skipped). The file is
  // opened for the run (the open count nests) and read from its start.
  FBL_Importer(FBL_Table& table, FBL_File& file, std::vector<FBL_BaseField*> columns,
               std::string name);
  ~FBL_Importer() override;

  void Run() override;
  uint32_t GetImportedCount() const { return mImported; }

 protected:
  // Prepares the reading; false when the file is empty.
  virtual bool Start();
  // The next record's values; false at the end of the file.
  virtual bool ReadRecord(std::vector<FBL_TextValue>& values) = 0;
  // Bytes of the file taken so far.
  virtual uint64_t GetBytesRead() const = 0;
  // Puts a record's values into the target fields.
  virtual void ParseRecord(std::vector<FBL_TextValue>& values);
  virtual void ImportValue(FBL_BaseField& field, FBL_TextValue value);

  FBL_File& File() const { return mFile; }

 private:
  void ClearOtherFields();
  void ImportRecords();

  FBL_Table& mTable;
  FBL_File& mFile;
  std::vector<FBL_BaseField*> mColumns;
  std::vector<FBL_TextValue> mValues;
  uint32_t mImported = 0;
};

class FBL_TextImporter : public FBL_Importer {
 public:
  FBL_TextImporter(FBL_Table& table, FBL_File& file, std::vector<FBL_BaseField*> columns,
                   FBL_TextFormat format, std::string name = "Import");
  ~FBL_TextImporter() override;

  // The reader's buffer size (for tests of long records); 0 before a run.
  size_t GetBufferSize() const;

 protected:
  bool Start() override;
  bool ReadRecord(std::vector<FBL_TextValue>& values) override;
  uint64_t GetBytesRead() const override;

 private:
  FBL_TextFormat mFormat;
  std::unique_ptr<FBL_DelimitedReader> mReader;
};

namespace zv {

// The value a column takes when none is given: BLOB, Text and Picture hold
// no data (the reference 0), a nullable field becomes NULL, any other field
// takes the empty text.
void SetEmptyValue(FBL_BaseField& field);

}  // namespace zv
