// How `nimbo serve` starts: what it tells the user on the terminal, the exit status of each
// start-up failure, a port another server holds, and the host's own page for a database without
// a browser definition. The program runs as a real process; the first of two servers on one
// port runs in this process.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo.h"
#include "serve/http_server.h"
#include "serve/web_host.h"
#include "testing/read_only_folder.h"
#include "testing/test_support.h"

namespace nimbo::app::serve {
namespace {

namespace fs = std::filesystem;
using nimbo::testing::CommandResult;
using nimbo::testing::ReadOnlyFolder;
using nimbo::testing::RunCommand;
using nimbo::testing::TempDir;
using nimbo::testing::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

// Runs `nimbo serve ARGS` with stderr only (stdout dropped), or stdout only. A server that did
// start is stopped with Ctrl-C after `bound` seconds, a liveness bound: it then exits 0, which
// a test that expects a start-up failure sees as wrong. --foreground: without it timeout also
// signals its whole process group, and a second Ctrl-C that lands after the server has put the
// default handling back ends it with 130, as it would for a user who pressed Ctrl-C twice.
CommandResult Serve(const std::string& args, bool want_stderr = true, int bound = 20) {
  return RunCommand(fmt::format("timeout --foreground -s INT --preserve-status {} '{}' serve {} {}",
                                bound, NIMBO_CLI_PATH, args,
                                want_stderr ? "2>&1 >/dev/null" : "2>/dev/null"));
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs SQL on a SQLite file, creating it.
void Sql(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

// A server of this process on a loopback port, as the command runs one.
class InProcessServer {
 public:
  InProcessServer(const ServeOptions& options, int port)
      : host_(options), server_(host_), port_(server_.Bind(port)) {
    host_.Refresh();
    thread_ = std::thread([this] { server_.Run(); });
  }
  ~InProcessServer() {
    server_.Stop();
    thread_.join();
  }
  int port() const { return port_; }
  WebHost& host() { return host_; }

 private:
  WebHost host_;
  HttpServer server_;
  int port_;
  std::thread thread_;
};

// One GET on a fresh connection that the server closes after answering; the whole reply.
std::string Get(int port, const std::string& target) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
  const std::string request = fmt::format(
      "GET {} HTTP/1.1\r\nHost: 127.0.0.1:{}\r\nConnection: close\r\n\r\n", target, port);
  asio::write(socket, asio::buffer(request));
  std::string reply;
  asio::error_code ec;
  asio::read(socket, asio::dynamic_buffer(reply), ec);  // to the server's close
  return reply;
}

class ServeStartupTest : public ::testing::Test {
 protected:
  void SetUp() override { database_ = EnsureDemo(dir_ / "demo"); }
  TempDir dir_;
  std::string database_;
};

// Every start-up failure ends the command before it serves, with a message on stderr saying
// what is wrong and the documented status: 2 for an option that names something unusable, 1
// for what the component could not read or write.
TEST_F(ServeStartupTest, FailuresAreToldOnStderrWithTheirStatus) {
  WriteFile(dir_ / "text.db", "this is not a database, only some text\n");
  fs::create_directory(dir_ / "form-folder");
  ReadOnlyFolder sealed;
  if (!sealed.why_not().empty()) GTEST_SKIP() << sealed.why_not();
  fs::copy_file(database_, sealed / "demo.db");
  sealed.Seal();
  const std::string db = "--db " + Quoted(database_);
  const struct {
    const char* name;
    std::string args;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"NoDatabaseFile", "--db " + Quoted(dir_ / "missing.db"), 2, {"no database file at"}},
      {"NotADatabase",
       "--db " + Quoted(dir_ / "text.db"),
       1,
       {"cannot read the database", (dir_ / "text.db").string(), "file is not a database"}},
      {"FolderCannotBeWritten",
       "--db " + Quoted(sealed / "demo.db"),
       1,
       {"the folder " + sealed.path().string() + " cannot be written"}},
      {"NoFolder", db + " --folder " + Quoted(dir_ / "nowhere"), 2, {"no folder at"}},
      {"FormInAFolderThatIsNot",
       db + " --form " + Quoted(dir_ / "nowhere" / "form.json"),
       2,
       {"--form", "there is no folder"}},
      {"FormIsAFolder",
       db + " --form " + Quoted(dir_ / "form-folder"),
       2,
       {"cannot read the property file"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult r = Serve("--port 0 " + c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_THAT(r.out, HasSubstr("nimbo serve: "));
    for (const std::string& text : c.said) EXPECT_THAT(r.out, HasSubstr(text));
    EXPECT_THAT(r.out, Not(HasSubstr("http://127.0.0.1")));
  }
}

// A second server on a port the first listens on is refused, naming the port, rather than
// sharing it; once the first has stopped (after serving a connection, whose closed end the
// system keeps a while), a new server takes the same port at once.
TEST_F(ServeStartupTest, APortInUseIsRefusedAndFreedAtStop) {
  ServeOptions options;
  options.session.db = database_;
  int port = 0;
  {
    InProcessServer first(options, 0);
    port = first.port();
    const CommandResult second = Serve(fmt::format("--port {} --db {}", port, Quoted(database_)));
    EXPECT_EQ(second.status, 2) << second.out;
    EXPECT_THAT(second.out, HasSubstr(fmt::format("port {} on 127.0.0.1 is already in use", port)));
    EXPECT_THAT(Get(port, "/api/state"), HasSubstr("HTTP/1.1 200"));
  }
  InProcessServer restarted(options, port);
  EXPECT_EQ(restarted.port(), port);
  EXPECT_THAT(Get(port, "/api/state"), HasSubstr("HTTP/1.1 200"));
}

// Without --db the demo is written and the user is told where, before the line with the address
// that scripts look for (and nothing before it that looks like an address).
TEST_F(ServeStartupTest, TheDemoSaysWhereItWasWritten) {
  const fs::path folder = dir_ / "fresh";
  const CommandResult r = Serve("--port 0 --folder " + Quoted(folder), false, 8);
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string told = fmt::format("the demo was written to {} (database {})", folder.string(),
                                       (folder / "demo.db").string());
  const auto where = r.out.find(told);
  const auto address = r.out.find("http://127.0.0.1:");
  ASSERT_NE(where, std::string::npos) << r.out;
  ASSERT_NE(address, std::string::npos) << r.out;
  EXPECT_LT(where, address) << r.out;
  EXPECT_TRUE(fs::is_regular_file(folder / "demo.db"));
}

// What the definition check finds missing, on small databases that each lack one part.
TEST_F(ServeStartupTest, TheDefinitionCheckSaysWhatIsMissing) {
  const auto copy = [&](const char* name, const std::string& sql) {
    const fs::path file = dir_ / name;
    fs::copy_file(database_, file);
    Sql(file, sql);
    return file.string();
  };
  Sql(dir_ / "empty.db", "CREATE TABLE t (x)");
  const struct {
    const char* name;
    std::string database;
    std::vector<std::string> missing;  // a text each line must hold, in order
  } cases[] = {
      {"Complete", database_, {}},
      {"NoCatalog", (dir_ / "empty.db").string(), {"the table nimbo_procedures"}},
      {"NoSectionRows",
       copy("no-xspb2.db", "DELETE FROM nimbo_procedures WHERE name = 'xspb2'"),
       {"the procedure xspb2 in nimbo_procedures"}},
      {"NavigationTableGone",
       copy("no-nav.db", "DROP TABLE nimbo_navigation"),
       {"what the procedure xspb1 reads", "no such table: nimbo_navigation"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DefinitionCheck check = CheckDefinition(c.database);
    EXPECT_EQ(check.unreadable, "");
    if (c.missing.empty()) {
      EXPECT_TRUE(check.missing.empty()) << ::testing::PrintToString(check.missing);
      continue;
    }
    ASSERT_EQ(check.missing.size(), 1u) << ::testing::PrintToString(check.missing);
    for (const std::string& text : c.missing) EXPECT_THAT(check.missing[0], HasSubstr(text));
  }
  WriteFile(dir_ / "text.db", "this is not a database, only some text\n");
  EXPECT_THAT(CheckDefinition((dir_ / "text.db").string()).unreadable,
              HasSubstr("file is not a database"));
}

// A database without a definition: the command starts and says on stderr what is missing; the
// report pane is sent to the host's own page, which names the database with every character
// escaped.
TEST_F(ServeStartupTest, ADatabaseWithoutADefinitionGetsTheHostsPage) {
  // A WAL database: the host's look into it leaves no -wal or -shm file behind.
  Sql(dir_ / "plain.db", "PRAGMA journal_mode=WAL; CREATE TABLE t (x)");
  ASSERT_FALSE(fs::exists(dir_ / "plain.db-wal"));
  const CommandResult r = Serve("--port 0 --db " + Quoted(dir_ / "plain.db"), true, 8);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "plain.db-wal"));
  EXPECT_FALSE(fs::exists(dir_ / "plain.db-shm"));
  EXPECT_THAT(r.out, HasSubstr("has no browser definition"));
  EXPECT_THAT(r.out, HasSubstr("the table nimbo_procedures"));
  EXPECT_THAT(r.out, HasSubstr("nimbo serve: at start-up: Error Reading Data From Database"));

  const fs::path odd = dir_ / "<b>Tom & \"Jerry's\"<i>";
  fs::create_directory(odd);
  Sql(odd / "plain.db", "CREATE TABLE t (x)");
  ServeOptions options;
  options.session.db = (odd / "plain.db").string();
  InProcessServer server(options, 0);
  const std::string state = server.host().State();
  EXPECT_THAT(state, HasSubstr("\"page\":\"/host/definition?v="));
  const std::string page = Get(server.port(), "/host/definition");
  EXPECT_THAT(page, HasSubstr("HTTP/1.1 200"));
  EXPECT_THAT(page, HasSubstr("Content-Type: text/html"));
  EXPECT_THAT(page, HasSubstr("&lt;b&gt;Tom &amp; &quot;Jerry&#39;s&quot;&lt;i&gt;"));
  EXPECT_THAT(page, Not(HasSubstr("<b>Tom")));
  EXPECT_THAT(page, HasSubstr("nimbo_procedures"));

  // A database with its definition has no such page.
  options.session.db = database_;
  InProcessServer complete(options, 0);
  EXPECT_THAT(Get(complete.port(), "/host/definition"), HasSubstr("HTTP/1.1 404"));
  EXPECT_THAT(complete.host().State(), Not(HasSubstr("/host/definition")));
}

// A server database that cannot be reached at start-up: the host serves (the next refresh tries
// again) and the terminal has the component's message.
TEST_F(ServeStartupTest, AServerDatabaseOutOfReachIsToldOnTheTerminal) {
  const CommandResult r =
      Serve("--port 0 --db postgresql://nobody@127.0.0.1:1/none --folder " + Quoted(dir_ / "demo"),
            true, 8);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("nimbo serve: at start-up: Connection cannot be established."));
}

}  // namespace
}  // namespace nimbo::app::serve
