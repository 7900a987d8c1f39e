// PostgreSQL adapter: one libpq connection driven without blocking, so that every wait on the
// server has a deadline. A session that meets a lost connection or a deadline drops its
// connection; the next use connects again.
#ifndef NIMBO_SRC_PLATFORM_DB_PG_SESSION_H_
#define NIMBO_SRC_PLATFORM_DB_PG_SESSION_H_

#include <libpq-fe.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/command_limits.h"
#include "platform/db/pg_conninfo.h"
#include "platform/db/pg_reader.h"
#include "platform/db/result_table.h"

namespace nimbo::db {

struct PgSessionSettings {
  // How long connecting may take, the handshake and the session's settings included.
  std::chrono::milliseconds connect_timeout{10'000};
  // The server cancels a statement that runs longer (statement_timeout); 0 for no limit.
  std::chrono::milliseconds statement_timeout{30'000};
  // How much longer than the statement time-out the session waits for an answer before it
  // gives the server up for gone (a server that stopped answering cannot cancel anything).
  std::chrono::milliseconds answer_grace{10'000};
};

// A bound argument: null, or its text form.
struct PgArgument {
  std::optional<std::string> text;
  // The type the server is told (0: inferred from the query).
  Oid type = 0;
};

// An error the server reported for a statement; the connection is still usable.
struct PgStatementError {
  std::string message;  // the primary message, e.g. "relation \"x\" does not exist"
  std::string sqlstate;
};

class PgSession {
 public:
  PgSession(PgConnInfo info, PgSessionSettings settings);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  // Connects unless connected: opens the connection, makes every transaction read-only and sets
  // the forms values arrive in. Raises err::kProviderError with libpq's reason (never a
  // password) when the server cannot be reached or refuses, or the deadline passes.
  void Connect();
  bool connected() const { return conn_ != nullptr; }
  // Drops the connection (nothing is sent).
  void Drop();

  // Runs a statement that returns no rows (BEGIN, ROLLBACK, SET). Returns the server's error,
  // if any. Raises err::kProviderError and drops the connection when the connection is lost or
  // the deadline passes.
  std::optional<PgStatementError> Execute(const std::string& sql);

  // Runs one query with bound arguments, fetching its rows one at a time into a table. On a
  // statement error returns nullptr and sets `error`. Raises as Execute; with a `budget`, also
  // err::kRecordsetTooLarge (dropping the connection, which stops the statement) when the rows
  // would take more memory than it has left.
  std::shared_ptr<ResultTable> Query(const std::string& sql, const std::vector<PgArgument>& args,
                                     PgStatementError& error, MemoryBudget* budget = nullptr);

  // The statement time-out for the statements that follow (0: none), as the server enforces it
  // and as the waits for an answer allow for it. The caller sets it on the server too.
  void SetStatementTimeout(std::chrono::milliseconds timeout) {
    settings_.statement_timeout = timeout;
  }
  std::chrono::milliseconds statement_timeout() const { return settings_.statement_timeout; }

  // Whether the connection is inside a transaction (or a failed one).
  bool in_transaction() const;

  // Where the session connects to, for messages.
  std::string Describe() const;

 private:
  using Clock = std::chrono::steady_clock;

  Clock::time_point AnswerDeadline() const;
  // Waits until the socket is readable (or writable too), or raises at the deadline.
  void Wait(bool write, Clock::time_point deadline);
  // Sends what libpq has buffered.
  void Flush(Clock::time_point deadline);
  // Gives the long-text field type to the columns of `table` declared with a long text domain.
  void MarkLongTexts(ResultTable& table, const std::vector<PgTableBuilder::TableColumn>& sources);
  std::optional<PgStatementError> ExecuteUntil(const std::string& sql,
                                               Clock::time_point deadline);
  // Raises err::kProviderError for a lost connection after dropping it.
  [[noreturn]] void Lost(std::string_view what);

  PgConnInfo info_;
  PgSessionSettings settings_;
  PGconn* conn_ = nullptr;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_PG_SESSION_H_
