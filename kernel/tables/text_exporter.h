// Export of records as delimited text (delimited_format.h).
//
// FBL_Exporter holds the file, the records, the fields and the task
// machinery; FBL_TextExporter adds the format. A run creates the file, or
// truncates the one there, writes one record per alive RecID of the set in
// ascending order and flushes the file. Values are written whole: a record
// that does not fit the 20480-byte write buffer is written out in pieces,
// and a String, VarChar or number value longer than the buffer makes the
// buffer grow. Only a Text value larger than the buffer raises 311.
//
// Progress: the share of the records written, reported when the percentage
// changes; 100 once the task succeeded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"
#include "kernel/storage/task.h"
#include "kernel/tables/delimited_format.h"

class FBL_BaseField;
class FBL_FileWin;
class FBL_Set;
class FBL_Table;

class FBL_Exporter : public FBL_Task {
 public:
  static constexpr size_t kWriteBufferSize = 20480;

  // REQUIRES: the table is open; table, file and set (null: every record of
  // the table) outlive the task; fields are the table's own or copies that
  // share their descriptors. The file may be open (it is then cut to 0 and
  // stays open) or closed (it is then created, and closed again).
  FBL_Exporter(FBL_Table& table, FBL_FileWin& file, std::vector<FBL_BaseField*> fields,
               const FBL_Set* set, std::string name);
  ~FBL_Exporter() override;

  void Run() override;
  uint32_t GetExportedCount() const { return mExported; }

 protected:
  // Appends the loaded values of Fields() to Buffer() as one record.
  virtual void FormatRecord() = 0;
  // Appends one field's current value.
  virtual void FormatValue(FBL_BaseField& field, std::string& out) = 0;

  const std::vector<FBL_BaseField*>& Fields() const { return mFields; }
  std::string& Buffer() { return mBuffer; }
  // Writes the buffer out first when fewer than bytes are left in it.
  void MakeRoom(size_t bytes) {
    if (mBuffer.size() + bytes > kWriteBufferSize && !mBuffer.empty()) WriteBuffer();
  }

 private:
  // The records to write, in ascending order.
  std::vector<REC_ID> CollectRecords();
  void ExportRecords();
  void WriteBuffer();

  FBL_Table& mTable;
  FBL_FileWin& mFile;
  std::vector<FBL_BaseField*> mFields;
  const FBL_Set* mSet;
  std::string mBuffer;
  uint64_t mFileOffset = 0;
  uint32_t mExported = 0;
};

class FBL_TextExporter : public FBL_Exporter {
 public:
  FBL_TextExporter(FBL_Table& table, FBL_FileWin& file, std::vector<FBL_BaseField*> fields,
                   const FBL_Set* set, FBL_TextFormat format, std::string name = "Export");

 protected:
  void FormatRecord() override;
  void FormatValue(FBL_BaseField& field, std::string& out) override;

 private:
  // Where a field's text comes from: a Text's data, the bytes of a String,
  // VarChar or binary value, or the text form of any other type.
  enum class Source : uint8_t { kText, kContent, kString };
  static Source SourceOf(FBL_BaseField& field);
  void AppendValue(FBL_BaseField& field, Source source, std::string& out);

  FBL_TextFormat mFormat;
  std::vector<Source> mSources;  // by field
};
