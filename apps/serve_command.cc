// nimbo serve: the web host. Shows the tree and the report pages in a real browser, on
// 127.0.0.1 only, until Ctrl-C.
#include <asio/signal_set.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "browser_session.h"
#include "commands.h"
#include "serve/http_server.h"
#include "serve/web_host.h"

namespace nimbo::app {
namespace {

int RunServe(const serve::ServeOptions& options) {
  try {
    serve::WebHost host(options);
    serve::HttpServer server(host);
    const int port = server.Bind(options.port);
    host.Refresh();

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
