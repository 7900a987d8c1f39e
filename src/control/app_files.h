// Files in the application folder named by the ApplicationFolder property.
#ifndef NIMBO_SRC_CONTROL_APP_FILES_H_
#define NIMBO_SRC_CONTROL_APP_FILES_H_

#include <string>
#include <string_view>

#include "control/control_state.h"

namespace nimbo {

// The path of a file in the application folder. Raises the conversion error of an
// ApplicationFolder that has no text form (94 for Null).
std::string AppFilePath(const ControlState& s, std::string_view name);

}  // namespace nimbo

#endif  // NIMBO_SRC_CONTROL_APP_FILES_H_
