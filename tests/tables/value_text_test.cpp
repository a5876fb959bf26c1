#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/tables/date_time.h"
#include "kernel/tables/number_text.h"

namespace {

FBL_DateSettings Settings(uint8_t order, char dateSep = '/', char timeSep = ':') {
  FBL_DateSettings s = FBL_DateSettings::Defaults();
  s.mDateOrder = order;
  s.mDateSeparator = dateSep;
  s.mTimeSeparator = timeSep;
  return s;
}

}  // namespace

TEST(DateText, ParsesInEachOrderAndFormsBack) {
  const uint32_t leapDay = 2004u * 512 + 2 * 32 + 29;
  EXPECT_EQ(zv::ParseDate("2/29/2004", Settings(0)), leapDay);
  EXPECT_EQ(zv::FormatDate(leapDay, Settings(0)), "02/29/2004");
  EXPECT_EQ(zv::ParseDate("29.2.2004", Settings(1)), leapDay);  // any one-character separators
  EXPECT_EQ(zv::FormatDate(leapDay, Settings(1, '.')), "29.02.2004");
  EXPECT_EQ(zv::ParseDate("2004-02-29", Settings(2)), leapDay);
  EXPECT_EQ(zv::FormatDate(leapDay, Settings(2, '-')), "2004-02-29");
  EXPECT_EQ(zv::FormatDate(zv::PackDate({33, 1, 2}), Settings(0)), "01/02/0033");
}

TEST(DateText, NegativeYearsAndRubbish) {
  const uint32_t word = zv::ParseDate("-3/4/50", Settings(0));
  EXPECT_EQ(zv::UnpackDate(word).year, -50);
  EXPECT_EQ(zv::UnpackDate(word).month, 3u);
  EXPECT_EQ(zv::FormatDate(word, Settings(2)), "-0050/03/04");
  EXPECT_EQ(zv::UnpackDate(zv::ParseDate("-50/3/4", Settings(2))).year, -50);
  EXPECT_EQ(zv::ParseDate("hello", Settings(0)), 0u);
  EXPECT_EQ(zv::ParseDate("1/2", Settings(0)), 0u);
  EXPECT_EQ(zv::ParseDate("", Settings(0)), 0u);
  EXPECT_EQ(zv::ParseDate(nullptr, Settings(0)), 0u);
  // Parts too big for their bits would spill into the next field.
  EXPECT_EQ(zv::ParseDate("40/2/2004", Settings(0)), 0u);
  EXPECT_EQ(zv::ParseDate("2/40/2004", Settings(0)), 0u);
}

TEST(DateText, PackedWordsSortChronologically) {
  const uint32_t a = zv::ParseDate("12/31/1999", Settings(0));
  const uint32_t b = zv::ParseDate("1/1/2000", Settings(0));
  const uint32_t c = zv::ParseDate("1/2/2000", Settings(0));
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_LT(zv::ParseTime("9:59:59", Settings(0)), zv::ParseTime("10:00:00", Settings(0)));
}

TEST(TimeText, PartsAndSeparators) {
  const uint32_t t = zv::ParseTime("13:05:09", Settings(0));
  EXPECT_EQ(t, 13u << 12 | 5u << 6 | 9u);
  EXPECT_EQ(zv::FormatTime(t, Settings(0, '/', '.')), "13.05.09");
  EXPECT_EQ(zv::ParseTime("13:65:09", Settings(0)), 0u);
  EXPECT_EQ(zv::ParseTime("noon", Settings(0)), 0u);
}

TEST(DateTimeText, DateThenTime) {
  const uint64_t v = zv::ParseDateTime("2/29/2004 13:05:09", Settings(0));
  EXPECT_EQ(zv::DateWordOf(v), zv::ParseDate("2/29/2004", Settings(0)));
  EXPECT_EQ(zv::TimeWordOf(v), zv::ParseTime("13:05:09", Settings(0)));
  EXPECT_EQ(zv::FormatDateTime(v, Settings(0)), "02/29/2004 13:05:09");
  EXPECT_EQ(zv::FormatDateTime(zv::ParseDateTime("2004/2/29 1:2:3", Settings(2)), Settings(2)),
            "2004/02/29 01:02:03");
  EXPECT_EQ(zv::TimeWordOf(zv::ParseDateTime("2/29/2004", Settings(0))),
            0u);  // date alone: midnight
  EXPECT_EQ(zv::ParseDateTime("2/29/2004 x", Settings(0)), 0u);
  // The date in the high word orders date-times by date first.
  EXPECT_LT(zv::ParseDateTime("1/1/2000 23:59:59", Settings(0)),
            zv::ParseDateTime("1/2/2000 00:00:00", Settings(0)));
}

TEST(NumberText, ParsingNeverFails) {
  EXPECT_EQ(zv::ParseInt32(" -42xyz"), -42);
  EXPECT_EQ(zv::ParseInt32("abc"), 0);
  EXPECT_EQ(zv::ParseInt32("4294967296"), 0);  // modulo 2^32
  EXPECT_EQ(zv::ParseUInt32("-1"), 4294967295u);
  EXPECT_EQ(zv::ParseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(zv::ParseInt64("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(zv::ParseUInt64("18446744073709551615"), UINT64_MAX);
  EXPECT_DOUBLE_EQ(zv::ParseDouble("2.5e3abc"), 2500.0);
  EXPECT_EQ(zv::ParseDouble("x"), 0.0);
  EXPECT_TRUE(zv::ParseBoolean("true"));
  EXPECT_TRUE(zv::ParseBoolean("TRUE"));
  EXPECT_TRUE(zv::ParseBoolean("TrUeish"));
  EXPECT_TRUE(zv::ParseBoolean("1"));
  EXPECT_FALSE(zv::ParseBoolean("yes"));
  EXPECT_FALSE(zv::ParseBoolean("0"));
  EXPECT_FALSE(zv::ParseBoolean(nullptr));
}

// Doubles parse as strtod parses them, plain decimals on a faster path:
// texts of every form and the printed forms of random values.
TEST(NumberText, DoublesParseAsStrtod) {
  // Blank-separated; "~" stands for the empty text.
  std::istringstream forms(
      "0 -0 1 -1.5 .5 -.5 5. 1e10 1E-5 1e 1e+ 2.5e3abc +7 0x1p4 -0X10 0x inf -Infinity nan "
      "1e400 -1e400 1e-400 4.9406564584124654e-324 2.2250738585072011e-308 "
      "1.7976931348623157e308 1.7976931348623159e308 123456789012345678901234567890 "
      "0.1000000000000000055511151231257827 9007199254740993 "
      "1.00000000000000011102230246251565404236316680908203125 - . -. x ~ 00012.50 1,5 "
      "1.5.5 1e5e5");
  std::vector<std::string> texts = {" 7", "\t-3"};
  for (std::string t; forms >> t;) texts.push_back(t == "~" ? "" : t);
  std::mt19937_64 random(7);
  char text[64];
  for (int k = 0; k < 20000; ++k) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (k % 2 == 1) d = static_cast<double>(bits % 100000) / 997;
    for (const char* format : {"%.17g", "%.16G", "%g", "%.3f"}) {
      std::snprintf(text, sizeof text, format, d);
      texts.push_back(text);
    }
  }
  for (const std::string& t : texts) {
    const double want = std::strtod(t.c_str(), nullptr), got = zv::ParseDouble(t.c_str());
    if (std::isnan(want)) {
      ASSERT_TRUE(std::isnan(got)) << t;
    } else {
      ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << t << ": " << got << " vs " << want;
    }
  }
}

TEST(NumberText, Forms) {
  EXPECT_EQ(zv::FormatSigned(-2147483648LL), "-2147483648");
  EXPECT_EQ(zv::FormatUnsigned(UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(zv::FormatFloat(2.5f), "2.5");
  EXPECT_EQ(zv::FormatFloat(1e20f), "1E+20");
  EXPECT_EQ(zv::FormatDouble(0.1), "0.1");
  EXPECT_EQ(zv::FormatDouble(123456789.125), "123456789.125");
  EXPECT_EQ(zv::FormatDouble(1.0 / 3.0), "0.3333333333333333");
}

// The forms are printf's conversions: every bit pattern of a double (and of
// a float) gives what "%.16G" and "%.16LG" (and "%G") give, as do integers
// "%lld".
TEST(NumberText, FormsAreThoseOfPrintf) {
  std::mt19937_64 random(20);
  auto printed = [](const char* format, auto value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text);
  };
  std::vector<double> specials = {0.0, -0.0, 1e-320, 5e-324, 1.7976931348623157e308,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(), 0.5, 1e16, 1e15};
  for (int k = 0; k < 200000; ++k) {
    const uint64_t bits = random();
    double d = k < static_cast<int>(specials.size()) ? specials[k] : 0.0;
    if (k >= static_cast<int>(specials.size())) {
      // Half of the cases are short decimals, the rest any bit pattern.
      if (k % 2 == 0) {
        d = static_cast<double>(static_cast<int64_t>(bits % 2000001) - 1000000) / 1000.0;
      } else {
        std::memcpy(&d, &bits, sizeof d);
      }
    }
    float f;
    const auto low = static_cast<uint32_t>(bits);
    std::memcpy(&f, &low, sizeof f);
    ASSERT_EQ(zv::FormatDouble(d), printed("%.16G", d)) << bits;
    // The script interface's "%.16LG" of the same value.
    ASSERT_EQ(zv::FormatDouble(d), printed("%.16LG", static_cast<long double>(d))) << bits;
    ASSERT_EQ(zv::FormatFloat(f), printed("%G", static_cast<double>(f))) << low;
    ASSERT_EQ(zv::FormatSigned(static_cast<int64_t>(bits)),
              printed("%lld", static_cast<long long>(bits)));
    ASSERT_EQ(zv::FormatUnsigned(bits), printed("%llu", static_cast<unsigned long long>(bits)));
  }
}
