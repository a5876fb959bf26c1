#include "bridge/arguments.h"

#include <gtest/gtest.h>

#include "bridge_test_support.h"

using bridge_test::Block;

namespace {

// Makes the block current, as Dispatch does for a handler.
struct Current {
  explicit Current(Block& b) { bridge::CurrentBlock = &b.block; }
  ~Current() { bridge::CurrentBlock = nullptr; }
};

}  // namespace

TEST(Arguments, NumbersParseLikeTheHostExpects) {
  EXPECT_EQ(bridge::ParseNumber("  -12abc"), -12);
  EXPECT_EQ(bridge::ParseNumber("+7"), 7);
  EXPECT_EQ(bridge::ParseNumber(""), 0);
  EXPECT_EQ(bridge::ParseNumber(nullptr), 0);
  EXPECT_EQ(bridge::ParseNumber("x12"), 0);
  // Unsigned texts wrap to the same 32 bits.
  EXPECT_EQ(bridge::ParseNumber("4294967295"), -1);
  EXPECT_EQ(bridge::ParseNumber("-2147483648"), INT32_MIN);
}

TEST(Arguments, TextCallsReadSlotsThroughTextReferences) {
  Block b(0, 0);
  b.Text(1, "  42");
  b.Text(2, "");
  b.Text(3, "true");
  b.Text(4, "1xyz");
  b.Text(5, "yes");
  Current current(b);
  EXPECT_EQ(bridge::ArgNumber(1), 42);
  EXPECT_TRUE(bridge::ArgPresent(1));
  EXPECT_FALSE(bridge::ArgPresent(2));  // empty text counts as absent
  EXPECT_FALSE(bridge::ArgPresent(6));  // null slot
  EXPECT_EQ(bridge::ArgText(6), nullptr);
  EXPECT_EQ(bridge::ArgNumber(6), 0);
  EXPECT_TRUE(bridge::ArgBoolean(3));
  EXPECT_STREQ(bridge::ArgText(3), "TRUE");  // upper-cased in place
  EXPECT_TRUE(bridge::ArgBoolean(4));
  EXPECT_FALSE(bridge::ArgBoolean(5));
  EXPECT_FALSE(bridge::ArgBoolean(6));
}

TEST(Arguments, RawCallsReadLow32BitsAndPresenceBits) {
  Block b(0, 1 << 1);
  b.Raw(1, intptr_t(0x1FFFFFFFFLL));  // high bits of the slot are not part of the number
  b.Raw(2, 5);
  Current current(b);
  EXPECT_EQ(bridge::ArgNumber(1), -1);
  EXPECT_TRUE(bridge::ArgPresent(1));
  EXPECT_FALSE(bridge::ArgPresent(2));  // its slot holds a value, but its bit is clear
  EXPECT_EQ(bridge::ArgNumber(2), 5);
}

TEST(Arguments, ResultsGoToTheTextInNameCallsAndToTheResultSlotOtherwise) {
  {
    Block b(0, 0);
    Current current(b);
    bridge::ReturnBoolean(true);
    bridge::ReturnLong(-5);
    bridge::ReturnULong(4000000000u);
    EXPECT_EQ(b.Result(), "TRUE-54000000000");
    EXPECT_EQ(b.ResultValue(), 0);
  }
  for (intptr_t mode : {1, 2}) {
    Block b(0, mode);
    Current current(b);
    bridge::ReturnBoolean(true);
    EXPECT_EQ(b.ResultValue(), 1);
    bridge::ReturnBoolean(false);
    EXPECT_EQ(b.ResultValue(), 0);
    bridge::ReturnLong(-5);
    EXPECT_EQ(b.ResultValue(), -5);
    bridge::ReturnULong(4000000000u);
    EXPECT_EQ(b.ResultValue(), intptr_t(4000000000u));
    EXPECT_EQ(b.Result(), "");
  }
}
