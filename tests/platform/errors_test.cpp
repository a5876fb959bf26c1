#include "platform/errors.h"

#include <gtest/gtest.h>

TEST(ErrorTable, HoldsEveryCodeOnceInAscendingOrder) {
  EXPECT_EQ(ErrorTableSize(), 97u);
  EXPECT_STREQ(ErrorText(0), "No error");
  EXPECT_STREQ(ErrorText(310), "Wrong parameter type");
  EXPECT_STREQ(ErrorText(605), "Can't be updated");
  EXPECT_STREQ(ErrorText(640),
               "ORDER BY field must be from table that has at least one SELECTed field.");
  EXPECT_STREQ(ErrorText(999), "");
  EXPECT_STREQ(ErrorText(-1), "");
}

TEST(Exceptions, ClassesCarryTheirCodesAndCatchAsTheirBases) {
  try {
    throw xFBL_InvPage();
  } catch (const xFBL_SXCorrupted& e) {
    EXPECT_EQ(e.Code, 372);
  }
  try {
    throw xFBL_WrongStructureEncryptionKey();
  } catch (const xFBL_DataFileError& e) {
    EXPECT_EQ(e.Code, 328);
  }
  try {
    throw xOBL_ParserError(608);
  } catch (const xFBL_Exception& e) {
    EXPECT_EQ(e.Code, 608);
  }
  EXPECT_EQ(xOBL_Exception().Code, 500);
  EXPECT_EQ(xOBL_RelationIsNotEmpty().Code, 551);
  EXPECT_EQ(xFBL_Exception(777).Code, 777);
}

TEST(Exceptions, AMessageReplacesTheStandardTextAndOutlivesItsThrower) {
  std::string text;
  xFBL_FieldIsUnique plain;
  plain.GetErrorString(text);
  EXPECT_EQ(text, "Field is unique");
  EXPECT_STREQ(plain.what(), "Field is unique");
  EXPECT_FALSE(plain.HasMessage());

  std::string message = "value 7 is already in field id";
  auto* original = new xFBL_FieldIsUnique(message.c_str());
  message.assign(message.size(), '#');  // the thrower's buffer may change
  xFBL_Exception copy(*original);
  delete original;
  copy.GetErrorString(text);
  EXPECT_EQ(text, "value 7 is already in field id");
  EXPECT_TRUE(copy.HasMessage());

  xFBL_Exception assigned(1);
  assigned = copy;
  assigned = assigned;
  assigned.GetErrorString(text);
  EXPECT_EQ(text, "value 7 is already in field id");
  EXPECT_EQ(assigned.Code, 344);

  // Callers that know only the standard library still read the text.
  try {
    throw xFBL_CorruptedVarChar();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "VarChar field corrupted");
  }
  EXPECT_STREQ(xFBL_Exception(777).what(), "");
}
