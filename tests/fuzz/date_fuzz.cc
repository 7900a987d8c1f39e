// Dates on any text and any serial: a text reads as a date the calendar has or as none; a date's
// default text reads back as the same date; splitting a serial into its parts and making the
// serial again moves it by less than the half second that the split rounds away, measured on a
// time line done here independently (before day zero the fraction still runs forward).
//
// Input: a text; its first eight bytes, when there are that many, are also read as a serial.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/variant.h"

namespace {

using nimbo::Date;
using nimbo::DateParts;
using nimbo::fuzz::Check;
using nimbo::fuzz::Fail;

bool InRange(double serial) {
  return serial >= nimbo::kMinDateSerial && serial <= nimbo::kMaxDateSerial;
}

// Days since day zero on a straight line: -1.25 is 29 December 06:00, 0.75 days before day zero.
double TimeLine(double serial) {
  const double whole = std::trunc(serial);
  return whole + std::fabs(serial - whole);
}

bool SameParts(const DateParts& a, const DateParts& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second && a.weekday == b.weekday &&
         a.day_of_year == b.day_of_year;
}

std::string Describe(const DateParts& p) {
  return std::to_string(p.year) + "-" + std::to_string(p.month) + "-" + std::to_string(p.day) +
         " " + std::to_string(p.hour) + ":" + std::to_string(p.minute) + ":" +
         std::to_string(p.second);
}

// A date in range: its text reads back as the same parts and as the serial of those parts.
void CheckTextRoundTrip(Date date) {
  const DateParts parts = nimbo::SplitDate(date);
  Check(parts.month >= 1 && parts.month <= 12 && parts.day >= 1 && parts.day <= 31 &&
            parts.hour >= 0 && parts.hour <= 23 && parts.minute >= 0 && parts.minute <= 59 &&
            parts.second >= 0 && parts.second <= 59 && parts.weekday >= 1 && parts.weekday <= 7 &&
            parts.day_of_year >= 1 && parts.day_of_year <= 366,
        "parts in their ranges: " + Describe(parts));
  const std::string text = nimbo::DateToText(date);
  const std::optional<Date> back = nimbo::ParseDate(text);
  if (!back) Fail("the text of a date does not read back: " + text);
  Check(SameParts(nimbo::SplitDate(*back), parts),
        "the text of a date reads back as the same date: " + text);
  Check(nimbo::Variant(date).ToText() == text, "a Date's text form is DateToText");
  Check(nimbo::Variant(text).ToDate() == *back, "ToDate reads a date text as ParseDate does");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = nimbo::fuzz::AsText(data, size);
  if (const std::optional<Date> parsed = nimbo::ParseDate(text)) {
    Check(InRange(parsed->serial), "a date text reads as a date a Date can hold");
    CheckTextRoundTrip(*parsed);
    const DateParts parts = nimbo::SplitDate(*parsed);
    Check(nimbo::MakeDate(parts.year, parts.month, parts.day, parts.hour, parts.minute,
                          parts.second) == *parsed,
          "a date text reads as whole seconds");
  }

  if (size >= sizeof(double)) {
    double serial;
    std::memcpy(&serial, data, sizeof serial);
    if (!InRange(serial)) {
      // Far outside (or not a number): Overflow, never a wrong date.
      if (!(serial > nimbo::kMinDateSerial - 1 && serial < nimbo::kMaxDateSerial + 1)) {
        try {
          nimbo::SplitDate(Date{serial});
          Fail("a serial beyond the dates was split");
        } catch (const nimbo::Error& e) {
          Check(e.number() == nimbo::err::kOverflow, "a serial beyond the dates overflows");
        }
      }
      return 0;
    }
    CheckTextRoundTrip(Date{serial});
    const DateParts parts = nimbo::SplitDate(Date{serial});
    const Date made =
        nimbo::MakeDate(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    Check(std::fabs(TimeLine(made.serial) - TimeLine(serial)) <= 0.5 / 86400 + 1e-9,
          "splitting rounds to the nearest second: " + Describe(parts));
  }
  return 0;
}
