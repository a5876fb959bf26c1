// String, VarChar and Text columns over the real field indexes: searches
// checked against a model of the stored texts.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

#include "kernel/indexes/index_factory.h"
#include "kernel/sets/bit_set.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/string_fields.h"
#include "tests/support/table_fixture.h"

namespace {

using namespace ztest;

class StringIndexTest : public TableFixture<FBL_SecondaryIndexFactory> {
 protected:
  void Make(uint8_t type, uint16_t flags, uint32_t length = 0) {
    mType = type;
    MakeTable([=](FBL_Table& t) { t.AddField(zv::MakeField(type, "s", flags, length)); });
  }
  std::unique_ptr<FBL_BitSet> Prefix(const std::string& text) {
    if (mType == kTypeText) {
      return dynamic_cast<BF_TEXT&>(F(1)).FindRangeByText(text.c_str(), true, text.c_str(), false);
    }
    return dynamic_cast<BF_STRING&>(F(1)).FindRangeByText(text.c_str(), true, text.c_str(), false);
  }
  std::unique_ptr<FBL_BitSet> Range(const char* left, bool li, const char* right, bool ri) {
    return dynamic_cast<BF_STRING&>(F(1)).FindRangeByText(left, li, right, ri);
  }
  void RunModel(FBL_ByteOrder order, uint8_t type);

  uint8_t mType = 0;
};

// Random short texts over a small alphabet, added, changed and deleted in
// a database of either byte order; prefix and range searches agree with the
// model before and after reopening.
void StringIndexTest::RunModel(FBL_ByteOrder order, uint8_t type) {
  CreateDb(order);
  Make(type, kFieldIndexed, 6);
  std::mt19937 rng(static_cast<int>(order) * 100 + type);
  const std::string alphabet = "abAB\xC4";
  auto text = [&] {
    std::string t(rng() % 7, ' ');
    for (char& c : t) c = alphabet[rng() % alphabet.size()];
    return t;
  };
  std::map<REC_ID, std::string> model;
  for (int step = 0; step < 1500; ++step) {
    uint32_t op = rng() % 10;
    if (op < 6 || model.empty()) {
      F(1).SetString(text());
      model[mTable->AddRecord()] = F(1).GetString();
    } else if (op < 8) {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      F(1).SetString(text());
      mTable->UpdateRecord();
      it->second = F(1).GetString();
    } else {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      mTable->DeleteRecord();
      model.erase(it);
    }
  }
  for (int round = 0; round < 2; ++round) {
    for (const std::string prefix : {"", "a", "ab", "A\xC4", "\xC4", "bbb", "abABab"}) {
      std::vector<REC_ID> expected;
      for (const auto& [r, t] : model) {
        if (t.compare(0, prefix.size(), prefix) == 0) expected.push_back(r);
      }
      EXPECT_EQ(Members(*Prefix(prefix)), expected) << prefix;
    }
    std::vector<REC_ID> expected;
    for (const auto& [r, t] : model) {
      if (t > "A" && t <= "ab") expected.push_back(r);
    }
    EXPECT_EQ(Members(*Range("A", false, "ab", true)), expected);
    Reopen();
  }
}

TEST_F(StringIndexTest, StringSearchesAgreeWithAModel) {
  RunModel(FBL_ByteOrder::kDefault, kTypeString);
}

TEST_F(StringIndexTest, VarCharSearchesAgreeWithAModelInTheOtherByteOrder) {
  RunModel(FBL_ByteOrder::kBigEndian, kTypeVarChar);
}

// An index built over texts already stored (the bulk build sorts the keys)
// answers as one kept up record by record.
TEST_F(StringIndexTest, IndexesBuiltOverStoredTexts) {
  for (const char* language : {"ASCII", "French"}) {
    SCOPED_TRACE(language);
    if (!mDb) CreateDb();
    mTable = std::make_unique<FBL_IndexedTable>(*mDb, std::string(language) == "ASCII" ? 1 : 2);
    mTable->SetIndexFactory(&mFactory);
    mTable->AddField(zv::MakeField(kTypeVarChar, "v", 0, 8, language));
    mTable->Open();
    std::mt19937 rng(5);
    std::map<std::string, std::vector<REC_ID>> model;
    for (int i = 0; i < 3000; ++i) {
      std::string t(1 + rng() % 4, ' ');
      for (char& c : t) c = "abAB\xE9"[rng() % 5];
      F(1).SetString(t);
      model[t].push_back(mTable->AddRecord());
    }
    F(1).AddFlags(kFieldIndexed, true);
    ASSERT_NE(F(1).GetIndex(), nullptr);
    EXPECT_EQ(F(1).GetIndex()->GetEntryCount(), 3000u);
    for (const auto& [text, records] : model) {
      EXPECT_EQ(Members(*Range(text.c_str(), true, text.c_str(), true)), records) << text;
    }
    mTable.reset();
  }
}

TEST_F(StringIndexTest, UniqueTextsAndVarCharKeysOf255Bytes) {
  CreateDb();
  Make(kTypeVarChar, kFieldUnique, 400);
  std::string a(300, 'x'), b = a;
  b[299] = 'y';  // differs only past the key
  F(1).SetString(a);
  mTable->AddRecord();
  F(1).SetString(b);
  EXPECT_EQ(ErrorCode([&] { mTable->AddRecord(); }), 344);
  EXPECT_EQ(mTable->GetRecordCount(), 1u);
  F(1).SetString(a.substr(0, 254));
  REC_ID c = mTable->AddRecord();
  EXPECT_EQ(Members(*Prefix(a.substr(0, 254))), (std::vector<REC_ID>{1, c}));
  EXPECT_EQ(Members(*Prefix(a)), (std::vector<REC_ID>{1}));
}

// Searches by values in the buffer's form: a NUL-terminated text, a
// length word and bytes.
TEST_F(StringIndexTest, FindValueTakesTheBufferForm) {
  CreateDb();
  mType = kTypeString;
  mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
  mTable->SetIndexFactory(&mFactory);
  mTable->AddField(zv::MakeField(kTypeString, "s", 0, 8));
  mTable->AddField(zv::MakeField(kTypeVarBinary, "b", 0, 8));
  mTable->Open();
  for (const char* t : {"pear", "plum", "pear"}) {
    F(1).SetString(t);
    F(2).SetString(t);
    mTable->AddRecord();
  }
  F(1).SetString("kept");
  std::vector<char> text(F(1).GetBufferSize(), '\0');
  std::memcpy(text.data(), "pear", 4);
  EXPECT_EQ(Members(*F(1).FindValue(text.data())), (std::vector<REC_ID>{1, 3}));
  EXPECT_EQ(F(1).GetString(), "kept");  // the current value stays
  EXPECT_FALSE(F(1).IsNull());
  std::vector<uint8_t> bytes(F(2).GetBufferSize(), 0);
  const uint16_t four = 4;
  std::memcpy(bytes.data(), &four, 2);
  std::memcpy(bytes.data() + 2, "plum", 4);
  EXPECT_EQ(Members(*F(2).FindValue(bytes.data())), (std::vector<REC_ID>{2}));
}

TEST_F(StringIndexTest, ByWordsFindsEachWord) {
  CreateDb();
  Make(kTypeVarChar, kFieldIndexed | kFieldByWords, 100);
  F(1).SetString("red green red");
  REC_ID a = mTable->AddRecord();
  F(1).SetString("green blue");
  REC_ID b = mTable->AddRecord();
  EXPECT_EQ(F(1).GetIndex()->GetEntryCount(), 4u);
  auto word = [&](const char* w) { return Members(*Range(w, true, w, true)); };
  EXPECT_EQ(word("red"), (std::vector<REC_ID>{a}));
  EXPECT_EQ(word("green"), (std::vector<REC_ID>{a, b}));
  EXPECT_EQ(word("blue"), (std::vector<REC_ID>{b}));
  mTable->GoToRecord(a);
  F(1).SetString("yellow");
  mTable->UpdateRecord();
  EXPECT_EQ(word("red"), std::vector<REC_ID>{});
  EXPECT_EQ(word("green"), (std::vector<REC_ID>{b}));
  Reopen();
  EXPECT_EQ(word("yellow"), (std::vector<REC_ID>{a}));
  // Without the flag the whole text is the key again.
  F(1).RemoveFlags(kFieldByWords, true);
  EXPECT_EQ(word("green"), std::vector<REC_ID>{});
  EXPECT_EQ(word("green blue"), (std::vector<REC_ID>{b}));
}

TEST_F(StringIndexTest, TextColumnsSearchByTheirFirst255Bytes) {
  CreateDb(FBL_ByteOrder::kBigEndian);
  Make(kTypeText, kFieldIndexed);
  for (const char* t : {"apple pie", "apricot", "banana", "ap"}) {
    F(1).SetString(t);
    mTable->AddRecord();
  }
  F(1).SetString(std::string(1000, 'a'));
  REC_ID big = mTable->AddRecord();
  EXPECT_EQ(Members(*Prefix("ap")), (std::vector<REC_ID>{1, 2, 4}));
  Reopen();
  EXPECT_EQ(Members(*Prefix("aaaa")), (std::vector<REC_ID>{big}));
  EXPECT_EQ(Members(*Prefix("b")), (std::vector<REC_ID>{3}));
}

}  // namespace
