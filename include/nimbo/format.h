// The format-pattern language for numbers and dates, and the regional settings it reads.
//
// Numbers: "0" a digit always shown, "#" a digit shown when significant, "," between digit
// places turns digit grouping (by threes) on, "." the decimal point, "%" multiplies by 100,
// "E+"/"E-" scientific notation, literal text copied ("\x" and "..." quote it), and up to
// four sections separated by ";" (positive; negative; zero; null).
// Dates: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss AMPM AM/PM am/pm A/P : /, codes in
// any letter case; "m"/"mm" right after an hour code mean minutes.
//
// Not thread-safe: the regional settings are process-wide, set by the host before it formats.
#ifndef NIMBO_FORMAT_H_
#define NIMBO_FORMAT_H_

#include <array>
#include <string>
#include <string_view>

#include "nimbo/variant.h"

namespace nimbo {

// Regional settings: English (United States) by default.
struct RegionalSettings {
  // Weekday names from Sunday.
  std::array<std::string, 7> day_names{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> day_abbrevs{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  // Month names from January.
  std::array<std::string, 12> month_names{"January", "February", "March",     "April",
                                          "May",     "June",     "July",      "August",
                                          "September", "October", "November", "December"};
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
const RegionalSettings& CurrentRegionalSettings();
// Replaces the settings in force for every later formatting call.
void SetRegionalSettings(RegionalSettings settings);

// Formats a value with a pattern. Numbers (and texts that read as numbers) take the number
// language, dates (and texts that read as dates) the date language; a pattern with date codes
// applied to a number reads the number as a date serial. A text that reads as neither comes back
// unchanged. Empty gives "", Null gives "" (or the null section's text). An empty pattern gives
// the value's default text form. Objects raise 438.
std::string Format(const Variant& value, std::string_view pattern);

// The number and date halves of Format, for callers that already know the kind.
std::string FormatNumber(double value, std::string_view pattern);
std::string FormatDate(Date date, std::string_view pattern);

}  // namespace nimbo

#endif  // NIMBO_FORMAT_H_
