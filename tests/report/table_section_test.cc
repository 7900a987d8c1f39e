// The table section on real SQLite record sets: the worked example byte for byte, the totals list
// rules, cells by field group, escaping of values, and its quiet and error paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/section_writers.h"
#include "report_fixture.h"

namespace nimbo {
namespace {

using Lines = std::vector<std::string>;
using testing::LinesOf;

constexpr char kData[] =
    "CREATE TABLE sales (ID INTEGER, Region TEXT, Units INTEGER, Amount CURRENCY);"
    "INSERT INTO sales VALUES (1, 'North', 10, 1500.5), (2, 'South', 5, 250);"
    "CREATE TABLE stock (ID INTEGER, Item TEXT, Note TEXT, Qty INTEGER, Price REAL, Made DATE,"
    " Info MEMO);"
    "INSERT INTO stock VALUES (1, 'Chair', 'old', 3, 10.25, '2026-12-08', 'Site#a.htm#'),"
    " (2, 'Desk', NULL, NULL, NULL, NULL, NULL),"
    " (3, 'Lamp <b>', 'x & y', 4, 1000, '2026-01-31 10:00:00', '<i>#b.htm#');";

class TableSectionTest : public testing::ReportTest {
 protected:
  TableSectionTest() : ReportTest(kData) {}

  Lines Write(const std::string& sql, const std::string& title, std::int32_t section,
              const std::string& totals) {
    return LinesOf(WriteSection(sql, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
      WriteTableSection(s(), page, rs, title, section, totals);
    }));
  }
  // The last line: the totals row, if any, and the table's end.
  std::string Closing(const std::string& sql, const std::string& totals) {
    const Lines lines = Write(sql, "", 5, totals);
    return lines.empty() ? "<nothing>" : lines.back();
  }
};

TEST_F(TableSectionTest, WorkedExample) {
  EXPECT_EQ(Write("SELECT * FROM sales ORDER BY ID", "Sales", 5, "ALL"),
            (Lines{"<p id='TTL005' class=ph><img src='circle.gif'>  Sales<table id='TBL005' "
                   "border=1 width=100%><tr><td class=thc>Region</td><td class=thc>Units</td>"
                   "<td class=thc>Amount</td>",
                   "<tr><td class=tdl>North</td><td class=tdr>10</td><td class=tdr>1,500.50</td>",
                   "<tr><td class=tdl>South</td><td class=tdr>5</td><td class=tdr>250.00</td>",
                   "<tr><td class=tfl>Total:</td><td class=tfr>15</td><td class=tfr>1,750.50</td>"
                   "</table><br><br>"}));
  EXPECT_TRUE(events().empty());
}

TEST_F(TableSectionTest, TotalsLists) {
  const std::string sales = "SELECT * FROM sales ORDER BY ID";
  // ID, Item, Note (text), Qty (integer), Price (double), Made (date)
  const std::string stock = "SELECT ID, Item, Note, Qty, Price, Made FROM stock ORDER BY ID";
  const std::string total = "<tr><td class=tfl>Total:</td>";
  const std::string end = "</table><br><br>";
  const struct {
    const char* what;
    const std::string& sql;
    const char* totals;
    std::string want;
  } cases[] = {
      {"'.' writes no totals row", sales, ".", end},
      {"an empty list has no entries", sales, "", end},
      {"blanks around the list", sales, "  .  ", end},
      {"'all' in any case", sales, "all",
       total + "<td class=tfr>15</td><td class=tfr>1,750.50</td>" + end},
      {"aLl", sales, " aLl ", total + "<td class=tfr>15</td><td class=tfr>1,750.50</td>" + end},
      {"one position; the other gets '.'", sales, "3",
       total + "<td class=tfr>.</td><td class=tfr>1,750.50</td>" + end},
      {"entries read as numbers", sales, " 3 : 2.4 ",
       total + "<td class=tfr>15</td><td class=tfr>1,750.50</td>" + end},
      {"duplicates each get a cell", sales, "3:3:2",
       total + "<td class=tfr>15</td><td class=tfr>1,750.50</td><td class=tfr>1,750.50</td>" + end},
      {"beyond the last field: never shown", sales, "3:9",
       total + "<td class=tfr>.</td><td class=tfr>1,750.50</td>" + end},
      {"positions below 2 have no cell", sales, "0:1",
       total + "<td class=tfr>.</td><td class=tfr>.</td>" + end},
      // Text (2) and date (5) positions are listed but get no cell, so later ones move left.
      {"text and date positions get no cell", stock, "ALL",
       total + "<td class=tfr>7</td><td class=tfr>1,010.25</td>" + end},
      {"a listed text position shifts", stock, "2:4",
       total + "<td class=tfr>.</td><td class=tfr>1,010.25</td><td class=tfr>.</td>" + end},
  };
  for (const auto& c : cases) EXPECT_EQ(Closing(c.sql, c.totals), c.want) << c.what;
  EXPECT_TRUE(events().empty());
}

TEST_F(TableSectionTest, AllIsRebuiltFromTheFieldCount) {
  // With two fields the list is "1", with three "2": position 1 is below the cells.
  EXPECT_EQ(Closing("SELECT ID, Region FROM sales", "ALL"),
            "<tr><td class=tfl>Total:</td></table><br><br>");
  EXPECT_EQ(Closing("SELECT ID, Region, Units FROM sales", "ALL"),
            "<tr><td class=tfl>Total:</td><td class=tfr>15</td></table><br><br>");
}

TEST_F(TableSectionTest, CellsByGroupNullsMemosAndIds) {
  s().DateFormat = "dd Mmm yyyy";
  EXPECT_EQ(
      Write("SELECT ID, Item, Note, Qty, Price, Made, Info, ID AS Id FROM stock ORDER BY ID", "", 9,
            "3:4"),
      (Lines{"<table id='TBL009' border=1 width=100%><tr><td class=thc>Item</td><td class=thc>"
             "Note</td><td class=thc>Qty</td><td class=thc>Price</td><td class=thc>Made</td>"
             "<td class=thc>Info</td><td class=thc>Id</td>",
             // A memo field is plain text here, never a link.
             "<tr><td class=tdl>Chair</td><td class=tdl>old</td><td class=tdr>3</td>"
             "<td class=tdr>10.25</td><td class=tdr>08 Dec 2026</td><td class=tdl>Site#a.htm#</td>"
             "<td class=tdr>1</td>",
             // Nulls show as "." and add nothing to the totals.
             "<tr><td class=tdl>Desk</td><td class=tdl>.</td><td class=tdr>.</td>"
             "<td class=tdr>.</td><td class=tdr>.</td><td class=tdl>.</td><td class=tdr>2</td>",
             // Values are data: escaped wherever they land.
             "<tr><td class=tdl>Lamp &lt;b&gt;</td><td class=tdl>x &amp; y</td><td class=tdr>4</td>"
             "<td class=tdr>1,000.00</td><td class=tdr>31 Jan 2026</td><td class=tdl>&lt;i&gt;#"
             "b.htm#</td><td class=tdr>3</td>",
             "<tr><td class=tfl>Total:</td><td class=tfr>.</td><td class=tfr>7</td>"
             "<td class=tfr>1,010.25</td><td class=tfr>.</td><td class=tfr>.</td>"
             "<td class=tfr>.</td></table><br><br>"}));
}

TEST_F(TableSectionTest, TitlesAndIds) {
  const std::string sql = "SELECT ID FROM sales ORDER BY ID";
  EXPECT_EQ(Write(sql, "Orders for:", 1234, ".").front(),
            "<p id='TTL1234' class=ph><img src='circle.gif'>  Orders for: Sales<table "
            "id='TBL1234' border=1 width=100%><tr>");
  // A record set of only "ID": no head cells, a bare row per record, then the closing line.
  EXPECT_EQ(Write(sql, "", 7, "."), (Lines{"<table id='TBL007' border=1 width=100%><tr>", "<tr>",
                                           "<tr>", "</table><br><br>"}));
  EXPECT_EQ(Write(sql, "", 7, "ALL").back(), "<tr><td class=tfl>Total:</td></table><br><br>");

  Select("A & B");
  EXPECT_EQ(Write(sql, "<u>Orders</u>:", 7, ".").front(),
            "<p id='TTL007' class=ph><img src='circle.gif'>  <u>Orders</u>: A &amp; B<table "
            "id='TBL007' border=1 width=100%><tr>");
  EXPECT_TRUE(events().empty());
}

TEST_F(TableSectionTest, EmptyAndUncountableRecordSetsWriteNothing) {
  EXPECT_EQ(Write("SELECT * FROM sales WHERE ID = 0", "Sales", 5, "ALL"), Lines{});
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Sales"});
  b_.events->lines.clear();
  b_.control.Talking(false);
  EXPECT_EQ(Write("SELECT * FROM sales WHERE ID = 0", "Sales", 5, "ALL"), Lines{});
  EXPECT_TRUE(events().empty());

  b_.control.Talking(true);
  auto uncountable =
      std::make_shared<testing::RecordCountOverride>(Open("SELECT * FROM sales"), -1);
  EXPECT_EQ(WriteSection(uncountable,
                         [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
                           WriteTableSection(s(), page, rs, "Sales", 5, "ALL");
                         }),
            "");
  EXPECT_TRUE(events().empty());
}

TEST_F(TableSectionTest, AnErrorKeepsTheLinesWrittenSoFar) {
  // An entry that is no number fails when the first value is compared with it: the head row is
  // on the page already, the first record row is not, and the table stays open.
  EXPECT_EQ(Write("SELECT * FROM sales ORDER BY ID", "Sales", 5, "3:x"),
            Lines{"<p id='TTL005' class=ph><img src='circle.gif'>  Sales<table id='TBL005' "
                  "border=1 width=100%><tr><td class=thc>Region</td><td class=thc>Units</td>"
                  "<td class=thc>Amount</td>"});
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 13, Type mismatch"});

  b_.events->lines.clear();
  EXPECT_EQ(Write("SELECT * FROM sales ORDER BY ID", "", 5, "3::2").size(), 1u);
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 13, Type mismatch"});

  b_.events->lines.clear();
  EXPECT_EQ(Write("SELECT * FROM sales ORDER BY ID", "", 5, "70000").size(), 1u);
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 6, Overflow"});

  // Never compared (only "ID" is shown, and no position from 2 on exists): no error.
  b_.events->lines.clear();
  EXPECT_EQ(Write("SELECT ID FROM sales", "", 5, "x").back(),
            "<tr><td class=tfl>Total:</td></table><br><br>");
  EXPECT_TRUE(events().empty());

  EXPECT_EQ(Write("", "Sales", 5, "ALL"), Lines{});
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 91, Object variable or With block variable not set"});

  b_.events->lines.clear();
  SelectNothing();
  EXPECT_EQ(Write("SELECT * FROM sales", "Sales:", 5, "ALL"), Lines{});
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 91, Object variable or With block variable not set"});
}

}  // namespace
}  // namespace nimbo
