#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_file.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/text_matcher.h"
#include "tests/support/key_index.h"

namespace {

using namespace ztest;

class StringFieldTest : public StringTableTest {
 protected:
  BF_STRING& Str(uint32_t position) { return As<BF_STRING>(position); }
  // Adds a record with the text in field 1.
  REC_ID AddText(const std::string& text, uint32_t position = 1) {
    F(position).SetString(text);
    return mTable->AddRecord();
  }
  // The raw bytes of an embedded file of the table (closed first).
  std::vector<uint8_t> RawFile(uint16_t kind, uint16_t field) {
    FBL_EmbededFile file(*mDb->GetRecordVolume(), 1, kind, field);
    file.Open();
    std::vector<uint8_t> bytes(file.GetLength());
    file.SetPosition(0);
    if (!bytes.empty()) file.Read(bytes.data(), bytes.size());
    file.Close();
    return bytes;
  }
  // The stored bytes of a VarChar column's record (table closed first).
  std::string RawVarChar(uint16_t field, uint32_t maxLength, REC_ID recID) {
    FBL_ULongFile ref(*mDb->GetRecordVolume(), 1, kKindValues, field);
    FBL_VarCharFile file(*mDb->GetRecordVolume(), 1, kKindSecondFile, field, maxLength);
    file.SetRefFile(&ref);
    file.Open();
    std::string bytes(maxLength + 1, '\0');
    bytes.resize(file.ReadValue(recID, bytes.data(), maxLength + 1));
    file.Close();
    return bytes;
  }
};

TEST_F(StringFieldTest, TypesLengthsAndLanguages) {
  CreateDb();
  MakeTable({{kTypeString},
        {kTypeVarChar},
        {kTypeFixedBinary},
        {kTypeVarBinary},
        {kTypeString, 0, 7, "French"},
        {kTypeVarChar, 0, 0, "Klingon"}});
  const uint8_t types[] = {kTypeString, kTypeVarChar, kTypeFixedBinary, kTypeVarBinary};
  const uint32_t lengths[] = {20, 504, 20, 504};
  const uint32_t sizes[] = {21, 505, 22, 504};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(F(i + 1).GetType(), types[i]);
    EXPECT_EQ(As<FBL_LengthField>(i + 1).GetDeclaredLength(), lengths[i]);
    EXPECT_EQ(F(i + 1).GetValueSize(), sizes[i]);
    EXPECT_TRUE(F(i + 1).HasFlag(kFieldKeepsOldValue));
    EXPECT_FALSE(F(i + 1).HasFixedKey());
    EXPECT_EQ(F(i + 1).GetMaxKeySize(), 256u);
  }
  EXPECT_EQ(Str(1).GetLanguage().GetName(), "ASCII");
  EXPECT_EQ(Str(5).GetLanguage().GetName(), "French");
  // Index builds sort plain byte-order keys without the field.
  EXPECT_TRUE(F(1).KeysCompareAsBytes());
  EXPECT_TRUE(F(3).KeysCompareAsBytes());
  EXPECT_FALSE(F(5).KeysCompareAsBytes());
  EXPECT_EQ(F(5).GetMaxTextLength(), 7u);
  // An unknown language keeps "ASCII", and so does a later unknown name.
  EXPECT_EQ(Str(6).GetLanguage().GetName(), "ASCII");
  EXPECT_FALSE(Str(5).SetLanguage("Elvish", false));
  EXPECT_EQ(Str(5).GetLanguage().GetName(), "French");
}

TEST_F(StringFieldTest, TextsAreCutToTheDeclaredLength) {
  CreateDb();
  MakeTable({{kTypeString, 0, 5}, {kTypeVarChar, 0, 5}});
  for (uint32_t f : {1u, 2u}) {
    F(f).SetString("abcdefgh");
    EXPECT_EQ(F(f).GetString(), "abcde");
    const uint8_t prefixed[] = {3, 'x', 'y', 'z', 'w'};
    Str(f).SetPrefixedValue(prefixed);
    EXPECT_EQ(F(f).GetString(), "xyz");
    const uint8_t longer[] = {7, 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
    Str(f).SetPrefixedValue(longer);
    EXPECT_EQ(F(f).GetString(), "abcde");
    EXPECT_EQ(F(f).GetString(2), "ab");
    // A value goes out and back in whole.
    std::vector<char> buffer(F(f).GetBufferSize());
    F(f).SetString("vwxyz");
    F(f).GetValue(buffer.data());
    EXPECT_EQ(std::string(buffer.data()), "vwxyz");
    F(f).SetString("");
    F(f).SetValue(buffer.data());
    EXPECT_EQ(F(f).GetString(), "vwxyz");
    F(f).SetString("abcdefgh");
  }
  REC_ID r = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(r);
  EXPECT_EQ(F(1).GetString(), "abcde");
  EXPECT_EQ(F(2).GetString(), "abcde");
}

TEST_F(StringFieldTest, ValuesAndNullsSurviveReopening) {
  CreateDb();
  MakeTable({{kTypeString, kFieldNullable, 10},
        {kTypeVarChar, kFieldNullable, 300},
        {kTypeFixedBinary, kFieldNullable, 6},
        {kTypeVarBinary, kFieldNullable, 40}});
  const std::string bin("\x01\x00\xFF\x7F", 4);
  auto fill = [&](const std::string& text) {
    F(1).SetString(text);
    F(2).SetString(text + text);
    As<BF_FixedBinary>(3).SetData(bin.data(), 4);
    As<BF_VarBinary>(4).SetData(bin.data(), 3);
  };
  fill("hello");
  REC_ID a = mTable->AddRecord();
  for (uint32_t f = 1; f <= 4; ++f) F(f).SetNull(true);
  REC_ID b = mTable->AddRecord();
  fill("");
  REC_ID c = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(a);
  EXPECT_EQ(F(1).GetString(), "hello");
  EXPECT_EQ(F(2).GetString(), "hellohello");
  EXPECT_EQ(As<BF_FixedBinary>(3).GetContent(), bin);
  EXPECT_EQ(As<BF_VarBinary>(4).GetContent(), bin.substr(0, 3));
  mTable->GoToRecord(b);
  for (uint32_t f = 1; f <= 4; ++f) {
    EXPECT_TRUE(F(f).IsNull()) << f;
    EXPECT_EQ(F(f).GetString(), "") << f;
    EXPECT_EQ(As<FBL_LengthField>(f).GetContent(), "") << f;
  }
  mTable->GoToRecord(c);
  EXPECT_FALSE(F(1).IsNull());
  EXPECT_EQ(F(1).GetString(), "");
  // Null map bits survive the update of a neighbour; a value replaces a null.
  mTable->GoToRecord(b);
  F(2).SetString("now");
  mTable->UpdateRecord();
  Reopen();
  mTable->GoToRecord(b);
  EXPECT_EQ(F(2).GetString(), "now");
  EXPECT_TRUE(F(1).IsNull());
}

// Slots wider than the column window takes are read and written in place.
TEST_F(StringFieldTest, WideSlotsSurviveReopening) {
  CreateDb();
  MakeTable({{kTypeString, 0, 1000}, {kTypeFixedBinary, 0, 3000}});
  std::vector<std::string> texts;
  for (int i = 0; i < 5; ++i) {
    texts.push_back(std::string(200 * i + 1, static_cast<char>('a' + i)));
    F(1).SetString(texts.back());
    As<BF_FixedBinary>(2).SetData(texts.back().data(), static_cast<uint32_t>(texts.back().size()));
    mTable->AddRecord();
  }
  mTable->GoToRecord(2);
  F(1).SetString("changed");
  mTable->UpdateRecord();
  texts[1] = "changed";
  Reopen();
  for (REC_ID r = 1; r <= 5; ++r) {
    mTable->GoToRecord(r);
    EXPECT_EQ(F(1).GetString(), texts[r - 1]) << r;
    EXPECT_EQ(As<BF_FixedBinary>(2).GetDataLength(), 200 * (r - 1) + 1) << r;
  }
  mTable.reset();
  EXPECT_EQ(RawFile(kKindValues, 1).size(), 5u * 1001);
}

TEST_F(StringFieldTest, LongestDeclaredLengths) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 65535}, {kTypeString, 0, 70000}, {kTypeVarBinary, 0, 65535}});
  EXPECT_EQ(As<FBL_LengthField>(2).GetDeclaredLength(), 65535u);  // cut to 16 bits
  std::string big(65535, 'z');
  big[0] = 'A';
  F(1).SetString(big);
  F(2).SetString(big + "more");
  As<BF_VarBinary>(3).SetData(big.data(), 65535);
  REC_ID r = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(r);
  EXPECT_EQ(F(1).GetString(), big);
  EXPECT_EQ(F(2).GetString(), big);
  EXPECT_EQ(As<BF_VarBinary>(3).GetContent(), big);
}

TEST_F(StringFieldTest, AsciiOrderIsPlainBytesShorterFirst) {
  CreateDb();
  MakeTable({{kTypeString}, {kTypeVarChar, 0, 0, "French"}});
  BF_STRING& s = Str(1);
  auto cmp = [&](const char* a, const char* b) {
    s.SetString(a);
    std::vector<uint8_t> other(s.GetBufferSize() + 1, 0);
    std::memcpy(other.data(), b, std::strlen(b));
    return s.Compare(other.data());
  };
  EXPECT_EQ(cmp("abc", "abcd"), -1);
  EXPECT_EQ(cmp("abcd", "abc"), 1);
  EXPECT_EQ(cmp("B", "a"), -1);
  EXPECT_EQ(cmp("same", "same"), 0);
  EXPECT_EQ(cmp("\xE9", "f"), 1);  // bytes above 127 sort last under "ASCII"
  std::string k1 = Key("B"), k2 = Key("a"), k3 = Key("abc"), k4 = Key("ab");
  auto key = [](const std::string& k) { return reinterpret_cast<const uint8_t*>(k.data()); };
  EXPECT_EQ(s.CompareKeys(key(k1), key(k2)), -1);
  EXPECT_EQ(s.CompareKeys(key(k4), key(k3)), -1);
  EXPECT_EQ(s.GetKeyLength(key(k3)), 4u);
  // The field's language decides: French puts "B" after "a" and e-acute
  // before "f".
  BF_STRING& french = Str(2);
  EXPECT_EQ(french.CompareKeys(key(k1), key(k2)), 1);
  std::string e = Key("\xE9"), f = Key("f");
  EXPECT_EQ(french.CompareKeys(key(e), key(f)), -1);
}

TEST_F(StringFieldTest, KeysHoldTheFirst255Bytes) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 300}, {kTypeString, 0, 4}, {kTypeVarBinary, 0, 300}});
  std::string text(300, 'q');
  text[254] = 'A';
  text[255] = 'B';
  F(1).SetString(text);
  uint8_t key[kMaxIndexKeySize];
  ASSERT_EQ(F(1).MakeKey(key), 256u);
  EXPECT_EQ(key[0], 255);
  EXPECT_EQ(key[255], 'A');
  EXPECT_EQ(F(1).GetString().size(), 300u);
  // A text differing only past byte 255 has the same key.
  std::string other = text;
  other[299] = 'z';
  F(1).SetString(other);
  EXPECT_EQ(F(1).CompareWithKey(key), 0);
  F(2).SetString("wxyz!");
  ASSERT_EQ(F(2).MakeKey(key), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 5), Key("wxyz"));
  F(2).SetString("");
  EXPECT_EQ(F(2).MakeKey(key), 1u);
  EXPECT_EQ(key[0], 0);
  std::string bytes(300, '\0');
  As<BF_VarBinary>(3).SetData(bytes.data(), 300);
  ASSERT_EQ(F(3).MakeKey(key), 256u);
  EXPECT_EQ(key[0], 255);
}

// A database written on a machine of the other byte order keeps its texts
// in the Mac OS Roman set and its binary length words reversed.
TEST_F(StringFieldTest, OtherByteOrderTranslatesTextsAndReversesLengths) {
  CreateDb(FBL_ByteOrder::kBigEndian);
  ASSERT_TRUE(mDb->GetRecordVolume()->IsSwapped());
  MakeTable({{kTypeString, 0, 4},
        {kTypeVarChar, 0, 10},
        {kTypeFixedBinary, 0, 4},
        {kTypeVarBinary, 0, 10}});
  F(1).SetString("a\xC4");
  F(2).SetString("\xC4z");
  As<BF_FixedBinary>(3).SetData("\xC4\x01\x02", 3);
  As<BF_VarBinary>(4).SetData("\xC4\x01", 2);
  mTable->AddRecord();
  // The buffer keeps the machine's set after the write.
  EXPECT_EQ(F(1).GetString(), "a\xC4");
  F(1).SetString("b\xC4");
  F(2).SetString("\x80");
  mTable->AddRecord();
  mTable.reset();
  std::vector<uint8_t> strings = RawFile(kKindValues, 1);
  ASSERT_EQ(strings.size(), 10u);
  EXPECT_EQ(strings[0], 'a');
  EXPECT_EQ(strings[1], 0x80);
  EXPECT_EQ(strings[2], 0);
  EXPECT_EQ(strings[6], 0x80);
  EXPECT_EQ(RawVarChar(2, 10, 1), "\x80z");
  EXPECT_EQ(RawVarChar(2, 10, 2), "\xDE");  // 0x80 of the machine is 0xDE stored
  std::vector<uint8_t> fixed = RawFile(kKindValues, 3);
  ASSERT_GE(fixed.size(), 6u);
  EXPECT_EQ(fixed[0], 0);  // the length word 3, reversed
  EXPECT_EQ(fixed[1], 3);
  EXPECT_EQ(fixed[2], 0xC4);  // bytes are never translated
  EXPECT_EQ(RawVarChar(4, 10, 1), "\xC4\x01");
  MakeTable(mColumns);
  mTable->GoToRecord(1);
  EXPECT_EQ(F(1).GetString(), "a\xC4");
  EXPECT_EQ(F(2).GetString(), "\xC4z");
  EXPECT_EQ(As<BF_FixedBinary>(3).GetContent(), "\xC4\x01\x02");
  EXPECT_EQ(As<BF_VarBinary>(4).GetContent(), "\xC4\x01");
  mTable->GoToRecord(2);
  EXPECT_EQ(F(2).GetString(), "\x80");
}

TEST_F(StringFieldTest, AssignFromStringsNumbersAndNulls) {
  CreateDb();
  MakeTable({{kTypeString, kFieldNullable, 4},
        {kTypeVarChar, kFieldNullable, 10},
        {kTypeLong},
        {kTypeDouble},
        {kTypeFixedBinary, 0, 4},
        {kTypeString}});
  F(2).SetString("abcdefgh");
  F(1).AssignFrom(F(2));
  EXPECT_EQ(F(1).GetString(), "abcd");
  EXPECT_TRUE(F(1).IsDirty());
  As<BF_LONG>(3).Set(-42);
  F(2).AssignFrom(F(3));
  EXPECT_EQ(F(2).GetString(), "-42");
  As<BF_DOUBLE>(4).Set(2.5);
  F(2).AssignFrom(F(4));
  EXPECT_EQ(F(2).GetString(), "2.5");
  F(1).SetString("77");
  F(3).AssignFrom(F(1));
  EXPECT_EQ(As<BF_LONG>(3).Get(), 77);
  // A byte string gives a number 0, and its bytes to a text.
  As<BF_FixedBinary>(5).SetData("9x", 2);
  F(3).AssignFrom(F(5));
  EXPECT_EQ(As<BF_LONG>(3).Get(), 0);
  F(6).AssignFrom(F(5));
  EXPECT_EQ(F(6).GetString(), "9x");
  // A null source makes a nullable target null and empty.
  F(2).SetNull(true);
  F(1).AssignFrom(F(2));
  EXPECT_TRUE(F(1).IsNull());
  EXPECT_EQ(F(1).GetString(), "");
  F(6).AssignFrom(F(2));
  EXPECT_FALSE(F(6).IsNull());
  EXPECT_EQ(F(6).GetString(), "");
}

TEST_F(StringFieldTest, IsChangedComparesTextsAndNullFlags) {
  CreateDb();
  MakeTable({{kTypeVarChar, kFieldNullable, 20}, {kTypeFixedBinary, 0, 8}});
  F(1).SetString("same");
  As<BF_FixedBinary>(2).SetData("ab", 2);
  REC_ID r = mTable->AddRecord();
  mTable->GoToRecord(r);
  EXPECT_FALSE(F(1).IsChanged());
  F(1).SetString("same");
  F(1).LoadOldValue();
  EXPECT_FALSE(F(1).IsChanged());
  F(1).SetString("other");
  EXPECT_TRUE(F(1).IsChanged());
  F(1).SetNull(true);
  EXPECT_TRUE(F(1).IsChanged());
  F(1).FreeOldValue();
  As<BF_FixedBinary>(2).SetData("ab\0", 3);  // a length differs even with equal bytes
  F(2).LoadOldValue();
  EXPECT_TRUE(F(2).IsChanged());
  // Swapping brings the old value in and back.
  F(1).LoadOldValue();
  F(1).SwapOldValue();
  EXPECT_EQ(F(1).GetString(), "same");
  EXPECT_FALSE(F(1).IsNull());
  F(1).RestoreOldValue();
  EXPECT_TRUE(F(1).IsNull());
}

TEST_F(StringFieldTest, UpdatesKeepTheIndexInStep) {
  CreateDb();
  MakeTable({{kTypeString, kFieldIndexed, 12}, {kTypeVarChar, kFieldIndexed | kFieldUnique, 30}});
  F(2).SetString("u1");
  AddText("one");
  F(2).SetString("u2");
  REC_ID b = AddText("two");
  mTable->GoToRecord(b);
  F(1).SetString("three");
  mTable->UpdateRecord();
  std::multimap<std::string, REC_ID> expected = {{Key("one"), 1}, {Key("three"), 2}};
  EXPECT_EQ(IndexOf(1).mKeys, expected);
  // Unique texts: the second "u1" is refused.
  mTable->GoToRecord(b);
  F(2).SetString("u1");
  EXPECT_EQ(ErrorCode([&] { mTable->UpdateRecord(); }), 344);
  F(2).SetString("u1");
  EXPECT_TRUE(F(2).ValueExists());
  F(2).SetString("u3");
  EXPECT_FALSE(F(2).ValueExists());
  mTable->GoToRecord(b);
  mTable->DeleteRecord();
  EXPECT_EQ(IndexOf(1).mKeys.size(), 1u);
}

TEST_F(StringFieldTest, ReadQuotedValue) {
  CreateDb();
  MakeTable({{kTypeString, 0, 10}});
  BF_STRING& s = Str(1);
  EXPECT_EQ(s.ReadQuotedValue("'abc'def"), 5u);
  EXPECT_EQ(s.GetString(), "abc");
  EXPECT_EQ(s.ReadQuotedValue("\"x 'y\""), 4u);  // either quote ends it
  EXPECT_EQ(s.GetString(), "x ");
  EXPECT_EQ(s.ReadQuotedValue("\"open"), 5u);
  EXPECT_EQ(s.GetString(), "open");
  EXPECT_EQ(s.ReadQuotedValue("plain text here"), 15u);
  EXPECT_EQ(s.GetString(), "plain text");
  EXPECT_EQ(s.ReadQuotedValue("''"), 2u);
  EXPECT_EQ(s.GetString(), "");
}

TEST_F(StringFieldTest, ByWordsKeysAreTheDistinctWords) {
  CreateDb();
  MakeTable({{kTypeVarChar, kFieldIndexed | kFieldByWords, 600}});
  std::vector<std::string> keys;
  F(1).SetString("red green red");
  F(1).MakeWordKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::string>{Key("green"), Key("red")}));
  F(1).SetString("  \t\n ");
  F(1).MakeWordKeys(keys);
  EXPECT_TRUE(keys.empty());
  F(1).SetString("b,  a\tb, B");  // punctuation stays part of a word
  F(1).MakeWordKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::string>{Key("B"), Key("a"), Key("b,")}));
  std::string big(270, 'w');
  F(1).SetString("x " + big + " " + big + "v");
  F(1).MakeWordKeys(keys);
  ASSERT_EQ(keys.size(), 2u);  // both long words cut to the same 255 bytes
  EXPECT_EQ(keys[0].size(), 256u);
  // The index finds the record by each word.
  REC_ID r = AddText("red green red");
  AddText("blue");
  EXPECT_EQ(IndexOf(1).mKeys.count(Key("red")), 1u);
  EXPECT_EQ(IndexOf(1).mKeys.find(Key("green"))->second, r);
  EXPECT_EQ(IndexOf(1).GetEntryCount(), 3u);
}

TEST_F(StringFieldTest, ByWordsFlagDropsTheIndexAndIsNeverUnique) {
  CreateDb();
  MakeTable({{kTypeString, kFieldUnique, 40}, {kTypeVarChar, kFieldByWords | kFieldUnique, 40}});
  EXPECT_FALSE(F(2).HasFlag(kFieldUnique));
  EXPECT_TRUE(F(2).HasFlag(kFieldIndexed));
  AddText("alpha beta");
  mFactory.mLog.clear();
  F(1).AddFlags(kFieldByWords, true);
  EXPECT_TRUE(F(1).HasFlag(kFieldByWords));
  EXPECT_FALSE(F(1).HasFlag(kFieldUnique));
  EXPECT_TRUE(F(1).HasFlag(kFieldIndexed));
  EXPECT_EQ(mFactory.mLog, (std::vector<std::string>{"drop f1", "make f1"}));
  EXPECT_EQ(IndexOf(1).GetEntryCount(), 2u);
  // Asking for unique again only keeps it indexed.
  F(1).AddFlags(kFieldUnique, true);
  EXPECT_FALSE(F(1).HasFlag(kFieldUnique));
  mFactory.mLog.clear();
  F(1).RemoveFlags(kFieldByWords, true);
  EXPECT_EQ(mFactory.mLog, (std::vector<std::string>{"drop f1", "make f1"}));
  EXPECT_EQ(IndexOf(1).GetEntryCount(), 1u);
  EXPECT_EQ(IndexOf(1).mKeys.begin()->first, Key("alpha beta"));
  // Without the by-words bit, unique is unique again.
  F(1).AddFlags(kFieldUnique, true);
  EXPECT_TRUE(F(1).HasFlag(kFieldUnique));
}

TEST_F(StringFieldTest, RangeKeysAndThePrefixRule) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 300}, {kTypeString, 0, 3}, {kTypeString, 0, 10, "French"}});
  BF_STRING& v = Str(1);
  const char g = static_cast<char>(zv::AsciiLanguage().GetGreatestChar());
  EXPECT_EQ(g, '\xFF');
  FBL_TextRangeKeys k = v.MakeRangeKeys("ab", true, "ab", false);
  EXPECT_EQ(k.left, Key("ab"));
  EXPECT_EQ(k.right, Key(std::string("ab") + g));
  EXPECT_TRUE(k.leftIncluded && k.rightIncluded);
  // Other bounds are used as given; a null one is open.
  k = v.MakeRangeKeys("ab", true, "ab", true);
  EXPECT_EQ(k.right, Key("ab"));
  k = v.MakeRangeKeys("ab", false, "ab", false);
  EXPECT_EQ(k.right, Key("ab"));
  EXPECT_FALSE(k.leftIncluded || k.rightIncluded);
  k = v.MakeRangeKeys("a", true, "b", false);
  EXPECT_EQ(k.right, Key("b"));
  EXPECT_FALSE(k.rightIncluded);
  k = v.MakeRangeKeys(nullptr, false, "b", true);
  EXPECT_FALSE(k.hasLeft);
  EXPECT_TRUE(k.hasRight);
  // A full key has its last byte replaced.
  std::string longText(300, 'x');
  k = v.MakeRangeKeys(longText.c_str(), true, longText.c_str(), false);
  EXPECT_EQ(k.left, Key(std::string(255, 'x')));
  EXPECT_EQ(k.right, Key(std::string(254, 'x') + g));
  // Bounds are cut as SetString cuts them.
  k = Str(2).MakeRangeKeys("abcdef", true, "abcdef", false);
  EXPECT_EQ(k.left, Key("abc"));
  EXPECT_EQ(k.right, Key(std::string("abc") + g));
  k = Str(3).MakeRangeKeys("c", true, "c", false);
  EXPECT_EQ(k.right.back(), static_cast<char>(Str(3).GetLanguage().GetGreatestChar()));
}

TEST_F(StringFieldTest, FindRangeByTextSearchesTheIndex) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 40}});
  for (const char* t : {"apple", "apricot", "ap", "banana", "a"}) AddText(t);
  EXPECT_FALSE(F(1).HasFlag(kFieldIndexed));
  std::unique_ptr<FBL_BitSet> found = Str(1).FindRangeByText("ap", true, "ap", false);
  EXPECT_TRUE(F(1).HasFlag(kFieldIndexed));  // indexed for good
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Count(), 3u);
  EXPECT_TRUE(found->IsMember(1) && found->IsMember(2) && found->IsMember(3));
  ASSERT_EQ(IndexOf(1).mRanges.size(), 1u);
  EXPECT_TRUE(IndexOf(1).mRanges[0].rightIncluded);
  found = Str(1).FindRangeByText("apple", false, "banana", true);
  EXPECT_EQ(found->Count(), 2u);
  EXPECT_TRUE(found->IsMember(2) && found->IsMember(4));
  found = Str(1).FindRangeByText(nullptr, false, "ap", true);
  EXPECT_EQ(found->Count(), 2u);
  EXPECT_EQ(IndexOf(1).mRanges.back().left, "-");
}

class SubstringEngine : public FBL_TextMatcherEngine {
 public:
  class Matcher : public FBL_TextMatcher {
   public:
    explicit Matcher(std::string pattern) : mPattern(std::move(pattern)) {}
    bool Matches(const char* text, size_t length) override {
      return std::string(text, length).find(mPattern) != std::string::npos;
    }
    std::string mPattern;
  };
  std::unique_ptr<FBL_TextMatcher> Compile(const std::string& pattern, bool caseSensitive,
                                           const FBL_Language& language) override {
    mLanguage = language.GetName();
    mCaseSensitive = caseSensitive;
    return std::make_unique<Matcher>(pattern);
  }
  std::string mLanguage;
  bool mCaseSensitive = false;
};

TEST_F(StringFieldTest, FindByRegExprNeedsAnEngineAndSkipsNulls) {
  CreateDb();
  MakeTable({{kTypeString, kFieldNullable, 20, "German"}});
  AddText("one cat");
  F(1).SetNull(true);
  mTable->AddRecord();
  REC_ID c = AddText("concat");
  AddText("dog");
  mTable->GoToRecord(2);
  mTable->DeleteRecord();
  FBL_TextMatcherEngine* installed = zv::GetTextMatcherEngine();
  EXPECT_EQ(installed, &zv::RegexTextMatcherEngine());
  zv::SetTextMatcherEngine(nullptr);
  EXPECT_EQ(ErrorCode([&] { Str(1).FindByRegExpr("cat", true); }), 303);
  SubstringEngine engine;
  zv::SetTextMatcherEngine(&engine);
  mTable->GoToRecord(c);
  std::unique_ptr<FBL_BitSet> found = Str(1).FindByRegExpr("cat", false);
  zv::SetTextMatcherEngine(installed);
  EXPECT_EQ(found->Count(), 2u);
  EXPECT_TRUE(found->IsMember(1) && found->IsMember(c));
  EXPECT_EQ(engine.mLanguage, "German");
  EXPECT_FALSE(engine.mCaseSensitive);
  EXPECT_EQ(F(1).GetRecID(), c);  // back on its record
  EXPECT_EQ(F(1).GetString(), "concat");
}

TEST_F(StringFieldTest, BinaryValuesCompareAsBytes) {
  CreateDb();
  MakeTable({{kTypeFixedBinary, 0, 4}, {kTypeVarBinary, 0, 6}});
  BF_FixedBinary& fixed = As<BF_FixedBinary>(1);
  fixed.SetData("\x01\x02\x03\x04\x05", 5);
  EXPECT_EQ(fixed.GetDataLength(), 4u);
  EXPECT_EQ(fixed.GetContent(), std::string("\x01\x02\x03\x04"));
  uint8_t buffer[6] = {};
  fixed.GetValue(buffer);
  uint16_t length;
  std::memcpy(&length, buffer, 2);
  EXPECT_EQ(length, 4);
  uint8_t other[7] = {};
  uint16_t three = 3;
  std::memcpy(other, &three, 2);
  std::memcpy(other + 2, "\x01\x02\x03", 3);
  EXPECT_EQ(fixed.Compare(other), 1);  // longer after its prefix
  other[4] = 0x02;
  EXPECT_EQ(fixed.Compare(other), 1);
  other[4] = 0xFF;
  EXPECT_EQ(fixed.Compare(other), -1);
  F(2).SetValue(buffer);
  EXPECT_EQ(As<BF_VarBinary>(2).GetContent(), std::string("\x01\x02\x03\x04"));
  As<BF_VarBinary>(2).SetData(std::string(3, '\0').data(), 3);
  EXPECT_EQ(As<BF_VarBinary>(2).GetDataLength(), 3u);
  REC_ID r = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(r);
  EXPECT_EQ(As<BF_VarBinary>(2).GetContent(), std::string(3, '\0'));
}

TEST_F(StringFieldTest, DamagedStoredLengthsRaise) {
  CreateDb();
  MakeTable({{kTypeFixedBinary, 0, 4}});
  As<BF_FixedBinary>(1).SetData("ab", 2);
  REC_ID r = mTable->AddRecord();
  mTable.reset();
  {
    FBL_EmbededFile values(*mDb->GetRecordVolume(), 1, kKindValues, 1);
    values.Open();
    const uint16_t bad = 9;
    values.SetPosition(0);
    values.Write(&bad, 2);
    values.Flush();
    values.Close();
  }
  MakeTable(mColumns);
  EXPECT_EQ(ErrorCode([&] { mTable->GoToRecord(r); }), 303);
}

TEST_F(StringFieldTest, AStoredValueLongerThanItsFieldRaises351) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 10}, {kTypeVarBinary, kFieldByWords, 10}});
  EXPECT_FALSE(F(2).HasFlag(kFieldByWords));  // byte strings have no words
  F(2).AddFlags(kFieldByWords, false);
  EXPECT_FALSE(F(2).HasFlag(kFieldByWords));
  AddText("fits");
  AddText("fits too");
  mTable.reset();
  for (uint16_t field : {1, 2}) {
    FBL_ULongFile ref(*mDb->GetRecordVolume(), 1, kKindValues, field);
    FBL_VarCharFile file(*mDb->GetRecordVolume(), 1, kKindSecondFile, field, 10);
    file.SetRefFile(&ref);
    file.Open();
    file.WriteValue(2, "far longer than ten", 19);
    file.Close();
  }
  MakeTable(mColumns);
  EXPECT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(F(1).GetString(), "fits");
  EXPECT_EQ(ErrorCode([&] { mTable->GoToRecord(2); }), 351);
  EXPECT_EQ(ErrorCode([&] { F(2).ReadRecord(2); }), 351);
}

TEST_F(StringFieldTest, DeletedVarCharRecordsKeepAnEmptyValue) {
  CreateDb();
  MakeTable({{kTypeVarChar, kFieldNullable, 30}, {kTypeVarBinary, 0, 30}});
  AddText("first");
  F(1).SetNull(true);
  REC_ID b = mTable->AddRecord();
  mTable->GoToRecord(1);
  mTable->DeleteRecord();
  mTable.reset();
  EXPECT_EQ(RawVarChar(1, 30, 1), "");
  MakeTable(mColumns);
  mTable->GoToRecord(b);
  EXPECT_TRUE(F(1).IsNull());
  // Truncation cuts the VarChar file.
  F(1).Truncate(0);
  mTable.reset();
  FBL_ULongFile ref(*mDb->GetRecordVolume(), 1, kKindValues, 1);
  FBL_VarCharFile file(*mDb->GetRecordVolume(), 1, kKindSecondFile, 1, 30);
  file.SetRefFile(&ref);
  file.Open();
  EXPECT_EQ(file.GetRecordCount(), 0u);
  file.Close();
}

TEST_F(StringFieldTest, CursorCopiesShareTheColumn) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 12, "French"}});
  REC_ID r = AddText("copy me");
  BF_VarChar copy("c", 0);
  copy.InitFromField(F(1));
  EXPECT_EQ(copy.GetDeclaredLength(), 12u);
  EXPECT_EQ(copy.GetLanguage().GetName(), "French");
  copy.ReadRecord(r);
  EXPECT_EQ(copy.GetString(), "copy me");
}

TEST_F(StringFieldTest, ChangingTheFieldNumberMovesVarCharFiles) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 20}});
  for (int i = 0; i < 50; ++i) AddText("value " + std::to_string(i));
  F(1).ChangeNumber(7);
  mTable->GoToRecord(33);
  EXPECT_EQ(F(1).GetString(), "value 32");
  mTable->Flush();
  mTable.reset();
  EXPECT_EQ(RawVarChar(7, 20, 50), "value 49");
  FBL_EmbededFile old(*mDb->GetRecordVolume(), 1, kKindSecondFile, 1);
  EXPECT_FALSE(old.Exists());
}

TEST_F(StringFieldTest, DroppingFilesRemovesBoth) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 20}});
  AddText("x");
  F(1).DropFiles();
  FBL_EmbededFile ref(*mDb->GetRecordVolume(), 1, kKindValues, 1);
  FBL_EmbededFile var(*mDb->GetRecordVolume(), 1, kKindSecondFile, 1);
  EXPECT_FALSE(ref.Exists());
  EXPECT_FALSE(var.Exists());
}

}  // namespace
