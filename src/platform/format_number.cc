// Rendering numbers with a compiled number pattern: rounding on the 15-digit decimal form,
// digit places, grouping by threes, percent, thousands scaling and scientific notation.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/format_pattern.h"

namespace nimbo::format_internal {
namespace {

// A non-negative number as up to 15 significant decimal digits: 0.d0 d1 d2 ... times
// 10^(exponent + 1), that is d0 stands at the place 10^exponent. Digits past `count` are zeros.
struct Decimal {
  char digits[15] = {};
  int count = 0;  // 0 for zero
  int exponent = 0;

  char DigitAt(int index) const { return index >= 0 && index < count ? digits[index] : '0'; }
};

// Reads to_chars' scientific form "d.ddde+XX" into `decimal`; false when it has more than 15
// significant digits.
bool ReadScientific(const char* begin, const char* end, Decimal& decimal) {
  int count = 0;
  const char* p = begin;
  for (; p != end && *p != 'e'; ++p) {
    if (*p == '.') continue;
    if (count == 15) return false;
    decimal.digits[count++] = *p;
  }
  // "inf" and "nan" have no exponent to read.
  if (end - p < 3) return false;
  int exponent = 0;
  std::from_chars(p + 2, end, exponent);
  decimal.exponent = p[1] == '-' ? -exponent : exponent;
  decimal.count = count;
  while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
  return true;
}

// 10^0 to 10^14.
// "00" to "99", two characters each.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t kWholePowers[] = {
    1ULL,           10ULL,           100ULL,           1000ULL,           10000ULL,
    100000ULL,      1000000ULL,      10000000ULL,      100000000ULL,      1000000000ULL,
    10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL, 100000000000000ULL};

// Puts the `length` decimal digits of `digits` into `decimal`, the first at the place
// 10^exponent, without the zeros that end it.
void SetDigits(std::uint64_t digits, int length, int exponent, Decimal& decimal) {
  if (digits == 0) {
    decimal.count = 0;
    return;
  }
  int zeros = 0;
  while (digits % 10000 == 0) {
    digits /= 10000;
    zeros += 4;
  }
  while (digits % 10 == 0) {
    digits /= 10;
    ++zeros;
  }
  decimal.count = length - zeros;
  std::to_chars(decimal.digits, decimal.digits + decimal.count, digits);
  decimal.exponent = exponent;
}

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The nearest 15-digit decimal by exact arithmetic, for the magnitudes tables hold: the value
// times a power of ten (exact up to 1e22) is carried as a sum of two doubles, so its distance
// to the next whole number is known exactly. False for magnitudes out of reach and for values
// too close to a half-way point, which the general path then takes.
bool FastDecimal(double magnitude, Decimal& decimal) {
  if (!(magnitude >= 1e-7 && magnitude < 1e15)) return false;
  // The decimal exponent: the binary one times log10(2), one too small at most.
  int exponent = static_cast<int>(std::floor(std::ilogb(magnitude) * 0.30102999566398120));
  double power = kPowersOfTen[14 - exponent];
  double product = magnitude * power;
  if (product >= 1e15) {
    ++exponent;
    power = kPowersOfTen[14 - exponent];
    product = magnitude * power;
  }
  const double error = std::fma(magnitude, power, -product);  // exact: product + error = m * 10^s
  const double whole = std::floor(product);
  const double fraction = (product - whole) + error;
  if (std::fabs(fraction - 0.5) < 1e-6) return false;
  std::uint64_t digits = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  if (digits == 1000000000000000ULL) {  // rounded up to the next power of ten
    digits /= 10;
    ++exponent;
  }
  if (digits < 100000000000000ULL || digits >= 1000000000000000ULL) return false;
  SetDigits(digits, 15, exponent, decimal);
  return true;
}

// A whole number below 10^15 is its own 15-digit decimal.
bool WholeDecimal(double magnitude, Decimal& decimal) {
  if (!(magnitude >= 1 && magnitude < 1e15) || magnitude != std::floor(magnitude)) return false;
  const auto digits = static_cast<std::uint64_t>(magnitude);
  int length = 1;
  while (length < 15 && digits >= kWholePowers[length]) ++length;
  SetDigits(digits, length, length - 1, decimal);
  return true;
}

// The decimal form with 15 significant digits, the precision a double's text form has; rounding
// to the pattern's places then works on what the user sees, so 2.675 gives 2.68.
Decimal ToDecimal(double magnitude) {
  Decimal decimal;
  if (magnitude == 0) return decimal;
  if (WholeDecimal(magnitude, decimal) || FastDecimal(magnitude, decimal)) return decimal;
  char buffer[32];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
  ReadScientific(buffer, result.ptr, decimal);
  return decimal;
}

// Keeps the first `keep` significant digits, rounding half away from zero.
void RoundTo(Decimal& decimal, int keep) {
  if (decimal.count == 0 || keep >= decimal.count) return;
  if (keep < 0) {
    decimal.count = 0;
    return;
  }
  const bool up = decimal.digits[keep] >= '5';
  decimal.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && decimal.digits[i] == '9') --i;
    if (i < 0) {
      // 999.5 -> 1000: one digit more before the point.
      decimal.digits[0] = '1';
      decimal.count = 1;
      ++decimal.exponent;
    } else {
      ++decimal.digits[i];
      decimal.count = i + 1;
    }
  }
  while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
}

// The digits of a number, ready to be laid over the digit places of a section.
struct Digits {
  // Whole part, most significant first, padded to the section's "0" places. Big enough for the
  // largest double (309 digits).
  char whole[330];
  int whole_count = 0;
  char frac[330];
  int frac_count = 0;
  bool zero = true;  // every shown digit is 0: no minus sign
  // Scientific notation only.
  int exponent = 0;
};

void Lay(const Decimal& decimal, int first_place, int whole_digits, int frac_digits, int min_whole,
         int min_frac, Digits* out) {
  // first_place: the place (power of ten) of the first whole digit.
  int n = 0;
  for (int i = 0; i < whole_digits && n < static_cast<int>(sizeof out->whole); ++i) {
    out->whole[n++] = decimal.DigitAt(decimal.exponent - (first_place - i));
  }
  // Leading zeros beyond the "0" places go.
  int skip = 0;
  while (skip < n && out->whole[skip] == '0' && n - skip > min_whole) ++skip;
  int m = 0;
  for (int i = skip; i < n; ++i) out->whole[m++] = out->whole[i];
  while (m < min_whole && m < static_cast<int>(sizeof out->whole)) {
    // Pad on the left.
    for (int i = m; i > 0; --i) out->whole[i] = out->whole[i - 1];
    out->whole[0] = '0';
    ++m;
  }
  out->whole_count = m;
  int f = 0;
  for (int i = 0; i < frac_digits && f < static_cast<int>(sizeof out->frac); ++i) {
    out->frac[f++] = decimal.DigitAt(decimal.exponent - (first_place - whole_digits - i));
  }
  while (f > min_frac && out->frac[f - 1] == '0') --f;
  out->frac_count = f;
  out->zero = decimal.count == 0;
}

// A plain section's text: the sign, every whole digit (the first place takes those beyond the
// places) grouped by threes when asked, then the point and the fraction's digits. Sized first
// and written in place, as most cells of a table are such numbers.
void RenderPlain(const NumberSection& section, const Digits& digits, bool minus,
                 const RegionalSettings& settings, std::string& out) {
  const int n = digits.whole_count;
  const bool sign = minus && !digits.zero;
  const std::string_view grouping = section.grouping ? settings.grouping : std::string_view();
  const std::size_t groups = n > 1 ? static_cast<std::size_t>(n - 1) / 3 : 0;
  std::size_t size = (sign ? 1 : 0) + static_cast<std::size_t>(n) + groups * grouping.size();
  if (section.point) size += settings.decimal.size() + static_cast<std::size_t>(digits.frac_count);
  const std::size_t start = out.size();
  out.resize(start + size);
  char* p = out.data() + start;
  if (sign) *p++ = '-';
  for (int i = 0; i < n; ++i) {
    *p++ = digits.whole[i];
    const int from_right = n - 1 - i;
    if (from_right > 0 && from_right % 3 == 0) {
      p = std::copy(grouping.begin(), grouping.end(), p);
    }
  }
  if (section.point) {
    p = std::copy(settings.decimal.begin(), settings.decimal.end(), p);
    p = std::copy(digits.frac, digits.frac + digits.frac_count, p);
  }
}

// A plain section over a whole number of 10^-decimals units (decimals 0 to 4) below 10^15, as
// amounts and counts in tables are: the digits come straight from the integer, rounded half away
// from zero at the section's last place, exactly as the decimal form would be. False when the
// section needs more than digit places and a point.
bool RenderPlainWhole(const NumberSection& section, std::uint64_t magnitude, int decimals,
                      bool minus, const RegionalSettings& settings, std::string& out) {
  const std::string_view grouping = section.grouping ? settings.grouping : std::string_view();
  // Bounds that keep the text within the buffer below; patterns beyond them are rare.
  constexpr int kMaxPlaces = 20;
  constexpr std::size_t kMaxMark = 4;
  if (!section.plain || section.percent || section.thousands_scale != 0 || section.scientific ||
      magnitude >= 1000000000000000ULL || section.min_int > kMaxPlaces ||
      section.frac_places > kMaxPlaces || grouping.size() > kMaxMark ||
      settings.decimal.size() > kMaxMark) {
    return false;
  }
  std::uint64_t whole = 0;
  std::uint64_t fraction = 0;  // the shown fraction's first `shown` digits
  int shown = 0;
  if (section.frac_places >= decimals) {
    whole = magnitude / kWholePowers[decimals];
    fraction = magnitude % kWholePowers[decimals];
    shown = decimals;
  } else {
    const std::uint64_t step = kWholePowers[decimals - section.frac_places];
    const std::uint64_t rounded = (magnitude + step / 2) / step;
    whole = rounded / kWholePowers[section.frac_places];
    fraction = rounded % kWholePowers[section.frac_places];
    shown = section.frac_places;
  }
  const bool sign = minus && (whole != 0 || fraction != 0);
  // Digits are made two at a time from a table and copied one by one: they are few, and a
  // library call per piece would cost more than the piece.
  char whole_digits[kMaxPlaces + 4];
  char* const whole_end = whole_digits + sizeof whole_digits;
  char* first = whole_end;
  std::uint64_t rest = whole;
  while (rest >= 100) {
    const auto pair = static_cast<std::size_t>(rest % 100) * 2;
    rest /= 100;
    first -= 2;
    first[0] = kDigitPairs[pair];
    first[1] = kDigitPairs[pair + 1];
  }
  if (rest >= 10) {
    first -= 2;
    first[0] = kDigitPairs[rest * 2];
    first[1] = kDigitPairs[rest * 2 + 1];
  } else if (rest != 0) {
    *--first = static_cast<char>('0' + rest);
  }
  while (whole_end - first < section.min_int) *--first = '0';
  const int total = static_cast<int>(whole_end - first);
  // The fraction's digits with leading zeros, then zeros up to the section's places; the zeros
  // that end it go down to the places always shown.
  char frac[kMaxPlaces];
  int i = shown;
  for (; i >= 2; i -= 2) {
    const auto pair = static_cast<std::size_t>(fraction % 100) * 2;
    fraction /= 100;
    frac[i - 2] = kDigitPairs[pair];
    frac[i - 1] = kDigitPairs[pair + 1];
  }
  if (i == 1) frac[0] = static_cast<char>('0' + fraction % 10);
  for (int k = shown; k < section.frac_places; ++k) frac[k] = '0';
  int f = section.frac_places;
  while (f > section.min_frac && frac[f - 1] == '0') --f;

  // Sign, whole digits grouped by threes, point, fraction. Marks are mostly one character.
  char text[1 + kMaxPlaces * (1 + kMaxMark) + kMaxMark + kMaxPlaces];
  char* p = text;
  auto put_mark = [&p](std::string_view mark) {
    if (mark.size() == 1) {
      *p++ = mark[0];
    } else {
      std::memcpy(p, mark.data(), mark.size());
      p += mark.size();
    }
  };
  if (sign) *p++ = '-';
  if (grouping.empty() || total <= 3) {
    std::memcpy(p, first, static_cast<std::size_t>(total));
    p += total;
  } else {
    int until_mark = total % 3 == 0 ? 3 : total % 3;
    for (const char* d = first; d != whole_end; ++d) {
      *p++ = *d;
      if (--until_mark == 0 && d + 1 != whole_end) {
        put_mark(grouping);
        until_mark = 3;
      }
    }
  }
  if (section.point) {
    put_mark(settings.decimal);
    std::memcpy(p, frac, static_cast<std::size_t>(f));
    p += f;
  }
  out.append(text, p);
  return true;
}

// A section's text for a magnitude already in its decimal form.
void RenderDecimal(const NumberSection& section, Decimal decimal, bool minus,
                   const RegionalSettings& settings, std::string& out) {
  Digits digits;
  if (section.scientific) {
    const int whole_digits = section.int_places;
    RoundTo(decimal, std::max(1, whole_digits + section.frac_places));
    digits.exponent = decimal.count == 0 ? 0 : decimal.exponent - (whole_digits - 1);
    Lay(decimal, decimal.exponent, whole_digits, section.frac_places, section.min_int,
        section.min_frac, &digits);
  } else {
    RoundTo(decimal, decimal.exponent + 1 + section.frac_places);
    const int whole_digits = decimal.count > 0 && decimal.exponent >= 0 ? decimal.exponent + 1 : 0;
    Lay(decimal, whole_digits - 1, whole_digits, section.frac_places, section.min_int,
        section.min_frac, &digits);
  }
  if (section.plain) return RenderPlain(section, digits, minus, settings, out);
  if (minus && !digits.zero) out += '-';
  const int places = section.int_places;
  const int n = digits.whole_count;
  auto put_whole_digit = [&](int index) {
    out += digits.whole[index];
    const int from_right = n - 1 - index;
    if (section.grouping && from_right > 0 && from_right % 3 == 0) out += settings.grouping;
  };
  // The whole part goes over its digit places from the right; digits beyond the places go
  // with the first place. A pattern without whole-part places (".00") shows it before the point.
  bool whole_shown = false;
  auto show_whole = [&] {
    if (whole_shown) return;
    whole_shown = true;
    for (int i = 0; i < n; ++i) put_whole_digit(i);
  };
  int place = 0;
  int frac_index = 0;
  for (const NumberPart& part : section.parts) {
    switch (part.kind) {
      case NumberPart::kLiteral:
        out += part.text;
        break;
      case NumberPart::kIntDigit: {
        if (place == 0) {
          whole_shown = true;
          for (int i = 0; i < n - places; ++i) put_whole_digit(i);
        }
        const int from_right = places - 1 - place;
        if (from_right < n) put_whole_digit(n - 1 - from_right);
        ++place;
        break;
      }
      case NumberPart::kPoint:
        show_whole();
        out += settings.decimal;
        break;
      case NumberPart::kFracDigit:
        if (frac_index < digits.frac_count) out += digits.frac[frac_index];
        ++frac_index;
        break;
      case NumberPart::kExponent: {
        show_whole();
        out += part.text;
        const int exponent = digits.exponent;
        if (exponent < 0) {
          out += '-';
        } else if (part.exponent_plus) {
          out += '+';
        }
        char buffer[8];
        const std::to_chars_result result =
            std::to_chars(buffer, buffer + sizeof buffer, std::abs(exponent));
        for (int i = static_cast<int>(result.ptr - buffer); i < part.exponent_digits; ++i) {
          out += '0';
        }
        out.append(buffer, result.ptr);
        break;
      }
    }
  }
}

void RenderSection(const NumberSection& section, double magnitude, bool minus,
                   const RegionalSettings& settings, std::string& out) {
  if (section.percent) magnitude *= 100;
  for (int i = 0; i < section.thousands_scale; ++i) magnitude /= 1000;
  RenderDecimal(section, ToDecimal(magnitude), minus, settings, out);
}

// The section a value takes: negative values the second (without a sign of their own: the
// section shows its own, say parentheses), zero the third; an absent or empty one falls back to
// the first. Sets `minus` when the first section stands in for a negative value.
const NumberSection& SectionFor(const std::vector<NumberSection>& sections, double value,
                                bool& minus) {
  auto usable = [&](std::size_t index) {
    return index < sections.size() && !sections[index].empty;
  };
  minus = false;
  if (value < 0 && usable(1)) return sections[1];
  if (value == 0 && usable(2)) return sections[2];
  minus = value < 0;
  return sections[0];
}

}  // namespace

void RenderNumber(const CompiledPattern& pattern, double value, const RegionalSettings& settings,
                  std::string& out) {
  if (!std::isfinite(value)) {
    out += value != value ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
    return;
  }
  bool minus = false;
  const NumberSection& section = SectionFor(pattern.numbers, value, minus);
  const double magnitude = std::fabs(value);
  if (magnitude < 1e15 && magnitude == std::floor(magnitude) &&
      RenderPlainWhole(section, static_cast<std::uint64_t>(magnitude), 0, minus, settings, out)) {
    return;
  }
  RenderSection(section, magnitude, minus, settings, out);
}

void RenderScaled(const CompiledPattern& pattern, std::int64_t scaled,
                  const RegionalSettings& settings, std::string& out) {
  const double value = static_cast<double>(scaled) / 10000.0;
  bool minus = false;
  const NumberSection& section = SectionFor(pattern.numbers, value, minus);
  // Below 10^15 the whole number of ten-thousandths is the value's 15-digit decimal form
  // exactly, the form its double would be read back into.
  constexpr std::int64_t kExact = 1000000000000000;
  if (section.percent || section.thousands_scale != 0 || scaled <= -kExact || scaled >= kExact) {
    return RenderSection(section, std::fabs(value), minus, settings, out);
  }
  const auto magnitude = static_cast<std::uint64_t>(scaled < 0 ? -scaled : scaled);
  if (RenderPlainWhole(section, magnitude, 4, minus, settings, out)) return;
  Decimal decimal;
  if (magnitude != 0) {
    int length = 1;
    while (length < 15 && magnitude >= kWholePowers[length]) ++length;
    SetDigits(magnitude, length, length - 1 - 4, decimal);
  }
  RenderDecimal(section, decimal, minus, settings, out);
}

}  // namespace nimbo::format_internal
