// Composing the report page of a node: header, sections, closing markup, display.
#include "report/page_builder.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "control/diagnostics.h"
#include "data/data_service.h"
#include "data/query_macros.h"
#include "nimbo/error.h"
#include "nimbo/format.h"
#include "platform/text_file.h"
#include "report/html_escape.h"
#include "report/section_common.h"
#include "report/section_writers.h"
#include "report/value_format.h"

namespace nimbo {
namespace {

constexpr char kDatePattern[] = "Dddd, dd Mmm yyyy hh:nn:ss AMPM";
constexpr char kReadError[] = "Error Reading Data From Database";

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(std::string_view text, std::size_t at, std::string_view find, bool ignore_case) {
  if (text.size() - at < find.size()) return false;
  for (std::size_t i = 0; i < find.size(); ++i) {
    const char a = text[at + i];
    const char b = find[i];
    if (ignore_case ? FoldCase(a) != FoldCase(b) : a != b) return false;
  }
  return true;
}

// Every occurrence of `find` replaced, scanning left to right; replaced text is not scanned again.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view with,
                       bool ignore_case) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    if (MatchesAt(text, at, find, ignore_case)) {
      out += with;
      at += find.size();
    } else {
      out += text[at++];
    }
  }
  return out;
}

// "" followed by a section row's value: a null gives the empty text.
std::string TextOf(const Variant& value) { return value.IsNull() ? std::string() : value.ToText(); }

// Whether a section row's page id is `page_id`. A null never matches; a value that is no number
// raises 13, as comparing it with a number does.
bool IsOnPage(const Variant& value, std::int32_t page_id) {
  return !value.IsNull() && value.ToDouble() == static_cast<double>(page_id);
}

using FormSectionWriter = void (*)(ControlState&, TextFileWriter&, std::shared_ptr<Recordset>&,
                                   const std::string&, std::int32_t, std::int16_t);
using ListSectionWriter = void (*)(ControlState&, TextFileWriter&, std::shared_ptr<Recordset>&,
                                   const std::string&, std::int32_t, const std::string&);
using PlainSectionWriter = void (*)(ControlState&, TextFileWriter&, std::shared_ptr<Recordset>&,
                                    const std::string&, std::int32_t);

// What a section row's kind letter selects: the writer, and which further column it takes.
struct SectionKind {
  std::string_view letter;
  enum class Extra { kFormNumber, kList, kNone } extra;
  FormSectionWriter form_writer;
  ListSectionWriter list_writer;
  PlainSectionWriter plain_writer;
};

// The kinds in the order they are compared (letter case counts).
constexpr SectionKind kSectionKinds[] = {
    {"H", SectionKind::Extra::kFormNumber, &WriteRecordSection, nullptr, nullptr},
    {"S", SectionKind::Extra::kList, nullptr, &WriteTableSection, nullptr},
    {"C", SectionKind::Extra::kList, nullptr, &WriteChartSection, nullptr},
    {"I", SectionKind::Extra::kFormNumber, &WritePictureSection, nullptr, nullptr},
    {"M", SectionKind::Extra::kNone, nullptr, nullptr, &WriteGroupedSection},
};

const SectionKind* FindKind(std::string_view letter) {
  for (const SectionKind& kind : kSectionKinds) {
    if (kind.letter == letter) return &kind;
  }
  return nullptr;
}

// Reads one section row of the page and hands its records to the row's writer.
void WriteSectionRow(ControlState& s, TextFileWriter& page, int row) {
  // The rows are looked up afresh at each use: an event handler may reload them meanwhile.
  const Rows& rows = s.SectionRows;
  const std::string query = "EXEC " + TextOf(rows(4, row)) + ExpandMacros(s, TextOf(rows(5, row)));
  if (!ReadData(s, query, s.mRS)) s.events->NimboMessage(kReadError);

  const Variant& letter = rows(6, row);
  const SectionKind* kind = letter.IsNull() ? nullptr : FindKind(letter.ToText());
  if (kind == nullptr) return;
  const std::string caption = TextOf(rows(3, row));
  const std::int32_t section = rows(0, row).ToLong();
  switch (kind->extra) {
    case SectionKind::Extra::kFormNumber: {
      const std::int16_t form = NullToInt(rows(7, row));
      if (kind->form_writer) kind->form_writer(s, page, s.mRS, caption, section, form);
      break;
    }
    case SectionKind::Extra::kList: {
      const std::string list = FormatValue(rows(8, row), " ", s.DateFormat);
      if (kind->list_writer) kind->list_writer(s, page, s.mRS, caption, section, list);
      break;
    }
    case SectionKind::Extra::kNone:
      if (kind->plain_writer) kind->plain_writer(s, page, s.mRS, caption, section);
      break;
  }
}

void Build(ControlState& s, std::int32_t page_id) {
  // The heading goes into the template itself, so it is fixed until the next load.
  s.PageHeader = ReplaceAll(s.PageHeader, "%StoreName%", s.Heading, false);
  std::string header =
      ReplaceAll(s.PageHeader, "%Date%", FormatDate(s.clock->Now(), kDatePattern), true);
  std::string main_heading = "Report:  ";
  AppendHtmlEscaped(SelectedNode(s)->Text(), main_heading);
  header = ReplaceAll(header, "%MainHeading%", main_heading, true);

  TextFileWriter page(s.PagePath);
  page.WriteLine(header);
  // The host's pending events get one turn; node display keeps the tree disabled meanwhile.
  if (s.container) s.container->DoEvents();

  // Section rows that were never loaded cannot be walked (a loaded set always has fields).
  if (s.SectionRows.field_count() == 0) throw Error(err::kTypeMismatch);
  const int last_row = s.SectionRows.UBound(2);
  for (int row = 0; row <= last_row; ++row) {
    // Both columns are read for every row, whatever the first says.
    const bool on_page = IsOnPage(s.SectionRows(1, row), page_id);
    const bool has_procedure = !TextOf(s.SectionRows(4, row)).empty();
    if (on_page && has_procedure) WriteSectionRow(s, page, row);
  }

  if (s.DisplayPath) {
    std::string path_line = "<br><br><p class=pgl>";
    AppendHtmlEscaped(SelectedNode(s)->FullPath(), path_line);
    page.WriteLine(path_line);
  }
  page.WriteLine("</DIV></BODY></HTML>");
  page.Commit();

  Browser(s).Navigate(s.PagePath);
  s.events->LogIt("View", SelectedNode(s)->FullPath());
}

}  // namespace

void BuildPage(ControlState& s, std::int32_t page_id) {
  // The root node carries id 1 and shows the front page instead.
  if (page_id < 2) return;
  try {
    Build(s, page_id);
  } catch (...) {
    ReportError(s, AsError(std::current_exception()));
  }
}

}  // namespace nimbo
