// Record source speed and memory against the SQLite C API alone: opening a 1,000,000-row record
// set (bar: at most 1.1 times the time of stepping the same query and reading every column),
// its peak memory (bar: under 256 MiB), and a SHAPE call of 100,000 parents and 1,000,000
// children (bar: at most 2 times the time of running its two queries). All of it runs under the
// connection's default time-out and memory limit, and the smallest memory limit each large
// record set fits under is measured too.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "in_child_process.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr int kParents = 100'000;
constexpr int kChildren = 1'000'000;

const char kBigQuery[] = "SELECT id, name, qty, price, sold FROM big";
const char kParentQuery[] = "SELECT ID, Name FROM parents";
const char kChildQuery[] = "SELECT ParentID, Seq, Amount FROM children";

std::string g_database;  // path of the generated file

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    throw std::runtime_error(fmt::format("{}: {}", what, sqlite3_errmsg(db)));
  }
}

// Writes the benchmark database: the big table, parents and children (children stored
// interleaved, so that grouping them is real work), and the procedures that read them.
void GenerateDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "create");
  Check(sqlite3_exec(db,
                     "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                     "CREATE TABLE big (id INTEGER, name TEXT, qty INTEGER, price CURRENCY,"
                     " sold DATE);"
                     "CREATE TABLE parents (ID INTEGER, Name TEXT);"
                     "CREATE TABLE children (ParentID INTEGER, Seq INTEGER, Amount REAL);"
                     "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE,"
                     " body TEXT NOT NULL);",
                     nullptr, nullptr, nullptr),
        db, "schema");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO big VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare big");
  for (int i = 0; i < kRows; ++i) {
    const std::string name = fmt::format("Item {}", i);
    const std::string sold = fmt::format("2024-{:02}-{:02} {:02}:{:02}:{:02}", i % 12 + 1,
                                         i % 28 + 1, i % 24, i % 60, (i * 7) % 60);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 3, i % 1000);
    sqlite3_bind_double(insert, 4, (i % 100000) / 100.0);
    sqlite3_bind_text(insert, 5, sold.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db, "insert big");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_prepare_v2(db, "INSERT INTO parents VALUES (?, ?)", -1, &insert, nullptr), db,
        "prepare parents");
  for (int i = 0; i < kParents; ++i) {
    const std::string name = fmt::format("Customer {}", i);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db, "insert parents");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_prepare_v2(db, "INSERT INTO children VALUES (?, ?, ?)", -1, &insert, nullptr), db,
        "prepare children");
  for (int i = 0; i < kChildren; ++i) {
    sqlite3_bind_int64(insert, 1, i % kParents);
    sqlite3_bind_int64(insert, 2, i / kParents);
    sqlite3_bind_double(insert, 3, (i % 997) * 1.25);
    Check(sqlite3_step(insert), db, "insert children");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  const std::string procedures = fmt::format(
      "INSERT INTO nimbo_procedures VALUES ('big', '{}'), ('shaped', 'SHAPE {{{}}} APPEND "
      "({{{}}} RELATE ID TO ParentID) AS Orders'); COMMIT;",
      kBigQuery, kParentQuery, kChildQuery);
  Check(sqlite3_exec(db, procedures.c_str(), nullptr, nullptr, nullptr), db, "procedures");
  sqlite3_close(db);
}

sqlite3* OpenRaw() {
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(g_database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
  return db;
}

// Steps a query through the C API alone, reading every column the way its storage class needs.
std::int64_t StepAll(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db, "prepare");
  const int columns = sqlite3_column_count(statement);
  std::int64_t checksum = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER:
          checksum += sqlite3_column_int64(statement, c);
          break;
        case SQLITE_FLOAT:
          checksum += static_cast<std::int64_t>(sqlite3_column_double(statement, c));
          break;
        case SQLITE_TEXT:
          benchmark::DoNotOptimize(sqlite3_column_text(statement, c));
          checksum += sqlite3_column_bytes(statement, c);
          break;
        default:
          break;
      }
    }
  }
  sqlite3_finalize(statement);
  return checksum;
}

std::shared_ptr<nimbo::Connection> OpenConnection() {
  auto connection = nimbo::CreateConnection();
  connection->Open("Data Source=" + g_database);
  return connection;
}

std::shared_ptr<nimbo::Recordset> OpenRecordset(const std::shared_ptr<nimbo::Connection>& c,
                                                const char* command) {
  auto recordset = nimbo::CreateRecordset();
  recordset->ActiveConnection(c);
  recordset->CursorLocation(nimbo::kUseClient);
  recordset->CursorType(nimbo::kOpenForwardOnly);
  recordset->LockType(nimbo::kLockReadOnly);
  recordset->Open(command);
  recordset->ActiveConnection(nullptr);
  return recordset;
}

void BM_BigQuery_CApi(benchmark::State& state) {
  sqlite3* db = OpenRaw();
  for (auto _ : state) benchmark::DoNotOptimize(StepAll(db, kBigQuery));
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_BigQuery_RecordsetOpen(benchmark::State& state) {
  auto connection = OpenConnection();
  for (auto _ : state) {
    auto recordset = OpenRecordset(connection, "EXEC big");
    benchmark::DoNotOptimize(recordset->RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

// For information: opening and then building a Variant of every value.
void BM_BigQuery_RecordsetOpenAndReadAll(benchmark::State& state) {
  auto connection = OpenConnection();
  for (auto _ : state) {
    auto recordset = OpenRecordset(connection, "EXEC big");
    const nimbo::Fields& fields = recordset->Fields();
    for (; !recordset->Eof(); recordset->MoveNext()) {
      for (int f = 0; f < fields.Count(); ++f) benchmark::DoNotOptimize(fields.Item(f).Value());
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Shape_CApi(benchmark::State& state) {
  sqlite3* db = OpenRaw();
  for (auto _ : state) {
    benchmark::DoNotOptimize(StepAll(db, kParentQuery));
    benchmark::DoNotOptimize(StepAll(db, kChildQuery));
  }
  sqlite3_close(db);
}

void BM_Shape_RecordsetOpen(benchmark::State& state) {
  auto connection = OpenConnection();
  for (auto _ : state) {
    auto recordset = OpenRecordset(connection, "EXEC shaped");
    benchmark::DoNotOptimize(recordset->RecordCount());
  }
}

BENCHMARK(BM_BigQuery_CApi)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BigQuery_RecordsetOpen)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BigQuery_RecordsetOpenAndReadAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shape_CApi)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Shape_RecordsetOpen)->Unit(benchmark::kMillisecond)->MinTime(3);

// Peak resident memory, in KiB, that opening the big record set adds to a fresh child process
// (and the child's whole peak), so that nothing the benchmarks did before counts.
struct MemoryProbe {
  long added_kib = 0;
  long peak_kib = 0;
};

MemoryProbe ProbeMemory() {
  return nimbo::bench::InChildProcess<MemoryProbe>([] {
    const long before = nimbo::bench::PeakKib();
    auto connection = OpenConnection();
    auto recordset = OpenRecordset(connection, "EXEC big");
    MemoryProbe probe;
    probe.peak_kib = nimbo::bench::PeakKib();
    probe.added_kib = probe.peak_kib - before;
    return probe;
  });
}

// The smallest memory limit, in whole MiB, under which `command` opens (0 when even the default
// is too small): how much of the default a command's records take.
std::int64_t SmallestLimitThatFits(const char* command) {
  constexpr std::int64_t kMiB = std::int64_t{1} << 20;
  auto connection = OpenConnection();
  const auto fits = [&](std::int64_t mib) {
    connection->MaxRecordsetBytes(mib * kMiB);
    try {
      OpenRecordset(connection, command);
      return true;
    } catch (const nimbo::Error& e) {
      if (e.number() != nimbo::err::kRecordsetTooLarge) throw;
      return false;
    }
  };
  std::int64_t low = 0;  // too small
  std::int64_t high = nimbo::kDefaultMaxRecordsetBytes / kMiB;
  if (!fits(high)) return 0;
  while (high - low > 1) {
    const std::int64_t middle = (low + high) / 2;
    (fits(middle) ? high : low) = middle;
  }
  return high;
}

// Keeps each benchmark's mean real and CPU time per iteration for the comparison at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double real = 0;
    double cpu = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With --benchmark_repetitions the mean of the repetitions stands for the benchmark.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean") continue;
      times_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The mean real time of a benchmark in its unit, or -1 when it did not run.
  double Real(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? -1 : found->second.real;
  }

  // "1.23x real, 1.10x CPU": how many times slower `name` ran than `baseline`.
  std::string Ratio(const std::string& name, const std::string& baseline) const {
    const auto a = times_.find(name);
    const auto b = times_.find(baseline);
    if (a == times_.end() || b == times_.end()) return "not run";
    return fmt::format("{:.2f}x real, {:.2f}x CPU", a->second.real / b->second.real,
                       a->second.cpu / b->second.cpu);
  }

 private:
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char dir_template[] = "/tmp/nimbo-bench-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) return 1;
  const std::filesystem::path dir = dir_template;
  g_database = (dir / "bench.db").string();
  std::fprintf(stderr, "Generating %s ...\n", g_database.c_str());
  GenerateDatabase(g_database);

  const MemoryProbe memory = ProbeMemory();
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n1,000,000 x 5 record set open / C API stepping: %s (bar 1.1x)\n",
              reporter.Ratio("BM_BigQuery_RecordsetOpen", "BM_BigQuery_CApi").c_str());
  std::printf("SHAPE 100,000 parents x 1,000,000 children / C API queries: %s (bar 2x)\n",
              reporter.Ratio("BM_Shape_RecordsetOpen", "BM_Shape_CApi").c_str());
  std::printf(
      "Peak memory added by the open 1,000,000 x 5 record set: %.1f MiB "
      "(process peak %.1f MiB; bar 256 MiB)\n",
      memory.added_kib / 1024.0, memory.peak_kib / 1024.0);
  // Every benchmark above ran under the connection's default limits; these say how far below
  // them the large record sets stay.
  std::printf(
      "Within the default limits (%d s, %lld MiB): the 1,000,000 x 5 record set opens in %.0f ms "
      "and under a memory limit of %lld MiB; the SHAPE call in %.0f ms and under %lld MiB\n",
      nimbo::kDefaultCommandTimeout,
      static_cast<long long>(nimbo::kDefaultMaxRecordsetBytes >> 20),
      reporter.Real("BM_BigQuery_RecordsetOpen"),
      static_cast<long long>(SmallestLimitThatFits("EXEC big")),
      reporter.Real("BM_Shape_RecordsetOpen"),
      static_cast<long long>(SmallestLimitThatFits("EXEC shaped")));
  std::filesystem::remove_all(dir);
  benchmark::Shutdown();
  return 0;
}
