// The grouped drill-down section on real hierarchical record sets (SHAPE commands on SQLite): the
// worked example line by line, ids and colours three levels down, two chapters on one record,
// empty child levels, the ID field's rules, escaping, and the error path that keeps what was
// written, level 11 included.
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
    "CREATE TABLE customers (ID INTEGER, Customer TEXT, Total DOUBLE);"
    "INSERT INTO customers VALUES (1, 'Smith', 1234.5), (2, 'Jones', 50), (3, 'Brown', 0);"
    "CREATE TABLE orders (CustID INTEGER, OrderDate DATE, Amount DOUBLE);"
    "INSERT INTO orders VALUES (1, '2026-12-08', 49.9), (1, '2026-12-09', 10),"
    " (2, '2026-11-01', 50);"
    "CREATE TABLE notes (ID TEXT, Name TEXT, Note MEMO);"
    "INSERT INTO notes VALUES ('k 1=<x>', '<i>n</i>', 'Site#x.htm#'), (NULL, 'none', NULL);"
    "CREATE TABLE lines (NoteID TEXT, What TEXT);"
    "INSERT INTO lines VALUES ('k 1=<x>', 'a&b');";

constexpr char kOrdersShape[] =
    "SHAPE {SELECT ID, Customer, Total FROM customers WHERE ID IN (%) ORDER BY ID} "
    "APPEND ({SELECT CustID AS ID, OrderDate, Amount FROM orders ORDER BY rowid} "
    "RELATE ID TO ID) AS Orders";

// The customers' shape for the ids in `ids` (a list such as "1, 2").
std::string OrdersShape(const std::string& ids) {
  std::string shape = kOrdersShape;
  return shape.replace(shape.find('%'), 1, ids);
}

constexpr char kNoId[] = "BlaBla|Error: 9, Subscript out of range";

// The opening line of a child level: its hidden row, block and table, then its header cells.
std::string ChildOpening(const std::string& level_and_key, int colspan, int level,
                         const std::string& head) {
  return "<tr id=ROW" + level_and_key +
         " style=\"display:none\"><td>&nbsp;</td><td colspan=" + std::to_string(colspan) +
         "><div id=SHP" + level_and_key +
         " style=\"display:none\"><table border=" + std::to_string(level) +
         " cellspacing=0 width=100%>" + head;
}

// A record set of another make than the record source's own: its fields pass every value on,
// chapters wrapped the same way, so the section can read them only through Value().
class PlainFields;
class PlainRecordset : public testing::ForwardingRecordset {
 public:
  explicit PlainRecordset(std::shared_ptr<Recordset> real);
  const nimbo::Fields& Fields() const override;

 private:
  std::unique_ptr<PlainFields> fields_;
};

class PlainField : public Field {
 public:
  explicit PlainField(const Field& real) : real_(real) {}
  const Field& real() const { return real_; }
  const std::string& Name() const override { return real_.Name(); }
  int Type() const override { return real_.Type(); }
  Variant Value() const override {
    Variant value = real_.Value();
    if (value.IsObject() && value.object()) {
      return Variant(std::shared_ptr<Recordset>(std::make_shared<PlainRecordset>(value.object())));
    }
    return value;
  }

 private:
  const Field& real_;
};

class PlainFields : public Fields {
 public:
  explicit PlainFields(const nimbo::Fields& real) : real_(real) {
    for (int i = 0; i < real.Count(); ++i)
      fields_.push_back(std::make_unique<PlainField>(real.Item(i)));
  }
  int Count() const override { return real_.Count(); }
  const Field& Item(int index) const override {
    real_.Item(index);  // raises as the real one does
    return *fields_[static_cast<std::size_t>(index)];
  }
  const Field& Item(std::string_view name) const override {
    const Field& real = real_.Item(name);
    for (const auto& field : fields_) {
      if (&field->real() == &real) return *field;
    }
    return real;
  }

 private:
  const nimbo::Fields& real_;
  std::vector<std::unique_ptr<PlainField>> fields_;
};

PlainRecordset::PlainRecordset(std::shared_ptr<Recordset> real)
    : ForwardingRecordset(std::move(real)),
      fields_(std::make_unique<PlainFields>(this->real()->Fields())) {}
const nimbo::Fields& PlainRecordset::Fields() const { return *fields_; }

class GroupedSectionTest : public testing::ReportTest {
 protected:
  GroupedSectionTest() : ReportTest(kData) { s().DateFormat = "dd Mmm yyyy"; }

  Lines Write(const std::string& sql, const std::string& title, std::int32_t section) {
    return LinesOf(WriteSection(sql, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
      WriteGroupedSection(s(), page, rs, title, section);
    }));
  }
};

TEST_F(GroupedSectionTest, WorkedExample) {
  const std::string orders_head =
      "<tr><td class=thc bgcolor=#90ee90>OrderDate</td><td class=thc bgcolor=#90ee90>Amount</td>";
  EXPECT_EQ(
      Write(OrdersShape("1, 2"), "Orders by customer", 7),
      (Lines{" <table border=0 Width=100%><tr><td><p id='TTL007' class=ph><img src='circle.gif'>"
             "Orders by customer</td><td><p align=right id=DISPALL class=ph>Display All</td>"
             "</table><table id='TBL007' border=0 width=100%><tr>",
             "<td colspan=1><div id=SHP010 style=\"display:default\"><table border=1 cellspacing=0 "
             "width=100%><tr><td width=5%>&nbsp;</td><td class=thc bgcolor=#fa8072>Customer</td>"
             "<td class=thc bgcolor=#fa8072>Total</td>",
             "<tr><td width=5%><img id=DTL021 src=plus.gif></td><td class=tdl>Smith</td>"
             "<td class=tdr>1,234.50</td>",
             ChildOpening("021", 6, 2, orders_head),
             "<tr><td class=tdr>08 Dec 2026</td><td class=tdr>49.90</td>",
             "<tr><td class=tdr>09 Dec 2026</td><td class=tdr>10.00</td>", "</table></div>",
             "<tr><td width=5%><img id=DTL022 src=plus.gif></td><td class=tdl>Jones</td>"
             "<td class=tdr>50.00</td>",
             ChildOpening("022", 6, 2, orders_head),
             "<tr><td class=tdr>01 Nov 2026</td><td class=tdr>50.00</td>", "</table></div>",
             "</table></div>"}));
  EXPECT_TRUE(events().empty());
}

TEST_F(GroupedSectionTest, FlatTablesTitlesAndEmptyChildLevels) {
  const std::string top =
      "<td colspan=1><div id=SHP010 style=\"display:default\"><table border=1 "
      "cellspacing=0 width=100%>";
  const struct {
    const char* what;
    std::string sql;
    const char* title;
    std::int32_t section;
    Lines want;
  } cases[] = {
      {"no chapter field: a flat table",
       "SELECT ID, Customer FROM customers WHERE ID < 3",
       "",
       7,
       {"<table id='TBL007' border=0 width=100%><tr>",
        top + "<tr><td class=thc bgcolor=#fa8072>Customer</td>", "<tr><td class=tdl>Smith</td>",
        "<tr><td class=tdl>Jones</td>", "</table></div>"}},
      {"a title to complete",
       "SELECT ID FROM customers WHERE ID = 1",
       "Sales:",
       1234,
       {" <table border=0 Width=100%><tr><td><p id='TTL1234' class=ph><img src='circle.gif'>"
        "Sales: Sales</td><td><p align=right id=DISPALL class=ph>Display All</td></table>"
        "<table id='TBL1234' border=0 width=100%><tr>",
        top + "<tr>", "<tr>", "</table></div>"}},
      {"an empty child level writes nothing; the plus image stays",
       OrdersShape("3"),
       "",
       7,
       {"<table id='TBL007' border=0 width=100%><tr>",
        top + "<tr><td width=5%>&nbsp;</td><td class=thc bgcolor=#fa8072>Customer</td>"
              "<td class=thc bgcolor=#fa8072>Total</td>",
        "<tr><td width=5%><img id=DTL023 src=plus.gif></td><td class=tdl>Brown</td>"
        "<td class=tdr>0.00</td>",
        "</table></div>"}},
      {"only 'ID' is hidden; 'id' serves as the key when there is no 'ID'",
       "SELECT 5 AS ID, 6 AS id, 'x' AS Name",
       "",
       7,
       {"<table id='TBL007' border=0 width=100%><tr>",
        top + "<tr><td class=thc bgcolor=#fa8072>id</td><td class=thc bgcolor=#fa8072>Name</td>",
        "<tr><td class=tdr>6</td><td class=tdl>x</td>", "</table></div>"}},
      {"a level keyed by 'id' alone",
       "SELECT 6 AS id",
       "",
       7,
       {"<table id='TBL007' border=0 width=100%><tr>",
        top + "<tr><td class=thc bgcolor=#fa8072>id</td>", "<tr><td class=tdr>6</td>",
        "</table></div>"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Write(c.sql, c.title, c.section), c.want) << c.what;
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(GroupedSectionTest, ThreeLevelsAndTwoChapters) {
  EXPECT_EQ(
      Write("SHAPE {SELECT 1 AS ID, 'a' AS Name} APPEND ((SHAPE {SELECT 1 AS Parent, 42 AS ID, "
            "'b' AS Name} APPEND ({SELECT 42 AS Parent, 7 AS ID, 'c' AS Name} RELATE ID TO "
            "Parent) AS Items) RELATE ID TO Parent) AS Orders",
            "", 1234),
      (Lines{"<table id='TBL1234' border=0 width=100%><tr>",
             "<td colspan=1><div id=SHP010 style=\"display:default\"><table border=1 "
             "cellspacing=0 width=100%><tr><td width=5%>&nbsp;</td><td class=thc "
             "bgcolor=#fa8072>Name</td>",
             "<tr><td width=5%><img id=DTL021 src=plus.gif></td><td class=tdl>a</td>",
             ChildOpening("021", 5, 2,
                          "<tr><td width=5%>&nbsp;</td><td class=thc bgcolor=#90ee90>Parent</td>"
                          "<td class=thc bgcolor=#90ee90>Name</td>"),
             "<tr><td width=5%><img id=DTL0342 src=plus.gif></td><td class=tdr>1</td>"
             "<td class=tdl>b</td>",
             ChildOpening("0342", 6, 3,
                          "<tr><td class=thc bgcolor=#ffffcc>Parent</td><td class=thc "
                          "bgcolor=#ffffcc>Name</td>"),
             "<tr><td class=tdr>42</td><td class=tdl>c</td>", "</table></div>", "</table></div>",
             "</table></div>"}));

  // Two chapters: one plus image, two child rows with the same ids, one after the other.
  EXPECT_EQ(Write("SHAPE {SELECT 1 AS ID, 'a' AS Name} APPEND ({SELECT 1 AS ID, 'x' AS X} "
                  "RELATE ID TO ID) AS A, ({SELECT 1 AS ID, 'y' AS Y} RELATE ID TO ID) AS B",
                  "", 7),
            (Lines{"<table id='TBL007' border=0 width=100%><tr>",
                   "<td colspan=1><div id=SHP010 style=\"display:default\"><table border=1 "
                   "cellspacing=0 width=100%><tr><td width=5%>&nbsp;</td><td class=thc "
                   "bgcolor=#fa8072>Name</td>",
                   "<tr><td width=5%><img id=DTL021 src=plus.gif></td><td class=tdl>a</td>",
                   ChildOpening("021", 6, 2, "<tr><td class=thc bgcolor=#90ee90>X</td>"),
                   "<tr><td class=tdl>x</td>", "</table></div>",
                   ChildOpening("021", 6, 2, "<tr><td class=thc bgcolor=#90ee90>Y</td>"),
                   "<tr><td class=tdl>y</td>", "</table></div>", "</table></div>"}));
  EXPECT_TRUE(events().empty());
}

// Three levels where parents have many, one or no children, written from the record source's
// own record sets and from record sets of another make: the same page, line for line.
TEST_F(GroupedSectionTest, RecordSetsOfAnotherMakeGiveTheSamePage) {
  const std::string shape =
      "SHAPE {SELECT ID, Customer, Total FROM customers ORDER BY ID} "
      "APPEND ((SHAPE {SELECT CustID, rowid AS ID, OrderDate, Amount FROM orders ORDER BY rowid} "
      "APPEND ({SELECT CustID AS OrderID, rowid AS ID, 'line ' || rowid AS What, Amount * 2 AS "
      "Price "
      "FROM orders ORDER BY rowid} RELATE CustID TO OrderID) AS Lines) "
      "RELATE ID TO CustID) AS Orders";
  const Lines own = Write(shape, "Orders:", 12);
  const Lines other =
      LinesOf(WriteSection(shape, [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
        std::shared_ptr<Recordset> plain = std::make_shared<PlainRecordset>(rs);
        WriteGroupedSection(s(), page, plain, "Orders:", 12);
      }));
  EXPECT_GT(own.size(), 10u) << ::testing::PrintToString(events());
  EXPECT_EQ(other, own);
  EXPECT_TRUE(events().empty());
}

TEST_F(GroupedSectionTest, ValuesAndKeysAreEscapedDesignerTextsAreNot) {
  const Lines page = Write(
      "SHAPE {SELECT ID, Name AS \"<u>Name</u>\", Note FROM notes ORDER BY rowid} APPEND "
      "({SELECT NoteID AS ID, NoteID, What FROM lines} RELATE ID TO NoteID) AS Lines",
      "<b>Notes</b>", 7);
  ASSERT_EQ(page.size(), 8u);
  EXPECT_NE(page[0].find("<img src='circle.gif'><b>Notes</b></td>"), std::string::npos);
  EXPECT_NE(page[1].find("<td class=thc bgcolor=#fa8072><u>Name</u></td>"), std::string::npos);
  // A key becomes part of unquoted ids: markup, white space and "=" go in as references. A memo
  // is plain text here.
  EXPECT_EQ(page[2],
            "<tr><td width=5%><img id=DTL02k&#32;1&#61;&lt;x&gt; src=plus.gif></td><td "
            "class=tdl>&lt;i&gt;n&lt;/i&gt;</td><td class=tdl>Site#x.htm#</td>");
  EXPECT_EQ(page[3], ChildOpening("02k&#32;1&#61;&lt;x&gt;", 6, 2,
                                  "<tr><td class=thc bgcolor=#90ee90>NoteID</td><td class=thc "
                                  "bgcolor=#90ee90>What</td>"));
  EXPECT_EQ(page[4], "<tr><td class=tdl>k 1=&lt;x&gt;</td><td class=tdl>a&amp;b</td>");
  // A null key adds nothing to the id, as it adds nothing to a text.
  EXPECT_EQ(page[6],
            "<tr><td width=5%><img id=DTL02 src=plus.gif></td><td class=tdl>none</td>"
            "<td class=tdl>.</td>");
  EXPECT_TRUE(events().empty());
}

// Builds a SHAPE `depth` levels deep, one record a level, each level's record with ID 1 and a
// Name "v" + its level; the deepest level has a Name only when `deepest_named`.
std::string DeepShape(int depth, bool deepest_named) {
  std::string table = deepest_named ? "{SELECT 1 AS ID, 'v" + std::to_string(depth) + "' AS Name}"
                                    : "{SELECT 1 AS ID}";
  for (int level = depth - 1; level >= 2; --level) {
    table = "(SHAPE {SELECT 1 AS ID, 'v" + std::to_string(level) + "' AS Name} APPEND (" + table +
            " RELATE ID TO ID) AS C)";
  }
  return "SHAPE {SELECT 1 AS ID, 'v1' AS Name} APPEND (" + table + " RELATE ID TO ID) AS C";
}

TEST_F(GroupedSectionTest, TenLevelsHaveColoursTheEleventhShowsNothing) {
  // Level 11 with a shown field fails on its first header cell, before anything of it is
  // written; the ten levels above it stay as written, unclosed.
  const Lines page = Write(DeepShape(11, true), "", 7);
  ASSERT_EQ(page.size(), 21u);
  EXPECT_EQ(page[19], ChildOpening("101", 5, 10,
                                   "<tr><td width=5%>&nbsp;</td><td class=thc "
                                   "bgcolor=#bc8f8f>Name</td>"));
  EXPECT_EQ(page[20], "<tr><td width=5%><img id=DTL111 src=plus.gif></td><td class=tdl>v10</td>");
  EXPECT_EQ(events(), Lines{kNoId});

  // Without a shown field level 11 needs no colour.
  b_.events->lines.clear();
  const Lines bare = Write(DeepShape(11, false), "", 7);
  ASSERT_EQ(bare.size(), 34u);
  EXPECT_EQ(bare[21], ChildOpening("111", 5, 11, "<tr>"));
  EXPECT_EQ(bare[22], "<tr>");
  EXPECT_TRUE(events().empty());
}

TEST_F(GroupedSectionTest, ALevelWithoutAnIdStopsTheSectionWhereItIs) {
  EXPECT_EQ(Write("SHAPE {SELECT 1 AS ID, 'a' AS Name} APPEND ({SELECT 1 AS Parent, 'x' AS X} "
                  "RELATE ID TO Parent) AS A",
                  "", 7),
            (Lines{"<table id='TBL007' border=0 width=100%><tr>",
                   "<td colspan=1><div id=SHP010 style=\"display:default\"><table border=1 "
                   "cellspacing=0 width=100%><tr><td width=5%>&nbsp;</td><td class=thc "
                   "bgcolor=#fa8072>Name</td>",
                   "<tr><td width=5%><img id=DTL021 src=plus.gif></td><td class=tdl>a</td>",
                   ChildOpening("021", 5, 2,
                                "<tr><td class=thc bgcolor=#90ee90>Parent</td><td class=thc "
                                "bgcolor=#90ee90>X</td>")}));
  EXPECT_EQ(events(), Lines{kNoId});
}

TEST_F(GroupedSectionTest, EmptyUncountableAndUnreadable) {
  EXPECT_EQ(Write("SELECT * FROM customers WHERE ID = 0", "Orders:", 7), Lines{});
  EXPECT_EQ(events(), Lines{"BlaBla|Blank Recordset: Orders:"});

  b_.events->lines.clear();
  auto uncountable =
      std::make_shared<testing::RecordCountOverride>(Open("SELECT * FROM customers"), -1);
  EXPECT_EQ(WriteSection(uncountable,
                         [&](TextFileWriter& page, std::shared_ptr<Recordset>& rs) {
                           WriteGroupedSection(s(), page, rs, "Orders", 7);
                         }),
            "");
  EXPECT_TRUE(events().empty());

  EXPECT_EQ(Write("", "Orders", 7), Lines{});
  SelectNothing();
  EXPECT_EQ(Write(OrdersShape("1"), "Orders:", 7), Lines{});
  const std::string no_object = "BlaBla|Error: 91, Object variable or With block variable not set";
  EXPECT_EQ(events(), (Lines{no_object, no_object}));
  b_.events->lines.clear();
  b_.control.Talking(false);
  EXPECT_EQ(Write(OrdersShape("1"), "Orders:", 7), Lines{});
  EXPECT_TRUE(events().empty());
}

}  // namespace
}  // namespace nimbo
