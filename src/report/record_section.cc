// The record form section: the first record of a query as a two-column form of names and values,
// with the record's ID as a link to one of the host's entry forms.
#include <cstdint>
#include <memory>
#include <string>

#include "report/section_common.h"
#include "report/section_writers.h"

namespace nimbo {

void WriteRecordSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                        const std::string& title, std::int32_t section, std::int16_t form) {
  RunSection(s, [&] {
    if (CountRecords(s, rs, title) <= 0) return;
    // The section is built whole and written at the end, so a section that stops on an error
    // leaves nothing half-written in the page.
    std::string text;
    const std::string number = ElementNumber(section);
    AppendTitleParagraph(s, title, number, text);
    AppendTableStart(number, text);
    rs->MoveFirst();
    for (const FieldPlan& plan : PlanFields(*rs)) {
      text += "<tr>";
      AppendFormCells(s, plan, form, text);
    }
    text += "</table><br>";
    page.WriteLine(text);
  });
}

}  // namespace nimbo
