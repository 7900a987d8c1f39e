// Small text helpers shared across subsystems.
#ifndef NIMBO_SRC_PLATFORM_TEXT_UTIL_H_
#define NIMBO_SRC_PLATFORM_TEXT_UTIL_H_

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
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = count; i < width; ++i) out += '0';
  while (count > 0) out += digits[--count];
}

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_TEXT_UTIL_H_
