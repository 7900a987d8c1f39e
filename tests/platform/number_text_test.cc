// Numbers through text and back: every text that the number-to-text side writes (a value's
// default text form, and the number patterns with all fifteen digits) must read back as a
// number, and as the same text again, for the extremes of the double range above all.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/format.h"
#include "nimbo/variant.h"

namespace nimbo {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> Extremes() {
  std::vector<double> values = {DBL_MAX,     -DBL_MAX,   DBL_MIN,      -DBL_MIN,
                                DBL_TRUE_MIN, -DBL_TRUE_MIN, 1e308,     -1e308,
                                1.7976931348623e308, 9.9999999999999e307, 1e-308,
                                DBL_MIN / 2,  DBL_MIN * (1 - DBL_EPSILON), 3 * DBL_TRUE_MIN,
                                1e-310,      0.1,        1.0 / 3,      -2.5e-7,
                                123456789012345678.0, 0.0, kInf, -kInf,
                                std::numeric_limits<double>::quiet_NaN()};
  // And doubles of every bit pattern, a fixed sample of them.
  std::mt19937_64 random(1234);
  for (int i = 0; i < 3000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
  }
  return values;
}

bool Near(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (a == b) return true;
  // Fifteen digits, and subnormals that have fewer bits than that.
  return std::fabs(a - b) <= 1e-14 * std::fabs(b) || std::fabs(a - b) <= 4 * DBL_TRUE_MIN;
}

TEST(NumberTextTest, TheDefaultTextOfEveryDoubleReadsBack) {
  for (double value : Extremes()) {
    const std::string text = DoubleToText(value);
    SCOPED_TRACE(text);
    const std::optional<double> read = ParseNumber(text);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(Near(*read, value)) << *read;
    EXPECT_EQ(DoubleToText(*read), text);  // and says the same again
    // Through a Variant as a database text would come.
    EXPECT_TRUE(Variant(text).IsNumeric());
    EXPECT_TRUE(Near(Variant(" " + text + " ").ToDouble(), value));
  }
}

TEST(NumberTextTest, FormattedNumbersWithAllTheirDigitsReadBack) {
  // The patterns the pages use, and two that keep fifteen digits whatever the size; with each,
  // how far the text may be from the number (half its last place).
  const struct {
    const char* pattern;
    double places;
  } patterns[] = {{"#,##,##0.00", 0.005},
                  {"#,##,##0", 0.5},
                  {"0000000000", 0.5},
                  {"0.00000000000000E+00", 0},
                  {"0.####################", 0.5e-20}};
  for (const auto& [pattern, places] : patterns) {
    for (double value : Extremes()) {
      if (!std::isfinite(value)) continue;
      const std::string text = FormatNumber(value, pattern);
      SCOPED_TRACE(std::string(pattern) + ": " + text);
      const std::optional<double> read = ParseNumber(text);
      ASSERT_TRUE(read.has_value());
      EXPECT_LE(std::fabs(*read - value),
                places + 1e-14 * std::fabs(value) + 4 * DBL_TRUE_MIN)
          << *read;
      // Formatting what was read gives the same text (the text is a fixed point).
      EXPECT_EQ(FormatNumber(*read, pattern), text);
    }
  }
}

TEST(NumberTextTest, TheLargestDoublesTextWorksInEveryConversion) {
  const std::string max = DoubleToText(DBL_MAX);
  EXPECT_EQ(max, "1.79769313486232E+308");
  EXPECT_EQ(ParseNumber(max), DBL_MAX);
  EXPECT_EQ(ParseNumber("-" + max), -DBL_MAX);
  EXPECT_EQ(Variant(max).ToDouble(), DBL_MAX);
  EXPECT_EQ(Format(Variant(max), "0.00000000000000E+00"), max);
  EXPECT_EQ(Format(Variant(max), "#,##0").size(), 309u + 102u);  // all digits, grouped by threes
  EXPECT_EQ(ParseNumber(Format(Variant(max), "#,##0")), DBL_MAX);
  EXPECT_EQ(ParseNumber("179769313486232" + std::string(294, '0')), DBL_MAX);
  // Converting it further is an overflow, as it is for any number too large, not a mismatch.
  for (const auto& convert : {+[](const Variant& v) { v.ToInteger(); },
                              +[](const Variant& v) { v.ToLong(); },
                              +[](const Variant& v) { v.ToDate(); }}) {
    try {
      convert(Variant(max));
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kOverflow);
    }
  }
  // Past the largest text there is no double: such texts are still no number.
  for (const char* beyond : {"1.79769313486233E+308", "1.797693134862321E+308", "1E+309",
                             "1E400", "2E+308"}) {
    EXPECT_EQ(ParseNumber(beyond), std::nullopt) << beyond;
  }
  // Too small for a double reads as zero.
  EXPECT_EQ(ParseNumber("1E-400"), 0.0);
  EXPECT_EQ(ParseNumber("2.4E-324"), 0.0);
  EXPECT_EQ(ParseNumber("-1E-99999999999"), 0.0);
  EXPECT_TRUE(std::signbit(*ParseNumber("-1E-400")));
}

TEST(NumberTextTest, ValuesThatAreNoFiniteNumberReadBackInTheirOwnWords) {
  EXPECT_EQ(DoubleToText(kInf), "Infinity");
  EXPECT_EQ(DoubleToText(-kInf), "-Infinity");
  EXPECT_EQ(DoubleToText(std::nan("")), "NaN");
  EXPECT_EQ(FormatNumber(kInf, "#,##0.00"), "Infinity");  // the pattern writes the same words
  EXPECT_EQ(ParseNumber(" Infinity "), kInf);
  EXPECT_EQ(ParseNumber("-Infinity"), -kInf);
  EXPECT_TRUE(std::isnan(*ParseNumber("NaN")));
  // Only those words: the rest stays text.
  for (const char* other : {"inf", "INF", "infinity", "+Infinity", "nan", "1.#INF"}) {
    EXPECT_EQ(ParseNumber(other), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace nimbo
