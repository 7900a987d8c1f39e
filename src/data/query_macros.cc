// Parameter macros of node and section queries.
#include "data/query_macros.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "nimbo/error.h"
#include "nimbo/format.h"
#include "platform/utf8_text.h"

namespace nimbo {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The number at the front of a text, the classic Val way: blanks are ignored, reading stops at
// the first character that cannot continue a number, and no number at all is 0 ("Y5" -> 0).
double LeadingNumber(std::string_view text) {
  std::string digits;
  bool seen_point = false;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    if ((c == '-' || c == '+') && digits.empty()) {
      digits += c;
    } else if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
      digits += c;
    } else {
      break;
    }
  }
  char* end = nullptr;
  const double value = std::strtod(digits.c_str(), &end);
  return end == digits.c_str() ? 0.0 : value;
}

std::string Quoted(std::string_view value) {
  return std::string(1, ' ').append(QuoteLiteral(value));
}

}  // namespace

std::string QuoteLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

namespace {

// Each macro's expansion is one step: when it fails, the result stays the empty text it started
// as, and the query ends right after the procedure name.
std::string Expand(const ControlState& s, const std::string& macro) {
  if (EqualsNoCase(macro, "TEXT")) {
    return Quoted(SelectedNode(s)->Text());
  }
  if (EqualsNoCase(macro, "TODAY")) {
    return Quoted(FormatDate(s.clock->Now(), "dd Mmm yyyy"));
  }
  if (StartsWithNoCase(macro, "LKEY")) {
    const std::string key = SelectedNode(s)->Key();
    const std::int32_t record_key = Variant(Utf8Left(key, 10)).ToLong();
    return std::string(1, ' ').append(std::to_string(record_key));
  }
  if (StartsWithNoCase(macro, "CKEY")) {
    const std::string_view last_two =
        std::string_view(macro).substr(macro.size() >= 2 ? macro.size() - 2 : 0);
    const std::int32_t n = Variant(LeadingNumber(last_two)).ToLong();
    if (n < 0) throw Error(err::kInvalidCall);
    const std::string key = SelectedNode(s)->Key();
    return Quoted(Utf8Left(key, static_cast<size_t>(n)));
  }
  return std::string(1, ' ');
}

}  // namespace

std::string ExpandMacros(const ControlState& s, const std::string& macro) {
  try {
    return Expand(s, macro);
  } catch (const Error&) {
    return std::string();
  }
}

}  // namespace nimbo
