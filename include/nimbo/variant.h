// nimbo::Variant: the value type that database fields, properties and event arguments carry.
// It follows the classic variant rules: a tagged value that may be Empty, Null, a Boolean, a
// 16- or 32-bit integer, a double, a currency amount, a date, a text (UTF-8), raw bytes or a
// counted reference to a record set. Conversions raise nimbo::Error with the classic numbers
// (6 Overflow, 13 Type mismatch, 94 Invalid use of Null).
// Not thread-safe to share a mutable Variant; copies are independent (except the Object, which
// is a shared reference).
#ifndef NIMBO_VARIANT_H_
#define NIMBO_VARIANT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "nimbo/export.h"

namespace nimbo {

class Recordset;  // nimbo/record_source.h

// A date and time: days since 30 December 1899, the fraction being the time of day.
// Negative serials count back from that day, their fraction still being the time forward.
struct NIMBO_API Date {
  double serial = 0;
  friend bool operator==(Date a, Date b) = default;
};

// A fixed-point amount with four decimals: the value times 10,000.
struct NIMBO_API Currency {
  std::int64_t scaled = 0;
  static Currency FromDouble(double value);  // rounds half to even; raises 6 when out of range
  double ToDouble() const { return static_cast<double>(scaled) / 10000.0; }
  friend bool operator==(Currency a, Currency b) = default;
};

using Bytes = std::vector<std::uint8_t>;

enum class VarType {
  kEmpty,
  kNull,
  kBoolean,
  kInteger,  // 16-bit signed
  kLong,     // 32-bit signed
  kDouble,
  kCurrency,
  kDate,
  kString,
  kBytes,
  kObject,
};

// The name of a type as the classic TypeName gives it ("Integer", "String", "Null", ...).
NIMBO_API std::string_view TypeName(VarType type);

class NIMBO_API Variant {
 public:
  Variant() = default;  // Empty
  Variant(bool value) : v_(value) {}
  Variant(std::int16_t value) : v_(value) {}
  Variant(std::int32_t value) : v_(value) {}
  Variant(double value) : v_(value) {}
  Variant(Currency value) : v_(value) {}
  Variant(Date value) : v_(value) {}
  Variant(const char* value) : v_(std::string(value)) {}
  Variant(std::string value) : v_(std::move(value)) {}
  Variant(std::string_view value) : v_(std::string(value)) {}
  Variant(Bytes value) : v_(std::move(value)) {}
  Variant(std::shared_ptr<Recordset> value) : v_(std::move(value)) {}
  // Any other pointer would silently turn into a Boolean.
  template <class T>
  Variant(T*) = delete;

  static Variant Null() {
    Variant v;
    v.v_ = NullTag{};
    return v;
  }
  // A whole number as the narrowest of Integer, Long or (beyond 32 bits) Double.
  static Variant Whole(std::int64_t value);

  VarType type() const { return static_cast<VarType>(v_.index()); }
  bool IsEmpty() const { return type() == VarType::kEmpty; }
  bool IsNull() const { return type() == VarType::kNull; }
  bool IsString() const { return type() == VarType::kString; }
  bool IsObject() const { return type() == VarType::kObject; }
  // Boolean, Integer, Long, Double or Currency.
  bool IsNumber() const;

  // Direct access to the held value; the caller checks type() first (std::bad_variant_access
  // otherwise).
  bool boolean() const { return std::get<bool>(v_); }
  std::int16_t integer() const { return std::get<std::int16_t>(v_); }
  std::int32_t long_value() const { return std::get<std::int32_t>(v_); }
  double dbl() const { return std::get<double>(v_); }
  Currency currency() const { return std::get<Currency>(v_); }
  Date date() const { return std::get<Date>(v_); }
  const std::string& str() const { return std::get<std::string>(v_); }
  const Bytes& bytes() const { return std::get<Bytes>(v_); }
  const std::shared_ptr<Recordset>& object() const {
    return std::get<std::shared_ptr<Recordset>>(v_);
  }

  // The classic conversions. Each raises nimbo::Error on failure:
  // Null -> 94; a text that is not a number (or date) -> 13; out of range -> 6;
  // bytes or an object where a number is wanted -> 13.

  // Default text form: Empty "", Boolean "True"/"False", Double with up to 15 significant
  // digits, Date as month/day/year [h:nn:ss AM/PM] (time left out at midnight), Bytes as
  // their raw bytes. Null raises 94; an Object raises 438.
  std::string ToText() const;
  // To 16-bit integer, rounding half to even.
  std::int16_t ToInteger() const;
  // To 32-bit integer, rounding half to even.
  std::int32_t ToLong() const;
  double ToDouble() const;
  // Numbers as date serials; texts read as dates (or numbers).
  Date ToDate() const;
  bool ToBoolean() const;

  // True when the value reads as a number: a number, or a text that parses as one. Empty counts
  // as numeric (it converts to 0); a date does not.
  bool IsNumeric() const;
  // True when the value reads as a date: a date, or a text that parses as a date.
  bool IsDate() const;

  // Same type and same value (for texts, the same bytes). Empty equals Empty, Null equals Null.
  friend bool operator==(const Variant& a, const Variant& b) = default;

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) = default;
  };
  std::variant<std::monostate, NullTag, bool, std::int16_t, std::int32_t, double, Currency, Date,
               std::string, Bytes, std::shared_ptr<Recordset>>
      v_;
};

// Reads a text as a number the classic way: surrounding spaces allowed, an optional sign,
// digits with optional grouping characters, a decimal point, an optional exponent ("E" or "D"),
// or &H / &O prefixed hexadecimal and octal (up to four hexadecimal digits make a 16-bit value,
// so "&HFFFF" is -1; up to eight a 32-bit one). The characters are "." and "," whatever the
// regional settings, so texts stored by a database read the same everywhere. Any number of
// digits is read. Every text DoubleToText and the number formats write reads back: the largest
// double's "1.79769313486232E+308", rounded up past it, and any number up to that text read as
// the largest double; "Infinity", "-Infinity" and "NaN" read as those values. A number too
// small for a double reads as 0. Nullopt when it is not a number or is beyond those.
NIMBO_API std::optional<double> ParseNumber(std::string_view text);

// Text form of a double with up to 15 significant digits, the classic way
// ("0.1", "1234.5", "1E+20", "-1.5E-07"); "Infinity", "-Infinity" and "NaN" for the values that
// are no finite number.
NIMBO_API std::string DoubleToText(double value);

}  // namespace nimbo

#endif  // NIMBO_VARIANT_H_
