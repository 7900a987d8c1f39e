// The demo on both back ends: written into a SQLite file and into a PostgreSQL database, then
// walked node by node through the whole tree by the same host; every page (and picture file) and
// every event must be the same, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "browser_session.h"
#include "demo/demo.h"
#include "testing/pg_fixture.h"
#include "testing/test_support.h"
#include "testing/tree_walk.h"

namespace nimbo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// What one walk saw: every displayed node's page and picture, and all events.
struct Walk {
  std::vector<testing::WalkedPage> pages;
  std::string events;
};

// Refreshes, then displays every node of the tree. Folder paths in the events are replaced by
// "<folder>".
Walk WalkDemo(app::SessionOptions options) {
  Walk walk;
  std::ostringstream out;
  {
    app::BrowserSession session(options, out);
    session.control().RefreshBrowser();
    walk.pages = testing::WalkWholeTree(session.control(), session.tree(), session.folder());
  }
  walk.events = out.str();
  const std::string folder = options.folder;
  for (std::size_t at; (at = walk.events.find(folder)) != std::string::npos;) {
    walk.events.replace(at, folder.size(), "<folder>");
  }
  return walk;
}

struct WalkCase {
  std::string name;
  int role = 0;
  bool talking = false;
  bool display_path = false;
  std::string date_format;
};

void PrintTo(const WalkCase& walk, std::ostream* out) { *out << walk.name; }

class DemoOnBothBackendsTest : public ::testing::TestWithParam<WalkCase> {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    if (!testing::PgServerUri(why)) return;
    dirs_ = new TempDir();
    pg_ = new testing::PgDatabase();
    app::WriteDemo(dirs_->path() / "sqlite");
    app::WriteDemoToPostgres(pg_->uri(), dirs_->path() / "pg");
  }
  static void TearDownTestSuite() {
    delete pg_;
    delete dirs_;
    pg_ = nullptr;
    dirs_ = nullptr;
  }
  void SetUp() override { NIMBO_SKIP_WITHOUT_PG(); }

  static TempDir* dirs_;
  static testing::PgDatabase* pg_;
};

TempDir* DemoOnBothBackendsTest::dirs_ = nullptr;
testing::PgDatabase* DemoOnBothBackendsTest::pg_ = nullptr;

TEST_P(DemoOnBothBackendsTest, EveryPageAndEventIsTheSame) {
  const WalkCase& c = GetParam();
  app::SessionOptions options;
  options.role = c.role;
  options.talking = c.talking;
  options.display_path = c.display_path;
  options.date_format = c.date_format;
  options.now = "2026-12-10T09:30:00";

  app::SessionOptions on_sqlite = options;
  on_sqlite.folder = (dirs_->path() / "sqlite").string();
  on_sqlite.db = (dirs_->path() / "sqlite" / "demo.db").string();
  app::SessionOptions on_pg = options;
  on_pg.folder = (dirs_->path() / "pg").string();
  on_pg.db = pg_->uri();

  const Walk sqlite = WalkDemo(on_sqlite);
  const Walk pg = WalkDemo(on_pg);
  // The whole tree was walked: every customer, product, category, region and shop.
  EXPECT_GE(sqlite.pages.size(), 50u);
  ASSERT_EQ(pg.pages.size(), sqlite.pages.size());
  for (std::size_t i = 0; i < sqlite.pages.size(); ++i) {
    SCOPED_TRACE(sqlite.pages[i].path);
    EXPECT_EQ(pg.pages[i].path, sqlite.pages[i].path);
    EXPECT_EQ(pg.pages[i].files, sqlite.pages[i].files);
  }
  EXPECT_EQ(pg.events, sqlite.events);
  // Nothing failed on the way (with Talking, a failed read or section would say so).
  EXPECT_EQ(sqlite.events.find("Unable to Access Data"), std::string::npos);
  EXPECT_EQ(sqlite.events.find("\"Error: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, DemoOnBothBackendsTest,
    ::testing::Values(WalkCase{"FinanceRole", 1, true, false, ""},
                      WalkCase{"OtherRole", 2, false, true, ""},
                      WalkCase{"LongDates", 3, true, true, "Dddd, dd Mmm yyyy hh:nn:ss AMPM"}),
    [](const ::testing::TestParamInfo<WalkCase>& walk) { return walk.param.name; });

class PgCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { NIMBO_SKIP_WITHOUT_PG(); }

  static testing::CommandResult Nimbo(const std::string& args) {
    return testing::RunCommand(std::string(NIMBO_CLI_PATH) + " " + args + " 2>&1");
  }
};

TEST_F(PgCommandTest, DemoGoesOnlyIntoAnEmptyDatabase) {
  testing::PgDatabase db;
  TempDir dir;
  const std::string args = "demo --db '" + db.uri() + "' '" + (dir / "app").string() + "'";
  const auto first = Nimbo(args);
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_EQ(first.out.find("database " + db.name()), 0u) << first.out;
  EXPECT_TRUE(fs::exists(dir / "app" / "plus.gif"));
  EXPECT_EQ(db.Query("SELECT count(*) FROM customers")[0][0], "14");

  // A second run meets the tables of the first and changes nothing.
  db.Execute("DELETE FROM order_lines WHERE id = 1");
  const auto again = Nimbo(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("already holds tables"), std::string::npos) << again.out;
  EXPECT_EQ(db.Query("SELECT count(*) FROM order_lines WHERE id = 1")[0][0], "0");

  const auto not_a_uri = Nimbo("demo --db shop.db '" + dir.path().string() + "'");
  EXPECT_EQ(not_a_uri.status, 2) << not_a_uri.out;
}

TEST_F(PgCommandTest, BrowsingAServerDatabaseNeedsAFolderAndNeverShowsThePassword) {
  TempDir dir;
  const auto no_folder = Nimbo("render --db 'postgresql:///shop?host=" + dir.path().string() + "'");
  EXPECT_EQ(no_folder.status, 2);
  EXPECT_NE(no_folder.out.find("needs --folder"), std::string::npos) << no_folder.out;

  // Nothing listens in the folder: the connection fails and the talking component says why.
  const auto unreachable =
      Nimbo("render --talking --folder '" + dir.path().string() +
            "' --db 'postgresql://ann:pa55-w0rd@/shop?host=" + dir.path().string() + "'");
  EXPECT_NE(unreachable.out.find("Connection cannot be established."), std::string::npos)
      << unreachable.out;
  EXPECT_EQ(unreachable.out.find("pa55-w0rd"), std::string::npos) << unreachable.out;
}

}  // namespace
}  // namespace nimbo
