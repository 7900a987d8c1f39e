// Small SQLite fixture databases for the tests: real files made from SQL text in a
// temporary folder, opened through the public record-source objects.
#ifndef NIMBO_TESTS_TESTING_SQLITE_FIXTURE_H_
#define NIMBO_TESTS_TESTING_SQLITE_FIXTURE_H_

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "nimbo/record_source.h"
#include "testing/test_support.h"

namespace nimbo::testing {

// Creates (or extends) a database file by running SQL text on it.
inline void MakeDatabase(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + path.string());
  }
  char* message = nullptr;
  // Fixtures are throw-away files: no need to wait for the disk.
  const std::string script = "PRAGMA synchronous=OFF;" + sql;
  const int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message);
  const std::string error = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("fixture SQL failed: " + error);
}

// The number of rows a query returns when run straight on the file (to check that nothing
// changed behind the record source's back).
inline int CountRows(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  int rows = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    rows = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) ++rows;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

// A SHAPE command of `levels` nested SHAPE commands, each level one record with ID 1. As
// children, each level is the child table of the one above it (levels chapters deep); as
// parents, each level is the parent table of the one above it, which adds a chapter "c<level>".
inline std::string NestedShape(int levels, bool as_children) {
  // Written outside in, level by level, so that 20,000 levels take no more than linear time.
  std::string text;
  for (int level = levels; level >= 1; --level) {
    if (level < levels) text += '(';
    text += as_children ? "SHAPE {SELECT 1 AS ID} APPEND (" : "SHAPE ";
  }
  text += "{SELECT 1 AS ID}";
  for (int level = 1; level <= levels; ++level) {
    text += as_children ? " RELATE ID TO ID) AS c"
                        : " APPEND ({SELECT 1 AS ID} RELATE ID TO ID) AS c" + std::to_string(level);
    if (level < levels) text += ')';
  }
  return text;
}

// A database file in a temporary folder with the procedure catalog, plus whatever SQL the test
// adds, and a connection open on it.
class FixtureDatabase {
 public:
  explicit FixtureDatabase(const std::string& sql = "") : path_(dir_ / "fixture.db") {
    MakeDatabase(path_,
                 "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, "
                 "body TEXT NOT NULL);" +
                     sql);
    connection_ = CreateConnection();
    connection_->Open("Data Source=" + path_.string());
  }

  // Adds a stored procedure.
  void AddProcedure(const std::string& name, const std::string& body) {
    std::string quoted;
    for (char c : body) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    MakeDatabase(path_, "INSERT INTO nimbo_procedures VALUES ('" + name + "', '" + quoted + "');");
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

  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& dir() const { return dir_.path(); }
  const std::shared_ptr<Connection>& connection() const { return connection_; }

 private:
  TempDir dir_;
  std::filesystem::path path_;
  std::shared_ptr<Connection> connection_;
};

}  // namespace nimbo::testing

#endif  // NIMBO_TESTS_TESTING_SQLITE_FIXTURE_H_
