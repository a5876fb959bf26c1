// An index double for the table tests: it records its calls and keeps its
// keys in a multimap.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "tests/support/table_fixture.h"

namespace ztest {

// Keys are the key's bytes read as a 64-bit integer (zero-extended).
class FakeIndex : public FBL_FieldIndex {
 public:
  FakeIndex(FBL_BaseField& field, std::vector<std::string>& log) : mField(field), mLog(log) {}
  void Open() override { mLog.push_back("open " + mField.GetName()); }
  void Close() override { mLog.push_back("close " + mField.GetName()); }
  void Insert(const uint8_t* key, REC_ID recID) override {
    int64_t number = Number(key);
    if (IsUnique() && mKeys.count(number) != 0) throw xFBL_FieldIsUnique();
    mKeys.emplace(number, recID);
    mLog.push_back("insert " + mField.GetName() + " " + std::to_string(number) + " " +
                   std::to_string(recID));
  }
  void Remove(const uint8_t* key, REC_ID recID) override {
    int64_t number = Number(key);
    mLog.push_back("remove " + mField.GetName() + " " + std::to_string(number) + " " +
                   std::to_string(recID));
    auto range = mKeys.equal_range(number);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == recID) {
        mKeys.erase(it);
        return;
      }
    }
    ADD_FAILURE() << "removing a key that is not there: " << number << " " << recID;
  }
  bool FindFirst(const uint8_t* key, REC_ID& recID) override {
    auto it = mKeys.find(Number(key));
    recID = it == mKeys.end() ? 0 : it->second;
    return it != mKeys.end();
  }
  bool IsUnique() const override { return mField.HasFlag(kFieldUnique); }
  void Flush() override {}
  void Drop() override { mLog.push_back("drop " + mField.GetName()); }
  void ChangeNumber(uint32_t) override {}
  // Range searches belong to the real index's tests.
  std::unique_ptr<FBL_BitSet> SelectRange(bool, const uint8_t*, const uint8_t*, bool) override {
    return nullptr;
  }
  std::unique_ptr<FBL_ArraySet> SelectRangeAsArray(bool, const uint8_t*, const uint8_t*,
                                                   bool) override {
    return nullptr;
  }
  uint32_t GetEntryCount() override { return static_cast<uint32_t>(mKeys.size()); }
  void Build() override {}
  void Clear() override { mKeys.clear(); }
  void AppendSorted(const uint8_t*, REC_ID) override {}
  const std::multimap<int64_t, REC_ID>& Keys() const { return mKeys; }

 private:
  // The key's bytes (at most 8) as a number.
  int64_t Number(const uint8_t* key) const {
    int64_t number = 0;
    std::memcpy(&number, key, std::min<uint32_t>(mField.GetKeyLength(key), sizeof number));
    return number;
  }
  FBL_BaseField& mField;
  std::vector<std::string>& mLog;
  std::multimap<int64_t, REC_ID> mKeys;
};

class FakeIndexFactory : public FBL_IndexFactory {
 public:
  std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) override {
    mLog.push_back("make " + field.GetName());
    return std::make_unique<FakeIndex>(field, mLog);
  }
  std::vector<std::string> mLog;
};

// The table tests' fixture: indexes are FakeIndexes.
using TableTest = TableFixture<FakeIndexFactory>;

}  // namespace ztest
