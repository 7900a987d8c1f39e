// Saving and printing the shown page through the browser's own commands, with audit entries.
#include <exception>
#include <string>

#include "control/control_state.h"
#include "control/diagnostics.h"
#include "nimbo/nimbo.h"
#include "nimbo/web_browser.h"

namespace nimbo {
namespace {

// The audit entry after a page command; without a selected node there is nothing to name, and
// the entry is left out silently.
void LogPageCommand(const ControlState& s, const std::string& type) {
  try {
    s.events->LogIt(type, SelectedNode(s)->FullPath());
  } catch (const std::exception&) {
  }
}

}  // namespace

void Nimbo::SavePage() {
  try {
    ExecPageCommand("Save As");
  } catch (const std::exception&) {
  }
  LogPageCommand(*state_, "Save");
}

void Nimbo::PrintPage() {
  try {
    ExecPageCommand("Print");
  } catch (const std::exception&) {
  }
  LogPageCommand(*state_, "Print");
}

void Nimbo::ExecPageCommand(const std::string& command_name) {
  const ControlState& s = *state_;
  try {
    int command = 0;
    if (command_name == "Print") {
      command = kCmdPrint;
    } else if (command_name == "Save As") {
      command = kCmdSaveAs;
    }
    Browser(s).ExecWB(command, kPromptUser);
  } catch (...) {
    const Error error = AsError(std::current_exception());
    s.events->NimboMessage(command_name + " command Error: " + error.description());
    TalkDetail(s, error);
  }
}

}  // namespace nimbo
