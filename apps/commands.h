// The subcommands of the nimbo program; each registers itself on the command line and runs
// when chosen.
#ifndef NIMBO_APPS_COMMANDS_H_
#define NIMBO_APPS_COMMANDS_H_

#include <functional>

#include <CLI/CLI.hpp>

namespace nimbo::app {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;     // the component reported a failure
inline constexpr int kExitUsage = 2;       // the command line or a selection was wrong
inline constexpr int kExitShowedNoPage = 3;  // render: a display showed no page, nothing failed

// Adds a subcommand to `app`; sets `run` to the function that runs it once parsed.
void AddPropsCommand(CLI::App& app, std::function<int()>& run);
void AddDemoCommand(CLI::App& app, std::function<int()>& run);
void AddRenderCommand(CLI::App& app, std::function<int()>& run);
void AddMailCommand(CLI::App& app, std::function<int()>& run);
void AddServeCommand(CLI::App& app, std::function<int()>& run);

}  // namespace nimbo::app

#endif  // NIMBO_APPS_COMMANDS_H_
