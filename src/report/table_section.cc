// The table section: every record of a query as a table row, streamed to the page row by row,
// closed by an optional row of column totals.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/error.h"
#include "platform/db/cell_peek.h"
#include "platform/text_util.h"
#include "report/section_common.h"
#include "report/section_writers.h"

namespace nimbo {
namespace {

bool IsAll(std::string_view list) {
  return list.size() == 3 && (list[0] == 'A' || list[0] == 'a') &&
         (list[1] == 'L' || list[1] == 'l') && (list[2] == 'L' || list[2] == 'l');
}

// The running totals named by a section's totals list.
class Totals {
 public:
  // `list` as the section row gives it; `field_count` is the record set's.
  Totals(std::string_view list, int field_count) {
    list = TrimSpaces(list);
    on_ = list != ".";
    if (!on_) return;
    std::string rebuilt;
    if (IsAll(list)) {
      // Every position from the third field to the last.
      for (int position = 2; position <= field_count - 2; ++position) {
        rebuilt += std::to_string(position) + ':';
      }
      rebuilt += std::to_string(field_count - 1);
      list = rebuilt;
    }
    // An empty list has no entries; otherwise every piece between ":" is one, empty ones too.
    if (list.empty()) return;
    std::size_t start = 0;
    while (true) {
      const std::size_t colon = list.find(':', start);
      const std::string_view entry = list.substr(start, colon - start);
      entries_.emplace_back();
      if (!bad_entry_) {
        try {
          entries_.back() = Variant(entry).ToInteger();
        } catch (const Error& e) {
          bad_entry_ = e;
        }
      }
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
    sums_.assign(entries_.size(), 0.0);
  }

  // Whether a totals row is written at all.
  bool on() const { return on_; }
  bool has_entries() const { return !entries_.empty(); }
  std::size_t size() const { return entries_.size(); }

  // Raises the conversion error of the first entry that does not read as a 16-bit integer. Entries
  // are read when they are first compared with a position, so the error surfaces there.
  void CheckEntries() const {
    if (bad_entry_) throw *bad_entry_;
  }
  bool entries_ok() const { return !bad_entry_; }

  // The entries that name `position`, in list order. Only when entries_ok().
  std::vector<std::size_t> EntriesAt(int position) const {
    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      if (entries_[k] == position) found.push_back(k);
    }
    return found;
  }

  // Adds a field's value to the total of entry `k`. Null adds nothing; so does a value that is not
  // a number (a text that does not read as one): such a total is never shown anyway, because only
  // number fields get a total cell.
  void Add(std::size_t k, const Variant& value) {
    switch (value.type()) {
      case VarType::kInteger:
      case VarType::kLong:
      case VarType::kDouble:
      case VarType::kCurrency:
        sums_[k] += value.ToDouble();
        break;
      case VarType::kString:
        if (const std::optional<double> number = ParseNumber(value.str())) sums_[k] += *number;
        break;
      default:
        break;
    }
  }
  // A number read straight from the record set: what Add gives for its Variant.
  void Add(std::size_t k, const db::PeekedNumber& number) {
    sums_[k] += number.is_currency ? Currency{number.scaled}.ToDouble() : number.number;
  }
  double sum(std::size_t k) const { return sums_[k]; }

 private:
  bool on_ = false;
  std::vector<std::int16_t> entries_;
  std::optional<Error> bad_entry_;
  std::vector<double> sums_;
};

// A shown column: its field, how its values look, and which totals it feeds.
struct Column {
  const Field* field;
  FieldGroup group;  // the memo group shows as plain text here
  std::vector<std::size_t> totals;
  // Set for text and number columns of a fetched record set: their values are read from where
  // they are stored.
  const db::CellPeek* peek = nullptr;
};

void AppendTotalsRow(const std::vector<FieldPlan>& fields, const Totals& totals,
                     std::string_view date_format, std::string& out) {
  out += "<tr><td class=tfl>Total:</td>";
  const int count = static_cast<int>(fields.size());
  if (count > 2 && totals.has_entries()) totals.CheckEntries();
  for (int position = 2; position < count; ++position) {
    const std::vector<std::size_t> listed = totals.EntriesAt(position);
    if (listed.empty()) {
      out += "<td class=tfr>.</td>";
      continue;
    }
    const FieldGroup group = fields[static_cast<std::size_t>(position)].group;
    // Only number fields show their totals; a listed text or date field gets no cell at all, so
    // the cells after it move one column to the left.
    if (group != kFloating && group != kWhole) continue;
    for (std::size_t k : listed) {
      out += "<td class=tfr>";
      AppendValueText(Variant(totals.sum(k)), group, date_format, out);
      out += "</td>";
    }
  }
}

}  // namespace

void WriteTableSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                       const std::string& title, std::int32_t section, const std::string& totals) {
  RunSection(s, [&] {
    const std::int32_t count = CountRecords(s, rs, title);
    if (count == 0) return;
    const std::vector<FieldPlan> fields = PlanFields(*rs);
    Totals sums(totals, static_cast<int>(fields.size()));
    if (count < 0) return;

    std::string line;
    const std::string number = ElementNumber(section);
    AppendTitleParagraph(s, title, number, line);
    rs->MoveFirst();
    AppendTableStart(number, line);
    line += "<tr>";
    std::vector<Column> columns;
    for (std::size_t position = 0; position < fields.size(); ++position) {
      const FieldPlan& plan = fields[position];
      if (plan.is_id) continue;
      line += "<td class=thc>";
      line += plan.field->Name();
      line += "</td>";
      Column column{plan.field, plan.group == kMemo ? kOther : plan.group, {}};
      if (column.group == kOther || column.group == kFloating || column.group == kWhole) {
        column.peek = dynamic_cast<const db::CellPeek*>(plan.field);
      }
      // Totals of fields other than numbers are never shown, so they are not kept.
      if (sums.on() && sums.entries_ok() && (plan.group == kFloating || plan.group == kWhole)) {
        column.totals = sums.EntriesAt(static_cast<int>(position));
      }
      columns.push_back(std::move(column));
    }
    page.WriteLine(line);

    // The list's entries are read when the first shown value is compared with them, after its
    // cell is made and before its row reaches the page.
    const bool entries_fail = sums.on() && sums.has_entries() && !sums.entries_ok();
    CellFormatter cells(s.DateFormat);
    while (!rs->Eof()) {
      line.assign("<tr>");
      for (Column& column : columns) {
        if (column.peek != nullptr) {
          std::string_view text;
          db::PeekedNumber stored;
          if (column.group == kOther && column.peek->PeekText(text)) {
            // A text column feeds no totals.
            line += "<td class=tdl>";
            cells.AppendText(text, line);
            line += "</td>";
            if (entries_fail) sums.CheckEntries();
            continue;
          }
          if (column.group != kOther && column.peek->PeekNumber(stored)) {
            line += "<td class=tdr>";
            cells.AppendNumber(stored, column.group, line);
            line += "</td>";
            if (entries_fail) sums.CheckEntries();
            for (std::size_t k : column.totals) sums.Add(k, stored);
            continue;
          }
        }
        const Variant value = column.field->Value();
        line += column.group == kOther ? "<td class=tdl>" : "<td class=tdr>";
        cells.Append(value, column.group, line);
        line += "</td>";
        if (entries_fail) sums.CheckEntries();
        for (std::size_t k : column.totals) sums.Add(k, value);
      }
      page.WriteLine(line);
      rs->MoveNext();
    }

    line.clear();
    if (sums.on() && sums.has_entries()) AppendTotalsRow(fields, sums, s.DateFormat, line);
    line += "</table><br><br>";
    page.WriteLine(line);
  });
}

}  // namespace nimbo
