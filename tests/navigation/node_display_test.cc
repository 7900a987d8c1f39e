// Refresh and node display on a real browser-definition database: the lazily built tree, its
// node identity, the role check, pruning, and the events of every path.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/control_state.h"
#include "navigation/navigation_tree.h"
#include "nimbo/date.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "testing/browser_fixture.h"

namespace nimbo {
namespace {

using testing::BrowserDatabase;
using testing::BrowserUnderTest;
using Lines = std::vector<std::string>;

// The navigation rows of the worked example, with customers, regions and shops behind them.
constexpr char kExample[] =
    "INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
    " (2, 'Customers', 'G', 1, 'CustList', NULL, NULL, '1:2'),"
    " (3, 'Customer', 'N', 2, NULL, NULL, 'card', ''),"
    " (4, 'Regions', 'R', 1, 'RegionList', 'LKEY', 'globe', NULL),"
    " (5, 'Shops', 'N', 4, 'ShopList', 'LKEY', 'shop', NULL);"
    "INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');"
    "INSERT INTO sections VALUES (1, 99, NULL, 'Elsewhere', 'CustList', NULL, 'S', NULL, '.');"
    "CREATE TABLE customers (ID INTEGER, Name TEXT);"
    "INSERT INTO customers VALUES (7, 'Smith'), (7, 'Smith again'), (9, NULL);"
    "CREATE TABLE regions (ID INTEGER, Name TEXT, Parent INTEGER);"
    "INSERT INTO regions VALUES (10, 'North', 4), (11, 'South', 4), (12, 'Far North', 10);"
    "CREATE TABLE shops (ID INTEGER, Name TEXT, Region INTEGER);"
    "INSERT INTO shops VALUES (100, 'Harbour', 4), (101, 'Mill', 10);";

class NodeDisplayTest : public ::testing::Test {
 protected:
  NodeDisplayTest() : db_(kExample), b_(db_) {
    db_.AddProcedure("CustList", "SELECT ID, Name FROM customers ORDER BY rowid");
    db_.AddProcedure("RegionList", "SELECT ID, Name FROM regions WHERE Parent = ?1");
    db_.AddProcedure("ShopList", "SELECT ID, Name FROM shops WHERE Region = ?1");
    b_.control.SetControls(tree_, browser_);
    b_.control.SetClock(FixedClock(MakeDate(2026, 12, 8, 21, 17, 44)));
    b_.control.UserRole(2);
  }

  std::shared_ptr<Node> Child(const std::shared_ptr<Node>& parent, const std::string& text) {
    for (auto child = parent->Child(); child; child = child->Next()) {
      if (child->Text() == text) return child;
    }
    ADD_FAILURE() << "no child " << text << " under " << parent->Text();
    return nullptr;
  }
  std::vector<std::string> ChildTexts(const std::shared_ptr<Node>& parent) {
    std::vector<std::string> texts;
    for (auto child = parent->Child(); child; child = child->Next()) texts.push_back(child->Text());
    return texts;
  }
  // Selects a node as the user would and displays it; returns the events it raised.
  Lines Display(const std::shared_ptr<Node>& node) {
    b_.events->lines.clear();
    node->Selected(true);
    b_.control.DisplayFor(node);
    return b_.events->lines;
  }
  std::shared_ptr<Node> Root() { return tree_->Roots().front(); }

  BrowserDatabase db_;
  BrowserUnderTest b_;
  std::shared_ptr<MemoryTreeView> tree_ = std::make_shared<MemoryTreeView>();
  std::shared_ptr<HeadlessBrowser> browser_ = std::make_shared<HeadlessBrowser>();
};

TEST_F(NodeDisplayTest, RefreshBuildsTheRootAndShowsTheFrontPage) {
  b_.control.RefreshBrowser();
  ASSERT_EQ(tree_->Roots().size(), 1u);
  const auto root = Root();
  EXPECT_EQ(root->Text(), "Data Browser");
  EXPECT_EQ(root->Tag(), "00001F");
  EXPECT_EQ(root->Image(), "Net");
  EXPECT_EQ(root->ForeColor(), 0xFF0000);
  EXPECT_TRUE(root->Expanded());
  EXPECT_TRUE(root->Selected());
  EXPECT_TRUE(tree_->Sorted());
  EXPECT_TRUE(tree_->Enabled());
  EXPECT_EQ(tree_->MousePointer(), 1);
  EXPECT_EQ(browser_->LocationURL(), (db_.dir() / "fp.htm").string());

  EXPECT_EQ(ChildTexts(root), (std::vector<std::string>{"Customers", "Regions"}));
  const auto customers = Child(root, "Customers");
  EXPECT_EQ(customers->Tag(), "00002G");
  EXPECT_EQ(customers->Key(), "0000000002F");
  EXPECT_EQ(customers->Image(), "group");
  EXPECT_EQ(customers->ForeColor(), 0xFF0000);
  const auto regions = Child(root, "Regions");
  EXPECT_EQ(regions->Tag(), "00004R");
  EXPECT_EQ(regions->Key(), "0000000004F");
  EXPECT_EQ(regions->Image(), "globe");
  // The root's page is the front page: nothing else was shown or logged.
  EXPECT_EQ(b_.events->lines, (Lines{"Busy|True", "Busy|False"}));
}

TEST_F(NodeDisplayTest, AListNodeGetsOneChildPerRecord) {
  b_.control.RefreshBrowser();
  const auto customers = Child(Root(), "Customers");
  const Lines events = Display(customers);
  EXPECT_EQ(events, (Lines{"Busy|True", "LogIt|View|Data Browser\\Customers", "Busy|False"}));
  EXPECT_EQ(browser_->LocationURL(), (db_.dir() / "oDatNav.htm").string());
  EXPECT_TRUE(customers->Expanded());
  EXPECT_EQ(tree_->LastMadeVisible(), customers);

  std::vector<std::string> keys;
  for (auto child = customers->Child(); child; child = child->Next()) {
    EXPECT_EQ(child->Tag(), "00003N");
    EXPECT_EQ(child->Image(), "card");
    keys.push_back(child->Key());
  }
  // Two records with the same key value get different Keys through the node count; a Null
  // text becomes the empty text.
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"0000000007G3", "0000000007G4", "0000000009G5"}));
  EXPECT_EQ(ChildTexts(customers), (std::vector<std::string>{"", "Smith", "Smith again"}));
}

TEST_F(NodeDisplayTest, ARecursiveNodeGetsItsRecordsThenItsLeafRows) {
  b_.control.RefreshBrowser();
  const auto regions = Child(Root(), "Regions");
  Display(regions);
  EXPECT_EQ(ChildTexts(regions), (std::vector<std::string>{"Harbour", "North", "South"}));
  EXPECT_EQ(Child(regions, "North")->Tag(), "00004R");
  EXPECT_EQ(Child(regions, "North")->Image(), "globe");
  EXPECT_EQ(Child(regions, "Harbour")->Tag(), "00005N");
  EXPECT_EQ(Child(regions, "Harbour")->Image(), "shop");

  const auto north = Child(regions, "North");
  Display(north);  // LKEY reads 10 back from the front of its Key
  EXPECT_EQ(ChildTexts(north), (std::vector<std::string>{"Far North", "Mill"}));
}

TEST_F(NodeDisplayTest, RefusedRoleShowsABlankPageWithoutAMessage) {
  b_.control.UserRole(3);
  b_.control.RefreshBrowser();
  const auto customers = Child(Root(), "Customers");
  EXPECT_EQ(Display(customers), (Lines{"Busy|True", "Busy|False"}));
  EXPECT_EQ(customers->Children(), 0);
  EXPECT_EQ(browser_->LocationURL(), "about:blank");
  EXPECT_TRUE(tree_->Enabled());
  EXPECT_NE(tree_->LastMadeVisible(), customers);
}

TEST_F(NodeDisplayTest, AFolderDisplayedTwiceOnlyRebuildsItsPage) {
  b_.control.RefreshBrowser();
  const auto root = Root();
  const int count = tree_->Count();
  EXPECT_EQ(Display(root), (Lines{"Busy|True", "Busy|False"}));
  EXPECT_EQ(tree_->Count(), count);
}

TEST_F(NodeDisplayTest, SelectingASiblingPrunesTheOpenBranch) {
  b_.control.RefreshBrowser();
  const auto customers = Child(Root(), "Customers");
  const auto regions = Child(Root(), "Regions");
  Display(customers);
  ASSERT_EQ(customers->Children(), 3);
  Display(regions);
  EXPECT_EQ(customers->Children(), 0);
  EXPECT_EQ(regions->Children(), 3);
  Display(customers);  // made again from the database
  EXPECT_EQ(customers->Children(), 3);
  EXPECT_EQ(regions->Children(), 0);
}

TEST_F(NodeDisplayTest, OddTagsAndFailures) {
  b_.control.Talking(true);
  b_.control.RefreshBrowser();
  const auto root = Root();
  const struct {
    const char* tag;
    Lines events;
    bool made_visible;
  } cases[] = {
      {"00003X", {"Busy|True", "Busy|False"}, true},  // unknown kind
      {"00099F", {"Busy|True", "Busy|False"}, true},  // names no row: shows nothing
      {"abcdeF", {"Busy|True", "Busy|False", "BlaBla|Error: 13, Type mismatch"}, false},
      {"", {"Busy|True", "Busy|False", "BlaBla|Error: 13, Type mismatch"}, false},
  };
  for (const auto& c : cases) {
    auto node = tree_->Add(root, Relationship::kChild, "", "odd", "");
    node->Tag(c.tag);
    EXPECT_EQ(Display(node), c.events) << c.tag;
    EXPECT_EQ(browser_->LocationURL(), "about:blank") << c.tag;
    EXPECT_EQ(tree_->LastMadeVisible() == node, c.made_visible) << c.tag;
    EXPECT_TRUE(tree_->Enabled()) << c.tag;
  }
}

TEST_F(NodeDisplayTest, AFailedNodeQueryEndsTheDisplay) {
  db_.Run("DELETE FROM nimbo_procedures WHERE name = 'CustList';");
  b_.control.RefreshBrowser();
  const auto customers = Child(Root(), "Customers");
  EXPECT_EQ(Display(customers),
            (Lines{"Busy|True", "NimboMessage|Error Reading Data From Database", "Busy|False"}));
  EXPECT_EQ(browser_->LocationURL(), "about:blank");
}

TEST_F(NodeDisplayTest, ListRowsWithoutChildRowsOrRecords) {
  db_.Run(
      "INSERT INTO nav VALUES (6, 'Orphans', 'G', 1, 'CustList', NULL, NULL, NULL),"
      " (7, 'Nobody', 'G', 1, 'NoOne', NULL, NULL, NULL),"
      " (8, 'Odd images', 'F', 1, NULL, NULL, NULL, NULL),"
      " (9, 'Plain', 'N', 8, NULL, NULL, NULL, NULL);");
  db_.AddProcedure("NoOne", "SELECT ID, Name FROM customers WHERE 0");
  b_.control.RefreshBrowser();
  const auto orphans = Child(Root(), "Orphans");
  Display(orphans);
  ASSERT_EQ(orphans->Children(), 3);
  EXPECT_EQ(orphans->Child()->Tag(), "00000");
  EXPECT_EQ(orphans->Child()->Image(), "");
  // Displaying such a child does nothing but clear the page.
  EXPECT_EQ(Display(orphans->Child()), (Lines{"Busy|True", "Busy|False"}));

  const auto nobody = Child(Root(), "Nobody");
  EXPECT_EQ(Display(nobody), (Lines{"Busy|True", "LogIt|View|Data Browser\\Nobody", "Busy|False"}));
  EXPECT_EQ(nobody->Children(), 0);
  EXPECT_TRUE(nobody->Expanded());

  const auto folder = Child(Root(), "Odd images");
  Display(folder);
  EXPECT_EQ(Child(folder, "Plain")->Image(), "group");  // a Null image column
}

TEST_F(NodeDisplayTest, ASecondRefreshRebuildsTheTree) {
  b_.control.RefreshBrowser();
  Display(Child(Root(), "Customers"));
  b_.control.RefreshBrowser();
  ASSERT_EQ(tree_->Roots().size(), 1u);
  EXPECT_EQ(tree_->Count(), 3);
  EXPECT_EQ(Child(Root(), "Customers")->Children(), 0);
}

TEST(HasAccessTest, ItemsAreComparedAsNumbers) {
  const struct {
    Variant list;
    int role;
    bool admitted;
  } cases[] = {
      {"1:3", 1, true},  {"1:3", 3, true},         {"1:3", 2, false}, {"", 2, true},
      {"01", 1, true},   {Variant::Null(), 5, true}, {"a:2", 2, true},  {"1::3", 0, false},
      {" 2 ", 2, true},  {"2.0", 2, true},          {"x", 0, false},
  };
  for (const auto& c : cases) {
    ControlState s;
    s.UserRole = static_cast<std::int16_t>(c.role);
    EXPECT_EQ(HasAccess(s, c.list), c.admitted) << c.list.ToText() << " role " << c.role;
  }
}

}  // namespace
}  // namespace nimbo
