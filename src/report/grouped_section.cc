// The grouped drill-down section: a hierarchical record set as nested tables, one per level,
// each child level in a hidden row under its parent record that the page's script opens from the
// record's plus image.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/format.h"
#include "nimbo/record_source.h"
#include "platform/db/text_peek.h"
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
  // Set for text fields of a fetched record set: their texts are escaped from where they are
  // stored.
  const db::TextPeek* peek;
};

// Writes one level (its records, then recursively each child level under its record's row) of a
// grouped section. `columns` is the parent's field count plus 1 (0 at the top level); `key` the
// parent record's ID (0 at the top level). Errors go to the section's own error path.
void WriteGroupLevel(const ControlState& s, CellFormatter& cells, Recordset& rs,
                     TextFileWriter& page, std::int16_t columns, std::int16_t level,
                     bool collapsed, const Variant& key) {
  if (rs.RecordCount() == 0) return;
  std::string level_and_key = LevelNumber(level);
  AppendKey(key, level_and_key);

  std::string line;
  if (level == 1) {
    line += "<td colspan=";
  } else {
    line += "<tr id=ROW";
    line += level_and_key;
    line += " style=\"display:none\"><td>&nbsp;</td><td colspan=";
  }
  line += std::to_string(columns + 1);
  line += "><div id=SHP";
  line += level_and_key;
  line += collapsed ? " style=\"display:none\">" : " style=\"display:default\">";
  line += "<table border=";
  line += std::to_string(level);
  line += " cellspacing=0 width=100%>";

  rs.MoveFirst();
  const Fields& fields = rs.Fields();
  const int field_count = fields.Count();
  std::vector<LevelField> plan;
  plan.reserve(static_cast<std::size_t>(field_count));
  bool has_children = false;
  for (int i = 0; i < field_count; ++i) {
    const Field& field = fields.Item(i);
    const bool is_chapter = field.Type() == field_type::kChapter;
    const FieldGroup group = GroupOfType(field.Type());
    has_children = has_children || is_chapter;
    const FieldGroup shown_group = group == kMemo ? kOther : group;
    plan.push_back({&field, is_chapter, !is_chapter && field.Name() != "ID", shown_group,
                    shown_group == kOther ? dynamic_cast<const db::TextPeek*>(&field) : nullptr});
  }

  line += has_children ? "<tr><td width=5%>&nbsp;</td>" : "<tr>";
  for (const LevelField& column : plan) {
    if (!column.shown) continue;
    line += "<td class=thc bgcolor=#";
    line += LevelColour(level);
    line += '>';
    line += column.field->Name();
    line += "</td>";
  }
  page.WriteLine(line);

  const std::string child_level = LevelNumber(level + 1);
  const Field* id_field = nullptr;
  while (!rs.Eof()) {
    // Every level needs its "ID" (looked up as a name, in any letter case), leaf levels too.
    if (id_field == nullptr) id_field = &fields.Item("ID");
    const Variant id = id_field->Value();
    if (has_children) {
      line.assign("<tr><td width=5%><img id=DTL");
      line += child_level;
      AppendKey(id, line);
      line += " src=plus.gif></td>";
    } else {
      line.assign("<tr>");
    }
    for (const LevelField& column : plan) {
      if (!column.shown) continue;
      line += column.group == kFloating || column.group == kWhole || column.group == kDate
                  ? "<td class=tdr>"
                  : "<td class=tdl>";
      std::string_view text;
      if (column.peek != nullptr && column.peek->PeekText(text)) {
        cells.AppendText(text, line);
      } else {
        cells.Append(column.field->Value(), column.group, line);
      }
      line += "</td>";
    }
    page.WriteLine(line);
    for (const LevelField& column : plan) {
      if (!column.is_chapter) continue;
      const Variant child = column.field->Value();
      if (!child.IsObject() || !child.object()) throw Error(err::kObjectNotSet);
      WriteGroupLevel(s, cells, *child.object(), page, static_cast<std::int16_t>(field_count + 1),
                      static_cast<std::int16_t>(level + 1), true, id);
    }
    rs.MoveNext();
  }
  page.WriteLine("</table></div>");
}

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
    CellFormatter cells(s.DateFormat);
    WriteGroupLevel(s, cells, *rs, page, 0, 1, false, Variant(std::int16_t{0}));
  });
}

}  // namespace nimbo
