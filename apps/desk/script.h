// The scripted mode of nimbo-desk: the walk of nimbo render (select nodes by text, a link, the
// page commands, the tree dump), then mail and a screenshot, all on the real window and its
// real controls, each wait bounded; then the program quits with render's exit statuses.
#ifndef NIMBO_APPS_DESK_SCRIPT_H_
#define NIMBO_APPS_DESK_SCRIPT_H_

#include "desk/desk_options.h"
#include "desk/main_window.h"

namespace nimbo::app::desk {

// Runs the steps the options ask for on the shown window; returns the exit status
// (commands.h): 0 every step succeeded, 1 a failure was reported or a step did not end in time,
// 2 a selection matched no node, 3 a display showed no page.
int RunScript(MainWindow& window, const DeskOptions& options);

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_SCRIPT_H_
