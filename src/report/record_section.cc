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
  WriteFormFrame(s, page, rs, title, section, [&](std::string& text) {
    for (const FieldPlan& plan : PlanFields(*rs)) {
      text += "<tr>";
      AppendFormCells(s, plan, form, text);
    }
  });
}

}  // namespace nimbo
