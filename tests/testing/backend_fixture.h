// One fixture database on either back end, so a table of cases runs on SQLite and PostgreSQL
// alike: a real SQLite file, or a fresh database on the test server; both with the procedure
// catalog, plus whatever SQL the test adds.
#ifndef NIMBO_TESTS_TESTING_BACKEND_FIXTURE_H_
#define NIMBO_TESTS_TESTING_BACKEND_FIXTURE_H_

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "nimbo/record_source.h"
#include "testing/pg_fixture.h"
#include "testing/sqlite_fixture.h"

namespace nimbo::testing {

enum class BackendKind { kSqlite, kPostgres };

inline std::string BackendName(BackendKind kind) {
  return kind == BackendKind::kSqlite ? "SQLite" : "PostgreSQL";
}
inline void PrintTo(BackendKind kind, std::ostream* out) { *out << BackendName(kind); }

// SQL that differs between the back ends' dialects; `pg` empty means the same text serves both.
struct DialectSql {
  std::string sqlite;
  std::string pg;

  DialectSql(const char* both = "") : sqlite(both) {}  // NOLINT: one text for both
  DialectSql(std::string both) : sqlite(std::move(both)) {}  // NOLINT
  DialectSql(std::string sqlite_text, std::string pg_text)
      : sqlite(std::move(sqlite_text)), pg(std::move(pg_text)) {}

  const std::string& For(BackendKind kind) const {
    return kind == BackendKind::kPostgres && !pg.empty() ? pg : sqlite;
  }
};

class BackendDatabase {
 public:
  BackendDatabase(BackendKind kind, const DialectSql& sql) : kind_(kind) {
    if (kind_ == BackendKind::kSqlite) {
      sqlite_ = std::make_unique<FixtureDatabase>(sql.For(kind_));
      connection_ = sqlite_->connection();
      return;
    }
    pg_ = std::make_unique<PgDatabase>();
    pg_->Execute("CREATE TABLE nimbo_procedures (name text PRIMARY KEY, body text NOT NULL);" +
                 sql.For(kind_));
    connection_ = CreateConnection();
    connection_->Open(connection_text());
  }

  BackendKind kind() const { return kind_; }

  // The text a connection opens this database with.
  std::string connection_text() const {
    return kind_ == BackendKind::kSqlite ? "Data Source=" + sqlite_->path().string()
                                         : "Data Source=" + pg_->uri();
  }

  // Runs SQL on the database through a writable connection of the test's own.
  void Execute(const DialectSql& sql) const {
    if (kind_ == BackendKind::kSqlite) {
      MakeDatabase(sqlite_->path(), sql.For(kind_));
    } else {
      pg_->Execute(sql.For(kind_));
    }
  }

  void AddProcedure(const std::string& name, const DialectSql& body) const {
    std::string quoted;
    for (char c : body.For(kind_)) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    Execute(DialectSql("INSERT INTO nimbo_procedures VALUES ('" + name + "', '" + quoted + "');"));
  }

  // The number of rows a query returns when run straight on the database.
  int CountRows(const std::string& sql) const {
    if (kind_ == BackendKind::kSqlite) return testing::CountRows(sqlite_->path(), sql);
    return static_cast<int>(pg_->Query(sql).size());
  }

  // Opens a record set the way the data service does and cuts it from the connection.
  std::shared_ptr<Recordset> Open(std::string_view command) const {
    std::shared_ptr<Recordset> recordset = CreateRecordset();
    recordset->ActiveConnection(connection_);
    recordset->CursorLocation(kUseClient);
    recordset->CursorType(kOpenForwardOnly);
    recordset->LockType(kLockReadOnly);
    recordset->Open(command);
    recordset->ActiveConnection(nullptr);
    return recordset;
  }

  const std::shared_ptr<Connection>& connection() const { return connection_; }
  PgDatabase* pg() const { return pg_.get(); }

 private:
  BackendKind kind_;
  std::unique_ptr<FixtureDatabase> sqlite_;
  std::unique_ptr<PgDatabase> pg_;
  std::shared_ptr<Connection> connection_;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_BACKEND_FIXTURE_H_
