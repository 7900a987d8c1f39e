// The seam between the record source and a database back end. A back end runs command texts
// and hands back every record; the client-side record set does the rest. Each back end lives in
// its own files under platform/db/ (<backend>_*.cc) and is chosen by OpenBackend.
#ifndef NIMBO_SRC_PLATFORM_DB_BACKEND_H_
#define NIMBO_SRC_PLATFORM_DB_BACKEND_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/command_limits.h"
#include "platform/db/connection_text.h"
#include "platform/db/result_table.h"

namespace nimbo::db {

class Backend {
 public:
  virtual ~Backend() = default;
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // Runs one command (an EXEC call, a SELECT/WITH query or a SHAPE command) within `limits` and
  // returns all of its records; the result owns everything it holds and outlives the back end.
  // Raises nimbo::Error: err::kCommandError for a command it rejects, err::kNestedTooDeep,
  // err::kQueryTimeout or err::kRecordsetTooLarge when a limit stops it, err::kProviderError when
  // the database fails.
  virtual std::shared_ptr<const ResultTable> Run(std::string_view command,
                                                 const CommandLimits& limits) = 0;

  // What the user should know about how the database was opened (empty when nothing).
  virtual const std::vector<std::string>& Warnings() const = 0;
};

// Opens the back end that takes a connection text, within the time limit of `limits`. Raises
// 3706 when none does, or the back end's own error when it cannot open the database.
std::unique_ptr<Backend> OpenBackend(const ConnectionText& text, const CommandLimits& limits);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_BACKEND_H_
