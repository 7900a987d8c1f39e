// Escaping text for HTML markup, shared by every writer of report pages.
#ifndef NIMBO_REPORT_HTML_ESCAPE_H_
#define NIMBO_REPORT_HTML_ESCAPE_H_

#include <string>
#include <string_view>

namespace nimbo {

// The text with & < > " ' replaced by their character references, safe both between tags and
// inside attribute values quoted with either kind of quote. Other bytes pass unchanged.
std::string HtmlEscape(std::string_view text);

// The same, appended to `out`.
void AppendHtmlEscaped(std::string_view text, std::string& out);

}  // namespace nimbo

#endif  // NIMBO_REPORT_HTML_ESCAPE_H_
