// Reading a connection text into its key=value pairs.
#include "platform/db/connection_text.h"

#include <fmt/format.h>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/result_table.h"

namespace nimbo::db {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

[[noreturn]] void Fail(std::string_view what, std::size_t position) {
  throw Error(err::kProviderError,
              fmt::format("Malformed connection text: {} at position {}", what, position + 1));
}

}  // namespace

ConnectionText ConnectionText::Parse(std::string_view text) {
  ConnectionText result;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    while (i < text.size() && text[i] != '=' && text[i] != ';') ++i;
    if (i == text.size() || text[i] == ';') {
      if (!Trim(text.substr(start, i - start)).empty()) Fail("\"=\" expected", i);
      ++i;  // an empty segment
      continue;
    }
    const std::string_view key = Trim(text.substr(start, i - start));
    if (key.empty()) Fail("empty key", start);
    ++i;  // past "="
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::string value;
    if (i < text.size() && (text[i] == '\'' || text[i] == '"')) {
      const char quote = text[i];
      const std::size_t opening = i++;
      for (;;) {
        if (i == text.size()) Fail("unterminated quoted value", opening);
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      while (i < text.size() && IsBlank(text[i])) ++i;
      if (i < text.size() && text[i] != ';') Fail("\";\" expected after a quoted value", i);
    } else {
      const std::size_t value_start = i;
      while (i < text.size() && text[i] != ';') ++i;
      value = std::string(Trim(text.substr(value_start, i - value_start)));
    }
    ++i;  // past ";" (or the end)
    result.pairs_.emplace_back(std::string(key), std::move(value));
  }
  return result;
}

const std::string* ConnectionText::Find(std::string_view key) const {
  const std::string* found = nullptr;
  for (const auto& [k, v] : pairs_) {
    if (SameName(k, key)) found = &v;
  }
  return found;
}

}  // namespace nimbo::db
