// The section cell formatter against the general cell text: for every kind of value, every field
// group, several DateFormats and regional characters that need escaping or not, it must give
// exactly the bytes AppendValueText gives, since page bytes may not change with the speed-up.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/format.h"
#include "nimbo/variant.h"
#include "report/section_common.h"

namespace nimbo {
namespace {

std::vector<Variant> Values() {
  const double inf = std::numeric_limits<double>::infinity();
  return {
      Variant::Null(),
      Variant(std::int16_t{0}),
      Variant(std::int16_t{-7}),
      Variant(std::int32_t{1234567}),
      Variant(std::int32_t{-1000}),
      Variant::Whole(999999999999999),
      Variant::Whole(1000000000000000),
      Variant::Whole(-123000),
      Variant(0.0),
      Variant(-0.0),
      Variant(0.005),
      Variant(-0.004),
      Variant(1.005),
      Variant(2.675),
      Variant(1234.5),
      Variant(-98765.4321),
      Variant(999.995),
      Variant(1e15),
      Variant(1.5e-9),
      Variant(1e300),
      Variant(inf),
      Variant(-inf),
      Variant(std::numeric_limits<double>::quiet_NaN()),
      Variant(Currency::FromDouble(12.34)),
      Variant(Currency::FromDouble(-0.5)),
      Variant(Currency::FromDouble(922337203685.4775)),
      Variant(Currency{99999999999'9999}),
      Variant(Currency{-100000000000'0000}),
      Variant(Currency{-9223372036854775807 - 1}),
      Variant(Currency{0}),
      Variant(Currency{50}),
      Variant(Currency{-49}),
      Variant(Currency{12345}),
      Variant(Currency{99995}),
      Variant(MakeDate(2026, 3, 4)),
      Variant(MakeDate(1899, 12, 30, 13, 5, 9)),
      Variant(MakeDate(100, 1, 1)),
      Variant(std::string("2026-03-04")),
      Variant(std::string("  3/4/2026  ")),
      Variant(std::string("45000")),
      Variant(std::string("99999999999")),
      Variant(std::string("12.5")),
      Variant(std::string("not a date <&>")),
      Variant(std::string("   ")),
      Variant(std::string("")),
      Variant(std::string("Smith & Sons <b>\r\n")),
      Variant(std::string("label#http://example.com/?a=1&b=2#")),
      Variant(std::string("x#javascript:alert(1)#")),
      Variant(true),
      Variant(Bytes{0x00, 0xFF, 0x3C}),
  };
}

TEST(CellFormatterTest, GivesTheBytesOfTheGeneralCellText) {
  const FieldGroup groups[] = {kFloating, kWhole, kDate, kMemo, kOther};
  const char* date_formats[] = {"", "dd Mmm yyyy", "yyyy-mm-dd hh:nn:ss AM/PM", "0.00",
                                "<b>dddd</b> & \"q\"", "#,##0;(#,##0);zero"};
  RegionalSettings plain;
  RegionalSettings marked;  // regional characters the markup must escape
  marked.decimal = "<";
  marked.grouping = "&";
  for (const RegionalSettings& settings : {plain, marked}) {
    SetRegionalSettings(settings);
    for (const char* date_format : date_formats) {
      CellFormatter cells(date_format);
      for (const Variant& value : Values()) {
        for (FieldGroup group : groups) {
          std::string want = "<td>";
          std::string got = "<td>";
          AppendValueText(value, group, date_format, want);
          cells.Append(value, group, got);
          EXPECT_EQ(got, want) << "value " << (value.IsNull() ? "Null" : value.ToText())
                               << ", group " << group << ", format \"" << date_format
                               << "\", decimal \"" << settings.decimal << "\"";
        }
      }
    }
  }
  SetRegionalSettings(RegionalSettings());
}

// A column's dates come back again and again, and many more distinct ones than the formatter
// keeps texts for: every cell must still be its own value's text, whatever came before it.
TEST(CellFormatterTest, RepeatedAndManyDistinctDatesEachGiveTheirOwnText) {
  for (const char* date_format : {"dd Mmm yyyy", "#,##0.00"}) {
    CellFormatter cells(date_format);
    for (int i = 0; i < 5000; ++i) {
      // Three runs: a few days over and over, then 2,000 distinct days, then times of day.
      const double serial = i < 1000   ? 46000 + i % 7
                            : i < 3000 ? 40000 + i
                                       : 46000 + (i % 300) / 300.0;
      for (const Variant& value : {Variant(Date{serial}), Variant(serial)}) {
        std::string want;
        std::string got;
        AppendValueText(value, kDate, date_format, want);
        cells.Append(value, kDate, got);
        ASSERT_EQ(got, want) << serial << " with " << date_format;
      }
    }
  }
}

}  // namespace
}  // namespace nimbo
