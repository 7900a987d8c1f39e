// Steps shared by the section writers.
#include "report/section_common.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/format.h"
#include "platform/binary_text.h"
#include "platform/text_util.h"
#include "report/html_escape.h"

namespace nimbo {

std::int32_t CountRecords(const ControlState& s, const std::shared_ptr<Recordset>& rs,
                          const std::string& title) {
  if (!rs) throw Error(err::kObjectNotSet);
  const std::int32_t count = rs->RecordCount();
  if (count == 0) Talk(s, [&] { return "Blank Recordset: " + title; });
  return count;
}

std::string ElementNumber(std::int32_t number) { return FormatNumber(number, "000"); }

std::string CompleteTitle(const ControlState& s, const std::string& title) {
  if (title.empty() || title.back() != ':') return title;
  std::string completed = title + ' ';
  AppendHtmlEscaped(SelectedNode(s)->Text(), completed);
  return completed;
}

void AppendTitleParagraph(const ControlState& s, const std::string& title, std::string_view number,
                          std::string& out) {
  if (title.empty()) return;
  const std::string completed = CompleteTitle(s, title);
  out += "<p id='TTL";
  out += number;
  out += "' class=ph><img src='circle.gif'>  ";
  out += completed;
}

void AppendTableStart(std::string_view number, std::string& out) {
  out += "<table id='TBL";
  out += number;
  out += "' border=1 width=100%>";
}

std::vector<FieldPlan> PlanFields(const Recordset& rs) {
  const Fields& fields = rs.Fields();
  const int count = fields.Count();
  std::vector<FieldPlan> plans;
  plans.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Field& field = fields.Item(i);
    plans.push_back({&field, GroupOfType(field.Type()), field.Name() == "ID"});
  }
  return plans;
}

void AppendValueText(const Variant& value, FieldGroup group, std::string_view date_format,
                     std::string& out) {
  // Plain texts are the bulk of most tables: trimmed and escaped straight into the line, with no
  // copy of their own. Everything else goes through FormatValue.
  if (group == kOther && value.IsString()) {
    AppendHtmlEscaped(TrimSpaces(value.str()), out);
    return;
  }
  const std::string text = FormatValue(value, TagOf(group), date_format);
  if (group == kMemo) {
    out += text;
  } else {
    AppendHtmlEscaped(text, out);
  }
}

namespace {
bool InDateRange(double serial) { return serial >= kMinDateSerial && serial <= kMaxDateSerial; }
}  // namespace

CellFormatter::CellFormatter(std::string_view date_format)
    : date_format_(date_format),
      amount_(format_internal::CompiledFor(kAmountPattern)),
      whole_(format_internal::CompiledFor(kWholePattern)) {
  if (!date_format_.empty()) date_ = format_internal::CompiledFor(date_format_);
  const RegionalSettings& settings = CurrentRegionalSettings();
  numbers_need_no_escape_ = amount_.numbers.size() == 1 && amount_.numbers[0].plain &&
                            whole_.numbers.size() == 1 && whole_.numbers[0].plain &&
                            !NeedsHtmlEscape(settings.grouping) &&
                            !NeedsHtmlEscape(settings.decimal);
}

void CellFormatter::AppendText(std::string_view text, std::string& out) {
  AppendHtmlEscaped(TrimSpaces(text), out);
}

void CellFormatter::Append(const Variant& value, FieldGroup group, std::string& out) {
  if (group == kOther && value.IsString()) {
    AppendText(value.str(), out);
    return;
  }
  if (group == kFloating || group == kWhole || group == kDate) {
    switch (value.type()) {
      case VarType::kNull:
        out += '.';
        return;
      case VarType::kInteger:
      case VarType::kLong:
      case VarType::kDouble:
      case VarType::kCurrency:
        if (AppendHeld(value, value.ToDouble(), group, out)) return;
        break;
      case VarType::kDate:
        if (AppendHeld(value, value.date().serial, group, out)) return;
        break;
      case VarType::kString:
        if (group == kDate && !date_format_.empty()) {
          AppendDateText(TrimSpaces(value.str()), out);
          return;
        }
        break;
      default:
        break;
    }
  }
  AppendValueText(value, group, date_format_, out);
}

void CellFormatter::AppendNumber(const db::PeekedNumber& number, FieldGroup group,
                                 std::string& out) {
  const format_internal::CompiledPattern& pattern = group == kFloating ? amount_ : whole_;
  const RegionalSettings& settings = CurrentRegionalSettings();
  if (!numbers_need_no_escape_) scratch_.clear();
  std::string& target = numbers_need_no_escape_ ? out : scratch_;
  if (number.is_currency) {
    format_internal::RenderScaled(pattern, number.scaled, settings, target);
  } else {
    format_internal::RenderNumber(pattern, number.number, settings, target);
  }
  if (!numbers_need_no_escape_) AppendScratch(out);
}

bool CellFormatter::AppendHeld(const Variant& value, double number, FieldGroup group,
                               std::string& out) {
  if (group == kFloating || group == kWhole) {
    db::PeekedNumber held;
    held.is_currency = value.type() == VarType::kCurrency;
    if (held.is_currency) held.scaled = value.currency().scaled;
    held.number = number;
    AppendNumber(held, group, out);
    return true;
  }
  // No DateFormat shows the value's own text; a number beyond the dates a Date can hold does not
  // read as a date. Both take the general path.
  if (date_format_.empty()) return false;
  if (value.type() != VarType::kDate && date_.is_date && !InDateRange(number)) return false;
  AppendWithDateFormat(number, out);
  return true;
}

void CellFormatter::AppendDateText(std::string_view trimmed, std::string& out) {
  if (trimmed.empty()) return;
  if (const std::optional<double> number = ParseNumber(trimmed)) {
    if (date_.is_date && !InDateRange(*number)) {
      AppendHtmlEscaped(trimmed, out);
    } else {
      AppendWithDateFormat(*number, out);
    }
  } else if (const std::optional<Date> date = ParseDate(trimmed)) {
    AppendWithDateFormat(date->serial, out);
  } else {
    AppendHtmlEscaped(trimmed, out);
  }
}

void CellFormatter::AppendWithDateFormat(double number, std::string& out) {
  std::uint64_t bits;
  std::memcpy(&bits, &number, sizeof bits);
  if (date_memo_.empty()) date_memo_.resize(kDateMemo);
  DateMemo& memo = date_memo_[(bits * 0x9E3779B97F4A7C15ULL) >> (64 - kDateMemoBits)];
  if (memo.used && memo.bits == bits) {
    out += memo.text;
    return;
  }
  const RegionalSettings& settings = CurrentRegionalSettings();
  scratch_.clear();
  if (date_.is_date) {
    format_internal::RenderDate(date_, Date{number}, settings, scratch_);
  } else {
    format_internal::RenderNumber(date_, number, settings, scratch_);
  }
  // Stored only once made: a value the pattern cannot show raises above and is not kept.
  memo.used = false;
  memo.text.clear();
  AppendHtmlEscaped(scratch_, memo.text);
  memo.bits = bits;
  memo.used = true;
  out += memo.text;
}

void CellFormatter::AppendScratch(std::string& out) { AppendHtmlEscaped(scratch_, out); }

void AppendFormCells(const ControlState& s, const FieldPlan& plan, std::int16_t form,
                     std::string& out) {
  const Field& field = *plan.field;
  out += "<td class=hn>";
  out += FormatValue(Variant(field.Name()), " ", s.DateFormat);
  out += ": </td>";
  if (plan.is_id && form > 0) {
    out += "<td class=hvr><a href='^";
    out += FormatNumber(form, "00000");
    const Variant& id = field.Value();
    AppendHtmlEscaped(
        id.type() == VarType::kBytes ? BinaryText(id.bytes()) : Format(id, "0000000000"), out);
    out += "'>Click to Open Entry Form . . .</a></td>";
    return;
  }
  out += plan.group == kOther ? "<td class=hvl>" : "<td class=hvr>";
  AppendValueText(field.Value(), plan.group, s.DateFormat, out);
  out += "</td>";
}

void WriteFormFrame(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                    const std::string& title, std::int32_t section,
                    const std::function<void(std::string& text)>& append_rows) {
  RunSection(s, [&] {
    if (CountRecords(s, rs, title) <= 0) return;
    std::string text;
    const std::string number = ElementNumber(section);
    AppendTitleParagraph(s, title, number, text);
    AppendTableStart(number, text);
    rs->MoveFirst();
    append_rows(text);
    text += "</table><br>";
    page.WriteLine(text);
  });
}

}  // namespace nimbo
