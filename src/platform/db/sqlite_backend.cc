// SQLite adapter: opens a database file read-only and runs commands on it.
//
// [X] "Data Source" names the file; it is opened read-only and never created.
// [X] Another program's write lock is waited for, up to 5 s (less when the time limit is shorter).
// [X] Command limits: a time-out (progress handler) and a memory budget for the fetched records.
// [X] WAL databases: the -wal and -shm files this reader made go when it closes (unless another
//     program still uses the database); in a folder that cannot be written the file is read as
//     unchanging, with a warning.
// [X] EXEC calls of procedures kept in nimbo_procedures, arguments bound, never spliced.
// [X] Plain SELECT/WITH queries (one statement) and SHAPE commands, with or without EXEC.
// [X] Every query runs once per command; results are fetched whole (client-side, detached).
// [ ] Writing: statements that change the database are refused.
// [ ] URIs and in-memory databases: a Data Source is always a file path.
#include "platform/db/sqlite_backend.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/command_body.h"
#include "platform/db/exec_call.h"
#include "platform/db/shape.h"
#include "platform/db/sql_text.h"
#include "platform/db/sqlite_file.h"
#include "platform/db/sqlite_limits.h"
#include "platform/db/sqlite_reader.h"

namespace nimbo::db {
namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

class SqliteBackend : public Backend {
 public:
  explicit SqliteBackend(std::unique_ptr<SqliteFile> file) : file_(std::move(file)) {}

  std::shared_ptr<const ResultTable> Run(std::string_view command,
                                         const CommandLimits& limits) override {
    SqliteCommandScope scope(db(), limits);
    MemoryBudget budget(limits.max_bytes);
    try {
      const std::string keyword = LeadingKeyword(command);
      if (keyword == "EXEC") {
        const ExecCall call = ParseExecCall(command);
        const std::string body = LoadProcedure(call.procedure);
        return RunBody(body, &call, budget);
      }
      if (keyword == "SHAPE" || IsQueryKeyword(keyword)) return RunBody(command, nullptr, budget);
      CommandError("The command is not an EXEC call, a SELECT or WITH query, or a SHAPE command.");
    } catch (const Error&) {
      // A statement that the time limit stopped fails as "interrupted", wherever it was.
      if (scope.expired()) throw TimeoutError(limits);
      throw;
    }
  }

  const std::vector<std::string>& Warnings() const override { return file_->warnings(); }

 private:
  std::string LoadProcedure(const std::string& name) {
    if (!find_procedure_) {
      sqlite3_stmt* statement = nullptr;
      if (sqlite3_prepare_v2(db(), "SELECT body FROM nimbo_procedures WHERE name = ?1", -1,
                             &statement, nullptr) != SQLITE_OK) {
        CommandError(
            fmt::format("Unknown procedure {}: the database has no procedure catalog "
                        "({})",
                        name, sqlite3_errmsg(db())));
      }
      find_procedure_.reset(statement);
    }
    sqlite3_stmt* statement = find_procedure_.get();
    sqlite3_reset(statement);
    sqlite3_bind_text(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(statement);
    std::string body;
    if (rc == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      body.assign(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc == SQLITE_DONE) CommandError(fmt::format("Unknown procedure {}", name));
    if (rc != SQLITE_ROW) throw Error(err::kProviderError, sqlite3_errmsg(db()));
    return body;
  }

  // Prepares one query: a single read-only SELECT or WITH statement.
  Statement Prepare(std::string_view sql, const ExecCall* call) {
    if (!IsQueryKeyword(LeadingKeyword(sql))) {
      CommandError(Context(call) + "only SELECT or WITH queries can be run.");
    }
    if (sql.find('\0') != std::string_view::npos) {
      CommandError(Context(call) + "the query contains a NUL character.");
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db(), sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    Statement statement(raw);
    if (rc != SQLITE_OK) CommandError(Context(call) + sqlite3_errmsg(db()));
    if (!statement) CommandError(Context(call) + "the query is empty.");
    std::size_t rest = static_cast<std::size_t>(tail - sql.data());
    for (;;) {
      rest = SkipBlanksAndComments(sql, rest);
      if (rest < sql.size() && sql[rest] == ';') {
        ++rest;
        continue;
      }
      break;
    }
    if (rest != sql.size()) {
      CommandError(Context(call) + "only one statement can be run (more text at position " +
                   std::to_string(rest + 1) + ").");
    }
    if (!sqlite3_stmt_readonly(statement.get()) || sqlite3_column_count(statement.get()) == 0) {
      CommandError(Context(call) + "only queries that read can be run.");
    }
    return statement;
  }

  std::shared_ptr<const ResultTable> RunBody(std::string_view body, const ExecCall* call,
                                             MemoryBudget& budget) {
    CommandBody split;
    SplitBody(body, call, split);
    const std::vector<std::string_view>& queries = split.queries;

    std::vector<Statement> statements;
    for (std::string_view sql : queries) statements.push_back(Prepare(sql, call));

    // The parameters of the whole body, numbered in order of first appearance: a query's own
    // numbering, then the new names of each later query. A name used in several queries is one
    // parameter, so every query of a SHAPE command sees the same arguments.
    std::vector<std::string> parameters;
    std::vector<std::vector<std::size_t>> slot_of;  // [query][index - 1]
    std::map<std::string, std::size_t> slot_by_name;
    for (const Statement& statement : statements) {
      std::vector<std::size_t>& slots = slot_of.emplace_back();
      const int count = sqlite3_bind_parameter_count(statement.get());
      for (int index = 1; index <= count; ++index) {
        const char* name = sqlite3_bind_parameter_name(statement.get(), index);
        if (name != nullptr) {
          const auto [it, added] = slot_by_name.emplace(name, parameters.size());
          if (added) parameters.emplace_back(name);
          slots.push_back(it->second);
        } else {
          slots.push_back(parameters.size());
          parameters.emplace_back();
        }
      }
    }

    std::vector<const CallArgument*> bound(parameters.size(), nullptr);
    if (call) bound = MatchArguments(*call, parameters);
    for (std::size_t q = 0; q < statements.size(); ++q) {
      for (std::size_t i = 0; i < slot_of[q].size(); ++i) {
        Bind(statements[q].get(), static_cast<int>(i + 1), bound[slot_of[q][i]]);
      }
    }

    std::vector<std::shared_ptr<ResultTable>> results;
    for (const Statement& statement : statements) {
      results.push_back(ReadAllRows(db(), statement.get(), budget));
    }
    if (split.is_shape) return BuildShape(split.shape, std::move(results), budget);
    return std::move(results.front());
  }

  void Bind(sqlite3_stmt* statement, int index, const CallArgument* argument) {
    int rc = SQLITE_OK;
    if (argument == nullptr) {
      rc = sqlite3_bind_null(statement, index);
    } else {
      switch (argument->kind) {
        case CallArgument::Kind::kNull:
          rc = sqlite3_bind_null(statement, index);
          break;
        case CallArgument::Kind::kInteger:
          rc = sqlite3_bind_int64(statement, index, argument->integer);
          break;
        case CallArgument::Kind::kReal:
          rc = sqlite3_bind_double(statement, index, argument->real);
          break;
        case CallArgument::Kind::kText:
          // The argument outlives the statement's run, so SQLite need not copy it.
          rc = sqlite3_bind_text64(statement, index, argument->text.data(), argument->text.size(),
                                   SQLITE_STATIC, SQLITE_UTF8);
          break;
      }
    }
    if (rc != SQLITE_OK) throw Error(err::kProviderError, sqlite3_errmsg(db()));
  }

  sqlite3* db() const { return file_->db(); }

  // Declared first so that it closes last, after every statement is finalized: a database
  // closed with statements still open stays open, and keeps its WAL files.
  std::unique_ptr<SqliteFile> file_;
  Statement find_procedure_;
};

}  // namespace

std::unique_ptr<Backend> OpenSqliteBackend(const ConnectionText& text,
                                           const CommandLimits& limits) {
  const std::string* source = text.Find("Data Source");
  if (source == nullptr || source->empty()) {
    throw Error(err::kProviderError, "The connection text names no Data Source.");
  }
  if (source->find('\0') != std::string::npos) {
    throw Error(err::kProviderError, "The Data Source contains a NUL character.");
  }
  return std::make_unique<SqliteBackend>(
      std::make_unique<SqliteFile>(*source, LockWaitMilliseconds(limits)));
}

}  // namespace nimbo::db
