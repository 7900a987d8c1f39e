// The bar chart section: one numeric field of a query drawn as vertical bars made of HTML tables
// and a stretched image, labelled by another field; "ALL" draws one chart per field from the
// third on.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "report/html_escape.h"
#include "report/section_common.h"
#include "report/section_writers.h"
#include "report/value_format.h"
#include "platform/text_util.h"

namespace nimbo {
namespace {

// The tallest bar, in pixels.
constexpr double kChartHeight = 200.0;
// Dividing a non-zero value by a maximum of 0; 0 / 0 overflows instead.
constexpr int kDivisionByZero = 11;

bool IsAll(std::string_view spec) {
  return spec.size() == 3 && (spec[0] == 'A' || spec[0] == 'a') &&
         (spec[1] == 'L' || spec[1] == 'l') && (spec[2] == 'L' || spec[2] == 'l');
}

// The label and value positions of a "label:value" spec; pieces after the second are ignored.
// The label piece is read first: 13 when it is no number (as "." is), then 9 for a spec without
// ":", 13 for a value piece that is no number; 6 for a position beyond 16 bits.
struct ChartFields {
  std::int16_t label;
  std::int16_t value;
};
ChartFields ParseSpec(std::string_view spec) {
  const std::size_t colon = spec.find(':');
  const std::int16_t label = Variant(spec.substr(0, colon)).ToInteger();
  if (colon == std::string_view::npos) throw Error(err::kSubscriptOutOfRange);
  const std::string_view rest = spec.substr(colon + 1);
  return {label, Variant(rest.substr(0, rest.find(':'))).ToInteger()};
}

// A chart's number in its "ALL" spec: the section number times 10 plus its place from 1, which
// must still be a 32-bit number.
std::int32_t ChartNumber(std::int32_t section, int place) {
  const std::int64_t number = std::int64_t{section} * 10 + place;
  if (number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max())
    throw Error(err::kOverflow);
  return static_cast<std::int32_t>(number);
}

// A plotted value: Null counts as 0; a text must read as a number.
double PlotValue(const Variant& value) { return NullToZero(value).ToDouble(); }

// The height of a bar, rounded half to even into 16 bits. A maximum of 0 cannot scale.
std::int16_t BarHeight(double value, double maximum) {
  if (maximum == 0) {
    if (value == 0) throw Error(err::kOverflow);
    throw Error(kDivisionByZero, "Division by zero");
  }
  return Variant(value / maximum * kChartHeight).ToInteger();
}

// The chart text of one "label:value" spec over `count` records (at least one).
std::string ChartText(const ControlState& s, Recordset& rs, const std::string& title,
                      std::int32_t section, ChartFields positions, std::int32_t count) {
  const std::int16_t n = Variant(count).ToInteger();
  const std::string number = ElementNumber(section);
  const std::string completed = CompleteTitle(s, title);
  std::string text;
  if (!completed.empty()) {
    text += "<table><tr><td><img id='CTL";
    text += number;
    text += "' src='chart.gif'></td><td id='CTLCAP";
    text += number;
    text += "' class=ph>";
    text += completed;
    text += "</td></table>";
  }
  rs.MoveFirst();
  text += "<table cellspacing=0 cellpadding=1 border=0 style='display:none' id='CGR";
  text += number;
  text += "' width=100%>";
  text += "<TR><TH COLSPAN=";
  text += std::to_string(n + 2);
  text += "> <p class=ctl>";
  text += FormatValue(Variant(completed), " ", s.DateFormat);
  text += "</TH></TR>";

  const Fields& fields = rs.Fields();
  const Field& value_field = fields.Item(positions.value);
  text += "<TR><TD VALIGN=TOP ALIGN=RIGHT class=cal>";
  Variant maximum = NullToZero(value_field.Value());
  double top = maximum.ToDouble();
  while (!rs.Eof()) {
    Variant value = NullToZero(value_field.Value());
    if (const double plotted = value.ToDouble(); plotted > top) {
      top = plotted;
      maximum = std::move(value);
    }
    rs.MoveNext();
  }
  AppendHtmlEscaped(FormatValue(maximum, "Int", s.DateFormat), text);
  text += "</TD>";

  const std::string width = std::to_string(Variant((1.0 / (n + 1)) * 100).ToInteger());
  rs.MoveFirst();
  while (!rs.Eof()) {
    const double value = PlotValue(value_field.Value());
    text += " <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=";
    text += width;
    text += "% ><p class=cdv>";
    // Zero and negative bars show no number.
    if (value > 0) AppendHtmlEscaped(FormatValue(Variant(value), "Int", s.DateFormat), text);
    text += "<IMG SRC='cbg.gif' WIDTH=100% HEIGHT=";
    text += std::to_string(BarHeight(value, top));
    text += "></TD>";
    rs.MoveNext();
  }

  rs.MoveFirst();
  text += "</TR><TR><TD VALIGN=BOTTOM ALIGN=RIGHT class=cal>0.00</TD></TR>";
  text += "<TR><TD ALIGN=RIGHT VALIGN=BOTTOM class=ctl>";
  text += value_field.Name();
  text += "</TD>";
  const Field& label_field = fields.Item(positions.label);
  rs.MoveFirst();
  while (!rs.Eof()) {
    text += "<td class=cal>";
    const Variant label = label_field.Value();
    if (!label.IsNull()) AppendHtmlEscaped(label.ToText(), text);
    text += "</TD>";
    rs.MoveNext();
  }
  text += "</TR></TABLE>";
  return text;
}

}  // namespace

void WriteChartSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                       const std::string& title, std::int32_t section, const std::string& spec) {
  RunSection(s, [&] {
    const std::int32_t count = CountRecords(s, rs, title);
    if (count == 0) return;
    std::string_view trimmed = TrimSpaces(spec);
    if (IsAll(trimmed)) {
      // One chart per field from the third on, each labelled by the second field, each writing
      // itself (or stopping on its own error) before the next starts.
      const int last = rs->Fields().Count() - 1;
      // With fewer than three fields there is no chart to draw, which is a fault of the spec.
      if (last < 2) throw Error(err::kInvalidCall);
      for (int position = 2; position <= last; ++position) {
        WriteChartSection(s, page, rs, title, ChartNumber(section, position - 1),
                          "1:" + std::to_string(position));
      }
      trimmed = {};
    }
    if (trimmed.empty()) return;
    const ChartFields positions = ParseSpec(trimmed);
    // The chart is built whole and written at the end, so one that stops on an error leaves
    // nothing of itself in the page.
    std::string text;
    if (count > 0) text = ChartText(s, *rs, title, section, positions, count);
    text += "<hr width=100%>";
    page.WriteLine(text);
  });
}

}  // namespace nimbo
