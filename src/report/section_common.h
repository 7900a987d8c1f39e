// Steps that the section writers share: the handler-style error path, the empty-record-set check,
// the section title, the element ids, the field classification and the value cells, so that each
// writer states only what is its own.
#ifndef NIMBO_SRC_REPORT_SECTION_COMMON_H_
#define NIMBO_SRC_REPORT_SECTION_COMMON_H_

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/control_state.h"
#include "control/diagnostics.h"
#include "nimbo/record_source.h"
#include "nimbo/variant.h"
#include "platform/db/cell_peek.h"
#include "platform/format_pattern.h"
#include "platform/text_file.h"
#include "report/value_format.h"

namespace nimbo {

// Runs a section's body; any error it raises ends the section and is reported as
// "Error: N, description" (with Talking, for a non-zero number). Never raises.
template <class Body>
void RunSection(ControlState& s, Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    ReportError(s, AsError(std::current_exception()));
  }
}

// The record set's RecordCount. When it is 0, says "Blank Recordset: " and `title` (with
// Talking). A section writes something only for a count above 0: -1 means a record set that
// cannot count its records, which writes nothing and says nothing. Raises 91 for no record set
// (the read before the section failed).
std::int32_t CountRecords(const ControlState& s, const std::shared_ptr<Recordset>& rs,
                          const std::string& title);

// The number of an element id: at least three digits (7 -> "007", 1234 -> "1234").
std::string ElementNumber(std::int32_t number);

// A title ending in ":" followed by one space and the selected node's text (escaped, since node
// texts come from records); any other title as it is, without reading the tree.
std::string CompleteTitle(const ControlState& s, const std::string& title);

// For a non-empty title: completes it and appends the (unclosed) title paragraph
// "<p id='TTL" + `number` + "' class=ph><img src='circle.gif'>  " + title. Nothing for an empty
// title.
void AppendTitleParagraph(const ControlState& s, const std::string& title, std::string_view number,
                          std::string& out);

// "<table id='TBL" + `number` + "' border=1 width=100%>".
void AppendTableStart(std::string_view number, std::string& out);

// One field of a record set, classified once per section.
struct FieldPlan {
  const Field* field = nullptr;
  FieldGroup group = kOther;
  // Named exactly "ID" (letter case counts): the record key, never shown as a value column.
  bool is_id = false;
};

// The record set's fields in order with their groups.
std::vector<FieldPlan> PlanFields(const Recordset& rs);

// FormatValue(value, TagOf(group)) appended to `out`: the memo group's link markup as it comes
// (FormatValue builds it safe), every other result HTML-escaped, since values are data that
// anyone may have typed. Writers that show memo fields as plain text pass kOther for them.
void AppendValueText(const Variant& value, FieldGroup group, std::string_view date_format,
                     std::string& out);

// AppendValueText for the many values of one section: the three patterns a cell may need (the
// amounts', the whole numbers' and the DateFormat) are compiled once here instead of being looked
// up for every value, and numbers and dates go straight from their binary values into the
// line, with no text of their own in between. Gives exactly AppendValueText's bytes.
class CellFormatter {
 public:
  explicit CellFormatter(std::string_view date_format);
  void Append(const Variant& value, FieldGroup group, std::string& out);
  // A String value in the text group, given as its bytes: what Append gives for it.
  void AppendText(std::string_view text, std::string& out);
  // A number read straight from the record set, in the amounts' or the whole numbers' group:
  // what Append gives for the value it stands for.
  void AppendNumber(const db::PeekedNumber& number, FieldGroup group, std::string& out);

 private:
  // A number or a date held as such (not as text), in a number or date group.
  bool AppendHeld(const Variant& value, double number, FieldGroup group, std::string& out);
  // A text in the date group, read as a number or a date where it reads as one.
  void AppendDateText(std::string_view trimmed, std::string& out);
  // Renders with the DateFormat into scratch_ and escapes it into `out`.
  void AppendWithDateFormat(double number, std::string& out);
  void AppendScratch(std::string& out);

  std::string date_format_;
  // The amounts and whole numbers are digits, a minus sign and the regional grouping and
  // decimal characters: with characters the markup takes as they are, they go straight into
  // the line.
  bool numbers_need_no_escape_ = false;
  format_internal::CompiledPattern amount_;
  format_internal::CompiledPattern whole_;
  format_internal::CompiledPattern date_;
  std::string scratch_;
  // The DateFormat's last texts by value: a table's dates repeat (an order date, a month), and a
  // repeated one costs a lookup instead of a split and a render. Direct-mapped, so a page of
  // distinct dates keeps at most kDateMemo texts.
  struct DateMemo {
    std::uint64_t bits = 0;
    bool used = false;
    std::string text;  // escaped, as it goes into the line
  };
  static constexpr int kDateMemoBits = 12;
  static constexpr std::size_t kDateMemo = std::size_t{1} << kDateMemoBits;
  std::vector<DateMemo> date_memo_;
};

// The record form's cells for one field of the current record: the name cell
// "<td class=hn>" + name (trimmed) + ": </td>", then, for the field named "ID" when `form` is above
// 0, the entry form link, otherwise the value cell of the field's group ("hvr" for numbers,
// dates and memo links, "hvl" for the rest).
void AppendFormCells(const ControlState& s, const FieldPlan& plan, std::int16_t form,
                     std::string& out);

// The frame that the record form and picture sections share, run on their error path: nothing for
// a record set of no records (said with Talking) or one that cannot count them; otherwise the
// title paragraph, the table start, the move to the first record, then `append_rows` with the
// text so far, and "</table><br>". The text reaches the page as one line only when it is whole,
// so a section that stops on an error leaves nothing half-written. The record set stays open on
// its first record.
void WriteFormFrame(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                    const std::string& title, std::int32_t section,
                    const std::function<void(std::string& text)>& append_rows);

}  // namespace nimbo

#endif  // NIMBO_SRC_REPORT_SECTION_COMMON_H_
