// The UTF-8 check and repair that keep pages valid: every kind of ill-formed sequence, replaced
// the way browsers replace it, and well-formed text left alone.
#include "platform/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace nimbo {
namespace {

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf8TextTest, WellFormedTextIsLeftAlone) {
  for (const std::string& text :
       {std::string(), std::string("plain ASCII, long enough to be read eight bytes at a time"),
        std::string("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xED\x9F\xBF"),
        std::string("\0\x7F", 2)}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(IsValidUtf8(text));
    std::string out;
    AppendValidUtf8(text, out);
    EXPECT_EQ(out, text);
  }
}

TEST(Utf8TextTest, IllFormedPartsBecomeOneReplacementEach) {
  const struct {
    const char* label;
    std::string text;
    std::string want;
  } cases[] = {
      {"a stray continuation byte", "a\x80z", "a" + kBad + "z"},
      {"bytes that never begin a character", "\xC0\xC1\xF5\xFF", kBad + kBad + kBad + kBad},
      {"a truncated two-byte character", "ab\xC3", "ab" + kBad},
      {"a truncated three-byte character", "\xE2\x82z", kBad + "z"},
      {"a truncated four-byte character, then more", "\xF0\x9F\x98\xE2\x82\xAC",
       kBad + "\xE2\x82\xAC"},
      {"an overlong three-byte form", "\xE0\x80\x80", kBad + kBad + kBad},
      {"an overlong four-byte form", "\xF0\x8F\xBF\xBF", kBad + kBad + kBad + kBad},
      {"a surrogate", "\xED\xA0\x80", kBad + kBad + kBad},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", kBad + kBad + kBad + kBad},
      {"after eight ASCII bytes", "12345678\xFE", "12345678" + kBad},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(IsValidUtf8(c.text));
    std::string out = "<";
    AppendValidUtf8(c.text, out);
    EXPECT_EQ(out, "<" + c.want);
    EXPECT_TRUE(IsValidUtf8(out));
  }
}

}  // namespace
}  // namespace nimbo
