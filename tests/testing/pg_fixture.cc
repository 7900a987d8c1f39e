// The test server's URI and throwaway databases on it, through libpq.
#include "testing/pg_fixture.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace nimbo::testing {
namespace {

struct Finish {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct Clear {
  void operator()(PGresult* result) const { PQclear(result); }
};

std::unique_ptr<PGconn, Finish> Connect(const std::string& uri) {
  std::unique_ptr<PGconn, Finish> conn(PQconnectdb(uri.c_str()));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    throw std::runtime_error("cannot connect to the test server: " +
                             std::string(conn ? PQerrorMessage(conn.get()) : "out of memory"));
  }
  PQclear(PQexec(conn.get(), "SET client_min_messages = warning"));
  return conn;
}

// The database `name` on the server of `uri` (which names the maintenance database).
std::string WithDatabase(const std::string& uri, const std::string& name) {
  const std::string prefix = "postgresql:///postgres";
  if (uri.rfind(prefix, 0) != 0) throw std::runtime_error("unexpected test server URI " + uri);
  return "postgresql:///" + name + uri.substr(prefix.size());
}

}  // namespace

std::optional<std::string> PgServerUri(std::string& why) {
  if (const char* uri = std::getenv("NIMBO_PG_URI"); uri && *uri) return std::string(uri);
  const char* state = std::getenv("NIMBO_PG_STATE");
  if (state == nullptr || *state == '\0') {
    why = "run the tests through ctest (its pg_server fixture starts one), or set NIMBO_PG_URI";
    return std::nullopt;
  }
  std::ifstream uri_file(std::string(state) + "/uri");
  std::string uri;
  if (uri_file && std::getline(uri_file, uri) && !uri.empty()) return uri;
  std::ifstream missing(std::string(state) + "/missing");
  if (!missing || !std::getline(missing, why)) {
    why = "the pg_server fixture did not start one (see the pg_server.start test's output)";
  }
  return std::nullopt;
}

std::vector<PgRow> PgQuery(const std::string& uri, const std::string& sql) {
  const auto conn = Connect(uri);
  std::unique_ptr<PGresult, Clear> result(PQexec(conn.get(), sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    throw std::runtime_error("fixture SQL failed: " + std::string(PQerrorMessage(conn.get())) +
                             " in: " + sql.substr(0, 200));
  }
  std::vector<PgRow> rows;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    PgRow& row = rows.emplace_back();
    for (int c = 0; c < PQnfields(result.get()); ++c) {
      if (PQgetisnull(result.get(), r, c)) {
        row.push_back(std::nullopt);
      } else {
        row.emplace_back(std::string(PQgetvalue(result.get(), r, c),
                                     static_cast<std::size_t>(PQgetlength(result.get(), r, c))));
      }
    }
  }
  return rows;
}

PgDatabase::PgDatabase() {
  std::string why;
  const std::optional<std::string> server = PgServerUri(why);
  if (!server) throw std::runtime_error("no PostgreSQL test server: " + why);
  server_uri_ = *server;
  static std::atomic<int> counter{0};
  name_ = "nimbo_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  PgQuery(server_uri_, "CREATE DATABASE " + name_ + " TEMPLATE template0 ENCODING 'UTF8'");
  uri_ = WithDatabase(server_uri_, name_);
}

PgDatabase::~PgDatabase() {
  try {
    PgQuery(server_uri_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const std::exception&) {
    // The server is stopped with its folder at the end of the run anyway.
  }
}

void PgDatabase::Execute(const std::string& sql) const { PgQuery(uri_, sql); }

std::vector<PgRow> PgDatabase::Query(const std::string& sql) const { return PgQuery(uri_, sql); }

}  // namespace nimbo::testing
