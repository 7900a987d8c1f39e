// Value formatting for report pages: cell texts by type tag, safe hyperlink markup for memo
// fields, field type groups and the null helpers.
#include "report/value_format.h"

#include <string>
#include <string_view>

#include "nimbo/date.h"
#include "nimbo/format.h"
#include "platform/binary_text.h"
#include "platform/format_pattern.h"
#include "report/html_escape.h"
#include "platform/text_util.h"

namespace nimbo {
namespace {


enum class Tag { kDbl, kInt, kDte, kHtm, kNone };

Tag TagFrom(std::string_view tag) {
  if (tag == "Dbl") return Tag::kDbl;
  if (tag == "Int") return Tag::kInt;
  if (tag == "Dte") return Tag::kDte;
  if (tag == "Htm") return Tag::kHtm;
  return Tag::kNone;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A character reference ("&#58;", "&#x3A;", "&colon;") at `pos`. Stored addresses have no
// business holding one, and one can hide a scheme from a simple look at the text.
bool IsCharacterReference(std::string_view text, std::size_t pos) {
  if (pos + 1 >= text.size()) return false;
  if (text[pos + 1] == '#') return true;
  std::size_t end = pos + 1;
  while (end < text.size() && IsLetter(text[end])) ++end;
  return end > pos + 1 && end < text.size() && text[end] == ';';
}

// Whether an address may become a link: http, https and mailto addresses and relative ones.
// Browsers drop tabs and line breaks anywhere in an address and blanks around it before they
// look for the scheme, so the address is judged in that form; other control characters, a
// character reference, or a blank inside what would be the scheme disqualify it outright.
// `rest` is the address followed by the rest of the stored text: a numeric reference ("&#58;")
// holds a "#" of its own and so runs past the address's end.
bool IsSafeAddress(std::string_view address, std::string_view rest) {
  std::string seen;
  seen.reserve(address.size());
  for (std::size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (u < 0x20 || u == 0x7F) return false;
    if (c == '&' && IsCharacterReference(rest, i)) return false;
    seen.push_back(c);
  }
  const std::string_view trimmed = TrimSpaces(seen);
  // "//host" and "\\host" name another machine; from a page that is a local file they resolve
  // to file addresses.
  if (trimmed.size() >= 2 && (trimmed[0] == '/' || trimmed[0] == '\\') &&
      (trimmed[1] == '/' || trimmed[1] == '\\')) {
    return false;
  }
  const std::size_t colon = trimmed.find(':');
  const std::size_t path_start = trimmed.find_first_of("/\\?#");
  if (colon == std::string_view::npos ||
      (path_start != std::string_view::npos && path_start < colon)) {
    return true;  // relative: no scheme before the path
  }
  std::string scheme;
  for (char c : trimmed.substr(0, colon)) {
    if (!IsLetter(c)) return false;  // blanks, digits, other scripts: not a scheme we allow
    scheme.push_back(Lower(c));
  }
  return scheme == "http" || scheme == "https" || scheme == "mailto";
}

// The stored form of a hyperlink field: the display text, "#", the address, "#", and optional
// further parts.
std::string HyperlinkMarkup(std::string_view text) {
  const std::size_t first = text.find('#');
  const std::size_t second =
      first == std::string_view::npos ? std::string_view::npos : text.find('#', first + 1);
  if (second == std::string_view::npos) return HtmlEscape(text);
  const std::string_view label = text.substr(0, first);
  const std::string_view address = text.substr(first + 1, second - first - 1);
  if (!IsSafeAddress(address, text.substr(first + 1))) return HtmlEscape(text);
  std::string markup = "<a href='";
  AppendHtmlEscaped(address, markup);
  markup += "'>";
  AppendHtmlEscaped(label, markup);
  markup += "</a>";
  return markup;
}

// Numbers and dates held as such: their text form never has blanks to trim, and reading that
// text back gives the same number, so they are formatted directly.
std::string FormatHeldValue(const Variant& value, double number, Tag tag,
                            std::string_view date_format) {
  switch (tag) {
    case Tag::kDbl:
      return FormatNumber(number, kAmountPattern);
    case Tag::kInt:
      return FormatNumber(number, kWholePattern);
    case Tag::kDte:
      if (date_format.empty()) return value.ToText();
      // A number beyond the dates a Date can hold does not read as a date.
      if (value.type() != VarType::kDate && format_internal::CompiledFor(date_format).is_date &&
          !(number >= kMinDateSerial && number <= kMaxDateSerial)) {
        return value.ToText();
      }
      return FormatNumber(number, date_format);
    case Tag::kHtm:
      return HtmlEscape(value.ToText());
    case Tag::kNone:
      break;
  }
  return value.ToText();
}

}  // namespace

FieldGroup GroupOfType(int ado_type) {
  switch (ado_type) {
    case 5:
    case 6:
    case 14:
    case 131:
    case 139:
      return kFloating;
    case 2:
    case 3:
    case 4:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return kWhole;
    case 7:
    case 64:
    case 133:
    case 134:
    case 135:
      return kDate;
    case 203:
      return kMemo;
    default:
      return kOther;
  }
}

std::string_view TagOf(FieldGroup group) {
  switch (group) {
    case kFloating:
      return "Dbl";
    case kWhole:
      return "Int";
    case kDate:
      return "Dte";
    case kMemo:
      return "Htm";
    case kOther:
      break;
  }
  return " ";
}

std::string FormatValue(const Variant& value, std::string_view tag, std::string_view date_format) {
  if (value.IsNull()) return ".";
  // Bytes are no number, date or link whatever the field's type: they show as binary.
  if (value.type() == VarType::kBytes) return BinaryText(value.bytes());
  const Tag kind = TagFrom(tag);
  switch (value.type()) {
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kCurrency:
      return FormatHeldValue(value, value.ToDouble(), kind, date_format);
    case VarType::kDate:
      return FormatHeldValue(value, value.date().serial, kind, date_format);
    default:
      break;
  }
  // Texts, and the rest by their text form (Booleans read "True" and "False", which are neither
  // numbers nor dates; an object raises here).
  const std::string text = value.IsString() ? std::string() : value.ToText();
  const std::string_view trimmed =
      TrimSpaces(value.IsString() ? std::string_view(value.str()) : std::string_view(text));
  if (trimmed.empty()) return std::string();
  switch (kind) {
    case Tag::kDbl:
      return format_internal::FormatText(trimmed, kAmountPattern);
    case Tag::kInt:
      return format_internal::FormatText(trimmed, kWholePattern);
    case Tag::kDte:
      return format_internal::FormatText(trimmed, date_format);
    case Tag::kHtm:
      return HyperlinkMarkup(trimmed);
    case Tag::kNone:
      break;
  }
  return std::string(trimmed);
}

Variant NullToZero(const Variant& value) {
  if (value.IsNull()) return Variant(std::int16_t{0});
  return value;
}

std::int16_t NullToInt(const Variant& value) {
  if (value.IsNull()) return 0;
  return value.ToInteger();
}

}  // namespace nimbo
