// The classic variant conversions: numbers, texts, dates and Booleans into one another, with the
// classic errors (6 Overflow, 13 Type mismatch, 94 Invalid use of Null).
#include "nimbo/variant.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "nimbo/date.h"
#include "nimbo/error.h"

namespace nimbo {
namespace {

// Half-way cases go to the even neighbour (2.5 -> 2, 3.5 -> 4), the classic integer rounding.
// Written out rather than left to the floating-point rounding mode, which a host may change.
double RoundHalfEven(double value) {
  double rounded = std::round(value);
  if (std::fabs(value - std::trunc(value)) == 0.5) rounded = 2.0 * std::round(value / 2.0);
  return rounded;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "&H" / "&O" numbers: up to four hexadecimal digits make a 16-bit value and up to eight a
// 32-bit one, so "&HFFFF" is -1 as the classic parser has it.
std::optional<double> ParseRadixNumber(std::string_view digits, int radix) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [ptr, ec] = std::from_chars(digits.data(), end, value, radix);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  if (radix == 16) {
    if (digits.size() <= 4) return static_cast<double>(static_cast<std::int16_t>(value));
    if (digits.size() <= 8) return static_cast<double>(static_cast<std::int32_t>(value));
    return std::nullopt;
  }
  if (value <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(value));
  if (value <= 0xFFFFFFFF) return static_cast<double>(static_cast<std::int32_t>(value));
  return std::nullopt;
}

// Currency text: up to four decimals, trailing zeros dropped ("1234.5", "-0.0001", "7").
std::string CurrencyToText(Currency value) {
  const bool negative = value.scaled < 0;
  // Unsigned arithmetic so that the most negative amount has a magnitude too.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.scaled)
                                     : static_cast<std::uint64_t>(value.scaled);
  std::string text = fmt::format("{}{}", negative ? "-" : "", magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    std::string digits = fmt::format("{:04}", fraction);
    while (digits.back() == '0') digits.pop_back();
    text += '.';
    text += digits;
  }
  return text;
}

[[noreturn]] void Raise(int number) { throw Error(number); }

constexpr char kInfinityText[] = "Infinity";
constexpr char kMinusInfinityText[] = "-Infinity";
constexpr char kNaNText[] = "NaN";

// The largest double, 1.7976931348623157E+308, as the text DoubleToText writes for it: the
// decimal exponent and the 15 significant digits.
constexpr long kLargestMagnitude = 308;
constexpr std::string_view kLargestDigits = "179769313486232";

}  // namespace

Currency Currency::FromDouble(double value) {
  const double scaled = RoundHalfEven(value * 10000.0);
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(scaled >= -kLimit && scaled < kLimit)) Raise(err::kOverflow);
  return Currency{static_cast<std::int64_t>(scaled)};
}

std::string_view TypeName(VarType type) {
  switch (type) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kBoolean:
      return "Boolean";
    case VarType::kInteger:
      return "Integer";
    case VarType::kLong:
      return "Long";
    case VarType::kDouble:
      return "Double";
    case VarType::kCurrency:
      return "Currency";
    case VarType::kDate:
      return "Date";
    case VarType::kString:
      return "String";
    case VarType::kBytes:
      return "Byte()";
    case VarType::kObject:
      return "Recordset";
  }
  return "Unknown";
}

Variant Variant::Whole(std::int64_t value) {
  if (value >= std::numeric_limits<std::int16_t>::min() &&
      value <= std::numeric_limits<std::int16_t>::max()) {
    return Variant(static_cast<std::int16_t>(value));
  }
  if (value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return Variant(static_cast<std::int32_t>(value));
  }
  return Variant(static_cast<double>(value));
}

bool Variant::IsNumber() const {
  switch (type()) {
    case VarType::kBoolean:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kCurrency:
      return true;
    default:
      return false;
  }
}

std::string Variant::ToText() const {
  switch (type()) {
    case VarType::kEmpty:
      return std::string();
    case VarType::kNull:
      Raise(err::kInvalidUseOfNull);
    case VarType::kBoolean:
      return boolean() ? "True" : "False";
    case VarType::kInteger:
      return fmt::format("{}", integer());
    case VarType::kLong:
      return fmt::format("{}", long_value());
    case VarType::kDouble:
      return DoubleToText(dbl());
    case VarType::kCurrency:
      return CurrencyToText(currency());
    case VarType::kDate:
      return DateToText(date());
    case VarType::kString:
      return str();
    case VarType::kBytes:
      return std::string(bytes().begin(), bytes().end());
    case VarType::kObject:
      Raise(err::kNoSuchMember);
  }
  Raise(err::kTypeMismatch);
}

double Variant::ToDouble() const {
  switch (type()) {
    case VarType::kEmpty:
      return 0.0;
    case VarType::kNull:
      Raise(err::kInvalidUseOfNull);
    case VarType::kBoolean:
      return boolean() ? -1.0 : 0.0;
    case VarType::kInteger:
      return integer();
    case VarType::kLong:
      return long_value();
    case VarType::kDouble:
      return dbl();
    case VarType::kCurrency:
      return currency().ToDouble();
    case VarType::kDate:
      return date().serial;
    case VarType::kString: {
      if (std::optional<double> number = ParseNumber(str())) return *number;
      Raise(err::kTypeMismatch);
    }
    case VarType::kBytes:
    case VarType::kObject:
      break;
  }
  Raise(err::kTypeMismatch);
}

std::int16_t Variant::ToInteger() const {
  switch (type()) {
    case VarType::kBoolean:
      return boolean() ? -1 : 0;
    case VarType::kInteger:
      return integer();
    default:
      break;
  }
  const double rounded = RoundHalfEven(ToDouble());
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) Raise(err::kOverflow);
  return static_cast<std::int16_t>(rounded);
}

std::int32_t Variant::ToLong() const {
  switch (type()) {
    case VarType::kBoolean:
      return boolean() ? -1 : 0;
    case VarType::kInteger:
      return integer();
    case VarType::kLong:
      return long_value();
    default:
      break;
  }
  const double rounded = RoundHalfEven(ToDouble());
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) Raise(err::kOverflow);
  return static_cast<std::int32_t>(rounded);
}

Date Variant::ToDate() const {
  if (type() == VarType::kDate) return date();
  if (type() == VarType::kString) {
    if (std::optional<Date> parsed = ParseDate(str())) return *parsed;
    if (!ParseNumber(str())) Raise(err::kTypeMismatch);
  }
  const double serial = ToDouble();
  if (!(serial >= kMinDateSerial && serial <= kMaxDateSerial)) Raise(err::kOverflow);
  return Date{serial};
}

bool Variant::ToBoolean() const {
  switch (type()) {
    case VarType::kBoolean:
      return boolean();
    case VarType::kString: {
      const std::string_view text = TrimBlanks(str());
      if (EqualsIgnoringCase(text, "True")) return true;
      if (EqualsIgnoringCase(text, "False")) return false;
      break;
    }
    default:
      break;
  }
  return ToDouble() != 0.0;
}

bool Variant::IsNumeric() const {
  switch (type()) {
    case VarType::kEmpty:
      return true;
    case VarType::kString:
      return ParseNumber(str()).has_value();
    default:
      return IsNumber();
  }
}

bool Variant::IsDate() const {
  switch (type()) {
    case VarType::kDate:
      return true;
    case VarType::kString:
      return ParseDate(str()).has_value();
    default:
      return false;
  }
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() >= 2 && text[0] == '&') {
    const char radix = text[1];
    if (radix == 'H' || radix == 'h') return ParseRadixNumber(text.substr(2), 16);
    if (radix == 'O' || radix == 'o') return ParseRadixNumber(text.substr(2), 8);
    return std::nullopt;
  }
  // What DoubleToText writes for the values that are no finite number.
  if (text == kInfinityText) return std::numeric_limits<double>::infinity();
  if (text == kMinusInfinityText) return -std::numeric_limits<double>::infinity();
  if (text == kNaNText) return std::numeric_limits<double>::quiet_NaN();

  // Copy the number without its grouping characters for from_chars, checking the classic shape
  // as we go: [sign] digits-with-grouping [. digits] [E|D [sign] digits]. No limit on the
  // length: a number formatted with all its digits (the largest double has 309) reads back.
  std::string buffer;
  buffer.reserve(text.size());
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // The decimal exponent of the first significant digit, for a result out of range.
  int whole_digits = 0;        // significant digits before the point
  int zeros_after_point = 0;   // zeros between the point and the first significant digit
  std::string significant;     // the significant digits, for comparing with the largest double
  int mantissa_digits = 0;
  const auto take_digit = [&](char c, bool after_point) {
    buffer += c;
    ++mantissa_digits;
    if (significant.empty() && c == '0') {
      if (after_point) ++zeros_after_point;
      return;
    }
    significant += c;
    if (!after_point) ++whole_digits;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      take_digit(c, false);
    } else if (c == ',' && mantissa_digits > 0) {
      // Grouping characters are allowed between the digits of the whole part.
    } else {
      break;
    }
    ++i;
  }
  if (i < text.size() && text[i] == '.') {
    buffer += '.';
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') take_digit(text[i++], true);
  }
  if (mantissa_digits == 0) return std::nullopt;
  long exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    buffer += 'e';
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      exponent_negative = text[i] == '-';
      buffer += text[i];
      ++i;
    }
    int exponent_digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      buffer += text[i];
      // Far beyond any double either way; more digits change nothing.
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++exponent_digits;
      ++i;
    }
    if (exponent_digits == 0) return std::nullopt;
    if (exponent_negative) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  auto [ptr, ec] = std::from_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (ptr != buffer.data() + buffer.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    while (!significant.empty() && significant.back() == '0') significant.pop_back();
    const long magnitude =
        (whole_digits > 0 ? whole_digits - 1 : -zeros_after_point - 1) + exponent;
    if (magnitude < 0) {
      value = 0;  // too small for a double: it reads as zero
    } else if (magnitude == kLargestMagnitude && significant <= kLargestDigits) {
      // The largest double's text has 15 digits, rounded up past the double itself; it and
      // every number up to it read as the largest double, so that text reads back.
      value = std::numeric_limits<double>::max();
    } else {
      return std::nullopt;  // too large for a double
    }
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::string DoubleToText(double value) {
  if (value == 0) return "0";  // no "-0"
  // Values that are no finite number, in words ParseNumber reads back (as Format writes them).
  if (value != value) return kNaNText;
  if (value == std::numeric_limits<double>::infinity()) return kInfinityText;
  if (value == -std::numeric_limits<double>::infinity()) return kMinusInfinityText;
  // Fifteen significant digits, exponent form below 0.0001 and from 1E+15 on, trailing zeros
  // dropped: the printf "%.15G" rules, which are the classic ones.
  return fmt::format("{:.15G}", value);
}

}  // namespace nimbo
