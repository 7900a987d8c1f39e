// The grouped drill-down section: a hierarchical record set as nested tables, one per level,
// each child level in a hidden row under its parent record that the page's script opens from the
// record's plus image.
#include <array>
#include <charconv>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/format.h"
#include "nimbo/record_source.h"
#include "platform/db/cell_peek.h"
#include "report/html_escape.h"
#include "report/section_common.h"
#include "report/section_writers.h"

namespace nimbo {
namespace {

// Header cell colours by nesting level, from the top level down. Deeper levels have none.
constexpr std::array<std::string_view, 10> kLevelColours = {"fa8072", "90ee90", "ffffcc", "5f9ea0",
                                                            "b0e0e6", "00ffff", "deb887", "8fbc8b",
                                                            "d2b48c", "bc8f8f"};

// The header colour of `level` (from 1); 9 for a level without one.
std::string_view LevelColour(std::int16_t level) {
  if (level < 1 || level > static_cast<int>(kLevelColours.size())) {
    throw Error(err::kSubscriptOutOfRange);
  }
  return kLevelColours[static_cast<std::size_t>(level - 1)];
}

// A record key appended the way a value joins a text: a number in its plain decimal form, a text
// as it is, Null as nothing. Keys end up inside unquoted attribute values, so beyond the markup
// characters the white space, "=" and "`" that would end or bend such a value are written as
// character references too; a key of letters and digits comes out unchanged.
void AppendKey(const Variant& key, std::string& out) {
  if (key.IsNull()) return;
  if (key.type() == VarType::kInteger || key.type() == VarType::kLong) {
    // Digits and a minus sign need no escaping.
    char digits[16];
    const auto end =
        std::to_chars(digits, digits + sizeof digits,
                      key.type() == VarType::kInteger ? static_cast<std::int32_t>(key.integer())
                                                      : key.long_value())
            .ptr;
    out.append(digits, end);
    return;
  }
  const std::string text = key.ToText();
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '=' && c != '`') {
      continue;
    }
    AppendHtmlEscaped(std::string_view(text).substr(plain, i - plain), out);
    out += "&#";
    out += std::to_string(static_cast<int>(c));
    out += ';';
    plain = i + 1;
  }
  AppendHtmlEscaped(std::string_view(text).substr(plain), out);
}

// "00"-style level number of the ids.
std::string LevelNumber(int level) { return FormatNumber(level, "00"); }

// One field of a level, classified once per level.
struct LevelField {
  const Field* field;
  bool is_chapter;
  bool shown;        // neither a chapter nor the field named exactly "ID"
  FieldGroup group;  // memo fields show as plain text here
  // Set for fields of a fetched record set: texts, numbers and chapters are read from where
  // they are stored.
  const db::CellPeek* peek;
};

// What a level's record sets share. Child record sets read through a chapter peek are one
// object per level, shown each parent's rows in turn with the same field objects, so the plan
// is made once for all of them; any other record set gets its own.
struct Level {
  const Recordset* planned = nullptr;  // the record set the plan was made for
  std::vector<LevelField> plan;
  bool has_children = false;
  const Field* id_field = nullptr;
  std::string header_cells;  // the header row's cells after its start
  std::string number;        // this level's "00"-style number
  std::string child_number;  // the next level's
  // Per chapter field, the last child record set: kept until the next one is made, so a record
  // set is never taken for one made later at the same address.
  std::vector<std::shared_ptr<Recordset>> children;
};

class GroupedWriter {
 public:
  GroupedWriter(const ControlState& s, TextFileWriter& page) : cells_(s.DateFormat), page_(page) {}

  // Writes one level (its records, then recursively each child level under its record's row).
  // `columns` is the parent's field count plus 1 (0 at the top level); `key` the parent record's
  // ID (0 at the top level); `stable` whether `rs` keeps its field objects from one parent to
  // the next. Errors go to the section's own error path.
  void WriteLevel(Recordset& rs, std::int16_t columns, std::int16_t level, bool collapsed,
                  const Variant& key, bool stable) {
    if (rs.RecordCount() == 0) return;
    const auto depth = static_cast<std::size_t>(level - 1);
    // A deque: growing it for the deeper levels leaves this level's entry where it is.
    while (levels_.size() <= depth) {
      Level& added = levels_.emplace_back();
      added.number = LevelNumber(static_cast<int>(levels_.size()));
      added.child_number = LevelNumber(static_cast<int>(levels_.size()) + 1);
    }
    Level& here = levels_[depth];

    std::string& line = line_;
    line.clear();
    if (level == 1) {
      line += "<td colspan=";
    } else {
      line += "<tr id=ROW";
      line += here.number;
      AppendKey(key, line);
      line += " style=\"display:none\"><td>&nbsp;</td><td colspan=";
    }
    AppendNumber(columns + 1, line);
    line += "><div id=SHP";
    line += here.number;
    AppendKey(key, line);
    line += collapsed ? " style=\"display:none\">" : " style=\"display:default\">";
    line += "<table border=";
    AppendNumber(level, line);
    line += " cellspacing=0 width=100%>";

    rs.MoveFirst();
    const Fields& fields = rs.Fields();
    if (!stable || here.planned != &rs) Plan(depth, rs, fields, level);
    const int field_count = static_cast<int>(here.plan.size());
    line += here.has_children ? "<tr><td width=5%>&nbsp;</td>" : "<tr>";
    line += here.header_cells;
    page_.WriteLine(line);

    while (!rs.Eof()) {
      // Every level needs its "ID" (looked up as a name, in any letter case), leaf levels too.
      // Its value keys the record's children, so a leaf level has no use for it.
      if (here.id_field == nullptr) here.id_field = &fields.Item("ID");
      const Variant id = here.has_children ? here.id_field->Value() : Variant();
      if (here.has_children) {
        line.assign("<tr><td width=5%><img id=DTL");
        line += here.child_number;
        AppendKey(id, line);
        line += " src=plus.gif></td>";
      } else {
        line.assign("<tr>");
      }
      for (const LevelField& column : here.plan) {
        if (!column.shown) continue;
        line += column.group == kFloating || column.group == kWhole || column.group == kDate
                    ? "<td class=tdr>"
                    : "<td class=tdl>";
        AppendCell(column, line);
        line += "</td>";
      }
      page_.WriteLine(line);
      if (here.has_children) {
        std::size_t chapter = 0;
        for (std::size_t i = 0; i < here.plan.size(); ++i) {
          const LevelField& column = here.plan[i];
          if (!column.is_chapter) continue;
          std::shared_ptr<Recordset>& child = here.children[chapter++];
          bool child_stable = false;
          if (column.peek != nullptr && column.peek->PeekChapter(child)) {
            child_stable = true;
          } else {
            const Variant value = column.field->Value();
            if (!value.IsObject() || !value.object()) throw Error(err::kObjectNotSet);
            child = value.object();
          }
          WriteLevel(*child, static_cast<std::int16_t>(field_count + 1),
                     static_cast<std::int16_t>(level + 1), true, id, child_stable);
        }
      }
      rs.MoveNext();
    }
    page_.WriteLine("</table></div>");
  }

 private:
  static void AppendNumber(int number, std::string& out) {
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
  }

  void Plan(std::size_t depth, const Recordset& rs, const Fields& fields, std::int16_t level) {
    // The deeper levels' record sets are let go below: a new one may take the address of one
    // they were planned for.
    for (std::size_t deeper = depth + 1; deeper < levels_.size(); ++deeper) {
      levels_[deeper].planned = nullptr;
    }
    Level& here = levels_[depth];
    here.planned = nullptr;  // until the plan is whole
    here.plan.clear();
    here.children.clear();
    here.has_children = false;
    here.id_field = nullptr;
    here.header_cells.clear();
    const int field_count = fields.Count();
    here.plan.reserve(static_cast<std::size_t>(field_count));
    for (int i = 0; i < field_count; ++i) {
      const Field& field = fields.Item(i);
      const bool is_chapter = field.Type() == field_type::kChapter;
      const FieldGroup group = GroupOfType(field.Type());
      here.has_children = here.has_children || is_chapter;
      const FieldGroup shown_group = group == kMemo ? kOther : group;
      const bool peeks =
          is_chapter || shown_group == kOther || shown_group == kFloating || shown_group == kWhole;
      here.plan.push_back({&field, is_chapter, !is_chapter && field.Name() != "ID", shown_group,
                           peeks ? dynamic_cast<const db::CellPeek*>(&field) : nullptr});
      if (is_chapter) here.children.emplace_back();
    }
    for (const LevelField& column : here.plan) {
      if (!column.shown) continue;
      here.header_cells += "<td class=thc bgcolor=#";
      here.header_cells += LevelColour(level);
      here.header_cells += '>';
      here.header_cells += column.field->Name();
      here.header_cells += "</td>";
    }
    here.planned = &rs;
  }

  void AppendCell(const LevelField& column, std::string& line) {
    if (column.peek != nullptr) {
      if (column.group == kOther) {
        std::string_view text;
        if (column.peek->PeekText(text)) return cells_.AppendText(text, line);
      } else if (column.group == kFloating || column.group == kWhole) {
        db::PeekedNumber number;
        if (column.peek->PeekNumber(number)) return cells_.AppendNumber(number, column.group, line);
      }
    }
    cells_.Append(column.field->Value(), column.group, line);
  }

  CellFormatter cells_;
  TextFileWriter& page_;
  std::string line_;
  std::deque<Level> levels_;
};

}  // namespace

void WriteGroupedSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section) {
  // Unlike the one-line sections, lines go to the page as each is made: on an error the lines
  // written so far stay, and nothing is closed.
  RunSection(s, [&] {
    if (CountRecords(s, rs, title) <= 0) return;
    const std::string completed = CompleteTitle(s, title);
    const std::string number = ElementNumber(section);
    std::string head;
    if (!completed.empty()) {
      head += " <table border=0 Width=100%><tr><td><p id='TTL";
      head += number;
      head += "' class=ph><img src='circle.gif'>";
      head += completed;
      head += "</td><td><p align=right id=DISPALL class=ph>Display All</td></table>";
    }
    rs->MoveFirst();
    head += "<table id='TBL";
    head += number;
    head += "' border=0 width=100%><tr>";
    page.WriteLine(head);
    GroupedWriter writer(s, page);
    writer.WriteLevel(*rs, 0, 1, false, Variant(std::int16_t{0}), false);
  });
}

}  // namespace nimbo
