// Format: the value-to-text entry points of the format-pattern language, and the process-wide
// regional settings they read.
#include "nimbo/format.h"

#include <string>
#include <string_view>
#include <utility>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "platform/format_pattern.h"

namespace nimbo {
namespace {

RegionalSettings& Settings() {
  static RegionalSettings settings;
  return settings;
}

using format_internal::CompiledFor;
using format_internal::CompiledPattern;

bool InDateRange(double serial) { return serial >= kMinDateSerial && serial <= kMaxDateSerial; }

std::string Render(const CompiledPattern& compiled, double number) {
  std::string out;
  if (compiled.is_date) {
    format_internal::RenderDate(compiled, Date{number}, CurrentRegionalSettings(), out);
  } else {
    format_internal::RenderNumber(compiled, number, CurrentRegionalSettings(), out);
  }
  return out;
}

}  // namespace

const RegionalSettings& CurrentRegionalSettings() { return Settings(); }

void SetRegionalSettings(RegionalSettings settings) { Settings() = std::move(settings); }

std::string Format(const Variant& value, std::string_view pattern) {
  switch (value.type()) {
    case VarType::kObject:
      throw Error(err::kNoSuchMember);
    case VarType::kEmpty:
      return std::string();
    case VarType::kNull:
      return pattern.empty() ? std::string() : CompiledFor(pattern).null_text;
    case VarType::kString:
      return format_internal::FormatText(value.str(), pattern);
    case VarType::kBytes:
      return format_internal::FormatText(value.ToText(), pattern);
    case VarType::kDate:
      return FormatDate(value.date(), pattern);
    default:
      break;
  }
  if (pattern.empty()) return value.ToText();
  return FormatNumber(value.ToDouble(), pattern);
}

std::string FormatNumber(double value, std::string_view pattern) {
  if (pattern.empty()) return DoubleToText(value);
  return Render(CompiledFor(pattern), value);
}

std::string FormatDate(Date date, std::string_view pattern) {
  if (pattern.empty()) return DateToText(date);
  return Render(CompiledFor(pattern), date.serial);
}

namespace format_internal {

std::string FormatText(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return std::string(text);
  double number = 0;
  if (std::optional<double> parsed = ParseNumber(text)) {
    number = *parsed;
    // A number read as a date must be one a Date can hold; otherwise it is no date at all.
    if (CompiledFor(pattern).is_date && !InDateRange(number)) return std::string(text);
  } else if (std::optional<Date> date = ParseDate(text)) {
    number = date->serial;
  } else {
    return std::string(text);
  }
  return Render(CompiledFor(pattern), number);
}

}  // namespace format_internal
}  // namespace nimbo
