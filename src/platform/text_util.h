// Small text helpers shared across subsystems.
#ifndef NIMBO_SRC_PLATFORM_TEXT_UTIL_H_
#define NIMBO_SRC_PLATFORM_TEXT_UTIL_H_

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>

namespace nimbo {

// The text without leading and trailing spaces (only " ", as the classic Trim removes).
inline std::string_view TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Appends a non-negative number in decimal, zero-padded to at least `width` digits.
inline void AppendZeroPadded(std::string& out, int value, int width) {
  char digits[16];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  const int count = static_cast<int>(end.ptr - digits);
  if (count < width) out.append(static_cast<std::size_t>(width - count), '0');
  out.append(digits, end.ptr);
}

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_TEXT_UTIL_H_
