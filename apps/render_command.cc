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
  std::vector<std::string> selections;
  std::string url;
  bool has_url = false;
  bool tree = false;
};

int RunRender(const RenderOptions& options) {
  try {
    BrowserSession session(options.session, std::cout);
    session.control().RefreshBrowser();
    for (const std::string& text : options.selections) {
      if (!session.Select(text)) {
        std::cerr << "nimbo render: the selected node has no child \"" << text << "\"\n";
        return kExitUsage;
      }
    }
    if (options.has_url) {
      const bool result = session.control().ProcessURL(options.url);
      EmitJson(std::cout, {{"event", "ProcessURL"}, {"url", options.url}, {"result", result}});
    }
    session.RunPageCommands();
    if (options.tree) EmitJson(std::cout, {{"event", "Tree"}, {"nodes", TreeJson(session.tree())}});
    return kExitOk;
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
  cmd->add_option("--select", options->selections,
                  "Select the child with this text and display it (repeatable, in order)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->add_option("--url", options->url, "Pass an address to link processing afterwards")
      ->each([options](const std::string&) { options->has_url = true; });
  cmd->add_flag("--tree", options->tree, "Print the whole tree as JSON at the end");
  cmd->callback([&run, options] { run = [options] { return RunRender(*options); }; });
}

}  // namespace nimbo::app
