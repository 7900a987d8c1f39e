// nimbo serve: the web host. Shows the tree and the report pages in a real browser, on
// 127.0.0.1 only, until Ctrl-C.
#include <fmt/format.h>
#include <unistd.h>

#include <asio/signal_set.hpp>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "browser_session.h"
#include "commands.h"
#include "serve/http_server.h"
#include "serve/web_host.h"

namespace nimbo::app {
namespace {

// A start-up failure: what is wrong is told on stderr and the command exits with `status`.
class StartupFailure : public std::runtime_error {
 public:
  StartupFailure(int exit_status, const std::string& what)
      : std::runtime_error(what), status(exit_status) {}
  int status;
};

// The design page saves to --form: a file still to be made needs a folder to be made in.
void CheckFormFile(const std::string& form) {
  namespace fs = std::filesystem;
  if (form.empty()) return;
  std::error_code ec;
  // A file that is there is read by the host, which says what is wrong with it.
  if (fs::exists(form, ec)) return;
  const fs::path parent = fs::absolute(form, ec).parent_path();
  if (!fs::is_directory(parent, ec)) {
    throw StartupFailure(kExitUsage, "--form " + form + ": there is no folder " + parent.string() +
                                         " to save it in");
  }
  std::cerr << "nimbo serve: --form " << form
            << " does not exist yet; the design page starts from the defaults and Apply "
               "creates it\n";
}

// The pages and the picture are written into the folder at every display: one that cannot be
// written would leave the report pane empty for good.
void CheckFolderWritable(const std::string& folder) {
  namespace fs = std::filesystem;
  const fs::path probe = fs::path(folder) / fmt::format(".nimbo-serve-probe.{}", ::getpid());
  std::ofstream out(probe, std::ios::binary);
  const bool written = out && (out << "x") && out.flush();
  out.close();
  std::error_code ignored;
  fs::remove(probe, ignored);
  if (!written) {
    throw StartupFailure(kExitFailure, "the folder " + folder +
                                           " cannot be written; the pages are written there "
                                           "(choose another with --folder)");
  }
}

int RunServe(const serve::ServeOptions& options) {
  try {
    CheckFormFile(options.form);
    serve::WebHost host(options);
    CheckFolderWritable(host.folder());
    serve::HttpServer server(host);
    const int port = server.Bind(options.port);
    host.Refresh();
    // Looked into after the component has connected, so that this reader is never the one that
    // makes (and would leave behind) a WAL database's -wal and -shm files.
    const serve::DefinitionCheck check = serve::CheckDefinition(host.database());
    if (!check.unreadable.empty()) {
      throw StartupFailure(kExitFailure,
                           "cannot read the database " + host.database() + ": " + check.unreadable);
    }
    if (options.session.db.empty()) {
      std::cout << "nimbo serve: no --db given: the demo was written to " << host.folder()
                << " (database " << host.database() << ")" << std::endl;
    }
    if (!check.missing.empty()) {
      std::cerr << "nimbo serve: the database " << host.database()
                << " has no browser definition; the report pane says so. Missing:\n";
      for (const std::string& line : check.missing) std::cerr << "  " << line << "\n";
    }
    // What the component said at the first refresh (a server database it cannot reach, a
    // definition it cannot read) is told on the terminal too, not only to a browser that is not
    // open yet. The host keeps serving: the next refresh tries again.
    for (const auto& event : host.EventsAfter(0, 0).value("events", serve::json::array())) {
      if (event.value("event", "") == "NimboMessage") {
        std::cerr << "nimbo serve: at start-up: " << event.value("sMessage", "") << "\n";
      }
    }

    // Ctrl-C and SIGTERM arrive on the component thread and end serving.
    std::optional<asio::signal_set> signals;
    host.Call([&] {
      signals.emplace(host.context(), SIGINT, SIGTERM);
      signals->async_wait([&server](const std::error_code& ec, int) {
        if (!ec) server.Stop();
      });
    });

    std::cout << "nimbo serve: open http://127.0.0.1:" << port << "/ in a browser"
              << " (Ctrl-C stops)" << std::endl;
    const bool served = server.Run();
    host.Call([&] { signals.reset(); });
    std::cout << "nimbo serve: stopped" << std::endl;
    return served ? kExitOk : kExitFailure;
  } catch (const StartupFailure& e) {
    std::cerr << "nimbo serve: " << e.what() << "\n";
    return e.status;
  } catch (const std::exception& e) {
    std::cerr << "nimbo serve: " << e.what() << "\n";
    return kExitUsage;
  }
}

}  // namespace

void AddServeCommand(CLI::App& app, std::function<int()>& run) {
  auto options = std::make_shared<serve::ServeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "serve", "Web host: the tree and the report pages in a browser, on 127.0.0.1");
  AddSessionOptions(*cmd, options->session);
  cmd->add_option("--port", options->port, "Port on 127.0.0.1 (0: any free port)")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  cmd->add_flag("--can-mail", options->can_mail, "Let the user mail the shown page");
  cmd->add_option("--smtp", options->smtp, "Mail server, HOST[:PORT] (port 25 by default)");
  cmd->add_option("--from", options->from, "Sender's address");
  cmd->add_option("--from-name", options->from_name, "Sender's name");
  cmd->add_option("--mail-timeout", options->mail_timeout,
                  "Seconds a mail conversation may last before it is ended as timed out")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--form", options->form,
                  "Property file that the design page (/design) applies its changes to");
  cmd->callback([&run, options] { run = [options] { return RunServe(*options); }; });
}

}  // namespace nimbo::app
