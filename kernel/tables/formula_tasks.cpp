#include "kernel/tables/formula_tasks.h"

#include <utility>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/formula.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

FBL_Table& TableOf(FBL_BaseField& field) {
  FBL_Table* table = field.GetTable();
  if (table == nullptr || !table->IsOpened()) throw xFBL_DatabaseIsNotOpened();
  return *table;
}

// A copy of the column: its own buffer over the shared files.
std::unique_ptr<FBL_BaseField> CopyOf(FBL_BaseField& field) {
  std::unique_ptr<FBL_BaseField> copy = zv::MakeField(field.GetType(), field.GetName(), 0);
  if (!copy) throw xFBL_FieldError("The field's type has no copy");
  copy->InitFromField(field);
  return copy;
}

bool IsTextLike(uint8_t type) {
  return type == kTypeString || type == kTypeVarChar || type == kTypeText;
}

bool IsBlobLike(uint8_t type) {
  return type == kTypeText || type == kTypeBLOB || type == kTypePicture;
}

}  // namespace

FBL_FormulaTask::FBL_FormulaTask(std::string name, FBL_BaseField& field, FBL_Formula* formula,
                                 bool ownFormula, const FBL_Set& records)
    : FBL_Task(std::move(name)), mField(field), mFormula(formula) {
  if (formula == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
  if (ownFormula) mOwned.reset(formula);
  const REC_ID size = TableOf(field).GetMaxRecID();
  std::unique_ptr<FBL_BitSet> holder;
  const FBL_BitSet& bits = AsBitSet(records, size, holder);
  mRecords = std::make_unique<FBL_BitSet>(size);
  mRecords->Union(bits);
}

FBL_FormulaTask::~FBL_FormulaTask() = default;

template <class Step>
void FBL_FormulaTask::ForEachRecord(Step step) {
  const uint32_t n = mRecords->Count();
  const double unit = n / 100.0;
  uint32_t done = 0, reported = 0;
  mCounter2 = n;
  for (REC_ID r = mRecords->NextMember(0); r != 0 && IsRunning(); r = mRecords->NextMember(r)) {
    step(r);
    mCounter1 = ++done;
    const auto percent = static_cast<uint32_t>(done / unit);
    if (percent > reported && percent < 100) {
      reported = percent;
      ReportProgress(percent);
    }
  }
}

// ---- applying ----------------------------------------------------------------------

FBL_ApplyFormula::FBL_ApplyFormula(FBL_BaseField& field, FBL_Formula* formula, bool ownFormula,
                                   const FBL_Set& records, std::string name)
    : FBL_FormulaTask(std::move(name), field, formula, ownFormula, records) {}

void FBL_ApplyFormula::Run() {
  mRebuilt = false;
  if (mField.IsMethod()) return;
  if (IsBlobLike(mField.GetType())) throw xFBL_FieldError("Formulas do not write BLOB values");
  FBL_Table& table = TableOf(mField);
  // The indexes the change reaches: the field's and those of the
  // calculated fields that read it.
  std::vector<FBL_BaseField*> affected;
  if (mField.GetIndex() != nullptr) affected.push_back(&mField);
  for (uint32_t i = 1; i <= table.FieldCount(); ++i) {
    FBL_BaseField* other = table.GetField(i);
    if (other->IsMethod() && other->GetIndex() != nullptr && other->GetFormula() != nullptr &&
        other->GetFormula()->Uses(mField)) {
      affected.push_back(other);
    }
  }
  const uint64_t n = mRecords->Count();
  const uint64_t c = table.GetRecordCount();
  const bool rebuild = mField.GetIndex() != nullptr && !mField.HasFlag(kFieldUnique) &&
                       n * 10 >= c * 3;
  if (rebuild) {
    for (FBL_BaseField* field : affected) field->DropIndex();
  }
  std::unique_ptr<FBL_BaseField> copy = CopyOf(mField);
  FBL_BaseField* fields[] = {copy.get()};
  std::vector<uint8_t> buffer(copy->GetBufferSize() + 1);
  mFormula->SetValueSize(copy->GetBufferSize());
  auto buildAgain = [&] {
    for (FBL_BaseField* field : affected) {
      field->CreateIndex();
      field->OpenIndex();
    }
  };
  try {
    ForEachRecord([&](REC_ID r) {
      copy->ReadRecord(r);
      std::fill(buffer.begin(), buffer.end(), 0);
      bool isNull = false;
      mFormula->Apply(r, buffer.data(), isNull);
      copy->SetValue(buffer.data());
      if (isNull) copy->SetNull(true);
      table.UpdateFieldsByID(r, fields, false);
    });
  } catch (...) {
    if (rebuild) buildAgain();
    throw;
  }
  if (rebuild) {
    buildAgain();
    mRebuilt = true;
  }
}

// ---- using ---------------------------------------------------------------------------

FBL_UseFormula::FBL_UseFormula(FBL_BaseField& field, FBL_Formula* formula, bool ownFormula,
                               const FBL_Set& records, std::string name)
    : FBL_FormulaTask(std::move(name), field, formula, ownFormula, records) {}

void FBL_UseFormula::Run() {
  std::unique_ptr<FBL_BaseField> copy = CopyOf(mField);
  const bool text = IsTextLike(copy->GetType());
  std::vector<uint8_t> buffer(copy->GetBufferSize() + 1);
  std::string value;
  ForEachRecord([&](REC_ID r) {
    copy->ReadRecord(r);
    bool isNull = copy->IsNull();
    if (text) {
      value = copy->GetString();  // the whole text; its NUL ends it
      mFormula->Apply(r, value.data(), isNull);
    } else {
      copy->GetValue(buffer.data());
      mFormula->Apply(r, buffer.data(), isNull);
    }
  });
}
