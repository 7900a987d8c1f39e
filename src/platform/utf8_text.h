// Character-wise slicing of UTF-8 texts: node texts, keys and addresses are cut by characters,
// never inside a character's bytes.
#ifndef NIMBO_SRC_PLATFORM_UTF8_TEXT_H_
#define NIMBO_SRC_PLATFORM_UTF8_TEXT_H_

#include <cstddef>
#include <string_view>

namespace nimbo {

// Whether the text is well-formed UTF-8: every sequence complete, no overlong form, no UTF-16
// surrogate, nothing beyond U+10FFFF. JSON and the web need exactly this; other bytes cannot be
// written there as text.
bool IsWellFormedUtf8(std::string_view text);

// The byte offset of the character at `chars` (the text's size when it has fewer characters).
// A byte that does not start a well-formed sequence counts as one character.
std::size_t Utf8Offset(std::string_view text, std::size_t chars);

// The first `chars` characters (all of the text when it has fewer).
inline std::string_view Utf8Left(std::string_view text, std::size_t chars) {
  return text.substr(0, Utf8Offset(text, chars));
}

// The text without its first `chars` characters (empty when it has no more).
inline std::string_view Utf8DropLeft(std::string_view text, std::size_t chars) {
  return text.substr(Utf8Offset(text, chars));
}

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_UTF8_TEXT_H_
