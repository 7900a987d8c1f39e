// SQLite adapter: a database file opened the way a reader should open it. It is opened
// read-only and never created; a write-ahead-log (WAL) database leaves no -wal or -shm files
// behind that this reader made; and a WAL database in a folder that cannot be written, which
// SQLite cannot open the usual way, is read as an unchanging file, with a warning that says so.
#ifndef NIMBO_SRC_PLATFORM_DB_SQLITE_FILE_H_
#define NIMBO_SRC_PLATFORM_DB_SQLITE_FILE_H_

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace nimbo::db {

class SqliteFile {
 public:
  // Opens the file `source` names (a plain path: never a URI or a special name) and reads its
  // schema, waiting up to `lock_wait_ms` for another program's write lock. Raises
  // err::kProviderError when the file is missing, unreadable or not a database; nothing is
  // created beside it except the -wal and -shm files that reading a WAL database needs.
  SqliteFile(const std::string& source, int lock_wait_ms);
  // Closes the database. When this reader made the -wal and -shm files and no other connection
  // uses the database any more, they go too, as they do when the last writer closes.
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  sqlite3* db() const { return db_; }
  // What the user should know about how the file was opened (empty when nothing).
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  sqlite3* db_ = nullptr;
  // The path SQLite opened, for the names of the -wal and -shm files.
  std::string path_;
  // Whether no -wal or -shm file lay beside the database when it was opened.
  bool made_wal_files_ = false;
  std::vector<std::string> warnings_;
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SQLITE_FILE_H_
