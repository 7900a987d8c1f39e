// Rendering dates with a compiled date pattern, reading names, designators and separators from
// the regional settings.
#include <string>

#include "nimbo/date.h"
#include "platform/format_pattern.h"
#include "platform/text_util.h"

namespace nimbo::format_internal {
namespace {

int Hour12(int hour) { return hour % 12 == 0 ? 12 : hour % 12; }

// Weeks start on Sunday; the week holding 1 January is week 1.
int WeekOfYear(const DateParts& parts) {
  const int jan1_weekday = ((parts.weekday - 1 - (parts.day_of_year - 1)) % 7 + 7) % 7;  // 0 = Sun
  return (parts.day_of_year - 1 + jan1_weekday) / 7 + 1;
}

void AppendShortDate(std::string& out, const DateParts& parts, const RegionalSettings& settings) {
  AppendZeroPadded(out, parts.month, 1);
  out += settings.date_separator;
  AppendZeroPadded(out, parts.day, 1);
  out += settings.date_separator;
  AppendZeroPadded(out, parts.year, 4);
}

}  // namespace

void RenderDate(const CompiledPattern& pattern, Date date, const RegionalSettings& settings,
                std::string& out) {
  const DateParts parts = SplitDate(date);
  const DateSection& section = pattern.dates.front();
  for (const DatePart& part : section.parts) {
    switch (part.code) {
      case DateCode::kLiteral:
        out += part.text;
        break;
      case DateCode::kDay:
        AppendZeroPadded(out, parts.day, 1);
        break;
      case DateCode::kDay2:
        AppendZeroPadded(out, parts.day, 2);
        break;
      case DateCode::kWeekdayAbbrev:
        out += settings.day_abbrevs[parts.weekday - 1];
        break;
      case DateCode::kWeekdayName:
        out += settings.day_names[parts.weekday - 1];
        break;
      case DateCode::kShortDate:
        AppendShortDate(out, parts, settings);
        break;
      case DateCode::kLongDate:
        out += settings.day_names[parts.weekday - 1];
        out += ", ";
        out += settings.month_names[parts.month - 1];
        out += ' ';
        AppendZeroPadded(out, parts.day, 1);
        out += ", ";
        AppendZeroPadded(out, parts.year, 4);
        break;
      case DateCode::kWeekday:
        AppendZeroPadded(out, parts.weekday, 1);
        break;
      case DateCode::kWeekOfYear:
        AppendZeroPadded(out, WeekOfYear(parts), 1);
        break;
      case DateCode::kMonth:
        AppendZeroPadded(out, parts.month, 1);
        break;
      case DateCode::kMonth2:
        AppendZeroPadded(out, parts.month, 2);
        break;
      case DateCode::kMonthAbbrev:
        out += settings.month_abbrevs[parts.month - 1];
        break;
      case DateCode::kMonthName:
        out += settings.month_names[parts.month - 1];
        break;
      case DateCode::kQuarter:
        AppendZeroPadded(out, (parts.month - 1) / 3 + 1, 1);
        break;
      case DateCode::kDayOfYear:
        AppendZeroPadded(out, parts.day_of_year, 1);
        break;
      case DateCode::kYear2:
        AppendZeroPadded(out, parts.year % 100, 2);
        break;
      case DateCode::kYear4:
        AppendZeroPadded(out, parts.year, 4);
        break;
      case DateCode::kHour:
        AppendZeroPadded(out, section.twelve_hour ? Hour12(parts.hour) : parts.hour, 1);
        break;
      case DateCode::kHour2:
        AppendZeroPadded(out, section.twelve_hour ? Hour12(parts.hour) : parts.hour, 2);
        break;
      case DateCode::kMinute:
        AppendZeroPadded(out, parts.minute, 1);
        break;
      case DateCode::kMinute2:
        AppendZeroPadded(out, parts.minute, 2);
        break;
      case DateCode::kSecond:
        AppendZeroPadded(out, parts.second, 1);
        break;
      case DateCode::kSecond2:
        AppendZeroPadded(out, parts.second, 2);
        break;
      case DateCode::kAmPmRegional:
        out += parts.hour < 12 ? settings.am : settings.pm;
        break;
      case DateCode::kAmPmFixed:
        out += parts.hour < 12 ? part.text : part.alt;
        break;
      case DateCode::kGeneral:
        out += DateToText(date);
        break;
      case DateCode::kDateSeparator:
        out += settings.date_separator;
        break;
      case DateCode::kTimeSeparator:
        out += settings.time_separator;
        break;
    }
  }
}

}  // namespace nimbo::format_internal
