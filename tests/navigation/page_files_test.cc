// Refresh and node display when the application folder cannot take the page files, on real
// file systems (a small tmpfs mounted by the test when run as root, made full or read-only):
// the earlier files stay whole, the browser is never sent to a broken page, nothing is left
// behind, and the failure is reported as the operation's handler reports errors.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nimbo/date.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "testing/browser_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using testing::BrowserDatabase;
using testing::BrowserUnderTest;
using testing::FileNames;
using testing::ReadFile;
using testing::ScratchMount;
using testing::WriteFile;
using Lines = std::vector<std::string>;

constexpr char kDefinition[] =
    "INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
    " (2, 'Sales', 'F', 1, NULL, NULL, NULL, NULL);"
    "INSERT INTO pages VALUES (1, '', '', 'new front'), (2, '', '', '<html><body><div>');"
    "INSERT INTO sections VALUES (5, 2, NULL, 'Sales', 'SalesList', '', 'S', NULL, 'ALL');"
    "CREATE TABLE sales (ID INTEGER, Region TEXT, Units INTEGER);"
    "INSERT INTO sales VALUES (1, 'North', 10), (2, 'South', 5);";

class PageFilesTest : public ::testing::Test {
 protected:
  PageFilesTest() : db_(kDefinition), b_(db_), disk_(64 * 1024) {
    db_.AddProcedure("SalesList", "SELECT * FROM sales ORDER BY ID");
    b_.control.SetControls(tree_, browser_);
    b_.control.SetClock(FixedClock(MakeDate(2026, 12, 8, 21, 17, 44)));
    b_.control.ApplicationFolder(disk_.path().string());
    b_.control.Talking(true);
  }

  // Refreshes, then selects and displays Sales; returns the events of the display.
  Lines RefreshAndDisplaySales() {
    b_.control.RefreshBrowser();
    b_.events->lines.clear();
    auto sales = tree_->SelectedItem()->Child();
    sales->Selected(true);
    b_.control.DisplayFor(sales);
    return b_.events->lines;
  }
  std::string File(const char* name) const { return (disk_ / name).string(); }

  BrowserDatabase db_;
  BrowserUnderTest b_;
  ScratchMount disk_;
  std::shared_ptr<MemoryTreeView> tree_ = std::make_shared<MemoryTreeView>();
  std::shared_ptr<HeadlessBrowser> browser_ = std::make_shared<HeadlessBrowser>();
};

TEST_F(PageFilesTest, AReadOnlyFolderKeepsTheEarlierPagesAndShowsNoNewOne) {
  if (!disk_.mounted()) GTEST_SKIP() << disk_.why_not();
  WriteFile(disk_ / "fp.htm", "earlier front\r\n");
  WriteFile(disk_ / "oDatNav.htm", "earlier page\r\n");
  disk_.MakeReadOnly();

  b_.control.RefreshBrowser();
  const Lines refresh = b_.events->lines;
  EXPECT_EQ(ReadFile(disk_ / "fp.htm"), "earlier front\r\n");
  ASSERT_GE(refresh.size(), 2u);
  EXPECT_EQ(refresh[0], "BlaBla|Error: 75, Path/File access error");
  EXPECT_EQ(refresh[1], "BlaBla|" + File("fp.htm") + ": cannot write (Read-only file system)");
  // The refresh shows the front page all the same: the earlier one, whole.
  EXPECT_EQ(browser_->LocationURL(), File("fp.htm"));

  b_.events->lines.clear();
  auto sales = tree_->SelectedItem()->Child();
  sales->Selected(true);
  b_.control.DisplayFor(sales);
  EXPECT_EQ(b_.events->lines,
            (Lines{"Busy|True", "BlaBla|Error: 75, Path/File access error",
                   "BlaBla|" + File("oDatNav.htm") + ": cannot write (Read-only file system)",
                   "Busy|False"}));
  EXPECT_EQ(browser_->LocationURL(), "about:blank");
  EXPECT_EQ(ReadFile(disk_ / "oDatNav.htm"), "earlier page\r\n");
  EXPECT_EQ(FileNames(disk_.path()), (Lines{"fp.htm", "oDatNav.htm"}));
}

TEST_F(PageFilesTest, AFullDiskKeepsTheEarlierPageAndShowsNoNewOne) {
  if (!disk_.mounted()) GTEST_SKIP() << disk_.why_not();
  // A first display writes the page; then the disk fills up.
  RefreshAndDisplaySales();
  ASSERT_EQ(browser_->LocationURL(), File("oDatNav.htm"));
  const std::string earlier = ReadFile(disk_ / "oDatNav.htm");
  disk_.Fill();

  const Lines events = RefreshAndDisplaySales();
  EXPECT_EQ(events, (Lines{"Busy|True", "BlaBla|Error: 75, Path/File access error",
                           "BlaBla|" + File("oDatNav.htm") +
                               ": cannot write (No space left on device)",
                           "Busy|False"}));
  EXPECT_EQ(browser_->LocationURL(), "about:blank");
  EXPECT_EQ(ReadFile(disk_ / "oDatNav.htm"), earlier);
  EXPECT_EQ(ReadFile(disk_ / "fp.htm"), "new front\r\n");
  EXPECT_EQ(FileNames(disk_.path()), (Lines{"filler", "fp.htm", "oDatNav.htm"}));

  // Without Talking the failure is silent, as every handler-style error is.
  b_.control.Talking(false);
  EXPECT_EQ(RefreshAndDisplaySales(), (Lines{"Busy|True", "Busy|False"}));
}

}  // namespace
}  // namespace nimbo
