// The format-pattern language on any pattern and value, under English and replaced regional
// settings: numbers, dates, texts, Null and Empty are formatted without a crash; a text never
// raises (it comes back unchanged when it reads as neither a number nor a date); a number or
// date raises nothing but Overflow, and only where no Date can hold it.
//
// Input: pattern NUL value [NUL settings], where settings is one byte choosing the regional
// settings ('0' English, '1' decimal comma and grouping dot, '2' multi-byte and empty
// characters). Eight or more bytes of value are also read as a raw double.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/format.h"
#include "nimbo/variant.h"

namespace {

using nimbo::Date;
using nimbo::Error;
using nimbo::Variant;
using nimbo::fuzz::Check;

nimbo::RegionalSettings SettingsFor(char choice) {
  nimbo::RegionalSettings settings;
  if (choice == '1') {
    settings.decimal = ",";
    settings.grouping = ".";
    settings.date_separator = ".";
    settings.am = "vorm.";
    settings.pm = "nachm.";
  } else if (choice == '2') {
    settings.decimal = "\xE2\x80\xA4";  // one dot leader
    settings.grouping = "";
    settings.time_separator = "\xEF\xBC\x9A";  // fullwidth colon
    settings.date_separator = "";
    settings.am = "";
    settings.pm = "\xE5\x8D\x88\xE5\xBE\x8C";
    settings.day_names[0] = "";
    settings.month_abbrevs[11] = "";
  }
  return settings;
}

bool InDateRange(double serial) {
  return serial >= nimbo::kMinDateSerial && serial <= nimbo::kMaxDateSerial;
}

// Formats a number or a date: the only error allowed is Overflow for a serial beyond the dates.
template <typename Formatting>
void NumberOrDate(Formatting&& formatting, bool may_overflow, const char* what) {
  try {
    formatting();
  } catch (const Error& e) {
    Check(may_overflow && e.number() == nimbo::err::kOverflow,
          std::string(what) + " raised " + std::to_string(e.number()) + " " + e.description());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      nimbo::fuzz::SplitAtNul(nimbo::fuzz::AsText(data, size));
  const std::string_view pattern = parts[0];
  const std::string_view value = parts.size() > 1 ? parts[1] : std::string_view("1234.5");
  const char choice = parts.size() > 2 && !parts[2].empty() ? parts[2][0] : '0';
  nimbo::SetRegionalSettings(SettingsFor(choice));

  // A text never raises.
  std::string text;
  try {
    text = nimbo::Format(Variant(value), pattern);
    if (!nimbo::ParseNumber(value) && !nimbo::ParseDate(value)) {
      Check(text == value, "a text that is neither number nor date comes back unchanged");
    }
    nimbo::Format(Variant(nimbo::Bytes(value.begin(), value.end())), pattern);
    nimbo::Format(Variant::Null(), pattern);
    Check(nimbo::Format(Variant(), pattern).empty(), "Empty formats as nothing");
  } catch (const Error& e) {
    nimbo::fuzz::Fail(std::string("formatting a text raised ") + e.description());
  }

  // A text that reads as a number or a date formats as that number or date.
  if (!pattern.empty()) {
    try {
      if (std::optional<double> number = nimbo::ParseNumber(value)) {
        Check(text == nimbo::FormatNumber(*number, pattern), "a number text formats as its number");
      } else if (std::optional<Date> date = nimbo::ParseDate(value)) {
        Check(text == nimbo::FormatDate(*date, pattern), "a date text formats as its date");
      }
    } catch (const Error& e) {
      // A number beyond the dates under a date pattern: the text came back as it was.
      Check(e.number() == nimbo::err::kOverflow && text == value,
            std::string("formatting the number of a text raised ") + e.description());
    }
  }

  // Numbers: a date pattern reads them as serials, which may lie beyond the dates.
  std::vector<double> numbers;
  if (std::optional<double> parsed = nimbo::ParseNumber(value)) numbers.push_back(*parsed);
  if (value.size() >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, value.data(), sizeof raw);
    numbers.push_back(raw);
  }
  for (double number : numbers) {
    const bool out_of_dates = !InDateRange(number);
    NumberOrDate([&] { nimbo::FormatNumber(number, pattern); }, out_of_dates, "FormatNumber");
    NumberOrDate(
        [&] {
          const std::string formatted = nimbo::Format(Variant(number), pattern);
          if (!pattern.empty()) {
            Check(formatted == nimbo::FormatNumber(number, pattern),
                  "a Double formats as FormatNumber formats it");
          }
        },
        out_of_dates, "Format(Double)");
    if (std::fabs(number) < 9e14) {
      const auto currency = nimbo::Currency::FromDouble(number);
      NumberOrDate([&] { nimbo::Format(Variant(currency), pattern); },
                   !InDateRange(currency.ToDouble()), "Format(Currency)");
    }
    NumberOrDate([&] { nimbo::FormatDate(Date{number}, pattern); }, out_of_dates, "FormatDate");
    NumberOrDate([&] { nimbo::Format(Variant(Date{number}), pattern); }, out_of_dates,
                 "Format(Date)");
  }
  NumberOrDate([&] { nimbo::Format(Variant(true), pattern); }, false, "Format(Boolean)");
  NumberOrDate([&] { nimbo::Format(Variant(std::int16_t{-32768}), pattern); }, false,
               "Format(Integer)");
  NumberOrDate([&] { nimbo::Format(Variant(std::int32_t{2147483647}), pattern); }, true,
               "Format(Long)");
  return 0;
}
