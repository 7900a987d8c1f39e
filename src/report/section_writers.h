// The section writers of a report page: each appends one section, made from the records of the
// section's query, to the page file that the page builder has open.
//
// Every writer follows the same contract. It takes the control state, the open page file and the
// record set (the state's mRS) first, then the section title (the row's caption, possibly empty)
// and the section number (used in the element ids), then one value of its own kind. It never
// raises: a run-time error ends the section and is reported as "Error: N, description" through
// BlaBla (with Talking), and the page builder goes on with the next section. An empty record set
// writes nothing and says "Blank Recordset: " and the title (with Talking); one that cannot count
// its records writes nothing and says nothing.
#ifndef NIMBO_SRC_REPORT_SECTION_WRITERS_H_
#define NIMBO_SRC_REPORT_SECTION_WRITERS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "control/control_state.h"
#include "nimbo/record_source.h"
#include "platform/text_file.h"

namespace nimbo {

// The first record as a two-column form, written as one line: name cells on the left, value
// cells on the right. With `form` above 0 the field named exactly "ID" becomes a link
// "^" + form ("00000") + ID ("0000000000") that asks the host to open that entry form. Nothing
// reaches the page when the section stops on an error. Leaves the record set on its first record.
void WriteRecordSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                        const std::string& title, std::int32_t section, std::int16_t form);

// Every record as a table row, with an optional row of column totals. `totals` is the trimmed
// totals list: "." for none, "ALL" (any case) for every field from the third on, or positions
// (from 0) joined by ":". The head row and each record row are written as soon as they are
// complete, so on an error the lines written so far stay and the table is left open. Leaves the
// record set after its last record.
void WriteTableSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                       const std::string& title, std::int32_t section, const std::string& totals);

// The record form with the record's picture (its "IMG…" fields, saved as "pic1" in the
// application folder) in a cell beside it. Declared for the page builder; not built yet.
void WritePictureSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section, std::int16_t form);

// A bar chart of one field labelled by another; `spec` is "label:value" positions or "ALL".
// Declared for the page builder; not built yet.
void WriteChartSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                       const std::string& title, std::int32_t section, const std::string& spec);

// A hierarchical record set as nested tables that open level by level. Declared for the page
// builder; not built yet.
void WriteGroupedSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section);

}  // namespace nimbo

#endif  // NIMBO_SRC_REPORT_SECTION_WRITERS_H_
