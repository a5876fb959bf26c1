// Searches by regular expression through string and text columns, with the
// engine the process starts with.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kernel/tables/blob_fields.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/text_matcher.h"
#include "tests/support/key_index.h"

namespace {

using namespace ztest;

class RegexFieldSearchTest : public StringTableTest {
 protected:
  // The records of field position whose text matches.
  std::set<REC_ID> Find(uint32_t position, const std::string& pattern, bool caseSensitive) {
    std::unique_ptr<FBL_BitSet> found;
    if (auto* text = dynamic_cast<BF_TEXT*>(&F(position)))
      found = text->FindByRegExpr(pattern, caseSensitive);
    else
      found = As<BF_STRING>(position).FindByRegExpr(pattern, caseSensitive);
    std::set<REC_ID> ids;
    for (REC_ID r = found->NextMember(0); r != 0; r = found->NextMember(r)) ids.insert(r);
    return ids;
  }
  // Adds a record of the texts, one per field; a null pointer leaves it null.
  REC_ID Add(const std::vector<const char*>& texts) {
    for (uint32_t i = 0; i < texts.size(); ++i) {
      if (texts[i] == nullptr)
        F(i + 1).SetNull(true);
      else
        F(i + 1).SetString(texts[i]);
    }
    return mTable->AddRecord();
  }
};

TEST_F(RegexFieldSearchTest, ColumnsOfEachKindAndLanguage) {
  EXPECT_EQ(zv::GetTextMatcherEngine(), &zv::RegexTextMatcherEngine());
  CreateDb();
  // 1 String (ASCII, nullable), 2 VarChar (French), 3 Text (Russian).
  MakeTable({{kTypeString, kFieldNullable, 30},
        {kTypeVarChar, kFieldNullable, 60, "French"},
        {kTypeText, 0, 0, "Russian"}});
  Add({"apple pie", "\xC9t\xE9", "\xCC\xEE\xF1\xEA\xE2\xE0"});  // Été, Москва
  Add({nullptr, nullptr, ""});
  Add({"", "ETE", "\xEC\xEE\xF1\xEA\xE2\xE0"});                 // москва
  Add({"Banana 42", "\xE9t\xE9", "\xCC\xCE\xD1\xCA\xC2\xC0"});  // été, МОСКВА
  const REC_ID gone = Add({"banana", "\xE9t\xE9", "x"});
  mTable->GoToRecord(gone);
  mTable->DeleteRecord();

  const struct {
    uint32_t field;
    std::string pattern;
    bool caseSensitive;
    std::set<REC_ID> found;
  } kSearches[] = {
      // A null value never matches, not even a pattern that matches the
      // empty text; a deleted record neither.
      {1, "^$", true, {3}},
      {1, "", true, {1, 3, 4}},
      {1, "[^[:alpha:]]", true, {1, 4}},
      {1, "[[:digit:]]{2}$", true, {4}},
      {1, "^b", true, {}},
      {1, "^b", false, {4}},
      {1, "(?i)^B|pie", true, {1, 4}},
      {2, "^$", false, {}},
      {2, "^\xE9t\xE9$", true, {4}},
      {2, "^\xE9t\xE9$", false, {1, 4}},
      {2, "^[[:upper:]]", true, {1, 3}},
      {3, "^$", true, {2}},
      {3, "\xEC\xEE\xF1\xEA\xE2\xE0", true, {3}},
      {3, "\xEC\xEE\xF1\xEA\xE2\xE0", false, {1, 3, 4}},
      {3, "^[[:upper:]]{6}$", true, {4}},
  };
  for (const auto& s : kSearches) {
    EXPECT_EQ(Find(s.field, s.pattern, s.caseSensitive), s.found)
        << "field " << s.field << " /" << s.pattern << "/";
  }
}

TEST_F(RegexFieldSearchTest, BadAndRunawayPatternsAreErrors) {
  CreateDb();
  MakeTable({{kTypeVarChar, 0, 200}});
  const REC_ID first = Add({"short"});
  const std::string run = std::string(60, 'a') + "b";
  Add({run.c_str()});
  mTable->GoToRecord(first);
  EXPECT_EQ(ErrorCode([&] { Find(1, "(unclosed", true); }), ERR_PARSER);
  // Stopped on the second record, the field goes back to its own.
  EXPECT_EQ(ErrorCode([&] { Find(1, "(a+)+$", true); }), ERR_PARSER);
  EXPECT_EQ(F(1).GetRecID(), first);
  EXPECT_EQ(F(1).GetString(), "short");
  EXPECT_EQ(Find(1, "^(a+)+b$", true), std::set<REC_ID>{2});
}

}  // namespace
