// An index double that keeps the keys the field makes (MakeWordKeys) and
// records the bounds of range searches, for the tests of string, binary and
// text columns.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/tables/text_keys.h"
#include "tests/support/table_fixture.h"

namespace ztest {

class KeyIndex : public FBL_FieldIndex {
 public:
  KeyIndex(FBL_BaseField& field, std::vector<std::string>& log) : mField(field), mLog(log) {}
  void Open() override {}
  void Close() override {}
  void Insert(const uint8_t* key, REC_ID recID) override {
    std::string text = KeyText(key);
    if (IsUnique() && mKeys.count(text) != 0) throw xFBL_FieldIsUnique();
    mKeys.emplace(text, recID);
  }
  void Remove(const uint8_t* key, REC_ID recID) override {
    auto range = mKeys.equal_range(KeyText(key));
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == recID) {
        mKeys.erase(it);
        return;
      }
    }
    ADD_FAILURE() << "removing a key that is not there: " << KeyText(key).substr(1);
  }
  bool FindFirst(const uint8_t* key, REC_ID& recID) override {
    auto it = mKeys.find(KeyText(key));
    recID = it == mKeys.end() ? 0 : it->second;
    return it != mKeys.end();
  }
  bool IsUnique() const override { return mField.HasFlag(kFieldUnique); }
  void Flush() override {}
  void Drop() override { mLog.push_back("drop " + mField.GetName()); }
  void ChangeNumber(uint32_t) override {}
  // Records the bounds; answers with the records whose keys lie between
  // them by the field's key order.
  std::unique_ptr<FBL_BitSet> SelectRange(bool leftIncluded, const uint8_t* left,
                                          const uint8_t* right, bool rightIncluded) override {
    auto text = [this](const uint8_t* key) {
      return key == nullptr
                 ? std::string("-")
                 : std::string(reinterpret_cast<const char*>(key), mField.GetKeyLength(key));
    };
    mRanges.push_back({leftIncluded, text(left), text(right), rightIncluded});
    auto set = std::make_unique<FBL_BitSet>(mField.GetTable()->GetMaxRecID());
    for (const auto& [key, recID] : mKeys) {
      const auto* k = reinterpret_cast<const uint8_t*>(key.data());
      if (left != nullptr) {
        int c = mField.CompareKeys(k, left);
        if (c < 0 || (c == 0 && !leftIncluded)) continue;
      }
      if (right != nullptr) {
        int c = mField.CompareKeys(k, right);
        if (c > 0 || (c == 0 && !rightIncluded)) continue;
      }
      set->Include(recID);
    }
    return set;
  }
  std::unique_ptr<FBL_ArraySet> SelectRangeAsArray(bool, const uint8_t*, const uint8_t*,
                                                   bool) override {
    return nullptr;
  }
  uint32_t GetEntryCount() override { return static_cast<uint32_t>(mKeys.size()); }
  void Build() override {}
  void Clear() override { mKeys.clear(); }
  void AppendSorted(const uint8_t*, REC_ID) override {}

  struct Range {
    bool leftIncluded;
    std::string left, right;
    bool rightIncluded;
  };
  std::multimap<std::string, REC_ID> mKeys;
  std::vector<Range> mRanges;

 private:
  std::string KeyText(const uint8_t* key) const {
    return std::string(reinterpret_cast<const char*>(key), mField.GetKeyLength(key));
  }
  FBL_BaseField& mField;
  std::vector<std::string>& mLog;
};

// Makes KeyIndexes, built from the table's alive records.
class KeyIndexFactory : public FBL_IndexFactory {
 public:
  std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) override {
    mLog.push_back("make " + field.GetName());
    auto index = std::make_unique<KeyIndex>(field, mLog);
    mLast = index.get();
    FBL_Table& table = *field.GetTable();
    if (table.IsOpened()) {
      auto alive = table.SelectAllRecords();
      for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
        field.ReadRecord(r);
        std::vector<std::string> keys;
        field.MakeIndexKeys(keys);
        for (const std::string& key : keys) {
          index->Insert(reinterpret_cast<const uint8_t*>(key.data()), r);
        }
      }
    }
    return index;
  }
  std::vector<std::string> mLog;
  KeyIndex* mLast = nullptr;
};

// Tables of string, binary and text columns, indexed by KeyIndexes.
class StringTableTest : public TableFixture<KeyIndexFactory> {
 protected:
  KeyIndex& IndexOf(uint32_t position) { return dynamic_cast<KeyIndex&>(*F(position).GetIndex()); }
  static std::string Key(const std::string& text) {
    return zv::MakeTextKey(text.data(), text.size());
  }
};

}  // namespace ztest
