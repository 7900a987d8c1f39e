// The format-pattern language for numbers and dates, and the regional settings it reads.
//
// Numbers: "0" a digit always shown, "#" a digit shown when significant, "," between digit
// places turns digit grouping (by threes) on, "." the decimal point, "%" multiplies by 100,
// "E+"/"E-" scientific notation, literal text copied ("\x" and "..." quote it), and up to
// four sections separated by ";" (positive; negative; zero; null).
// Rounding is half away from zero on the number's 15-digit decimal form (2.675 -> "2.68"); a
// negative number that rounds to zero shows no minus sign.
// Dates: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss AMPM AM/PM am/pm A/P : /, codes in
// any letter case; "m"/"mm" right after an hour code (or right before a seconds code) mean
// minutes; "hh" runs 01 to 12 when an AM/PM code is present. Also ddddd (short date), dddddd
// (long date), w, ww, q, y (day of the year) and c (the default text form).
// Any date code makes the whole pattern a date pattern.
//
// Not thread-safe: the regional settings are process-wide, set by the host before it formats.
// Compiled patterns are cached per thread, so repeated formatting with one pattern is cheap.
#ifndef NIMBO_FORMAT_H_
#define NIMBO_FORMAT_H_

#include <array>
#include <string>
#include <string_view>

#include "nimbo/export.h"
#include "nimbo/variant.h"

namespace nimbo {

// Regional settings: English (United States) by default.
struct NIMBO_API RegionalSettings {
  // Weekday names from Sunday.
  std::array<std::string, 7> day_names{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> day_abbrevs{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  // Month names from January.
  std::array<std::string, 12> month_names{"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
  std::array<std::string, 12> month_abbrevs{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string decimal = ".";         // decimal character
  std::string grouping = ",";        // digit grouping character, placed by threes
  std::string am = "AM";             // AM designator
  std::string pm = "PM";             // PM designator
  std::string date_separator = "/";  // what "/" in a pattern gives
  std::string time_separator = ":";  // what ":" in a pattern gives
};

// The settings in force. The reference stays valid until the next SetRegionalSettings.
NIMBO_API const RegionalSettings& CurrentRegionalSettings();
// Replaces the settings in force for every later formatting call.
NIMBO_API void SetRegionalSettings(RegionalSettings settings);

// Formats a value with a pattern. Numbers (and texts that read as numbers) take the number
// language, dates (and texts that read as dates) the date language; a pattern with date codes
// applied to a number reads the number as a date serial. A text that reads as neither comes back
// unchanged. Empty gives "", Null gives "" (or the null section's text). An empty pattern gives
// the value's default text form. A pattern without date codes reads a date as its serial.
// Objects raise 438; a number read as a date raises 6 when no Date can hold it (a text that
// reads as such a number comes back unchanged instead).
NIMBO_API std::string Format(const Variant& value, std::string_view pattern);

// The number and date halves of Format, for callers that already know the kind of value; the
// pattern still decides the language (a date pattern reads a number as a serial).
NIMBO_API std::string FormatNumber(double value, std::string_view pattern);
NIMBO_API std::string FormatDate(Date date, std::string_view pattern);

}  // namespace nimbo

#endif  // NIMBO_FORMAT_H_
