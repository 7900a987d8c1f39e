// Parameter macros: their expansion from the selected node and today's date, and that a quoted
// value always reaches the procedure as exactly one value.
#include "data/query_macros.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "data/data_service.h"
#include "nimbo/date.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "testing/browser_fixture.h"

namespace nimbo {
namespace {

class QueryMacrosTest : public ::testing::Test {
 protected:
  QueryMacrosTest() : control_(std::make_shared<RunTimeContainer>(), nullptr) {
    control_.SetControls(tree_, nullptr);
    control_.SetClock(FixedClock(MakeDate(2026, 12, 8, 21, 17, 44)));
  }
  void Select(const std::string& key, const std::string& text) {
    auto node = tree_->Add(nullptr, Relationship::kLast, key, text, "");
    node->Selected(true);
  }
  std::string Expand(const std::string& macro) { return ExpandMacros(StateOf(control_), macro); }

  std::shared_ptr<MemoryTreeView> tree_ = std::make_shared<MemoryTreeView>();
  Nimbo control_;
};

TEST_F(QueryMacrosTest, Expansions) {
  Select("0000000042G7", "Smith");
  const struct {
    const char* macro;
    const char* expansion;
  } cases[] = {
      {"TEXT", " 'Smith'"},        {"text", " 'Smith'"},      {"TEXTS", " "},
      {"TODAY", " '08 Dec 2026'"}, {"Today", " '08 Dec 2026'"}, {"LKEY", " 42"},
      {"lkey7", " 42"},            {"CKEY05", " '00000'"},     {"CKEY12", " '0000000042G7'"},
      {"CKEY5", " ''"},            {"CKEY", " ''"},             {"", " "},
      {"anything", " "},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.macro), c.expansion) << c.macro;
}

TEST_F(QueryMacrosTest, TextKeysAndFailures) {
  Select("ABCDEG12", "x");
  EXPECT_EQ(Expand("CKEY05"), " 'ABCDE'");
  EXPECT_EQ(Expand("LKEY"), "");  // not a number: the query ends at the procedure name
  EXPECT_EQ(Expand("CKEY-1"), "");

  tree_->SelectedItem()->Selected(false);
  EXPECT_EQ(Expand("TEXT"), "");
  EXPECT_EQ(Expand("LKEY"), "");
  EXPECT_EQ(Expand("TODAY"), " '08 Dec 2026'");  // needs no node
  EXPECT_EQ(Expand(""), " ");
}

TEST_F(QueryMacrosTest, QuotesAreDoubled) {
  Select("O'Key", "O'Brien");
  EXPECT_EQ(Expand("TEXT"), " 'O''Brien'");
  EXPECT_EQ(Expand("CKEY03"), " 'O''K'");
}

// Whatever a node's text holds, the call made from it carries one value and changes nothing.
TEST(QueryMacrosInjectionTest, NodeTextsArriveAsOneValue) {
  testing::BrowserDatabase db("CREATE TABLE victims (v TEXT); INSERT INTO victims VALUES ('x');");
  db.AddProcedure("echo", "SELECT ?1 AS v, (SELECT COUNT(*) FROM victims) AS n");
  testing::BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  auto tree = std::make_shared<MemoryTreeView>();
  b.control.SetControls(tree, nullptr);
  s.mSrv = std::make_shared<Srv>();
  ASSERT_TRUE(s.mSrv->ConnectionString(db.path().string()));

  const std::string texts[] = {
      "O'Brien", "'; DROP TABLE victims; --", "', 2) --", std::string("nul\0byte", 8),
      "\xFF\xFE not utf-8 \xC3", std::string(1 << 20, '\''),
  };
  for (const std::string& text : texts) {
    tree->Clear();
    tree->Add(nullptr, Relationship::kLast, "", text, "")->Selected(true);
    ASSERT_TRUE(ReadData(s, "EXEC echo" + ExpandMacros(s, "TEXT"), s.mRS)) << s.mSrv->last_error();
    EXPECT_TRUE(s.mRS->Fields().Item(0).Value() == Variant(text)) << text.substr(0, 40);
    EXPECT_EQ(s.mRS->Fields().Item(1).Value().ToLong(), 1);
  }
  EXPECT_EQ(testing::CountRows(db.path(), "SELECT * FROM victims"), 1);
}

}  // namespace
}  // namespace nimbo
