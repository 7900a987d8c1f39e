// What every back end does alike with a command's body before it runs it: tells a SHAPE command
// from a plain query and refuses anything else, and words its errors the same way.
#ifndef NIMBO_SRC_PLATFORM_DB_COMMAND_BODY_H_
#define NIMBO_SRC_PLATFORM_DB_COMMAND_BODY_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/db/exec_call.h"
#include "platform/db/shape.h"

namespace nimbo::db {

// Raises err::kCommandError with `description`.
[[noreturn]] void CommandError(std::string description);

// "Procedure xspb1: " for messages about a procedure's body, "" for a plain command.
std::string Context(const ExecCall* call);

// Whether a leading keyword starts a query that only reads.
inline bool IsQueryKeyword(std::string_view keyword) {
  return keyword == "SELECT" || keyword == "WITH";
}

// A body's queries: the one query of a SELECT or WITH body, or every query of a SHAPE command
// (views into `body` and into `shape`, so the CommandBody must stay where it is while they are
// used).
struct CommandBody {
  bool is_shape = false;
  ShapeCommand shape;
  std::vector<std::string_view> queries;
};

// Splits `body` (of `call`, or a plain command when null) into its queries. Raises
// err::kCommandError for a body that is neither, and the SHAPE parser's errors.
void SplitBody(std::string_view body, const ExecCall* call, CommandBody& out);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_COMMAND_BODY_H_
