// Displaying a list node whose query returns 100,000 records: the children are added to the
// tree and the (section-less) page is written. Goal: well under a second.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"

namespace {

constexpr int kRecords = 100000;

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string error = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(error);
  }
}

std::filesystem::path MakeDatabase() {
  std::string dir = (std::filesystem::temp_directory_path() / "nimbo-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) throw std::runtime_error("mkdtemp");
  const auto path = std::filesystem::path(dir) / "nodes.db";
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db,
       "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
       "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT);"
       "CREATE TABLE nav (id INTEGER, caption TEXT, kind TEXT, parent INTEGER, proc TEXT,"
       " macro TEXT, image TEXT, access TEXT);"
       "CREATE TABLE sections (id INTEGER, page INTEGER, x TEXT, caption TEXT, proc TEXT,"
       " macro TEXT, kind TEXT, form INTEGER, totals TEXT);"
       "CREATE TABLE pages (id INTEGER, a TEXT, b TEXT, html TEXT);"
       "INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
       " (2, 'Customers', 'G', 1, 'CustList', NULL, NULL, NULL),"
       " (3, 'Customer', 'N', 2, NULL, NULL, 'card', NULL);"
       "INSERT INTO sections VALUES (1, 99, NULL, 'x', 'CustList', NULL, 'S', NULL, '.');"
       "INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');"
       "CREATE TABLE customers (ID INTEGER, Name TEXT);"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
       " INSERT INTO customers SELECT i, 'Customer ' || i FROM n;"
       "INSERT INTO nimbo_procedures VALUES ('xspb1', 'SELECT * FROM nav'),"
       " ('xspb2', 'SELECT * FROM sections'), ('xspb3', 'SELECT * FROM pages WHERE id = @I1'),"
       " ('CustList', 'SELECT ID, Name FROM customers');");
  sqlite3_close(db);
  return path;
}

void BM_DisplayListNode(benchmark::State& state) {
  static const std::filesystem::path database = MakeDatabase();
  for (auto _ : state) {
    state.PauseTiming();
    auto container = std::make_shared<nimbo::DesignTimeContainer>();
    nimbo::Nimbo control(container, nullptr);
    control.InitProperties();
    control.ActivePort(80);
    control.ConnectionString(database.string());
    control.ApplicationFolder(database.parent_path().string());
    auto tree = std::make_shared<nimbo::MemoryTreeView>();
    control.SetControls(tree, std::make_shared<nimbo::HeadlessBrowser>());
    control.RefreshBrowser();
    auto customers = tree->Item("0000000002F");
    customers->Selected(true);
    state.ResumeTiming();

    control.DisplayFor(customers);

    state.PauseTiming();
    if (customers->Children() != kRecords) state.SkipWithError("children missing");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_DisplayListNode)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
