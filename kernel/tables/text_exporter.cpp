#include "kernel/tables/text_exporter.h"

#include <algorithm>
#include <memory>

#include "kernel/sets/bit_set.h"
#include "kernel/sets/record_set.h"
#include "kernel/sets/set_iterator.h"
#include "kernel/storage/file_win.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/progress_steps.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

FBL_Exporter::FBL_Exporter(FBL_Table& table, FBL_FileWin& file, std::vector<FBL_BaseField*> fields,
                           const FBL_Set* set, std::string name)
    : FBL_Task(std::move(name)), mTable(table), mFile(file), mFields(std::move(fields)), mSet(set) {
  for (const FBL_BaseField* field : mFields) {
    if (field == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "No field to export");
  }
}

FBL_Exporter::~FBL_Exporter() = default;

void FBL_Exporter::Run() {
  const bool wasOpen = mFile.IsOpen();
  if (wasOpen) {
    mFile.SetLength(0);
  } else {
    mFile.Create();
    mFile.Open();
  }
  mFileOffset = 0;
  mExported = 0;
  mBuffer.clear();
  mBuffer.reserve(kWriteBufferSize);
  try {
    ExportRecords();
    WriteBuffer();
    mFile.Flush();
  } catch (...) {
    if (!wasOpen) mFile.Close();
    throw;
  }
  if (!wasOpen) mFile.Close();
}

std::vector<REC_ID> FBL_Exporter::CollectRecords() {
  std::vector<REC_ID> records;
  std::unique_ptr<FBL_BitSet> all;
  const FBL_BitSet* bits = dynamic_cast<const FBL_BitSet*>(mSet);
  if (mSet == nullptr) {
    all = mTable.SelectAllRecords();
    bits = all.get();
  }
  if (bits != nullptr) {
    records.reserve(bits->Count());
    for (REC_ID r = bits->NextMember(0); r != 0; r = bits->NextMember(r)) records.push_back(r);
    return records;
  }
  std::unique_ptr<FBL_SetIterator> it = mSet->MakeIterator();
  for (REC_ID r = it->FirstItem(); r != 0; r = it->NextItem()) records.push_back(r);
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  return records;
}

void FBL_Exporter::ExportRecords() {
  const std::vector<REC_ID> records = CollectRecords();
  mCounter2 = static_cast<uint32_t>(records.size());
  FBL_ProgressSteps steps(records.size());
  uint64_t done = 0;
  for (REC_ID r : records) {
    if (!IsRunning()) return;
    ++done;
    if (!mTable.ReadFieldsByID(r, mFields)) continue;
    FormatRecord();
    ++mExported;
    mCounter1 = static_cast<uint32_t>(done);
    if (steps.Reached(done)) ReportProgress(steps.Percent());
    if (mBuffer.size() >= kWriteBufferSize) WriteBuffer();
  }
}

void FBL_Exporter::WriteBuffer() {
  if (mBuffer.empty()) return;
  mFile.WriteAt(mBuffer.data(), mFileOffset, mBuffer.size());
  mFileOffset += mBuffer.size();
  mBuffer.clear();
}

// ---- the text format ------------------------------------------------------------

FBL_TextExporter::FBL_TextExporter(FBL_Table& table, FBL_FileWin& file,
                                   std::vector<FBL_BaseField*> fields, const FBL_Set* set,
                                   FBL_TextFormat format, std::string name)
    : FBL_Exporter(table, file, std::move(fields), set, std::move(name)), mFormat(format) {
  for (FBL_BaseField* field : Fields()) mSources.push_back(SourceOf(*field));
}

FBL_TextExporter::Source FBL_TextExporter::SourceOf(FBL_BaseField& field) {
  if (field.GetType() == kTypeText) return Source::kText;
  if (dynamic_cast<FBL_LengthField*>(&field) != nullptr) return Source::kContent;
  return Source::kString;
}

void FBL_TextExporter::FormatRecord() {
  std::string& out = Buffer();
  const std::vector<FBL_BaseField*>& fields = Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    AppendValue(*fields[i], mSources[i], out);
    out.push_back(mFormat.mFieldDelimiter);
  }
  if (fields.empty()) {
    out.push_back(mFormat.mRecordDelimiter);
  } else {
    out.back() = mFormat.mRecordDelimiter;
  }
}

void FBL_TextExporter::FormatValue(FBL_BaseField& field, std::string& out) {
  AppendValue(field, SourceOf(field), out);
}

void FBL_TextExporter::AppendValue(FBL_BaseField& field, Source source, std::string& out) {
  std::string_view text;
  std::string formed;
  std::vector<uint8_t> data;
  if (!field.IsNull()) {
    switch (source) {
      case Source::kText:
        data = static_cast<BF_TEXT&>(field).GetData();
        if (data.size() > kWriteBufferSize) {
          throw xFBL_Exception(ERR_NOT_ENOUGH_RAM, "A Text value is larger than the export buffer");
        }
        text = {reinterpret_cast<const char*>(data.data()), data.size()};
        break;
      case Source::kContent:
        text = static_cast<FBL_LengthField&>(field).GetContent();
        break;
      case Source::kString:
        formed = field.GetString();
        text = formed;
        break;
    }
  }
  // Quoting at most doubles the value and adds two quotes and a delimiter.
  MakeRoom(mFormat.Quoting() ? text.size() * 2 + 3 : text.size() + 1);
  zv::AppendDelimitedValue(mFormat, text, out);
}
