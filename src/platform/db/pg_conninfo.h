// PostgreSQL adapter: which connection texts name a PostgreSQL database, and the libpq
// connection parameters they give. Passwords pass through to libpq and nowhere else.
#ifndef NIMBO_SRC_PLATFORM_DB_PG_CONNINFO_H_
#define NIMBO_SRC_PLATFORM_DB_PG_CONNINFO_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/db/connection_text.h"

namespace nimbo::db {

// True for a "postgresql://" or "postgres://" URI (scheme in any letter case).
bool IsPgUri(std::string_view text);

// True when a connection text names a PostgreSQL database: a "Data Source" that is such a URI,
// or "Provider=PostgreSQL".
bool IsPgConnectionText(const ConnectionText& text);

struct PgConnInfo {
  // libpq keywords and values in order; a URI comes first as "dbname" (libpq expands it), the
  // other keys after it and so override what the URI says.
  std::vector<std::pair<std::string, std::string>> parameters;
};

// The libpq parameters of a connection text: the URI of "Data Source" (a Data Source that is
// not a URI is the host), then every other key that libpq knows ("host", "port", "dbname",
// "user", "sslmode", "connect_timeout", ... in any letter case); keys libpq does not know
// ("Provider", "Persist Security Info") are ignored. Raises err::kProviderError for a value
// holding a NUL character.
PgConnInfo PgConnInfoFrom(const ConnectionText& text);

// A description of the server and database for messages, built from what libpq connected to
// (or tried to): "database shop on /tmp/sock:5432 as user ann". Never holds a password.
std::string DescribePgTarget(std::string_view database, std::string_view host,
                             std::string_view port, std::string_view user);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_PG_CONNINFO_H_
