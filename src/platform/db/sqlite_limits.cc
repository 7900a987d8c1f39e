// SQLite adapter: the time limit through the progress handler, the lock wait, the longest value.
#include "platform/db/sqlite_limits.h"

#include <algorithm>
#include <cstdint>

namespace nimbo::db {
namespace {

constexpr int kLongestLockWaitMilliseconds = 5000;
constexpr int kStepsBetweenClockReads = 1000;

}  // namespace

int LockWaitMilliseconds(const CommandLimits& limits) {
  if (limits.timeout.count() <= 0) return kLongestLockWaitMilliseconds;
  return static_cast<int>(
      std::min<std::int64_t>(kLongestLockWaitMilliseconds, limits.timeout.count()));
}

SqliteCommandScope::SqliteCommandScope(sqlite3* db, const CommandLimits& limits)
    : db_(db), length_limit_(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1)) {
  sqlite3_busy_timeout(db_, LockWaitMilliseconds(limits));
  if (limits.timeout.count() > 0) {
    deadline_ = std::chrono::steady_clock::now() + limits.timeout;
    sqlite3_progress_handler(db_, kStepsBetweenClockReads, &OnProgress, this);
  }
  // A value is built whole inside SQLite before the reader sees it, so the memory limit must
  // stop it there.
  if (limits.max_bytes != 0 && limits.max_bytes < static_cast<std::uint64_t>(length_limit_)) {
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, static_cast<int>(limits.max_bytes));
  }
}

SqliteCommandScope::~SqliteCommandScope() {
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, length_limit_);
}

int SqliteCommandScope::OnProgress(void* scope) {
  auto* self = static_cast<SqliteCommandScope*>(scope);
  if (std::chrono::steady_clock::now() < self->deadline_) return 0;
  self->expired_ = true;
  return 1;
}

}  // namespace nimbo::db
