// nimbo demo DIR: writes the demo database and the page images into a folder, ready for the
// browsing subcommands (which use the same demo when they are given no database).
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "demo/demo.h"

namespace nimbo::app {
namespace {

int RunDemo(const std::string& dir) {
  try {
    std::cout << WriteDemo(dir) << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "nimbo demo: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace

void AddDemoCommand(CLI::App& app, std::function<int()>& run) {
  auto dir = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "demo",
      "Write the demo database (demo.db, built afresh) and the page images bg.jpg, cbg.gif, "
      "circle.gif, chart.gif, minus.gif and plus.gif into DIR; prints the database's path");
  cmd->add_option("DIR", *dir, "Folder to write into; created when missing")->required();
  cmd->callback([&run, dir] { run = [dir] { return RunDemo(*dir); }; });
}

}  // namespace nimbo::app
