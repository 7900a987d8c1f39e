// The options of nimbo-desk: the session's (as nimbo serve takes them), the mail settings, the
// design-time property file, and the scripted steps that run on the real window and then quit.
#ifndef NIMBO_APPS_DESK_DESK_OPTIONS_H_
#define NIMBO_APPS_DESK_DESK_OPTIONS_H_

#include <CLI/CLI.hpp>
#include <string>

#include "browser_session.h"

namespace nimbo::app::desk {

struct DeskOptions {
  SessionOptions session;  // session.save_to / print_to: the scripted save and print
  WalkOptions walk;        // --select, --url, --tree
  bool can_mail = false;
  std::string smtp;
  std::string from;
  std::string from_name;
  double mail_timeout = 60;
  std::string form;  // the property file the Properties dialog edits
  // Scripted mail of the shown page.
  std::string mail_to;
  std::string subject;
  std::string message;
  std::string screenshot;    // a PNG of the window once the last page has painted
  double step_timeout = 60;  // seconds each scripted wait may take
  int width = 1200;
  int height = 800;

  // True when any scripted step was asked for: the program runs them and quits.
  bool Scripted() const {
    return !walk.selections.empty() || walk.has_url || walk.tree || !mail_to.empty() ||
           !screenshot.empty() || !session.save_to.empty() || !session.print_to.empty();
  }
};

// Adds every option of nimbo-desk to `app`.
void AddDeskOptions(CLI::App& app, DeskOptions& options);

}  // namespace nimbo::app::desk

#endif  // NIMBO_APPS_DESK_DESK_OPTIONS_H_
