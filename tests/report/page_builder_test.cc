// The page builder on a real browser-definition database: the header line of the worked example,
// sections in stored order through their writers, the rows it skips, the path line, escaping of
// node texts, and the error paths of the build and of its sections.
#include "report/page_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "data/startup_load.h"
#include "nimbo/container.h"
#include "report_fixture.h"

namespace nimbo {
namespace {

using Lines = std::vector<std::string>;
using testing::LinesOf;
using testing::ReadFile;

constexpr char kData[] =
    "INSERT INTO nav VALUES (2, 'Sales', 'F', 1, NULL, NULL, NULL, NULL);"
    "INSERT INTO pages VALUES (1, 'x', 'y', 'Front'), (2, 'x', 'y', '<html><body><DIV>');"
    "CREATE TABLE customers (ID INTEGER, Name TEXT, Balance CURRENCY);"
    "INSERT INTO customers VALUES (17, 'Smith', 1234.5), (18, 'Jones', 5);"
    "CREATE TABLE sales (ID INTEGER, Region TEXT, Units INTEGER, Amount CURRENCY);"
    "INSERT INTO sales VALUES (1, 'North', 10, 1500.5), (2, 'South', 5, 250);";

constexpr char kHeader[] =
    "<html><body><DIV><table width=100%><tr><td class=pgl>Acme Stores</td><td class=pgr>"
    "Tuesday, 08 Dec 2026 09:17:44 PM</td></table><p class=mh>Report:  Sales";
constexpr char kClosing[] = "</DIV></BODY></HTML>";
constexpr char kView[] = "LogIt|View|Data Browser\\Sales";
constexpr char kNoObject[] = "BlaBla|Error: 91, Object variable or With block variable not set";

// The worked examples' sections, as the page builder writes them.
const Lines kSalesTable = {
    "<p id='TTL005' class=ph><img src='circle.gif'>  Sales<table id='TBL005' border=1 "
    "width=100%><tr><td class=thc>Region</td><td class=thc>Units</td><td class=thc>Amount</td>",
    "<tr><td class=tdl>North</td><td class=tdr>10</td><td class=tdr>1,500.50</td>",
    "<tr><td class=tdl>South</td><td class=tdr>5</td><td class=tdr>250.00</td>",
    "<tr><td class=tfl>Total:</td><td class=tfr>15</td><td class=tfr>1,750.50</td>"
    "</table><br><br>"};
constexpr char kCustomerForm[] =
    "<p id='TTL003' class=ph><img src='circle.gif'>  Customer<table id='TBL003' border=1 "
    "width=100%><tr><td class=hn>ID: </td><td class=hvr><a href='^000020000000017'>Click to "
    "Open Entry Form . . .</a></td><tr><td class=hn>Name: </td><td class=hvl>Smith</td>"
    "<tr><td class=hn>Balance: </td><td class=hvr>1,234.50</td></table><br>";
constexpr char kSalesRow[] = "(5, 2, NULL, 'Sales', 'SalesList', '', 'S', NULL, 'ALL')";
constexpr char kCustomerRow[] = "(3, 2, NULL, 'Customer', 'CustomerCard', NULL, 'H', 2, NULL)";

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class PageBuilderTest : public testing::ReportTest {
 protected:
  PageBuilderTest() : ReportTest(kData) {
    db_.AddProcedure("CustomerCard", "SELECT * FROM customers WHERE ID = 17");
    db_.AddProcedure("SalesList", "SELECT * FROM sales ORDER BY ID");
    db_.AddProcedure("SalesFor", "SELECT * FROM sales WHERE Region = @Region");
    b_.control.Heading("Acme Stores");
    // A definition always has section rows; this one belongs to another page.
    db_.Run(
        "INSERT INTO sections VALUES (99, 99, NULL, 'Elsewhere', 'SalesList', '', 'S', NULL,"
        " 'ALL');");
  }

  // Stores section rows, "(id, page, unused, caption, proc, macro, kind, form, totals)" each, and
  // loads the definition as a refresh would.
  void Sections(const std::vector<std::string>& rows) {
    for (const std::string& row : rows) db_.Run("INSERT INTO sections VALUES " + row + ";");
    Load();
  }
  void Load() {
    b_.events->lines.clear();
    LoadBrowser(s());
    ASSERT_TRUE(events().empty()) << events().front();
  }

  // Builds a page and returns the page file's lines (none when there is no file).
  Lines Build(std::int32_t page_id) {
    BuildPage(s(), page_id);
    const auto path = db_.dir() / "oDatNav.htm";
    if (!std::filesystem::exists(path)) return {"<no file>"};
    return LinesOf(ReadFile(path));
  }
  Lines Shown() const { return browser_->Navigations(); }
};

TEST_F(PageBuilderTest, APageWithoutSectionsIsHeaderAndClosingShownAndLogged) {
  Load();
  EXPECT_EQ(Build(2), (Lines{kHeader, kClosing}));
  EXPECT_EQ(Shown(), Lines{s().PagePath});
  EXPECT_EQ(events(), Lines{kView});
}

TEST_F(PageBuilderTest, WorkedExamplesInStoredOrder) {
  Sections(
      {kSalesRow, "(11, 3, NULL, 'Other page', 'SalesList', '', 'S', NULL, 'ALL')", kCustomerRow});
  EXPECT_EQ(Build(2), Join({{kHeader}, kSalesTable, {kCustomerForm, kClosing}}));
  EXPECT_EQ(Shown(), Lines{s().PagePath});
  EXPECT_EQ(events(), Lines{kView});
}

TEST_F(PageBuilderTest, RowsWithoutAProcedureOrAKnownKindWriteNothing) {
  Sections({
      "(12, 2, NULL, 'No procedure', NULL, 'TEXT', 'S', NULL, 'ALL')",
      "(13, 2, NULL, 'Empty procedure', '', 'TEXT', 'S', NULL, 'ALL')",
      // Unknown kinds still run their query: this one fails, and says so.
      "(14, 2, NULL, 'Unknown kind', 'Nope', '', 'X', NULL, NULL)",
      "(15, 2, NULL, 'Lower case', 'CustomerCard', '', 'h', 2, NULL)",
      "(16, 2, NULL, 'Null kind', 'CustomerCard', '', NULL, 2, NULL)",
      kSalesRow,
  });
  EXPECT_EQ(Build(2), Join({{kHeader}, kSalesTable, {kClosing}}));
  EXPECT_EQ(events(), (Lines{"BlaBla|Unable to Access Data for the SQL : EXEC Nope ",
                             "BlaBla|Cause: Unknown procedure Nope",
                             "NimboMessage|Error Reading Data From Database", kView}));
}

TEST_F(PageBuilderTest, ChartPictureAndGroupedRowsReachTheirWriters) {
  db_.AddProcedure("SalesShape",
                   "SHAPE {SELECT ID, Region FROM sales WHERE ID = 1} APPEND ({SELECT ID, Units "
                   "FROM sales} RELATE ID TO ID) AS Detail");
  Sections({"(6, 2, NULL, 'Units', 'SalesList', '', 'C', NULL, ' 1:2 ')",
            "(8, 2, NULL, '', 'CustomerCard', '', 'I', '2', NULL)",
            "(7, 2, NULL, '', 'SalesShape', '', 'M', NULL, NULL)",
            // A chart row's null spec reads as ".", which is no spec.
            "(9, 2, NULL, 'Units', 'SalesList', '', 'C', NULL, NULL)"});
  const Lines page = Build(2);
  ASSERT_EQ(page.size(), 11u);
  EXPECT_TRUE(page[1].starts_with("<table><tr><td><img id='CTL006' src='chart.gif'>")) << page[1];
  EXPECT_TRUE(
      page[1].ends_with("<td class=cal>North</TD><td class=cal>South</TD></TR></TABLE>"
                        "<hr width=100%>"))
      << page[1];
  EXPECT_EQ(page[2],
            "<table id='TBL008' border=1 width=100%><td class=hn>ID: </td><td class=hvr><a "
            "href='^000020000000017'>Click to Open Entry Form . . .</a></td><tr><td class=hn>"
            "Name: </td><td class=hvl>Smith</td><tr><td class=hn>Balance: </td><td class=hvr>"
            "1,234.50</td><tr></table><br>");
  EXPECT_EQ(page[3], "<table id='TBL007' border=0 width=100%><tr>");
  EXPECT_EQ(page[5], "<tr><td width=5%><img id=DTL021 src=plus.gif></td><td class=tdl>North</td>");
  EXPECT_EQ(page[10], kClosing);
  EXPECT_EQ(events(), (Lines{"BlaBla|Error: 13, Type mismatch", kView}));
}

TEST_F(PageBuilderTest, SectionQueriesTakeTheExpandedMacro) {
  Sections({"(4, 2, NULL, 'Region:', 'SalesFor', 'text', 'S', NULL, '3')"});
  Select("North");
  const Lines page = Build(2);
  ASSERT_EQ(page.size(), 5u);
  EXPECT_EQ(page[1],
            "<p id='TTL004' class=ph><img src='circle.gif'>  Region: North<table id='TBL004' "
            "border=1 width=100%><tr><td class=thc>Region</td><td class=thc>Units</td>"
            "<td class=thc>Amount</td>");
  EXPECT_EQ(page[2],
            "<tr><td class=tdl>North</td><td class=tdr>10</td><td class=tdr>1,500.50</td>");
  EXPECT_EQ(page[3],
            "<tr><td class=tfl>Total:</td><td class=tfr>.</td><td class=tfr>1,500.50</td>"
            "</table><br><br>");
}

TEST_F(PageBuilderTest, PageIdsBelowTwoDoNothing) {
  Sections({kSalesRow});
  for (int page_id : {1, 0, -5}) {
    EXPECT_EQ(Build(page_id), Lines{"<no file>"}) << page_id;
  }
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(events().empty());
}

TEST_F(PageBuilderTest, DisplayPathAndNodeTextsAreEscaped) {
  Load();
  b_.control.DisplayPath(true);
  EXPECT_EQ(Build(2), (Lines{kHeader, "<br><br><p class=pgl>Data Browser\\Sales", kClosing}));

  b_.events->lines.clear();
  Select("<b>R&D</b>");
  const Lines page = Build(2);
  ASSERT_EQ(page.size(), 3u);
  EXPECT_TRUE(page[0].ends_with("<p class=mh>Report:  &lt;b&gt;R&amp;D&lt;/b&gt;")) << page[0];
  EXPECT_EQ(page[1], "<br><br><p class=pgl>Data Browser\\&lt;b&gt;R&amp;D&lt;/b&gt;");
  // The audit entry is no markup: it carries the path as it is.
  EXPECT_EQ(events(), Lines{"LogIt|View|Data Browser\\<b>R&D</b>"});
}

TEST_F(PageBuilderTest, Placeholders) {
  db_.Run("UPDATE pages SET html = 'A %storename% %DATE% [%mainHEADING%] ' WHERE id = 2;");
  Load();
  // The heading is filled in first, so a %Date% inside it shows the date.
  b_.control.Heading("Shop %date%");
  EXPECT_EQ(Build(2).front(),
            "A %storename% Tuesday, 08 Dec 2026 09:17:44 PM [Report:  Sales] <table width=100%>"
            "<tr><td class=pgl>Shop Tuesday, 08 Dec 2026 09:17:44 PM</td><td class=pgr>Tuesday, "
            "08 Dec 2026 09:17:44 PM</td></table><p class=mh>Report:  Sales");
}

TEST_F(PageBuilderTest, TheHeadingIsFixedUntilTheNextLoad) {
  Load();
  Build(2);
  b_.control.Heading("Other Stores");
  EXPECT_EQ(Build(2).front(), kHeader);
  Load();
  EXPECT_NE(Build(2).front().find("<td class=pgl>Other Stores</td>"), std::string::npos);
}

TEST_F(PageBuilderTest, TheHostGetsOneTurnWhileThePageIsWritten) {
  struct CountingContainer : RunTimeContainer {
    void DoEvents() override { ++turns; }
    int turns = 0;
  };
  auto container = std::make_shared<CountingContainer>();
  s().container = container;
  Sections({kSalesRow, kCustomerRow});
  Build(2);
  EXPECT_EQ(container->turns, 1);
}

TEST_F(PageBuilderTest, AFailedReadIsReportedAndTheWriterStillRuns) {
  Sections({"(5, 2, NULL, 'Sales', 'Nope', '', 'S', NULL, 'ALL')", kCustomerRow});
  EXPECT_EQ(Build(2), (Lines{kHeader, kCustomerForm, kClosing}));
  EXPECT_EQ(events(), (Lines{"BlaBla|Unable to Access Data for the SQL : EXEC Nope ",
                             "BlaBla|Cause: Unknown procedure Nope",
                             "NimboMessage|Error Reading Data From Database", kNoObject, kView}));
}

TEST_F(PageBuilderTest, AnErrorInsideASectionEndsOnlyThatSection) {
  Sections({"(5, 2, NULL, 'Sales', 'SalesList', '', 'S', NULL, '3:x')", kCustomerRow});
  EXPECT_EQ(Build(2), (Lines{kHeader, kSalesTable[0], kCustomerForm, kClosing}));
  EXPECT_EQ(events(), (Lines{"BlaBla|Error: 13, Type mismatch", kView}));
  EXPECT_EQ(Shown(), Lines{s().PagePath});
}

TEST_F(PageBuilderTest, AnErrorInTheBuildEndsItUnshownAndUnlogged) {
  Sections(
      {kCustomerRow, "(NULL, 2, NULL, 'No number', 'SalesList', '', 'S', NULL, 'ALL')", kSalesRow});
  // The section number is read when the row's writer is called, after the first section: the
  // unfinished page never replaces the earlier one, and nothing of it is left behind.
  testing::WriteFile(db_.dir() / "oDatNav.htm", "earlier page\r\n");
  const auto files = testing::FileNames(db_.dir());
  EXPECT_EQ(Build(2), (Lines{"earlier page"}));
  EXPECT_EQ(testing::FileNames(db_.dir()), files);
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 94, Invalid use of Null"});
  EXPECT_TRUE(Shown().empty());

  // Without a selected node nothing is written at all.
  std::filesystem::remove(db_.dir() / "oDatNav.htm");
  b_.events->lines.clear();
  SelectNothing();
  EXPECT_EQ(Build(2), Lines{"<no file>"});
  EXPECT_EQ(events(), Lines{kNoObject});

  b_.events->lines.clear();
  b_.control.Talking(false);
  Build(2);
  EXPECT_TRUE(events().empty());
  EXPECT_TRUE(Shown().empty());
}

TEST_F(PageBuilderTest, SectionRowsWithFewerThanNineColumns) {
  Sections({kCustomerRow, kSalesRow});
  s().SectionRows =
      Open("SELECT id, page, unused, caption, proc, macro, kind, form FROM sections ORDER BY rowid")
          ->GetRows();
  // The record form needs no totals column; the table row stops the build, so no page is
  // written at all.
  EXPECT_EQ(Build(2), (Lines{"<no file>"}));
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 9, Subscript out of range"});
  EXPECT_TRUE(Shown().empty());
}

TEST_F(PageBuilderTest, APageFileThatCannotBeWrittenEndsTheBuild) {
  Sections({kSalesRow});
  const std::string missing = (db_.dir() / "missing" / "oDatNav.htm").string();
  s().PagePath = missing;
  BuildPage(s(), 2);
  EXPECT_EQ(events(), (Lines{"BlaBla|Error: 76, Path not found",
                             "BlaBla|" + missing + ": cannot write (No such file or directory)"}));
  EXPECT_TRUE(Shown().empty());
}

// A disk that fills up while the page is written: the earlier page stays as it was and is not
// shown again, no temporary file is left, and the failure is reported as the build's error with
// the page's path and the system's reason as a diagnostic of its own.
TEST_F(PageBuilderTest, AFullDiskLeavesTheEarlierPageAndShowsNothing) {
  testing::ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  Sections({kSalesRow, kCustomerRow});
  s().PagePath = (disk / "oDatNav.htm").string();
  testing::WriteFile(disk / "oDatNav.htm", "earlier page\r\n");
  disk.Fill();
  BuildPage(s(), 2);
  EXPECT_EQ(ReadFile(disk / "oDatNav.htm"), "earlier page\r\n");
  EXPECT_EQ(testing::FileNames(disk.path()), (Lines{"filler", "oDatNav.htm"}));
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(events(),
            (Lines{"BlaBla|Error: 75, Path/File access error",
                   "BlaBla|" + s().PagePath + ": cannot write (No space left on device)"}));
}

// A page too large for what is left fails while its sections are written: each section that
// cannot be written says so, and the page is neither put in place nor shown.
TEST_F(PageBuilderTest, APageLargerThanTheFreeSpaceIsNeverPutInPlace) {
  testing::ScratchMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.why_not();
  db_.Run("WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
          " INSERT INTO sales SELECT i, 'Region ' || i, i, i * 1.5 FROM n;");
  Sections({kSalesRow, kCustomerRow});
  s().PagePath = (disk / "oDatNav.htm").string();
  BuildPage(s(), 2);
  EXPECT_FALSE(std::filesystem::exists(disk / "oDatNav.htm"));
  EXPECT_TRUE(testing::FileNames(disk.path()).empty());
  EXPECT_TRUE(Shown().empty());
  ASSERT_GE(events().size(), 4u);
  EXPECT_EQ(events()[0], "BlaBla|Error: 75, Path/File access error");
  EXPECT_EQ(events()[1], "BlaBla|" + s().PagePath + ": cannot write (No space left on device)");
  for (const std::string& event : events()) EXPECT_NE(event, kView);
}

}  // namespace
}  // namespace nimbo
