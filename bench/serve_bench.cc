// The web host with a node of 100,000 children (the demo with 100,000 more customers): one
// display through the host (component call on its thread plus the tree state for the page),
// and the tree state alone, which the page fetches after every change. Goal: each well under a
// second, so the page stays responsive.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "demo/demo.h"
#include "serve/web_host.h"

namespace {

using nimbo::app::serve::json;
using nimbo::app::serve::ServeOptions;
using nimbo::app::serve::WebHost;

constexpr int kExtraCustomers = 100000;

struct BigDemo {
  std::filesystem::path dir;
  std::unique_ptr<WebHost> host;
  int customers_index = 0;

  BigDemo() {
    std::string temp = (std::filesystem::temp_directory_path() / "nimbo-serve-XXXXXX").string();
    if (mkdtemp(temp.data()) == nullptr) throw std::runtime_error("mkdtemp");
    dir = temp;
    const std::string db_path = nimbo::app::WriteDemo(dir);
    sqlite3* db = nullptr;
    sqlite3_open(db_path.c_str(), &db);
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(kExtraCustomers) +
        ") INSERT INTO customers (id, account, name) "
        "SELECT 100000 + i, 'X-' || i, printf('Customer %06d', i) FROM n;";
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot add the customers");

    ServeOptions options;
    options.session.db = db_path;
    options.session.folder = dir.string();
    host = std::make_unique<WebHost>(options);
    const json state = json::parse(host->Refresh());
    for (const json& row : state["tree"]) {
      if (row[2] == "Customers") customers_index = row[0].get<int>();
    }
  }
  ~BigDemo() {
    host.reset();
    std::filesystem::remove_all(dir);
  }
};

BigDemo& Demo() {
  static BigDemo demo;
  return demo;
}

// Selecting the node again rebuilds its page and sends the whole tree back (its 100,000
// children are loaded once, on the first display).
void BM_DisplayLargeList(benchmark::State& state) {
  BigDemo& demo = Demo();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto answer = demo.host->Display(demo.customers_index, "Customers");
    if (!answer) throw std::runtime_error("Customers not found");
    bytes = answer->size();
  }
  state.counters["nodes"] = static_cast<double>(kExtraCustomers);
  state.counters["json_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DisplayLargeList)->Unit(benchmark::kMillisecond);

void BM_TreeStateOfLargeList(benchmark::State& state) {
  BigDemo& demo = Demo();
  demo.host->Display(demo.customers_index, "Customers");
  for (auto _ : state) {
    benchmark::DoNotOptimize(demo.host->State());
  }
}
BENCHMARK(BM_TreeStateOfLargeList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
