// The call text of a stored procedure: "EXEC name [arg [, arg]...]", where an argument is an
// optional "@param =" and then a number, a '...' string ('' stands for one quote) or NULL.
// Keywords and names are case-insensitive and white space is free. Back-end neutral: the
// arguments are values to bind, never text to splice into SQL.
#ifndef NIMBO_SRC_PLATFORM_DB_EXEC_CALL_H_
#define NIMBO_SRC_PLATFORM_DB_EXEC_CALL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbo::db {

struct CallArgument {
  enum class Kind { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
  // "@name" for a named argument, as written; empty for a positional one.
  std::string name;
  // Where the argument starts in the call text, counted from 1.
  std::size_t position = 0;
};

struct ExecCall {
  std::string procedure;
  std::vector<CallArgument> arguments;
};

// The first word of a command text, upper-cased, after blanks and SQL comments; empty when the
// text does not start with a word.
std::string LeadingKeyword(std::string_view text);

// Parses a call. Raises nimbo::Error err::kCommandError, describing the fault and its position
// (from 1), for: no EXEC, a missing or empty procedure name, an unterminated string, a malformed
// number, a missing "=" or value, a missing comma, trailing text, a positional argument after a
// named one, and a named argument given twice.
ExecCall ParseExecCall(std::string_view text);

// Matches a call's arguments to a procedure's parameters. `parameters` holds the parameter
// names in binding order ("@name", ":name", "?3", or "" for an anonymous "?"); the result has
// one entry per parameter: the argument bound to it, or null (the parameter stays NULL).
// Positional argument k binds parameter k; "@name = value" binds the parameter named "@name"
// (letter case ignored). Raises err::kCommandError for more arguments than parameters, a named
// argument the procedure does not have, and a parameter given both by position and by name.
std::vector<const CallArgument*> MatchArguments(const ExecCall& call,
                                                const std::vector<std::string>& parameters);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_EXEC_CALL_H_
