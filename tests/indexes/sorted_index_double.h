// An index double for the build and search tests: entries in a vector
// kept in (key, RecID) order by the field's CompareKeys, bulk entries
// checked to arrive in that order, unique indexes refusing duplicates.
// Its factory builds each new index from the table with FBL_IndexerTask.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/indexes/indexer_task.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace ztest {

class SortedIndexDouble : public FBL_FieldIndex {
 public:
  using Entry = std::pair<std::string, REC_ID>;

  SortedIndexDouble(FBL_BaseField& field, bool unique) : mField(field), mUnique(unique) {}

  void Open() override { ++mOpens; }
  void Close() override {}
  void Insert(const uint8_t* key, REC_ID recID) override {
    Entry e{KeyText(key), recID};
    auto at = std::lower_bound(mEntries.begin(), mEntries.end(), e, Less());
    if (mUnique && HasKey(e.first)) throw xFBL_FieldIsUnique();
    mEntries.insert(at, std::move(e));
  }
  void Remove(const uint8_t* key, REC_ID recID) override {
    Entry e{KeyText(key), recID};
    auto at = std::lower_bound(mEntries.begin(), mEntries.end(), e, Less());
    if (at == mEntries.end() || at->second != recID || Compare(at->first, e.first) != 0) {
      ADD_FAILURE() << "removing an entry that is not there: RecID " << recID;
      return;
    }
    mEntries.erase(at);
  }
  // The entries of the field's current value under recID.
  void InsertValue(REC_ID recID) {
    for (const std::string& key : Keys()) Insert(Bytes(key), recID);
  }
  bool FindFirst(const uint8_t* keyBytes, REC_ID& recID) override {
    std::string key = KeyText(keyBytes);
    recID = 0;
    for (const Entry& e : mEntries) {
      if (Compare(e.first, key) == 0) {
        recID = e.second;
        return true;
      }
    }
    return false;
  }
  bool IsUnique() const override { return mUnique; }
  void Flush() override {}
  void Drop() override {
    mEntries.clear();
    ++mDrops;
  }
  void ChangeNumber(uint32_t) override {}
  std::unique_ptr<FBL_BitSet> SelectRange(bool leftIncluded, const uint8_t* leftKey,
                                          const uint8_t* rightKey, bool rightIncluded) override {
    auto set = std::make_unique<FBL_BitSet>(mField.GetTable()->GetMaxRecID());
    for (REC_ID r : Select(leftIncluded, leftKey, rightKey, rightIncluded)) set->Include(r);
    return set;
  }
  std::unique_ptr<FBL_ArraySet> SelectRangeAsArray(bool leftIncluded, const uint8_t* leftKey,
                                                   const uint8_t* rightKey,
                                                   bool rightIncluded) override {
    auto set = std::make_unique<FBL_ArraySet>();
    for (REC_ID r : Select(leftIncluded, leftKey, rightKey, rightIncluded)) set->Append(r);
    return set;
  }
  uint32_t GetEntryCount() override { return static_cast<uint32_t>(mEntries.size()); }
  void Build() override {
    if (!mEntries.empty() || mField.GetTable()->GetRecordCount() == 0) return;
    FBL_IndexerTask task(*this, mField);
    ++mBuilds;
    zv::RunTask(task);
  }
  void Clear() override { mEntries.clear(); }
  void AppendSorted(const uint8_t* key, REC_ID recID) override {
    Entry e{std::string(reinterpret_cast<const char*>(key), mField.GetKeyLength(key)), recID};
    if (!mEntries.empty() && mCheckOrder) {
      int c = Compare(mEntries.back().first, e.first);
      EXPECT_TRUE(c < 0 || (c == 0 && mEntries.back().second < recID))
          << "bulk entries out of order at RecID " << recID;
      if (mUnique && c == 0) throw xFBL_FieldIsUnique();
    }
    mEntries.push_back(std::move(e));
  }

  const std::vector<Entry>& Entries() const { return mEntries; }
  int mOpens = 0;
  int mDrops = 0;
  int mBuilds = 0;
  // Off for keys the field cannot order (NaN).
  bool mCheckOrder = true;

 private:
  struct LessByKey {
    const SortedIndexDouble* self;
    bool operator()(const Entry& a, const Entry& b) const {
      int c = self->Compare(a.first, b.first);
      return c != 0 ? c < 0 : a.second < b.second;
    }
  };
  LessByKey Less() const { return LessByKey{this}; }
  int Compare(const std::string& a, const std::string& b) const {
    return mField.CompareKeys(reinterpret_cast<const uint8_t*>(a.data()),
                              reinterpret_cast<const uint8_t*>(b.data()));
  }
  bool HasKey(const std::string& key) const {
    for (const Entry& e : mEntries) {
      if (Compare(e.first, key) == 0) return true;
    }
    return false;
  }
  std::vector<std::string> Keys() {
    std::vector<std::string> keys;
    mField.MakeWordKeys(keys);
    return keys;
  }
  std::string KeyText(const uint8_t* key) const {
    return std::string(reinterpret_cast<const char*>(key), mField.GetKeyLength(key));
  }
  static const uint8_t* Bytes(const std::string& key) {
    return reinterpret_cast<const uint8_t*>(key.data());
  }
  std::vector<REC_ID> Select(bool leftIncluded, const uint8_t* leftKey, const uint8_t* rightKey,
                             bool rightIncluded) const {
    std::vector<REC_ID> out;
    for (const Entry& e : mEntries) {
      const auto* key = reinterpret_cast<const uint8_t*>(e.first.data());
      if (leftKey != nullptr) {
        int c = mField.CompareKeys(key, leftKey);
        if (c < 0 || (c == 0 && !leftIncluded)) continue;
      }
      if (rightKey != nullptr) {
        int c = mField.CompareKeys(key, rightKey);
        if (c > 0 || (c == 0 && !rightIncluded)) continue;
      }
      out.push_back(e.second);
    }
    return out;
  }

  FBL_BaseField& mField;
  bool mUnique;
  std::vector<Entry> mEntries;
};

class SortedIndexFactory : public FBL_IndexFactory {
 public:
  std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) override {
    auto index = std::make_unique<SortedIndexDouble>(field, field.HasFlag(kFieldUnique));
    index->Build();
    mMade.push_back(index.get());
    return index;
  }
  // Every index made, in order (not owned; the last one per field lives).
  std::vector<SortedIndexDouble*> mMade;
};

}  // namespace ztest
