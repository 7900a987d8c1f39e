// UTF-8 texts: character-wise slicing (node texts, keys and addresses are cut by characters,
// never inside a character's bytes), and the check and repair that keep written pages valid.
#ifndef NIMBO_SRC_PLATFORM_UTF8_TEXT_H_
#define NIMBO_SRC_PLATFORM_UTF8_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbo {

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

// Whether the text is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Appends the text with every ill-formed part replaced by U+FFFD: one replacement for each
// maximal part that could begin a character but does not finish one, and one for each byte that
// cannot begin one (the Unicode standard's recommended practice, which browsers follow).
void AppendValidUtf8(std::string_view text, std::string& out);

}  // namespace nimbo

#endif  // NIMBO_SRC_PLATFORM_UTF8_TEXT_H_
