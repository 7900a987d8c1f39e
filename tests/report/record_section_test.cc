// The record form section on real SQLite record sets: the worked example byte for byte, the form
// link, value cells by field group, title completion, escaping of values, and its quiet and
// error paths.
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

constexpr char kData[] =
    "CREATE TABLE customers (ID INTEGER, Name TEXT, Balance CURRENCY);"
    "INSERT INTO customers VALUES (17, 'Smith', 1234.5), (18, 'Jones', 5), (19, 'Brown', 6),"
    " (20, 'Green', 7), (21, 'White', 8);"
    "CREATE TABLE notes (ID INTEGER, Note MEMO, Made DATE, Remark TEXT, Ratio REAL, Qty SMALLINT);"
    "INSERT INTO notes VALUES (1, 'Site#pages/a.htm#', NULL, NULL, 0.125, 7),"
    " (2, 'A&B <x>#x.htm#', '2026-12-08', '  <script>alert(''x'')</script>  ', -1234.5, NULL);";

class RecordSectionTest : public testing::ReportTest {
 protected:
  RecordSectionTest() : ReportTest(kData) {}

  std::string Write(const std::string& sql, const std::string& title, std::int32_t section,
                    std::int16_t form) {
    return WriteSection(sql, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
      WriteRecordSection(s(), page, rs, title, section, form);
    });
  }
};

TEST_F(RecordSectionTest, WorkedExample) {
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 17", "Customer", 3, 2),
            "<p id='TTL003' class=ph><img src='circle.gif'>  Customer<table id='TBL003' border=1 "
            "width=100%><tr><td class=hn>ID: </td><td class=hvr><a href='^000020000000017'>Click "
            "to Open Entry Form . . .</a></td><tr><td class=hn>Name: </td><td class=hvl>Smith</td>"
            "<tr><td class=hn>Balance: </td><td class=hvr>1,234.50</td></table><br>\r\n");
  EXPECT_TRUE(events().empty());
}

TEST_F(RecordSectionTest, FormsAndCells) {
  const std::string table3 = "<table id='TBL003' border=1 width=100%>";
  const struct {
    const char* what;
    const char* sql;
    const char* title;
    std::int32_t section;
    std::int16_t form;
    std::string want;
  } cases[] = {
      {"empty title: no title paragraph", "SELECT ID, Name FROM customers WHERE ID = 17", "", 3, 2,
       table3 + "<tr><td class=hn>ID: </td><td class=hvr><a href='^000020000000017'>Click to "
                "Open Entry Form . . .</a></td><tr><td class=hn>Name: </td><td class=hvl>Smith"
                "</td></table><br>"},
      {"form 0: ID is an ordinary value", "SELECT 1234 AS ID", "", 3, 0,
       table3 + "<tr><td class=hn>ID: </td><td class=hvr>1,234</td></table><br>"},
      {"negative form: no link", "SELECT 1234 AS ID", "", 3, -1,
       table3 + "<tr><td class=hn>ID: </td><td class=hvr>1,234</td></table><br>"},
      {"only 'ID' exactly is a link", "SELECT 17 AS Id, 18 AS id", "", 3, 2,
       table3 + "<tr><td class=hn>Id: </td><td class=hvr>17</td><tr><td class=hn>id: </td>"
                "<td class=hvr>18</td></table><br>"},
      {"five records show the first", "SELECT ID, Name FROM customers ORDER BY ID", "", 3, 0,
       table3 + "<tr><td class=hn>ID: </td><td class=hvr>17</td><tr><td class=hn>Name: </td>"
                "<td class=hvl>Smith</td></table><br>"},
      {"null, memo link, groups", "SELECT Note, Made, Remark, Ratio, Qty FROM notes WHERE ID = 1",
       "", 3, 0,
       table3 + "<tr><td class=hn>Note: </td><td class=hvr><a href='pages/a.htm'>Site</a></td>"
                "<tr><td class=hn>Made: </td><td class=hvr>.</td><tr><td class=hn>Remark: </td>"
                "<td class=hvl>.</td><tr><td class=hn>Ratio: </td><td class=hvr>0.13</td>"
                "<tr><td class=hn>Qty: </td><td class=hvr>7</td></table><br>"},
      {"names are trimmed", "SELECT 5 AS \"  Padded  \"", "", 3, 0,
       table3 + "<tr><td class=hn>Padded: </td><td class=hvr>5</td></table><br>"},
      {"section 1234", "SELECT 'x' AS Name", "T", 1234, 0,
       "<p id='TTL1234' class=ph><img src='circle.gif'>  T<table id='TBL1234' border=1 "
       "width=100%><tr><td class=hn>Name: </td><td class=hvl>x</td></table><br>"},
      {"title ending in ':' is completed", "SELECT 'x' AS Name", "Orders for:", 7, 0,
       "<p id='TTL007' class=ph><img src='circle.gif'>  Orders for: Sales<table id='TBL007' "
       "border=1 width=100%><tr><td class=hn>Name: </td><td class=hvl>x</td></table><br>"},
      {"a ':' inside is not completion", "SELECT 'x' AS Name", "Orders: all", 7, 0,
       "<p id='TTL007' class=ph><img src='circle.gif'>  Orders: all<table id='TBL007' "
       "border=1 width=100%><tr><td class=hn>Name: </td><td class=hvl>x</td></table><br>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Write(c.sql, c.title, c.section, c.form), c.want + "\r\n") << c.what;
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(RecordSectionTest, DatesFollowTheDateFormat) {
  s().DateFormat = "dd Mmm yyyy";
  EXPECT_EQ(Write("SELECT Made FROM notes WHERE ID = 2", "", 3, 0),
            "<table id='TBL003' border=1 width=100%><tr><td class=hn>Made: </td>"
            "<td class=hvr>08 Dec 2026</td></table><br>\r\n");
}

TEST_F(RecordSectionTest, ValuesAndNodeTextsAreEscapedDesignerTextsAreNot) {
  Select("<b>North & South</b>");
  EXPECT_EQ(Write("SELECT ID, Note, Remark, 'O''Hara <x>' AS ID FROM notes WHERE ID = 2",
                  "<i>Orders</i> for:", 5, 12),
            "<p id='TTL005' class=ph><img src='circle.gif'>  <i>Orders</i> for: "
            "&lt;b&gt;North &amp; South&lt;/b&gt;<table id='TBL005' border=1 width=100%>"
            "<tr><td class=hn>ID: </td><td class=hvr><a href='^000120000000002'>Click to Open "
            "Entry Form . . .</a></td>"
            // The memo link is built safe by the value formatting and is not escaped again.
            "<tr><td class=hn>Note: </td><td class=hvr><a href='x.htm'>A&amp;B &lt;x&gt;</a></td>"
            "<tr><td class=hn>Remark: </td><td class=hvl>&lt;script&gt;alert(&#39;x&#39;)&lt;"
            "/script&gt;</td>"
            // A record key that is text goes into the link target as it is, escaped.
            "<tr><td class=hn>ID: </td><td class=hvr><a href='^00012O&#39;Hara &lt;x&gt;'>Click "
            "to Open Entry Form . . .</a></td></table><br>\r\n");
}

TEST_F(RecordSectionTest, EmptyAndUncountableRecordSetsWriteNothing) {
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 0", "Customer", 3, 2), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Customer"});

  // The title is reported as it was passed in, before any completion.
  b_.events->lines.clear();
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 0", "Orders for:", 3, 2), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Orders for:"});

  b_.events->lines.clear();
  b_.control.Talking(false);
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 0", "Customer", 3, 2), "");
  b_.control.Talking(true);
  auto uncountable =
      std::make_shared<testing::RecordCountOverride>(Open("SELECT * FROM customers"), -1);
  EXPECT_EQ(WriteSection(uncountable,
                         [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
                           WriteRecordSection(s(), page, rs, "Customer", 3, 2);
                         }),
            "");
  EXPECT_TRUE(events().empty());
}

TEST_F(RecordSectionTest, AnErrorEndsTheSectionWithOneDiagnosticAndNothingWritten) {
  // A read that failed leaves no record set.
  EXPECT_EQ(Write("", "Customer", 3, 2), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 91, Object variable or With block variable not set"});

  // Completing the title needs a selected node; a title that needs no completion does not.
  SelectNothing();
  b_.events->lines.clear();
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 17", "Orders for:", 3, 2), "");
  EXPECT_EQ(events(), Lines{"BlaBla|Error: 91, Object variable or With block variable not set"});
  b_.events->lines.clear();
  EXPECT_NE(Write("SELECT * FROM customers WHERE ID = 17", "Orders", 3, 2), "");
  EXPECT_TRUE(events().empty());

  b_.control.Talking(false);
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 17", "Orders for:", 3, 2), "");
  EXPECT_TRUE(events().empty());
}

}  // namespace
}  // namespace nimbo
