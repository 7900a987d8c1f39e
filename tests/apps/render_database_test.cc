// nimbo render, run as a real program, on databases that test the record source: a SHAPE command
// nested without end, and queries that run without end or fetch without end, which must each end
// as a read error rather than a crash, a hang or the machine's memory; and a WAL database, which
// must be left as it was found.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/browser_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::BrowserDatabase;
using ::testing::HasSubstr;
using testing::NestedShape;
using testing::ReadFile;
using testing::RunCommand;

// Home, with pages below it whose one section runs the procedure of the same name.
class RenderDatabaseTest : public ::testing::Test {
 protected:
  RenderDatabaseTest()
      : db_("INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
            " (2, 'Deepest', 'N', 1, NULL, NULL, NULL, NULL),"
            " (3, 'TooDeep', 'N', 1, NULL, NULL, NULL, NULL),"
            " (4, 'Endless', 'N', 1, NULL, NULL, NULL, NULL),"
            " (5, 'Huge', 'N', 1, NULL, NULL, NULL, NULL);"
            "INSERT INTO sections VALUES (1, 2, NULL, 'Deepest', 'Deepest', '', 'M', NULL, NULL),"
            " (2, 3, NULL, 'Too deep', 'TooDeep', '', 'M', NULL, NULL),"
            " (3, 4, NULL, 'Endless', 'Endless', '', 'S', NULL, 'ALL'),"
            " (4, 5, NULL, 'Huge', 'Huge', '', 'S', NULL, 'ALL');"
            "INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body>');") {}

  testing::CommandResult Render(const std::string& args) {
    return RunCommand(std::string(NIMBO_CLI_PATH) + " render --db '" + db_.path().string() +
                      "' --now 2026-12-08T21:17:44 " + args + " 2>&1");
  }

  BrowserDatabase db_;
};

TEST_F(RenderDatabaseTest, ShapeNestingEndsAsAReadErrorNotACrash) {
  db_.AddProcedure("Deepest", NestedShape(64, true));
  db_.AddProcedure("TooDeep", NestedShape(20000, true));

  // The deepest command allowed is drawn to its last level: the top table and 64 below it.
  auto r = Render("--talking --select Deepest");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("BlaBla")));
  EXPECT_THAT(ReadFile(db_.dir() / "oDatNav.htm"), HasSubstr("<table border=65 "));

  r = Render("--talking --select TooDeep");
  // Whatever status a failed read gives, the program ends on its own, not by a signal.
  ASSERT_GE(r.status, 0) << r.out;
  EXPECT_LT(r.status, 128) << r.out;
  EXPECT_THAT(r.out, HasSubstr(R"({"event":"BlaBla","sBlaBla":"Unable to Access Data for the )"
                               R"(SQL : EXEC TooDeep "})"));
  EXPECT_THAT(r.out, HasSubstr(R"({"event":"BlaBla","sBlaBla":"SHAPE commands may nest at most )"
                               R"(64 levels deep; a deeper one starts at position )"));
}

TEST_F(RenderDatabaseTest, RunawayQueriesEndAsReadErrorsWithinTheLimitsGiven) {
  db_.AddProcedure("Endless",
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                   "SELECT count(*) AS Records FROM n");
  db_.AddProcedure("Huge",
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                   "SELECT i AS ID, 'some text' AS Name FROM n");
  const struct {
    const char* node;
    const char* cause;
  } cases[] = {
      {"Endless", "Query timeout expired: the query ran longer than 1 s and was stopped"},
      {"Huge",
       "The records of the query would take more than 2 MiB, the most one record set may "
       "take, and the read was stopped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.node);
    const auto r = Render(std::string("--talking --command-timeout 1 --recordset-memory-limit 2 "
                                      "--select ") +
                          c.node);
    ASSERT_GE(r.status, 0) << r.out;
    EXPECT_LT(r.status, 128) << r.out;
    EXPECT_THAT(r.out, HasSubstr(std::string(R"({"event":"BlaBla","sBlaBla":"Unable to Access )") +
                                 "Data for the SQL : EXEC " + c.node + " \"}"));
    EXPECT_THAT(r.out,
                HasSubstr(std::string(R"({"event":"BlaBla","sBlaBla":")") + c.cause + "\"}"));
  }
  for (const char* bad : {"--command-timeout -1", "--recordset-memory-limit x"}) {
    EXPECT_EQ(Render(bad).status, 2) << bad;
  }
}

TEST_F(RenderDatabaseTest, LeavesAWalDatabaseAsItFoundIt) {
  db_.Run("PRAGMA journal_mode=WAL;");
  testing::TempDir pages;
  const testing::TempDir dir;
  std::filesystem::copy_file(db_.path(), dir / "browser.db");
  const auto r =
      RunCommand(std::string(NIMBO_CLI_PATH) + " render --db '" + (dir / "browser.db").string() +
                 "' --folder '" + pages.path().string() + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(files, std::vector<std::string>{"browser.db"});
}

}  // namespace
}  // namespace nimbo
