// Rendering numbers with a compiled number pattern: rounding on the 15-digit decimal form,
// digit places, grouping by threes, percent, thousands scaling and scientific notation.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/format_pattern.h"

namespace nimbo::format_internal {
namespace {

// A non-negative number as up to 15 significant decimal digits: 0.d0 d1 d2 ... times
// 10^(exponent + 1), that is d0 stands at the place 10^exponent. Digits past `count` are zeros.
struct Decimal {
  char digits[16] = {};
  int count = 0;  // 0 for zero
  int exponent = 0;

  char DigitAt(int index) const { return index >= 0 && index < count ? digits[index] : '0'; }
};

// The decimal form with 15 significant digits, the precision a double's text form has; rounding
// to the pattern's places then works on what the user sees, so 2.675 gives 2.68.
Decimal ToDecimal(double magnitude) {
  Decimal decimal;
  if (magnitude == 0) return decimal;
  char buffer[32];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
  // "d.dddddddddddddde+XX"
  decimal.digits[0] = buffer[0];
  for (int i = 1; i < 15; ++i) decimal.digits[i] = buffer[i + 1];
  decimal.count = 15;
  int exponent = 0;
  const char* e = buffer + 17;  // after the 'e'
  const bool negative = *e == '-';
  std::from_chars(e + 1, result.ptr, exponent);
  decimal.exponent = negative ? -exponent : exponent;
  while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
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

void RenderSection(const NumberSection& section, double magnitude, bool minus,
                   const RegionalSettings& settings, std::string& out) {
  if (section.percent) magnitude *= 100;
  for (int i = 0; i < section.thousands_scale; ++i) magnitude /= 1000;
  Decimal decimal = ToDecimal(magnitude);
  Digits digits;
  if (section.scientific) {
    const int whole_digits = section.int_places;
    RoundTo(decimal, std::max(1, whole_digits + section.frac_places));
    digits.exponent = decimal.count == 0 ? 0 : decimal.exponent - (whole_digits - 1);
    Lay(decimal, decimal.exponent, whole_digits, section.frac_places, section.min_int, section.min_frac, &digits);
  } else {
    RoundTo(decimal, decimal.exponent + 1 + section.frac_places);
    const int whole_digits = decimal.count > 0 && decimal.exponent >= 0 ? decimal.exponent + 1 : 0;
    Lay(decimal, whole_digits - 1, whole_digits, section.frac_places, section.min_int,
        section.min_frac, &digits);
  }
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

}  // namespace

void RenderNumber(const CompiledPattern& pattern, double value, const RegionalSettings& settings,
                  std::string& out) {
  if (!std::isfinite(value)) {
    out += value != value ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
    return;
  }
  const std::vector<NumberSection>& sections = pattern.numbers;
  auto usable = [&](std::size_t index) {
    return index < sections.size() && !sections[index].empty;
  };
  // Negative values take the second section without a sign of their own (the section shows its
  // own, say parentheses); zero takes the third. An absent or empty one falls back to the first.
  if (value < 0 && usable(1)) {
    RenderSection(sections[1], -value, false, settings, out);
  } else if (value == 0 && usable(2)) {
    RenderSection(sections[2], 0.0, false, settings, out);
  } else {
    RenderSection(sections[0], std::fabs(value), value < 0, settings, out);
  }
}

}  // namespace nimbo::format_internal
