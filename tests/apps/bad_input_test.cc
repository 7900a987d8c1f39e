// Every subcommand given files it cannot use, as a user might give them: a folder, a pipe, a
// device, a missing file, garbage, a file nobody may read, a read-only folder. Each run must
// end, with a message on stderr and a non-zero status: never an abort, a crash or a wait.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::RunCommand;
using testing::ScratchMount;
using testing::TempDir;
using testing::WriteFile;
using ::testing::HasSubstr;

struct Case {
  std::string label;
  std::string args;  // after the program's name
  int status;        // the exit status expected
  std::string says;  // part of what stderr must say
};

// Runs the program with a time limit; the result holds stderr only.
testing::CommandResult Run(const std::string& args) {
  return RunCommand("timeout 60 " + std::string(NIMBO_CLI_PATH) + " " + args +
                    " 2>&1 >/dev/null");
}

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label + ": nimbo " + c.args);
    const auto r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.says));
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("terminate called")));
  }
}

class BadInputTest : public ::testing::Test {
 protected:
  BadInputTest() {
    WriteFile(dir_ / "garbage", std::string(5000, '\x9c'));
    WriteFile(dir_ / "text", "not json, not a database\n");
    WriteFile(dir_ / "huge.json", "{\"k\": \"" + std::string(2 << 20, 'x') + "\"}");
    WriteFile(dir_ / "array.json", "[1, 2, 3]");
    WriteFile(dir_ / "deep.json", std::string(100000, '[') + std::string(100000, ']'));
    std::filesystem::create_directory(dir_ / "folder");
    ::mkfifo((dir_ / "pipe").c_str(), 0600);
  }
  std::string Path(const char* name) const { return "'" + (dir_ / name).string() + "'"; }

  TempDir dir_;
};

TEST_F(BadInputTest, Props) {
  const std::string access = "Error: 75, Path/File access error";
  Check({
      {"a folder", "props " + Path("folder"), 1, access + "\nnimbo props: "},
      {"a pipe", "props " + Path("pipe"), 1, "is not a plain file"},
      {"a device", "props /dev/zero", 1, "is not a plain file"},
      {"garbage", "props " + Path("garbage"), 1, "is not valid JSON"},
      {"text", "props " + Path("text") + " --set ActivePort=80", 1, "is not valid JSON"},
      {"not an object", "props " + Path("array.json"), 1, "does not hold a JSON object"},
      {"too large", "props " + Path("huge.json"), 1, "is larger than"},
      {"deeply nested", "props " + Path("deep.json"), 1, "does not hold a JSON object"},
      {"a missing folder", "props " + Path("no/such/form.json") + " --set ActivePort=80", 1,
       "Error: 76, Path not found"},
  });
  // Root reads a file whatever its mode; anyone else is refused it.
  if (::geteuid() != 0) {
    WriteFile(dir_ / "secret.json", "{}");
    ::chmod((dir_ / "secret.json").c_str(), 0);
    Check({{"unreadable", "props " + Path("secret.json"), 1, "Permission denied"}});
  }
}

TEST_F(BadInputTest, DatabasesAndFolders) {
  const std::string demo = (dir_ / "demo").string();
  ASSERT_EQ(RunCommand(std::string(NIMBO_CLI_PATH) + " demo '" + demo + "' >/dev/null").status, 0);
  const std::string good = " --folder '" + demo + "'";
  const std::string mail = " --server 127.0.0.1:1 --from a@example.org --to b@example.org";
  std::vector<Case> cases;
  for (const std::string command : {"render", "mail", "serve"}) {
    const std::string extra = command == "mail" ? mail : command == "serve" ? " --port 0" : "";
    const std::string run = command + extra;
    cases.push_back({"db a folder", run + " --db " + Path("folder"), 2, "no database file at"});
    cases.push_back({"db a pipe", run + " --db " + Path("pipe"), 2, "no database file at"});
    cases.push_back({"db a device", run + " --db /dev/null", 2, "no database file at"});
    cases.push_back({"db missing", run + " --db " + Path("missing.db"), 2, "no database file at"});
    cases.push_back({"folder a file", run + " --folder " + Path("garbage"), 2,
                     "cannot write the demo into"});
    cases.push_back({"folder a file, with a database",
                     run + " --db '" + demo + "/demo.db' --folder " + Path("garbage"), 2,
                     "no folder at"});
  }
  for (const std::string command : {"render", "mail"}) {
    const std::string run = command + (command == "mail" ? mail : "");
    // A file that is not a database opens, but the connection fails: reported, status 1.
    cases.push_back({"db garbage", run + " --db " + Path("garbage") + " --talking", 1, ""});
  }
  cases.push_back({"form a folder", "serve --port 0 --form " + Path("folder") + good, 2,
                   "cannot read the property file"});
  cases.push_back({"form garbage", "serve --port 0 --form " + Path("garbage") + good, 2,
                   "is not valid JSON"});
  cases.push_back({"form a pipe", "serve --port 0 --form " + Path("pipe") + good, 2,
                   "is not a plain file"});
  cases.push_back({"demo into a file", "demo " + Path("garbage"), 1, "cannot write the demo into"});
  cases.push_back({"demo into a device", "demo /dev/null", 1, "cannot write the demo into"});
  cases.push_back({"a number out of range", "render --role 40000" + good, 2,
                   "--role 40000: Error: 6, Overflow"});
  cases.push_back({"a port that is not one",
                   "mail --server 127.0.0.1:x --from a@example.org --to b@example.org" + good, 1,
                   "nimbo mail: Error: 13, Type mismatch\nnimbo mail: The mail server's port"});
  cases.push_back({"a port out of range",
                   "mail --server 127.0.0.1:70000 --from a@example.org --to b@example.org" + good,
                   1,
                   "nimbo mail: Error: 5, Invalid procedure call or argument\n"
                   "nimbo mail: Port 70000 is outside 1 to 65535"});
  Check(cases);
}

TEST_F(BadInputTest, AReadOnlyFolder) {
  ScratchMount disk(4 << 20);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  const std::string folder = disk.path().string();
  ASSERT_EQ(RunCommand(std::string(NIMBO_CLI_PATH) + " demo '" + folder + "' >/dev/null").status,
            0);
  disk.MakeReadOnly();
  Check({
      // The demo is there already and is used as it is; the pages cannot be written.
      {"render", "render --folder '" + folder + "' --select Products", 1, ""},
      {"demo", "demo '" + folder + "'", 1, "Read-only file system"},
      {"props", "props '" + folder + "/form.json' --set ActivePort=80", 1,
       "Read-only file system"},
  });
}

}  // namespace
}  // namespace nimbo
