// Writing the demo into a PostgreSQL database with libpq: the same records, pages and pictures as
// the SQLite demo, with the PostgreSQL editions of the schema and the procedure bodies.
#include <libpq-fe.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "demo/artwork.h"
#include "demo/demo.h"
#include "demo/demo_texts.h"

namespace nimbo::app {
namespace {

namespace fs = std::filesystem;

struct Finish {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct Clear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, Clear>;

// libpq's messages end in a line break and may span lines.
std::string OneLine(const char* message) {
  std::string text = message ? message : "";
  for (char& c : text) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

class Database {
 public:
  explicit Database(const std::string& uri) {
    // The URI's own connect_timeout wins; without one, ten seconds rather than for ever.
    const char* keywords[] = {"connect_timeout", "dbname", "fallback_application_name", nullptr};
    const char* values[] = {"10", uri.c_str(), "nimbo demo", nullptr};
    conn_.reset(PQconnectdbParams(keywords, values, /*expand_dbname=*/1));
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) {
      throw std::runtime_error("cannot connect to the PostgreSQL database: " +
                               (conn_ ? OneLine(PQerrorMessage(conn_.get())) : "out of memory"));
    }
  }

  std::string Describe() const {
    const char* host = PQhost(conn_.get());
    return "database " + std::string(PQdb(conn_.get())) + " on " +
           std::string(host ? host : "") + ":" + PQport(conn_.get());
  }

  // Runs SQL text of any number of statements.
  void Execute(std::string_view sql, std::string_view what) {
    Check(Result(PQexec(conn_.get(), sql.data())), what);
  }

  // Runs one statement with parameters; `binary` marks the parameters sent as raw bytes.
  Result Run(const char* sql, const std::vector<std::string>& params,
             const std::vector<int>& binary, std::string_view what) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const std::string& param : params) {
      values.push_back(param.data());
      lengths.push_back(static_cast<int>(param.size()));
    }
    Result result(PQexecParams(conn_.get(), sql, static_cast<int>(params.size()), nullptr,
                               values.data(), lengths.data(), binary.data(), 0));
    Check(result, what);
    return result;
  }

 private:
  void Check(const Result& result, std::string_view what) {
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw std::runtime_error(std::string(what) + ": " + OneLine(PQerrorMessage(conn_.get())));
    }
  }

  std::unique_ptr<PGconn, Finish> conn_;
};

}  // namespace

std::string WriteDemoToPostgres(const std::string& uri, const fs::path& dir) {
  Database db(uri);
  const Result tables = db.Run(
      "SELECT count(*) FROM pg_catalog.pg_tables "
      "WHERE schemaname NOT IN ('pg_catalog', 'information_schema')",
      {}, {}, "looking at the database");
  if (std::string(PQgetvalue(tables.get(), 0, 0)) != "0") {
    throw std::runtime_error("the " + db.Describe() + " already holds tables (" +
                             PQgetvalue(tables.get(), 0, 0) +
                             "); the demo is written only into an empty database");
  }
  // One transaction: a failure at any step leaves the database as empty as it was.
  db.Execute("BEGIN", "starting the demo database");
  db.Execute(demo::SchemaPgSql(), "creating the demo tables");
  db.Execute(demo::DataSql(), "loading the demo records");
  db.Execute(demo::BrowserPgSql(), "loading the browser definition");
  const std::string front = DemoFrontPage();
  const std::string head(demo::PageHeadHtml());
  db.Run("UPDATE nimbo_pages SET html = $1 WHERE id = 1", {front}, {0}, "storing the front page");
  db.Run("UPDATE nimbo_pages SET html = $1 WHERE id = 2", {head}, {0}, "storing the page head");
  const Result products = db.Run("SELECT id, category, colour FROM products ORDER BY id", {}, {},
                                 "reading the demo products");
  for (int row = 0; row < PQntuples(products.get()); ++row) {
    const std::string picture = demo::DrawProductPicture(PQgetvalue(products.get(), row, 1),
                                                         PQgetvalue(products.get(), row, 2));
    db.Run("UPDATE products SET picture = $1 WHERE id = $2::integer",
           {picture, PQgetvalue(products.get(), row, 0)}, {1, 0}, "storing a product picture");
  }
  db.Execute("COMMIT", "finishing the demo database");
  fs::create_directories(dir);
  WritePageImages(dir);
  return db.Describe();
}

}  // namespace nimbo::app
