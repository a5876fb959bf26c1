// The typed access an expression uses: the value class of each type, its
// value as integer bits and as a double, set from them as AssignFrom
// converts; and the types that cannot answer a number or a text search.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kernel/tables/numeric_fields.h"
#include "tests/tables/fake_index.h"

namespace {

using ztest::ErrorCode;
using ztest::TableTest;
using VC = FBL_BaseField::ValueClass;

struct Case {
  uint8_t type;
  VC valueClass;
  // Set from these bits (signed), read back as text, bits and double.
  int64_t bits;
  const char* text;
  uint64_t readBits;
  double readDouble;
  // Then set from this double, read back as text.
  double value;
  const char* fromDouble;
};

const std::vector<Case> kCases = {
    {kTypeBoolean, VC::kUnsigned, 5, "1", 1, 1, 0.0, "0"},
    {kTypeByte, VC::kUnsigned, 300, "44", 44, 44, 2.9, "2"},
    {kTypeShort, VC::kSigned, -5, "-5", static_cast<uint64_t>(-5), -5, -2.7, "-2"},
    {kTypeMedium, VC::kSigned, 0x1FFFFFF, "-1", static_cast<uint64_t>(-1), -1, 8388607.5,
     "8388607"},
    {kTypeUMedium, VC::kUnsigned, -1, "16777215", 16777215, 16777215, 3.5, "3"},
    {kTypeLong, VC::kSigned, -2147483648LL, "-2147483648", static_cast<uint64_t>(-2147483648LL),
     -2147483648.0, 1e12, "-727379968"},  // the low 32 bits of 10^12
    {kTypeULong, VC::kUnsigned, -1, "4294967295", 4294967295u, 4294967295.0, -1.5, "4294967295"},
    {kTypeLLong, VC::kSigned, -7, "-7", static_cast<uint64_t>(-7), -7, -1e3, "-1000"},
    {kTypeULLong, VC::kUnsigned, -1, "18446744073709551615", UINT64_MAX, 18446744073709551615.0,
     12.9, "12"},
    {kTypeFloat, VC::kFloating, -3, "-3", static_cast<uint64_t>(-3), -3, 0.5, "0.5"},
    {kTypeDouble, VC::kFloating, 1LL << 40, "1099511627776", 1ULL << 40, 1099511627776.0, -2.25,
     "-2.25"},
    {kTypeDate, VC::kSigned, (2004 << 9) | (2 << 5) | 29, "02/29/2004", (2004 << 9) | (2 << 5) | 29,
     (2004 << 9) | (2 << 5) | 29, 1025.0, "00/01/0002"},
    {kTypeTime, VC::kUnsigned, (13 << 12) | (5 << 6) | 9, "13:05:09", (13 << 12) | (5 << 6) | 9,
     (13 << 12) | (5 << 6) | 9, 64.0, "00:01:00"},
    {kTypeObjectPtr, VC::kUnsigned, 17, "17", 17, 17, 4.0, "4"},
    // Text types take the number's text and read as no number.
    {kTypeString, VC::kOther, -12, "-12", 0, 0, 2.5, "2.5"},
    {kTypeVarChar, VC::kOther, 12, "12", 0, 0, -0.125, "-0.125"},
    {kTypeText, VC::kOther, 99, "99", 0, 0, 1e20, "1E+20"},
    {kTypeFixedBinary, VC::kBinary, 7, "7", 0, 0, 7.0, "7"},
};

}  // namespace

TEST_F(TableTest, TypedAccessConvertsAsAssignmentDoes) {
  CreateDb();
  std::vector<ztest::Column> fields;
  for (const Case& c : kCases) fields.emplace_back(c.type, kFieldNullable);
  MakeTable(fields);
  for (uint32_t i = 0; i < kCases.size(); ++i) {
    const Case& c = kCases[i];
    FBL_BaseField& f = F(i + 1);
    SCOPED_TRACE(zv::TypeName(c.type));
    EXPECT_EQ(f.GetValueClass(), c.valueClass);
    f.SetFromBits(static_cast<uint64_t>(c.bits), true);
    EXPECT_FALSE(f.IsNull());
    EXPECT_TRUE(f.IsDirty());
    EXPECT_EQ(f.GetString(), c.text);
    EXPECT_EQ(f.GetAsBits(), c.readBits);
    EXPECT_EQ(f.GetAsDouble(), c.readDouble);
    f.SetFromDouble(c.value);
    EXPECT_EQ(f.GetString(), c.fromDouble);
    if (f.IsNullable()) {
      f.SetNull(true);
      EXPECT_EQ(f.GetAsBits(), 0u);
      EXPECT_EQ(f.GetAsDouble(), 0.0);
    }
  }
  // Written and read back, the values hold.
  REC_ID r = mTable->AddRecord();
  F(3).SetFromBits(static_cast<uint64_t>(-9), true);
  mTable->UpdateRecord();
  ASSERT_TRUE(mTable->GoToRecord(r));
  EXPECT_EQ(static_cast<int64_t>(F(3).GetAsBits()), -9);
}

TEST_F(TableTest, TypesThatCannotAnswerRaiseTheFieldError) {
  CreateDb();
  MakeTable({{kTypeLong, 0}, {kTypeBLOB, 0}, {kTypePicture, 0}, {kTypeText, 0}});
  auto id = zv::MakeField(kTypeRecID, "RecID", 0);
  mTable->AddField(std::move(id));
  FBL_BaseField& recID = F(5);
  EXPECT_EQ(ErrorCode([&] { recID.SetFromBits(3, false); }), 341);
  EXPECT_EQ(ErrorCode([&] { recID.SetFromDouble(3); }), 341);
  for (uint32_t blob : {2u, 3u}) {
    EXPECT_EQ(F(blob).GetValueClass(), FBL_BaseField::ValueClass::kBinary);
    EXPECT_EQ(ErrorCode([&] { F(blob).SetFromBits(1, true); }), 303);
    EXPECT_EQ(ErrorCode([&] { F(blob).SetFromDouble(1); }), 303);
    EXPECT_EQ(ErrorCode([&] { F(blob).FindRangeByText("a", true, "b", true); }), 303);
    EXPECT_EQ(ErrorCode([&] { F(blob).FindByRegExpr("a", true); }), 303);
  }
  EXPECT_EQ(ErrorCode([&] { F(1).FindByRegExpr("1", true); }), 303);
  // Text set into a BLOB is its data, not a reference.
  F(2).SetString("12");
  EXPECT_EQ(F(2).GetString(), "12");
  REC_ID r = mTable->AddRecord();
  ASSERT_TRUE(mTable->GoToRecord(r));
  EXPECT_EQ(F(2).GetString(), "12");
  EXPECT_EQ(F(4).GetValueClass(), FBL_BaseField::ValueClass::kOther);
}
