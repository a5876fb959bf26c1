#include "kernel/tables/text_importer.h"

#include <algorithm>

#include "kernel/storage/file.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/delimited_reader.h"
#include "kernel/tables/progress_steps.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

FBL_Importer::FBL_Importer(FBL_Table& table, FBL_File& file, std::vector<FBL_BaseField*> columns,
                           std::string name)
    : FBL_Task(std::move(name)), mTable(table), mFile(file), mColumns(std::move(columns)) {}

FBL_Importer::~FBL_Importer() = default;

void FBL_Importer::Run() {
  mImported = 0;
  mFile.Open();
  try {
    if (Start()) ImportRecords();
  } catch (...) {
    mFile.Close();
    throw;
  }
  mFile.Close();
}

bool FBL_Importer::Start() {
  ClearOtherFields();
  return mFile.GetLength() != 0;
}

void FBL_Importer::ImportRecords() {
  FBL_ProgressSteps steps(mFile.GetLength());
  while (IsRunning() && ReadRecord(mValues)) {
    ParseRecord(mValues);
    mTable.AddRecord();
    mCounter1 = ++mImported;
    if (steps.Reached(GetBytesRead())) ReportProgress(steps.Percent());
  }
  mTable.Flush();
}

void FBL_Importer::ParseRecord(std::vector<FBL_TextValue>& values) {
  for (size_t i = 0; i < mColumns.size(); ++i) {
    FBL_BaseField* field = mColumns[i];
    if (field == nullptr) continue;
    if (i < values.size()) {
      ImportValue(*field, values[i]);
    } else {
      zv::SetEmptyValue(*field);
    }
  }
}

void FBL_Importer::ImportValue(FBL_BaseField& field, FBL_TextValue value) {
  if (value.mLength == 0) return zv::SetEmptyValue(field);
  const uint8_t type = field.GetType();
  if (type != kTypeFloat && type != kTypeDouble) {
    const uint32_t max = field.GetMaxTextLength();
    if (value.mLength > max) {
      value.mLength = max;
      value.mData[max] = '\0';
    }
  }
  if (type == kTypeText) {
    static_cast<BF_TEXT&>(field).SetData(value.mData, static_cast<uint32_t>(value.mLength));
  } else {
    field.SetString(value.mData);
  }
}

void zv::SetEmptyValue(FBL_BaseField& field) {
  const uint8_t type = field.GetType();
  if (type == kTypeText || type == kTypeBLOB || type == kTypePicture) {
    const uint32_t none = 0;
    field.SetValue(&none);
  } else if (field.IsNullable()) {
    field.SetNull(true);
  } else {
    field.SetString("");
  }
}

void FBL_Importer::ClearOtherFields() {
  for (uint32_t i = 1; i <= mTable.FieldCount(); ++i) {
    FBL_BaseField* field = mTable.GetField(i);
    if (field->IsMethod() || field->GetType() == kTypeRecID) continue;
    if (std::find(mColumns.begin(), mColumns.end(), field) == mColumns.end()) {
      zv::SetEmptyValue(*field);
    }
  }
}

// ---- the text format ------------------------------------------------------------

FBL_TextImporter::FBL_TextImporter(FBL_Table& table, FBL_File& file,
                                   std::vector<FBL_BaseField*> columns, FBL_TextFormat format,
                                   std::string name)
    : FBL_Importer(table, file, std::move(columns), std::move(name)), mFormat(format) {}

FBL_TextImporter::~FBL_TextImporter() = default;

size_t FBL_TextImporter::GetBufferSize() const {
  return mReader ? mReader->GetBufferSize() : 0;
}

bool FBL_TextImporter::Start() {
  mReader = std::make_unique<FBL_DelimitedReader>(File(), mFormat);
  return FBL_Importer::Start();
}

bool FBL_TextImporter::ReadRecord(std::vector<FBL_TextValue>& values) {
  return mReader->NextRecord(values);
}

uint64_t FBL_TextImporter::GetBytesRead() const {
  return mReader->GetConsumed();
}
