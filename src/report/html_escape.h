// Escaping text for HTML markup, shared by every writer of report pages.
#ifndef NIMBO_REPORT_HTML_ESCAPE_H_
#define NIMBO_REPORT_HTML_ESCAPE_H_

#include <string>
#include <string_view>

namespace nimbo {

// The text with & < > " ' replaced by their character references, safe both between tags and
// inside attribute values quoted with either kind of quote; CR and LF become references too, so
// a value never breaks the page's line, and the other control characters but tab become U+FFFD.
// Other bytes pass unchanged (the page file itself repairs ill-formed UTF-8).
std::string HtmlEscape(std::string_view text);

// The same, appended to `out`.
void AppendHtmlEscaped(std::string_view text, std::string& out);

// Whether AppendHtmlEscaped would change the text (a tab alone counts as a change).
bool NeedsHtmlEscape(std::string_view text);

}  // namespace nimbo

#endif  // NIMBO_REPORT_HTML_ESCAPE_H_
