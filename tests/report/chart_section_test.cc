// The bar chart section on real SQLite record sets: the worked example byte for byte, "ALL" and
// its numbering, scaling and rounding of bars, the bar width at 1 and 199 records, labels and
// escaping, and every failure that leaves its chart out of the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/section_writers.h"
#include "report_fixture.h"

namespace nimbo {
namespace {

using Lines = std::vector<std::string>;

constexpr char kData[] =
    "CREATE TABLE sales (ID INTEGER, Region TEXT, Units INTEGER, Amount CURRENCY);"
    "INSERT INTO sales VALUES (1, 'North', 10, 1500), (2, 'South', 5, NULL);"
    "CREATE TABLE odd (ID INTEGER, Label TEXT, Value REAL);"
    "INSERT INTO odd VALUES (1, 'a', 1), (2, NULL, NULL), (3, '<b>c&d</b>', 3), (4, 'd', -1.5);";

// The worked example's chart, section 6, "1:2".
constexpr char kUnitsChart[] =
    "<table><tr><td><img id='CTL006' src='chart.gif'></td><td id='CTLCAP006' class=ph>Units by "
    "region</td></table><table cellspacing=0 cellpadding=1 border=0 style='display:none' "
    "id='CGR006' width=100%><TR><TH COLSPAN=4> <p class=ctl>Units by region</TH></TR><TR><TD "
    "VALIGN=TOP ALIGN=RIGHT class=cal>10</TD> <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=33% ><p "
    "class=cdv>10<IMG SRC='cbg.gif' WIDTH=100% HEIGHT=200></TD> <TD VALIGN=BOTTOM ROWSPAN=2 "
    "WIDTH=33% ><p class=cdv>5<IMG SRC='cbg.gif' WIDTH=100% HEIGHT=100></TD></TR><TR><TD "
    "VALIGN=BOTTOM ALIGN=RIGHT class=cal>0.00</TD></TR><TR><TD ALIGN=RIGHT VALIGN=BOTTOM "
    "class=ctl>Units</TD><td class=cal>North</TD><td class=cal>South</TD></TR></TABLE><hr "
    "width=100%>\r\n";

class ChartSectionTest : public testing::ReportTest {
 protected:
  ChartSectionTest() : ReportTest(kData) {}

  std::string Write(const std::string& sql, const std::string& title, std::int32_t section,
                    const std::string& spec) {
    return WriteSection(sql, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
      WriteChartSection(s(), page, rs, title, section, spec);
    });
  }
  std::string Write(std::shared_ptr<Recordset> rs, const std::string& spec) {
    return WriteSection(rs, [&](TextFileWriter& page, std::shared_ptr<Recordset>& r) {
      WriteChartSection(s(), page, r, "T", 6, spec);
    });
  }
};

TEST_F(ChartSectionTest, WorkedExample) {
  EXPECT_EQ(Write("SELECT ID, Region, Units FROM sales ORDER BY ID", "Units by region", 6, "1:2"),
            kUnitsChart);
  EXPECT_TRUE(events().empty());
  // Spaces around the spec are trimmed; pieces after the second are not read.
  for (const char* spec : {" 1:2 ", "1:2:x"}) {
    EXPECT_EQ(Write("SELECT ID, Region, Units FROM sales ORDER BY ID", "Units by region", 6, spec),
              kUnitsChart)
        << spec;
  }
}

TEST_F(ChartSectionTest, AllDrawsOneChartPerFieldFromTheThird) {
  for (const char* spec : {"ALL", "all", " All "}) {
    const std::string page = Write("SELECT * FROM sales ORDER BY ID", "Sales:", 4, spec);
    const std::size_t end = page.find("\r\n");
    ASSERT_NE(end, std::string::npos) << spec;
    const std::string first = page.substr(0, end + 2);
    const std::string second = page.substr(end + 2);
    // The title is completed by each chart; the spec was 1:2 then 1:3.
    EXPECT_TRUE(
        first.starts_with("<table><tr><td><img id='CTL041' src='chart.gif'></td>"
                          "<td id='CTLCAP041' class=ph>Sales: Sales</td></table>"))
        << first;
    EXPECT_NE(first.find("id='CGR041'"), std::string::npos);
    EXPECT_TRUE(
        first.ends_with("class=ctl>Units</TD><td class=cal>North</TD><td class=cal>"
                        "South</TD></TR></TABLE><hr width=100%>\r\n"))
        << first;
    EXPECT_TRUE(second.starts_with("<table><tr><td><img id='CTL042' src='chart.gif'>")) << second;
    EXPECT_NE(second.find("class=cal>1,500</TD>"), std::string::npos) << second;
    // A null amount plots as 0: no number, no height.
    EXPECT_NE(second.find("<p class=cdv><IMG SRC='cbg.gif' WIDTH=100% HEIGHT=0></TD>"),
              std::string::npos)
        << second;
    EXPECT_TRUE(
        second.ends_with("class=ctl>Amount</TD><td class=cal>North</TD><td class=cal>"
                         "South</TD></TR></TABLE><hr width=100%>\r\n"))
        << second;
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(ChartSectionTest, ScalingLabelsAndEscaping) {
  // Values 1, null, 3, -1.5 of a maximum of 3; four records give bars 20% wide.
  const std::string page = Write("SELECT * FROM odd ORDER BY ID", "", 9, "1:2");
  EXPECT_EQ(page,
            "<table cellspacing=0 cellpadding=1 border=0 style='display:none' id='CGR009' "
            "width=100%><TR><TH COLSPAN=6> <p class=ctl></TH></TR><TR><TD VALIGN=TOP ALIGN=RIGHT "
            "class=cal>3</TD>"
            " <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=20% ><p class=cdv>1<IMG SRC='cbg.gif' WIDTH=100% "
            "HEIGHT=67></TD>"
            " <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=20% ><p class=cdv><IMG SRC='cbg.gif' WIDTH=100% "
            "HEIGHT=0></TD>"
            " <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=20% ><p class=cdv>3<IMG SRC='cbg.gif' WIDTH=100% "
            "HEIGHT=200></TD>"
            " <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=20% ><p class=cdv><IMG SRC='cbg.gif' WIDTH=100% "
            "HEIGHT=-100></TD>"
            "</TR><TR><TD VALIGN=BOTTOM ALIGN=RIGHT class=cal>0.00</TD></TR><TR><TD ALIGN=RIGHT "
            "VALIGN=BOTTOM class=ctl>Value</TD><td class=cal>a</TD><td class=cal></TD>"
            "<td class=cal>&lt;b&gt;c&amp;d&lt;/b&gt;</TD><td class=cal>d</TD></TR></TABLE>"
            "<hr width=100%>\r\n");

  const struct {
    const char* sql;
    const char* want;
  } bars[] = {
      // Half the maximum below zero.
      {"SELECT 1, 'a', 4 UNION ALL SELECT 2, 'b', -2", "HEIGHT=200></TD> "},
      {"SELECT 1, 'a', 4 UNION ALL SELECT 2, 'b', -2",
       "><p class=cdv><IMG SRC='cbg.gif' "
       "WIDTH=100% HEIGHT=-100></TD></TR>"},
      // Labels in their ordinary text form; numbers above the bars and the maximum grouped.
      {"SELECT 1, 2.5, 1500.4 UNION ALL SELECT 2, 'x', 750.2",
       "class=cal>1,500</TD> <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=33% ><p class=cdv>1,500<IMG "
       "SRC='cbg.gif' WIDTH=100% HEIGHT=200></TD> <TD VALIGN=BOTTOM ROWSPAN=2 WIDTH=33% ><p "
       "class=cdv>750<IMG SRC='cbg.gif' WIDTH=100% HEIGHT=100></TD>"},
      {"SELECT 1, 2.5, 1500.4 UNION ALL SELECT 2, 'x', 750.2",
       "<td class=cal>2.5</TD><td class=cal>x</TD>"},
      // A value that is a text reading as a number is plotted as that number.
      {"SELECT 1, 'a', '8' UNION ALL SELECT 2, 'b', 2", "class=cal>8</TD>"},
  };
  for (const auto& c : bars) {
    const std::string chart = Write(c.sql, "", 9, "1:2");
    EXPECT_NE(chart.find(c.want), std::string::npos) << c.sql << "\n" << chart;
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(ChartSectionTest, BarWidthFollowsTheRecordCount) {
  const struct {
    int records;
    const char* width;
  } cases[] = {{1, "WIDTH=50% "}, {2, "WIDTH=33% "},  {3, "WIDTH=25% "}, {7, "WIDTH=12% "},
               {39, "WIDTH=2% "}, {199, "WIDTH=0% "}, {250, "WIDTH=0% "}};
  for (const auto& c : cases) {
    const std::string page = Write(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(c.records) + ") SELECT i AS ID, 'r' || i AS Label, i AS Value FROM n",
        "", 9, "1:2");
    std::size_t bars = 0;
    for (std::size_t at = page.find(c.width); at != std::string::npos;
         at = page.find(c.width, at + 1)) {
      ++bars;
    }
    EXPECT_EQ(bars, static_cast<std::size_t>(c.records)) << c.records;
    EXPECT_NE(page.find("<TH COLSPAN=" + std::to_string(c.records + 2) + ">"), std::string::npos);
    EXPECT_NE(page.find("<td class=cal>r" + std::to_string(c.records) + "</TD></TR></TABLE>"),
              std::string::npos);
  }
}

TEST_F(ChartSectionTest, TitleCompletionAndNodeTexts) {
  Select("North & <South>");
  const std::string page = Write("SELECT ID, Region, Units FROM sales", "Units in:", 6, "1:2");
  EXPECT_TRUE(
      page.starts_with("<table><tr><td><img id='CTL006' src='chart.gif'></td><td "
                       "id='CTLCAP006' class=ph>Units in: North &amp; &lt;South&gt;"
                       "</td></table>"))
      << page;
  EXPECT_NE(page.find("<p class=ctl>Units in: North &amp; &lt;South&gt;</TH>"), std::string::npos);
  // A title with a ":" inside is used as it is; section 1234 keeps all its digits.
  const std::string other = Write("SELECT ID, Region, Units FROM sales", "a:b", 1234, "1:2");
  EXPECT_TRUE(
      other.starts_with("<table><tr><td><img id='CTL1234' src='chart.gif'></td><td "
                        "id='CTLCAP1234' class=ph>a:b</td>"))
      << other;
}

TEST_F(ChartSectionTest, FailuresWriteNothingOfThatChart) {
  const std::string kNoSelection =
      "BlaBla|Error: 91, Object variable or With block variable not set";
  const struct {
    const char* what;
    const char* sql;
    const char* title;
    const char* spec;
    std::string event;
  } cases[] = {
      {"no ':'", "SELECT * FROM sales", "T", "2", "BlaBla|Error: 9, Subscript out of range"},
      {"a piece that is no number", "SELECT * FROM sales", "T", "1:x",
       "BlaBla|Error: 13, Type mismatch"},
      {"an empty piece", "SELECT * FROM sales", "T", ":2", "BlaBla|Error: 13, Type mismatch"},
      // The label piece is read first: "." (the null spec) fails on it.
      {"the null spec", "SELECT * FROM sales", "T", ".", "BlaBla|Error: 13, Type mismatch"},
      {"a position beyond 16 bits", "SELECT * FROM sales", "T", "1:40000",
       "BlaBla|Error: 6, Overflow"},
      {"a value position beyond the fields", "SELECT * FROM sales", "T", "1:4",
       "BlaBla|Error: 9, Subscript out of range"},
      {"a label position beyond the fields", "SELECT * FROM sales", "T", "7:2",
       "BlaBla|Error: 9, Subscript out of range"},
      {"a maximum of 0 from zeros and nulls", "SELECT 1, 'a', 0 UNION ALL SELECT 2, 'b', NULL", "T",
       "1:2", "BlaBla|Error: 6, Overflow"},
      {"a maximum of 0 above a negative bar", "SELECT 1, 'a', -5 UNION ALL SELECT 2, 'b', 0", "T",
       "1:2", "BlaBla|Error: 11, Division by zero"},
      {"a value that is no number", "SELECT 1, 'a', 'many'", "T", "1:2",
       "BlaBla|Error: 13, Type mismatch"},
      {"ALL on two fields", "SELECT ID, Region FROM sales", "T", "ALL",
       "BlaBla|Error: 5, Invalid procedure call or argument"},
      {"more than 32,767 records",
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32768) "
       "SELECT i, i, i FROM n",
       "T", "1:2", "BlaBla|Error: 6, Overflow"},
      {"no record set", "", "T", "1:2", kNoSelection},
  };
  for (const auto& c : cases) {
    b_.events->lines.clear();
    EXPECT_EQ(Write(c.sql, c.title, 6, c.spec), "") << c.what;
    EXPECT_EQ(events(), Lines{c.event}) << c.what;
  }

  b_.events->lines.clear();
  SelectNothing();
  EXPECT_EQ(Write("SELECT * FROM sales", "Units:", 6, "1:2"), "");
  EXPECT_EQ(events(), Lines{kNoSelection});
  b_.events->lines.clear();
  b_.control.Talking(false);
  EXPECT_EQ(Write("SELECT * FROM sales", "Units:", 6, "1:2"), "");
  EXPECT_TRUE(events().empty());
}

TEST_F(ChartSectionTest, AnAllChartThatFailsKeepsTheChartsBeforeIt) {
  // Units plot; the null amounts of region 2 alone give a maximum of 0.
  const std::string page =
      Write("SELECT ID, Region, Units, NULL AS Amount, Units AS Again FROM sales", "T", 4, "ALL");
  ASSERT_EQ(std::count(page.begin(), page.end(), '\n'), 2) << page;
  EXPECT_NE(page.find("id='CGR041'"), std::string::npos);
  EXPECT_EQ(page.find("id='CGR042'"), std::string::npos);
  EXPECT_NE(page.find("id='CGR043'"), std::string::npos);
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 6, Overflow"});
}

TEST_F(ChartSectionTest, EmptyAndUncountableRecordSets) {
  EXPECT_EQ(Write("SELECT * FROM sales WHERE ID = 0", "Units:", 6, "ALL"), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Units:"});

  // One that cannot count its records writes only the rule, for each chart of "ALL" too, and
  // still fails on a bad spec; an empty spec writes nothing.
  b_.events->lines.clear();
  auto uncountable = [&] {
    return std::make_shared<testing::RecordCountOverride>(Open("SELECT * FROM sales"), -1);
  };
  EXPECT_EQ(Write(uncountable(), "1:2"), "<hr width=100%>\r\n");
  EXPECT_EQ(Write(uncountable(), "ALL"), "<hr width=100%>\r\n<hr width=100%>\r\n");
  EXPECT_EQ(Write(uncountable(), ""), "");
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(Write(uncountable(), "2"), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 9, Subscript out of range"});
}

TEST_F(ChartSectionTest, TheRecordSetEndsAfterItsLastRecord) {
  std::shared_ptr<Recordset> rs = Open("SELECT ID, Region, Units FROM sales");
  EXPECT_TRUE(Write(rs, "1:2").ends_with("</TABLE><hr width=100%>\r\n"));
  EXPECT_TRUE(rs->Eof());
}

}  // namespace
}  // namespace nimbo
