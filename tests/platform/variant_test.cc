// Tests of the classic variant conversions: rounding, overflow bounds, type mismatch, Null,
// number reading and the default text forms.
#include "nimbo/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"

namespace nimbo {
namespace {

// The error number a conversion raises, or 0 when it succeeds.
template <class F>
int ErrorOf(F&& convert) {
  try {
    convert();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// An expected result: a value, or the error raised.
struct Raises {
  int number;
};
template <class T>
using Outcome = std::variant<T, Raises>;

struct IntegerCase {
  Variant input;
  Outcome<std::int16_t> want;
};

TEST(VariantTest, ToIntegerRoundsHalfToEvenAndChecksBounds) {
  const std::vector<IntegerCase> cases = {
      {2.5, std::int16_t{2}},
      {3.5, std::int16_t{4}},
      {-2.5, std::int16_t{-2}},
      {-3.5, std::int16_t{-4}},
      {0.5, std::int16_t{0}},
      {1.5, std::int16_t{2}},
      {2.4999, std::int16_t{2}},
      {-0.4, std::int16_t{0}},
      {32767.0, std::int16_t{32767}},
      {32767.49, std::int16_t{32767}},
      {32767.5, Raises{err::kOverflow}},  // to even: 32768
      {-32768.0, std::int16_t{-32768}},
      {-32768.5, std::int16_t{-32768}},  // to even
      {-32768.51, Raises{err::kOverflow}},
      {std::int32_t{40000}, Raises{err::kOverflow}},
      {1e300, Raises{err::kOverflow}},
      {std::nan(""), Raises{err::kOverflow}},
      {"  42  ", std::int16_t{42}},
      {" 2.5 ", std::int16_t{2}},
      {"\t7\t", std::int16_t{7}},
      {"-17", std::int16_t{-17}},
      {"+3", std::int16_t{3}},
      {"1,234", std::int16_t{1234}},
      {"1e3", std::int16_t{1000}},
      {"&HFF", std::int16_t{255}},
      {"&hff", std::int16_t{255}},
      {"&HFFFF", std::int16_t{-1}},
      {"&O17", std::int16_t{15}},
      {"32768", Raises{err::kOverflow}},
      {"abc", Raises{err::kTypeMismatch}},
      {"", Raises{err::kTypeMismatch}},
      {"12abc", Raises{err::kTypeMismatch}},
      {"1 2", Raises{err::kTypeMismatch}},
      {"&H", Raises{err::kTypeMismatch}},
      {"&HG1", Raises{err::kTypeMismatch}},
      {"12/8/2026", Raises{err::kTypeMismatch}},
      {Variant::Null(), Raises{err::kInvalidUseOfNull}},
      {Variant(), std::int16_t{0}},
      {true, std::int16_t{-1}},
      {false, std::int16_t{0}},
      {Currency{25000}, std::int16_t{2}},  // 2.5
      {Date{3.5}, std::int16_t{4}},
      {Bytes{1, 2}, Raises{err::kTypeMismatch}},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(TypeName(c.input.type()));
    SCOPED_TRACE(c.input.IsString() ? c.input.str() : std::string());
    if (const std::int16_t* want = std::get_if<std::int16_t>(&c.want)) {
      EXPECT_EQ(c.input.ToInteger(), *want);
    } else {
      EXPECT_EQ(ErrorOf([&] { c.input.ToInteger(); }), std::get<Raises>(c.want).number);
    }
  }
}

TEST(VariantTest, ToLongRoundsHalfToEvenAndChecksBounds) {
  const std::vector<std::pair<Variant, Outcome<std::int32_t>>> cases = {
      {2147483647.0, std::int32_t{2147483647}},
      {2147483646.5, std::int32_t{2147483646}},
      {2147483647.5, Raises{err::kOverflow}},
      {-2147483648.5, std::int32_t{-2147483647 - 1}},
      {-2147483649.0, Raises{err::kOverflow}},
      {"  -100000  ", std::int32_t{-100000}},
      {"&HFFFFFFFF", std::int32_t{-1}},
      {"&H7FFFFFFF", std::int32_t{2147483647}},
      {"&H123456789", Raises{err::kTypeMismatch}},
      {std::int16_t{-5}, std::int32_t{-5}},
      {"x", Raises{err::kTypeMismatch}},
      {Variant::Null(), Raises{err::kInvalidUseOfNull}},
  };
  for (const auto& [input, want] : cases) {
    SCOPED_TRACE(input.IsString() ? input.str() : std::string(TypeName(input.type())));
    if (const std::int32_t* value = std::get_if<std::int32_t>(&want)) {
      EXPECT_EQ(input.ToLong(), *value);
    } else {
      EXPECT_EQ(ErrorOf([&] { input.ToLong(); }), std::get<Raises>(want).number);
    }
  }
}

TEST(VariantTest, ParseNumberReadsTheClassicShapes) {
  const std::vector<std::pair<std::string, std::optional<double>>> cases = {
      {"12.5", 12.5},
      {"  12.5  ", 12.5},
      {"-1.5E-07", -1.5e-7},
      {"1.5e+3", 1500.0},
      {"2D2", 200.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"1,234,567.5", 1234567.5},
      {"0", 0.0},
      {"&O777", 511.0},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {".", std::nullopt},
      {"-", std::nullopt},
      {"1e", std::nullopt},
      {",5", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.5,0", std::nullopt},
      {"n/a", std::nullopt},
      {"1E400", std::nullopt},
      {"12 ", 12.0},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseNumber(text), want);
  }
}

TEST(VariantTest, ToDoubleAndToBoolean) {
  EXPECT_EQ(Variant(" 12.5 ").ToDouble(), 12.5);
  EXPECT_EQ(Variant(true).ToDouble(), -1.0);
  EXPECT_EQ(Variant(Currency{12345}).ToDouble(), 1.2345);
  EXPECT_EQ(Variant(Date{46364.5}).ToDouble(), 46364.5);
  EXPECT_EQ(Variant().ToDouble(), 0.0);
  EXPECT_EQ(ErrorOf([] { Variant("abc").ToDouble(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant(std::shared_ptr<Recordset>()).ToDouble(); }), err::kTypeMismatch);

  EXPECT_TRUE(Variant("true").ToBoolean());
  EXPECT_FALSE(Variant(" False ").ToBoolean());
  EXPECT_FALSE(Variant("0").ToBoolean());
  EXPECT_TRUE(Variant("-2").ToBoolean());
  EXPECT_TRUE(Variant(0.1).ToBoolean());
  EXPECT_FALSE(Variant().ToBoolean());
  EXPECT_EQ(ErrorOf([] { Variant("yes").ToBoolean(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToBoolean(); }), err::kInvalidUseOfNull);
}

TEST(VariantTest, ToTextGivesTheDefaultForms) {
  const std::vector<std::pair<Variant, std::string>> cases = {
      {Variant(), ""},
      {true, "True"},
      {false, "False"},
      {std::int16_t{-5}, "-5"},
      {std::int32_t{100000}, "100000"},
      {0.1, "0.1"},
      {1234.5, "1234.5"},
      {-0.0, "0"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {-1.5e-7, "-1.5E-07"},
      {1e-100, "1E-100"},
      {Currency{12345000}, "1234.5"},
      {Currency{-1}, "-0.0001"},
      {Currency{70000}, "7"},
      {Currency{INT64_MIN}, "-922337203685477.5808"},
      {Date{46364.0}, "12/8/2026"},
      {Bytes{'a', 'b', 'c'}, "abc"},
      {"  as is  ", "  as is  "},
  };
  for (const auto& [input, want] : cases) {
    SCOPED_TRACE(want);
    EXPECT_EQ(input.ToText(), want);
  }
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToText(); }), err::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { Variant(std::shared_ptr<Recordset>()).ToText(); }), err::kNoSuchMember);
}

TEST(VariantTest, ToDateReadsNumbersAndTexts) {
  EXPECT_EQ(Variant("2026-12-08").ToDate(), Date{46364.0});
  EXPECT_EQ(Variant(46364.5).ToDate(), Date{46364.5});
  EXPECT_EQ(Variant("46364").ToDate(), Date{46364.0});
  EXPECT_EQ(ErrorOf([] { Variant(1e10).ToDate(); }), err::kOverflow);
  // The first and last days with their times: noon on 1 January 100 lies below its midnight.
  EXPECT_EQ(Variant(-657434.5).ToDate(), Date{-657434.5});
  EXPECT_EQ(Variant("1/1/0100 12:00:00 PM").ToDate(), Date{-657434.5});
  EXPECT_EQ(Variant(2958465.5).ToDate(), Date{2958465.5});
  EXPECT_EQ(ErrorOf([] { Variant(-657435.0).ToDate(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant(2958466.0).ToDate(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant("soon").ToDate(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToDate(); }), err::kInvalidUseOfNull);
}

TEST(VariantTest, IsNumericAndIsDate) {
  struct Case {
    Variant input;
    bool numeric;
    bool date;
  };
  const std::vector<Case> cases = {
      {std::int16_t{1}, true, false},
      {2.5, true, false},
      {true, true, false},
      {Currency{1}, true, false},
      {Variant(), true, false},
      {Variant::Null(), false, false},
      {" 12 ", true, false},
      {"&H1F", true, false},
      {"12/8/2026", false, true},
      {"8 Dec 2026", false, true},
      {Date{1.0}, false, true},
      {"abc", false, false},
      {"", false, false},
      {Bytes{}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.IsString() ? c.input.str() : std::string(TypeName(c.input.type())));
    EXPECT_EQ(c.input.IsNumeric(), c.numeric);
    EXPECT_EQ(c.input.IsDate(), c.date);
  }
}

TEST(VariantTest, WholeTakesTheNarrowestType) {
  EXPECT_EQ(Variant::Whole(32767), Variant(std::int16_t{32767}));
  EXPECT_EQ(Variant::Whole(-32768), Variant(std::int16_t{-32768}));
  EXPECT_EQ(Variant::Whole(32768), Variant(std::int32_t{32768}));
  EXPECT_EQ(Variant::Whole(-32769), Variant(std::int32_t{-32769}));
  EXPECT_EQ(Variant::Whole(2147483648LL), Variant(2147483648.0));
  EXPECT_EQ(TypeName(Variant::Whole(-2147483649LL).type()), "Double");
}

TEST(VariantTest, CurrencyFromDouble) {
  EXPECT_EQ(Currency::FromDouble(1234.5678).scaled, 12345678);
  EXPECT_EQ(Currency::FromDouble(0.00025).scaled, 2);    // 2.5 to even
  EXPECT_EQ(Currency::FromDouble(-0.00035).scaled, -4);  // -3.5 to even
  EXPECT_EQ(Currency::FromDouble(0.00005).scaled, 0);    // 0.5 to even
  EXPECT_EQ(Currency::FromDouble(9e14).scaled, 9000000000000000000);
  EXPECT_EQ(ErrorOf([] { Currency::FromDouble(1e15); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Currency::FromDouble(std::nan("")); }), err::kOverflow);
}

}  // namespace
}  // namespace nimbo
