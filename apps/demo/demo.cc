// Building the demo database with the SQLite C API, and writing it with the page images.
#include "demo/demo.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "demo/artwork.h"
#include "demo/demo_texts.h"

namespace nimbo::app {
namespace {

namespace fs = std::filesystem;

// Raise this when the drawings change, so EnsureDemo replaces demos written before.
constexpr std::uint32_t kArtworkRevision = 1;

// The closing line every report page ends with; the front page, built on the same head, ends
// with it too.
constexpr std::string_view kPageEnd = "</DIV></BODY></HTML>";

// A stamp of what this program builds, kept in the database's user_version, so EnsureDemo can
// tell its own demo from an older one.
std::int32_t DemoStamp() {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  auto add = [&hash](std::string_view bytes) {
    for (const char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
  };
  for (const std::string_view text : {demo::SchemaSql(), demo::DataSql(), demo::BrowserSql(),
                                      demo::PageHeadHtml(), demo::FrontPageHtml()}) {
    add(text);
  }
  add(std::to_string(kArtworkRevision));
  return static_cast<std::int32_t>((hash & 0x7fffffffu) | 1u);
}

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
  throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// Runs SQL text of any number of statements. `sql` must end in a NUL, as the embedded texts do.
void Execute(sqlite3* db, std::string_view sql, std::string_view what) {
  if (sqlite3_exec(db, sql.data(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db, what);
}

Statement Prepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    Fail(db, "preparing the demo database");
  }
  return Statement(raw);
}

void BindText(sqlite3* db, sqlite3_stmt* statement, int index, std::string_view text) {
  if (sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK) {
    Fail(db, "binding a demo value");
  }
}

void StepToEnd(sqlite3* db, sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE) Fail(db, "filling the demo database");
}

// Stores the two pages the browser reads whole: the front page (the page head's style and
// script around the welcome text) and the head of every report page.
void StorePages(sqlite3* db) {
  const std::string front = DemoFrontPage();
  const Statement update = Prepare(db, "UPDATE nimbo_pages SET html = ?1 WHERE id = ?2");
  const std::pair<int, std::string_view> pages[] = {{1, front}, {2, demo::PageHeadHtml()}};
  for (const auto& [id, html] : pages) {
    sqlite3_reset(update.get());
    BindText(db, update.get(), 1, html);
    sqlite3_bind_int(update.get(), 2, id);
    StepToEnd(db, update.get());
  }
}

// Draws every product's picture into its BLOB column.
void StorePictures(sqlite3* db) {
  const Statement products = Prepare(db, "SELECT id, category, colour FROM products ORDER BY id");
  const Statement update = Prepare(db, "UPDATE products SET picture = ?1 WHERE id = ?2");
  int rc;
  while ((rc = sqlite3_step(products.get())) == SQLITE_ROW) {
    auto text = [&](int column) {
      const unsigned char* value = sqlite3_column_text(products.get(), column);
      return std::string(value ? reinterpret_cast<const char*>(value) : "");
    };
    const std::string picture = demo::DrawProductPicture(text(1), text(2));
    sqlite3_reset(update.get());
    if (sqlite3_bind_blob64(update.get(), 1, picture.data(), picture.size(), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
      Fail(db, "binding a product picture");
    }
    sqlite3_bind_int64(update.get(), 2, sqlite3_column_int64(products.get(), 0));
    StepToEnd(db, update.get());
  }
  if (rc != SQLITE_DONE) Fail(db, "reading the demo products");
}

void BuildDatabase(const fs::path& file) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    throw std::runtime_error("cannot create " + file.string() + ": " +
                             (raw ? sqlite3_errmsg(raw) : "out of memory"));
  }
  // A fresh file that replaces the real one only when complete needs no journal.
  Execute(db.get(), "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;",
          "starting the demo database");
  Execute(db.get(), demo::SchemaSql(), "creating the demo tables");
  Execute(db.get(), demo::DataSql(), "loading the demo records");
  Execute(db.get(), demo::BrowserSql(), "loading the browser definition");
  StorePages(db.get());
  StorePictures(db.get());
  const std::string finish = "COMMIT; PRAGMA user_version = " + std::to_string(DemoStamp()) + ";";
  Execute(db.get(), finish, "finishing the demo database");
  if (sqlite3_close(db.release()) != SQLITE_OK) {
    throw std::runtime_error("cannot close " + file.string());
  }
}

void WriteBinaryFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// True when `file` is a database this program built, with the same texts and drawings.
bool IsCurrentDemo(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return false;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) return false;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db.get(), "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK) {
    return false;
  }
  const Statement owned(statement);
  return sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == DemoStamp();
}

}  // namespace

std::string DemoFrontPage() {
  return std::string(demo::PageHeadHtml()) + std::string(demo::FrontPageHtml()) +
         std::string(kPageEnd);
}

namespace {

std::string WriteDemoFiles(const fs::path& dir) {
  fs::create_directories(dir);
  const fs::path database = dir / kDemoDatabaseName;
  // Built beside the real file under a name of its own, then moved over it in one step, so a
  // reader never meets half a database.
  const fs::path building =
      dir / (std::string(kDemoDatabaseName) + "." + std::to_string(getpid()) + ".building");
  fs::remove(building);
  try {
    BuildDatabase(building);
  } catch (...) {
    std::error_code ignored;
    fs::remove(building, ignored);
    throw;
  }
  // A journal left by an older file would otherwise be taken for the new one's.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    fs::remove(dir / (std::string(kDemoDatabaseName) + suffix));
  }
  fs::rename(building, database);
  WritePageImages(dir);
  return database.string();
}

}  // namespace

void WritePageImages(const fs::path& dir) {
  for (const std::string_view name : demo::kPageImageNames) {
    WriteBinaryFile(dir / name, demo::DrawPageImage(name));
  }
}

std::string WriteDemo(const fs::path& dir) {
  try {
    return WriteDemoFiles(dir);
  } catch (const fs::filesystem_error& e) {
    // The library's text names the step and a temporary file; the user wants the folder and why.
    throw std::runtime_error("cannot write the demo into " + dir.string() + ": " +
                             e.code().message());
  }
}

std::string EnsureDemo(const fs::path& dir) {
  const fs::path database = dir / kDemoDatabaseName;
  bool current = IsCurrentDemo(database);
  for (const std::string_view name : demo::kPageImageNames) {
    std::error_code error;
    current = current && fs::is_regular_file(dir / name, error);
  }
  return current ? database.string() : WriteDemo(dir);
}

}  // namespace nimbo::app
