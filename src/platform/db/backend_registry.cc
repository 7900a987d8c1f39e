// Chooses the back end for a connection text. A back end for another database slots in here:
// claim the texts that name it (a Provider key, say) before the file back end, which takes the
// rest.
#include <array>

#include "nimbo/error.h"
#include "nimbo/record_source.h"
#include "platform/db/backend.h"
#include "platform/db/pg_backend.h"
#include "platform/db/pg_conninfo.h"
#include "platform/db/sqlite_backend.h"

namespace nimbo::db {
namespace {

struct BackendEntry {
  // Whether the back end takes the text.
  bool (*accepts)(const ConnectionText& text);
  std::unique_ptr<Backend> (*open)(const ConnectionText& text, const CommandLimits& limits);
};

// A database file: any text, the Provider key being ignored.
bool IsFileDatabase(const ConnectionText& /*text*/) { return true; }

constexpr std::array<BackendEntry, 2> kBackends{{
    {&IsPgConnectionText, &OpenPgBackend},
    {&IsFileDatabase, &OpenSqliteBackend},
}};

}  // namespace

std::unique_ptr<Backend> OpenBackend(const ConnectionText& text, const CommandLimits& limits) {
  for (const BackendEntry& entry : kBackends) {
    if (entry.accepts(text)) return entry.open(text, limits);
  }
  throw Error(err::kProviderNotFound,
              "Provider cannot be found. It may not be properly installed.");
}

}  // namespace nimbo::db
