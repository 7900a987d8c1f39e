// The classic variant conversions on any text and any double. Texts convert or raise only
// Overflow or Type mismatch; integer conversions agree with rounding half to even done here
// independently; a double's text form reads back as the double rounded to its 15 significant
// digits; Booleans, numeric tests and the text form agree with the conversions.
//
// Input: a text; its first eight bytes, when there are that many, are also read as a double.
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/variant.h"

namespace {

using nimbo::Error;
using nimbo::Variant;
using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;

// Round half to even the way the floating-point unit does in its default mode.
double NearestEven(double value) {
  std::fesetround(FE_TONEAREST);
  return std::nearbyint(value);
}

// Runs a conversion that may raise only the listed errors; true when it did not raise.
template <typename Conversion>
bool Converts(Conversion&& conversion, std::initializer_list<int> allowed, const char* what) {
  try {
    conversion();
    return true;
  } catch (const Error& e) {
    for (int number : allowed) {
      if (e.number() == number) return false;
    }
    Fail(std::string(what) + " raised " + std::to_string(e.number()) + " " + e.description());
  }
}

void CheckText(std::string_view text) {
  const Variant value{std::string(text)};
  Check(value.ToText() == text, "a text's text form is itself");
  const std::optional<double> number = nimbo::ParseNumber(text);
  Check(value.IsNumeric() == number.has_value(), "IsNumeric agrees with ParseNumber");

  double as_double = 0;
  const bool is_double =
      Converts([&] { as_double = value.ToDouble(); }, {nimbo::err::kTypeMismatch}, "ToDouble");
  Check(is_double == number.has_value(), "ToDouble converts exactly the numbers");
  if (is_double) {
    // Only the words the number writers use for them read as infinity or NaN.
    Check(std::isfinite(as_double) || text.find("Infinity") != std::string_view::npos ||
              text.find("NaN") != std::string_view::npos,
          "a number text reads as a finite double unless it names infinity or NaN");
    Check(as_double == *number || (std::isnan(as_double) && std::isnan(*number)),
          "ToDouble gives ParseNumber's value");
  }

  std::int32_t as_long = 0;
  const bool is_long = Converts([&] { as_long = value.ToLong(); },
                                {nimbo::err::kTypeMismatch, nimbo::err::kOverflow}, "ToLong");
  std::int16_t as_integer = 0;
  const bool is_integer = Converts([&] { as_integer = value.ToInteger(); },
                                   {nimbo::err::kTypeMismatch, nimbo::err::kOverflow}, "ToInteger");
  if (is_double) {
    const double rounded = NearestEven(as_double);
    const bool fits_long = rounded >= -2147483648.0 && rounded <= 2147483647.0;
    const bool fits_integer = rounded >= -32768.0 && rounded <= 32767.0;
    Check(is_long == fits_long, "ToLong overflows exactly outside 32 bits");
    Check(is_integer == fits_integer, "ToInteger overflows exactly outside 16 bits");
    if (is_long) Check(as_long == static_cast<std::int32_t>(rounded), "ToLong rounds half to even");
    if (is_integer) {
      Check(as_integer == static_cast<std::int16_t>(rounded), "ToInteger rounds half to even");
    }
  } else {
    Check(!is_long && !is_integer, "a text that is no number is no integer either");
  }

  bool as_boolean = false;
  if (Converts([&] { as_boolean = value.ToBoolean(); }, {nimbo::err::kTypeMismatch}, "ToBoolean") &&
      is_double) {
    Check(as_boolean == (as_double != 0), "a number's Boolean is whether it is not zero");
  }
  nimbo::Date date;
  if (Converts([&] { date = value.ToDate(); }, {nimbo::err::kTypeMismatch, nimbo::err::kOverflow},
               "ToDate")) {
    Check(date.serial >= nimbo::kMinDateSerial && date.serial <= nimbo::kMaxDateSerial,
          "a converted date lies within the dates");
  }
  value.IsDate();
}

void CheckDouble(double number) {
  const std::string text = nimbo::DoubleToText(number);
  Check(Variant(number).ToText() == text, "a Double's text form is DoubleToText");
  if (!std::isfinite(number)) return;

  // The same number rounded to 15 significant digits by the C library.
  char reference[64];
  std::snprintf(reference, sizeof reference, "%.14e", number);
  errno = 0;
  const double rounded = std::strtod(reference, nullptr);
  const bool rounded_fits = std::isfinite(rounded);

  const std::optional<double> back = nimbo::ParseNumber(text);
  if (!back) Fail("the text of a double does not read back: " + text);
  if (rounded_fits) {
    Check(*back == rounded,
          "the text of a double reads back as its 15-digit rounding: " + text + " vs " + reference);
  } else {
    // Rounded to 15 digits the largest doubles exceed the largest double; their text must
    // still read back as a number next to them.
    Check(std::isfinite(*back) && std::fabs(*back - number) <= std::fabs(number) * 1e-14,
          "the text of one of the largest doubles reads back near it: " + text);
  }

  Variant value(number);
  std::int32_t as_long = 0;
  const bool is_long =
      Converts([&] { as_long = value.ToLong(); }, {nimbo::err::kOverflow}, "Double ToLong");
  const double even = NearestEven(number);
  Check(is_long == (even >= -2147483648.0 && even <= 2147483647.0),
        "a Double overflows a Long exactly outside 32 bits");
  if (is_long) Check(as_long == static_cast<std::int32_t>(even), "a Double rounds half to even");

  nimbo::Currency currency;
  if (Converts([&] { currency = nimbo::Currency::FromDouble(number); }, {nimbo::err::kOverflow},
               "Currency::FromDouble")) {
    const Variant amount(currency);
    const std::string amount_text = amount.ToText();
    const std::optional<double> amount_back = nimbo::ParseNumber(amount_text);
    Check(amount_back.has_value(), "a Currency's text reads as a number: " + amount_text);
    Check(nimbo::Currency::FromDouble(*amount_back) == currency ||
              std::fabs(currency.ToDouble()) >= 1e11,
          "a Currency's text reads back as the same amount: " + amount_text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = nimbo::fuzz::AsText(data, size);
  CheckText(text);
  if (size >= sizeof(double)) {
    double number;
    std::memcpy(&number, data, sizeof number);
    CheckDouble(number);
  }
  return 0;
}
