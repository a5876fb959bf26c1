#include "kernel/indexes/indexer_task.h"

#include <memory>
#include <string>
#include <vector>

#include "kernel/indexes/key_sorter.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

// Records between two looks at the task's state.
constexpr uint32_t kStopCheckEvery = 4096;

// The field's current record and value, put back after the walk.
class FieldValueKeeper {
 public:
  explicit FieldValueKeeper(FBL_BaseField& field)
      : mField(field),
        mRecID(field.GetRecID()),
        mDirty(field.IsDirty()),
        mNull(field.IsNull()),
        mValue(mDirty ? field.GetBufferSize() : 0) {
    if (mDirty) field.GetValue(mValue.data());
  }
  ~FieldValueKeeper() {
    try {
      if (!mDirty) {
        mField.ReadRecord(mRecID);
      } else {
        mField.SetValue(mValue.data());
        if (mNull) mField.SetNull(true);
      }
    } catch (const xFBL_Exception&) {
      // The index is built; a value that cannot be read back reads again
      // when the record is next visited.
    }
  }
  FieldValueKeeper(const FieldValueKeeper&) = delete;
  FieldValueKeeper& operator=(const FieldValueKeeper&) = delete;

 private:
  FBL_BaseField& mField;
  REC_ID mRecID;
  bool mDirty;
  bool mNull;
  std::vector<uint8_t> mValue;
};

// The index takes the sorted keys as bulk entries.
class IndexSink : public FBL_SortSink {
 public:
  explicit IndexSink(FBL_FieldIndex& index) : mIndex(index) {}
  void Take(const uint8_t* key, uint32_t, REC_ID recID) override {
    mIndex.AppendSorted(key, recID);
  }

 private:
  FBL_FieldIndex& mIndex;
};

}  // namespace

std::string FBL_IndexerTask::NameOf(const FBL_BaseField& field) {
  const FBL_Table* table = field.GetTable();
  return "Indexing: " + (table != nullptr ? table->GetName() : std::string()) + ":" +
         field.GetName();
}

FBL_IndexerTask::FBL_IndexerTask(FBL_FieldIndex& index, FBL_BaseField& field)
    : FBL_Task(NameOf(field)), mIndex(index), mField(field) {}

void FBL_IndexerTask::Run() {
  if (GetState() == FBL_TaskState::kMade) SetState(FBL_TaskState::kRunning);  // run without RunTask
  if (!IsRunning()) return;
  if (mField.GetTable() == nullptr) throw xFBL_IndexError("The field has no table to index");
  FieldValueKeeper keep(mField);
  try {
    Fill();
  } catch (...) {
    try {
      mIndex.Clear();
    } catch (const xFBL_Exception&) {
      // The error that stopped the build is the one to report.
    }
    throw;
  }
  if (!IsRunning()) mIndex.Clear();
}

void FBL_IndexerTask::Fill() {
  FBL_Table& table = *mField.GetTable();
  mIndex.Clear();
  std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
  const uint32_t total = table.GetRecordCount();
  IndexSink sink(mIndex);
  std::unique_ptr<FBL_KeySorter> sorter = zv::MakeSorter(mField, sink, total);
  sorter->Allocate();
  // A by-words index takes each distinct word of a text.
  const bool byWords = mField.HasFlag(kFieldByWords) && !mField.HasFixedKey();
  std::vector<std::string> words;
  uint8_t key[FBL_KeyOrder::kMaxKeySize];
  mCounter1 = 0;
  mCounter2 = total;
  uint32_t percent = 0;
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    mField.LoadRecord(r);
    if (byWords) {
      mField.MakeWordKeys(words);
      for (const std::string& w : words) {
        sorter->Push(reinterpret_cast<const uint8_t*>(w.data()), static_cast<uint32_t>(w.size()),
                     r);
      }
    } else {
      sorter->Push(key, mField.MakeKey(key), r);
    }
    ++mCounter1;
    if (mCounter1 % kStopCheckEvery == 0 && !IsRunning()) return;
    uint32_t now = total == 0 ? 0 : static_cast<uint32_t>(uint64_t{mCounter1} * 100 / total);
    if (now != percent && now < 100) ReportProgress(percent = now);
  }
  sorter->Flush();
}
