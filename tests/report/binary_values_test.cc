// Values that are no text, or no valid text, on a whole report page built from a real SQLite
// file: BLOBs that are not pictures (a NUL, a CR LF, bytes that are no UTF-8, a long one, one in
// a numeric column) and texts with ill-formed UTF-8, line breaks and control characters. The
// page must stay valid UTF-8, every record on one line of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/startup_load.h"
#include "platform/utf8_text.h"
#include "report/page_builder.h"
#include "report_fixture.h"

namespace nimbo {
namespace {

using Lines = std::vector<std::string>;
using testing::LinesOf;
using testing::ReadFile;

// Three records: bytes in a BLOB column and in an INTEGER one, a long BLOB, texts that are no
// valid UTF-8 (CAST keeps their bytes), line breaks, a NUL and a bell inside a text.
constexpr char kData[] =
    "INSERT INTO nav VALUES (2, 'Sales', 'F', 1, NULL, NULL, NULL, NULL);"
    "INSERT INTO pages VALUES (1, 'x', 'y', 'Front'), (2, 'x', 'y', '<html><body><DIV>');"
    "CREATE TABLE things (ID INTEGER, Name TEXT, Data BLOB, Code INTEGER, Note MEMO);"
    "INSERT INTO things VALUES"
    " (1, CAST(X'4361C3' AS TEXT), X'000D0A0D0AFF', X'0102', CAST(X'6C696E65310D0A6C696E6532' AS TEXT)),"
    " (2, CAST(X'FE6F6B' AS TEXT), zeroblob(2048), 7, CAST(X'610062076320EDA080' AS TEXT)),"
    " (3, 'plain', X'', NULL, 'caf' || CAST(X'C3A9' AS TEXT));"
    "INSERT INTO sections VALUES"
    " (5, 2, NULL, 'Things', 'ThingList', '', 'S', NULL, 'ALL'),"
    " (6, 2, NULL, 'First', 'FirstThing', '', 'H', NULL, NULL);";

class BinaryValuesTest : public testing::ReportTest {
 protected:
  BinaryValuesTest() : ReportTest(kData) {
    db_.AddProcedure("ThingList", "SELECT * FROM things ORDER BY ID");
    db_.AddProcedure("FirstThing", "SELECT * FROM things WHERE ID = 1");
    b_.control.Heading("Shop");
    LoadBrowser(s());
  }
};

TEST_F(BinaryValuesTest, ThePageStaysValidUtf8WithEveryRecordOnItsOwnLine) {
  BuildPage(s(), 2);
  const std::string page = ReadFile(db_.dir() / "oDatNav.htm");
  EXPECT_TRUE(IsValidUtf8(page));
  EXPECT_EQ(page.find('\0'), std::string::npos);
  const Lines lines = LinesOf(page);
  // Header, table head, three records, totals, the record form, closing: no line split inside.
  // (The ID field is the records' key and no column of the table.)
  ASSERT_EQ(lines.size(), 8u) << page;
  const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ(lines[2],
            "<tr><td class=tdl>Ca" + kBad +
                "</td><td class=tdl>0x000D0A0D0AFF</td><td class=tdr>0x0102</td>"
                "<td class=tdl>line1&#13;&#10;line2</td>");
  EXPECT_EQ(lines[3], "<tr><td class=tdl>" + kBad +
                          "ok</td><td class=tdl>(binary data, 2,048 bytes)</td>"
                          "<td class=tdr>7</td><td class=tdl>a" + kBad + "b" + kBad + "c " +
                          kBad + kBad + kBad + "</td>");
  EXPECT_EQ(lines[4],
            "<tr><td class=tdl>plain</td><td class=tdl></td>"
            "<td class=tdr>.</td><td class=tdl>caf\xC3\xA9</td>");
  // The record form shows the same values; the memo field's text keeps its line inside one.
  EXPECT_NE(lines[6].find("<td class=hvl>0x000D0A0D0AFF</td>"), std::string::npos) << lines[6];
  EXPECT_NE(lines[6].find("<td class=hvr>0x0102</td>"), std::string::npos) << lines[6];
  EXPECT_NE(lines[6].find("line1&#13;&#10;line2"), std::string::npos) << lines[6];
}

// A record whose text is bytes becomes a node whose text is the bytes' text form, so the tree,
// the page heading and the path line stay valid too.
TEST_F(BinaryValuesTest, NodeTextsFromBytesAreTheirTextForm) {
  db_.Run("INSERT INTO nav VALUES (3, 'Things', 'G', 1, 'ThingNames', NULL, NULL, NULL);");
  db_.AddProcedure("ThingNames", "SELECT ID, Data FROM things ORDER BY ID");
  LoadBrowser(s());
  auto things = tree_->Add(root_, Relationship::kChild, "0000000003F", "Things", "");
  things->Tag("00003G");
  things->Selected(true);
  b_.control.DisplayFor(things);
  std::vector<std::string> texts;
  for (auto child = things->Child(); child; child = child->Next()) texts.push_back(child->Text());
  EXPECT_EQ(texts, (Lines{"0x000D0A0D0AFF", "(binary data, 2,048 bytes)", ""}));
}

}  // namespace
}  // namespace nimbo
