// The command line of nimbo-desk.
#include "desk/desk_options.h"

#include <string>

namespace nimbo::app::desk {

void AddDeskOptions(CLI::App& app, DeskOptions& options) {
  AddSessionOptions(app, options.session);
  app.add_flag("--can-mail", options.can_mail, "Let the user mail the shown page");
  app.add_option("--smtp", options.smtp, "Mail server, HOST[:PORT] (port 25 by default)");
  app.add_option("--from", options.from, "Sender's address");
  app.add_option("--from-name", options.from_name, "Sender's name");
  app.add_option("--mail-timeout", options.mail_timeout,
                 "Seconds a mail conversation may last before it is ended as timed out")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 3600.0));
  app.add_option("--form", options.form,
                 "Property file that the Properties dialog reads and saves its changes to");

  auto* script = "Scripted steps (run on the window, then quit)";
  AddWalkOptions(app, options.walk);
  for (const char* name : {"--select", "--url", "--tree"}) app.get_option(name)->group(script);
  app.add_option("--save-to", options.session.save_to, "Save the shown page to this file")
      ->group(script);
  app.add_option("--print-to", options.session.print_to, "Print the shown page as PDF to this file")
      ->group(script);
  app.add_option("--mail-to", options.mail_to, "Mail the shown page to this address")
      ->group(script);
  app.add_option("--subject", options.subject, "Subject of the scripted mail")->group(script);
  app.add_option("--message", options.message, "Message text of the scripted mail")->group(script);
  app.add_option("--screenshot", options.screenshot,
                 "Write a PNG of the window once the last page has painted")
      ->group(script);
  app.add_option("--step-timeout", options.step_timeout,
                 "Seconds each scripted step may wait before it fails")
      ->capture_default_str()
      ->check(CLI::Range(1.0, 3600.0))
      ->group(script);
  app.add_option("--width", options.width, "Window width in pixels")
      ->capture_default_str()
      ->check(CLI::Range(320, 8192));
  app.add_option("--height", options.height, "Window height in pixels")
      ->capture_default_str()
      ->check(CLI::Range(240, 8192));
}

}  // namespace nimbo::app::desk
