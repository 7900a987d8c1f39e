// PostgreSQL adapter: the back end for connection texts whose "Data Source" is a
// postgresql:// or postgres:// URI, or that say "Provider=PostgreSQL" and give libpq keywords.
#ifndef NIMBO_SRC_PLATFORM_DB_PG_BACKEND_H_
#define NIMBO_SRC_PLATFORM_DB_PG_BACKEND_H_

#include <memory>

#include "platform/db/backend.h"
#include "platform/db/pg_session.h"

namespace nimbo::db {

// Connects to the server read-only. Raises err::kProviderError, with libpq's reason and never a
// password, when it cannot.
std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text);
// The same with the statement time-out of `limits` (each command then runs under its own).
std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text, const CommandLimits& limits);
// The same with time-outs of the caller's choosing (a connect_timeout key still bounds the
// connecting).
std::unique_ptr<Backend> OpenPgBackend(const ConnectionText& text, PgSessionSettings settings);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_PG_BACKEND_H_
