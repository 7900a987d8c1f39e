// The start-up load: connects the data service on first use and reads the browser definition
// (navigation rows, section rows, front page, page header) into the control state.
#ifndef NIMBO_SRC_DATA_STARTUP_LOAD_H_
#define NIMBO_SRC_DATA_STARTUP_LOAD_H_

#include "control/control_state.h"

namespace nimbo {

// The fixed tail of every page header, whose placeholders the page builder fills.
inline constexpr char kHeaderTemplate[] =
    "<table width=100%><tr><td class=pgl>%StoreName%</td><td class=pgr>%Date%</td></table>"
    "<p class=mh>%MainHeading%";

// Creates the data service on first use and connects it when it has no connection (the first
// load, and every load after a failed connection), then reads the definition. Stops at the first
// run-time error and reports it through BlaBla (with Talking); what was set before the error
// keeps its new value. Never raises.
void LoadBrowser(ControlState& s);

}  // namespace nimbo

#endif  // NIMBO_SRC_DATA_STARTUP_LOAD_H_
