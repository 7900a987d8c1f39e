// The grouped drill-down section over a three-level SHAPE of 10,000 customers x 10 orders x 10
// order lines (1,110,000 records in all), written to a page file: the time of the write alone,
// of the SHAPE call and the write together, and the peak memory of both in a fresh process.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "control/control_state.h"
#include "nimbo/events.h"
#include "nimbo/record_source.h"
#include "platform/text_file.h"
#include "report/section_writers.h"
#include "in_child_process.h"

namespace {

constexpr int kCustomers = 10000;
constexpr int kOrdersEach = 10;
constexpr int kLinesEach = 10;

constexpr char kShape[] =
    "SHAPE {SELECT ID, Customer, Town, Spent FROM customers ORDER BY ID} "
    "APPEND ((SHAPE {SELECT ID, CustID, OrderDate, Status, Amount FROM orders ORDER BY ID} "
    "APPEND ({SELECT OrderID AS ID, Product, Quantity, Price FROM lines ORDER BY rowid} "
    "RELATE ID TO ID) AS OrderLines) RELATE ID TO CustID) AS Orders";

std::filesystem::path g_dir;

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string error = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(error);
  }
}

void GenerateDatabase(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db,
       "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
       "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT);"
       "CREATE TABLE customers (ID INTEGER, Customer TEXT, Town TEXT, Spent CURRENCY);"
       "CREATE TABLE orders (ID INTEGER, CustID INTEGER, OrderDate DATE, Status TEXT,"
       " Amount CURRENCY);"
       "CREATE TABLE lines (OrderID INTEGER, Product TEXT, Quantity INTEGER, Price CURRENCY);"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(kCustomers) +
           ") INSERT INTO customers SELECT i, 'Customer ' || i, 'Town ' || (i % 97),"
           " i * 12.5 FROM n;"
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(kCustomers * kOrdersEach) + ") INSERT INTO orders SELECT i, (i - 1) / " +
           std::to_string(kOrdersEach) +
           " + 1, date('2026-01-01', '+' || (i % 365) || ' days'), 'Delivered', i * 0.75 FROM n;"
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(kCustomers * kOrdersEach * kLinesEach) +
           ") INSERT INTO lines SELECT (i - 1) / " + std::to_string(kLinesEach) +
           " + 1, 'Product <' || (i % 50) || '>', i % 7 + 1, (i % 40) + 0.99 FROM n;");
  sqlite3_close(db);
}

std::shared_ptr<nimbo::Recordset> OpenShape() {
  auto connection = nimbo::CreateConnection();
  connection->Open("Data Source=" + (g_dir / "bench.db").string());
  auto recordset = nimbo::CreateRecordset();
  recordset->ActiveConnection(connection);
  recordset->CursorLocation(nimbo::kUseClient);
  recordset->Open(kShape);
  recordset->ActiveConnection(nullptr);
  return recordset;
}

// A control state with what the section needs: an event sink that nobody listens to.
nimbo::ControlState MakeState() {
  nimbo::ControlState s;
  s.events = std::make_shared<nimbo::Events>();
  s.DateFormat = "dd Mmm yyyy";
  s.Talking = true;  // any error would be raised; the sink drops it, the size check catches it
  return s;
}

// Writes the section to a page file and returns the file's size.
std::uintmax_t WritePage(nimbo::ControlState& s, std::shared_ptr<nimbo::Recordset>& rs) {
  const std::string path = (g_dir / "oDatNav.htm").string();
  {
    nimbo::TextFileWriter page(path);
    nimbo::WriteGroupedSection(s, page, rs, "Orders by customer", 41);
    page.Commit();
  }
  return std::filesystem::file_size(path);
}

void BM_GroupedSection_Write(benchmark::State& state) {
  nimbo::ControlState s = MakeState();
  std::shared_ptr<nimbo::Recordset> rs = OpenShape();
  std::uintmax_t bytes = 0;
  for (auto _ : state) bytes = WritePage(s, rs);
  state.counters["page_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.SetItemsProcessed(state.iterations() *
                          (kCustomers + kCustomers * kOrdersEach * (1 + kLinesEach)));
}

void BM_GroupedSection_OpenAndWrite(benchmark::State& state) {
  nimbo::ControlState s = MakeState();
  for (auto _ : state) {
    std::shared_ptr<nimbo::Recordset> rs = OpenShape();
    benchmark::DoNotOptimize(WritePage(s, rs));
  }
}

BENCHMARK(BM_GroupedSection_Write)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_GroupedSection_OpenAndWrite)->Unit(benchmark::kMillisecond)->MinTime(3);

// Peak resident memory of a fresh child process that opens the SHAPE and writes the page, and
// how much of it the open and the write added.
struct MemoryProbe {
  long start_kib = 0;
  long opened_kib = 0;
  long written_kib = 0;
};

MemoryProbe ProbeMemory() {
  return nimbo::bench::InChildProcess<MemoryProbe>([] {
    MemoryProbe probe;
    probe.start_kib = nimbo::bench::PeakKib();
    nimbo::ControlState s = MakeState();
    std::shared_ptr<nimbo::Recordset> rs = OpenShape();
    probe.opened_kib = nimbo::bench::PeakKib();
    WritePage(s, rs);
    probe.written_kib = nimbo::bench::PeakKib();
    return probe;
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // TMPDIR picks the disk the page goes to (/dev/shm shows the cost without the disk).
  std::string dir_template =
      (std::filesystem::temp_directory_path() / "nimbo-bench-XXXXXX").string();
  if (mkdtemp(dir_template.data()) == nullptr) return 1;
  g_dir = dir_template;
  std::fprintf(stderr, "Generating %s ...\n", (g_dir / "bench.db").c_str());
  GenerateDatabase(g_dir / "bench.db");

  const MemoryProbe memory = ProbeMemory();
  benchmark::RunSpecifiedBenchmarks();
  std::printf(
      "\nPeak memory: %.1f MiB at start, %.1f MiB with the SHAPE open, %.1f MiB after the page "
      "was written (the write added %.1f MiB)\n",
      memory.start_kib / 1024.0, memory.opened_kib / 1024.0, memory.written_kib / 1024.0,
      (memory.written_kib - memory.opened_kib) / 1024.0);
  std::filesystem::remove_all(g_dir);
  benchmark::Shutdown();
  return 0;
}
