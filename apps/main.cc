// The nimbo program: the component's command-line hosts.
#include <functional>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "nimbo/nimbo.h"

int main(int argc, char** argv) {
  CLI::App app{"nimbo: the Data Browser component's command-line hosts", "nimbo"};
  app.set_version_flag("--version", std::string("nimbo ") + std::string(nimbo::Version()));
  app.require_subcommand(0, 1);

  std::function<int()> run;
  nimbo::app::AddPropsCommand(app, run);
  nimbo::app::AddDemoCommand(app, run);
  nimbo::app::AddRenderCommand(app, run);
  nimbo::app::AddMailCommand(app, run);
  nimbo::app::AddServeCommand(app, run);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? nimbo::app::kExitOk : nimbo::app::kExitUsage;
  }
  if (!run) {
    std::cout << app.help();
    return nimbo::app::kExitOk;
  }
  return run();
}
