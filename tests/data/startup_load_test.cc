// The start-up load on real browser-definition databases.
#include "data/startup_load.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/control_access.h"
#include "data/data_service.h"
#include "testing/browser_fixture.h"
#include "testing/read_only_folder.h"
#include "testing/sqlite_peer.h"

namespace nimbo {
namespace {

using testing::BrowserDatabase;
using testing::BrowserUnderTest;
using testing::ReadFile;
using Lines = std::vector<std::string>;

constexpr char kDefinition[] =
    "INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
    " (2, 'Sales', 'F', 1, NULL, NULL, NULL, '1:2');"
    "INSERT INTO sections VALUES (10, 2, NULL, 'Totals', 'SalesList', '', 'S', NULL, 'ALL');"
    "INSERT INTO pages VALUES (1, 'x', 'y', '<html><body>Welcome</body></html>'),"
    " (2, 'x', 'y', '<html><head><style>p{}</style></head><body><div>');";

TEST(StartupLoadTest, ReadsTheDefinitionAndWritesTheFrontPage) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  LoadBrowser(s);

  EXPECT_TRUE(b.events->lines.empty()) << b.events->lines.front();
  EXPECT_EQ(s.PagePath, (db.dir() / "oDatNav.htm").string());
  ASSERT_EQ(s.NavRows.field_count(), 8);
  ASSERT_EQ(s.NavRows.row_count(), 2);
  EXPECT_EQ(s.NavRows(1, 1), Variant("Sales"));
  EXPECT_EQ(s.NavRows(7, 1), Variant("1:2"));
  ASSERT_EQ(s.SectionRows.field_count(), 9);
  EXPECT_EQ(s.SectionRows(8, 0), Variant("ALL"));
  EXPECT_EQ(ReadFile(db.dir() / "fp.htm"), "<html><body>Welcome</body></html>\r\n");
  EXPECT_EQ(s.PageHeader,
            "<html><head><style>p{}</style></head><body><div>"
            "<table width=100%><tr><td class=pgl>%StoreName%</td><td class=pgr>%Date%</td>"
            "</table><p class=mh>%MainHeading%");
}

TEST(StartupLoadTest, ASecondLoadKeepsTheServiceAndReadsAgain) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  LoadBrowser(s);
  const auto service = s.mSrv;
  db.Run("INSERT INTO nav VALUES (3, 'Stock', 'F', 1, NULL, NULL, NULL, NULL);");
  b.control.ConnectionString("/nonexistent.db");  // only a new instance would use it
  LoadBrowser(s);
  EXPECT_EQ(s.mSrv, service);
  EXPECT_EQ(s.NavRows.row_count(), 3);
  EXPECT_TRUE(b.events->lines.empty());
}

TEST(StartupLoadTest, RefusedReadsLeaveTheDefinitionAsItWas) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  LoadBrowser(s);
  s.ActivePort = 0;
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, Lines{"NimboMessage|Error Reading Data From Database"});
  EXPECT_EQ(s.NavRows.row_count(), 2);
}

TEST(StartupLoadTest, AFailedConnectionIsReportedAndTriedAgainByTheNextLoad) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  b.control.ConnectionString((db.dir() / "missing.db").string());
  LoadBrowser(s);
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, (Lines{"NimboMessage|Connection cannot be established.",
                                    "NimboMessage|Connection cannot be established."}));
  EXPECT_FALSE(std::filesystem::exists(db.dir() / "missing.db"));
  EXPECT_FALSE(std::filesystem::exists(db.dir() / "fp.htm"));

  // Once the database is there, the next load connects and reads the definition.
  b.events->lines.clear();
  const auto service = s.mSrv;
  b.control.ConnectionString(db.path().string());
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, Lines{});
  EXPECT_EQ(s.mSrv, service);
  EXPECT_EQ(s.NavRows.row_count(), 2);
  EXPECT_EQ(ReadFile(db.dir() / "fp.htm"), "<html><body>Welcome</body></html>\r\n");
}

// With Talking, a failed connection's message is followed by why it failed, in the database's
// words: here a file that is no database.
TEST(StartupLoadTest, AFailedConnectionSaysItsCause) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  b.control.Talking(true);
  testing::WriteFile(db.dir() / "text.db", "this is not a database, only some text\n");
  b.control.ConnectionString((db.dir() / "text.db").string());
  LoadBrowser(s);
  ASSERT_EQ(b.events->lines.size(), 2u) << ::testing::PrintToString(b.events->lines);
  EXPECT_EQ(b.events->lines[0], "NimboMessage|Connection cannot be established.");
  EXPECT_EQ(b.events->lines[1].rfind("BlaBla|Cause: ", 0), 0u) << b.events->lines[1];
  EXPECT_NE(b.events->lines[1].find("file is not a database"), std::string::npos)
      << b.events->lines[1];
}

// Another program holds the database's write lock (BEGIN EXCLUSIVE keeps out readers too) while
// the load starts, and commits a moment later: the load waits for it, whether it is connecting
// or reading on a connection it already has.
TEST(StartupLoadTest, WaitsForAnotherProgramsBriefWriteLock) {
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "reading" : "connecting");
    BrowserDatabase db(kDefinition);
    BrowserUnderTest b(db);
    ControlState& s = StateOf(b.control);
    b.control.Talking(true);
    if (connected) LoadBrowser(s);
    testing::SqlitePeer peer(db.path());
    ASSERT_EQ(peer.Run("BEGIN EXCLUSIVE"), "ok");
    ASSERT_EQ(peer.Run("INSERT INTO nav VALUES (3, 'Stock', 'F', 1, NULL, NULL, NULL, NULL)"),
              "ok");
    std::string committed;
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      committed = peer.Run("COMMIT");
    });
    LoadBrowser(s);
    writer.join();
    EXPECT_EQ(committed, "ok");
    EXPECT_EQ(b.events->lines, Lines{});
    EXPECT_EQ(s.NavRows.row_count(), 3);  // the writer's row too
  }
}

// A web host started while another program holds the database longer than a read may wait: the
// first load cannot connect, and once the lock is gone the next load connects and reads.
TEST(StartupLoadTest, ALoadAfterALockOutlastedTheWaitConnects) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  b.control.CommandTimeout(1);  // waits for the lock 1 s rather than 5 s
  testing::SqlitePeer peer(db.path());
  ASSERT_EQ(peer.Run("BEGIN EXCLUSIVE"), "ok");
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, Lines{"NimboMessage|Connection cannot be established."});
  EXPECT_EQ(s.NavRows.row_count(), 0);

  ASSERT_EQ(peer.Run("COMMIT"), "ok");
  b.events->lines.clear();
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, Lines{});
  EXPECT_EQ(s.NavRows.row_count(), 2);
}

// A WAL database in a folder that cannot be written is read as an unchanging file, and the
// load says so once, when it connects.
TEST(StartupLoadTest, SaysWhenItReadsTheDatabaseAsAnUnchangingFile) {
  BrowserDatabase db(kDefinition);
  db.Run("PRAGMA journal_mode=WAL;");
  testing::ReadOnlyFolder folder;
  if (!folder.why_not().empty()) GTEST_SKIP() << folder.why_not();
  std::filesystem::copy_file(db.path(), folder / "browser.db");
  folder.Seal();
  BrowserUnderTest b(db);  // the pages go to the database's own folder, which can be written
  b.control.ConnectionString((folder / "browser.db").string());
  b.control.Talking(true);
  ControlState& s = StateOf(b.control);
  LoadBrowser(s);
  LoadBrowser(s);
  EXPECT_EQ(b.events->lines, Lines{"BlaBla|The database " + (folder / "browser.db").string() +
                                   " is in a folder that cannot be written, so it is read as an "
                                   "unchanging file: changes another program makes to it are "
                                   "not seen"});
  EXPECT_EQ(s.NavRows.row_count(), 2);
  EXPECT_EQ(ReadFile(db.dir() / "fp.htm"), "<html><body>Welcome</body></html>\r\n");
}

TEST(StartupLoadTest, FailuresAndTheirReports) {
  const struct {
    const char* label;
    std::string sql;  // run on the file after the definition
    Lines events;     // with Talking
    const char* page_header_prefix;
  } cases[] = {
      {"NullFrontPage", "UPDATE pages SET html = NULL WHERE id = 1;", {}, "<html><head>"},
      {"NoNavigationRows",
       "DELETE FROM nav;",
       {"BlaBla|Error: 3021, Either BOF or EOF is True, or the current record has been deleted. "
        "Requested operation requires a current record."},
       ""},
      {"NoPageHead",
       "DELETE FROM pages WHERE id = 2;",
       {"BlaBla|Error: 3021, Either BOF or EOF is True, or the current record has been deleted. "
        "Requested operation requires a current record."},
       "<html><body>Welcome"},
      {"PageHeadProcedureMissing",
       "DELETE FROM nimbo_procedures WHERE name = 'xspb3';",
       {"BlaBla|Unable to Access Data for the SQL : EXEC xspb3 @I1=1",
        "BlaBla|Cause: Unknown procedure xspb3", "NimboMessage|Error Reading Data From Database",
        "BlaBla|Error: 91, Object variable or With block variable not set"},
       ""},
      {"TooFewFields",
       "DROP TABLE pages; CREATE TABLE pages (id INTEGER, html TEXT);"
       "INSERT INTO pages VALUES (1, 'x'), (2, 'y');",
       {"BlaBla|Error: 9, Subscript out of range"},
       ""},
  };
  for (const auto& c : cases) {
    BrowserDatabase db(kDefinition);
    db.Run(c.sql);
    BrowserUnderTest b(db);
    b.control.Talking(true);
    LoadBrowser(StateOf(b.control));
    EXPECT_EQ(b.events->lines, c.events) << c.label;
    EXPECT_EQ(StateOf(b.control).PageHeader.rfind(c.page_header_prefix, 0), 0u)
        << c.label << ": " << StateOf(b.control).PageHeader;
  }
}

TEST(StartupLoadTest, NullFrontPageWritesAnEmptyLine) {
  BrowserDatabase db(kDefinition);
  db.Run("UPDATE pages SET html = NULL WHERE id = 1;");
  BrowserUnderTest b(db);
  LoadBrowser(StateOf(b.control));
  EXPECT_EQ(ReadFile(db.dir() / "fp.htm"), "\r\n");
}

TEST(StartupLoadTest, AnUnwritableFolderEndsTheLoadAfterTheFrontPageText) {
  BrowserDatabase db(kDefinition);
  BrowserUnderTest b(db);
  b.control.ApplicationFolder((db.dir() / "no-such-folder").string());
  b.control.Talking(true);
  LoadBrowser(StateOf(b.control));
  EXPECT_EQ(b.events->lines, (Lines{"BlaBla|Error: 76, Path not found",
                                    "BlaBla|" + (db.dir() / "no-such-folder" / "fp.htm").string() +
                                        ": cannot write (No such file or directory)"}));
  EXPECT_EQ(StateOf(b.control).PageHeader, "<html><body>Welcome</body></html>");
}

}  // namespace
}  // namespace nimbo
