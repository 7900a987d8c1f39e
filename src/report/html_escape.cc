// Escaping text for HTML markup.
#include "report/html_escape.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace nimbo {

namespace {

// Which bytes the markup cannot take as they are: the five markup characters and the control
// characters. Most values hold none, and then go into the line in one piece.
constexpr auto kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[static_cast<std::size_t>(c)] = true;
  for (unsigned char c : {'&', '<', '>', '"', '\''}) table[c] = true;
  return table;
}();

bool NeedsEscape(char c) { return kNeedsEscape[static_cast<unsigned char>(c)]; }

// What a byte becomes in the markup.
std::string_view ReferenceFor(unsigned char byte) {
  switch (byte) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    // Line breaks as references: they read the same in the page, and a value never splits the
    // page's line (one row, one line).
    case '\r':
      return "&#13;";
    case '\n':
      return "&#10;";
    default:
      break;
  }
  // Other control characters (a NUL, say) have no place in a page: U+FFFD stands for them. A tab
  // stays as it is.
  if (byte < 0x20 && byte != '\t') return "\xEF\xBF\xBD";
  return {};
}

struct Reference {
  static constexpr std::size_t kRoom = 8;
  char text[kRoom];
  std::uint8_t length;
};

// Every byte's text in the markup: the byte itself for those that stay as they are.
const std::array<Reference, 256> kReferences = [] {
  std::array<Reference, 256> table{};
  for (std::size_t byte = 0; byte < table.size(); ++byte) {
    const std::string_view reference = ReferenceFor(static_cast<unsigned char>(byte));
    if (reference.empty()) {
      table[byte].text[0] = static_cast<char>(byte);
      table[byte].length = 1;
    } else {
      std::memcpy(table[byte].text, reference.data(), reference.size());
      table[byte].length = static_cast<std::uint8_t>(reference.size());
    }
  }
  return table;
}();

}  // namespace

void AppendHtmlEscaped(std::string_view text, std::string& out) {
  // Most values need nothing and go into the line in one piece.
  std::size_t i = 0;
  while (i < text.size() && !NeedsEscape(text[i])) ++i;
  if (i == text.size()) {
    out.append(text);
    return;
  }
  out.append(text.data(), i);
  // The rest is made in a buffer on the stack and appended in pieces of its size, rather than
  // with an append for every reference.
  char buffer[256];
  std::size_t used = 0;
  for (; i < text.size(); ++i) {
    if (used > sizeof buffer - Reference::kRoom) {
      out.append(buffer, used);
      used = 0;
    }
    const auto byte = static_cast<unsigned char>(text[i]);
    const Reference& reference = kReferences[byte];
    // Every entry is kRoom bytes long, so the copy is one fixed move; its length says how many
    // of them count.
    std::memcpy(buffer + used, reference.text, Reference::kRoom);
    used += reference.length;
  }
  out.append(buffer, used);
}

bool NeedsHtmlEscape(std::string_view text) {
  for (char c : text) {
    if (NeedsEscape(c)) return true;
  }
  return false;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(text, out);
  return out;
}

}  // namespace nimbo
