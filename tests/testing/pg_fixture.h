// The throwaway PostgreSQL server of the tests (started by ctest's pg_server fixture, see
// tests/testing/pg_server.sh) and fresh databases on it, each dropped when the test ends.
#ifndef NIMBO_TESTS_TESTING_PG_FIXTURE_H_
#define NIMBO_TESTS_TESTING_PG_FIXTURE_H_

#include <optional>
#include <string>
#include <vector>

namespace nimbo::testing {

// The URI of the test server's maintenance database: $NIMBO_PG_URI, else the one the fixture
// wrote to $NIMBO_PG_STATE/uri. Nullopt when there is none, with the reason in `why`.
std::optional<std::string> PgServerUri(std::string& why);

// Skips the current test, saying why, when there is no test server.
#define NIMBO_SKIP_WITHOUT_PG()                                  \
  do {                                                           \
    std::string nimbo_pg_why;                                    \
    if (!::nimbo::testing::PgServerUri(nimbo_pg_why)) {          \
      GTEST_SKIP() << "no PostgreSQL test server: " << nimbo_pg_why; \
    }                                                            \
  } while (false)

using PgRow = std::vector<std::optional<std::string>>;

// A new empty database on the test server, dropped (with its connections) by the destructor.
// Its connections are ordinary writable ones, for setting fixtures up and looking behind the
// record source's back.
class PgDatabase {
 public:
  // Throws std::runtime_error when there is no server or the database cannot be made.
  PgDatabase();
  ~PgDatabase();
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  // Runs SQL text (any number of statements); throws std::runtime_error with the server's
  // message when it fails.
  void Execute(const std::string& sql) const;
  // Every row of a query, values in their text form (NULL as nullopt).
  std::vector<PgRow> Query(const std::string& sql) const;

  // The database's URI ("postgresql:///name?host=...&user=...").
  const std::string& uri() const { return uri_; }
  const std::string& name() const { return name_; }

 private:
  std::string server_uri_;
  std::string name_;
  std::string uri_;
};

// Runs SQL text on the database behind a URI; throws std::runtime_error on failure.
std::vector<PgRow> PgQuery(const std::string& uri, const std::string& sql);

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_PG_FIXTURE_H_
