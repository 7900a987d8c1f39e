// Reading format patterns into their compiled form, and the per-thread cache of compiled
// patterns that makes repeated formatting with the same pattern cheap.
#include "platform/format_pattern.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nimbo::format_internal {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithLower(std::string_view text, std::size_t pos, std::string_view lower) {
  if (pos + lower.size() > text.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (Lower(text[pos + i]) != lower[i]) return false;
  }
  return true;
}

// The length of a quoted literal ("...") or an escaped character (\x) starting at `pos`, or 0.
// The text it stands for goes to `literal`.
std::size_t ReadQuoted(std::string_view text, std::size_t pos, std::string* literal) {
  if (text[pos] == '\\') {
    if (pos + 1 >= text.size()) return 1;  // a lone backslash at the end shows nothing
    literal->push_back(text[pos + 1]);
    return 2;
  }
  if (text[pos] == '"') {
    const std::size_t close = text.find('"', pos + 1);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    literal->append(text.substr(pos + 1, end - pos - 1));
    return (close == std::string_view::npos ? text.size() : close + 1) - pos;
  }
  return 0;
}

// The sections of a pattern, split at the semicolons outside quotes.
std::vector<std::string_view> SplitSections(std::string_view pattern) {
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  std::size_t i = 0;
  std::string ignored;
  while (i < pattern.size()) {
    if (std::size_t quoted = ReadQuoted(pattern, i, &ignored)) {
      i += quoted;
    } else if (pattern[i] == ';') {
      sections.push_back(pattern.substr(start, i - start));
      start = ++i;
    } else {
      ++i;
    }
  }
  sections.push_back(pattern.substr(start));
  if (sections.size() > 4) sections.resize(4);
  return sections;
}

// The length of an AM/PM code at `pos` ("AM/PM", "A/P", "AMPM" in any case), or 0.
std::size_t AmPmLength(std::string_view text, std::size_t pos) {
  if (StartsWithLower(text, pos, "am/pm")) return 5;
  if (StartsWithLower(text, pos, "ampm")) return 4;
  if (StartsWithLower(text, pos, "a/p")) return 3;
  return 0;
}

bool IsDateLetter(char c) {
  switch (Lower(c)) {
    case 'd':
    case 'm':
    case 'y':
    case 'h':
    case 'n':
    case 's':
    case 'w':
    case 'q':
    case 'c':
      return true;
    default:
      return false;
  }
}

bool HasDateCodes(std::string_view pattern) {
  std::string ignored;
  for (std::size_t i = 0; i < pattern.size();) {
    if (std::size_t quoted = ReadQuoted(pattern, i, &ignored)) {
      i += quoted;
      continue;
    }
    if (IsDateLetter(pattern[i]) || AmPmLength(pattern, i) > 0) return true;
    ++i;
  }
  return false;
}

// ---- Number sections -------------------------------------------------------------------------

NumberSection CompileNumberSection(std::string_view text) {
  NumberSection section;
  section.empty = text.empty();
  std::string literal;
  auto flush = [&] {
    if (literal.empty()) return;
    NumberPart part;
    part.kind = NumberPart::kLiteral;
    part.text = std::move(literal);
    literal.clear();
    section.parts.push_back(std::move(part));
  };
  auto push = [&](NumberPart::Kind kind) {
    flush();
    NumberPart part;
    part.kind = kind;
    section.parts.push_back(std::move(part));
  };
  bool seen_point = false;
  bool in_exponent = false;
  // Commas right after a digit place: between whole-part places they turn grouping on; where
  // the digits end (at the point, the exponent, literal text or the end) each divides by 1000.
  int pending_commas = 0;
  bool after_digit = false;
  int first_zero = -1;  // index of the leftmost "0" among the whole-part places
  std::size_t exponent_index = 0;
  auto end_digits = [&] {
    section.thousands_scale += pending_commas;
    pending_commas = 0;
    after_digit = false;
  };
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (std::size_t quoted = ReadQuoted(text, i, &literal)) {
      end_digits();
      i += quoted;
      continue;
    }
    if (c == '0' || c == '#') {
      if (in_exponent) {
        // The exponent's places follow it directly; its zeros are counted once compiled.
        if (c == '0') section.parts[exponent_index].text.push_back('0');
      } else if (!seen_point) {
        if (pending_commas > 0) section.grouping = true;
        if (c == '0' && first_zero < 0) first_zero = section.int_places;
        ++section.int_places;
        push(NumberPart::kIntDigit);
      } else {
        ++section.frac_places;
        if (c == '0') section.min_frac = section.frac_places;
        push(NumberPart::kFracDigit);
      }
      pending_commas = 0;
      after_digit = !in_exponent;
      ++i;
      continue;
    }
    if (c == ',' && after_digit) {
      ++pending_commas;
      ++i;
      continue;
    }
    if (c == '.' && !seen_point && !in_exponent) {
      end_digits();
      seen_point = true;
      push(NumberPart::kPoint);
      ++i;
      continue;
    }
    if ((c == 'E' || c == 'e') && !in_exponent && i + 2 < text.size() &&
        (text[i + 1] == '+' || text[i + 1] == '-') && (text[i + 2] == '0' || text[i + 2] == '#') &&
        section.int_places + section.frac_places > 0) {
      end_digits();
      seen_point = true;  // no decimal point after the exponent
      in_exponent = true;
      section.scientific = true;
      flush();
      NumberPart part;
      part.kind = NumberPart::kExponent;
      part.text = std::string(1, c);  // the letter, then one "0" per zero place (counted above)
      part.exponent_plus = text[i + 1] == '+';
      exponent_index = section.parts.size();
      section.parts.push_back(std::move(part));
      i += 2;
      continue;
    }
    end_digits();
    if (c == '%') section.percent = true;
    literal.push_back(c);
    ++i;
  }
  end_digits();
  flush();
  for (NumberPart& part : section.parts) {
    if (part.kind == NumberPart::kExponent) {
      const int zeros = static_cast<int>(part.text.size()) - 1;
      part.exponent_digits = zeros > 0 ? zeros : 1;
      part.text.resize(1);
    }
  }
  section.min_int = first_zero < 0 ? 0 : section.int_places - first_zero;
  section.plain = section.int_places > 0 && !section.scientific && !section.percent &&
                  section.thousands_scale == 0;
  for (const NumberPart& part : section.parts) {
    if (part.kind == NumberPart::kPoint) section.point = true;
    if (part.kind == NumberPart::kLiteral || part.kind == NumberPart::kExponent) {
      section.plain = false;
    }
  }
  return section;
}

// ---- Date sections ---------------------------------------------------------------------------

std::size_t RunLength(std::string_view text, std::size_t pos) {
  const char letter = Lower(text[pos]);
  std::size_t end = pos;
  while (end < text.size() && Lower(text[end]) == letter) ++end;
  return end - pos;
}

bool IsHour(DateCode code) { return code == DateCode::kHour || code == DateCode::kHour2; }
bool IsSecond(DateCode code) { return code == DateCode::kSecond || code == DateCode::kSecond2; }
bool IsCode(DateCode code) {
  return code != DateCode::kLiteral && code != DateCode::kDateSeparator &&
         code != DateCode::kTimeSeparator;
}

DateSection CompileDateSection(std::string_view text) {
  DateSection section;
  std::string literal;
  auto flush = [&] {
    if (literal.empty()) return;
    DatePart part;
    part.text = std::move(literal);
    literal.clear();
    section.parts.push_back(std::move(part));
  };
  auto push = [&](DateCode code) {
    flush();
    DatePart part;
    part.code = code;
    section.parts.push_back(std::move(part));
  };
  for (std::size_t i = 0; i < text.size();) {
    if (std::size_t quoted = ReadQuoted(text, i, &literal)) {
      i += quoted;
      continue;
    }
    const char c = Lower(text[i]);
    if (std::size_t ampm = AmPmLength(text, i)) {
      if (ampm == 4) {
        push(DateCode::kAmPmRegional);
      } else {
        flush();
        DatePart part;
        part.code = DateCode::kAmPmFixed;
        const std::size_t half = ampm == 5 ? 2 : 1;
        part.text = std::string(text.substr(i, half));
        part.alt = std::string(text.substr(i + half + 1, half));
        section.parts.push_back(std::move(part));
      }
      section.twelve_hour = true;
      i += ampm;
      continue;
    }
    if (!IsDateLetter(c)) {
      if (c == '/') {
        push(DateCode::kDateSeparator);
      } else if (c == ':') {
        push(DateCode::kTimeSeparator);
      } else {
        literal.push_back(text[i]);
      }
      ++i;
      continue;
    }
    std::size_t run = RunLength(text, i);
    switch (c) {
      case 'd': {
        static constexpr DateCode kByLength[] = {DateCode::kDay,           DateCode::kDay2,
                                                 DateCode::kWeekdayAbbrev, DateCode::kWeekdayName,
                                                 DateCode::kShortDate,     DateCode::kLongDate};
        push(kByLength[(run > 6 ? 6 : run) - 1]);
        break;
      }
      case 'm': {
        static constexpr DateCode kByLength[] = {DateCode::kMonth, DateCode::kMonth2,
                                                 DateCode::kMonthAbbrev, DateCode::kMonthName};
        push(kByLength[(run > 4 ? 4 : run) - 1]);
        break;
      }
      case 'y':
        if (run >= 4) {
          push(DateCode::kYear4);
        } else if (run >= 2) {
          push(DateCode::kYear2);
          run = 2;  // a third "y" starts a code of its own
        } else {
          push(DateCode::kDayOfYear);
        }
        break;
      case 'h':
        push(run == 1 ? DateCode::kHour : DateCode::kHour2);
        break;
      case 'n':
        push(run == 1 ? DateCode::kMinute : DateCode::kMinute2);
        break;
      case 's':
        push(run == 1 ? DateCode::kSecond : DateCode::kSecond2);
        break;
      case 'w':
        push(run == 1 ? DateCode::kWeekday : DateCode::kWeekOfYear);
        break;
      case 'q':
        push(DateCode::kQuarter);
        run = 1;
        break;
      default:
        push(DateCode::kGeneral);
        run = 1;
        break;  // 'c'
    }
    i += run;
  }
  flush();
  // "m" and "mm" are minutes right after an hour code or right before a seconds code.
  std::vector<DatePart>& parts = section.parts;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (parts[k].code != DateCode::kMonth && parts[k].code != DateCode::kMonth2) continue;
    bool minutes = false;
    for (std::size_t j = k; j-- > 0;) {
      if (IsCode(parts[j].code)) {
        minutes = IsHour(parts[j].code);
        break;
      }
    }
    for (std::size_t j = k + 1; !minutes && j < parts.size(); ++j) {
      if (IsCode(parts[j].code)) {
        minutes = IsSecond(parts[j].code);
        break;
      }
    }
    if (minutes) {
      parts[k].code = parts[k].code == DateCode::kMonth ? DateCode::kMinute : DateCode::kMinute2;
    }
  }
  return section;
}

// The literal text of a section, for the Null section.
std::string LiteralText(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size();) {
    if (std::size_t quoted = ReadQuoted(text, i, &result)) {
      i += quoted;
    } else {
      result.push_back(text[i++]);
    }
  }
  return result;
}

CompiledPattern Compile(std::string_view pattern) {
  CompiledPattern compiled;
  compiled.is_date = HasDateCodes(pattern);
  const std::vector<std::string_view> sections = SplitSections(pattern);
  for (std::string_view section : sections) {
    if (compiled.is_date) {
      compiled.dates.push_back(CompileDateSection(section));
    } else {
      compiled.numbers.push_back(CompileNumberSection(section));
    }
  }
  if (sections.size() == 4) compiled.null_text = LiteralText(sections[3]);
  return compiled;
}

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};

// A few dozen patterns are in use at any time (the fixed ones plus the user's DateFormat);
// the cache is simply emptied should a caller ever use more.
class PatternCache {
 public:
  const CompiledPattern& Get(std::string_view pattern) {
    if (last_ != nullptr && pattern == last_key_) return *last_;
    auto found = map_.find(pattern);
    if (found == map_.end()) {
      if (map_.size() >= kCapacity) map_.clear();
      found =
          map_.emplace(std::string(pattern), std::make_unique<CompiledPattern>(Compile(pattern)))
              .first;
    }
    last_key_ = found->first;
    last_ = found->second.get();
    return *last_;
  }

 private:
  static constexpr std::size_t kCapacity = 64;
  std::unordered_map<std::string, std::unique_ptr<CompiledPattern>, TextHash, std::equal_to<>> map_;
  std::string_view last_key_;  // points into map_'s key, valid while the entry lives
  const CompiledPattern* last_ = nullptr;
};

}  // namespace

const CompiledPattern& CompiledFor(std::string_view pattern) {
  thread_local PatternCache cache;
  return cache.Get(pattern);
}

}  // namespace nimbo::format_internal
