// Opening a database file for reading: read-only, the unchanging-file fallback for WAL databases
// in folders that cannot be written, and the removal of the WAL files a reader made.
#include "platform/db/sqlite_file.h"

#include <fmt/format.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "nimbo/error.h"
#include "nimbo/record_source.h"

namespace nimbo::db {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

// Keeps SQLite from reading a path as a URI ("file:...") or a special name (":memory:").
std::string PlainFilePath(const std::string& path) {
  if (path.starts_with("file:") || path.starts_with(":")) return "./" + path;
  return path;
}

// Whether the file's header marks a WAL database (file format version 2 for writing or
// reading, bytes 18 and 19).
bool IsWalDatabase(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::array<char, 20> header{};
  if (!file.read(header.data(), header.size())) return false;
  return header[18] == 2 || header[19] == 2;
}

// Whether files can be made beside `path`: root's writes fail only on a read-only file system,
// which access() reports too.
bool FolderIsWritable(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  return access(folder.c_str(), W_OK) == 0;
}

// The file as a URI that SQLite reads as unchanging: no locks, no -wal or -shm files.
std::string ImmutableUri(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  std::string uri = "file://";
  for (const char c : error ? path : absolute.string()) {
    if (c == '%' || c == '?' || c == '#') {
      uri += fmt::format("%{:02X}", static_cast<unsigned char>(c));
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

// Opens `name` with `flags` and reads its schema (opening is lazy, so this is where a file that
// is not a database, or a WAL database that cannot be read, is found out). Returns null with
// the primary result code and SQLite's message on failure.
sqlite3* OpenAndReadSchema(const std::string& name, int flags, int lock_wait_ms, int& code,
                           std::string& message) {
  sqlite3* db = nullptr;
  code = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
  if (code == SQLITE_OK) {
    // Another program's write holds the file for a moment: wait for it rather than fail.
    sqlite3_busy_timeout(db, lock_wait_ms);
    // The file is data from outside: its schema may not run functions with side effects, and
    // no command may attach further databases.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    code = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  if (code == SQLITE_OK) return db;
  code &= 0xff;
  message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  sqlite3_close_v2(db);
  return nullptr;
}

// Removes the -wal and -shm files of a WAL database through SQLite itself: a read-write
// connection that reads and closes deletes them when it is the database's last user (it takes the
// database's exclusive lock to know), after moving any committed change from the log into the
// file. While another program uses the database they stay, as they must.
void RemoveWalFilesWhenUnused(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
          SQLITE_OK &&
      sqlite3_db_readonly(db, "main") == 0) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    int persist = 0;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  sqlite3_close_v2(db);
}

}  // namespace

SqliteFile::SqliteFile(const std::string& source, int lock_wait_ms) : path_(PlainFilePath(source)) {
  made_wal_files_ = !Exists(path_ + "-wal") && !Exists(path_ + "-shm");
  int code = SQLITE_OK;
  std::string message;
  db_ = OpenAndReadSchema(path_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, lock_wait_ms, code,
                          message);
  if (db_ != nullptr) return;

  // A WAL database needs its -shm file (and a -wal file) beside it, which a folder that cannot
  // be written does not allow. Nothing can write the database there either, so reading it as
  // an unchanging file gives what it holds, unless a log left beside it holds changes the
  // file does not.
  if ((code == SQLITE_CANTOPEN || code == SQLITE_READONLY) && IsWalDatabase(path_) &&
      !FolderIsWritable(path_)) {
    if (SizeOf(path_ + "-wal") > 0) {
      throw Error(err::kProviderError,
                  fmt::format("Cannot open the database {}: the changes in its write-ahead log "
                              "{}-wal cannot be read in a folder that cannot be written",
                              source, source));
    }
    db_ = OpenAndReadSchema(ImmutableUri(path_),
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
                            lock_wait_ms, code, message);
    if (db_ != nullptr) {
      made_wal_files_ = false;
      warnings_.push_back(
          fmt::format("The database {} is in a folder that cannot be written, so it is read as an "
                      "unchanging file: changes another program makes to it are not seen",
                      source));
      return;
    }
  }
  throw Error(err::kProviderError, fmt::format("Cannot open the database {}: {}", source, message));
}

SqliteFile::~SqliteFile() {
  sqlite3_close_v2(db_);
  if (made_wal_files_ && (Exists(path_ + "-wal") || Exists(path_ + "-shm"))) {
    RemoveWalFilesWhenUnused(path_);
  }
}

}  // namespace nimbo::db
