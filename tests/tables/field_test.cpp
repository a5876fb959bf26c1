// Fixed-size fields: values, nulls, text, conversions, files and byte order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <utility>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/date_time.h"
#include "kernel/tables/date_time_fields.h"
#include "kernel/tables/numeric_fields.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::TableTest;
using Fields = std::vector<ztest::Column>;

// One field of every fixed type, nullable, in the factory's order.
const Fields kEveryType = {{kTypeBoolean, kFieldNullable},
                           {kTypeByte, kFieldNullable},
                           {kTypeShort, kFieldNullable},
                           {kTypeUShort, kFieldNullable},
                           {kTypeMedium, kFieldNullable},
                           {kTypeUMedium, kFieldNullable},
                           {kTypeLong, kFieldNullable},
                           {kTypeULong, kFieldNullable},
                           {kTypeLLong, kFieldNullable},
                           {kTypeULLong, kFieldNullable},
                           {kTypeFloat, kFieldNullable},
                           {kTypeDouble, kFieldNullable},
                           {kTypeDate, kFieldNullable},
                           {kTypeTime, kFieldNullable},
                           {kTypeDateTime, kFieldNullable},
                           {kTypeObjectPtr, 0},
                           {kTypeRecID, 0}};

const char* const kTexts[][17] = {
    {"1", "200", "-300", "60000", "-8000000", "16000000", "-2000000000", "4000000000",
     "-9000000000000000000", "18000000000000000000", "1.5", "3.141592653589793", "02/29/2004",
     "23:59:58", "12/31/1999 01:02:03", "77", ""},
    {"0", "0", "32767", "1", "8388607", "0", "2147483647", "0", "1", "0", "-2.5E+10", "-1E-300",
     "01/01/0001", "00:00:00", "01/01/2000 00:00:00", "0", ""}};

void FillRecord(FBL_Table& table, int row) {
  for (uint32_t i = 1; i <= 16; ++i) table.GetField(i)->SetString(kTexts[row][i - 1]);
}

void CheckRecord(FBL_Table& table, REC_ID r, int row) {
  ASSERT_TRUE(table.GoToRecord(r));
  for (uint32_t i = 1; i <= 16; ++i) {
    EXPECT_EQ(table.GetField(i)->GetString(), kTexts[row][i - 1]) << "field " << i;
  }
  EXPECT_EQ(table.GetField(17)->GetString(), std::to_string(r));
}

}  // namespace

TEST_F(TableTest, EveryFixedTypeSurvivesAReopenInBothByteOrders) {
  for (FBL_ByteOrder order : {FBL_ByteOrder::kDefault, FBL_ByteOrder::kBigEndian}) {
    CreateDb(order);
    MakeTable(kEveryType);
    FillRecord(*mTable, 0);
    mTable->AddRecord();
    FillRecord(*mTable, 1);
    mTable->AddRecord();
    for (uint32_t i = 1; i <= 15; ++i) F(i).SetNull(true);
    F(16).SetString("5");
    mTable->AddRecord();
    Reopen();
    CheckRecord(*mTable, 1, 0);
    CheckRecord(*mTable, 2, 1);
    ASSERT_TRUE(mTable->GoToRecord(3));
    for (uint32_t i = 1; i <= 15; ++i) {
      EXPECT_TRUE(F(i).IsNull()) << i;
      EXPECT_EQ(F(i).GetString(), "");
    }
    EXPECT_EQ(F(17).GetString(), "3");
    mTable.reset();
    mDb.reset();
    for (const char* ext : {".vdb", ".dat", ".ind"}) std::remove((Path() + ext).c_str());
  }
}

TEST_F(TableTest, OtherByteOrderStoresReversedValues) {
  CreateDb(FBL_ByteOrder::kBigEndian);
  MakeTable({{kTypeLong, 0}, {kTypeDateTime, 0}, {kTypeMedium, 0}});
  static_cast<BF_LONG&>(F(1)).Set(0x01020304);
  static_cast<BF_DateTime&>(F(2)).Set(
      static_cast<int64_t>(zv::PackDateTime(0x0A0B0C0D, 0x01020304)));
  static_cast<BF_Medium&>(F(3)).Set(-2);
  mTable->AddRecord();
  mTable->Flush();
  auto raw = [&](uint32_t number, uint32_t n) {
    FBL_EmbededFile file(*mDb->GetRecordVolume(), 1, kKindValues, static_cast<uint16_t>(number));
    file.Open();
    std::vector<uint8_t> bytes(n);
    file.SetPosition(0);
    file.Read(bytes.data(), n);
    file.Close();
    return bytes;
  };
  EXPECT_EQ(raw(1, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  // Time word first, then the date word, each reversed alone.
  EXPECT_EQ(raw(2, 8), (std::vector<uint8_t>{1, 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D}));
  EXPECT_EQ(raw(3, 3), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF}));
}

TEST_F(TableTest, NullableFieldsKeepANullMapOthersAreNeverNull) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldNullable}, {kTypeLong, 0}});
  auto& nullable = static_cast<BF_LONG&>(F(1));
  auto& plain = static_cast<BF_LONG&>(F(2));
  nullable.Set(42);
  nullable.SetNull(true);
  plain.Set(7);
  plain.SetNull(true);
  EXPECT_FALSE(plain.IsNull());
  mTable->AddRecord();
  nullable.Set(1);
  mTable->AddRecord();
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_TRUE(nullable.IsNull());
  EXPECT_EQ(nullable.Get(), 0);
  EXPECT_EQ(plain.Get(), 7);
  auto nulls = nullable.SelectNulls();
  EXPECT_EQ(nulls->Count(), 1u);
  EXPECT_TRUE(nulls->IsMember(1));
  EXPECT_EQ(plain.SelectNulls()->Count(), 0u);
  nullable.SetString("5");
  EXPECT_FALSE(nullable.IsNull());
}

TEST_F(TableTest, TextRulesOfEachType) {
  CreateDb();
  MakeTable({{kTypeBoolean, 0},
             {kTypeDate, 0},
             {kTypeMedium, 0},
             {kTypeUMedium, 0},
             {kTypeByte, 0},
             {kTypeULong, 0},
             {kTypeTime, 0}});
  for (const char* yes : {"true", "TRUE", "1", "Trueish"}) {
    F(1).SetString(yes);
    EXPECT_EQ(F(1).GetString(), "1") << yes;
  }
  for (const char* no : {"yes", "0", "", "2"}) {
    F(1).SetString(no);
    EXPECT_EQ(F(1).GetString(), "0") << no;
  }
  F(2).SetString("2/29/2004");
  EXPECT_EQ(static_cast<BF_DATE&>(F(2)).Get(), 2004 * 512 + 2 * 32 + 29);
  EXPECT_EQ(F(2).GetString(), "02/29/2004");
  F(3).SetString("-1");
  F(4).SetString("-1");
  mTable->AddRecord();
  mTable->GoToRecord(1);
  EXPECT_EQ(static_cast<BF_Medium&>(F(3)).Get(), -1);
  EXPECT_EQ(static_cast<BF_UMedium&>(F(4)).Get(), 16777215u);
  F(5).SetString("300");  // 32-bit parse, then cut to a byte
  EXPECT_EQ(F(5).GetString(), "44");
  F(6).SetString("-1");
  EXPECT_EQ(F(6).GetString(), "4294967295");
  F(7).SetString("nonsense");
  EXPECT_EQ(static_cast<BF_TIME&>(F(7)).Get(), 0u);
  EXPECT_EQ(F(6).GetString(3), "429");
  EXPECT_EQ(F(1).GetMaxTextLength(), 5u);
  EXPECT_EQ(zv::MakeField(kTypeLong, "x", 0)->GetMaxTextLength(), 11u);
}

// Two databases open at once, each with its own date settings: a date or
// time field reads and forms text with its own database's; a field
// attached to no table uses the defaults.
TEST_F(TableTest, DatesFollowTheSettingsOfTheirOwnDatabase) {
  CreateDb();
  MakeTable({{kTypeDate, 0}, {kTypeDateTime, 0}});
  FBL_DataBase other;
  other.Create(mDir.File("other"), 8192, 4, FBL_ByteOrder::kDefault);
  FBL_DateSettings dayFirst = FBL_DateSettings::Defaults();
  dayFirst.mDateOrder = 1;
  dayFirst.mDateSeparator = '.';
  dayFirst.mTimeSeparator = '-';
  other.SetDateSettings(dayFirst);
  FBL_IndexedTable otherTable(other, 1);
  otherTable.SetIndexFactory(&mFactory);
  FBL_BaseField& otherDate = otherTable.AddField(zv::MakeField(kTypeDate, "d", 0));
  FBL_BaseField& otherStamp = otherTable.AddField(zv::MakeField(kTypeDateTime, "t", 0));
  otherTable.Open();

  F(1).SetString("2/29/2004");
  otherDate.SetString("29.2.2004");
  EXPECT_EQ(F(1).GetString(), "02/29/2004");
  EXPECT_EQ(otherDate.GetString(), "29.02.2004");
  F(2).SetString("2/29/2004 13:05:09");
  otherStamp.SetString("29.2.2004 13-05-09");
  EXPECT_EQ(F(2).GetString(), "02/29/2004 13:05:09");
  EXPECT_EQ(otherStamp.GetString(), "29.02.2004 13-05-09");
  for (auto [mine, theirs] : {std::pair{&F(1), &otherDate}, std::pair{&F(2), &otherStamp}}) {
    uint64_t a = 0, b = 0;
    mine->GetValue(&a);
    theirs->GetValue(&b);
    EXPECT_EQ(a, b) << mine->GetName();
  }

  auto loose = zv::MakeField(kTypeDate, "loose", 0);
  loose->SetString("2/29/2004");
  EXPECT_EQ(loose->GetString(), "02/29/2004");
}

TEST_F(TableTest, AssignFromConvertsBetweenFixedTypes) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldNullable},
             {kTypeDouble, kFieldNullable},
             {kTypeShort, 0},
             {kTypeFloat, 0},
             {kTypeDate, 0},
             {kTypeDateTime, 0},
             {kTypeULLong, 0},
             {kTypeBoolean, 0},
             {kTypeTime, 0},
             {kTypeUMedium, 0}});
  auto& lng = static_cast<BF_LONG&>(F(1));
  auto& dbl = static_cast<BF_DOUBLE&>(F(2));
  dbl.Set(2.7);
  lng.AssignFrom(dbl);
  EXPECT_EQ(lng.Get(), 2);
  EXPECT_TRUE(lng.IsDirty());
  dbl.Set(-2.7);
  lng.AssignFrom(dbl);
  EXPECT_EQ(lng.Get(), -2);
  dbl.Set(NAN);
  lng.AssignFrom(dbl);
  EXPECT_EQ(lng.Get(), 0);
  dbl.Set(1e300);  // no undefined conversion: the nearest end, then cut
  F(4).AssignFrom(dbl);
  EXPECT_TRUE(std::isinf(static_cast<BF_FLOAT&>(F(4)).Get()));
  dbl.SetNull(true);
  lng.AssignFrom(dbl);
  EXPECT_TRUE(lng.IsNull());
  EXPECT_EQ(lng.Get(), 0);
  lng.Set(70000);
  F(3).AssignFrom(lng);  // two's complement cut
  EXPECT_EQ(static_cast<BF_SHORT&>(F(3)).Get(), 4464);
  lng.Set(-1);
  F(7).AssignFrom(lng);  // sign-extended
  EXPECT_EQ(F(7).GetString(), "18446744073709551615");
  F(10).AssignFrom(lng);
  EXPECT_EQ(F(10).GetString(), "16777215");
  F(8).AssignFrom(lng);
  EXPECT_EQ(F(8).GetString(), "1");
  F(6).SetString("12/31/1999 01:02:03");
  F(5).AssignFrom(F(6));
  EXPECT_EQ(F(5).GetString(), "12/31/1999");
  F(9).AssignFrom(F(6));
  EXPECT_EQ(F(9).GetString(), "01:02:03");
  F(5).SetString("1/2/2003");
  F(6).AssignFrom(F(5));
  EXPECT_EQ(F(6).GetString(), "01/02/2003 00:00:00");
  F(3).AssignFrom(F(8));
  EXPECT_EQ(F(3).GetString(), "1");
}

TEST_F(TableTest, CompareOrdersBySignednessAndDate) {
  CreateDb();
  MakeTable({{kTypeLong, 0}, {kTypeULong, 0}, {kTypeDate, 0}, {kTypeDouble, 0}});
  int32_t a = -1, b = 1;
  EXPECT_EQ(F(1).CompareValues(&a, &b), -1);
  uint32_t ua = 0xFFFFFFFF, ub = 1;
  EXPECT_EQ(F(2).CompareValues(&ua, &ub), 1);
  EXPECT_EQ(F(2).CompareValues(&ub, &ub), 0);
  F(3).SetString("1/1/-5");  // a negative year sorts before year 1
  int32_t year1 = static_cast<int32_t>(zv::PackDate({1, 1, 1}));
  EXPECT_EQ(F(3).Compare(&year1), -1);
  static_cast<BF_DOUBLE&>(F(4)).Set(0.5);
  double d = 0.25;
  EXPECT_EQ(F(4).Compare(&d), 1);
}

TEST_F(TableTest, RecIDFieldsAreConstant) {
  CreateDb();
  MakeTable({{kTypeRecID, 0}});
  EXPECT_EQ(F(1).GetFlags(), 0);
  EXPECT_EQ(ztest::ErrorCode([&] { F(1).SetString("4"); }), 341);
  uint32_t v = 4;
  EXPECT_EQ(ztest::ErrorCode([&] { F(1).SetValue(&v); }), 341);
  EXPECT_EQ(mTable->AddRecord(), 1u);
  EXPECT_EQ(mTable->AddRecord(), 2u);
  mTable->GoToRecord(1);
  EXPECT_EQ(F(1).GetString(), "1");
}

TEST_F(TableTest, FactoryFlagsAndClasses) {
  EXPECT_EQ(zv::MakeField(kTypeLong, "a", 0)->GetFlags(), kFieldKeepsOldValue);
  EXPECT_EQ(zv::MakeField(kTypeBoolean, "a", 0)->GetFlags(), kFieldKeepsOldValue | kFieldIndexed);
  EXPECT_EQ(zv::MakeField(kTypeObjectPtr, "a", 0)->GetFlags(), kFieldKeepsOldValue | kFieldIndexed);
  EXPECT_EQ(zv::MakeField(kTypeRecID, "a", kFieldNullable)->GetFlags(), 0);
  EXPECT_EQ(zv::MakeField(kTypeEnum, "a", 0), nullptr);
  EXPECT_EQ(zv::MakeField(kTypeSound, "a", 0), nullptr);
  EXPECT_EQ(zv::MakeField(kTypeDate, "a", 0)->GetType(), kTypeDate);
  EXPECT_NE(dynamic_cast<BF_LONG*>(zv::MakeField(kTypeDate, "a", 0).get()), nullptr);
  EXPECT_NE(dynamic_cast<BF_TablePTR*>(zv::MakeField(kTypeObjectPtr, "a", 0).get()), nullptr);
  auto b = zv::MakeField(kTypeBoolean, "b", 0);
  b->RemoveFlags(kFieldIndexed, false);
  EXPECT_TRUE(b->HasFlag(kFieldIndexed));
  EXPECT_STREQ(zv::TypeName(kTypeLLong), "Long Long");
  EXPECT_EQ(zv::TypeCodeOfName("DateTime"), kTypeDateTime);
  EXPECT_EQ(zv::TypeCodeOfName("UMedium"), kTypeUMedium);
  EXPECT_EQ(zv::TypeCodeOfName("ID"), kTypeRecID);
  EXPECT_EQ(zv::TypeCodeOfName("long"), std::nullopt);
  EXPECT_EQ(zv::TypeCodeOfName(""), std::nullopt);
}

TEST_F(TableTest, CopiesShareTheDescriptor) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  auto copy = zv::MakeField(kTypeLong, "copy", 0);
  copy->InitFromField(F(1));
  EXPECT_EQ(F(1).GetShareCount(), 2);
  EXPECT_EQ(copy->GetName(), "f1");
  static_cast<BF_LONG&>(F(1)).Set(9);
  mTable->AddRecord();
  copy->ReadRecord(1);
  EXPECT_EQ(copy->GetString(), "9");
  copy.reset();
  EXPECT_EQ(F(1).GetShareCount(), 1);
}

TEST_F(TableTest, TruncateRebuildChangeNumber) {
  CreateDb();
  MakeTable({{kTypeLong, kFieldNullable}, {kTypeBoolean, 0}});
  for (int i = 1; i <= 10; ++i) {
    F(1).SetString(std::to_string(i).c_str());
    F(2).SetString("1");
    mTable->AddRecord();
  }
  F(1).Truncate(0);
  F(2).Truncate(0);
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(F(1).GetString(), "0");
  EXPECT_EQ(F(2).GetString(), "0");
  EXPECT_EQ(F(1).SelectNulls()->Count(), 0u);
  // Bits grown again after the cut read as zeros, not as the bits cut off.
  F(2).SetString("1");
  F(2).WriteRecord(9);
  F(2).ReadRecord(10);
  EXPECT_EQ(F(2).GetString(), "0");
  F(2).ReadRecord(9);
  EXPECT_EQ(F(2).GetString(), "1");
  ASSERT_TRUE(mTable->GoToRecord(3));
  F(1).SetString("33");
  mTable->UpdateRecord();
  EXPECT_EQ(ztest::ErrorCode([&] { F(1).ChangeNumber(2); }), 303);  // the Boolean's files
  EXPECT_EQ(F(1).GetFieldNumber(), 1u);
  F(1).ChangeNumber(7);
  EXPECT_EQ(F(1).GetFieldNumber(), 7u);
  FBL_EmbededFile old(*mDb->GetRecordVolume(), 1, kKindValues, 1);
  EXPECT_FALSE(old.Exists());
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(F(1).GetString(), "33");
  F(1).Rebuild();
  ASSERT_TRUE(mTable->GoToRecord(3));
  EXPECT_EQ(F(1).GetString(), "33");
}

TEST_F(TableTest, CalculatedFieldsKeepTheirTextAndReadNull) {
  CreateDb();
  MakeTable({{kTypeLong, 0}});
  auto calc = zv::MakeField(kTypeLong, "calc", kFieldMethod);
  calc->SetMethodText("f1 * 2", false);
  FBL_BaseField& added = mTable->AddField(std::move(calc));
  EXPECT_TRUE(added.IsMethod());
  EXPECT_EQ(added.GetMethodText(), "f1 * 2");
  static_cast<BF_LONG&>(F(1)).Set(4);
  mTable->AddRecord();
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_TRUE(added.IsNull());
  EXPECT_EQ(added.GetString(), "");
  EXPECT_EQ(added.GetRecID(), 1u);
}

// The column scan a comparison makes agrees with comparing each record's
// value: slot by slot for columns whose slots hold the buffer's bytes, record
// by record for others (a Medium's three stored bytes, the other byte order),
// nulls and deleted records never taken.
TEST_F(TableTest, SelectComparedAgreesWithEachRecordsComparison) {
  std::mt19937 rng(5);
  for (FBL_ByteOrder order : {FBL_ByteOrder::kDefault, FBL_ByteOrder::kBigEndian}) {
    CreateDb(order);
    MakeTable({{kTypeDouble, kFieldNullable}, {kTypeLong, 0}, {kTypeMedium, kFieldNullable},
               {kTypeShort, kFieldNullable}});
    for (int r = 0; r < 3000; ++r) {
      for (uint32_t f = 1; f <= 4; ++f) {
        if (f != 2 && rng() % 5 == 0) {
          F(f).SetNull(true);
        } else {
          F(f).SetString(std::to_string(static_cast<int>(rng() % 41) - 20));
        }
      }
      mTable->AddRecord();
    }
    for (REC_ID r = 7; r <= 3000; r += 13) mTable->DeleteRecordByID(r);
    const std::unique_ptr<FBL_BitSet> alive = mTable->SelectAllRecords();
    for (uint32_t f = 1; f <= 4; ++f) {
      for (const char* boundText : {"-21", "-3", "0", "7", "20"}) {
        F(f).SetString(boundText);
        std::vector<uint8_t> bound(F(f).GetBufferSize() + 1);
        F(f).GetValue(bound.data());
        for (uint8_t orders = 1; orders <= 7; ++orders) {
          const std::unique_ptr<FBL_BitSet> got = F(f).SelectCompared(*alive, bound.data(), orders);
          FBL_BitSet want(alive->GetSize());
          for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
            ASSERT_TRUE(mTable->GoToRecord(r));
            if (F(f).IsNull()) continue;
            const int c = F(f).Compare(bound.data());
            const bool kept = c < 0 ? (orders & FBL_BaseField::kOrderLess) != 0
                              : c == 0 ? (orders & FBL_BaseField::kOrderEqual) != 0
                                       : (orders & FBL_BaseField::kOrderGreater) != 0;
            if (kept) want.Include(r);
          }
          ASSERT_EQ(got->Count(), want.Count()) << "field " << f << " bound " << boundText;
          got->Difference(want);
          ASSERT_TRUE(got->IsEmpty()) << "field " << f << " bound " << boundText;
        }
      }
    }
    mTable.reset();
    mDb->Close();
  }
}
