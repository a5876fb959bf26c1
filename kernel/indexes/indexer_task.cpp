#include "kernel/indexes/indexer_task.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/indexes/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"

FBL_IndexerTask::FBL_IndexerTask(FBL_FieldIndex& index, FBL_BaseField& field)
    : FBL_Task("Indexing: " + field.GetName()), mIndex(index), mField(field) {}

// Placeholder until the batch sorters land: one in-memory sort.
void FBL_IndexerTask::Run() {
  FBL_Table& table = *mField.GetTable();
  mIndex.Clear();
  std::unique_ptr<FBL_BitSet> alive = table.SelectAllRecords();
  std::vector<std::pair<std::string, REC_ID>> entries;
  std::vector<std::string> keys;
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    mField.ReadRecord(r);
    mField.MakeWordKeys(keys);
    for (std::string& k : keys) entries.emplace_back(std::move(k), r);
  }
  std::sort(entries.begin(), entries.end(), [this](const auto& a, const auto& b) {
    int c = mField.CompareKeys(reinterpret_cast<const uint8_t*>(a.first.data()),
                               reinterpret_cast<const uint8_t*>(b.first.data()));
    return c != 0 ? c < 0 : a.second < b.second;
  });
  for (const auto& [key, r] : entries) {
    mIndex.AppendSorted(reinterpret_cast<const uint8_t*>(key.data()), r);
  }
}
