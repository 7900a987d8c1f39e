// Value formatting for report pages: one database value as its cell text, chosen by the type tag
// of the field it came from; the field type groups that pick the tag; and the two null helpers
// that make database nulls usable in sums and counts.
#ifndef NIMBO_REPORT_VALUE_FORMAT_H_
#define NIMBO_REPORT_VALUE_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "nimbo/variant.h"

namespace nimbo {

// The groups of field type codes that decide how a field's values are shown.
enum FieldGroup {
  kFloating,  // "Dbl": two decimals with digit grouping
  kWhole,     // "Int": rounded to a whole number with digit grouping
  kDate,      // "Dte": the DateFormat pattern
  kMemo,      // "Htm": a stored hyperlink shown as a link
  kOther,     // " ": shown as it is
};

// The patterns of the amount ("Dbl") and whole-number ("Int") cells.
inline constexpr std::string_view kAmountPattern = "#,##,##0.00";
inline constexpr std::string_view kWholePattern = "#,##,##0";

// The group of a field type code: 5 6 14 131 139 floating; 2 3 4 16 17 18 19 20 21 whole (4, the
// single-precision code, is whole: such values show rounded); 7 64 133 134 135 date; 203 memo;
// any other code kOther.
FieldGroup GroupOfType(int ado_type);

// The type tag of a group: "Dbl", "Int", "Dte", "Htm", or " " for kOther.
std::string_view TagOf(FieldGroup group);

// One value as its cell text. The value is trimmed of spaces (a non-text value taken as its
// default text form); Null gives "." for every tag. Tags, compared case-sensitively:
//   "Dbl"  the number with "#,##,##0.00" (1234.5 -> "1,234.50");
//   "Int"  the number with "#,##,##0" (1234.4 -> "1,234");
//   "Dte"  the date with `date_format` ("" gives the value's default text form);
//   "Htm"  markup: "text#address#..." becomes <a href='address'>text</a> with both parts
//          HTML-escaped, when the address is http, https, mailto or relative; any other text
//          (fewer than two "#", another scheme) comes back HTML-escaped without a link;
//   any other tag: the trimmed text.
// With "Dbl", "Int" and "Dte", a text that reads as neither a number nor a date comes back
// trimmed and unchanged. Bytes come back as BinaryText (platform/binary_text.h) whatever the
// tag: "0x" and their hexadecimal digits up to 16 bytes, "(binary data, N bytes)" beyond. Only "Htm" gives markup; callers escape the other results when they
// write them into a page. An object raises 438 (the caller's error handling takes it).
std::string FormatValue(const Variant& value, std::string_view tag, std::string_view date_format);

// Null gives the 16-bit integer 0; any other value comes back as an unchanged copy.
Variant NullToZero(const Variant& value);

// Null gives 0; any other value converts to a 16-bit integer, halves rounded to even. Raises 6
// outside -32,768..32,767 and 13 for a text that is no number.
std::int16_t NullToInt(const Variant& value);

}  // namespace nimbo

#endif  // NIMBO_REPORT_VALUE_FORMAT_H_
