#include <gtest/gtest.h>

#include <cctype>

#include "api/api_layer.h"
#include "bridge/command_table.h"
#include "bridge_test_support.h"

using bridge_test::Block;
using bridge_test::Call;
using bridge_test::Cmd;

TEST(Dispatch, CommandWordsMatchWithoutRegardToCaseAndComeBackUpperCased) {
  for (const char* word : {"version", "VERSION", "Version", "vErSiOn"}) {
    auto call = Call({word, "extra argument"});
    EXPECT_EQ(call.result, "1.11") << word;
    EXPECT_EQ(call.texts[0], "VERSION");
    EXPECT_EQ(call.texts[1], "extra argument");  // only the command word is folded
  }
}

TEST(Dispatch, AWordThatOnlySharesACommandsHashIsUnknown) {
  // Found by a random search over words of upper-case letters and "_" of the
  // command's length (the hash of a short word is a plain weighted sum);
  // VERSIPL moves one unit between the last two letters.
  const struct {
    const char* word;
    const char* command;
  } kCollisions[] = {
      {"VERSIPL", "VERSION"},   {"ZHDCIIZ", "VERSION"},   {"zhdciiz", "VERSION"},
      {"SHUTDOXL", "SHUTDOWN"}, {"UIF_CTOB", "SHUTDOWN"}, {"Wdnhzmwf", "SHUTDOWN"},
  };
  api::ZDK_Start(1 << 20);
  for (const auto& c : kCollisions) {
    std::string upper = c.word;
    for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    ASSERT_EQ(bridge::CommandHash(upper.c_str()), bridge::CommandHash(c.command)) << c.word;
    EXPECT_EQ(bridge::FindCommand(upper.c_str()), -1) << c.word;
    EXPECT_EQ(Cmd({c.word}), "ERROR 310") << c.word;
  }
  EXPECT_TRUE(api::ZDK_IsStarted());  // no collision ran ShutDown
  api::ZDK_Stop();
  EXPECT_EQ(bridge::CommandWord(bridge::FindCommand("DATABASE_OPEN")),
            std::string("Database_Open"));
  EXPECT_EQ(bridge::FindCommand("VERSION"), 3);
  EXPECT_EQ(bridge::FindCommand("VERSIONS"), -1);
}

TEST(Dispatch, UnknownCommandsAnswer310) {
  EXPECT_EQ(Cmd({"NoSuchCommand"}), "ERROR 310");
  EXPECT_EQ(Cmd({""}), "ERROR 310");
  // Found without regard to case; 1 names no cursor.
  EXPECT_EQ(Cmd({"cursor_remove", "1"}), "ERROR 393");
}

TEST(Dispatch, MalformedExternalCallsAnswer310) {
  char* result = nullptr;
  Zorvane(nullptr, 0, &result, nullptr, nullptr);
  EXPECT_STREQ(result, "ERROR 310");
  bridge::LibraryFree(result);

  char word[] = "Version";
  char* args[] = {word, nullptr};
  Zorvane(args, 0, &result, nullptr, nullptr);
  EXPECT_STREQ(result, "ERROR 310");
  bridge::LibraryFree(result);
  Zorvane(args, 2, &result, nullptr, nullptr);  // a null text in slot 1
  EXPECT_STREQ(result, "ERROR 310");
  bridge::LibraryFree(result);

  std::vector<std::string> fifteen(15, "x");
  fifteen[0] = "Version";
  EXPECT_EQ(Cmd(fifteen), "1.11");
  std::vector<std::string> sixteen(16, "x");
  sixteen[0] = "Version";
  EXPECT_EQ(Cmd(sixteen), "ERROR 310");
  sixteen.resize(40, "y");
  EXPECT_EQ(Cmd(sixteen), "ERROR 310");
}

TEST(Dispatch, HostFlagsAreClearedAndEmptyResultsAreAnEmptyText) {
  char word[] = "SetCreator";
  char* args[] = {word};
  char* result = nullptr;
  int32_t flagA = 7, flagB = 9;
  Zorvane(args, 1, &result, &flagA, &flagB);
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(result, "");
  EXPECT_EQ(flagA, 0);
  EXPECT_EQ(flagB, 0);
  bridge::LibraryFree(result);
}

TEST(Dispatch, IndexedCallsWriteErrorsToTheErrorSlotNotTheText) {
  Block version(3, 1);
  version.Dispatch();
  EXPECT_EQ(version.Result(), "1.11");  // texts still go to the result buffer
  EXPECT_EQ(version.ErrorOut(), 0);
  EXPECT_EQ(version.ResultValue(), 0);

  for (int32_t number : {-1, 96, 97, 1000}) {
    Block outside(number, 1);
    outside.Dispatch();
    EXPECT_EQ(outside.ErrorOut(), 310) << number;
    EXPECT_EQ(outside.Result(), "");
  }
  Block noCursor(66, 1);  // Cursor_Remove
  noCursor.Text(1, "1");
  noCursor.Dispatch();
  EXPECT_EQ(noCursor.ErrorOut(), 393);
  EXPECT_EQ(noCursor.Result(), "");
}

TEST(Dispatch, RawCallsTakeNumbersFromSlotsAndOptionalBitsFromTheCallMode) {
  Block escape(5, (1 << 1) | (1 << 2));
  escape.Text(1, "a.b");
  escape.Raw(2, 1);
  escape.Dispatch();
  EXPECT_EQ(escape.Result(), "a\\.b");

  // Init's size is optional: its slot is ignored while bit 1 is clear.
  api::ZDK_Stop();
  Block init(1, 1 << 2);
  init.Raw(1, 1000);
  init.Dispatch();
  EXPECT_EQ(init.ErrorOut(), 0);
  EXPECT_NE(api::ZDK_CacheSize(), 102400u);
  api::ZDK_Stop();
  Block sized(1, 1 << 1);
  sized.Raw(1, 1000);
  sized.Dispatch();
  EXPECT_EQ(api::ZDK_CacheSize(), 102400u);
  api::ZDK_Stop();
}

TEST(Dispatch, NullBlockAndNullCommandWordAreHarmless) {
  Dispatch(nullptr);
  Block noWord(0, 0);
  noWord.Dispatch();
  EXPECT_EQ(noWord.Result(), "ERROR 310");
}
