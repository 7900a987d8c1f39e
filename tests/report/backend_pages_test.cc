// Report pages from the same fixture on both back ends, byte for byte: a browser definition with
// every section kind over a table of every value kind that both databases hold (amounts, exact
// decimals, doubles, date-times, booleans, long texts with links, pictures, nulls), walked node by
// node on a SQLite file and on a PostgreSQL database.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/control_access.h"
#include "nimbo/clock.h"
#include "nimbo/date.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "testing/backend_fixture.h"
#include "testing/browser_fixture.h"
#include "testing/tree_walk.h"

namespace nimbo {
namespace {

using testing::BackendDatabase;
using testing::BackendKind;
using testing::DialectSql;

const DialectSql kSchema = {
    "CREATE TABLE items (id INTEGER, name TEXT, grp TEXT, amount CURRENCY, ratio DOUBLE,"
    " exact DECIMAL(12,6), sold DATETIME, active BOOLEAN, note MEMO, picture BLOB);",
    "CREATE DOMAIN memo AS text;"
    "CREATE TABLE items (id integer, name text, grp text, amount money, ratio float8,"
    " exact numeric(12,6), sold timestamp, active boolean, note memo, picture bytea);"};

const DialectSql kItems = {
    "INSERT INTO items VALUES"
    " (1, 'Kettle <steel>', 'Kitchen', 1234.5, 0.1, 12.5, '2026-03-01 10:20:30', 1,"
    "  'Manual#https://example.com/kettle#', x'89504e470d0a1a0a00ff'),"
    " (2, 'O''Brien mug', 'Kitchen', -0.25, 2.0000000001, 1.234567, '2026-12-31 23:59:59', 0,"
    "  'Plain note', x'ffd8ffe000'),"
    " (3, 'Lamp', 'Living', NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
    " (4, 'Rug', 'Living', 99999.99, -1e-7, 0.000001, '1999-01-01 00:00:00', 1, '#x#', x'00');",
    "SET lc_monetary = 'C';"
    "INSERT INTO items VALUES"
    " (1, 'Kettle <steel>', 'Kitchen', 1234.5, 0.1, 12.5, '2026-03-01 10:20:30.75', true,"
    "  'Manual#https://example.com/kettle#', '\\x89504e470d0a1a0a00ff'),"
    " (2, 'O''Brien mug', 'Kitchen', -0.25, 2.0000000001, 1.234567, '2026-12-31 23:59:59', false,"
    "  'Plain note', '\\xffd8ffe000'),"
    " (3, 'Lamp', 'Living', NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
    " (4, 'Rug', 'Living', 99999.99, -1e-7, 0.000001, '1999-01-01 00:00:00', true, '#x#',"
    "  '\\x00');"};

// The definition: a folder of items with every section kind, and a list of groups whose nodes
// show their items. Quoted aliases read the same on both.
const char kDefinition[] =
    "INSERT INTO nav VALUES (1, 'Home', 'F', 0, '', '', NULL, ''),"
    " (2, 'Items', 'N', 1, '', '', NULL, ''), (3, 'Groups', 'G', 1, 'GroupList', '', NULL, ''),"
    " (4, 'Group', 'N', 3, '', '', NULL, '');"
    "INSERT INTO sections VALUES (21, 2, NULL, 'First item', 'ItemCard', '', 'H', 7, NULL),"
    " (22, 2, NULL, 'Picture', 'ItemPicture', '', 'I', 8, NULL),"
    " (23, 2, NULL, 'All items', 'ItemTable', '', 'S', NULL, 'ALL'),"
    " (24, 2, NULL, 'Amounts', 'ItemTable', '', 'C', NULL, '2:4'),"
    " (25, 2, NULL, 'By group', 'ItemGroups', '', 'M', NULL, NULL),"
    " (41, 4, NULL, 'Items in:', 'GroupItems', 'TEXT', 'S', NULL, '4:5:6');"
    "INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');";

const char kItemColumns[] =
    "id AS \"ID\", name AS \"Name\", grp AS \"Group\", amount AS \"Amount\", ratio AS \"Ratio\","
    " exact AS \"Exact\", sold AS \"Sold\", active AS \"Active\", note AS \"Note\"";

std::unique_ptr<BackendDatabase> MakeFixture(BackendKind kind) {
  auto db = std::make_unique<BackendDatabase>(
      kind, DialectSql(kSchema.For(kind) + testing::kBrowserSchema + kItems.For(kind) +
                       kDefinition));
  db->AddProcedure("xspb1", "SELECT * FROM nav ORDER BY id");
  db->AddProcedure("xspb2", "SELECT * FROM sections ORDER BY id");
  db->AddProcedure("xspb3", "SELECT * FROM pages WHERE id = @I1");
  db->AddProcedure("ItemCard", std::string("SELECT ") + kItemColumns + " FROM items WHERE id = 1");
  db->AddProcedure("ItemPicture",
                   "SELECT id AS \"ID\", picture AS \"IMGPicture\", name AS \"Name\", note AS "
                   "\"Note\" FROM items WHERE id = 1");
  db->AddProcedure("ItemTable", std::string("SELECT ") + kItemColumns + " FROM items ORDER BY id");
  db->AddProcedure("GroupList",
                   "SELECT DISTINCT grp AS \"ID\", grp AS \"Group\" FROM items ORDER BY 1");
  db->AddProcedure("GroupItems", std::string("SELECT ") + kItemColumns +
                                     " FROM items WHERE grp = @grp ORDER BY id");
  db->AddProcedure("ItemGroups",
                   "SHAPE {SELECT DISTINCT grp AS \"ID\", grp AS \"Group\" FROM items ORDER BY 1}"
                   " APPEND ({SELECT " + std::string(kItemColumns) +
                       " FROM items ORDER BY id} RELATE group TO GROUP) AS Items");
  return db;
}

struct Walked {
  std::vector<testing::WalkedPage> pages;
  std::vector<std::string> events;
};

Walked WalkFixture(const BackendDatabase& db, const std::string& date_format) {
  testing::TempDir folder;
  auto events = std::make_shared<testing::EventLog>();
  auto tree = std::make_shared<MemoryTreeView>();
  auto browser = std::make_shared<HeadlessBrowser>();
  Nimbo control(std::make_shared<RunTimeContainer>(), events);
  testing::BrowserUnderTest::EmptyBag bag;
  control.ReadProperties(bag);
  control.ConnectionString(db.connection_text());
  control.ApplicationFolder(folder.path().string());
  StateOf(control).ActivePort = 80;
  control.SetControls(tree, browser);
  control.SetClock(FixedClock(MakeDate(2026, 12, 8, 21, 17, 44)));
  control.Talking(true);
  control.DateFormat(date_format);
  control.RefreshBrowser();
  Walked walked;
  walked.pages = testing::WalkWholeTree(control, *tree, folder.path());
  walked.events = events->lines;
  for (std::string& line : walked.events) {
    for (std::size_t at; (at = line.find(folder.path().string())) != std::string::npos;) {
      line.replace(at, folder.path().string().size(), "<folder>");
    }
  }
  return walked;
}

class BackendPagesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { NIMBO_SKIP_WITHOUT_PG(); }
};

TEST_P(BackendPagesTest, TheSameFixtureGivesTheSamePagesAndEvents) {
  const auto sqlite = MakeFixture(BackendKind::kSqlite);
  const auto pg = MakeFixture(BackendKind::kPostgres);
  const Walked on_sqlite = WalkFixture(*sqlite, GetParam());
  const Walked on_pg = WalkFixture(*pg, GetParam());
  ASSERT_EQ(on_sqlite.pages.size(), 5u);  // Home, Items, Groups and its Kitchen and Living
  ASSERT_EQ(on_pg.pages.size(), on_sqlite.pages.size());
  for (std::size_t i = 0; i < on_sqlite.pages.size(); ++i) {
    SCOPED_TRACE(on_sqlite.pages[i].path);
    EXPECT_EQ(on_pg.pages[i].path, on_sqlite.pages[i].path);
    EXPECT_EQ(on_pg.pages[i].files, on_sqlite.pages[i].files);
  }
  EXPECT_EQ(on_pg.events, on_sqlite.events);
  // Every section was written: no read failed, no section met an error.
  for (const std::string& line : on_sqlite.events) {
    EXPECT_EQ(line.rfind("BlaBla|Unable", 0), std::string::npos) << line;
    EXPECT_EQ(line.rfind("BlaBla|Error", 0), std::string::npos) << line;
  }
  std::string items;
  for (const testing::WalkedPage& page : on_sqlite.pages) {
    if (page.path == "Data Browser\\Items") items = page.files;
  }
  EXPECT_NE(items.find("<a href='https://example.com/kettle'>Manual</a>"), std::string::npos);
  EXPECT_NE(items.find("1,234.50"), std::string::npos);
  EXPECT_NE(items.find("--- pic1\n\x89PNG"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DateFormats, BackendPagesTest,
                         ::testing::Values("", "dd Mmm yyyy hh:nn:ss"),
                         [](const ::testing::TestParamInfo<std::string>& format) {
                           return format.param.empty() ? std::string("DefaultDates")
                                                       : std::string("PatternDates");
                         });

}  // namespace
}  // namespace nimbo
