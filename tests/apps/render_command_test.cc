// nimbo render, run as a real program over a fixture database: the walk by node texts, the
// JSON-line events, link processing and the tree dump, and a selection that matches nothing.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "testing/browser_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using nlohmann::json;
using testing::BrowserDatabase;
using testing::ReadFile;
using testing::RunCommand;

std::vector<json> Lines(const std::string& out) {
  std::vector<json> lines;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    lines.push_back(json::parse(out.substr(start, end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

class RenderCommandTest : public ::testing::Test {
 protected:
  RenderCommandTest()
      : db_("INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
            " (2, 'Sales', 'F', 1, NULL, NULL, NULL, NULL),"
            " (3, 'Staff only', 'F', 1, NULL, NULL, NULL, '1');"
            "INSERT INTO sections VALUES (5, 2, NULL, 'Sales', 'SalesList', '', 'S', NULL, 'ALL');"
            "INSERT INTO pages VALUES (1, '', '', '<p>front</p>'), (2, '', '', '<html><body><div>');"
            "CREATE TABLE sales (ID INTEGER, Region TEXT, Units INTEGER, Amount CURRENCY);"
            "INSERT INTO sales VALUES (1, 'North', 10, 1500.5), (2, 'South <b>', 5, 250);") {
    db_.AddProcedure("SalesList", "SELECT * FROM sales ORDER BY ID");
  }
  testing::CommandResult Render(const std::string& args) {
    return RunCommand(std::string(NIMBO_CLI_PATH) + " render --db '" + db_.path().string() +
                      "' --now 2026-12-08T21:17:44 " + args);
  }
  BrowserDatabase db_;
};

TEST_F(RenderCommandTest, WalksByTextAndWritesThePage) {
  const auto r = Render("--heading 'Acme Stores' --display-path --select Sales --tree "
                        "--url 'oDatNav.htm^000120000000042'");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  const std::string page = (db_.dir() / "oDatNav.htm").string();
  const std::vector<json> expected_head = {
      {{"event", "Busy"}, {"IsBusy", true}},
      {{"event", "Navigate"}, {"url", "about:blank"}},
      {{"event", "Busy"}, {"IsBusy", false}},
      {{"event", "Navigate"}, {"url", (db_.dir() / "fp.htm").string()}},
      {{"event", "Busy"}, {"IsBusy", true}},
      {{"event", "Navigate"}, {"url", "about:blank"}},
      {{"event", "Navigate"}, {"url", page}},
      {{"event", "LogIt"}, {"AType", "View"}, {"ANarration", "Data Browser\\Sales"}},
      {{"event", "Busy"}, {"IsBusy", false}},
      {{"event", "LogIt"}, {"AType", "Form"}, {"ANarration", "Form #:00012,  ID=0000000042"}},
      {{"event", "OpenForm"}, {"nFrm", "00012"}, {"nID", "0000000042"}},
      {{"event", "ProcessURL"}, {"url", "oDatNav.htm^000120000000042"}, {"result", true}},
  };
  ASSERT_EQ(lines.size(), expected_head.size() + 1) << r.out;
  for (size_t i = 0; i < expected_head.size(); ++i) EXPECT_EQ(lines[i], expected_head[i]) << i;
  // The event name comes first on every line.
  EXPECT_EQ(r.out.rfind("{\"event\":\"Busy\",\"IsBusy\":true}", 0), 0u);

  const json& tree = lines.back();
  EXPECT_EQ(tree["event"], "Tree");
  ASSERT_EQ(tree["nodes"].size(), 1u);
  const json& root = tree["nodes"][0];
  EXPECT_EQ(root["text"], "Data Browser");
  EXPECT_EQ(root["tag"], "00001F");
  EXPECT_EQ(root["image"], "Net");
  ASSERT_EQ(root["children"].size(), 2u);
  EXPECT_EQ(root["children"][0]["text"], "Sales");
  EXPECT_EQ(root["children"][0]["selected"], true);
  EXPECT_EQ(root["children"][0]["key"], "0000000002F");

  EXPECT_EQ(ReadFile(db_.dir() / "fp.htm"), "<p>front</p>\r\n");
  EXPECT_EQ(ReadFile(page),
            "<html><body><div><table width=100%><tr><td class=pgl>Acme Stores</td>"
            "<td class=pgr>Tuesday, 08 Dec 2026 09:17:44 PM</td></table><p class=mh>Report:  "
            "Sales\r\n"
            "<p id='TTL005' class=ph><img src='circle.gif'>  Sales<table id='TBL005' border=1 "
            "width=100%><tr><td class=thc>Region</td><td class=thc>Units</td>"
            "<td class=thc>Amount</td>\r\n"
            "<tr><td class=tdl>North</td><td class=tdr>10</td><td class=tdr>1,500.50</td>\r\n"
            "<tr><td class=tdl>South &lt;b&gt;</td><td class=tdr>5</td>"
            "<td class=tdr>250.00</td>\r\n"
            "<tr><td class=tfl>Total:</td><td class=tfr>15</td><td class=tfr>1,750.50</td>"
            "</table><br><br>\r\n"
            "<br><br><p class=pgl>Data Browser\\Sales\r\n"
            "</DIV></BODY></HTML>\r\n");
}

TEST_F(RenderCommandTest, ARefusedNodeShowsNoPage) {
  const auto r = Render("--role 2 --select 'Staff only'");
  ASSERT_EQ(r.status, 3) << r.out;  // nothing failed, but the display showed no page
  const auto lines = Lines(r.out);
  EXPECT_EQ(lines.back(), (json{{"event", "Busy"}, {"IsBusy", false}}));
  EXPECT_EQ(lines[lines.size() - 2], (json{{"event", "Navigate"}, {"url", "about:blank"}}));
}

TEST_F(RenderCommandTest, ASelectionThatMatchesNoNodeIsAnError) {
  const auto r = Render("--select Sales --select Nowhere 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Nowhere"), std::string::npos) << r.out;
}

TEST_F(RenderCommandTest, ActivePortOtherThan80ReadsNothing) {
  const auto r = Render("--active-port 0 --talking");
  ASSERT_EQ(r.status, 1) << r.out;  // the reads failed
  EXPECT_NE(r.out.find(R"({"event":"BlaBla","sBlaBla":"Please set ActivePort to 80"})"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(R"({"event":"NimboMessage","sMessage":"Error Reading Data From Database"})"),
            std::string::npos);
}

// The exit status says whether every requested display showed its page: 0 only then, 1 when
// the component reported a failure (whether or not its diagnostics are printed), 2 for a
// selection that matches no node, 3 when a display showed no page without any failure.
TEST_F(RenderCommandTest, TheExitStatusSaysWhetherEveryDisplayShowedItsPage) {
  const struct {
    const char* label;
    std::string args;
    int status;
  } cases[] = {
      {"every page shown", "--select Sales", 0},
      {"a read refused", "--active-port 0", 1},
      {"a page command failed", "--select Sales --print", 1},
      {"no such node", "--select Nowhere", 2},
      {"a refused node", "--role 2 --select 'Staff only'", 3},
  };
  for (const auto& c : cases) {
    const auto r = Render(c.args + " 2>/dev/null");
    EXPECT_EQ(r.status, c.status) << c.label << "\n" << r.out;
  }
  // A file that is no database: the connection fails.
  testing::WriteFile(db_.dir() / "garbage.db", std::string(3000, '\x17'));
  const auto r = RunCommand(std::string(NIMBO_CLI_PATH) + " render --db '" +
                            (db_.dir() / "garbage.db").string() + "' 2>/dev/null");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Connection cannot be established."), std::string::npos) << r.out;
}

// A page that cannot be written is reported by the component only as a diagnostic; the
// command still knows, and fails, whether or not it prints diagnostics. The earlier page stays.
TEST_F(RenderCommandTest, APageThatCannotBeWrittenFailsTheRun) {
  for (const bool read_only : {false, true}) {
    SCOPED_TRACE(read_only ? "read-only folder" : "full disk");
    testing::ScratchMount disk(64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
    const std::string folder = " --folder '" + disk.path().string() + "'";
    ASSERT_EQ(Render("--select Sales" + folder).status, 0);
    const std::string earlier = ReadFile(disk / "oDatNav.htm");
    if (read_only) {
      disk.MakeReadOnly();
    } else {
      disk.Fill();
    }
    const std::string reason = read_only ? "Read-only file system" : "No space left on device";

    auto r = Render("--select Sales" + folder);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out.find("BlaBla"), std::string::npos) << r.out;  // not asked for
    EXPECT_EQ(r.out.find((disk / "oDatNav.htm").string()), std::string::npos) << r.out;

    r = Render("--talking --select Sales" + folder);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(R"({"event":"BlaBla","sBlaBla":"Error: 75, Path/File access error"})"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find((disk / "oDatNav.htm").string() + ": cannot write (" + reason + ")"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFile(disk / "oDatNav.htm"), earlier);
    const auto files = testing::FileNames(disk.path());
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const std::string& name) { return name.front() == '.'; }),
              0);
  }
}

}  // namespace
}  // namespace nimbo
