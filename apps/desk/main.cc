// nimbo-desk: the Data Browser in a desktop window (Qt Widgets and Qt WebEngine). Without
// scripted steps it shows the window until the user closes it; with them it runs them on the
// window, prints the events as JSON lines and quits.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "desk/desk_options.h"
#include "desk/main_window.h"
#include "desk/script.h"
#include "nimbo/nimbo.h"

int main(int argc, char** argv) {
  namespace desk = nimbo::app::desk;
  CLI::App cli{"nimbo-desk: the Data Browser in a desktop window", "nimbo-desk"};
  cli.set_version_flag("--version", std::string("nimbo-desk ") + std::string(nimbo::Version()));
  desk::DeskOptions options;
  desk::AddDeskOptions(cli, options);
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = cli.exit(e);
    return status == 0 ? nimbo::app::kExitOk : nimbo::app::kExitUsage;
  }

  // Chromium, under the web engine, will not start its sandbox as root and then refuses to run
  // at all; a root user (a container, a CI runner) gets the engine without its sandbox instead.
  if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr) {
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  }
  // The web engine shares its OpenGL context with the widgets; this must be said before the
  // application exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Qt sees no command-line arguments: they are all ours (QT_QPA_PLATFORM and the other
  // variables still reach it).
  static int qt_argc = 1;
  static char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);

  std::unique_ptr<desk::MainWindow> window;
  try {
    window = std::make_unique<desk::MainWindow>(options, std::cout);
  } catch (const std::exception& e) {
    std::cerr << "nimbo-desk: " << e.what() << "\n";
    return nimbo::app::kExitUsage;
  }
  window->show();

  int status = nimbo::app::kExitOk;
  if (options.Scripted()) {
    QTimer::singleShot(0, window.get(), [&] {
      status = desk::RunScript(*window, options);
      QApplication::exit(status);
    });
    app.exec();
  } else {
    QTimer::singleShot(0, window.get(), [&] { window->Refresh(); });
    status = app.exec();
  }
  window.reset();
  return status;
}
