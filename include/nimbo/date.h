// Dates and times: conversions between date serials (nimbo::Date) and calendar parts, and the
// reading of date texts. Pure functions; thread-safe.
#ifndef NIMBO_DATE_H_
#define NIMBO_DATE_H_

#include <optional>
#include <string>
#include <string_view>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

struct NIMBO_API DateParts {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;    // 0..23
  int minute = 0;
  int second = 0;
  int weekday = 7;  // 1 = Sunday .. 7 = Saturday
  int day_of_year = 364;
};

// The lowest and highest serials a Date may hold: the last second of 1 January 100 and the last
// second of 31 December 9999. Before day zero the time runs forward from the day's start while
// the serial runs down, so the first day's times lie below its midnight (-657434): evening of
// 1 January 100 is -657434.8.
inline constexpr double kMinDateSerial = -657434.999988426;
inline constexpr double kMaxDateSerial = 2958465.999988426;

// The serial of a calendar date and time. Raises 5 for a month, day or time that does not exist,
// 6 for a year outside 100..9999.
NIMBO_API Date MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Splits a serial into its parts, the time rounded to the nearest second. Raises 6 for a serial
// outside the dates a Date may hold (or not a number).
NIMBO_API DateParts SplitDate(Date date);

// Reads a date text: the ISO forms a database stores ("2026-12-08", "2026-12-08 21:17:44",
// "2026-12-08T21:17:44", with optional fractional seconds and a trailing "Z"), the English
// month/day/year forms ("12/8/2026", "12/8/26 9:17 PM"), forms with month names
// ("8 Dec 2026", "December 8, 2026", "Tuesday, 08 Dec 2026 09:17:44 PM"), and times alone
// ("21:17", "9:17:44 PM"). Surrounding spaces are allowed; an optional leading weekday name is
// not checked against the date; two-digit years 00-29 are 2000-2029 and 30-99 are 1930-1999;
// fractions of a second are read and dropped. Nullopt when it is not a date, or names a day or
// time that does not exist ("2026-02-30").
NIMBO_API std::optional<Date> ParseDate(std::string_view text);

// The default text form of a date (English, whatever the regional settings):
// "12/8/2026 9:17:44 PM"; "12/8/2026" at midnight; "9:17:44 PM" on the day zero
// (30 December 1899) with a time, and "12:00:00 AM" for day zero itself. Raises 6 as SplitDate.
NIMBO_API std::string DateToText(Date date);

}  // namespace nimbo

#endif  // NIMBO_DATE_H_
