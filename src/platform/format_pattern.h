// Compiled format patterns: a pattern text is read once into sections of number or date parts,
// kept in a small per-thread cache, and rendered many times. Private to the library.
#ifndef NIMBO_PLATFORM_FORMAT_PATTERN_H_
#define NIMBO_PLATFORM_FORMAT_PATTERN_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/format.h"
#include "nimbo/variant.h"

namespace nimbo::format_internal {

// One piece of a number section, in pattern order.
struct NumberPart {
  enum Kind : std::uint8_t {
    kLiteral,    // text copied as it is
    kIntDigit,   // a "0" or "#" before the decimal point
    kPoint,      // the decimal point
    kFracDigit,  // a "0" or "#" after the decimal point
    kExponent,   // "E+", "E-", "e+" or "e-" with its digit places
  };
  Kind kind = kLiteral;
  std::string text;            // kLiteral: the text; kExponent: the letter as written
  bool exponent_plus = false;  // kExponent: "+" shows the sign of a positive exponent too
  int exponent_digits = 1;     // kExponent: the least number of exponent digits
};

struct NumberSection {
  std::vector<NumberPart> parts;
  bool empty = true;        // the section's text was empty (";;"): the first section stands in
  int int_places = 0;       // digit places before the point
  int min_int = 0;          // digits always shown before the point ("0" places)
  int frac_places = 0;      // digit places after the point
  int min_frac = 0;         // digits always shown after the point
  bool grouping = false;    // "," between digit places: group the whole part by threes
  int thousands_scale = 0;  // "," right before the point or the end: divide by 1000 each
  bool percent = false;     // "%": multiply by 100
  bool scientific = false;  // has a kExponent part
  // Digit places and at most a point, nothing else ("#,##0.00", "0"): rendered in one piece.
  bool plain = false;
  bool point = false;  // has a kPoint part
};

// One piece of a date section, in pattern order.
enum class DateCode : std::uint8_t {
  kLiteral,
  kDay,            // d
  kDay2,           // dd
  kWeekdayAbbrev,  // ddd
  kWeekdayName,    // dddd
  kShortDate,      // ddddd: m/d/yyyy
  kLongDate,       // dddddd: dddd, mmmm d, yyyy
  kWeekday,        // w: 1 (Sunday) to 7
  kWeekOfYear,     // ww
  kMonth,          // m
  kMonth2,         // mm
  kMonthAbbrev,    // mmm
  kMonthName,      // mmmm
  kQuarter,        // q
  kDayOfYear,      // y
  kYear2,          // yy
  kYear4,          // yyyy
  kHour,           // h
  kHour2,          // hh
  kMinute,         // n, or m after an hour
  kMinute2,        // nn, or mm after an hour
  kSecond,         // s
  kSecond2,        // ss
  kAmPmRegional,   // AMPM: the regional designators
  kAmPmFixed,      // AM/PM, am/pm, A/P, a/p: the letters as written
  kGeneral,        // c: the default text form
  kDateSeparator,  // /
  kTimeSeparator,  // :
};

struct DatePart {
  DateCode code = DateCode::kLiteral;
  std::string text;  // kLiteral: the text; kAmPmFixed: the morning text
  std::string alt;   // kAmPmFixed: the afternoon text
};

struct DateSection {
  std::vector<DatePart> parts;
  bool twelve_hour = false;  // an AM/PM code is present: hours run 1 to 12
};

struct CompiledPattern {
  bool is_date = false;                // date codes anywhere: the date language applies
  std::vector<NumberSection> numbers;  // up to four sections (number language)
  std::vector<DateSection> dates;      // up to four sections (date language)
  std::string null_text;               // the literal text of the fourth section
};

// The compiled form of a pattern, from the calling thread's cache (compiled on first use).
// The reference stays valid until the next call on the same thread.
const CompiledPattern& CompiledFor(std::string_view pattern);

// Renders a value with a compiled pattern, appending to `out`.
void RenderNumber(const CompiledPattern& pattern, double value, const RegionalSettings& settings,
                  std::string& out);
// RenderNumber for an amount held as a whole number of ten-thousandths (a Currency's form): the
// same text as RenderNumber(pattern, scaled / 10000.0), without reading the digits back from
// the double.
void RenderScaled(const CompiledPattern& pattern, std::int64_t scaled,
                  const RegionalSettings& settings, std::string& out);
// Raises 6 when the serial is outside the dates a Date may hold.
void RenderDate(const CompiledPattern& pattern, Date date, const RegionalSettings& settings,
                std::string& out);

// Formats a text the way Format does: as a number when it reads as one, as a date when it reads
// as one, otherwise unchanged. An empty pattern gives the text.
std::string FormatText(std::string_view text, std::string_view pattern);

}  // namespace nimbo::format_internal

#endif  // NIMBO_PLATFORM_FORMAT_PATTERN_H_
