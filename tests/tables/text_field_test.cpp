#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "kernel/storage/byte_order.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/language.h"
#include "kernel/tables/picture_codec.h"
#include "kernel/tables/string_fields.h"
#include "tests/support/key_index.h"

namespace {

using namespace ztest;

class TextFieldTest : public StringTableTest {
 protected:
  BF_TEXT& Text(uint32_t position) { return As<BF_TEXT>(position); }
  REC_ID AddText(const std::string& text) {
    F(1).SetString(text);
    return mTable->AddRecord();
  }
  // The raw BLOB data of the current record of a BLOB-family field.
  std::vector<uint8_t> Raw(uint32_t position) {
    BF_BLOB& blob = As<BF_BLOB>(position);
    uint32_t ref = 0;
    blob.GetValue(&ref);
    std::vector<uint8_t> raw(blob.Blobs().GetValueSize(ref));
    blob.Blobs().ReadValue(raw.data(), static_cast<uint32_t>(raw.size()), ref, 0);
    return raw;
  }
};

TEST_F(TextFieldTest, LanguageAndComparisonOverTheKeyPrefix) {
  CreateDb();
  MakeTable({{kTypeText}, {kTypeText, 0, 0, "French"}, {kTypeText, 0, 0, "Martian"}});
  EXPECT_EQ(Text(1).GetLanguage().GetName(), "ASCII");
  EXPECT_EQ(Text(2).GetLanguage().GetName(), "French");
  EXPECT_EQ(Text(3).GetLanguage().GetName(), "ASCII");
  EXPECT_FALSE(Text(2).SetLanguage("Martian", false));
  EXPECT_EQ(Text(2).GetLanguage().GetName(), "French");
  for (uint32_t f : {1u, 2u}) F(f).SetString("B");
  std::string a = Key("a");
  EXPECT_EQ(F(1).Compare(a.data()), -1);  // ASCII: upper case first
  EXPECT_EQ(F(2).Compare(a.data()), 1);
  std::string ab = Key("ab"), abc = Key("abc");
  EXPECT_EQ(F(1).CompareValues(ab.data(), abc.data()), -1);
  EXPECT_EQ(F(1).CompareValues(abc.data(), abc.data()), 0);
  // A null text compares as the empty text.
  F(1).SetString("");
  std::string empty = Key("");
  EXPECT_EQ(F(1).Compare(empty.data()), 0);
}

TEST_F(TextFieldTest, KeysAreTheFirst255BytesInPlainAndCompressedColumns) {
  CreateDb();
  MakeTable({{kTypeText}, {kTypeText, kFieldCompressed}});
  std::string text(100000, 'k');
  text[10] = 'Q';
  for (uint32_t f : {1u, 2u}) {
    F(f).SetString(text);
    EXPECT_FALSE(F(f).HasFixedKey());
    uint8_t key[kMaxIndexKeySize];
    ASSERT_EQ(F(f).MakeKey(key), 256u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 256), Key(text.substr(0, 255)));
    EXPECT_EQ(F(f).GetKeyLength(key), 256u);
    F(f).SetString("short");
    ASSERT_EQ(F(f).MakeKey(key), 6u);
    EXPECT_EQ(key[0], 5);
  }
}

TEST_F(TextFieldTest, AnIndexedTextFollowsUpdatesAndDeletions) {
  CreateDb();
  MakeTable({{kTypeText, kFieldIndexed}});
  REC_ID a = AddText("first text");
  REC_ID b = AddText("second");
  mTable->GoToRecord(a);
  F(1).SetString("changed");
  mTable->UpdateRecord();
  std::multimap<std::string, REC_ID> expected = {{Key("changed"), a}, {Key("second"), b}};
  EXPECT_EQ(IndexOf(1).mKeys, expected);
  mTable->GoToRecord(b);
  mTable->DeleteRecord();
  EXPECT_EQ(IndexOf(1).mKeys.size(), 1u);
  std::unique_ptr<FBL_BitSet> found = Text(1).FindRangeByText("cha", true, "cha", false);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Count(), 1u);
  EXPECT_TRUE(found->IsMember(a));
}

TEST_F(TextFieldTest, ByWordsTextsAreNeverUnique) {
  CreateDb();
  MakeTable({{kTypeText, kFieldIndexed | kFieldUnique | kFieldByWords}});
  EXPECT_TRUE(F(1).HasFlag(kFieldByWords));
  EXPECT_FALSE(F(1).HasFlag(kFieldUnique));
  AddText("red green red");
  AddText("red");  // a by-words index takes the same word twice
  EXPECT_EQ(IndexOf(1).GetEntryCount(), 3u);
  std::vector<std::string> keys;
  F(1).SetString(std::string(300, 'z') + " a");
  F(1).MakeWordKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::string>{Key("a"), Key(std::string(255, 'z'))}));
  mFactory.mLog.clear();
  F(1).RemoveFlags(kFieldByWords, true);
  EXPECT_EQ(mFactory.mLog, (std::vector<std::string>{"drop f1", "make f1"}));
  EXPECT_EQ(IndexOf(1).GetEntryCount(), 2u);
}

// Texts are stored as they are: only String and VarChar values change
// character set in a database of the other byte order.
TEST_F(TextFieldTest, TextInADatabaseOfTheOtherByteOrder) {
  CreateDb(FBL_ByteOrder::kBigEndian);
  MakeTable({{kTypeText}, {kTypePicture}});
  const std::string text = "caf\xE9 \xC4";
  REC_ID r = AddText(text);
  Reopen();
  mTable->GoToRecord(r);
  EXPECT_EQ(F(1).GetString(), text);
  std::vector<uint8_t> raw = Raw(1);
  EXPECT_EQ(std::string(raw.begin(), raw.end()), text);
  auto& picture = As<BF_Picture>(2);
  picture.SetPicture("\x01\x02\x03", 3, 9);
  mTable->UpdateRecord();
  raw = Raw(2);
  ASSERT_EQ(raw.size(), 11u);
  EXPECT_EQ(zorder::LoadU32(raw.data(), true), 9u);
  EXPECT_EQ(zorder::LoadU32(raw.data() + 4, true), 3u);
}

TEST_F(TextFieldTest, DamagedPicturesRaiseWithoutCrashing) {
  CreateDb();
  MakeTable({{kTypePicture}});
  auto& picture = As<BF_Picture>(1);
  uint16_t kind = 0;
  std::vector<uint8_t> data;
  // Shorter than its header, and a length past the value: BLOB damage (38).
  picture.SetData("\x01\x00\x00", 3);
  EXPECT_EQ(ErrorCode([&] { picture.GetPicture(kind, data); }), 38);
  EXPECT_EQ(ErrorCode([&] { picture.GetBitmap(); }), 38);
  uint8_t header[12] = {};
  zorder::StoreU32(header, 1, false);
  zorder::StoreU32(header + 4, 0xFFFFFFF0u, false);
  picture.SetData(header, sizeof header);
  EXPECT_EQ(ErrorCode([&] { picture.GetPicture(kind, data); }), 38);
  // Data that is no JPEG, and a JPEG cut short, do not decode (303).
  picture.SetPicture("not a jpeg", 10, BF_Picture::kKindJpeg);
  EXPECT_EQ(ErrorCode([&] { picture.GetBitmap(); }), 303);
  std::vector<uint8_t> bmp(40 + zv::BitmapRowBytes(64, 24) * 64, 90);
  zorder::StoreU32(bmp.data(), 40, false);
  zorder::StoreU32(bmp.data() + 4, 64, false);
  zorder::StoreU32(bmp.data() + 8, 64, false);
  zorder::StoreU16(bmp.data() + 12, 1, false);
  zorder::StoreU16(bmp.data() + 14, 24, false);
  zorder::StoreU32(bmp.data() + 16, 0, false);
  zorder::StoreU32(bmp.data() + 32, 0, false);
  std::vector<uint8_t> jpeg = zv::BitmapToJpeg(bmp.data(), bmp.size(), 50);
  picture.SetPicture(jpeg.data(), static_cast<uint32_t>(jpeg.size() / 2), BF_Picture::kKindJpeg);
  EXPECT_EQ(ErrorCode([&] { picture.GetBitmap(); }), 303);
  picture.SetPicture(jpeg.data(), static_cast<uint32_t>(jpeg.size()), BF_Picture::kKindJpeg);
  EXPECT_EQ(picture.GetBitmap().size(), 40 + zv::BitmapRowBytes(64, 24) * 64);
}

}  // namespace
