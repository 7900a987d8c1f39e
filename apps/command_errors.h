// How the nimbo commands tell their user about an error: the component's "Error: N,
// description" as it comes, and the error's detail (the file, the port, the system's reason) on
// a line of its own, so the description stays the classic one.
#ifndef NIMBO_APPS_COMMAND_ERRORS_H_
#define NIMBO_APPS_COMMAND_ERRORS_H_

#include <ostream>
#include <string_view>

#include "nimbo/error.h"

namespace nimbo::app {

// "<error_prefix>Error: N, description", then "<detail_prefix><detail>" when the error has a
// detail. The prefixes name the command ("nimbo mail: ") or are empty.
inline void PrintError(std::ostream& out, std::string_view error_prefix,
                       std::string_view detail_prefix, const Error& error) {
  out << error_prefix << "Error: " << error.number() << ", " << error.description() << "\n";
  if (!error.detail().empty()) out << detail_prefix << error.detail() << "\n";
}

}  // namespace nimbo::app

#endif  // NIMBO_APPS_COMMAND_ERRORS_H_
