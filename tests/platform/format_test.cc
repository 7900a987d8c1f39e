// Tests of the format-pattern language for numbers and dates, Format's choice between them, and
// replaced regional settings.
#include "nimbo/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "platform/format_pattern.h"

namespace nimbo {
namespace {

struct NumberCase {
  double value;
  const char* pattern;
  const char* want;
};

TEST(FormatNumberTest, DigitPlacesGroupingAndRounding) {
  const std::vector<NumberCase> cases = {
      {1234567.891, "#,##,##0.00", "1,234,567.89"},
      {1234.5, "#,##,##0.00", "1,234.50"},
      {123456.0, "#,##,##0.00", "123,456.00"},
      {99.999, "#,##,##0.00", "100.00"},
      {999999.995, "#,##,##0.00", "1,000,000.00"},
      {2.675, "#,##,##0.00", "2.68"},  // 2.67499999... in binary, 2.675 to 15 digits
      {1.005, "0.00", "1.01"},
      {0.0, "#,##,##0.00", "0.00"},
      {0.5, "#,##,##0.00", "0.50"},
      {-1234.5, "#,##,##0.00", "-1,234.50"},
      {-0.004, "#,##,##0.00", "0.00"},  // rounds to zero: no minus
      {-0.005, "#,##,##0.00", "-0.01"},
      {1234.4, "#,##,##0", "1,234"},
      {1234.5, "#,##,##0", "1,235"},
      {2.5, "0", "3"},
      {-2.5, "0", "-3"},
      {2.75, "#,##,##0", "3"},
      {0.0, "#,##,##0", "0"},
      {-999.0, "#,##0", "-999"},
      {-1000.0, "#,##0", "-1,000"},
      {1e20, "#,##0", "100,000,000,000,000,000,000"},
      {123456789012345678.0, "0", "123456789012346000"},
      {42.0, "000", "042"},
      {42.0, "0000000000", "0000000042"},
      {12345.0, "00000", "12345"},
      {123456.0, "000", "123456"},
      {123456789.0, "000-00-0000", "123-45-6789"},
      {0.5, "#.##", ".5"},
      {5.0, "#.##", "5."},
      {0.0, "#", ""},
      {12.5, ".00", "12.50"},
      {1.25, "0.0#", "1.25"},
      {1.2, "0.0#", "1.2"},
      {1.0, "0.0#", "1.0"},
      {0.256, "0.0%", "25.6%"},
      {1234567.0, "#,##0,", "1,235"},
      {1234567.0, "0.0,,", "1.2"},
      {12345.678, "0.00E+00", "1.23E+04"},
      {0.000123, "0.0E-0", "1.2E-4"},
      {123.0, "0.0E-00", "1.2E02"},
      {9.99e9, "0.0E+0", "1.0E+10"},
      {0.0, "0.00E+00", "0.00E+00"},
      {1234.0, "$#,##0.00", "$1,234.00"},
      {7.0, "\"No. \"0", "No. 7"},
      {7.0, "\\#0", "#7"},
      {-5.0, "0.00;(0.00)", "(5.00)"},
      {5.0, "0.00;(0.00)", "5.00"},
      {0.0, "0.00;(0.00);\"zero\"", "zero"},
      {-5.0, "0.00;;\"zero\"", "-5.00"},  // empty negative section: the first with a minus
      {1.5, "", "1.5"},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + std::to_string(c.value));
    EXPECT_EQ(FormatNumber(c.value, c.pattern), c.want);
  }
}

struct DateCase {
  const char* pattern;
  const char* want;
};

TEST(FormatDateTest, CodesInAnyCase) {
  const Date date = MakeDate(2026, 12, 8, 21, 17, 44);
  const std::vector<DateCase> cases = {
      {"Dddd, dd Mmm yyyy hh:nn:ss AMPM", "Tuesday, 08 Dec 2026 09:17:44 PM"},
      {"dddd, dd mmm yyyy hh:nn:ss ampm", "Tuesday, 08 Dec 2026 09:17:44 PM"},
      {"DDDD, DD MMM YYYY HH:NN:SS AMPM", "Tuesday, 08 Dec 2026 09:17:44 PM"},
      {"dd Mmm yyyy", "08 Dec 2026"},
      {"d/m/yy", "8/12/26"},
      {"mmmm d, yyyy", "December 8, 2026"},
      {"ddd", "Tue"},
      {"hh:nn:ss", "21:17:44"},  // 24-hour without an AM/PM code
      {"h:mm", "21:17"},         // m after an hour: minutes
      {"mm:ss", "17:44"},        // m before seconds: minutes
      {"yyyy-mm-dd", "2026-12-08"},
      {"hh:mm AM/PM", "09:17 PM"},
      {"h:nn am/pm", "9:17 pm"},
      {"h A/P", "9 P"},
      {"h a/p", "9 p"},
      {"ddddd", "12/8/2026"},
      {"dddddd", "Tuesday, December 8, 2026"},
      {"c", "12/8/2026 9:17:44 PM"},
      {"w ww q y", "3 50 4 342"},
      {"\"Day\" d \\d", "Day 8 d"},
      {"", "12/8/2026 9:17:44 PM"},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDate(date, c.pattern), c.want);
  }
  EXPECT_EQ(FormatDate(MakeDate(2026, 12, 8, 0, 5, 0), "hh:nn AMPM"), "12:05 AM");
  EXPECT_EQ(FormatDate(MakeDate(2026, 12, 8, 12, 0, 0), "h AMPM"), "12 PM");
  EXPECT_EQ(FormatDate(MakeDate(2026, 1, 1), "ww"), "1");
  EXPECT_EQ(FormatDate(MakeDate(2026, 1, 4), "ww"), "2");  // 1 January 2026 is a Thursday
}

TEST(FormatTest, ChoosesTheLanguageByValueAndPattern) {
  const std::vector<std::tuple<Variant, const char*, const char*>> cases = {
      {1234.5, "#,##0.00", "1,234.50"},
      {std::int16_t{7}, "000", "007"},
      {Currency{12345000}, "#,##0.00", "1,234.50"},
      {true, "0", "-1"},
      {46364.0, "dd Mmm yyyy", "08 Dec 2026"},  // date codes read a number as a serial
      {Date{46364.5}, "0.00", "46364.50"},      // no date codes: a date as its serial
      {Date{46364.5}, "dd Mmm yyyy hh:nn", "08 Dec 2026 12:00"},
      {"12.5", "0.00", "12.50"},
      {"  1,234  ", "#,##0.00", "1,234.00"},
      {"2026-12-08", "dd Mmm yyyy", "08 Dec 2026"},
      {"12/8/2026 9:17:44 PM", "yyyy-mm-dd hh:nn:ss", "2026-12-08 21:17:44"},
      {"n/a", "0.00", "n/a"},
      {"n/a", "dd Mmm yyyy", "n/a"},
      {"1e20", "dd Mmm yyyy", "1e20"},  // a number no Date can hold is no date
      {Variant(), "0.00", ""},
      {Variant::Null(), "0.00", ""},
      {Variant::Null(), "0;-0;\"zero\";\"none\"", "none"},
      {1.5, "", "1.5"},
      {Date{46364.0}, "", "12/8/2026"},
      {"as is", "", "as is"},
  };
  for (const auto& [value, pattern, want] : cases) {
    SCOPED_TRACE(pattern);
    EXPECT_EQ(Format(value, pattern), want);
  }
  EXPECT_THROW(Format(Variant(std::shared_ptr<Recordset>()), "0"), Error);
  EXPECT_THROW(Format(1e10, "dd Mmm yyyy"), Error);
}

TEST(FormatTest, ManyPatternsInTurnStayCorrect) {
  // More distinct patterns than the cache holds, then the first ones again.
  for (int round = 0; round < 2; ++round) {
    for (int width = 1; width <= 100; ++width) {
      const std::string pattern(static_cast<std::size_t>(width), '0');
      const std::string got = FormatNumber(7, pattern);
      ASSERT_EQ(got, std::string(static_cast<std::size_t>(width - 1), '0') + "7");
      ASSERT_EQ(FormatNumber(8, "0.0"), "8.0");
    }
  }
}

// Replaces the regional settings for one test and puts the English ones back afterwards.
class RegionalSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegionalSettings german;
    german.day_names = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                        "Donnerstag", "Freitag", "Samstag"};
    german.day_abbrevs = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    german.month_names = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                          "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
    german.month_abbrevs = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                            "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    german.decimal = ",";
    german.grouping = ".";
    german.am = "vorm.";
    german.pm = "nachm.";
    german.date_separator = ".";
    german.time_separator = ":";
    SetRegionalSettings(german);
  }
  void TearDown() override { SetRegionalSettings(RegionalSettings()); }
};

TEST_F(RegionalSettingsTest, NumbersAndDatesUseTheSettings) {
  EXPECT_EQ(FormatNumber(1234567.891, "#,##,##0.00"), "1.234.567,89");
  EXPECT_EQ(FormatNumber(-0.5, "#,##0.00"), "-0,50");
  EXPECT_EQ(FormatNumber(1234.0, "#,##0"), "1.234");
  const Date date = MakeDate(2026, 3, 8, 21, 17, 44);
  EXPECT_EQ(FormatDate(date, "Dddd, dd Mmm yyyy hh:nn:ss AMPM"),
            "Sonntag, 08 Mär 2026 09:17:44 nachm.");
  EXPECT_EQ(FormatDate(date, "dd/mm/yyyy"), "08.03.2026");
  EXPECT_EQ(FormatDate(date, "mmmm"), "März");
  // Literal AM/PM letters are the pattern's own, not the regional designators.
  EXPECT_EQ(FormatDate(date, "h AM/PM"), "9 PM");
  EXPECT_EQ(CurrentRegionalSettings().decimal, ",");
}

// An amount held in ten-thousandths renders exactly as its value as a double does, under every
// kind of pattern: sections, percent, thousands scaling, scientific notation, no decimals.
TEST(FormatTest, ScaledAmountsRenderAsTheirDoubles) {
  const std::int64_t amounts[] = {0,       1,           5,           49,          50,
                                  -50,     12345,       99995,       -99995,      1234567890,
                                  -1,      999999999999999, -999999999999999, 1000000000000000,
                                  -1000000000000000, 9223372036854775807};
  const char* patterns[] = {"#,##,##0.00", "#,##,##0", "0.00;(0.00);zero", "#,##0.0000", "0%",
                            "#,##0,", "0.00E+00", "#", ".00", "#,##0.00 kg", "0.000000",
                            "000000.0", "#.##", "0.#", "0."};
  for (const char* pattern : patterns) {
    const format_internal::CompiledPattern& compiled = format_internal::CompiledFor(pattern);
    ASSERT_FALSE(compiled.is_date) << pattern;
    for (std::int64_t scaled : amounts) {
      std::string want;
      std::string got;
      format_internal::RenderNumber(compiled, static_cast<double>(scaled) / 10000.0,
                                    CurrentRegionalSettings(), want);
      format_internal::RenderScaled(compiled, scaled, CurrentRegionalSettings(), got);
      EXPECT_EQ(got, want) << scaled << " with " << pattern;
    }
  }
}

// Whole numbers take a path of their own under plain patterns; the table pins what it writes.
TEST(FormatTest, WholeNumbersUnderPlainPatterns) {
  struct Case {
    double value;
    const char* pattern;
    const char* text;
  };
  const Case cases[] = {
      {0, "#,##0", "0"},           {0, "#", ""},
      {0, "#.##", "."},            {0, "0.00", "0.00"},
      {-0.0, "0", "0"},            {7, "000", "007"},
      {-7, "#,##0.00", "-7.00"},   {1234567, "#,##0", "1,234,567"},
      {1234567, "#,##,##0", "1,234,567"}, {1234567, "0.0##", "1234567.0"},
      {999999999999999, "#,##0", "999,999,999,999,999"},
      {1e15, "#,##0", "1,000,000,000,000,000"},
      {-42, "0;(0)", "(42)"},      {0, "0;(0);zero", "zero"},
      {12, "0.000000", "12.000000"}, {12, "0.", "12."},
  };
  for (const Case& c : cases) {
    std::string got;
    format_internal::RenderNumber(format_internal::CompiledFor(c.pattern), c.value,
                                  CurrentRegionalSettings(), got);
    EXPECT_EQ(got, c.text) << c.value << " with " << c.pattern;
  }
}

}  // namespace
}  // namespace nimbo
