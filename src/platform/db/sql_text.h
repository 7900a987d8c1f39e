// Character classes and skipping rules shared by the readers of command texts.
#ifndef NIMBO_SRC_PLATFORM_DB_SQL_TEXT_H_
#define NIMBO_SRC_PLATFORM_DB_SQL_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbo::db {

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsWordStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c) || c == '$' || c == '#'; }

inline std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

// The index of the first character at or after `i` that is neither blank nor inside a SQL
// comment ("-- ..." to the end of the line, "/* ... */"); text.size() at the end.
inline std::size_t SkipBlanksAndComments(std::string_view text, std::size_t i) {
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
    } else if (text.substr(i, 2) == "--") {
      const std::size_t end = text.find('\n', i);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else if (text.substr(i, 2) == "/*") {
      const std::size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SQL_TEXT_H_
