// The data service and the ActivePort gate, on real SQLite files.
#include "data/data_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/control_access.h"
#include "nimbo/error.h"
#include "testing/browser_fixture.h"

namespace nimbo {
namespace {

using testing::BrowserDatabase;
using testing::BrowserUnderTest;
using testing::FixtureDatabase;
using testing::TempDir;

TEST(SrvTest, ConnectsReadsAndDetaches) {
  FixtureDatabase db("CREATE TABLE t (ID INTEGER, Name TEXT); INSERT INTO t VALUES (1, 'a');");
  db.AddProcedure("two", "SELECT * FROM t");
  db.AddProcedure("none", "SELECT * FROM t WHERE 0");
  Srv srv;
  ASSERT_TRUE(srv.ConnectionString(db.path().string())) << srv.last_error();

  std::shared_ptr<Recordset> rs;
  ASSERT_TRUE(srv.ReadRecordset("EXEC two", rs));
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->CursorLocation(), kUseClient);
  EXPECT_EQ(rs->LockType(), kLockReadOnly);
  EXPECT_EQ(rs->Fields().Item("Name").Value(), Variant("a"));

  ASSERT_TRUE(srv.ReadRecordset("EXEC none ", rs));
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
}

TEST(SrvTest, FailuresEmptyTheRecordSet) {
  FixtureDatabase db;
  Srv never_connected;
  auto rs = db.Open("SELECT 1");
  EXPECT_FALSE(never_connected.ReadRecordset("SELECT 1", rs));
  EXPECT_EQ(rs, nullptr);

  Srv srv;
  ASSERT_TRUE(srv.ConnectionString(db.path().string()));
  rs = db.Open("SELECT 1");
  EXPECT_FALSE(srv.ReadRecordset("EXEC nosuchproc", rs));
  EXPECT_EQ(rs, nullptr);
  EXPECT_NE(srv.last_error().find("nosuchproc"), std::string::npos) << srv.last_error();
}

TEST(SrvTest, ASecondConnectionReplacesTheFirstAndAFailedOneLeavesNone) {
  FixtureDatabase db;
  TempDir dir;
  Srv srv;
  ASSERT_TRUE(srv.ConnectionString(db.path().string()));
  const auto missing = dir / "missing.db";
  EXPECT_FALSE(srv.ConnectionString(missing.string()));
  EXPECT_FALSE(std::filesystem::exists(missing));  // nothing is created
  std::shared_ptr<Recordset> rs;
  EXPECT_FALSE(srv.ReadRecordset("SELECT 1", rs));
  EXPECT_EQ(rs, nullptr);
}

TEST(SrvTest, FileNamesCannotAddConnectionKeys) {
  TempDir dir;
  // A file name that reads like more connection text still names just that file.
  const auto odd = dir / "shop;Data Source=other.db;x=\"y.db";
  testing::MakeDatabase(odd, "CREATE TABLE t (v INTEGER); INSERT INTO t VALUES (7);");
  Srv srv;
  ASSERT_TRUE(srv.ConnectionString(odd.string())) << srv.last_error();
  std::shared_ptr<Recordset> rs;
  ASSERT_TRUE(srv.ReadRecordset("SELECT v FROM t", rs));
  EXPECT_EQ(rs->Fields().Item(0).Value().ToLong(), 7);

  // A full connection text is taken as it is.
  const auto plain = dir / "plain.db";
  testing::MakeDatabase(plain, "CREATE TABLE t (v INTEGER);");
  EXPECT_TRUE(srv.ConnectionString(" Data Source = " + plain.string() + "; Mode=Read"));
  EXPECT_EQ(srv.connection_text(), " Data Source = " + plain.string() + "; Mode=Read");
}

TEST(ReadDataTest, TheGateRefusesEveryReadUntilActivePortIs80) {
  BrowserDatabase db;
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  s.ActivePort = 0;
  s.Talking = true;
  auto before = db.Open("SELECT 1");
  s.mRS = before;
  // No data service exists: a read that got past the gate would raise 91.
  EXPECT_FALSE(ReadData(s, "EXEC xspb1", s.mRS));
  EXPECT_FALSE(ReadData(s, "EXEC xspb1", s.mRS));
  EXPECT_EQ(s.mRS, before);
  EXPECT_EQ(b.events->lines, (std::vector<std::string>{"BlaBla|Please set ActivePort to 80",
                                                       "BlaBla|Please set ActivePort to 80"}));
}

TEST(ReadDataTest, FailedReadsAreReportedWithTheQueryAsPassed) {
  BrowserDatabase db;
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  try {
    ReadData(s, "EXEC xspb1", s.mRS);
    FAIL() << "a read without a data service must raise";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 91);
  }

  s.mSrv = std::make_shared<Srv>();
  ASSERT_TRUE(s.mSrv->ConnectionString(db.path().string()));
  EXPECT_TRUE(ReadData(s, "EXEC xspb1", s.mRS));
  EXPECT_FALSE(ReadData(s, "EXEC  bad one", s.mRS));  // silent without Talking
  s.Talking = true;
  EXPECT_FALSE(ReadData(s, "EXEC  bad one", s.mRS));
  EXPECT_EQ(s.mRS, nullptr);
  EXPECT_EQ(b.events->lines,
            (std::vector<std::string>{
                "BlaBla|Unable to Access Data for the SQL : EXEC  bad one",
                "BlaBla|Cause: Malformed EXEC call: a number, a '...' string or NULL is expected "
                "at position 11 (reading procedure bad)"}));
}

// A broken procedure: with Talking, the failed read's line is followed by the cause in the
// database's own words and the procedure being read, but not the call's argument values (they
// come from record values); without Talking nothing is said.
TEST(ReadDataTest, AFailedReadSaysItsCauseWithoutTheArguments) {
  BrowserDatabase db;
  db.AddProcedure("NoTable", "SELECT * FROM vanished WHERE id = @id");
  db.AddProcedure("NoColumn", "SELECT missing_column FROM nimbo_procedures WHERE name = @id");
  db.AddProcedure("BadRun", "SELECT abs(-9223372036854775807 - 1) WHERE @id IS NOT NULL");
  BrowserUnderTest b(db);
  ControlState& s = StateOf(b.control);
  s.mSrv = std::make_shared<Srv>();
  ASSERT_TRUE(s.mSrv->ConnectionString(db.path().string()));
  const struct {
    const char* query;
    const char* cause;
  } cases[] = {
      {"EXEC NoTable @id='Secret O''Brien'", "no such table: vanished"},
      {"EXEC NoColumn 'Secret O''Brien'", "no such column: missing_column"},
      {"EXEC BadRun 'Secret O''Brien'", "integer overflow"},
      {"SELECT * FROM vanished", "no such table: vanished"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    s.Talking = false;
    b.events->lines.clear();
    EXPECT_FALSE(ReadData(s, c.query, s.mRS));
    EXPECT_EQ(b.events->lines, std::vector<std::string>{});
    s.Talking = true;
    EXPECT_FALSE(ReadData(s, c.query, s.mRS));
    ASSERT_EQ(b.events->lines.size(), 2u);
    EXPECT_EQ(b.events->lines[0],
              std::string("BlaBla|Unable to Access Data for the SQL : ") + c.query);
    const std::string& cause = b.events->lines[1];
    EXPECT_EQ(cause.rfind("BlaBla|Cause: ", 0), 0u) << cause;
    EXPECT_NE(cause.find(c.cause), std::string::npos) << cause;
    const std::string name = std::string(c.query).substr(5, std::string(c.query).find(' ', 5) - 5);
    if (c.query[0] == 'E') {
      EXPECT_NE(cause.find(name), std::string::npos) << cause;
    }
    EXPECT_EQ(cause.find("Secret"), std::string::npos) << cause;
  }
}

// A read that a limit stops fails like any other, and with Talking a second line names the
// limit, so that the designer knows why a query that is correct failed.
TEST(ReadDataTest, AReadStoppedByALimitSaysWhich) {
  BrowserDatabase db;
  const std::string deep = testing::NestedShape(65, true);
  db.AddProcedure("deep", deep);
  db.AddProcedure("endless",
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                  "SELECT count(*) FROM n");
  db.AddProcedure("huge",
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                  "SELECT i, 'some text' FROM n");
  BrowserUnderTest b(db);
  b.control.Talking(true);
  b.control.CommandTimeout(1);
  b.control.RecordsetMemoryLimit(2);
  ControlState& s = StateOf(b.control);
  s.mSrv = std::make_shared<Srv>();
  ASSERT_TRUE(s.mSrv->ConnectionString(db.path().string()));
  const struct {
    const char* query;
    std::string cause;
  } cases[] = {
      {"EXEC deep",
       "SHAPE commands may nest at most 64 levels deep; a deeper one starts at position " +
           std::to_string(deep.rfind("SHAPE") + 1)},
      {"EXEC endless", "Query timeout expired: the query ran longer than 1 s and was stopped"},
      {"EXEC huge",
       "The records of the query would take more than 2 MiB, the most one record set may take, "
       "and the read was stopped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    b.events->lines.clear();
    EXPECT_FALSE(ReadData(s, c.query, s.mRS));
    EXPECT_EQ(s.mRS, nullptr);
    EXPECT_EQ(b.events->lines,
              (std::vector<std::string>{
                  std::string("BlaBla|Unable to Access Data for the SQL : ") + c.query,
                  "BlaBla|" + c.cause}));
  }
  // Raised limits let the same read through; 0 is no limit.
  b.control.RecordsetMemoryLimit(0);
  b.events->lines.clear();
  EXPECT_TRUE(ReadData(s, "EXEC xspb1", s.mRS));
  EXPECT_EQ(b.events->lines, std::vector<std::string>{});
}

}  // namespace
}  // namespace nimbo
