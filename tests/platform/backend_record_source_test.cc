// The record source on both back ends from one table of cases: the same fixture on a SQLite file
// and on a database of the test's PostgreSQL server must read the same, fail the same way and
// change nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/backend_fixture.h"

namespace nimbo {
namespace {

using ::nimbo::testing::BackendDatabase;
using ::nimbo::testing::BackendKind;
using ::nimbo::testing::DialectSql;
using ::testing::HasSubstr;

// Identifiers are quoted so that both back ends keep their letter case.
const char kCustomers[] =
    "CREATE TABLE customers (\"ID\" INTEGER PRIMARY KEY, \"Name\" TEXT, \"Region\" TEXT);"
    "INSERT INTO customers VALUES (1, 'Ann', 'North'), (2, 'Bob', 'South'), (3, 'Cy', 'North');"
    "CREATE TABLE orders (\"OID\" INTEGER PRIMARY KEY, \"CustID\" INTEGER, \"Amount\" INTEGER);"
    "INSERT INTO orders VALUES (10, 1, 5), (11, 3, 7), (12, 1, 9);";

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

class BackendTest : public ::testing::TestWithParam<BackendKind> {
 protected:
  void SetUp() override {
    if (GetParam() == BackendKind::kPostgres) NIMBO_SKIP_WITHOUT_PG();
  }
  BackendDatabase Make(const DialectSql& sql = "") const { return BackendDatabase(GetParam(), sql); }
  bool pg() const { return GetParam() == BackendKind::kPostgres; }
};

std::vector<std::string> Column(Recordset& rs, const std::string& name) {
  std::vector<std::string> values;
  for (; !rs.Eof(); rs.MoveNext()) {
    const Variant value = rs.Fields().Item(name).Value();
    values.push_back(value.IsNull() ? "<null>" : value.ToText());
  }
  return values;
}

TEST_P(BackendTest, WalksForwardAndReadsOnWithTheConnectionGone) {
  const BackendDatabase db = Make(kCustomers);
  auto connection = CreateConnection();
  connection->Open(db.connection_text());
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  rs->Open("SELECT \"ID\", \"Name\" FROM customers ORDER BY \"ID\"");
  rs->ActiveConnection(nullptr);
  connection->Close();
  connection.reset();
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->Fields().Item(1).Name(), "Name");
  EXPECT_EQ(rs->Fields().Item("name").Value(), Variant("Ann"));
  EXPECT_EQ(rs->Fields().Item(0).Value(), Variant(std::int16_t{1}));
  rs->MoveNext();
  const Rows rows = rs->GetRows();
  ASSERT_EQ(rows.row_count(), 2);
  EXPECT_EQ(rows(0, 0), Variant(std::int16_t{2}));
  EXPECT_EQ(rows(1, 1), Variant("Cy"));
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), err::kNoCurrentRecord);

  auto empty = db.Open("SELECT * FROM customers WHERE \"ID\" > 99");
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_TRUE(empty->Eof() && empty->Bof());
  EXPECT_EQ(empty->Fields().Count(), 3);
  EXPECT_EQ(ErrorOf([&] { empty->GetRows(); }), err::kNoCurrentRecord);
}

TEST_P(BackendTest, ProceduresBindArgumentsByPositionAndNameAndLeaveTheRestNull) {
  const BackendDatabase db = Make(kCustomers);
  db.AddProcedure("echo3", {"SELECT @a AS a, @b AS b, @c AS c",
                            "SELECT @a::int AS a, @b::text AS b, @c::float8 AS c"});
  db.AddProcedure("xspb3", {"SELECT @I1 AS id, 'x', 'y', "
                            "CASE @I1 WHEN 1 THEN 'front' ELSE 'head' END",
                            "SELECT @I1::int AS id, 'x', 'y', "
                            "CASE @I1::int WHEN 1 THEN 'front' ELSE 'head' END"});
  db.AddProcedure("ByRegion", "SELECT \"Name\" FROM customers WHERE \"Region\" = @r ORDER BY \"ID\"");
  // PostgreSQL's own positional parameters.
  db.AddProcedure("Positional", {"SELECT ?1 AS first, ?2 AS second",
                                 "SELECT $1::int AS first, $2::text AS second"});

  auto rs = db.Open("EXEC echo3 1, 'two', 3.5");
  EXPECT_EQ(rs->Fields().Item("a").Value(), Variant(std::int16_t{1}));
  EXPECT_EQ(rs->Fields().Item("b").Value(), Variant("two"));
  EXPECT_EQ(rs->Fields().Item("c").Value(), Variant(3.5));

  rs = db.Open("exec ECHO3 @C = 2.25");  // names and letter case as the caller likes
  EXPECT_TRUE(rs->Fields().Item("a").Value().IsNull());
  EXPECT_TRUE(rs->Fields().Item("b").Value().IsNull());
  EXPECT_EQ(rs->Fields().Item("c").Value(), Variant(2.25));

  rs = db.Open("EXEC xspb3 @I1=2");
  EXPECT_EQ(rs->Fields().Item(3).Value(), Variant("head"));
  rs = db.Open("EXEC xspb3 @i1 = 1");
  EXPECT_EQ(rs->Fields().Item(3).Value(), Variant("front"));

  rs = db.Open("EXEC ByRegion 'North'");
  EXPECT_EQ(Column(*rs, "Name"), (std::vector<std::string>{"Ann", "Cy"}));
  rs = db.Open("EXEC ByRegion ");  // an empty macro: the parameter stays NULL, matching nothing
  EXPECT_EQ(rs->RecordCount(), 0);

  rs = db.Open("EXEC positional 7, 'seven'");
  EXPECT_EQ(rs->Fields().Item("first").Value(), Variant(std::int16_t{7}));
  EXPECT_EQ(rs->Fields().Item("second").Value(), Variant("seven"));
}

TEST_P(BackendTest, ShapeRunsEachQueryOnceAndRelatesWithoutRegardToCase) {
  const BackendDatabase db = Make(kCustomers);
  // Both queries see the call's @region; RELATE names differ in case from the columns.
  db.AddProcedure("Shaped",
                  "SHAPE {SELECT \"ID\", \"Name\" FROM customers WHERE \"Region\" = @region "
                  "ORDER BY \"ID\"} "
                  "APPEND ({SELECT o.\"CustID\", o.\"Amount\" FROM orders o JOIN customers c "
                  "ON c.\"ID\" = o.\"CustID\" WHERE c.\"Region\" = @region ORDER BY o.\"OID\"} "
                  "RELATE id TO custid) AS Orders");
  auto rs = db.Open("EXEC Shaped 'North'");
  ASSERT_EQ(rs->RecordCount(), 2);
  ASSERT_EQ(rs->Fields().Count(), 3);
  EXPECT_EQ(rs->Fields().Item(2).Name(), "Orders");
  EXPECT_EQ(rs->Fields().Item(2).Type(), field_type::kChapter);
  std::vector<std::vector<std::string>> amounts;
  for (; !rs->Eof(); rs->MoveNext()) {
    auto child = rs->Fields().Item("Orders").Value().object();
    amounts.push_back(Column(*child, "Amount"));
  }
  EXPECT_EQ(amounts, (std::vector<std::vector<std::string>>{{"5", "9"}, {"7"}}));
}

struct RejectCase {
  std::string command;
  std::string sqlite_message;
  std::string pg_message;
};

TEST_P(BackendTest, RejectsCallsAndBodiesThatCannotRunAndChangesNothing) {
  const BackendDatabase db = Make(kCustomers);
  db.AddProcedure("one", {"SELECT @a AS a", "SELECT @a::int AS a"});
  db.AddProcedure("writes", "DELETE FROM customers");
  db.AddProcedure("returning", "DELETE FROM customers RETURNING *");
  db.AddProcedure("hidden_write",
                  "WITH gone AS (DELETE FROM customers RETURNING *) SELECT * FROM gone");
  db.AddProcedure("two", "SELECT 1; SELECT 2");
  db.AddProcedure("broken", "SELECT * FROM nowhere");
  const std::vector<RejectCase> cases = {
      {"EXEC nosuch", "Unknown procedure nosuch", "Unknown procedure nosuch"},
      {"EXEC one 1, 2", "Procedure one has 1 parameter but was given 2 arguments",
       "Procedure one has 1 parameter but was given 2 arguments"},
      {"EXEC one @b = 1", "Procedure one has no parameter @b",
       "Procedure one has no parameter @b"},
      {"EXEC one 'x", "unterminated string starting at position 10",
       "unterminated string starting at position 10"},
      {"EXEC writes", "Procedure writes: the body is not a SELECT or WITH query",
       "Procedure writes: the body is not a SELECT or WITH query"},
      {"EXEC returning", "Procedure returning: the body is not a SELECT or WITH query",
       "Procedure returning: the body is not a SELECT or WITH query"},
      {"EXEC hidden_write", "Procedure hidden_write: ",
       "Procedure hidden_write: cannot execute SELECT in a read-only transaction"},
      {"EXEC two", "Procedure two: only one statement can be run",
       "Procedure two: cannot insert multiple commands into a prepared statement"},
      {"EXEC broken", "Procedure broken: no such table: nowhere",
       "Procedure broken: relation \"nowhere\" does not exist"},
      {"DELETE FROM customers", "not an EXEC call, a SELECT or WITH query, or a SHAPE command",
       "not an EXEC call, a SELECT or WITH query, or a SHAPE command"},
      {std::string("SELECT 1;\0DROP TABLE customers", 30), "NUL", "NUL"},
  };
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(c.command);
    auto rs = CreateRecordset();
    rs->ActiveConnection(db.connection());
    try {
      rs->Open(c.command);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kCommandError);
      EXPECT_THAT(e.description(), HasSubstr(pg() ? c.pg_message : c.sqlite_message));
    }
    EXPECT_EQ(rs->State(), kStateClosed);
  }
  EXPECT_EQ(db.CountRows("SELECT * FROM customers"), 3);
  // The connection still reads after all that.
  EXPECT_EQ(db.Open("SELECT * FROM customers")->RecordCount(), 3);
}

TEST_P(BackendTest, ArgumentsArriveAsOneValueAndChangeNothing) {
  const BackendDatabase db = Make("CREATE TABLE x (v TEXT); INSERT INTO x VALUES ('kept');");
  db.AddProcedure("echo", {"SELECT @v AS v, length(CAST(@v AS BLOB)) AS n,"
                           " (SELECT count(*) FROM x) AS rows_of_x",
                           "SELECT @v::text AS v, octet_length(@v::text) AS n,"
                           " (SELECT count(*) FROM x) AS rows_of_x"});
  struct Payload {
    std::string text;
    bool pg_refuses;  // PostgreSQL text holds neither NUL nor invalid UTF-8
  };
  const std::vector<Payload> payloads = {
      {"'; DROP TABLE x; --", false},
      {"x'); DELETE FROM x; SELECT ('", false},
      {"$$; DELETE FROM x; $$ @v $1 /* -- \\' \"", false},
      {std::string(1 << 20, 'q') + "'" + std::string(100, 'z'), false},
      {std::string("before\0after", 12), true},
      {"\xff\xfe\xc3(\x80 not UTF-8", true},
  };
  for (const Payload& payload : payloads) {
    SCOPED_TRACE(payload.text.substr(0, 40));
    std::string call = "EXEC echo '";
    for (char c : payload.text) call += c == '\'' ? std::string("''") : std::string(1, c);
    call += "'";
    if (pg() && payload.pg_refuses) {
      EXPECT_EQ(ErrorOf([&] { db.Open(call); }), err::kCommandError);
      continue;
    }
    auto rs = db.Open(call);
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields().Item("n").Value(),
              Variant::Whole(static_cast<std::int64_t>(payload.text.size())));
    const Variant value = rs->Fields().Item("v").Value();
    ASSERT_TRUE(value.IsString());
    EXPECT_EQ(value.str(), payload.text);
    EXPECT_EQ(rs->Fields().Item("rows_of_x").Value(), Variant(std::int16_t{1}));
  }
  EXPECT_EQ(ErrorOf([&] { db.Open("EXEC echo 1; DROP TABLE x"); }), err::kCommandError);
  EXPECT_EQ(db.CountRows("SELECT v FROM x WHERE v = 'kept'"), 1);
}

std::string NameOf(const ::testing::TestParamInfo<BackendKind>& backend) {
  return testing::BackendName(backend.param);
}

INSTANTIATE_TEST_SUITE_P(BothBackends, BackendTest,
                         ::testing::Values(BackendKind::kSqlite, BackendKind::kPostgres), NameOf);

}  // namespace
}  // namespace nimbo
