// The demo's picture, chart and grouped pages rendered by `nimbo render` as a real program: the
// picture file is the product's own, every chart has its icon, caption and hidden table under one
// number, and every plus image of the drill-down table names a hidden row and block below it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace nimbo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;

// Every first group of `pattern` in `text`, in order.
std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    found.push_back((*it)[1]);
  }
  return found;
}

class DemoSectionsTest : public ::testing::Test {
 protected:
  // One demo folder for the suite: the demo is written on the first render only.
  static void SetUpTestSuite() { dir_ = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // Renders the demo (written into the folder on first use) after selecting `selections`.
  std::string Render(const std::string& args) {
    const auto r = RunCommand(std::string(NIMBO_CLI_PATH) + " render --talking --folder '" +
                              dir_->path().string() + "' " + args);
    EXPECT_EQ(r.status, 0) << r.out;
    // With Talking on, a section that failed or met no records would have said so.
    EXPECT_EQ(r.out.find("BlaBla"), std::string::npos) << r.out;
    return ReadFile(*dir_ / "oDatNav.htm");
  }

  // The picture of the product named `name`, read straight from the demo database.
  std::string PictureOf(const std::string& name) {
    sqlite3* db = nullptr;
    sqlite3_open_v2((*dir_ / "demo.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT picture FROM products WHERE name = ?", -1, &statement, nullptr);
    sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::string bytes;
    if (sqlite3_step(statement) == SQLITE_ROW) {
      bytes.assign(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                   static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return bytes;
  }

  static TempDir* dir_;
};

TempDir* DemoSectionsTest::dir_ = nullptr;

TEST_F(DemoSectionsTest, ProductCardShowsItsOwnPicture) {
  const std::string page = Render("--select Products --select Catalogue --select 'Coffee Pot'");
  EXPECT_NE(page.find("<table id='TBL081' border=1 width=100%><TR><TD VALIGN=TOP WIDTH=40% "
                      "ROWSPAN=10><IMG SRC='pic1' WIDTH=100%></TD><td class=hn>ID: </td>"),
            std::string::npos);
  const std::string picture = PictureOf("Coffee Pot");
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(ReadFile(*dir_ / "pic1"), picture);

  // Another product overwrites it.
  Render("--select Products --select Catalogue --select 'Wool Throw'");
  EXPECT_EQ(ReadFile(*dir_ / "pic1"), PictureOf("Wool Throw"));
}

TEST_F(DemoSectionsTest, EveryChartHasItsIconCaptionAndHiddenTable) {
  const struct {
    const char* args;
    std::vector<std::string> numbers;
  } pages[] = {
      {"--select 'Sales by Region'", {"022"}},
      {"--select Products --select Catalogue --select 'Coffee Pot'", {"082"}},
      // "ALL" over Month, Orders, Units, Revenue: three charts.
      {"--role 1 --select Finance --select 'Monthly Revenue'", {"1221", "1222", "1223"}},
  };
  for (const auto& p : pages) {
    const std::string page = Render(p.args);
    EXPECT_EQ(Matches(page, "<img id='CTL(\\d+)' src='chart.gif'>"), p.numbers) << p.args;
    EXPECT_EQ(Matches(page, "<td id='CTLCAP(\\d+)' class=ph>"), p.numbers) << p.args;
    EXPECT_EQ(Matches(page, "style='display:none' id='CGR(\\d+)'"), p.numbers) << p.args;
  }
}

TEST_F(DemoSectionsTest, EveryPlusImageOpensAHiddenRowAndBlockBelowIt) {
  const std::string page = Render("--select Customers");
  const std::vector<std::string> images = Matches(page, "<img id=DTL(\\S+) src=plus.gif>");
  const std::vector<std::string> rows =
      Matches(page, "<tr id=ROW(\\S+) style=\"display:none\"><td>&nbsp;</td>");
  const std::vector<std::string> blocks =
      Matches(page, "<div id=SHP(\\S+) style=\"display:none\">");
  ASSERT_FALSE(images.empty());
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()),
            std::set<std::string>(images.begin(), images.end()));
  EXPECT_EQ(rows, blocks);
  // Three levels: customers, their orders, the lines of each order.
  std::map<std::string, int> levels;
  for (const std::string& id : rows) ++levels[id.substr(0, 2)];
  EXPECT_EQ(levels.size(), 2u);
  EXPECT_EQ(Matches(page, "<div id=SHP(\\S+) style=\"display:default\">"),
            std::vector<std::string>{"010"});
  EXPECT_NE(page.find("<p align=right id=DISPALL class=ph>Display All</td>"), std::string::npos);
  EXPECT_NE(page.find("<table border=3 cellspacing=0 width=100%>"), std::string::npos);
}

}  // namespace
}  // namespace nimbo
