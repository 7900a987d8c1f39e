// The limits of a connection on real SQLite files: a query that runs without end is stopped at
// its time-out, and one whose records would take too much memory is stopped before it takes
// it; either way the connection goes on serving the next command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "testing/sqlite_fixture.h"

namespace nimbo {
namespace {

using ::nimbo::testing::FixtureDatabase;
using ::testing::HasSubstr;

constexpr std::int64_t kMiB = std::int64_t{1} << 20;

// Queries that never end: counting an endless sequence returns no row at all, listing it
// returns rows without end, and a text that doubles at each step grows without end.
const char kEndlessCount[] =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n";
const char kEndlessRows[] =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n";
const char kEndlessText[] =
    "WITH RECURSIVE t(s) AS (SELECT 'ab' UNION ALL SELECT s || s FROM t) SELECT s FROM t";

TEST(CommandLimitsTest, DefaultsAndRefusedValues) {
  auto connection = CreateConnection();
  EXPECT_EQ(connection->CommandTimeout(), 30);
  EXPECT_EQ(connection->MaxRecordsetBytes(), std::int64_t{1} << 30);
  for (const auto& set : {+[](Connection& c) { c.CommandTimeout(-1); },
                          +[](Connection& c) { c.MaxRecordsetBytes(-1); }}) {
    try {
      set(*connection);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kArgumentsWrongType);
    }
  }
  EXPECT_EQ(connection->CommandTimeout(), 30);
  EXPECT_EQ(connection->MaxRecordsetBytes(), std::int64_t{1} << 30);
}

TEST(CommandLimitsTest, RunawayQueriesAreStoppedAndTheConnectionReadsOn) {
  FixtureDatabase db("CREATE TABLE t (v INTEGER); INSERT INTO t VALUES (1), (2);");
  db.AddProcedure("endless_chapter", std::string("SHAPE {SELECT 1 AS ID} APPEND ({") +
                                         kEndlessRows + "} RELATE ID TO i) AS Numbers");
  const struct {
    const char* command;
    std::int32_t timeout;
    std::int64_t max_bytes;
    int error;
    const char* message;
  } cases[] = {
      {kEndlessCount, 1, 0, err::kQueryTimeout,
       "Query timeout expired: the query ran longer than 1 s and was stopped"},
      {kEndlessRows, 0, 4 * kMiB, err::kRecordsetTooLarge,
       "The records of the query would take more than 4 MiB, the most one record set may take, "
       "and the read was stopped"},
      {kEndlessText, 0, 4 * kMiB, err::kRecordsetTooLarge, "more than 4 MiB"},
      // One value too long is refused while SQLite builds it, before the reader sees it.
      {"SELECT zeroblob(8388608)", 0, 4 * kMiB, err::kRecordsetTooLarge, "more than 4 MiB"},
      {"EXEC endless_chapter", 0, 4 * kMiB, err::kRecordsetTooLarge, "more than 4 MiB"},
      // With both limits set, each still stops the query it is there for.
      {kEndlessRows, 600, 4 * kMiB, err::kRecordsetTooLarge, "more than 4 MiB"},
      {kEndlessCount, 1, 4 * kMiB, err::kQueryTimeout, "ran longer than 1 s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    db.connection()->CommandTimeout(c.timeout);
    db.connection()->MaxRecordsetBytes(c.max_bytes);
    try {
      db.Open(c.command);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.error);
      EXPECT_THAT(e.description(), HasSubstr(c.message));
    }
    EXPECT_EQ(db.Open("SELECT v FROM t")->RecordCount(), 2);
  }
}

// What fits within the limits is read whole, up to close to the limit: 100,000 rows of one
// integer take about 1 MiB of cells, with room to grow, and a text of 1 MiB takes its length.
TEST(CommandLimitsTest, RecordsThatFitAreReadWhole) {
  FixtureDatabase db;
  db.connection()->CommandTimeout(60);
  db.connection()->MaxRecordsetBytes(4 * kMiB);
  EXPECT_EQ(db.Open("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                    "100000) SELECT i FROM n")
                ->RecordCount(),
            100000);
  auto text = db.Open("SELECT zeroblob(1048576) AS b");
  EXPECT_EQ(text->Fields().Item(0).Value().bytes().size(), 1048576u);
  // No limit at all.
  db.connection()->CommandTimeout(0);
  db.connection()->MaxRecordsetBytes(0);
  EXPECT_EQ(db.Open("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                    "1000000) SELECT i FROM n")
                ->RecordCount(),
            1000000);
}

// The limits hold from the opening of the database on: set before Open, they apply to the
// first command.
TEST(CommandLimitsTest, LimitsSetBeforeOpeningApply) {
  FixtureDatabase db;
  auto connection = CreateConnection();
  connection->CommandTimeout(1);
  connection->Open("Data Source=" + db.path().string());
  auto rs = CreateRecordset();
  rs->ActiveConnection(connection);
  try {
    rs->Open(kEndlessCount);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kQueryTimeout);
  }
}

}  // namespace
}  // namespace nimbo
