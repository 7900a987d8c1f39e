// nimbo render: refreshes the browser, walks the tree by node texts, and writes the pages, with
// every event printed as a JSON line.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "browser_session.h"
#include "commands.h"

namespace nimbo::app {
namespace {

struct RenderOptions {
  SessionOptions session;
  WalkOptions walk;
};

int RunRender(const RenderOptions& options) {
  try {
    BrowserSession session(options.session, std::cout);
    if (!session.RefreshAndWalk(options.walk, "render")) return kExitUsage;
    return session.WalkStatus();
  } catch (const std::exception& e) {
    std::cerr << "nimbo render: " << e.what() << "\n";
    return kExitUsage;
  }
}

}  // namespace

void AddRenderCommand(CLI::App& app, std::function<int()>& run) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* cmd = app.add_subcommand(
      "render", "Refresh, select nodes by text and write their report pages");
  AddSessionOptions(*cmd, options->session);
  AddPageCommandOptions(*cmd, options->session);
  AddWalkOptions(*cmd, options->walk);
  cmd->callback([&run, options] { run = [options] { return RunRender(*options); }; });
}

}  // namespace nimbo::app
