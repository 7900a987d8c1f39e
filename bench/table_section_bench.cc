// Report page speed and memory: BuildPage of a page whose one table section lists 1,000,000
// records of 5 fields (ID, a text, an integer, a currency, a date shown with "dd Mmm yyyy"), totals
// "ALL", against opening the section's record set alone; and the peak memory of one build
// (goal: the whole page in about a second on the reference machine).
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "control/control_access.h"
#include "data/data_service.h"
#include "data/startup_load.h"
#include "in_child_process.h"
#include "nimbo/container.h"
#include "nimbo/date.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "report/page_builder.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr char kSectionQuery[] = "EXEC BigList ";

std::filesystem::path g_folder;  // the application folder, holding the generated database

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    throw std::runtime_error(fmt::format("{}: {}", what, sqlite3_errmsg(db)));
  }
}

// Writes the database: the browser definition (one navigation row, one table section on page 2,
// the page head) and the big table behind the section's procedure.
void GenerateDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "create");
  Check(sqlite3_exec(
            db,
            "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
            "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE,"
            " body TEXT NOT NULL);"
            "CREATE TABLE nav (id INTEGER, caption TEXT, kind TEXT, parent INTEGER, proc TEXT,"
            " macro TEXT, image TEXT, access TEXT);"
            "CREATE TABLE sections (id INTEGER, page INTEGER, unused TEXT, caption TEXT,"
            " proc TEXT, macro TEXT, kind TEXT, form INTEGER, totals TEXT);"
            "CREATE TABLE pages (id INTEGER, a TEXT, b TEXT, html MEMO);"
            "CREATE TABLE big (ID INTEGER, Name TEXT, Qty INTEGER, Price CURRENCY, Sold DATE);"
            "INSERT INTO nav VALUES (2, 'Big', 'F', 1, NULL, NULL, NULL, NULL);"
            "INSERT INTO sections VALUES (5, 2, NULL, 'Big', 'BigList', '', 'S', NULL, 'ALL');"
            "INSERT INTO pages VALUES (1, '', '', '<html><body>Front</body></html>'),"
            " (2, '', '', '<html><head><title>Report</title></head><body><DIV>');"
            "INSERT INTO nimbo_procedures VALUES ('xspb1', 'SELECT * FROM nav'),"
            " ('xspb2', 'SELECT * FROM sections'), ('xspb3', 'SELECT * FROM pages WHERE id = @I1'),"
            " ('BigList', 'SELECT ID, Name, Qty, Price, Sold FROM big');",
            nullptr, nullptr, nullptr),
        db, "schema");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO big VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare");
  for (int i = 0; i < kRows; ++i) {
    const std::string name = fmt::format("Item {}", i);
    const std::string sold = fmt::format("2024-{:02}-{:02}", i % 12 + 1, i % 28 + 1);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 3, i % 1000);
    sqlite3_bind_double(insert, 4, (i % 100000) / 100.0);
    sqlite3_bind_text(insert, 5, sold.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

// The component as a host sets it up: the tree's node "Big" selected, a headless browser, a fixed
// clock, the date pattern, and the browser definition loaded.
class Host {
 public:
  Host() : control_(std::make_shared<nimbo::RunTimeContainer>(), nullptr) {
    control_.InitProperties();
    control_.ConnectionString((g_folder / "bench.db").string());
    control_.ApplicationFolder(g_folder.string());
    StateOf(control_).ActivePort = 80;  // a design-time setting
    control_.SetControls(tree_, browser_);
    control_.SetClock(nimbo::FixedClock(nimbo::MakeDate(2026, 12, 8, 21, 17, 44)));
    control_.Heading("Bench Stores");
    control_.DateFormat("dd Mmm yyyy");
    auto root = tree_->Add(nullptr, nimbo::Relationship::kLast, "", "Data Browser", "");
    tree_->Add(root, nimbo::Relationship::kChild, "", "Big", "")->Selected(true);
    nimbo::LoadBrowser(state());
    if (state().SectionRows.row_count() != 1) throw std::runtime_error("definition not loaded");
  }

  nimbo::ControlState& state() { return StateOf(control_); }
  std::uint64_t navigations() const { return browser_->NavigationCount(); }

 private:
  std::shared_ptr<nimbo::MemoryTreeView> tree_ = std::make_shared<nimbo::MemoryTreeView>();
  std::shared_ptr<nimbo::HeadlessBrowser> browser_ = std::make_shared<nimbo::HeadlessBrowser>();
  nimbo::Nimbo control_;
};

void BM_OpenSectionRecordSet(benchmark::State& state) {
  Host host;
  for (auto _ : state) {
    if (!nimbo::ReadData(host.state(), kSectionQuery, host.state().mRS)) {
      state.SkipWithError("read failed");
      return;
    }
    benchmark::DoNotOptimize(host.state().mRS->RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_BuildPage(benchmark::State& state) {
  Host host;
  for (auto _ : state) nimbo::BuildPage(host.state(), 2);
  if (host.navigations() != static_cast<std::uint64_t>(state.iterations())) {
    state.SkipWithError("page not shown");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["page_MiB"] =
      static_cast<double>(std::filesystem::file_size(g_folder / "oDatNav.htm")) / (1 << 20);
}

BENCHMARK(BM_OpenSectionRecordSet)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BuildPage)->Unit(benchmark::kMillisecond)->MinTime(5);

// Peak resident memory of one page build in a fresh child process, in KiB: the child's whole peak
// and what the build added to it.
struct MemoryProbe {
  long peak_kib = 0;
  long added_kib = 0;
};

MemoryProbe ProbeMemory() {
  return nimbo::bench::InChildProcess<MemoryProbe>([] {
    Host host;
    const long before = nimbo::bench::PeakKib();
    nimbo::BuildPage(host.state(), 2);
    MemoryProbe probe;
    probe.peak_kib = nimbo::bench::PeakKib();
    probe.added_kib = probe.peak_kib - before;
    return probe;
  });
}

}  // namespace

int main(int argc, char** argv) {
  char folder_template[] = "/tmp/nimbo-table-bench-XXXXXX";
  if (mkdtemp(folder_template) == nullptr) return 1;
  g_folder = folder_template;
  int status = 0;
  try {
    GenerateDatabase((g_folder / "bench.db").string());
    // Measured first, in a child, so that nothing the timed runs keep counts.
    const MemoryProbe probe = ProbeMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fmt::print("Peak memory of one page build: {:.1f} MiB in all, {:.1f} MiB added by the build\n",
               probe.peak_kib / 1024.0, probe.added_kib / 1024.0);
  } catch (const std::exception& e) {
    fmt::print(stderr, "{}\n", e.what());
    status = 1;
  }
  std::filesystem::remove_all(g_folder);
  return status;
}
