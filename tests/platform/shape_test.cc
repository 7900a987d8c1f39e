// SHAPE commands: the grammar, and hierarchical record sets built on real SQLite files.
#include "platform/db/shape.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/sqlite_fixture.h"

namespace nimbo::db {
namespace {

using ::nimbo::testing::FixtureDatabase;
using ::nimbo::testing::NestedShape;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// ---- Grammar ----

TEST(ShapeParseTest, ReadsTheExampleCommand) {
  const ShapeCommand command = ParseShape(
      "SHAPE {SELECT ID, Customer FROM customers} APPEND ({SELECT CustID AS ID, OrderDate, "
      "Amount FROM orders} RELATE ID TO ID) AS Orders");
  ASSERT_THAT(command.queries, ElementsAre("SELECT ID, Customer FROM customers",
                                           "SELECT CustID AS ID, OrderDate, Amount FROM orders"));
  const ShapeNode& root = *command.root;
  ASSERT_FALSE(root.is_query());
  EXPECT_EQ(root.base->query_index, 0u);
  ASSERT_EQ(root.children.size(), 1u);
  const ShapeChild& child = root.children[0];
  EXPECT_EQ(child.name, "Orders");
  EXPECT_EQ(child.table->query_index, 1u);
  ASSERT_EQ(child.relations.size(), 1u);
  EXPECT_EQ(child.relations[0].parent_column, "ID");
  EXPECT_EQ(child.relations[0].child_column, "ID");
}

TEST(ShapeParseTest, NamesChaptersByOuterAliasInnerAliasOrNumber) {
  const ShapeCommand command = ParseShape(
      "shape {SELECT 1} p append\n"
      "  ({SELECT 2} RELATE a TO b),\n"                 // Chapter1
      "  ({SELECT 3} AS inner_alias RELATE a TO b),\n"  // its table's alias
      "  ({SELECT 4} inner2 RELATE a TO b) outer2,\n"   // the outer alias wins
      "  ({SELECT 5} RELATE [a b] TO \"c\"\"d\", x TO y) AS [My Chapter],\n"
      "  ({SELECT '}' /* } */ -- }\n} RELATE a TO b)");  // Chapter2
  const auto& children = command.root->children;
  ASSERT_EQ(children.size(), 5u);
  EXPECT_EQ(children[0].name, "Chapter1");
  EXPECT_EQ(children[1].name, "inner_alias");
  EXPECT_EQ(children[2].name, "outer2");
  EXPECT_EQ(children[3].name, "My Chapter");
  EXPECT_EQ(children[4].name, "Chapter2");
  ASSERT_EQ(children[3].relations.size(), 2u);
  EXPECT_EQ(children[3].relations[0].parent_column, "a b");
  EXPECT_EQ(children[3].relations[0].child_column, "c\"d");
  EXPECT_EQ(children[3].relations[1].parent_column, "x");
  EXPECT_EQ(command.queries[5], "SELECT '}' /* } */ -- }\n");
}

TEST(ShapeParseTest, NestsShapesAsParentAndChildTables) {
  const ShapeCommand command = ParseShape(
      "SHAPE (SHAPE {A} APPEND ({B} RELATE x TO x)) APPEND "
      "((SHAPE {C} APPEND ((SHAPE {D} APPEND ({E} RELATE z TO z)) RELATE y TO y)) "
      "RELATE x TO x)");
  EXPECT_THAT(command.queries, ElementsAre("A", "B", "C", "D", "E"));
  const ShapeNode& root = *command.root;
  ASSERT_FALSE(root.base->is_query());
  const ShapeNode& c = *root.children[0].table;
  ASSERT_FALSE(c.is_query());
  const ShapeNode& d = *c.children[0].table;
  ASSERT_FALSE(d.is_query());
  EXPECT_EQ(d.children[0].table->query_index, 4u);
}

TEST(ShapeParseTest, RejectsMalformedCommandsWithTheirPosition) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"{SELECT 1}", "SHAPE is expected at position 1"},
      {"SHAPE SELECT 1", "\"{\" or \"(\" is expected at position 7"},
      {"SHAPE {SELECT 1", "unterminated query (\"}\" is missing) starting at position 7"},
      {"SHAPE {SELECT '}", "unterminated query"},
      {"SHAPE { } APPEND", "empty query at position 7"},
      {"SHAPE {A}", "APPEND is expected at position 10"},
      {"SHAPE {A} APPEND", "\"(\" is expected at position 17"},
      {"SHAPE {A} APPEND ({B})", "RELATE is expected at position 22"},
      {"SHAPE {A} APPEND ({B} RELATE x)", "TO is expected at position 31"},
      {"SHAPE {A} APPEND ({B} RELATE x TO)", "a child column is expected at position 34"},
      {"SHAPE {A} APPEND ({B} RELATE x TO y", "\")\" is expected at position 36"},
      {"SHAPE {A} APPEND ({B} RELATE x TO y) AS", "an alias is expected at position 40"},
      {"SHAPE {A} APPEND ({B} RELATE x TO y) z q", "unexpected text at position 40"},
      {"SHAPE {A} APPEND ({B} RELATE x TO y) AS c, ({C} RELATE x TO y) AS C",
       "a second chapter named C at position 44"},
      {"SHAPE {A} APPEND ({B} RELATE [x TO y)", "unterminated [name] at position 30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseShape(c.text);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
  }
}

// The position (from 1) of the n-th SHAPE keyword from the start.
std::size_t NthShape(const std::string& text, int n) {
  std::size_t at = std::string::npos;
  for (int i = 0; i < n; ++i) at = text.find("SHAPE", at + 1);
  return at + 1;
}

TEST(ShapeParseTest, NestingStopsAtSixtyFourLevels) {
  const struct {
    int levels;
    bool as_children;
  } cases[] = {{64, true}, {65, true}, {20000, true}, {64, false}, {65, false}, {20000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(fmt::format("{} levels as {}", c.levels, c.as_children ? "children" : "parents"));
    const std::string text = NestedShape(c.levels, c.as_children);
    if (c.levels <= kMaxShapeDepth) {
      EXPECT_EQ(ParseShape(text).queries.size(), static_cast<std::size_t>(c.levels + 1));
      continue;
    }
    try {
      ParseShape(text);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kNestedTooDeep);
      // Outer commands are written first, so the 65th SHAPE keyword is the one too deep.
      EXPECT_THAT(e.description(), HasSubstr(fmt::format(
                                       "at most 64 levels deep; a deeper one starts at position {}",
                                       NthShape(text, kMaxShapeDepth + 1))));
    }
  }
}

// ---- Hierarchical record sets ----

const char kShop[] =
    "CREATE TABLE customers (ID INTEGER, Name TEXT, Region TEXT);"
    "INSERT INTO customers VALUES (1, 'Ann', 'North'), (2, 'Bob', 'South'), (3, 'Cy', 'North');"
    "CREATE TABLE orders (OrderID INTEGER, CustID INTEGER, Amount CURRENCY, Region TEXT);"
    "INSERT INTO orders VALUES (10, 1, 5, 'North'), (11, 1, 7, 'South'), (12, 2, 3, 'South'),"
    " (13, 9, 1, 'North');"  // customer 9 does not exist
    "CREATE TABLE lines (OrderID INTEGER, Item TEXT);"
    "INSERT INTO lines VALUES (10, 'pen'), (12, 'pad'), (10, 'ink');"
    "CREATE TABLE payments (CustID INTEGER, Paid REAL);"
    "INSERT INTO payments VALUES (2, 3.0), (1, 12.0);";

// The values of one field over all records of a record set, from the first.
std::vector<Variant> Values(Recordset& rs, std::string_view field) {
  std::vector<Variant> values;
  if (rs.RecordCount() == 0) return values;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) values.push_back(rs.Fields().Item(field).Value());
  return values;
}

std::shared_ptr<Recordset> Chapter(const Recordset& rs, std::string_view field) {
  const Variant value = rs.Fields().Item(field).Value();
  EXPECT_TRUE(value.IsObject());
  return value.IsObject() ? value.object() : nullptr;
}

Variant Int(int value) { return Variant(static_cast<std::int16_t>(value)); }

TEST(ShapeTest, TwoLevelsMatchChildrenToTheirParents) {
  FixtureDatabase db(kShop);
  auto rs = db.Open(
      "SHAPE {SELECT ID, Name FROM customers ORDER BY ID} "
      "APPEND ({SELECT OrderID, CustID FROM orders ORDER BY OrderID} RELATE ID TO CustID) "
      "AS Orders");
  ASSERT_EQ(rs->Fields().Count(), 3);
  const Field& orders = rs->Fields().Item(2);
  EXPECT_EQ(orders.Name(), "Orders");
  EXPECT_EQ(orders.Type(), field_type::kChapter);

  std::vector<std::vector<Variant>> order_ids;
  for (; !rs->Eof(); rs->MoveNext()) {
    auto child = Chapter(*rs, "Orders");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->State(), kStateOpen);
    order_ids.push_back(Values(*child, "OrderID"));
  }
  // Ann has two orders in query order, Bob one, Cy none; order 13 has no customer.
  EXPECT_THAT(order_ids,
              ElementsAre(ElementsAre(Int(10), Int(11)), ElementsAre(Int(12)), ElementsAre()));
  rs->MoveFirst();
  rs->MoveNext();
  rs->MoveNext();
  auto none = Chapter(*rs, "orders");
  EXPECT_EQ(none->RecordCount(), 0);
  EXPECT_TRUE(none->Eof());
  EXPECT_EQ(none->Fields().Count(), 2);  // an empty level still has its fields
}

TEST(ShapeTest, ThreeLevelsThroughANestedShape) {
  FixtureDatabase db(kShop);
  db.AddProcedure("nested",
                  "SHAPE {SELECT ID, Name FROM customers ORDER BY ID} APPEND "
                  "((SHAPE {SELECT OrderID, CustID FROM orders ORDER BY OrderID} "
                  "  APPEND ({SELECT OrderID, Item FROM lines} RELATE OrderID TO OrderID) Lines) "
                  " RELATE ID TO CustID) AS Orders");
  auto rs = db.Open("EXEC nested");
  auto orders = Chapter(*rs, "Orders");  // Ann's
  ASSERT_EQ(orders->RecordCount(), 2);
  EXPECT_EQ(orders->Fields().Item("Lines").Type(), field_type::kChapter);
  EXPECT_THAT(Values(*Chapter(*orders, "Lines"), "Item"),
              ElementsAre(Variant("pen"), Variant("ink")));
  orders->MoveNext();
  EXPECT_EQ(Chapter(*orders, "Lines")->RecordCount(), 0);  // order 11
  rs->MoveNext();
  EXPECT_THAT(Values(*Chapter(*Chapter(*rs, "Orders"), "Lines"), "Item"),
              ElementsAre(Variant("pad")));
}

TEST(ShapeTest, TwoChaptersOnOneParent) {
  FixtureDatabase db(kShop);
  auto rs = db.Open(
      "SHAPE {SELECT ID FROM customers ORDER BY ID} APPEND "
      "({SELECT * FROM orders} RELATE ID TO CustID) AS Orders, "
      "({SELECT * FROM payments} RELATE ID TO CustID)");
  ASSERT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields().Item(1).Name(), "Orders");
  EXPECT_EQ(rs->Fields().Item(2).Name(), "Chapter1");
  EXPECT_EQ(rs->Fields().Item(2).Type(), field_type::kChapter);
  rs->MoveNext();  // Bob
  EXPECT_THAT(Values(*Chapter(*rs, "Orders"), "Amount"), ElementsAre(Variant(Currency{30000})));
  EXPECT_THAT(Values(*Chapter(*rs, "Chapter1"), "Paid"), ElementsAre(Variant(3.0)));
}

TEST(ShapeTest, EveryRelatePairMustMatch) {
  FixtureDatabase db(kShop);
  auto rs = db.Open(
      "SHAPE {SELECT ID, Region FROM customers ORDER BY ID} APPEND "
      "({SELECT OrderID, CustID, Region FROM orders} RELATE ID TO CustID, Region TO Region) "
      "AS Orders");
  std::vector<std::vector<Variant>> order_ids;
  for (; !rs->Eof(); rs->MoveNext())
    order_ids.push_back(Values(*Chapter(*rs, "Orders"), "OrderID"));
  EXPECT_THAT(order_ids, ElementsAre(ElementsAre(Int(10)), ElementsAre(Int(12)), ElementsAre()));
}

TEST(ShapeTest, KeysMatchNumbersByValueTextsExactlyAndNullsNever) {
  FixtureDatabase db;
  auto rs = db.Open(
      "SHAPE {SELECT 1 AS k UNION ALL SELECT NULL UNION ALL SELECT 'a'} APPEND "
      "({SELECT 1.0 AS k, 'real one' AS w UNION ALL SELECT '1', 'text one' "
      "  UNION ALL SELECT NULL, 'null' UNION ALL SELECT 'A', 'upper a' "
      "  UNION ALL SELECT 'a', 'lower a'} RELATE k TO k) AS c");
  std::vector<std::vector<Variant>> matches;
  for (; !rs->Eof(); rs->MoveNext()) matches.push_back(Values(*Chapter(*rs, "c"), "w"));
  EXPECT_THAT(matches, ElementsAre(ElementsAre(Variant("real one")), ElementsAre(),
                                   ElementsAre(Variant("lower a"))));
}

// Children mostly come in runs of one key; runs broken by another kind of the same value, by
// Nulls, or a key that comes back later must still land each row in its parent's chapter, in
// query order.
TEST(ShapeTest, RunsOfOneKeyAndKeysThatComeBackKeepQueryOrder) {
  FixtureDatabase db;
  auto rs = db.Open(
      "SHAPE {SELECT 1 AS k UNION ALL SELECT 2 UNION ALL SELECT 'a'} APPEND "
      "({SELECT 1 AS k, 'r1' AS w UNION ALL SELECT 1, 'r2' UNION ALL SELECT 1.0, 'r3' "
      "  UNION ALL SELECT '1', 'r4' UNION ALL SELECT NULL, 'r5' UNION ALL SELECT NULL, 'r6' "
      "  UNION ALL SELECT 2, 'r7' UNION ALL SELECT 2, 'r8' UNION ALL SELECT 1, 'r9' "
      "  UNION ALL SELECT 'a', 'r10' UNION ALL SELECT 'a', 'r11' UNION ALL SELECT 'A', 'r12'"
      "  UNION ALL SELECT 'a', 'r13'} RELATE k TO k) AS c");
  std::vector<std::vector<Variant>> matches;
  for (; !rs->Eof(); rs->MoveNext()) matches.push_back(Values(*Chapter(*rs, "c"), "w"));
  EXPECT_THAT(matches,
              ElementsAre(ElementsAre(Variant("r1"), Variant("r2"), Variant("r3"), Variant("r9")),
                          ElementsAre(Variant("r7"), Variant("r8")),
                          ElementsAre(Variant("r10"), Variant("r11"), Variant("r13"))));
}

TEST(ShapeTest, EveryQueryUsesTheCallsArguments) {
  FixtureDatabase db(kShop);
  db.AddProcedure("regional",
                  "SHAPE {SELECT ID FROM customers WHERE Region = @region ORDER BY ID} APPEND "
                  "({SELECT OrderID, CustID FROM orders WHERE Amount >= @min "
                  "  AND Region = @region} RELATE ID TO CustID) AS Orders");
  auto rs = db.Open("EXEC regional 'North', 5");
  EXPECT_THAT(Values(*rs, "ID"), ElementsAre(Int(1), Int(3)));
  rs->MoveFirst();
  EXPECT_THAT(Values(*Chapter(*rs, "Orders"), "OrderID"), ElementsAre(Int(10)));

  rs = db.Open("EXEC regional @min = 7, @region = 'South'");
  EXPECT_THAT(Values(*rs, "ID"), ElementsAre(Int(2)));
  rs->MoveFirst();
  EXPECT_EQ(Chapter(*rs, "Orders")->RecordCount(), 0);  // order 12 is below 7

  try {
    db.Open("EXEC regional 'North', 5, 6");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(),
                HasSubstr("Procedure regional has 2 parameters but was given 3 arguments"));
  }
}

TEST(ShapeTest, ChaptersStayReadableOnTheirOwn) {
  FixtureDatabase db(kShop);
  std::shared_ptr<Recordset> orders;
  Rows rows;
  {
    auto rs = db.Open(
        "SHAPE {SELECT ID FROM customers ORDER BY ID} APPEND "
        "({SELECT OrderID, CustID FROM orders} RELATE ID TO CustID) AS Orders");
    orders = Chapter(*rs, "Orders");
    rows = rs->GetRows();
    rs->Close();
  }
  db.connection()->Close();
  EXPECT_THAT(Values(*orders, "OrderID"), ElementsAre(Int(10), Int(11)));
  ASSERT_EQ(rows.row_count(), 3);
  ASSERT_TRUE(rows(1, 1).IsObject());
  EXPECT_THAT(Values(*rows(1, 1).object(), "OrderID"), ElementsAre(Int(12)));
}

TEST(ShapeTest, SixtyFourLevelsReadToTheBottomAndDeeperCommandsFailCleanly) {
  FixtureDatabase db;
  db.AddProcedure("deepest", NestedShape(kMaxShapeDepth, true));
  db.AddProcedure("too_deep", NestedShape(20000, true));
  auto level = db.Open("EXEC deepest");
  for (int depth = 1; depth < kMaxShapeDepth; ++depth) {
    SCOPED_TRACE(depth);
    ASSERT_EQ(level->RecordCount(), 1);
    level = Chapter(*level, "c");
    ASSERT_NE(level, nullptr);
  }
  EXPECT_THAT(Values(*Chapter(*level, "c"), "ID"), ElementsAre(Int(1)));

  try {
    db.Open("EXEC too_deep");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNestedTooDeep);
  }
}

TEST(ShapeTest, RejectsRelationsTheQueriesCannotMake) {
  FixtureDatabase db(kShop);
  struct Case {
    std::string command;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"SHAPE {SELECT ID FROM customers} APPEND ({SELECT * FROM orders} RELATE Nope TO CustID)",
       "the parent query has no column Nope (RELATE at position 72)"},
      {"SHAPE {SELECT ID FROM customers} APPEND ({SELECT * FROM orders} RELATE ID TO Nope)",
       "the child query has no column Nope"},
      {"SHAPE {SELECT ID FROM customers} APPEND ({SELECT * FROM orders} RELATE ID TO CustID) "
       "AS id",
       "the chapter id has the name of a column of its parent"},
      {"SHAPE {SELECT ID FROM customers} APPEND ({DELETE FROM orders} RELATE ID TO CustID)",
       "only SELECT or WITH queries can be run"},
      {"SHAPE {SELECT ID FROM customers} APPEND ({SELECT * FROM nowhere} RELATE ID TO CustID)",
       "no such table: nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    try {
      db.Open(c.command);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
  }
  EXPECT_EQ(nimbo::testing::CountRows(db.path(), "SELECT * FROM orders"), 4);
}

}  // namespace
}  // namespace nimbo::db
