// Files in the application folder.
#include "control/app_files.h"

#include "platform/text_file.h"

namespace nimbo {

std::string AppFilePath(const ControlState& s, std::string_view name) {
  return JoinPath(s.ApplicationFolder.ToText(), name);
}

}  // namespace nimbo
