// Memory of the tree for a list node of 1,000,000 records (bar: the tree under 256 MiB, that is
// under 268 bytes a node), measured as peak resident size in fresh child processes:
//   tree alone   the in-process tree view, sorted as the component keeps it, with one list node
//                and 1,000,000 children carrying the keys, texts, tags and images the component
//                gives record nodes;
//   display      the component displaying that list node from a real SQLite file: record set,
//                tree and page together;
//   record set   opening the list node's query alone, for comparison with the display.
// Prints each figure in MiB and the tree's bytes per node. Run by hand: build/bench/tree_memory_bench
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "in_child_process.h"
#include "nimbo/headless_browser.h"
#include "nimbo/memory_tree_view.h"
#include "nimbo/nimbo.h"
#include "nimbo/record_source.h"

namespace {

constexpr int kRecords = 1'000'000;

struct Probe {
  long added_kib = 0;
  long peak_kib = 0;
  double seconds = 0;
  int children = 0;
};

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string error = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(error);
  }
}

// A browser definition whose folder "Customers" lists every customer.
void MakeDatabase(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("create database");
  Exec(db, fmt::format(
               "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
               "CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT);"
               "CREATE TABLE nav (id INTEGER, caption TEXT, kind TEXT, parent INTEGER, proc TEXT,"
               " macro TEXT, image TEXT, access TEXT);"
               "CREATE TABLE sections (id INTEGER, page INTEGER, x TEXT, caption TEXT, proc TEXT,"
               " macro TEXT, kind TEXT, form INTEGER, totals TEXT);"
               "CREATE TABLE pages (id INTEGER, a TEXT, b TEXT, html TEXT);"
               "INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),"
               " (2, 'Customers', 'G', 1, 'CustList', NULL, NULL, NULL),"
               " (3, 'Customer', 'N', 2, NULL, NULL, 'card', NULL);"
               "INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');"
               "CREATE TABLE customers (ID INTEGER, Name TEXT);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {})"
               " INSERT INTO customers SELECT i, 'Customer ' || i FROM n;"
               "INSERT INTO nimbo_procedures VALUES ('xspb1', 'SELECT * FROM nav'),"
               " ('xspb2', 'SELECT * FROM sections'),"
               " ('xspb3', 'SELECT * FROM pages WHERE id = @I1'),"
               " ('CustList', 'SELECT ID, Name FROM customers'); COMMIT;",
               kRecords));
  sqlite3_close(db);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The tree view alone, filled the way node display fills it.
Probe TreeAlone() {
  return nimbo::bench::InChildProcess<Probe>([] {
    Probe probe;
    const long before = nimbo::bench::PeakKib();
    const auto start = std::chrono::steady_clock::now();
    auto tree = std::make_shared<nimbo::MemoryTreeView>();
    tree->Sorted(true);
    auto root = tree->Add();
    root->Tag("00001F");
    root->Text("Data Browser");
    auto list = tree->Add(root, nimbo::Relationship::kChild, "0000000002F", "Customers", "group");
    list->Tag("00002G");
    for (int i = 1; i <= kRecords; ++i) {
      auto child = tree->Add(list, nimbo::Relationship::kChild,
                             fmt::format("{:010}G{}", i, tree->Count()),
                             fmt::format("Customer {}", i), "card");
      child->Tag("00003N");
      child->ForeColor(0xFF0000);
    }
    probe.seconds = SecondsSince(start);
    probe.children = list->Children();
    probe.peak_kib = nimbo::bench::PeakKib();
    probe.added_kib = probe.peak_kib - before;
    return probe;
  });
}

// The component displaying the list node.
Probe Display(const std::filesystem::path& database) {
  return nimbo::bench::InChildProcess<Probe>([&database] {
    Probe probe;
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
    const long before = nimbo::bench::PeakKib();
    const auto start = std::chrono::steady_clock::now();
    control.DisplayFor(customers);
    probe.seconds = SecondsSince(start);
    probe.children = customers->Children();
    probe.peak_kib = nimbo::bench::PeakKib();
    probe.added_kib = probe.peak_kib - before;
    return probe;
  });
}

// The list node's query alone.
Probe RecordSetAlone(const std::filesystem::path& database) {
  return nimbo::bench::InChildProcess<Probe>([&database] {
    Probe probe;
    auto connection = nimbo::CreateConnection();
    connection->Open("Data Source=" + database.string());
    const long before = nimbo::bench::PeakKib();
    const auto start = std::chrono::steady_clock::now();
    auto records = nimbo::CreateRecordset();
    records->ActiveConnection(connection);
    records->CursorLocation(nimbo::kUseClient);
    records->Open("EXEC CustList");
    records->ActiveConnection(nullptr);
    probe.seconds = SecondsSince(start);
    probe.children = records->RecordCount();
    probe.peak_kib = nimbo::bench::PeakKib();
    probe.added_kib = probe.peak_kib - before;
    return probe;
  });
}

void Print(const char* what, const Probe& probe) {
  std::printf("%-11s %9.1f MiB added (process peak %7.1f MiB), %d nodes or records, %.2f s\n",
              what, probe.added_kib / 1024.0, probe.peak_kib / 1024.0, probe.children,
              probe.seconds);
}

}  // namespace

int main() {
  try {
    char dir_template[] = "/tmp/nimbo-bench-XXXXXX";
    if (mkdtemp(dir_template) == nullptr) return 1;
    const std::filesystem::path dir = dir_template;
    const std::filesystem::path database = dir / "list.db";
    std::fprintf(stderr, "Generating %s ...\n", database.c_str());
    MakeDatabase(database);

    const Probe tree = TreeAlone();
    const Probe records = RecordSetAlone(database);
    const Probe display = Display(database);
    Print("tree alone", tree);
    Print("record set", records);
    Print("display", display);
    std::printf("tree: %.0f bytes a node (bar: 1,000,000 nodes under 256 MiB)\n",
                tree.added_kib * 1024.0 / kRecords);
    std::filesystem::remove_all(dir);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tree_memory_bench: %s\n", e.what());
    return 1;
  }
}
