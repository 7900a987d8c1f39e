// PostgreSQL adapter: runs commands on a libpq session.
//
// [X] A postgresql:// URI as "Data Source", or Provider=PostgreSQL with libpq keywords;
//     passwords come from libpq's own sources and never appear in a message.
// [X] EXEC calls of procedures in nimbo_procedures (names in any letter case), arguments bound
//     as parameters, never spliced; bodies use $1, $2, ... and @name parameters.
// [X] SELECT/WITH queries and SHAPE commands; each query runs once per command, all of them in
//     one read-only transaction that is rolled back, so one command sees one snapshot and
//     nothing it does outlives it.
// [X] Rows are fetched one at a time into the client-side table (no second whole copy).
// [X] Every wait on the server has a deadline; a lost connection is reported and the next
//     command connects again.
// [ ] Writing: every session and transaction is read-only; a writing body fails.
// [ ] COPY, LISTEN/NOTIFY, several result sets from one command.
#include "platform/db/pg_backend.h"

#include <fmt/format.h>
#include <libpq-fe.h>

#include <charconv>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/command_body.h"
#include "platform/db/exec_call.h"
#include "platform/db/pg_conninfo.h"
#include "platform/db/pg_parameters.h"
#include "platform/db/pg_session.h"
#include "platform/db/shape.h"

namespace nimbo::db {
namespace {

// The type a parameter no query refers to is given, since the server cannot infer one.
constexpr Oid kTextOid = 25;
// SQLSTATE of a missing table.
constexpr std::string_view kUndefinedTable = "42P01";
constexpr std::string_view kQueryCanceled = "57014";

PgArgument ArgumentFor(const CallArgument* argument, bool used, const ExecCall* call) {
  PgArgument result;
  result.type = used ? 0 : kTextOid;
  if (argument == nullptr) return result;
  switch (argument->kind) {
    case CallArgument::Kind::kNull:
      break;
    case CallArgument::Kind::kInteger:
      result.text = std::to_string(argument->integer);
      break;
    case CallArgument::Kind::kReal:
      result.text = fmt::format("{}", argument->real);
      break;
    case CallArgument::Kind::kText:
      if (argument->text.find('\0') != std::string::npos) {
        CommandError(fmt::format("{}the argument at position {} contains a NUL character, which "
                                 "PostgreSQL text cannot hold.",
                                 Context(call), argument->position));
      }
      result.text = argument->text;
      break;
  }
  return result;
}

class PgBackend : public Backend {
 public:
  PgBackend(PgConnInfo info, PgSessionSettings settings)
      : session_(std::move(info), settings) {}

  void Connect() { session_.Connect(); }

  // A server database is read as it is; there is nothing to warn of.
  const std::vector<std::string>& Warnings() const override { return warnings_; }

  std::shared_ptr<const ResultTable> Run(std::string_view command,
                                         const CommandLimits& limits) override {
    const std::string keyword = LeadingKeyword(command);
    std::optional<ExecCall> call;
    if (keyword == "EXEC") {
      call = ParseExecCall(command);
    } else if (keyword != "SHAPE" && !IsQueryKeyword(keyword)) {
      CommandError("The command is not an EXEC call, a SELECT or WITH query, or a SHAPE command.");
    }
    session_.Connect();
    Execute("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    try {
      // The host may change the time-out between commands; SET LOCAL ends with the transaction.
      limits_ = limits;
      session_.SetStatementTimeout(limits.timeout);
      Execute(fmt::format("SET LOCAL statement_timeout = {}", limits.timeout.count()));
      MemoryBudget budget(limits.max_bytes);
      std::shared_ptr<const ResultTable> result;
      if (call) {
        const std::string body = LoadProcedure(call->procedure);
        result = RunBody(body, &*call, budget);
      } else {
        result = RunBody(command, nullptr, budget);
      }
      // Rolled back rather than committed: whatever a body changed that read-only mode allows
      // (a setting made with set_config) is undone with it.
      Execute("ROLLBACK");
      return result;
    } catch (...) {
      if (session_.in_transaction()) {
        try {
          session_.Execute("ROLLBACK");
        } catch (const Error&) {
          // The connection is gone; the first error says more.
        }
      }
      throw;
    }
  }

 private:
  void Execute(const std::string& sql) {
    if (const std::optional<PgStatementError> error = session_.Execute(sql)) {
      throw Error(err::kProviderError, fmt::format("{}: {}", sql, error->message));
    }
  }

  std::string LoadProcedure(const std::string& name) {
    PgStatementError error;
    // Without regard to letter case; a name spelled exactly so wins over one that differs in case.
    const std::shared_ptr<ResultTable> table = session_.Query(
        "SELECT body FROM nimbo_procedures WHERE lower(name) = lower($1) "
        "ORDER BY name = $1 DESC, name LIMIT 1",
        {PgArgument{name, kTextOid}}, error);
    if (!table) {
      if (error.sqlstate == kUndefinedTable) {
        CommandError(fmt::format(
            "Unknown procedure {}: the database has no procedure catalog ({})", name,
            error.message));
      }
      CommandError(fmt::format("Unknown procedure {}: {}", name, error.message));
    }
    if (table->row_count() == 0) CommandError(fmt::format("Unknown procedure {}", name));
    const Column& body = table->column(0);
    if (body.kind(0) != CellKind::kText) return std::string();
    return std::string(body.bytes(0));
  }

  std::shared_ptr<const ResultTable> RunBody(std::string_view body, const ExecCall* call,
                                             MemoryBudget& budget) {
    CommandBody split;
    SplitBody(body, call, split);
    const std::vector<std::string_view>& queries = split.queries;
    for (std::string_view sql : queries) {
      if (!IsQueryKeyword(LeadingKeyword(sql))) {
        CommandError(Context(call) + "only SELECT or WITH queries can be run.");
      }
      if (sql.find('\0') != std::string_view::npos) {
        CommandError(Context(call) + "the query contains a NUL character.");
      }
    }

    const PgBodyParameters parameters = NumberPgParameters(queries);
    std::vector<const CallArgument*> bound(parameters.names.size(), nullptr);
    if (call) bound = MatchArguments(*call, parameters.names);
    std::vector<PgArgument> arguments;
    for (std::size_t i = 0; i < bound.size(); ++i) {
      arguments.push_back(ArgumentFor(bound[i], parameters.used[i], call));
    }

    std::vector<std::shared_ptr<ResultTable>> results;
    for (const std::string& sql : parameters.queries) {
      PgStatementError error;
      std::shared_ptr<ResultTable> table = session_.Query(sql, arguments, error, &budget);
      if (!table) {
        // The server cancelled the statement at the time-out: the same error as any back end's.
        if (error.sqlstate == kQueryCanceled && limits_.timeout.count() > 0) {
          throw TimeoutError(limits_);
        }
        CommandError(Context(call) + error.message);
      }
      results.push_back(std::move(table));
    }
    if (split.is_shape) return BuildShape(split.shape, std::move(results), budget);
    return std::move(results.front());
  }

  PgSession session_;
  CommandLimits limits_;  // those of the command being run
  std::vector<std::string> warnings_;
};

}  // namespace

std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text) {
  return OpenPgBackend(text, PgSessionSettings{});
}

std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text, const CommandLimits& limits) {
  PgSessionSettings settings;
  settings.statement_timeout = limits.timeout;
  return OpenPgBackend(text, settings);
}

std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text, PgSessionSettings settings) {
  PgConnInfo info = PgConnInfoFrom(text);
  // libpq's own connect_timeout (whole seconds) also bounds the connecting done here; 0 or
  // nothing leaves the default, since waiting for ever is never wanted.
  std::vector<std::pair<std::string, std::string>> given = info.parameters;
  for (const auto& [key, value] : info.parameters) {
    if (key != "dbname" || !IsPgUri(value)) continue;
    // The URI's own query parameters ("?host=...&connect_timeout=5").
    char* message = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(value.c_str(), &message)) {
      for (const PQconninfoOption* o = options; o->keyword; ++o) {
        if (o->val != nullptr) given.insert(given.begin(), {o->keyword, o->val});
      }
      PQconninfoFree(options);
    }
    PQfreemem(message);
  }
  for (const auto& [key, value] : given) {
    if (key != "connect_timeout") continue;
    int seconds = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (ec == std::errc() && ptr == value.data() + value.size() && seconds > 0) {
      settings.connect_timeout = std::chrono::seconds(seconds);
    }
  }
  auto backend = std::make_unique<PgBackend>(std::move(info), settings);
  backend->Connect();
  return backend;
}

}  // namespace nimbo::db
