// Escaping text for HTML markup.
#include "report/html_escape.h"

#include <array>
#include <cstddef>
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

}  // namespace

void AppendHtmlEscaped(std::string_view text, std::string& out) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!NeedsEscape(text[i])) continue;
    std::string_view reference;
    switch (text[i]) {
      case '&':
        reference = "&amp;";
        break;
      case '<':
        reference = "&lt;";
        break;
      case '>':
        reference = "&gt;";
        break;
      case '"':
        reference = "&quot;";
        break;
      case '\'':
        reference = "&#39;";
        break;
      // Line breaks as references: they read the same in the page, and a value never splits
      // the page's line (one row, one line).
      case '\r':
        reference = "&#13;";
        break;
      case '\n':
        reference = "&#10;";
        break;
      case '\t':
        continue;
      default:
        // Other control characters (a NUL, say) have no place in a page: U+FFFD stands for them.
        reference = "\xEF\xBF\xBD";
        break;
    }
    out.append(text.substr(start, i - start));
    out.append(reference);
    start = i + 1;
  }
  out.append(text.substr(start));
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
