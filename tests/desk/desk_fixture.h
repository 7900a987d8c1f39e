// Runs the built nimbo-desk headless, beside the nimbo program for comparison: Qt's offscreen
// platform, the web engine without its sandbox (the tests may run as root), and a runtime and a
// cache folder of the test program's own.
#ifndef NIMBO_TESTS_DESK_DESK_FIXTURE_H_
#define NIMBO_TESTS_DESK_DESK_FIXTURE_H_

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace nimbo::testing {

// Sets up the environment every nimbo-desk run of this test program shares (once): Qt's and the
// web engine's folders in a temporary folder, removed when the program ends.
inline void DeskEnvironment() {
  static const TempDir dir;
  static const bool ready = [] {
    for (const char* name : {"runtime", "cache", "config", "data"}) {
      std::filesystem::create_directory(dir / name);
    }
    chmod((dir / "runtime").c_str(), 0700);  // the web engine insists on a private runtime folder
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    // Chromium leaves the GPU alone on the offscreen platform, and its GPU thread's watchdog off:
    // on a loaded test machine a slow frame would otherwise end the whole program.
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           "--disable-gpu --disable-gpu-watchdog --disable-dev-shm-usage", 0);
    return true;
  }();
  (void)ready;
}

// A shell word.
inline std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Runs nimbo-desk with `args` (shell words, already quoted); stdout comes back, stderr goes to
// the test's log unless the arguments redirect it.
inline CommandResult RunDesk(const std::string& args) {
  DeskEnvironment();
  return RunCommand(std::string(NIMBO_DESK_PATH) + " " + args);
}

inline CommandResult RunNimbo(const std::string& args) {
  return RunCommand(std::string(NIMBO_CLI_PATH) + " " + args);
}

// The JSON lines of a run's output.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    lines.push_back(nlohmann::json::parse(out.substr(start, end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// Every file of a folder (not the database) by name, with its content.
inline std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".db") continue;
    files[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return files;
}

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_DESK_DESK_FIXTURE_H_
