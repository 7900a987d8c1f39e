// SQLite adapter: a command's limits applied to a connection while the command runs.
#ifndef NIMBO_SRC_PLATFORM_DB_SQLITE_LIMITS_H_
#define NIMBO_SRC_PLATFORM_DB_SQLITE_LIMITS_H_

#include <sqlite3.h>

#include <chrono>

#include "platform/db/command_limits.h"

namespace nimbo::db {

// How long to wait for another program's write lock: a writer's transaction lasts moments, so a
// few seconds, but never longer than the command may run.
int LockWaitMilliseconds(const CommandLimits& limits);

// For as long as it lives: stops the connection's statements once the time limit has passed
// (SQLite's progress handler, looked at every thousand virtual-machine steps, so a query that
// returns nothing is stopped too), waits for locks as LockWaitMilliseconds says, and keeps SQLite
// from building a single text or blob longer than the memory limit.
class SqliteCommandScope {
 public:
  SqliteCommandScope(sqlite3* db, const CommandLimits& limits);
  ~SqliteCommandScope();
  SqliteCommandScope(const SqliteCommandScope&) = delete;
  SqliteCommandScope& operator=(const SqliteCommandScope&) = delete;

  // Whether the time limit stopped a statement (it then failed with SQLITE_INTERRUPT).
  bool expired() const { return expired_; }

 private:
  static int OnProgress(void* scope);

  sqlite3* db_;
  std::chrono::steady_clock::time_point deadline_;
  bool expired_ = false;
  int length_limit_;  // SQLite's own, restored at the end
};

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SQLITE_LIMITS_H_
