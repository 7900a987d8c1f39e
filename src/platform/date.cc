// Date serials and calendar parts, the default date text, and the reading of date texts (ISO
// forms from databases, English month/day/year forms, month names, times alone).
#include "nimbo/date.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "nimbo/error.h"
#include "platform/text_util.h"

namespace nimbo {
namespace {

namespace chr = std::chrono;

// Day zero of the serials.
constexpr chr::sys_days kEpoch{chr::year{1899} / chr::December / 30};

constexpr std::array<std::string_view, 12> kMonthNames{
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kWeekdayNames{
    "sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != lower[i]) return false;
  }
  return true;
}

// A full English name or its first three letters ("Sept" too, for September).
bool MatchesName(std::string_view word, std::string_view full) {
  return EqualsLower(word, full) || EqualsLower(word, full.substr(0, 3)) ||
         (full == "september" && EqualsLower(word, "sept"));
}

int MonthOfWord(std::string_view word) {
  for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
    if (MatchesName(word, kMonthNames[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool IsWeekdayWord(std::string_view word) {
  for (std::string_view name : kWeekdayNames) {
    if (MatchesName(word, name)) return true;
  }
  return false;
}

// The serial of a valid date and time, or nullopt when a part is out of range.
std::optional<double> SerialOf(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > (month == 2 && leap ? 29 : kMonthDays[month - 1])) return std::nullopt;
  // Days from the civil date by whole 400-year eras (the years here are all positive), counted
  // from 1 March so that the leap day ends a year: dates are read for every cell of a date
  // column, and this is a few multiplications where the calendar types divide repeatedly.
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  // 693,899 days lie between 1 March of year 0 and 30 December 1899.
  const int days = era * 146097 + day_of_era - 693899;
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before day zero the time still runs forward: -1.25 is 29 December 1899, 06:00.
  return days < 0 ? days - time : days + time;
}

// Two-digit years: 00-29 are 2000-2029, 30-99 are 1930-1999.
int FullYear(int value, int digits) {
  if (digits > 2) return value;
  return value < 30 ? 2000 + value : 1900 + value;
}

// ---- The ISO forms a database stores: yyyy-mm-dd[( |T)hh:mm[:ss[.fff]]][Z] -------------------

bool Digits(std::string_view text, std::size_t pos, std::size_t count, int* value) {
  if (pos + count > text.size()) return false;
  int result = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

// Nullopt when the text is not in ISO shape; the general reader then has a go.
std::optional<std::optional<Date>> ParseIso(std::string_view text) {
  int year = 0, month = 0, day = 0;
  if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, &year) ||
      !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &day)) {
    return std::nullopt;
  }
  int hour = 0, minute = 0, second = 0;
  std::size_t pos = 10;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    if (!Digits(text, pos, 2, &hour) || pos + 2 >= text.size() || text[pos + 2] != ':' ||
        !Digits(text, pos + 3, 2, &minute)) {
      return std::nullopt;
    }
    pos += 5;
    if (pos < text.size() && text[pos] == ':') {
      if (!Digits(text, pos + 1, 2, &second)) return std::nullopt;
      pos += 3;
      // Fractions of a second are below what a Date shows; they are read and dropped so that a
      // time stamp never shows as the next second (or the next day).
      if (pos < text.size() && text[pos] == '.') {
        ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == start) return std::nullopt;
      }
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
    if (pos != text.size()) return std::nullopt;
  }
  std::optional<double> serial = SerialOf(year, month, day, hour, minute, second);
  if (!serial) return std::optional<Date>();
  return std::optional<Date>(Date{*serial});
}

// ---- The general reader: English month/day/year, month names, times ------------------------

struct Token {
  enum Kind { kNumber, kWord, kPunct } kind = kPunct;
  std::string_view text;
  int value = 0;  // for numbers
};

constexpr std::size_t kMaxTokens = 24;

struct Tokens {
  std::array<Token, kMaxTokens> items;
  std::size_t size = 0;
};

bool Tokenize(std::string_view text, Tokens* tokens) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    if (tokens->size == kMaxTokens) return false;
    Token& token = tokens->items[tokens->size++];
    const std::size_t start = i;
    if (c >= '0' && c <= '9') {
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
      if (i - start > 9) return false;
      token.kind = Token::kNumber;
      for (std::size_t k = start; k < i; ++k) token.value = token.value * 10 + (text[k] - '0');
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      while (i < text.size() &&
             ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) {
        ++i;
      }
      token.kind = Token::kWord;
    } else if (c == '/' || c == '-' || c == ',' || c == '.' || c == ':') {
      ++i;
      token.kind = Token::kPunct;
    } else {
      return false;
    }
    token.text = text.substr(start, i - start);
  }
  return true;
}

class Reader {
 public:
  explicit Reader(const Tokens& tokens) : tokens_(tokens) {}

  std::optional<Date> Read() {
    if (IsWord(0) && IsWeekdayWord(At(0).text)) {
      ++pos_;
      if (IsPunct(0, ',')) ++pos_;
    }
    int year = 1899, month = 12, day = 30;
    const bool has_date = ReadDate(&year, &month, &day);
    int hour = 0, minute = 0, second = 0;
    const bool has_time = ReadTime(&hour, &minute, &second);
    if (pos_ != tokens_.size || (!has_date && !has_time)) return std::nullopt;
    std::optional<double> serial = SerialOf(year, month, day, hour, minute, second);
    if (!serial) return std::nullopt;
    return Date{*serial};
  }

 private:
  const Token& At(std::size_t ahead) const { return tokens_.items[pos_ + ahead]; }
  bool Has(std::size_t ahead) const { return pos_ + ahead < tokens_.size; }
  bool IsNumber(std::size_t ahead) const { return Has(ahead) && At(ahead).kind == Token::kNumber; }
  bool IsWord(std::size_t ahead) const { return Has(ahead) && At(ahead).kind == Token::kWord; }
  bool IsPunct(std::size_t ahead, char c) const {
    return Has(ahead) && At(ahead).kind == Token::kPunct && At(ahead).text[0] == c;
  }
  int MonthAt(std::size_t ahead) const { return IsWord(ahead) ? MonthOfWord(At(ahead).text) : 0; }

  // m/d/y, y/m/d (four-digit year first), d-Mmm-y, d Mmm y, Mmm d[,] y.
  bool ReadDate(int* year, int* month, int* day) {
    if (IsNumber(0) && (IsPunct(1, '/') || IsPunct(1, '-'))) {
      const char separator = At(1).text[0];
      if (!IsPunct(3, separator) || !IsNumber(4)) return false;
      const Token& first = At(0);
      const Token& last = At(4);
      if (IsNumber(2)) {
        if (first.text.size() > 2) {
          *year = first.value;
          *month = At(2).value;
          *day = last.value;
        } else {
          *month = first.value;
          *day = At(2).value;
          *year = FullYear(last.value, static_cast<int>(last.text.size()));
        }
      } else if (MonthAt(2) != 0) {
        *day = first.value;
        *month = MonthAt(2);
        *year = FullYear(last.value, static_cast<int>(last.text.size()));
      } else {
        return false;
      }
      pos_ += 5;
      return true;
    }
    if (IsNumber(0) && MonthAt(1) != 0) {
      *day = At(0).value;
      *month = MonthAt(1);
      pos_ += 2;
    } else if (MonthAt(0) != 0 && IsNumber(1)) {
      *month = MonthAt(0);
      *day = At(1).value;
      pos_ += 2;
    } else {
      return false;
    }
    if (IsPunct(0, ',')) ++pos_;
    // A year is required, and it is not the hour of a following time.
    if (!IsNumber(0) || IsPunct(1, ':')) {
      pos_ = tokens_.size + 1;  // forces a failure
      return false;
    }
    *year = FullYear(At(0).value, static_cast<int>(At(0).text.size()));
    ++pos_;
    return true;
  }

  // h:nn[:ss[.fff]] [AM|PM|A|P], or h AM|PM.
  bool ReadTime(int* hour, int* minute, int* second) {
    if (!IsNumber(0)) return false;
    *hour = At(0).value;
    bool has_minutes = false;
    if (IsPunct(1, ':') && IsNumber(2)) {
      *minute = At(2).value;
      has_minutes = true;
      pos_ += 3;
      if (IsPunct(0, ':') && IsNumber(1)) {
        *second = At(1).value;
        pos_ += 2;
        if (IsPunct(0, '.') && IsNumber(1)) pos_ += 2;  // fractions of a second are dropped
      }
    } else {
      ++pos_;
    }
    if (IsWord(0)) {
      const std::string_view word = At(0).text;
      const bool am = EqualsLower(word, "am") || EqualsLower(word, "a");
      const bool pm = EqualsLower(word, "pm") || EqualsLower(word, "p");
      if (!am && !pm) return false;
      if (*hour > 12) {
        *hour = 99;  // "13 PM" is no time
      } else if (*hour == 12) {
        *hour = am ? 0 : 12;
      } else if (pm) {
        *hour += 12;
      }
      ++pos_;
      return true;
    }
    return has_minutes;
  }

  const Tokens& tokens_;
  std::size_t pos_ = 0;
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

Date MakeDate(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999) throw Error(err::kOverflow);
  std::optional<double> serial = SerialOf(year, month, day, hour, minute, second);
  if (!serial) throw Error(err::kInvalidCall);
  return Date{*serial};
}

DateParts SplitDate(Date date) {
  const double serial = date.serial;
  // One day of slack either side: the last second of 9999 may round up to the next day.
  if (!(serial > kMinDateSerial - 1 && serial < kMaxDateSerial + 1)) throw Error(err::kOverflow);
  const double whole = std::trunc(serial);
  int days = static_cast<int>(whole);
  long seconds = std::lround(std::fabs(serial - whole) * 86400.0);
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  const chr::sys_days when = kEpoch + chr::days{days};
  const chr::year_month_day ymd{when};
  DateParts parts;
  parts.year = static_cast<int>(ymd.year());
  parts.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  parts.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  parts.weekday = static_cast<int>(chr::weekday{when}.c_encoding()) + 1;
  parts.day_of_year =
      static_cast<int>((when - chr::sys_days{ymd.year() / chr::January / 1}).count()) + 1;
  return parts;
}

std::optional<Date> ParseDate(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  if (std::optional<std::optional<Date>> iso = ParseIso(text)) return *iso;
  Tokens tokens;
  if (!Tokenize(text, &tokens)) return std::nullopt;
  return Reader(tokens).Read();
}

std::string DateToText(Date date) {
  const DateParts parts = SplitDate(date);
  const bool day_zero = parts.year == 1899 && parts.month == 12 && parts.day == 30;
  const bool midnight = parts.hour == 0 && parts.minute == 0 && parts.second == 0;
  std::string text;
  text.reserve(24);
  if (!day_zero) {
    AppendZeroPadded(text, parts.month, 1);
    text += '/';
    AppendZeroPadded(text, parts.day, 1);
    text += '/';
    AppendZeroPadded(text, parts.year, 4);
    if (midnight) return text;
    text += ' ';
  }
  // Day zero at midnight still has a text: the time "12:00:00 AM".
  const int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
  AppendZeroPadded(text, hour12, 1);
  text += ':';
  AppendZeroPadded(text, parts.minute, 2);
  text += ':';
  AppendZeroPadded(text, parts.second, 2);
  text += parts.hour < 12 ? " AM" : " PM";
  return text;
}

}  // namespace nimbo
