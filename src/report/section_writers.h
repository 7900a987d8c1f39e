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

// The record form with the record's picture beside it, written as one line. Each field whose name
// begins with "IMG" (any letter case) is saved through a stream as "pic1" in the application
// folder (a second such field overwrites the first) and shown as a cell spanning the form's
// rows; the other fields are the form's rows, each ending in "<tr>". A picture saved before an
// error stays on disk; nothing of the section reaches the page. Leaves the record set on its
// first record.
void WritePictureSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section, std::int16_t form);

// A bar chart of one field labelled by another, written as one line: a chart icon and caption
// (ids CTL, CTLCAP) and the hidden chart table (id CGR), bars scaled so the largest value is 200
// pixels high. `spec` is the trimmed "label:value" positions (from 0), or "ALL" (any case) for
// one chart per field from the third on, numbered section * 10 + 1, + 2, ... A chart that stops
// on an error (a bad spec, a position beyond the fields, a maximum of 0, more than 32,767
// records) writes nothing; the charts of "ALL" before it stay. A record set that cannot count its
// records gets only the closing rule "<hr width=100%>" of each chart. Leaves the record set after
// its last record.
void WriteChartSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                       const std::string& title, std::int32_t section, const std::string& spec);

// A hierarchical record set as nested tables that open level by level: each level's table in a
// block SHP + level ("00") + key, each child level in a hidden row ROW + level + key under its
// parent record, whose plus image DTL + level + ID opens it; header cells coloured by level (ten
// levels have a colour; a shown field deeper down is error 9). Every level needs a field named
// "ID", which is never shown. Lines are written as they are made, so on an error the lines
// written so far stay and the tables are left open; the top table is never closed.
void WriteGroupedSection(ControlState& s, TextFileWriter& page, std::shared_ptr<Recordset>& rs,
                         const std::string& title, std::int32_t section);

}  // namespace nimbo

#endif  // NIMBO_SRC_REPORT_SECTION_WRITERS_H_
