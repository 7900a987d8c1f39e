// The page builder: composes the report page of the node being shown from the page header and
// the node's sections, writes it to the page file and shows it in the host's browser.
#ifndef NIMBO_SRC_REPORT_PAGE_BUILDER_H_
#define NIMBO_SRC_REPORT_PAGE_BUILDER_H_

#include <cstdint>

#include "control/control_state.h"

namespace nimbo {

// Builds the page of `page_id` (the navigation id of the node being shown) in PagePath: the page
// header with %StoreName% (the Heading, filled into PageHeader itself, once per load), %Date% and
// %MainHeading% ("Report:  " and the selected node's text) filled in; then, for every section row
// of the page in stored order, the section's query read into mRS and handed to the writer of the
// row's kind; the selected node's full path when DisplayPath is set; and the closing markup. Then
// navigates mBM to the page and raises LogIt "View" with the node's full path.
//
// Page ids below 2 (the root shows the front page) do nothing. A failed section read says
// "Error Reading Data From Database" and the section's writer still runs; a section's own error
// ends only that section. Any other run-time error (no selected node, a section row that cannot
// be read, a page file that cannot be written, section rows never loaded) ends the build: the
// file is closed as it is, nothing is shown or logged, and "Error: N, description" goes out
// through BlaBla (with Talking). Never raises.
void BuildPage(ControlState& s, std::int32_t page_id);

}  // namespace nimbo

#endif  // NIMBO_SRC_REPORT_PAGE_BUILDER_H_
