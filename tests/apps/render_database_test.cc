// nimbo render, run as a real program, on databases that test the record source: a SHAPE command
// nested without end, which must end as a read error rather than a crash, and a WAL database,
// which must be left as it was found.
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

// Home, with two pages below it whose one grouped section runs the procedure of the same name.
class RenderDatabaseTest : public ::testing::Test {
 protected:
  RenderDatabaseTest()
      : db_("INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
            " (2, 'Deepest', 'N', 1, NULL, NULL, NULL, NULL),"
            " (3, 'TooDeep', 'N', 1, NULL, NULL, NULL, NULL);"
            "INSERT INTO sections VALUES (1, 2, NULL, 'Deepest', 'Deepest', '', 'M', NULL, NULL),"
            " (2, 3, NULL, 'Too deep', 'TooDeep', '', 'M', NULL, NULL);"
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
