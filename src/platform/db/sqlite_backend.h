// SQLite adapter: the back end for connection texts whose "Data Source" is a database file.
#ifndef NIMBO_SRC_PLATFORM_DB_SQLITE_BACKEND_H_
#define NIMBO_SRC_PLATFORM_DB_SQLITE_BACKEND_H_

#include <memory>

#include "platform/db/backend.h"

namespace nimbo::db {

// Opens the file named by "Data Source" read-only, waiting for another program's lock as long as
// `limits` allow. Raises err::kProviderError when the text names no file, or the file is
// missing, unreadable or not a database; nothing is created.
std::unique_ptr<Backend> OpenSqliteBackend(const ConnectionText& text, const CommandLimits& limits);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_SQLITE_BACKEND_H_
