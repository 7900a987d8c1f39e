// nimbo demo DIR: writes the demo database and the page images into a folder, ready for the
// browsing subcommands (which use the same demo when they are given no database).
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "browser_session.h"
#include "commands.h"
#include "demo/demo.h"

namespace nimbo::app {
namespace {

// With a database URI the demo goes into that PostgreSQL database, and only the page images into
// DIR.
int RunDemo(const std::string& dir, const std::string& db) {
  try {
    std::cout << (db.empty() ? WriteDemo(dir) : WriteDemoToPostgres(db, dir)) << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "nimbo demo: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace

void AddDemoCommand(CLI::App& app, std::function<int()>& run) {
  auto dir = std::make_shared<std::string>();
  auto db = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "demo",
      "Write the demo database (demo.db, built afresh) and the page images bg.jpg, cbg.gif, "
      "circle.gif, chart.gif, minus.gif and plus.gif into DIR; prints the database's path. "
      "With --db URI the demo's tables go into that empty PostgreSQL database instead");
  cmd->add_option("DIR", *dir, "Folder to write into; created when missing")->required();
  cmd->add_option("--db", *db,
                  "A postgresql:// URI of an empty database to write the demo into")
      ->check([](const std::string& value) {
        return IsPostgresUri(value) ? std::string()
                                    : std::string("--db takes a postgresql:// URI");
      });
  cmd->callback([&run, dir, db] { run = [dir, db] { return RunDemo(*dir, *db); }; });
}

}  // namespace nimbo::app
