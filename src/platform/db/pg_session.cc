// PostgreSQL adapter: connecting, sending and receiving with deadlines.
#include "platform/db/pg_session.h"

#include <fmt/format.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/pg_reader.h"

namespace nimbo::db {
namespace {

// libpq's messages span lines ("...failed: ...\n\tIs the server running...?\n"); one line reads
// better in a diagnostic.
std::string OneLine(const char* message) {
  std::string text;
  bool blank = false;
  for (const char* p = message ? message : ""; *p; ++p) {
    const char c = *p;
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
      blank = !text.empty();
      continue;
    }
    if (blank) text += ' ';
    blank = false;
    text += c;
  }
  return text;
}

std::string Seconds(std::chrono::milliseconds duration) {
  return fmt::format("{:g} s", static_cast<double>(duration.count()) / 1000.0);
}

// The session's settings: read-only transactions, the statement time-out, and the text forms the
// reader expects (ISO dates, money without a locale's symbol, floats that read back exactly, hex
// bytea).
std::string SessionSettingsSql(const PgSessionSettings& settings) {
  return fmt::format(
      "SET default_transaction_read_only = on; SET statement_timeout = {}; "
      "SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET lc_monetary = 'C'; "
      "SET extra_float_digits = 1; SET bytea_output = 'hex'; SET client_encoding = 'UTF8'",
      settings.statement_timeout.count());
}

// What the rows of a result take once stored: a cell per value and the value's bytes (a
// generous count, since numbers are held in less than their text).
std::uint64_t StoredBytes(const PGresult* result) {
  constexpr std::uint64_t kCellBytes = sizeof(CellKind) + sizeof(std::uint64_t);
  const int rows = PQntuples(result);
  const int fields = PQnfields(result);
  std::uint64_t bytes = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(fields) *
                        kCellBytes;
  for (int row = 0; row < rows; ++row) {
    for (int field = 0; field < fields; ++field) {
      if (PQgetisnull(result, row, field) == 0) {
        bytes += Arena::StoredSize(
            static_cast<std::uint32_t>(PQgetlength(result, row, field)));
      }
    }
  }
  return bytes;
}

}  // namespace

PgSession::PgSession(PgConnInfo info, PgSessionSettings settings)
    : info_(std::move(info)), settings_(settings) {}

PgSession::~PgSession() { Drop(); }

void PgSession::Drop() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
}

std::string PgSession::Describe() const {
  if (conn_ == nullptr) return "the PostgreSQL server";
  auto text = [](const char* value) { return std::string_view(value ? value : ""); };
  return DescribePgTarget(text(PQdb(conn_)), text(PQhost(conn_)), text(PQport(conn_)),
                          text(PQuser(conn_)));
}

void PgSession::Connect() {
  if (conn_ != nullptr) {
    if (PQstatus(conn_) == CONNECTION_OK) return;
    Drop();
  }
  const Clock::time_point deadline = Clock::now() + settings_.connect_timeout;
  std::vector<const char*> keywords;
  std::vector<const char*> values;
  bool has_application_name = false;
  for (const auto& [key, value] : info_.parameters) {
    keywords.push_back(key.c_str());
    values.push_back(value.c_str());
    has_application_name |= key == "application_name" || key == "fallback_application_name";
  }
  if (!has_application_name) {
    keywords.push_back("fallback_application_name");
    values.push_back("nimbo");
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);

  conn_ = PQconnectStartParams(keywords.data(), values.data(), /*expand_dbname=*/1);
  if (conn_ == nullptr) {
    throw Error(err::kProviderError, "Cannot connect to the PostgreSQL server: out of memory.");
  }
  auto fail = [this](std::string_view reason) {
    std::string message = fmt::format("Cannot connect to {}: {}", Describe(), reason);
    Drop();
    throw Error(err::kProviderError, std::move(message));
  };
  if (PQstatus(conn_) == CONNECTION_BAD) fail(OneLine(PQerrorMessage(conn_)));
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  while (status != PGRES_POLLING_OK) {
    if (status == PGRES_POLLING_FAILED) fail(OneLine(PQerrorMessage(conn_)));
    const int fd = PQsocket(conn_);
    if (fd < 0) fail(OneLine(PQerrorMessage(conn_)));
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      fail(fmt::format("no answer within {}.", Seconds(settings_.connect_timeout)));
    }
    pollfd p{fd, static_cast<short>(status == PGRES_POLLING_WRITING ? POLLOUT : POLLIN), 0};
    const int rc = poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (rc < 0 && errno != EINTR) fail(std::strerror(errno));
    if (rc > 0) status = PQconnectPoll(conn_);
  }
  if (PQsetnonblocking(conn_, 1) != 0) fail(OneLine(PQerrorMessage(conn_)));
  PQsetErrorVerbosity(conn_, PQERRORS_DEFAULT);
  // A failure here has dropped the connection and says why.
  const std::optional<PgStatementError> error =
      ExecuteUntil(SessionSettingsSql(settings_), deadline);
  if (error) fail(error->message);
}

bool PgSession::in_transaction() const {
  if (conn_ == nullptr) return false;
  const PGTransactionStatusType status = PQtransactionStatus(conn_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

PgSession::Clock::time_point PgSession::AnswerDeadline() const {
  const std::chrono::milliseconds statement = settings_.statement_timeout.count() > 0
                                                  ? settings_.statement_timeout
                                                  : std::chrono::hours(1);
  return Clock::now() + statement + settings_.answer_grace;
}

void PgSession::Lost(std::string_view what) {
  std::string message =
      fmt::format("The connection to {} was lost: {}", Describe(),
                  what.empty() ? OneLine(conn_ ? PQerrorMessage(conn_) : "") : std::string(what));
  Drop();
  throw Error(err::kProviderError, std::move(message));
}

void PgSession::Wait(bool write, Clock::time_point deadline) {
  const int fd = PQsocket(conn_);
  if (fd < 0) Lost("");
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      std::string message = fmt::format(
          "{} did not answer in time; the connection was dropped and the next read connects "
          "again.",
          Describe());
      Drop();
      throw Error(err::kProviderError, std::move(message));
    }
    pollfd p{fd, static_cast<short>(write ? (POLLIN | POLLOUT) : POLLIN), 0};
    const int rc = poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (rc > 0) return;
    if (rc < 0 && errno != EINTR) Lost(std::strerror(errno));
  }
}

void PgSession::Flush(Clock::time_point deadline) {
  for (;;) {
    const int rc = PQflush(conn_);
    if (rc == 0) return;
    if (rc < 0) Lost("");
    Wait(true, deadline);
    if (PQconsumeInput(conn_) == 0) Lost("");
  }
}

std::optional<PgStatementError> PgSession::Execute(const std::string& sql) {
  return ExecuteUntil(sql, AnswerDeadline());
}

namespace {

PgStatementError StatementErrorOf(const PGresult* result) {
  PgStatementError error;
  const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
  error.message = primary ? OneLine(primary) : OneLine(PQresultErrorMessage(result));
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  error.sqlstate = state ? state : "";
  return error;
}

struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

}  // namespace

std::optional<PgStatementError> PgSession::ExecuteUntil(const std::string& sql,
                                                        Clock::time_point deadline) {
  if (conn_ == nullptr) Connect();
  if (PQsendQuery(conn_, sql.c_str()) == 0) Lost("");
  Flush(deadline);
  std::optional<PgStatementError> error;
  for (;;) {
    while (PQisBusy(conn_)) {
      Wait(false, deadline);
      if (PQconsumeInput(conn_) == 0) Lost("");
    }
    const Result result(PQgetResult(conn_));
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_FATAL_ERROR && !error) error = StatementErrorOf(result.get());
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
      Lost("a statement started a copy, which the record source does not take part in.");
    }
  }
  if (PQstatus(conn_) != CONNECTION_OK) Lost("");
  return error;
}

std::shared_ptr<ResultTable> PgSession::Query(const std::string& sql,
                                              const std::vector<PgArgument>& args,
                                              PgStatementError& error, MemoryBudget* budget) {
  if (conn_ == nullptr) Connect();
  std::vector<Oid> types;
  std::vector<const char*> values;
  for (const PgArgument& arg : args) {
    types.push_back(arg.type);
    values.push_back(arg.text ? arg.text->c_str() : nullptr);
  }
  Clock::time_point deadline = AnswerDeadline();
  if (PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(args.size()), types.data(),
                        values.data(), nullptr, nullptr, 0) == 0) {
    Lost("");
  }
  // Rows arrive one by one rather than as one whole result, so a large result is held once,
  // in the table, not twice.
  PQsetSingleRowMode(conn_);
  Flush(deadline);
  PgTableBuilder builder;
  std::optional<PgStatementError> failure;
  bool returns_rows = false;
  try {
    for (;;) {
      while (PQisBusy(conn_)) {
        Wait(false, deadline);
        if (PQconsumeInput(conn_) == 0) Lost("");
        // A long result is progress: the deadline bounds a silent server, not a slow stream.
        deadline = AnswerDeadline();
      }
      const Result result(PQgetResult(conn_));
      if (!result) break;
      switch (PQresultStatus(result.get())) {
        case PGRES_SINGLE_TUPLE:
        case PGRES_TUPLES_OK:
          returns_rows = true;
          if (!failure) {
            if (!builder.has_columns()) builder.SetColumns(result.get());
            if (budget != nullptr) budget->Charge(StoredBytes(result.get()));
            builder.AddRows(result.get());
          }
          break;
        case PGRES_FATAL_ERROR:
          if (!failure) failure = StatementErrorOf(result.get());
          break;
        case PGRES_COPY_IN:
        case PGRES_COPY_OUT:
        case PGRES_COPY_BOTH:
          Lost("a statement started a copy, which the record source does not take part in.");
        default:
          break;
      }
    }
  } catch (const Error&) {
    // Rows still on their way would be read as the answer to the next statement.
    Drop();
    throw;
  }
  if (PQstatus(conn_) != CONNECTION_OK) Lost("");
  if (!failure && !returns_rows) failure = PgStatementError{"the query returns no records.", ""};
  if (failure) {
    error = std::move(*failure);
    return nullptr;
  }
  std::vector<PgTableBuilder::TableColumn> sources = builder.text_sources();
  std::shared_ptr<ResultTable> table = builder.Finish();
  if (!sources.empty()) MarkLongTexts(*table, sources);
  return table;
}

void PgSession::MarkLongTexts(ResultTable& table,
                              const std::vector<PgTableBuilder::TableColumn>& sources) {
  std::string tables = "{";
  for (const auto& source : sources) {
    if (tables.size() > 1) tables += ',';
    tables += std::to_string(source.table);
  }
  tables += '}';
  PgStatementError lookup_error;
  const std::shared_ptr<ResultTable> found =
      Query(kPgLongTextColumnsSql, {PgArgument{tables, 0}}, lookup_error);
  // Without the catalog's word the columns stay plain texts, which is what they hold.
  if (!found) return;
  for (std::uint32_t row = 0; row < found->row_count(); ++row) {
    const std::int64_t relation = found->column(0).integer(row);
    const std::int64_t number = found->column(1).integer(row);
    for (const auto& source : sources) {
      if (source.table == static_cast<Oid>(relation) && source.number == number) {
        table.column(source.column).type = field_type::kLongVarWChar;
      }
    }
  }
}

}  // namespace nimbo::db
