// What only the PostgreSQL back end has: its connection texts, its column types and their exact
// values, the read-only session, the numbering of @name parameters, and a server that goes away
// or never answers.
#include "platform/db/pg_backend.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/connection_text.h"
#include "platform/db/pg_conninfo.h"
#include "platform/db/pg_parameters.h"
#include "testing/backend_fixture.h"
#include "testing/test_support.h"

namespace nimbo {
namespace {

using ::nimbo::testing::BackendDatabase;
using ::nimbo::testing::BackendKind;
using ::nimbo::testing::PgDatabase;
using ::nimbo::testing::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

std::string DescriptionOf(const std::function<void()>& action, int* number = nullptr) {
  try {
    action();
  } catch (const Error& e) {
    if (number) *number = e.number();
    return e.description();
  }
  return "";
}

// ---- @name parameters (no server needed) ----

struct NumberingCase {
  std::vector<std::string> queries;
  std::vector<std::string> rewritten;
  std::vector<std::string> names;
};

TEST(PgParametersTest, NamesBecomeNumbersOutsideQuotesCommentsAndDollarBodies) {
  const std::vector<NumberingCase> cases = {
      {{"SELECT * FROM t WHERE kind = @I1"}, {"SELECT * FROM t WHERE kind = $1"}, {"@I1"}},
      // Order of first use; a name used twice, in any letter case, is one parameter.
      {{"SELECT @b, @a, @B"}, {"SELECT $1, $2, $1"}, {"@b", "@a"}},
      // Names follow the highest positional parameter.
      {{"SELECT $2, @x, $1"}, {"SELECT $2, $3, $1"}, {"$1", "$2", "@x"}},
      // Not parameters: inside strings, E-strings, quoted names, comments (nested too) and
      // dollar-quoted bodies; operators; a $ inside a name.
      {{"SELECT '@a $1', E'\\'@b', \"@c\", /* @d /* $9 */ @e */ $q$ @f $1 $q$, $$@g$$, "
        "x @> y, x @@ y, @ -1, col$1 -- @h\n, @i"},
       {"SELECT '@a $1', E'\\'@b', \"@c\", /* @d /* $9 */ @e */ $q$ @f $1 $q$, $$@g$$, "
        "x @> y, x @@ y, @ -1, col$1 -- @h\n, $1"},
       {"@i"}},
      // The queries of one body share their numbering.
      {{"SELECT @region", "SELECT $1, @other, @REGION"},
       {"SELECT $2", "SELECT $1, $3, $2"},
       {"$1", "@region", "@other"}},
  };
  for (const NumberingCase& c : cases) {
    SCOPED_TRACE(c.queries.front());
    std::vector<std::string_view> views(c.queries.begin(), c.queries.end());
    const db::PgBodyParameters numbered = db::NumberPgParameters(views);
    EXPECT_EQ(numbered.queries, c.rewritten);
    EXPECT_EQ(numbered.names, c.names);
  }
  EXPECT_EQ(db::NumberPgParameters({"SELECT $3"}).used, (std::vector<bool>{false, false, true}));
  int number = 0;
  DescriptionOf([] { db::NumberPgParameters({"SELECT $70000"}); }, &number);
  EXPECT_EQ(number, err::kCommandError);
}

// ---- Connection texts (no server needed) ----

TEST(PgConnInfoTest, UrisAndTheProviderKeyChooseTheBackEndAndKeepLibpqKeys) {
  using db::ConnectionText;
  struct Case {
    std::string text;
    bool postgres;
  };
  const std::vector<Case> cases = {
      {"Data Source=postgresql:///shop?host=/tmp/s", true},
      {"Data Source=POSTGRES://ann@db.example/shop", true},
      {"Provider=PostgreSQL;host=/tmp/s;dbname=shop;user=ann", true},
      {"provider=postgresql; Data Source=db.example", true},
      {"Provider=Nimbo.SQLite.1;Data Source=\"postgresql://x/y\"", true},
      {"Data Source=/data/postgresql.db", false},
      {"Provider=Nimbo.SQLite.1;Data Source=shop.db", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(db::IsPgConnectionText(ConnectionText::Parse(c.text)), c.postgres) << c.text;
  }
  const db::PgConnInfo info = db::PgConnInfoFrom(ConnectionText::Parse(
      "Provider=PostgreSQL;Data Source=postgresql:///shop;Port=6543;USER=ann;"
      "Persist Security Info=False;sslmode=disable"));
  EXPECT_EQ(info.parameters,
            (std::vector<std::pair<std::string, std::string>>{{"dbname", "postgresql:///shop"},
                                                             {"port", "6543"},
                                                             {"user", "ann"},
                                                             {"sslmode", "disable"}}));
  EXPECT_EQ(db::PgConnInfoFrom(ConnectionText::Parse("Provider=PostgreSQL;Data Source=db.example"))
                .parameters.front(),
            (std::pair<std::string, std::string>{"host", "db.example"}));
}

TEST(PgConnectionTest, AServerThatCannotBeReachedFailsAtOnceWithoutThePassword) {
  TempDir dir;
  const std::vector<std::string> texts = {
      "Data Source=postgresql://ann:s3cret-pw@/shop?host=" + dir.path().string(),
      "Provider=PostgreSQL;host=" + dir.path().string() + ";dbname=shop;password=s3cret-pw",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    auto connection = CreateConnection();
    int number = 0;
    const std::string message = DescriptionOf([&] { connection->Open(text); }, &number);
    EXPECT_EQ(number, err::kProviderError);
    EXPECT_THAT(message, HasSubstr("Cannot connect to database shop on " + dir.path().string()));
    EXPECT_THAT(message, Not(HasSubstr("s3cret")));
    EXPECT_EQ(connection->State(), kStateClosed);
  }
}

// A Unix socket that takes connections and never says a word, like a server that hangs.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (dir_.path() / ".s.PGSQL.5432").string();
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0) {
      ADD_FAILURE() << "cannot listen on " << path;
    }
  }
  ~SilentServer() { close(fd_); }
  std::string dir() const { return dir_.path().string(); }

 private:
  TempDir dir_;
  int fd_ = -1;
};

TEST(PgConnectionTest, AServerThatNeverAnswersEndsInAnErrorNotAHang) {
  SilentServer server;
  auto connection = CreateConnection();
  int number = 0;
  const std::string message = DescriptionOf(
      [&] {
        connection->Open("Data Source=postgresql:///shop?host=" + server.dir() +
                         "&connect_timeout=1");
      },
      &number);
  EXPECT_EQ(number, err::kProviderError);
  EXPECT_THAT(message, HasSubstr("no answer within 1 s"));
}

// ---- On the test server ----

class PgServerTest : public ::testing::Test {
 protected:
  void SetUp() override { NIMBO_SKIP_WITHOUT_PG(); }
};

TEST_F(PgServerTest, ColumnTypesGiveTheirCodesAndExactValues) {
  BackendDatabase db(BackendKind::kPostgres,
                     "CREATE TABLE typed (s int2, i int4, b int8, r float4, d float8, m money,"
                     " n numeric, nl numeric, nf numeric(30,10), dt date, ts timestamp,"
                     " tz timestamptz, bo boolean, tx text, vc varchar(9), ch char(4), by bytea,"
                     " j jsonb, u uuid, iv interval);"
                     "SET lc_monetary = 'C';"
                     "INSERT INTO typed VALUES (-5, 100000, 5000000000, 2.75, 0.1,"
                     " -1234567.89, 12345678901.2345, 0.1234000, 1.0000000001, '2026-12-08',"
                     " '2026-12-08 21:17:44.987', '2026-12-08 21:17:44+05', true, 'abc', 'x',"
                     " 'ab', '\\x00ff0d0a89', '{\"a\": 1}', '0e37df36-f698-11e6-8dd4-cb9ced3df976',"
                     " '1 day 02:00:00');");
  db.pg()->Execute("ALTER DATABASE " + db.pg()->name() + " SET TimeZone = 'UTC'");
  auto connection = CreateConnection();
  connection->Open(db.connection_text());
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  rs->Open("SELECT * FROM typed");
  struct Case {
    std::string column;
    int type;
    Variant value;
  };
  const std::vector<Case> cases = {
      {"s", 2, Variant(std::int16_t{-5})},
      {"i", 3, Variant(std::int32_t{100000})},
      {"b", 20, Variant(5000000000.0)},
      {"r", 4, Variant(2.75)},
      {"d", 5, Variant(0.1)},
      // Exact amounts, never by way of a double.
      {"m", 6, Variant(Currency{-12345678900})},
      {"n", 131, Variant(Currency{123456789012345})},
      {"nl", 131, Variant(Currency{1234})},
      // Past four decimals a numeric is the nearest double.
      {"nf", 131, Variant(1.0000000001)},
      {"dt", 7, Variant(MakeDate(2026, 12, 8))},
      {"ts", 7, Variant(MakeDate(2026, 12, 8, 21, 17, 44))},
      {"tz", 7, Variant(MakeDate(2026, 12, 8, 16, 17, 44))},
      {"bo", 11, Variant(true)},
      {"tx", 202, Variant("abc")},
      {"vc", 202, Variant("x")},
      {"ch", 202, Variant("ab  ")},
      {"by", 205, Variant(Bytes{0x00, 0xff, 0x0d, 0x0a, 0x89})},
      {"j", 202, Variant("{\"a\": 1}")},
      {"u", 202, Variant("0e37df36-f698-11e6-8dd4-cb9ced3df976")},
      {"iv", 202, Variant("1 day 02:00:00")},
  };
  ASSERT_EQ(rs->Fields().Count(), static_cast<int>(cases.size()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    const Field& field = rs->Fields().Item(c.column);
    EXPECT_EQ(field.Type(), c.type);
    EXPECT_EQ(field.Value(), c.value);
  }
  // Nulls stay null whatever the type.
  rs = CreateRecordset();
  rs->ActiveConnection(connection);
  rs->Open("SELECT NULL::int4, NULL::money, NULL::numeric, NULL::date, NULL::bytea, NULL::bool");
  for (int i = 0; i < rs->Fields().Count(); ++i) {
    EXPECT_TRUE(rs->Fields().Item(i).Value().IsNull()) << i;
  }
}

TEST_F(PgServerTest, BigPicturesArriveByteForByte) {
  BackendDatabase db(BackendKind::kPostgres, "CREATE TABLE pictures (id int, picture bytea);");
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes.push_back(static_cast<char>((static_cast<unsigned>(i) * 7919u) % 256u));
  std::string hex = "\\x";
  for (unsigned char c : bytes) hex += fmt::format("{:02x}", c);
  db.Execute("INSERT INTO pictures VALUES (1, '" + hex + "')");
  db.AddProcedure("Picture", "SELECT picture FROM pictures WHERE id = @id");
  auto rs = db.Open("EXEC Picture 1");
  const Variant value = rs->Fields().Item(0).Value();
  ASSERT_EQ(value.type(), VarType::kBytes);
  EXPECT_EQ(std::string(value.bytes().begin(), value.bytes().end()), bytes);
}

TEST_F(PgServerTest, NothingABodyDoesOutlivesItsCommand) {
  BackendDatabase db(BackendKind::kPostgres,
                     "CREATE TABLE customers (id int); INSERT INTO customers VALUES (1), (2);");
  // A body that turns read-only mode off for the session, then one that writes.
  db.AddProcedure("unlock",
                  "SELECT set_config('default_transaction_read_only', 'off', false) AS v");
  db.AddProcedure("wipe", "WITH gone AS (DELETE FROM customers RETURNING *) SELECT * FROM gone");
  db.AddProcedure("grab", "SELECT nextval('s') AS v");
  db.Execute("CREATE SEQUENCE s");
  EXPECT_EQ(db.Open("EXEC unlock")->Fields().Item(0).Value(), Variant("off"));
  int number = 0;
  EXPECT_THAT(DescriptionOf([&] { db.Open("EXEC wipe"); }, &number),
              HasSubstr("read-only transaction"));
  EXPECT_EQ(number, err::kCommandError);
  EXPECT_THAT(DescriptionOf([&] { db.Open("EXEC grab"); }), HasSubstr("read-only transaction"));
  EXPECT_EQ(db.CountRows("SELECT * FROM customers"), 2);
}

TEST_F(PgServerTest, ALostConnectionIsAReadErrorAndTheNextReadConnectsAgain) {
  BackendDatabase db(BackendKind::kPostgres, "CREATE TABLE t (v int); INSERT INTO t VALUES (7);");
  EXPECT_EQ(db.Open("SELECT v FROM t")->RecordCount(), 1);
  // The server ends the record source's session, as when it restarts.
  db.pg()->Execute(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database()"
      " AND application_name = 'nimbo'");
  int number = 0;
  const std::string message = DescriptionOf([&] { db.Open("SELECT v FROM t"); }, &number);
  EXPECT_EQ(number, err::kProviderError) << message;
  EXPECT_THAT(message, HasSubstr(db.pg()->name()));
  auto rs = db.Open("SELECT v FROM t");
  EXPECT_EQ(rs->Fields().Item(0).Value(), Variant(std::int16_t{7}));
}

TEST_F(PgServerTest, TheCommandLimitsStopAStatementAndTheSessionGoesOn) {
  PgDatabase pg;
  db::CommandLimits limits;
  limits.timeout = std::chrono::milliseconds(200);
  auto backend = db::OpenPgBackend(db::ConnectionText::Parse("Data Source=" + pg.uri()), limits);
  int number = 0;
  EXPECT_THAT(DescriptionOf([&] { backend->Run("SELECT pg_sleep(30)", limits); }, &number),
              HasSubstr("Query timeout expired"));
  EXPECT_EQ(number, err::kQueryTimeout);
  EXPECT_EQ(backend->Run("SELECT 1 AS one", limits)->row_count(), 1u);

  // Rows past the memory budget stop the read before they are stored; the next command reads.
  db::CommandLimits small;
  small.max_bytes = 64 * 1024;
  DescriptionOf([&] { backend->Run("SELECT repeat('x', 100) FROM generate_series(1, 10000)",
                                   small); }, &number);
  EXPECT_EQ(number, err::kRecordsetTooLarge);
  EXPECT_EQ(backend->Run("SELECT count(*) FROM generate_series(1, 10000)", small)->row_count(),
            1u);
}

TEST_F(PgServerTest, ShapeRelatesExactNumbersByValue) {
  BackendDatabase db(BackendKind::kPostgres, "");
  // A sum comes back as a numeric ("2.00", "3.50"); it matches the integer and float keys of the
  // child by value, not by its digits.
  auto rs = db.Open(
      "SHAPE {SELECT k, sum(v)::numeric(9,2) AS total FROM (VALUES (2, 1.0), (2, 1.0), (3, 3.5))"
      " AS t(k, v) GROUP BY k ORDER BY k}"
      " APPEND ({SELECT * FROM (VALUES (2, 'two'), (3, 'three')) AS c(total, name)}"
      " RELATE total TO total) AS ByInteger,"
      " ({SELECT * FROM (VALUES (3.5::float8, 'three and a half')) AS c(total, name)}"
      " RELATE total TO total) AS ByFloat");
  ASSERT_EQ(rs->RecordCount(), 2);
  auto child = [&](const char* chapter) {
    auto records = rs->Fields().Item(chapter).Value().object();
    return records->RecordCount() == 1 ? records->Fields().Item("name").Value().str()
                                       : std::to_string(records->RecordCount());
  };
  EXPECT_EQ(child("ByInteger"), "two");
  EXPECT_EQ(child("ByFloat"), "0");
  rs->MoveNext();
  EXPECT_EQ(child("ByInteger"), "0");
  EXPECT_EQ(child("ByFloat"), "three and a half");
}

TEST_F(PgServerTest, ProceduresAreFoundWithoutRegardToCaseAndAMissingCatalogIsNamed) {
  BackendDatabase db(BackendKind::kPostgres, "");
  db.AddProcedure("ShopList", "SELECT 'mixed' AS v");
  db.AddProcedure("shoplist", "SELECT 'lower' AS v");
  // An exact spelling wins over one that differs in letter case only.
  EXPECT_EQ(db.Open("EXEC shoplist")->Fields().Item(0).Value(), Variant("lower"));
  EXPECT_EQ(db.Open("EXEC ShopList")->Fields().Item(0).Value(), Variant("mixed"));
  EXPECT_EQ(db.Open("EXEC SHOPLIST")->RecordCount(), 1);
  db.Execute("DROP TABLE nimbo_procedures");
  EXPECT_THAT(DescriptionOf([&] { db.Open("EXEC xspb1"); }),
              HasSubstr("Unknown procedure xspb1: the database has no procedure catalog"));
}

}  // namespace
}  // namespace nimbo
