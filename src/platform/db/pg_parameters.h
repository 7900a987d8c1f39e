// PostgreSQL adapter: the parameters of a procedure body. Bodies use PostgreSQL's own $1, $2, ...
// and may name parameters as @name, which are turned into $n here so that a call's named
// arguments can bind them. Only the SQL outside string constants, quoted identifiers, comments
// and dollar-quoted bodies is looked at.
#ifndef NIMBO_SRC_PLATFORM_DB_PG_PARAMETERS_H_
#define NIMBO_SRC_PLATFORM_DB_PG_PARAMETERS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nimbo::db {

// The most parameters one statement may have on the wire.
inline constexpr std::size_t kMaxPgParameters = 65535;

struct PgBodyParameters {
  // The queries with every @name replaced by its $n.
  std::vector<std::string> queries;
  // The parameters in binding order, as MatchArguments takes them: "$1" .. "$m" for the highest
  // positional parameter m that any query uses, then each "@name" in order of first use (across
  // the queries, in their order; letter case ignored, the first spelling kept) as $m+1, $m+2 ...
  std::vector<std::string> names;
  // Per parameter, whether some query refers to it (an unused $k still takes part in the
  // numbering but the server cannot infer its type).
  std::vector<bool> used;
};

// Numbers the parameters of the queries of one body, so that every query sees the same
// arguments: a $k or an @name that several queries use is one parameter. "@" followed by
// anything but a letter is left alone (an operator such as @> or @@). Raises err::kCommandError
// for a $k beyond kMaxPgParameters or more parameters than that in all.
PgBodyParameters NumberPgParameters(const std::vector<std::string_view>& queries);

}  // namespace nimbo::db

#endif  // NIMBO_SRC_PLATFORM_DB_PG_PARAMETERS_H_
